// File names are bytes from disk: any byte string must survive UTF-8 -> UTF-16 -> UTF-8 exactly,
// or a file would be listed under one name and deleted, copied or moved under another.
#include "platform/Text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string units = platform::Utf8ToUtf16(bytes);
    if (platform::Utf16ToUtf8(units) != bytes) {
        std::abort();
    }
    // The engine's records carry names in fixed arrays; reading one back stops at its first NUL.
    const std::string fixed = platform::Utf16ArrayToUtf8(units.data(), units.size());
    if (fixed != bytes.substr(0, bytes.find('\0'))) {
        std::abort();
    }
    return 0;
}
