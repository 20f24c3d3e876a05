#include "platform/Registry.h"

#include "platform/Paths.h"
#include "platform/UniqueFd.h"
#include "platform/WriteAll.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

constexpr const char* kValuesFile = "values.reg";
constexpr const char* kLockFile = "values.lock";
constexpr const char* kTempFile = "values.reg.tmp";

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

// ---- key paths -------------------------------------------------------------------------------

bool IsReservedName(std::string_view name) {
    // A key folder also holds the key's own files; a subkey of the same name would collide.
    return EqualsIgnoringAsciiCase(name, kValuesFile) || EqualsIgnoringAsciiCase(name, kLockFile) ||
           EqualsIgnoringAsciiCase(name, kTempFile);
}

std::optional<std::vector<std::string>> SplitKeyPath(std::string_view keyPath) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= keyPath.size()) {
        std::size_t end = keyPath.find('\\', start);
        if (end == std::string_view::npos)
            end = keyPath.size();
        const std::string_view part = keyPath.substr(start, end - start);
        if (!part.empty()) {
            // '/' would split the folder name and "."/".." would leave the root.
            if (part == "." || part == ".." || part.find('/') != std::string_view::npos ||
                part.find('\0') != std::string_view::npos || IsReservedName(part))
                return std::nullopt;
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    return parts;
}

UniqueFd OpenDirectoryAt(int parentFd, const std::string& name) {
    return UniqueFd(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// Key names are case-insensitive: when the exact folder is missing, take the first (by byte
// order) folder whose name matches ignoring ASCII case.
UniqueFd OpenKeyFolder(int parentFd, const std::string& name) {
    UniqueFd fd = OpenDirectoryAt(parentFd, name);
    if (fd.valid() || errno != ENOENT)
        return fd;
    UniqueFd listFd(::openat(parentFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listFd.valid())
        return fd;
    DIR* dir = ::fdopendir(listFd.get());
    if (dir == nullptr)
        return fd;
    listFd.release(); // now owned by dir
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(dir)) {
        if (EqualsIgnoringAsciiCase(entry->d_name, name))
            candidates.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(candidates.begin(), candidates.end());
    for (const auto& candidate : candidates) {
        fd = OpenDirectoryAt(parentFd, candidate);
        if (fd.valid())
            return fd;
    }
    errno = ENOENT;
    return UniqueFd();
}

std::optional<int> OpenKey(std::string_view keyPath, bool create) {
    const auto parts = SplitKeyPath(keyPath);
    const std::string root = RegistryRoot();
    if (!parts || root.empty())
        return std::nullopt;
    if (create && !MakeDirectories(root, 0700))
        return std::nullopt;
    UniqueFd current(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!current.valid())
        return std::nullopt;
    for (const auto& part : *parts) {
        UniqueFd next = OpenKeyFolder(current.get(), part);
        if (!next.valid() && create && errno == ENOENT) {
            // Another process may create it at the same moment: EEXIST is fine.
            if (::mkdirat(current.get(), part.c_str(), 0700) != 0 && errno != EEXIST)
                return std::nullopt;
            next = OpenKeyFolder(current.get(), part);
        }
        if (!next.valid())
            return std::nullopt;
        current = std::move(next);
    }
    return current.release();
}

// ---- the values file -------------------------------------------------------------------------

void SkipBlanks(std::string_view& s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
}

bool StartsWithIgnoringCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsIgnoringAsciiCase(s.substr(0, prefix.size()), prefix);
}

// Reads "..." with \" and \\ escapes from the front of s.
std::optional<std::string> TakeQuoted(std::string_view& s) {
    if (s.empty() || s.front() != '"')
        return std::nullopt;
    std::string out;
    for (std::size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return out;
        }
        if (c == '\0')
            return std::nullopt;
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '"' && s[i + 1] != '\\'))
                return std::nullopt;
            out += s[++i];
        } else {
            out += c;
        }
    }
    return std::nullopt; // no closing quote
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// 1 to maxDigits hex digits from the front of s.
std::optional<uint32_t> TakeHex(std::string_view& s, std::size_t maxDigits) {
    uint32_t value = 0;
    std::size_t n = 0;
    while (n < s.size() && HexDigit(s[n]) >= 0) {
        if (n == maxDigits)
            return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(HexDigit(s[n]));
        ++n;
    }
    if (n == 0)
        return std::nullopt;
    s.remove_prefix(n);
    return value;
}

std::optional<std::vector<unsigned char>> TakeHexBytes(std::string_view& s) {
    std::vector<unsigned char> bytes;
    SkipBlanks(s);
    if (s.empty())
        return bytes;
    for (;;) {
        const auto byte = TakeHex(s, 2);
        if (!byte)
            return std::nullopt;
        bytes.push_back(static_cast<unsigned char>(*byte));
        SkipBlanks(s);
        if (s.empty())
            return bytes;
        if (s.front() != ',')
            return std::nullopt;
        s.remove_prefix(1);
        SkipBlanks(s);
    }
}

