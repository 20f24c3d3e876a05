#include "engine/LastError.h"

#include "engine/DVOSUB.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace dvo {
namespace {

std::mutex g_errorMutex;
std::u16string g_lastError; // guarded by g_errorMutex

} // namespace

void SetLastErrorText(std::string_view utf8) noexcept {
    std::u16string text;
    try {
        text = platform::Utf8ToUtf16(utf8);
    } catch (...) {
        text.clear();
    }
    std::lock_guard lock(g_errorMutex);
    g_lastError.swap(text);
}

int CopyLastErrorText(char16_t* buffer, int bufferBytes) noexcept {
    if (buffer == nullptr || bufferBytes < 2)
        return DVO_E_INVALID_ARGUMENT;
    std::lock_guard lock(g_errorMutex);
    std::size_t count = std::min(g_lastError.size(), static_cast<std::size_t>(bufferBytes / 2 - 1));
    // Never end on the first half of a surrogate pair.
    if (count > 0 && count < g_lastError.size() && g_lastError[count - 1] >= 0xD800 &&
        g_lastError[count - 1] <= 0xDBFF)
        --count;
    std::memcpy(buffer, g_lastError.data(), count * sizeof(char16_t));
    buffer[count] = u'\0';
    return static_cast<int>(count);
}

} // namespace dvo
