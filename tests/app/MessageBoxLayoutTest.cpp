#include "app/main/MessageBoxLayout.h"

#include <gtest/gtest.h>

namespace {

using namespace dvo::app;

struct BoxCase {
    MessageKind kind;
    unsigned buttons;
    const char* title;
    MessageIcon icon;
    std::vector<std::string> captions;
    std::vector<int> results;
    int defaultButton;
    int escapeButton;
};

TEST(MessageBoxLayout, TitleIconButtonOrderDefaultAndEscape) {
    const std::vector<BoxCase> cases = {
        {MessageKind::Error, 4, "Error", MessageIcon::Stop, {"OK"}, {1}, 0, 0},
        {MessageKind::Confirmation,
         12,
         "Confirm",
         MessageIcon::Question,
         {"OK", "Cancel"},
         {1, 2},
         0,
         1},
        // The delete question: Yes is the default, Cancel answers Escape, order fixed by the table.
        {MessageKind::Confirmation,
         523,
         "Confirm",
         MessageIcon::Question,
         {"&Yes", "&No", "Cancel", "&YesToAll"},
         {6, 7, 2, 10},
         0,
         2},
        // No OK, Yes or Cancel, No: Retry is the default and Escape does nothing.
        {MessageKind::Warning,
         16 | 32 | 64,
         "Warning",
         MessageIcon::Exclamation,
         {"&Abort", "&Retry", "&Ignore"},
         {3, 4, 5},
         1,
         -1},
        {MessageKind::Custom, 1 | 2, "DVO", MessageIcon::None, {"&Yes", "&No"}, {6, 7}, 0, 1},
        {MessageKind::Information,
         2047,
         "Information",
         MessageIcon::Information,
         {"&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry", "&Ignore", "&All", "N&oToAll",
          "&YesToAll", "&Help"},
         {6, 7, 1, 2, 3, 4, 5, 8, 9, 10, 0},
         2,
         3},
        {MessageKind::Information,
         1024,
         "Information",
         MessageIcon::Information,
         {"&Help"},
         {0},
         -1,
         -1},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.buttons);
        const MessageBoxLayout layout = DescribeMessageBox(c.kind, c.buttons);
        EXPECT_EQ(layout.title, c.title);
        EXPECT_EQ(layout.icon, c.icon);
        std::vector<std::string> captions;
        std::vector<int> results;
        for (const MessageBoxButton& b : layout.buttons) {
            captions.push_back(b.caption);
            results.push_back(b.result);
        }
        EXPECT_EQ(captions, c.captions);
        EXPECT_EQ(results, c.results);
        EXPECT_EQ(layout.defaultButton, c.defaultButton);
        EXPECT_EQ(layout.escapeButton, c.escapeButton);
    }
}

} // namespace
