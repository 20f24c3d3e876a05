#include "app/main/MessageBoxLayout.h"

#include "app/main/AppConstants.h"

#include <array>

namespace dvo::app {
namespace {

struct ButtonDef {
    unsigned bit;
    const char* caption;
    int result;
};

// Display order of the buttons, whatever order the caller's bits suggest.
constexpr std::array<ButtonDef, 11> kButtons{{
    {MessageButton::Yes, "&Yes", MessageResult::Yes},
    {MessageButton::No, "&No", MessageResult::No},
    {MessageButton::OK, "OK", MessageResult::OK},
    {MessageButton::Cancel, "Cancel", MessageResult::Cancel},
    {MessageButton::Abort, "&Abort", MessageResult::Abort},
    {MessageButton::Retry, "&Retry", MessageResult::Retry},
    {MessageButton::Ignore, "&Ignore", MessageResult::Ignore},
    {MessageButton::All, "&All", MessageResult::All},
    {MessageButton::NoToAll, "N&oToAll", MessageResult::NoToAll},
    {MessageButton::YesToAll, "&YesToAll", MessageResult::YesToAll},
    {MessageButton::Help, "&Help", MessageResult::Help},
}};

int IndexOfResult(const std::vector<MessageBoxButton>& buttons, int result) {
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i].result == result)
            return static_cast<int>(i);
    return -1;
}

// The first of the candidates that is in the set.
int FirstPresent(const std::vector<MessageBoxButton>& buttons, std::initializer_list<int> results) {
    for (int result : results) {
        const int index = IndexOfResult(buttons, result);
        if (index >= 0)
            return index;
    }
    return -1;
}

} // namespace

MessageBoxLayout DescribeMessageBox(MessageKind kind, unsigned buttons) {
    MessageBoxLayout layout;
    switch (kind) {
    case MessageKind::Warning:
        layout.title = "Warning";
        layout.icon = MessageIcon::Exclamation;
        break;
    case MessageKind::Error:
        layout.title = "Error";
        layout.icon = MessageIcon::Stop;
        break;
    case MessageKind::Information:
        layout.title = "Information";
        layout.icon = MessageIcon::Information;
        break;
    case MessageKind::Confirmation:
        layout.title = "Confirm";
        layout.icon = MessageIcon::Question;
        break;
    case MessageKind::Custom:
        layout.title = std::string(ProductCode);
        layout.icon = MessageIcon::None;
        break;
    }
    for (const ButtonDef& def : kButtons)
        if ((buttons & def.bit) != 0)
            layout.buttons.push_back({def.caption, def.result});
    layout.defaultButton =
        FirstPresent(layout.buttons, {MessageResult::OK, MessageResult::Yes, MessageResult::Retry});
    layout.escapeButton =
        FirstPresent(layout.buttons, {MessageResult::Cancel, MessageResult::No, MessageResult::OK});
    return layout;
}

} // namespace dvo::app
