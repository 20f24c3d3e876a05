#pragma once
// Where a long operation running off the GUI thread tells how far it got, and learns whether the
// user wants it to stop. Called from the working thread; the view shows it on the GUI thread.
#include <string>

namespace dvo::app {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // permille: 0..1000 of the whole, or -1 while that is not known yet; text: what to show
    // (it may span lines). False once the user has asked to cancel.
    [[nodiscard]] virtual bool Report(int permille, const std::string& text) = 0;
};

} // namespace dvo::app
