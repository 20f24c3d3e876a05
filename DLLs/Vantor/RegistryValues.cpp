// The settings store of the library's callers: typed values under Software\Lumetra\Lib\.
#include "DLLs/Vantor/Vantor.h"

#include "platform/Guard.h"
#include "platform/Registry.h"

#include <cstring>
#include <optional>
#include <span>
#include <string>

namespace {

constexpr const char* kRoot = "Software\\Lumetra\\Lib\\";
// The key path is built in a buffer of this size.
constexpr std::size_t kKeyPathSize = 1024;
// The string reader's buffer: the size of the system's text buffers.
constexpr unsigned kStringBufferSize = 260;

std::optional<std::string> KeyPath(const char* subkey) {
    std::string path = kRoot;
    path += subkey;
    if (path.size() >= kKeyPathSize)
        return std::nullopt;
    return path;
}

// The value's bytes when the key and value exist and the bytes fit `size`.
std::optional<platform::RegistryValue> ReadValue(const char* subkey, const char* name,
                                                 unsigned size) {
    if (subkey == nullptr || name == nullptr || size == 0)
        return std::nullopt;
    const auto path = KeyPath(subkey);
    if (!path)
        return std::nullopt;
    const auto key = platform::RegistryKey::OpenForQuery(*path);
    if (!key)
        return std::nullopt;
    auto value = key->Read(name);
    if (!value || value->data.size() > size)
        return std::nullopt;
    return value;
}

int ReadInto(const char* subkey, const char* name, void* target, unsigned size) {
    if (target == nullptr)
        return 0;
    const auto value = ReadValue(subkey, name, size);
    if (!value)
        return 0;
    if (!value->data.empty())
        std::memcpy(target, value->data.data(), value->data.size());
    return 1;
}

int WriteValue(const char* subkey, const char* name, const void* data, unsigned count,
               uint32_t type) {
    if (subkey == nullptr || name == nullptr || data == nullptr || count == 0)
        return 0;
    const auto path = KeyPath(subkey);
    if (!path)
        return 0;
    auto key = platform::RegistryKey::CreateOrOpen(*path);
    if (!key)
        return 0;
    const std::span<const unsigned char> bytes(static_cast<const unsigned char*>(data), count);
    return key->Write(name, type, bytes) ? 1 : 0;
}

int WriteNumber(const char* subkey, const char* name, uint32_t number) {
    // REG_DWORD bytes are little-endian, as the platform stores them.
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
        static_cast<unsigned char>(number >> 16), static_cast<unsigned char>(number >> 24)};
    return WriteValue(subkey, name, bytes, 4, platform::kRegDword);
}

} // namespace

extern "C" {

int CMNReadRegistryValue(const char* subkey, const char* name, void* buffer, unsigned int size) {
    return platform::Guarded<int>(0, [&]() -> int { return ReadInto(subkey, name, buffer, size); });
}

int CMNReadRegistryStringValue(const char* subkey, const char* name, char* buffer) {
    return platform::Guarded<int>(0, [&]() -> int {
        if (buffer == nullptr)
            return 0;
        const auto value = ReadValue(subkey, name, kStringBufferSize);
        if (!value)
            return 0;
        // A value written without its terminating zero still reads as a terminated text.
        const auto& data = value->data;
        const bool terminated = !data.empty() && data.back() == 0;
        if (!terminated && data.size() >= kStringBufferSize)
            return 0;
        if (!data.empty())
            std::memcpy(buffer, data.data(), data.size());
        if (!terminated)
            buffer[data.size()] = '\0';
        return 1;
    });
}

int CMNReadRegistryDWORDValue(const char* subkey, const char* name, unsigned int* value) {
    return platform::Guarded<int>(
        0, [&]() -> int { return ReadInto(subkey, name, value, sizeof *value); });
}

int CMNReadRegistryLongValue(const char* subkey, const char* name, int* value) {
    return platform::Guarded<int>(
        0, [&]() -> int { return ReadInto(subkey, name, value, sizeof *value); });
}

int CMNReadRegistryIntValue(const char* subkey, const char* name, int* value) {
    return platform::Guarded<int>(
        0, [&]() -> int { return ReadInto(subkey, name, value, sizeof *value); });
}

int CMNReadRegistryBoolValue(const char* subkey, const char* name, int* value) {
    return platform::Guarded<int>(0, [&]() -> int {
        if (value == nullptr)
            return 0;
        unsigned int number = 0;
        if (!ReadInto(subkey, name, &number, sizeof number))
            return 0;
        *value = number != 0 ? 1 : 0;
        return 1;
    });
}

int CMNWriteRegistryStringValue(const char* subkey, const char* name, const char* data,
                                unsigned int count) {
    return platform::Guarded<int>(
        0, [&]() -> int { return WriteValue(subkey, name, data, count, platform::kRegSz); });
}

int CMNWriteRegistryDWORDValue(const char* subkey, const char* name, unsigned int value) {
    return platform::Guarded<int>(0, [&]() -> int { return WriteNumber(subkey, name, value); });
}

int CMNWriteRegistryLongValue(const char* subkey, const char* name, int value) {
    return platform::Guarded<int>(
        0, [&]() -> int { return WriteNumber(subkey, name, static_cast<uint32_t>(value)); });
}

int CMNWriteRegistryIntValue(const char* subkey, const char* name, int value) {
    return platform::Guarded<int>(
        0, [&]() -> int { return WriteNumber(subkey, name, static_cast<uint32_t>(value)); });
}

int CMNWriteRegistryBoolValue(const char* subkey, const char* name, int value) {
    return platform::Guarded<int>(
        0, [&]() -> int { return WriteNumber(subkey, name, value != 0 ? 1u : 0u); });
}

} // extern "C"
