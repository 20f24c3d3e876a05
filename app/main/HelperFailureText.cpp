#include "app/main/HelperFailureText.h"

namespace dvo::app {

std::string HelperFailureText(const std::string& action, const std::string& target, int status,
                              const std::string& errorText) {
    std::string reason = errorText;
    while (!reason.empty() &&
           (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
        reason.pop_back();
    if (reason.empty())
        reason = "終了コード " + std::to_string(status);
    return action + ": " + target + "\n" + reason;
}

} // namespace dvo::app
