#pragma once
// System information for the machine report at the start of each log: processors, operating
// system, the volume holding the system folder, memory, computer and user.
#include <cstdint>
#include <string>
#include <vector>

#include "DLLs/common/SystemSources.h"

namespace common {

// Windows processor architecture codes, as the report's table knows them.
enum ProcessorArchitecture : unsigned {
    kArchIntel = 0,
    kArchMips = 1,
    kArchAlpha = 2,
    kArchPpc = 3,
    kArchIa64 = 6,
    kArchAmd64 = 9,
    kArchIa32OnWin64 = 10,
    kArchArm64 = 12,
    kArchUnknown = 0xFFFF,
};

// The machine as the report at the start of each log shows it. Read anew for each report, so
// that logs opened at once in several threads share nothing.
struct SystemReport {
    int processorCount = 0;
    unsigned architecture = 0;
    unsigned level = 0;
    unsigned revision = 0;
    std::string processorText;         // ProcessorDescription of the three above
    std::vector<std::string> cpuLines; // "CPU n:<identifier> <name>", one per logical processor

    bool osKnown = false;
    std::string osVersion; // "OS Unknown" when it cannot be determined

    // Left empty (serial 0) when the folder's file system cannot be queried.
    std::string windowsFolder;
    std::string volumeLabel;
    std::string fileSystem;
    std::uint32_t volumeSerial = 0;

    // 64-bit byte counts: 32-bit counts overflow above 4 GiB.
    unsigned memoryLoad = 0;
    std::uint64_t totalPhys = 0;
    std::uint64_t availPhys = 0;
    std::uint64_t totalPageFile = 0;
    std::uint64_t availPageFile = 0;
    std::uint64_t totalVirtual = 0;
    std::uint64_t availVirtual = 0;

    // The host name (empty when it cannot be had) and the user running the process (the numeric
    // user id when no name can be had).
    std::string computerName;
    std::string userName;
};

[[nodiscard]] SystemReport ReadSystemReport(const SystemSources& sources);

// The description for an architecture, level and 16-bit revision.
[[nodiscard]] std::string ProcessorDescription(unsigned architecture, unsigned level,
                                               unsigned revision);

// There is no message box without a GUI: the system text of errno goes to standard error and to
// the debugger output, under the title "Error".
void ShowLastErrorBox();

} // namespace common
