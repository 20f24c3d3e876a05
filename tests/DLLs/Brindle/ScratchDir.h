#pragma once
// A fresh folder per test under DVO_TEST_TMP, removed again afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace brindle_test {

class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("DVO_TEST_TMP");
        const std::filesystem::path base =
            tmp != nullptr ? tmp : std::filesystem::temp_directory_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = base / "brindle" / (std::string(info->test_suite_name()) + "." + info->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    [[nodiscard]] std::string Path(const std::string& relative) const {
        return (m_dir / relative).string();
    }

    // Runs f with the scratch folder as the working folder, for relative paths.
    template <typename F> auto InScratch(F f) const {
        const std::filesystem::path before = std::filesystem::current_path();
        std::filesystem::current_path(m_dir);
        const auto result = f();
        std::filesystem::current_path(before);
        return result;
    }

    static void WriteFile(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path m_dir;
};

} // namespace brindle_test
