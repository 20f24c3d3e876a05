#include "app/views/ShellRequests.h"

#include "app/main/HelperFailureText.h"
#include "platform/Text.h"

namespace dvo::app {

// What a helper's end needs to be told; made for each start, deleted when the helper has ended
// (or at once when it never started).
struct ShellRequests::Request {
    std::shared_ptr<GuiMailbox> mailbox;
    ShellRequests* owner; // valid while the mailbox is open
    int op;
    std::string path;
};

ShellRequests::ShellRequests(IWindowServices& window, IEngine& engine, IResultView& view)
    : m_window(window), m_engine(engine),
      m_mailbox(GuiMailbox::Open(
          [&view](std::function<void()> work) { view.PostToGuiThread(std::move(work)); })) {}

ShellRequests::~ShellRequests() { m_mailbox->Close(); }

int ShellRequests::Start(unsigned long long owner, const std::u16string& name,
                         const std::u16string& directory, int op) {
    std::string path = platform::Utf16ToUtf8(directory);
    if (!path.ends_with('/'))
        path += '/';
    path += platform::Utf16ToUtf8(name);
    auto request = std::make_unique<Request>(Request{m_mailbox, this, op, std::move(path)});
    const int result = m_engine.DVOShellExecuteEx(owner, name.c_str(), directory.c_str(), op,
                                                  &ShellRequests::HelperEnded, request.get());
    // The engine calls back exactly when it returns DVO_OK, and the callback owns the request.
    if (result == DVO_OK)
        request.release();
    return result;
}

void ShellRequests::HelperEnded(int status, const char16_t* errorText, void* context) noexcept {
    std::unique_ptr<Request> request(static_cast<Request*>(context));
    if (status == 0)
        return;
    try {
        std::string text =
            FailureText(request->op, request->path, status,
                        errorText != nullptr ? platform::Utf16ToUtf8(errorText) : "");
        ShellRequests* owner = request->owner;
        request->mailbox->Post([owner, text = std::move(text)] {
            owner->m_window.ShowMessageDlg(text, MessageKind::Error, MessageButton::OK);
        });
    } catch (...) {
        // Without memory for the text the failure goes unreported; nothing else is at stake.
    }
}

std::string ShellRequests::FailureText(int op, const std::string& path, int status,
                                       const std::string& errorText) {
    const char* action = op == DVO_OP_OPEN         ? "開けません"
                         : op == DVO_OP_PRINT      ? "印刷できません"
                         : op == DVO_OP_PROPERTIES ? "プロパティを表示できません"
                                                   : "表示できません";
    return HelperFailureText(action, path, status, errorText);
}

} // namespace dvo::app