struct ParsedLine {
    std::string name;
    RegistryValue value;
};

// One line of values.reg (without its '\n'); nullopt for comments, blanks and damaged lines.
std::optional<ParsedLine> ParseLine(std::string_view s) {
    if (!s.empty() && s.back() == '\r')
        s.remove_suffix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    SkipBlanks(s);
    if (s.empty() || s.front() == ';' || s.front() == '[')
        return std::nullopt;

    ParsedLine line;
    if (s.front() == '@') {
        s.remove_prefix(1);
    } else {
        auto name = TakeQuoted(s);
        if (!name)
            return std::nullopt;
        line.name = std::move(*name);
    }
    SkipBlanks(s);
    if (s.empty() || s.front() != '=')
        return std::nullopt;
    s.remove_prefix(1);
    SkipBlanks(s);

    if (!s.empty() && s.front() == '"') {
        auto text = TakeQuoted(s);
        if (!text || !s.empty())
            return std::nullopt;
        line.value.type = kRegSz;
        line.value.data.assign(text->begin(), text->end());
        line.value.data.push_back(0);
        return line;
    }
    if (StartsWithIgnoringCase(s, "dword:")) {
        s.remove_prefix(6);
        const auto number = TakeHex(s, 8);
        if (!number || !s.empty())
            return std::nullopt;
        line.value.type = kRegDword;
        for (int shift = 0; shift < 32; shift += 8)
            line.value.data.push_back(static_cast<unsigned char>(*number >> shift));
        return line;
    }
    if (StartsWithIgnoringCase(s, "hex:")) {
        s.remove_prefix(4);
        line.value.type = kRegBinary;
    } else if (StartsWithIgnoringCase(s, "hex(")) {
        s.remove_prefix(4);
        const auto type = TakeHex(s, 8);
        if (!type || s.size() < 2 || s[0] != ')' || s[1] != ':')
            return std::nullopt;
        s.remove_prefix(2);
        line.value.type = *type;
    } else {
        return std::nullopt;
    }
    auto bytes = TakeHexBytes(s);
    if (!bytes)
        return std::nullopt;
    line.value.data = std::move(*bytes);
    return line;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
}

// Text between the quotes can carry a REG_SZ only when its bytes are text plus one final NUL.
bool IsPlainString(const std::vector<unsigned char>& data) {
    if (data.empty() || data.back() != 0)
        return false;
    return std::none_of(data.begin(), data.end() - 1,
                        [](unsigned char c) { return c == 0 || c == '\n' || c == '\r'; });
}

std::string FormatLine(std::string_view name, const RegistryValue& value) {
    std::string out;
    if (name.empty())
        out += '@';
    else
        AppendQuoted(out, name);
    out += '=';
    char buf[16];
    if (value.type == kRegSz && IsPlainString(value.data)) {
        AppendQuoted(out, std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                           value.data.size() - 1));
    } else if (value.type == kRegDword && value.data.size() == 4) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | value.data[static_cast<std::size_t>(i)];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(number));
        out += buf;
    } else {
        std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
        out += buf;
        for (std::size_t i = 0; i < value.data.size(); ++i) {
            std::snprintf(buf, sizeof buf, i == 0 ? "%02x" : ",%02x",
                          static_cast<unsigned>(value.data[i]));
            out += buf;
        }
    }
    return out;
}

// The file's lines without their '\n'. A UTF-8 byte-order mark stays in the raw first line.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.emplace_back(text, start, end - start);
        start = end + 1;
    }
    return lines;
}

std::optional<ParsedLine> ParseLineAt(const std::vector<std::string>& lines, std::size_t i) {
    std::string_view s = lines[i];
    if (i == 0 && s.starts_with("\xEF\xBB\xBF"))
        s.remove_prefix(3);
    return ParseLine(s);
}

// The whole values file; an empty text when the key has no file yet.
std::optional<std::string> ReadValuesFile(int directoryFd) {
    UniqueFd fd(::openat(directoryFd, kValuesFile, O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
    std::string text;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return text;
        text.append(buf, static_cast<std::size_t>(n));
    }
}

// Replaces values.reg by the text: readers see either the old or the new file, never a part.
bool ReplaceValuesFile(int directoryFd, const std::string& text) {
    UniqueFd fd(::openat(directoryFd, kTempFile,
                         O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid())
        return false;
    const bool written = WriteAll(fd.get(), text) && ::fsync(fd.get()) == 0;
    const bool closed = fd.close() == 0;
    if (!written || !closed || ::renameat(directoryFd, kTempFile, directoryFd, kValuesFile) != 0) {
        ::unlinkat(directoryFd, kTempFile, 0);
        return false;
    }
    // Make the rename itself durable; the new file is in place whatever this returns.
    ::fsync(directoryFd);
    return true;
}

bool IsStorableName(std::string_view name) {
    return name.find_first_of(std::string_view("\0\n\r", 3)) == std::string_view::npos;
}

} // namespace

std::vector<std::pair<std::string, RegistryValue>> ParseValuesText(std::string_view text) {
    std::vector<std::pair<std::string, RegistryValue>> values;
    const auto lines = SplitLines(std::string(text));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        auto parsed = ParseLineAt(lines, i);
        if (parsed)
            values.emplace_back(std::move(parsed->name), std::move(parsed->value));
    }
    return values;
}

