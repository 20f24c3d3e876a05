#pragma once
// Where the system report takes its facts from. The defaults are the live Linux sources; tests
// point them at fixture files to get a known machine.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace common {

struct SystemSources {
    std::string cpuinfoPath = "/proc/cpuinfo";
    // The first readable one is used (the usual place, then the distribution's fallback).
    std::vector<std::string> osReleasePaths = {"/etc/os-release", "/usr/lib/os-release"};
    std::string meminfoPath = "/proc/meminfo";
    std::string selfStatusPath = "/proc/self/status";
    std::string mountinfoPath = "/proc/self/mountinfo";
    std::string labelDir = "/dev/disk/by-label";
    // The folder standing in for the Windows folder.
    std::string windowsFolder = "/";
    // uname -m and uname -r unless set; an empty value means "cannot be had".
    std::optional<std::string> machine;
    std::optional<std::string> kernelRelease;
    // sysconf(_SC_NPROCESSORS_ONLN) unless set.
    std::optional<int> processorCount;
    // The low 32 bits of statvfs().f_fsid unless set.
    std::optional<std::uint32_t> volumeSerial;
};

// The sources the logs' reports read: the live ones unless a test set others. Any thread.
void SetSystemSources(const SystemSources& sources);
[[nodiscard]] SystemSources CurrentSystemSources();

} // namespace common
