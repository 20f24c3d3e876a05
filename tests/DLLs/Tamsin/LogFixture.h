#pragma once
// A log's world in a scratch folder: XDG_DATA_HOME and the debug sink point into it, the clock
// is a fake the test sets, and the machine report reads fixture files of a known machine.
#include "DLLs/Tamsin/LogClock.h"
#include "DLLs/Tamsin/Tamsin.h"
#include "DLLs/common/SystemSources.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tamsin_test {

// The fake clock read by every log in the process.
void SetFakeNow(int year, int month, int day, int weekday, int hour, int minute, int second,
                int millisecond);

std::string ReadAll(const std::string& path);
std::vector<std::string> SplitLines(const std::string& text); // each line keeps its "\n"
void WriteText(const std::string& path, const std::string& text);
bool Exists(const std::string& path);
// Writer threads of logs running in this process, by their thread name.
int WriterCount();

class LogFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // <data>/Lumetra/<program base name>/<file>, where an opened log puts its file.
    [[nodiscard]] std::string LogFile(const std::string& fileName) const;
    // <data>/Lumetra/<file>, where a day change puts the new day's file.
    [[nodiscard]] std::string DayFile(const std::string& fileName) const;
    [[nodiscard]] std::string DebugText() const { return ReadAll(m_debugPath); }
    // The message part of each line written with the tag "DVO" and an empty suffix.
    [[nodiscard]] static std::vector<std::string> Messages(const std::string& text);

    std::string m_root;
    std::string m_data;
    std::string m_debugPath;
    common::SystemSources m_sources;
};

} // namespace tamsin_test
