#pragma once
// System information for the machine report at the start of each log: processors, operating
// system, the volume holding the system folder, memory, computer and user. Each Gather... call
// fills process-wide state (unguarded: one thread gathers at a time) and the getters read it.
// Text getters copy at most `size` bytes including the terminating zero.
#include <cstddef>
#include <cstdint>
#include <string>

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

void GatherProcessorInfo();
// The processor count as "%d"; returns it. "no system info" and 0 before gathering.
int GetProcessorCountText(char* buf, std::size_t size);
// The processor description; "no system info" before gathering.
void GetProcessorText(char* buf, std::size_t size);
// The description for an architecture, level and 16-bit revision.
[[nodiscard]] std::string ProcessorDescription(unsigned architecture, unsigned level,
                                               unsigned revision);
// The architecture, level and revision gathered (0 before gathering).
[[nodiscard]] unsigned GetProcessorArchitecture();
[[nodiscard]] unsigned GetProcessorLevel();
[[nodiscard]] unsigned GetProcessorRevision();

// Processor entries, one per logical processor: "CPU n:<identifier> <name>". First opens the
// list and fills entry 0; Next fills the following entry. False (and the list closed) when the
// list cannot be read or has no such entry.
bool GetFirstCPUText(char* buf, std::size_t size);
bool GetNextCPUText(char* buf, std::size_t size);

// The operating-system description; false with "OS Unknown" when it cannot be determined.
bool GetOSVersionText(char* buf, std::size_t size);

void GatherVolumeInfo();
void GetVolumeLabelText(char* buf, std::size_t size);
void GetFileSystemText(char* buf, std::size_t size);
void GetWindowsFolderText(char* buf, std::size_t size);
[[nodiscard]] std::uint32_t GetVolumeSerial();

// Memory counts are 64-bit byte counts: 32-bit counts overflow above 4 GiB.
void GatherMemoryInfo();
[[nodiscard]] unsigned GetMemoryLoad();
[[nodiscard]] std::uint64_t GetTotalPhys();
[[nodiscard]] std::uint64_t GetAvailPhys();
[[nodiscard]] std::uint64_t GetTotalPageFile();
[[nodiscard]] std::uint64_t GetAvailPageFile();
[[nodiscard]] std::uint64_t GetTotalVirtual();
[[nodiscard]] std::uint64_t GetAvailVirtual();

// The host name and the name of the user running the process; false (and an empty text, or the
// numeric user id) when a name cannot be had.
bool GetComputerNameText(char* buf, std::size_t size);
bool GetUserNameText(char* buf, std::size_t size);

// There is no message box without a GUI: the system text of errno goes to standard error and to
// the debugger output, under the title "Error".
void ShowLastErrorBox();

} // namespace common
