#pragma once
// A scratch folder per test with the registry store, the application data and the debugger
// output inside it, so every test sees the files it made and nothing else.
#include "tests/support/FileTree.h"
#include "tests/support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vantor_test {

using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::WriteFile;

class VantorTest : public ::testing::Test {
protected:
    testing_support::TempFolder tmp;
    std::string debugFile = tmp / "debug-output.txt";
    ScopedEnv config{"XDG_CONFIG_HOME", (tmp / "config").c_str()};
    ScopedEnv data{"XDG_DATA_HOME", (tmp / "data").c_str()};
    ScopedEnv debug{"LUMETRA_DEBUG_OUTPUT", debugFile.c_str()};

    // What the library wrote to the debugger output so far.
    [[nodiscard]] std::string DebugOutput() const { return ReadFile(debugFile); }
    // The debugger output as lines, each without its '\n'.
    [[nodiscard]] std::vector<std::string> DebugLines() const {
        std::vector<std::string> lines;
        const std::string text = DebugOutput();
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        return lines;
    }
    void Folder(const std::string& relative) const {
        std::filesystem::create_directories(tmp / relative);
    }
};

} // namespace vantor_test
