// values.reg files are edited by hand, so any bytes may be in them. Whatever the file holds, a
// write must read back as written and leave every other value as it was, and each value the
// reader finds must survive being written on its own.
#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// Writes `value` under `name` into `text` and checks what the reader sees afterwards.
void CheckWrite(const std::string& text, const std::string& name,
                const platform::RegistryValue& value) {
    const auto before = platform::ParseValuesText(text);
    const auto after = platform::ParseValuesText(platform::UpdateValuesText(text, name, value));
    const platform::RegistryValue* read = nullptr;
    std::size_t j = 0;
    for (const auto& [lineName, lineValue] : after) {
        if (SameName(lineName, name)) {
            read = &lineValue;
            continue;
        }
        // The other values, in their order, unchanged.
        while (j < before.size() && SameName(before[j].first, name))
            ++j;
        Check(j < before.size() && before[j].first == lineName && before[j].second == lineValue);
        ++j;
    }
    while (j < before.size() && SameName(before[j].first, name))
        ++j;
    Check(j == before.size());
    Check(read != nullptr && *read == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const auto& [name, value] : platform::ParseValuesText(text)) {
        CheckWrite(std::string(), name, value);
        CheckWrite(text, name, value);
    }
    // A value made from the input itself: a short name (no NUL or line break), any type, bytes.
    std::string name;
    for (std::size_t i = 0; i < size && name.size() < 6; ++i)
        if (data[i] != 0 && data[i] != '\n' && data[i] != '\r')
            name += static_cast<char>(data[i]);
    platform::RegistryValue value;
    value.type = size > 0 ? static_cast<uint32_t>(data[size - 1] % 12) : uint32_t{platform::kRegSz};
    value.data.assign(data + size / 2, data + size);
    if (value.data.size() > 24)
        value.data.resize(24);
    CheckWrite(text, name, value);
    return 0;
}
