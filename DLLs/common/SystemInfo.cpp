#include "DLLs/common/SystemInfo.h"

#include "DLLs/common/SystemSources.h"
#include "platform/DebugOutput.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <pwd.h>
#include <sstream>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace common {
namespace {

constexpr const char* kOsUnknown = "OS Unknown";

// One "processor" block of /proc/cpuinfo: its keys and values, trimmed.
using CpuBlock = std::map<std::string, std::string, std::less<>>;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        lines.push_back(text.substr(0, nl));
        if (nl == std::string_view::npos)
            break;
        text.remove_prefix(nl + 1);
    }
    return lines;
}

// Unsigned number, decimal or 0x-prefixed hexadecimal; nullopt when it is not one.
std::optional<unsigned long long> ParseNumber(std::string_view s) {
    s = Trim(s);
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    unsigned long long value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (ec != std::errc() || s.empty())
        return std::nullopt;
    return value;
}

// The blocks of /proc/cpuinfo that describe a logical processor ("processor : n" first).
bool ReadCpuBlocks(const std::string& path, std::vector<CpuBlock>& blocks) {
    std::string text;
    if (!ReadFile(path, text))
        return false;
    blocks.clear();
    CpuBlock current;
    auto finish = [&] {
        if (current.count("processor") != 0)
            blocks.push_back(std::move(current));
        current.clear();
    };
    for (std::string_view line : Lines(text)) {
        if (Trim(line).empty()) {
            finish();
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string key(Trim(line.substr(0, colon)));
        if (key == "processor" && current.count("processor") != 0)
            finish();
        current.emplace(key, std::string(Trim(line.substr(colon + 1))));
    }
    finish();
    return true;
}

const std::string* Find(const CpuBlock& block, std::string_view key) {
    const auto it = block.find(key);
    return it == block.end() ? nullptr : &it->second;
}

unsigned ArchitectureOfMachine(std::string_view machine) {
    if (machine == "x86_64")
        return kArchAmd64;
    if (machine.size() == 4 && machine[0] == 'i' && machine[1] >= '3' && machine[1] <= '6' &&
        machine.substr(2) == "86")
        return kArchIntel;
    if (machine == "aarch64" || machine == "arm64")
        return kArchArm64;
    return kArchUnknown;
}

std::string MachineName(const SystemSources& sources) {
    if (sources.machine)
        return *sources.machine;
    utsname u{};
    return ::uname(&u) == 0 ? std::string(u.machine) : std::string();
}

std::string KernelRelease(const SystemSources& sources) {
    if (sources.kernelRelease)
        return *sources.kernelRelease;
    utsname u{};
    return ::uname(&u) == 0 ? std::string(u.release) : std::string();
}

// The vendor's identifier of one processor, as Windows keeps it in the registry.
std::optional<std::string> CpuIdentifier(const CpuBlock& block) {
    const std::string* family = Find(block, "cpu family");
    if (family != nullptr) {
        const std::string* model = Find(block, "model");
        const std::string* stepping = Find(block, "stepping");
        return "x86 Family " + *family + " Model " + (model ? *model : "?") + " Stepping " +
               (stepping ? *stepping : "?");
    }
    const std::string* implementer = Find(block, "CPU implementer");
    if (implementer != nullptr) {
        auto field = [&](std::string_view key) {
            const std::string* v = Find(block, key);
            return v ? *v : std::string("?");
        };
        return "ARMv" + field("CPU architecture") + " Implementer " + *implementer + " Part " +
               field("CPU part") + " Variant " + field("CPU variant") + " Revision " +
               field("CPU revision");
    }
    return std::nullopt;
}

// os-release value syntax: optionally quoted, backslash escapes inside double quotes.
std::string OsReleaseValue(std::string_view raw) {
    raw = Trim(raw);
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') &&
        raw.back() == raw.front()) {
        const char quote = raw.front();
        raw = raw.substr(1, raw.size() - 2);
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size())
                ++i;
            out += raw[i];
        }
        return out;
    }
    return std::string(raw);
}

