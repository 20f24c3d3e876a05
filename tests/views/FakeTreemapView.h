#pragma once
// The treemap window without a screen: keeps what the user would see (the drawn picture, the
// line of text, the outline, the status line, the "上へ" button and the menu's check mark).
#include "app/views/ITreemapView.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dvo::test {

class FakeTreemapView final : public app::ITreemapView {
public:
    int width = 800;
    int height = 560;
    bool shown = false;
    bool menuChecked = false;
    bool upEnabled = false;
    std::optional<std::string> message; // the line shown instead of a map, if any
    std::vector<std::uint32_t> picture; // the drawn map
    std::optional<app::TreemapPixelRect> outline;
    std::string status;
    int maps = 0; // maps drawn so far

    void ShowWindow() override { shown = true; }
    void HideWindow() override { shown = false; }
    void SetMenuChecked(bool checked) override { menuChecked = checked; }
    int MapWidth() const override { return width; }
    int MapHeight() const override { return height; }
    void ShowMap(const app::TreemapGeometry& map) override {
        picture.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
        app::RenderTreemap(map, picture.data(), width, height, width);
        message.reset();
        ++maps;
    }
    void ShowMessageLine(const std::string& text) override {
        picture.clear();
        message = text;
    }
    void SetOutline(const std::optional<app::TreemapPixelRect>& rect) override { outline = rect; }
    void SetKindOutlines(const std::vector<app::TreemapPixelRect>& rects) override {
        kindOutlines = rects;
    }
    std::vector<app::TreemapPixelRect> kindOutlines;
    void SetStatusText(const std::string& text) override { status = text; }
    void SetUpEnabled(bool enabled) override { upEnabled = enabled; }
};

} // namespace dvo::test
