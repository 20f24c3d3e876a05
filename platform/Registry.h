#pragma once
// The per-user registry of this system on Linux: a small file store under
// $XDG_CONFIG_HOME/lumetra-registry/HKEY_CURRENT_USER. A key is a folder (the key path's '\'
// separators become '/'); its values live in the file "values.reg" in that folder, one value a
// line, in the syntax of registry export files so that people can read and edit them by hand:
//
//   "Level"="3"                 REG_SZ whose bytes are the text and one terminating NUL
//   "Count"=dword:0000002a      REG_DWORD of 4 bytes (little-endian, as on Windows)
//   "Raw"=hex(3):01,02          any other type or size; the type number is written in hex,
//                               as regedit does (hex(b) is REG_QWORD); "hex:" reads as REG_BINARY
//   @="x"                       the unnamed (default) value
//
// Inside quotes only \" and \\ are escapes. A REG_SZ that does not end in exactly one NUL, or
// holds an inner NUL or a line break, is written as hex(1) so that its bytes survive unchanged.
// Blank lines and lines starting with ';' or '[' are ignored, and so is any line that does not
// parse (a damaged value reads as missing). A write replaces only the line of its own value (or
// appends one) and keeps every other line byte for byte, comments and damaged lines included.
//
// Key names and value names match ASCII-case-insensitively, as on Windows; a name keeps the case
// it was first written with. Writes are atomic (temporary file, fsync, rename) and serialised
// between processes by an flock on "values.lock" in the key folder; the whole read-modify-write
// runs under that lock, so writers of different values of one key never lose each other's
// values. Readers take no lock: they always see either the old or the new file.
//
// No function lets an exception out; failures are nullopt or false.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum ValueType : uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegDwordBigEndian = 5,
    kRegLink = 6,
    kRegMultiSz = 7,
    kRegQword = 11,
};

struct RegistryValue {
    uint32_t type = kRegNone;
    std::vector<unsigned char> data;

    bool operator==(const RegistryValue&) const = default;
};

// The values file's text as the store reads it: every well-formed line's name and value in file
// order (on reading, a later line of a name wins over an earlier one).
[[nodiscard]] std::vector<std::pair<std::string, RegistryValue>>
ParseValuesText(std::string_view text);
// The text a write of one value leaves: the first line of that name (matched ignoring ASCII
// case) takes the new value, or a line is appended; later lines of the name go; every other line
// stays byte for byte. The name must hold no NUL and no line break.
[[nodiscard]] std::string UpdateValuesText(const std::string& text, std::string_view name,
                                           const RegistryValue& value);

// Folder of HKEY_CURRENT_USER; empty when no configuration folder is known.
[[nodiscard]] std::string RegistryRoot();

// An open key: a descriptor of its folder, so the key stays the same folder while it is open.
class RegistryKey {
public:
    // Key paths are relative to HKEY_CURRENT_USER, e.g. "Software\\Lumetra\\DVO\\Log". Empty
    // components (doubled or trailing backslashes) are ignored; a path with a "." or ".."
    // component, a '/' or a NUL is refused. An empty path is the root itself.

    // Opens an existing key; nullopt when it (or the root) is missing. Never creates anything.
    [[nodiscard]] static std::optional<RegistryKey> OpenForQuery(std::string_view keyPath);
    // Opens the key, creating the root and every missing key on the way (folders of mode 0700).
    [[nodiscard]] static std::optional<RegistryKey> CreateOrOpen(std::string_view keyPath);

    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey();

    // The stored type and bytes of the value; nullopt when it is missing or unreadable.
    [[nodiscard]] std::optional<RegistryValue> Read(std::string_view name) const;
    // A REG_SZ or REG_EXPAND_SZ value as text: its bytes up to the first NUL.
    [[nodiscard]] std::optional<std::string> ReadString(std::string_view name) const;
    // A REG_DWORD value of exactly 4 bytes.
    [[nodiscard]] std::optional<uint32_t> ReadDword(std::string_view name) const;

    // Stores the value with exactly these bytes, replacing any value of the same name. False
    // when the name holds a NUL or a line break, or the file cannot be written; the file on disk
    // is then unchanged.
    bool Write(std::string_view name, uint32_t type, std::span<const unsigned char> data);
    // REG_SZ of the text and its terminating NUL.
    bool WriteString(std::string_view name, std::string_view text);
    bool WriteDword(std::string_view name, uint32_t value);

private:
    explicit RegistryKey(int directoryFd) noexcept : m_directoryFd(directoryFd) {}

    int m_directoryFd = -1; // owned; -1 after a move
};

} // namespace platform
