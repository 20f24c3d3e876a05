#pragma once
// A fresh temporary folder for one test under $DVO_TEST_TMP (else /tmp), removed with everything
// in it afterwards.
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace dvo::test {

class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("DVO_TEST_TMP");
        std::string root = base != nullptr ? base : "/tmp";
        std::filesystem::create_directories(root);
        std::string pattern = root + "/t-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] std::string Path(const std::string& name) const { return m_path + "/" + name; }
    [[nodiscard]] std::string operator/(const std::string& name) const { return Path(name); }

private:
    std::string m_path;
};

} // namespace dvo::test