std::string UpdateValuesText(const std::string& text, std::string_view name,
                             const RegistryValue& value) {
    auto lines = SplitLines(text);
    bool replaced = false;
    std::vector<std::string> kept;
    kept.reserve(lines.size() + 1);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto parsed = ParseLineAt(lines, i);
        if (parsed && EqualsIgnoringAsciiCase(parsed->name, name)) {
            // The first line of the name takes the new value under its old spelling; later
            // duplicates would override it on reading, so they go.
            if (!replaced)
                kept.push_back(FormatLine(parsed->name, value));
            replaced = true;
            continue;
        }
        kept.push_back(std::move(lines[i]));
    }
    if (!replaced)
        kept.push_back(FormatLine(name, value));
    std::string out;
    for (const auto& line : kept) {
        out += line;
        out += '\n';
    }
    return out;
}

std::string RegistryRoot() {
    const std::string config = ConfigHome();
    if (config.empty())
        return {};
    return config + "/lumetra-registry/HKEY_CURRENT_USER";
}

std::optional<RegistryKey> RegistryKey::OpenForQuery(std::string_view keyPath) {
    try {
        const auto fd = OpenKey(keyPath, false);
        if (!fd)
            return std::nullopt;
        return RegistryKey(*fd);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<RegistryKey> RegistryKey::CreateOrOpen(std::string_view keyPath) {
    try {
        const auto fd = OpenKey(keyPath, true);
        if (!fd)
            return std::nullopt;
        return RegistryKey(*fd);
    } catch (...) {
        return std::nullopt;
    }
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : m_directoryFd(std::exchange(other.m_directoryFd, -1)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        if (m_directoryFd >= 0)
            ::close(m_directoryFd);
        m_directoryFd = std::exchange(other.m_directoryFd, -1);
    }
    return *this;
}

RegistryKey::~RegistryKey() {
    if (m_directoryFd >= 0)
        ::close(m_directoryFd);
}

std::optional<RegistryValue> RegistryKey::Read(std::string_view name) const {
    try {
        if (m_directoryFd < 0)
            return std::nullopt;
        const auto text = ReadValuesFile(m_directoryFd);
        if (!text)
            return std::nullopt;
        // As in a registry import, a later line of the same name wins.
        std::optional<RegistryValue> found;
        for (auto& [lineName, value] : ParseValuesText(*text))
            if (EqualsIgnoringAsciiCase(lineName, name))
                found = std::move(value);
        return found;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::string> RegistryKey::ReadString(std::string_view name) const {
    try {
        const auto value = Read(name);
        if (!value || (value->type != kRegSz && value->type != kRegExpandSz))
            return std::nullopt;
        const auto end = std::find(value->data.begin(), value->data.end(), 0);
        return std::string(value->data.begin(), end);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<uint32_t> RegistryKey::ReadDword(std::string_view name) const {
    const auto value = Read(name);
    if (!value || value->type != kRegDword || value->data.size() != 4)
        return std::nullopt;
    return static_cast<uint32_t>(value->data[0]) | static_cast<uint32_t>(value->data[1]) << 8 |
           static_cast<uint32_t>(value->data[2]) << 16 |
           static_cast<uint32_t>(value->data[3]) << 24;
}

bool RegistryKey::Write(std::string_view name, uint32_t type, std::span<const unsigned char> data) {
    try {
        if (m_directoryFd < 0 || !IsStorableName(name))
            return false;
        UniqueFd lock(
            ::openat(m_directoryFd, kLockFile, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!lock.valid())
            return false;
        while (::flock(lock.get(), LOCK_EX) != 0) {
            if (errno != EINTR)
                return false;
        }
        // Read, change and replace under the lock, so a concurrent writer's value is never lost.
        const auto text = ReadValuesFile(m_directoryFd);
        if (!text)
            return false;
        const RegistryValue value{type, std::vector<unsigned char>(data.begin(), data.end())};
        return ReplaceValuesFile(m_directoryFd, UpdateValuesText(*text, name, value));
    } catch (...) {
        return false;
    }
}

bool RegistryKey::WriteString(std::string_view name, std::string_view text) {
    try {
        std::vector<unsigned char> data(text.begin(), text.end());
        data.push_back(0);
        return Write(name, kRegSz, data);
    } catch (...) {
        return false;
    }
}

bool RegistryKey::WriteDword(std::string_view name, uint32_t value) {
    const unsigned char data[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return Write(name, kRegDword, data);
}

} // namespace platform
