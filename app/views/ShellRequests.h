#pragma once
// Shell operations on grid entries ("開く", "印刷", ...) whose helper (xdg-open, lp) tells how it
// ended later, from another thread. A helper that failed gets an error box on the GUI thread,
// with the entry's path and the helper's own reason; one that succeeded shows nothing. An end
// that arrives after this object is gone shows nothing and touches nothing of it.
#include "app/main/GuiMailbox.h"
#include "app/main/IEngine.h"
#include "app/main/IWindowServices.h"
#include "app/views/IResultView.h"

#include <memory>
#include <string>

namespace dvo::app {

class ShellRequests {
public:
    // All three must outlive this object.
    ShellRequests(IWindowServices& window, IEngine& engine, IResultView& view);
    ~ShellRequests();
    ShellRequests(const ShellRequests&) = delete;
    ShellRequests& operator=(const ShellRequests&) = delete;

    // Starts shell operation op on directory/name without waiting for its helper. The engine's
    // result: a helper that could not even be started is the caller's to report, as before.
    [[nodiscard]] int Start(unsigned long long owner, const std::u16string& name,
                            const std::u16string& directory, int op);

    // The box's text for a helper that ended with a nonzero status: what failed and on which
    // path, then the helper's error text, or its status when it said nothing.
    [[nodiscard]] static std::string FailureText(int op, const std::string& path, int status,
                                                 const std::string& errorText);

private:
    struct Request;
    static void HelperEnded(int status, const char16_t* errorText, void* context) noexcept;

    IWindowServices& m_window;
    IEngine& m_engine;
    std::shared_ptr<GuiMailbox> m_mailbox;
};

} // namespace dvo::app
