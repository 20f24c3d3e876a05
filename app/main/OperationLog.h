#pragma once
// What the program learns about its surroundings at start-up and keeps for its whole run: its
// own folder (where the manual lies), the log settings of the registry and the operation log
// opened with them. Every part of the window that logs a user action or a message box writes
// through Write.
#include "app/main/IStartupSteps.h"

#include <optional>
#include <string>
#include <string_view>

namespace dvo::app {

// Levels of the program's lines: a user action in a menu or window, a message box and its answer.
inline constexpr int kLogLevelUserAction = 2;
inline constexpr int kLogLevelMessage = 3;

// A registry text as a signed 32-bit decimal integer ("-12", "+7"); nothing for any other text,
// an empty one or one out of range.
[[nodiscard]] std::optional<int> ParseDecimal(std::string_view text);

class OperationLog final : public IStartupSteps {
public:
    OperationLog() = default;
    OperationLog(const OperationLog&) = delete;
    OperationLog& operator=(const OperationLog&) = delete;
    // The log stays open: lines still queued when the process ends are lost, as the log library
    // expects of a log that lives as long as its program.
    ~OperationLog() override = default;

    // ProgramDirectory := folder of the running executable, empty when it cannot be found.
    void FindProgramDirectory() override;
    // Reads the five log settings of the "Log" subkey (defaults for anything missing or not a
    // number) and opens the operation log with them. The settings key itself is created when
    // missing; the subkey never is.
    void OpenOperationLog() override;

    // The same for a given executable path.
    void FindProgramDirectoryOf(const std::string& executablePath);

    // Writes text as one line of the given level, literally (a '%' in it stays a '%'). Nothing
    // before OpenOperationLog, with a null handle or when the level is above the threshold.
    void Write(int level, const std::string& text) const;

    [[nodiscard]] const std::string& ProgramDirectory() const { return m_programDirectory; }
    [[nodiscard]] int LogLevel() const { return m_logLevel; }
    [[nodiscard]] int LogEnable() const { return m_logEnable; }
    [[nodiscard]] int LogDebugMessage() const { return m_logDebugMessage; }
    [[nodiscard]] int LogFlush() const { return m_logFlush; }
    [[nodiscard]] int LogDate() const { return m_logDate; }
    // The log library's handle; null until the log is opened or when it could not be made.
    [[nodiscard]] void* LogHandle() const { return m_logHandle; }

private:
    std::string m_programDirectory;
    int m_logLevel = 0;
    int m_logEnable = 0;
    int m_logDebugMessage = 0;
    int m_logFlush = 0;
    int m_logDate = 1;
    void* m_logHandle = nullptr; // owned by the log library, never closed
};

} // namespace dvo::app
