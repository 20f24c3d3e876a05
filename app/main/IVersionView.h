#pragma once
// What the version window's logic asks of its widgets: the memo, the close button and the
// window itself. Sizes and positions are in pixels of the window's client area.
#include <string>

namespace dvo::app {

class IVersionView {
public:
    virtual ~IVersionView() = default;

    virtual void SetCaption(const std::string& text) = 0;
    // Appends text to the memo as a new line.
    virtual void AppendMemoLine(const std::string& text) = 0;
    virtual void ClearMemo() = 0;
    virtual void SetMemoBounds(int left, int top, int width, int height) = 0;
    virtual void SetWindowSize(int width, int height) = 0;
    virtual void SetCloseButtonPosition(int left, int top) = 0;
    virtual void FocusCloseButton() = 0;
    // Not modal: the main window stays usable while the version window is open.
    virtual void ShowWindow() = 0;
    virtual void HideWindow() = 0;
};

} // namespace dvo::app
