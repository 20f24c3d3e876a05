#pragma once
// What the treemap window's logic asks of its widgets. Plain std types: the Qt window carries
// it out in the program, a recording fake in the tests.
#include "app/views/TreemapRenderer.h"

#include <optional>
#include <string>
#include <vector>

namespace dvo::app {

class ITreemapView {
public:
    virtual ~ITreemapView() = default;

    // Shows the window without making it modal (800 x 600 the first time), or hides it.
    virtual void ShowWindow() = 0;
    virtual void HideWindow() = 0;
    // The check mark of the main window's "ツリーマップ表示".
    virtual void SetMenuChecked(bool checked) = 0;

    // The map area's size in pixels.
    [[nodiscard]] virtual int MapWidth() const = 0;
    [[nodiscard]] virtual int MapHeight() const = 0;
    // Draws the map into the window's cached picture and shows it.
    virtual void ShowMap(const TreemapGeometry& map) = 0;
    // Shows one line of text instead of a map (an empty line shows nothing at all).
    virtual void ShowMessageLine(const std::string& text) = 0;
    // Outlines a rectangle of the map, or nothing.
    virtual void SetOutline(const std::optional<TreemapPixelRect>& rect) = 0;
    // Outlines the entries of one kind of file chosen in the kinds window (none: empty).
    virtual void SetKindOutlines(const std::vector<TreemapPixelRect>& rects) = 0;
    // The window's status line, shown as plain text.
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetUpEnabled(bool enabled) = 0;
};

} // namespace dvo::app
