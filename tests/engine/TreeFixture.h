#pragma once
// Small real folder trees for the engine tests, and an independent walk to check the engine by.
#include <cstdint>
#include <string>
#include <vector>

namespace enginetest {

// A fresh empty folder under the build's scratch space (or /tmp when `world` is set, so an
// unprivileged user can reach it); removed with everything below it on destruction.
class TempDir {
public:
    explicit TempDir(bool world = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::string& Path() const { return m_path; }
    [[nodiscard]] std::string operator/(const std::string& rel) const { return m_path + "/" + rel; }

private:
    std::string m_path;
};

void MakeFile(const std::string& path, std::size_t size);
// A file of real bytes, so that it takes blocks (MakeFile's are holes), modified at noon on
// 15 June of `year`, local time (no time zone moves that into another year).
void WriteFile(const std::string& path, std::size_t size, int year);
void MakeDir(const std::string& path);
// Removes a tree of any depth through descriptors.
void RemoveTree(const std::string& path);

struct ModelEntry {
    std::string name;
    bool folder;
};

struct ModelFolder {
    std::string directory; // containing folder
    std::string name;
    int depth;
    std::int64_t size; // st_size of non-folders below, hard links once in pre-order
    int folders;
    int files;
    std::vector<ModelEntry> children; // byte order
};

// Pre-order list of the folders of `root` (the root first), children sorted by bytes, never
// following links nor leaving the root's file system.
std::vector<ModelFolder> WalkIndependently(const std::string& root);

} // namespace enginetest
