#pragma once
// The diagnostics window as its logic (TTestData) sees it: seven value labels and a text area
// that only ever grows.
#include <string>
#include <vector>

namespace dvo::app {

enum class TestDataLabel {
    SearchStart,
    SearchEnd,
    SearchDuration,
    ShowStart,
    ShowEnd,
    ShowDuration,
    TotalDuration,
};
inline constexpr int kTestDataLabelCount = 7;

class ITestDataView {
public:
    virtual ~ITestDataView() = default;
    virtual void SetLabelText(TestDataLabel label, const std::string& text) = 0;
    // Adds the lines below what the text area holds.
    virtual void AppendLines(const std::vector<std::string>& lines) = 0;
};

} // namespace dvo::app
