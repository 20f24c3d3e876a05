#include "app/main/OperationLog.h"

#include "DLLs/Brindle/Brindle.h"
#include "DLLs/Tamsin/Tamsin.h"
#include "app/main/AppConstants.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

#include <array>
#include <charconv>
#include <cstdint>

namespace dvo::app {
namespace {

// A value of the "Log" subkey, or its default when the subkey or the value is missing or the
// value is not a number. A REG_DWORD is taken as the number it holds: people who edit the
// store by hand may write one.
int ReadSetting(const std::optional<platform::RegistryKey>& key, std::string_view name,
                int fallback) {
    if (!key)
        return fallback;
    if (const auto text = key->ReadString(name))
        return ParseDecimal(*text).value_or(fallback);
    if (const auto number = key->ReadDword(name))
        return static_cast<int32_t>(*number);
    return fallback;
}

} // namespace

std::optional<int> ParseDecimal(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

void OperationLog::FindProgramDirectory() { FindProgramDirectoryOf(platform::ExecutablePath()); }

void OperationLog::FindProgramDirectoryOf(const std::string& executablePath) {
    std::array<char, 1024> directory{};
    if (GetFileDir(executablePath.c_str(), directory.data()) == 0)
        m_programDirectory = directory.data();
    else
        m_programDirectory.clear();
}

void OperationLog::OpenOperationLog() {
    // The key is created as the original registry open did; only the subkey decides the values.
    const auto settingsKey = platform::RegistryKey::CreateOrOpen(RegistryKey);
    std::optional<platform::RegistryKey> logKey;
    if (settingsKey)
        logKey = platform::RegistryKey::OpenForQuery(std::string(RegistryKey) + "Log");
    m_logLevel = ReadSetting(logKey, "Level", 0);
    m_logEnable = ReadSetting(logKey, "Enable", 0);
    m_logDebugMessage = ReadSetting(logKey, "DebugMessage", 0);
    m_logFlush = ReadSetting(logKey, "Flush", 0);
    m_logDate = ReadSetting(logKey, "Date", 1);

    const std::string productCode(ProductCode);
    LOGInit(&m_logHandle, m_logLevel, m_logEnable, m_logDebugMessage, m_logFlush, m_logDate,
            productCode.c_str(), productCode.c_str(), "");
}

void OperationLog::Write(int level, const std::string& text) const {
    // Message texts hold file names, which may hold '%': never let the log format them.
    LOGOutput(m_logHandle, level, "%s", text.c_str());
}

} // namespace dvo::app