std::string PrettyName(const SystemSources& sources) {
    for (const std::string& path : sources.osReleasePaths) {
        std::string text;
        if (!ReadFile(path, text))
            continue;
        for (std::string_view line : Lines(text)) {
            line = Trim(line);
            if (line.rfind("PRETTY_NAME=", 0) == 0)
                return OsReleaseValue(line.substr(12));
        }
        return {};
    }
    return {};
}

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string UnescapeOctal(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out +=
                static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// udev escapes unsafe bytes of labels as \xHH.
std::string UnescapeHex(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned value = 0;
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' &&
            std::from_chars(s.data() + i + 2, s.data() + i + 4, value, 16).ptr ==
                s.data() + i + 4) {
            out += static_cast<char>(value);
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

struct MountEntry {
    std::string mountPoint;
    unsigned major = 0;
    unsigned minor = 0;
    std::string fileSystem;
};

bool IsUnder(const std::string& path, const std::string& mountPoint) {
    if (mountPoint == "/")
        return !path.empty() && path[0] == '/';
    return path.rfind(mountPoint, 0) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// The mount holding a path: the longest mount point above it; of equal ones the last mounted.
std::optional<MountEntry> MountOf(const std::string& mountinfoPath, const std::string& path) {
    std::string text;
    if (!ReadFile(mountinfoPath, text))
        return std::nullopt;
    std::optional<MountEntry> best;
    for (std::string_view line : Lines(text)) {
        std::vector<std::string_view> fields;
        std::size_t pos = 0;
        while (pos < line.size()) {
            const auto blank = line.find(' ', pos);
            fields.push_back(
                line.substr(pos, blank == std::string_view::npos ? line.npos : blank - pos));
            if (blank == std::string_view::npos)
                break;
            pos = blank + 1;
        }
        const auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 5 || dash == fields.end() || dash + 1 == fields.end())
            continue;
        MountEntry entry;
        entry.mountPoint = UnescapeOctal(fields[4]);
        const std::string_view devno = fields[2];
        const auto colon = devno.find(':');
        if (colon != std::string_view::npos) {
            std::from_chars(devno.data(), devno.data() + colon, entry.major);
            std::from_chars(devno.data() + colon + 1, devno.data() + devno.size(), entry.minor);
        }
        entry.fileSystem = UnescapeOctal(*(dash + 1));
        if (!IsUnder(path, entry.mountPoint))
            continue;
        if (!best || entry.mountPoint.size() >= best->mountPoint.size())
            best = std::move(entry);
    }
    return best;
}

// The label udev lists for a device: the by-label link that resolves to that device.
std::string LabelOf(const std::string& dir, unsigned major, unsigned minor) {
    std::vector<std::string> names;
    if (auto* d = ::opendir(dir.c_str())) {
        while (auto* e = ::readdir(d)) {
            if (e->d_name[0] != '.')
                names.emplace_back(e->d_name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        struct stat st = {};
        if (::stat((dir + "/" + name).c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
            ::major(st.st_rdev) == major && ::minor(st.st_rdev) == minor)
            return UnescapeHex(name);
    }
    return {};
}

// /proc/meminfo values ("MemTotal:  16384 kB") in bytes.
std::map<std::string, std::uint64_t, std::less<>> ReadMeminfo(const std::string& path) {
    std::map<std::string, std::uint64_t, std::less<>> values;
    std::string text;
    if (!ReadFile(path, text))
        return values;
    for (std::string_view line : Lines(text)) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view rest = Trim(line.substr(colon + 1));
        std::uint64_t number = 0;
        const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
        if (ec != std::errc())
            continue;
        const bool kiB = Trim(std::string_view(end, rest.data() + rest.size() - end)) == "kB";
        values[std::string(Trim(line.substr(0, colon)))] = kiB ? number * 1024 : number;
    }
    return values;
}

// The user address space of a process: the address-space limit when one is set, otherwise the
// lower half of the 48-bit x86-64 space (less the guard page), or 3 GiB on 32-bit systems.
std::uint64_t AddressSpaceSize() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return limit.rlim_cur;
    return sizeof(void*) == 8 ? (std::uint64_t{1} << 47) - 4096 : std::uint64_t{3} << 30;
}

std::mutex g_sourcesLock;

SystemSources& TheSources() {
    static SystemSources sources;
    return sources;
}

// A fork while another thread copies the sources must not leave the child a held lock.
const int g_sourcesForkHandlers = ::pthread_atfork(
    [] { g_sourcesLock.lock(); }, [] { g_sourcesLock.unlock(); }, [] { g_sourcesLock.unlock(); });

void ReadProcessors(const SystemSources& sources, SystemReport& r) {
    r.architecture = ArchitectureOfMachine(MachineName(sources));
    std::vector<CpuBlock> blocks;
    if (ReadCpuBlocks(sources.cpuinfoPath, blocks) && !blocks.empty()) {
        const CpuBlock& first = blocks.front();
        auto number = [&](std::string_view key) -> unsigned long long {
            const std::string* v = Find(first, key);
            const auto n = v ? ParseNumber(*v) : std::nullopt;
            return n.value_or(0);
        };
        if (Find(first, "cpu family") != nullptr) {
            // Windows reports an x86 processor's family as its level and model and stepping as
            // the two bytes of its revision.
            r.level = static_cast<unsigned>(number("cpu family") & 0xFFFF);
            r.revision = static_cast<unsigned>(((number("model") & 0xFF) << 8) |
                                               (number("stepping") & 0xFF));
        } else if (Find(first, "CPU implementer") != nullptr) {
            r.level = static_cast<unsigned>(number("CPU architecture") & 0xFFFF);
            r.revision = static_cast<unsigned>(((number("CPU variant") & 0xFF) << 8) |
                                               (number("CPU revision") & 0xFF));
        }
    }
    if (sources.processorCount) {
        r.processorCount = *sources.processorCount;
    } else {
        const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
        r.processorCount = online > 0 ? static_cast<int>(online) : 1;
    }
    r.processorText = ProcessorDescription(r.architecture, r.level, r.revision);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const auto identifier = CpuIdentifier(blocks[i]);
        std::string text = "CPU " + std::to_string(i) + ":" +
                           (identifier ? *identifier : std::string("No Identifier")) + " ";
        const std::string* name = Find(blocks[i], "model name");
        text += name ? *name : std::string("No ProcessorNameString");
        r.cpuLines.push_back(std::move(text));
    }
}

void ReadOsVersion(const SystemSources& sources, SystemReport& r) {
    const std::string pretty = PrettyName(sources);
    const std::string release = KernelRelease(sources);
    if (pretty.empty() && release.empty()) {
        r.osVersion = kOsUnknown;
        r.osKnown = false;
        return;
    }
    r.osVersion = pretty.empty() ? std::string("Linux") : pretty;
    if (!release.empty())
        r.osVersion += " (Kernel " + release + ")";
    r.osKnown = true;
}

void ReadVolume(const SystemSources& sources, SystemReport& r) {
    const std::string& folder = sources.windowsFolder;
    if (folder.empty())
        return;
    r.windowsFolder = folder;
    struct statvfs vfs = {};
    if (::statvfs(folder.c_str(), &vfs) != 0) {
        ShowLastErrorBox();
        return;
    }
    r.volumeSerial = sources.volumeSerial ? *sources.volumeSerial
                                          : static_cast<std::uint32_t>(vfs.f_fsid & 0xFFFFFFFFu);
    const auto mount = MountOf(sources.mountinfoPath, folder);
    r.fileSystem = mount ? mount->fileSystem : std::string();
    r.volumeLabel = mount ? LabelOf(sources.labelDir, mount->major, mount->minor) : std::string();
}

void ReadMemory(const SystemSources& sources, SystemReport& r) {
    const auto info = ReadMeminfo(sources.meminfoPath);
    auto value = [&](std::string_view key) -> std::optional<std::uint64_t> {
        const auto it = info.find(key);
        return it == info.end() ? std::nullopt : std::optional<std::uint64_t>(it->second);
    };
    if (value("MemTotal")) {
        r.totalPhys = *value("MemTotal");
        r.availPhys = value("MemAvailable")
                          .value_or(value("MemFree").value_or(0) + value("Buffers").value_or(0) +
                                    value("Cached").value_or(0));
        r.totalPageFile = value("SwapTotal").value_or(0);
        r.availPageFile = value("SwapFree").value_or(0);
    } else {
        struct sysinfo si = {};
        if (::sysinfo(&si) == 0) {
            const std::uint64_t unit = si.mem_unit != 0 ? si.mem_unit : 1;
            r.totalPhys = si.totalram * unit;
            r.availPhys = (std::uint64_t{si.freeram} + si.bufferram) * unit;
            r.totalPageFile = si.totalswap * unit;
            r.availPageFile = si.freeswap * unit;
        }
    }
    r.availPhys = std::min(r.availPhys, r.totalPhys);
    r.memoryLoad = r.totalPhys == 0
                       ? 0
                       : static_cast<unsigned>((r.totalPhys - r.availPhys) * 100 / r.totalPhys);
    r.totalVirtual = AddressSpaceSize();
    const auto status = ReadMeminfo(sources.selfStatusPath);
    const auto used = status.find("VmSize");
    r.availVirtual = used == status.end() ? r.totalVirtual
                                          : r.totalVirtual - std::min(r.totalVirtual, used->second);
}

bool ComputerName(std::string& out) {
    char name[1024] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        out.clear();
        return false;
    }
    out = name;
    return true;
}

bool UserName(std::string& out) {
    struct passwd pw = {};
    struct passwd* found = nullptr;
    std::vector<char> scratch(16384);
    const uid_t uid = ::geteuid();
    if (::getpwuid_r(uid, &pw, scratch.data(), scratch.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr) {
        out = found->pw_name;
        return true;
    }
    out = std::to_string(uid);
    return false;
}

} // namespace

void SetSystemSources(const SystemSources& sources) {
    std::lock_guard lock(g_sourcesLock);
    TheSources() = sources;
}

SystemSources CurrentSystemSources() {
    std::lock_guard lock(g_sourcesLock);
    return TheSources();
}

std::string ProcessorDescription(unsigned architecture, unsigned level, unsigned revision) {
    const unsigned high = (revision >> 8) & 0xFF;
    const unsigned low = revision & 0xFF;
    char text[256];
    auto detail = [&](const char* format, const char* name, unsigned a, unsigned b) {
        std::snprintf(text, sizeof text, format, name, a, b);
        return std::string(text);
    };
    switch (architecture) {
    case kArchIntel: {
        const char* name = nullptr;
        switch (level) {
        case 3: name = "Intel 80386"; break;
        case 4: name = "Intel 80486"; break;
        case 5: return detail("%s Model %d Stepping %d", "Intel Pentium", high, low);
        case 6:
            return detail("%s Model %d Stepping %d", "Intel Pentium Pro or Pentium II", high, low);
        default: return "Intel (unknown)";
        }
        if (high == 0xFF) {
            // The model is masked with 5, not 15, exactly as the report has always shown it.
            return detail("%s Model %d Stepping %d", name, (revision >> 4) & 5, revision & 0x0F);
        }
        std::snprintf(text, sizeof text, "%s Stepping %c Minor Stepping %d", name,
                      static_cast<char>('A' + high), static_cast<int>(low));
        return text;
    }
    case kArchMips:
        if (level == 4) {
            std::snprintf(text, sizeof text, "%s Rivision %d", "MIPS R4000", static_cast<int>(low));
            return text;
        }
        return "MIPS (unknown)";
    case kArchAlpha: {
        const char* name = level == 21064   ? "Alpha 21064"
                           : level == 21066 ? "Alpha 21066"
                           : level == 21164 ? "Alpha 21164"
                                            : nullptr;
        if (name == nullptr)
            return "Alpha (unknown)";
        return detail("%s Model A%d Pass %d", name, high, low);
    }
    case kArchPpc: {
        const char* name = nullptr;
        switch (level) {
        case 1: name = "PPC 601"; break;
        case 3: name = "PPC 603"; break;
        case 4: name = "PPC 604"; break;
        case 6: name = "PPC 603+"; break;
        case 9: name = "PPC 604+"; break;
        case 20: name = "PPC 620"; break;
        default: return "PPC (unknown)";
        }
        return detail("%s %d.%d", name, high, low);
    }
    case kArchIa64: return "IA64(64-bit Windows)";
    case kArchAmd64: return "AMD64(64-bit Windows)";
    case kArchIa32OnWin64: return "IA32 on Win64(64-bit Windows)";
    default: return "Unknown";
    }
}

SystemReport ReadSystemReport(const SystemSources& sources) {
    SystemReport r;
    ReadProcessors(sources, r);
    ReadOsVersion(sources, r);
    ReadVolume(sources, r);
    ReadMemory(sources, r);
    ComputerName(r.computerName);
    UserName(r.userName);
    return r;
}

// --- errors ---------------------------------------------------------------------------------

void ShowLastErrorBox() {
    const int error = errno;
    char text[512];
    const char* message = ::strerror_r(error, text, sizeof text);
    const std::string line = std::string("Error: ") + message + "\n";
    std::fputs(line.c_str(), stderr);
    platform::DebugOutput(line);
}

} // namespace common
