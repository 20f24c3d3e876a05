#pragma once
// The compact tree a scan builds: one 40-byte Node per entry, one Dir per folder. Nodes and names
// live in the scanning threads' arenas; the interface's records are made from them afterwards.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/Arena.h"

namespace dvo {

// Byte totals stop at INT64_MAX rather than wrap: sparse files can claim sizes whose sum no
// 64-bit count holds, and a wrapped total would show a folder smaller than its files.
[[nodiscard]] inline std::int64_t AddBytes(std::int64_t total, std::int64_t bytes) noexcept {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(total, bytes, &sum)) {
        return bytes > 0 ? INT64_MAX : INT64_MIN;
    }
    return sum;
}

struct Dir;
struct DirRecords; // what the record store keeps of a folder

// An entry's identity, (device number, inode), as a hash key.
struct IdentityHash {
    std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& p) const noexcept {
        return std::hash<std::uint64_t>()(p.first * 0x9E3779B97F4A7C15ull ^ p.second);
    }
};
using IdentitySet = std::unordered_set<std::pair<std::uint64_t, std::uint64_t>, IdentityHash>;

enum NodeFlag : std::uint8_t {
    kMultiLink = 1,  // a file with more than one hard link
    kDuplicate = 2,  // a later link of an inode already counted in this search
    kStatFailed = 4, // listed from its directory entry; its attributes could not be read
    kRemoved = 8,    // deleted or moved away by a file operation after the search
};

// Names are stored right after their folder's block of nodes, so a node finds its name by a
// 32-bit offset from itself; nodes are therefore never copied or moved once written.
struct Node {
    std::uint64_t inode;
    union {
        std::int64_t size; // st_size of anything but a folder
        Dir* dir;          // a folder's contents
    };
    std::int64_t diskSize;         // st_blocks x 512 of anything but a folder (0 for folders)
    std::int64_t mtimeMs;          // st_mtime in milliseconds since the epoch
    std::uint32_t nameOffset;      // bytes from this node to its name (not NUL-terminated)
    std::uint32_t nameLength : 10; // names of up to 1023 bytes (NTFS names reach 765)
    std::uint32_t device : 14;     // index into ScanResult::devices
    std::uint32_t type : 4;        // st_mode >> 12
    std::uint32_t flags : 4;       // NodeFlag bits

    static constexpr std::size_t kMaxName = 1023;
    static constexpr std::uint32_t kMaxDevice = (1u << 14) - 1;

    [[nodiscard]] bool IsFolder() const noexcept { return type == (S_IFDIR >> 12); }
    [[nodiscard]] std::string_view Name() const noexcept {
        return {reinterpret_cast<const char*>(this) + nameOffset, nameLength};
    }
    [[nodiscard]] std::uint32_t Mode() const noexcept { return std::uint32_t{type} << 12; }
};
static_assert(sizeof(Node) == 40, "a node is kept small: there is one per entry");

// Which of an entry's two figures the totals and records show: the apparent size (st_size) or
// the disk usage (st_blocks x 512). Both are kept, so switching needs no new search.
enum class SizeMode : std::uint8_t { Apparent = 0, Disk = 1 };

// A non-folder's own bytes in the given count.
[[nodiscard]] inline std::int64_t FileBytes(const Node& n, SizeMode mode) noexcept {
    return mode == SizeMode::Disk ? n.diskSize : n.size;
}

enum class DirState : std::uint8_t {
    Pending,    // queued, not read yet (stays so when the scan was aborted)
    Read,       // every entry read
    Partial,    // the scan was aborted while reading it
    Unreadable, // could not be opened or read (counted as an error)
    MountPoint, // another file system, not entered
    NotEntered, // not entered by choice: no recursion, or a folder already seen through a link
};

struct Dir {
    Node* node = nullptr;     // the folder's own entry
    Dir* parent = nullptr;    // null for the searched folder
    Node* children = nullptr; // childCount nodes in byte order of their names
    std::uint32_t childCount = 0;
    std::uint32_t depth = 0;
    DirState state = DirState::Pending;

    // Bytes of the folder's full path (UTF-8, saturating), for the record budget; fills what
    // would be padding before the totals.
    std::uint32_t pathLength = 0;

    // Totals below the folder, computed once the scan has ended: apparent sizes and disk usage.
    std::int64_t total = 0;
    std::int64_t diskTotal = 0;
    std::int64_t folderCount = 0;
    std::int64_t fileCount = 0;

    // The interface's records, made on the program's thread when first asked for.
    DirRecords* records = nullptr;

    [[nodiscard]] std::int64_t Total(SizeMode mode) const noexcept {
        return mode == SizeMode::Disk ? diskTotal : total;
    }
};
static_assert(sizeof(Dir) <= 80, "one Dir per folder: kept as small as it was");

struct ScanOptions {
    bool recurse = true;
    bool followLinks = false;
    bool hardLinksOnce = true;
    bool crossFileSystems = false;
    int threads = 0; // 0: chosen for the machine
    // The figure the live totals count while scanning (the tree keeps both either way).
    SizeMode liveMode = SizeMode::Apparent;
};

// Everything a finished (or aborted) scan leaves: valid until destroyed.
struct ScanResult {
    std::string path;       // the searched folder as given, with repeated and trailing '/' removed
    std::string parentPath; // its containing folder ("" for "/")
    std::string name;       // its last component ("/" for "/")
    Node* rootNode = nullptr;
    Dir* root = nullptr;
    std::vector<std::uint64_t> devices; // device numbers by Node::device
    std::vector<Arena> arenas;
    std::int64_t errors = 0;
    std::int64_t folderRecords = 0; // the searched folder and every folder below it
    bool aborted = false;
    bool overBudget = false; // stopped where its records would have passed the record budget
    ScanOptions options;
    SizeMode sizeMode = SizeMode::Apparent; // the figure records and totals show now
};

// Every folder's totals in one pre-order pass in record order: the first link of a hard-linked
// inode met in this order is the one counted (whichever thread read it), the later ones are
// marked kDuplicate, as are those the tree came with. Returns the folders, the searched one too.
std::int64_t ComputeTotals(ScanResult& result);

} // namespace dvo
