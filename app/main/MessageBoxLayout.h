#pragma once
// What a message box of the main window looks like for a kind and a set of buttons: title, icon,
// button captions in their fixed order with the number each returns, and which button is the
// default and which answers Escape. The toolkit only draws what this describes.
#include <string>
#include <vector>

namespace dvo::app {

enum class MessageKind { Warning = 0, Error = 1, Information = 2, Confirmation = 3, Custom = 4 };

enum class MessageIcon { None, Exclamation, Stop, Information, Question };

// Button bits of a button set, and the results the box returns for them.
namespace MessageButton {
inline constexpr unsigned Yes = 1;
inline constexpr unsigned No = 2;
inline constexpr unsigned OK = 4;
inline constexpr unsigned Cancel = 8;
inline constexpr unsigned Abort = 16;
inline constexpr unsigned Retry = 32;
inline constexpr unsigned Ignore = 64;
inline constexpr unsigned All = 128;
inline constexpr unsigned NoToAll = 256;
inline constexpr unsigned YesToAll = 512;
inline constexpr unsigned Help = 1024;
} // namespace MessageButton

namespace MessageResult {
inline constexpr int Help = 0;
inline constexpr int OK = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
inline constexpr int All = 8;
inline constexpr int NoToAll = 9;
inline constexpr int YesToAll = 10;
} // namespace MessageResult

struct MessageBoxButton {
    std::string caption; // '&' marks the mnemonic
    int result = 0;
};

struct MessageBoxLayout {
    std::string title;
    MessageIcon icon = MessageIcon::None;
    std::vector<MessageBoxButton> buttons; // in display order, left to right
    int defaultButton = -1;                // index into buttons, -1 for none
    int escapeButton = -1;                 // index into buttons, -1: Escape does nothing
};

[[nodiscard]] MessageBoxLayout DescribeMessageBox(MessageKind kind, unsigned buttons);

} // namespace dvo::app
