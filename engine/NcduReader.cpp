// Reading an ncdu export into the scan's compact tree. JsonPull does the JSON (no recursion per
// nesting level, names passed on as their bytes); this handler checks the export's shape and
// builds the tree one folder at a time, so only the folders open along the current path are held
// twice.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#include "engine/JsonPull.h"

#include "engine/NcduFormat.h"

namespace dvo {

namespace {

// The export in one anonymous mapping that never moves, read a chunk at a time just ahead of the
// parser (JsonPull asks for more at the end of what is there), NUL-terminated and writable as
// JsonPull wants. The pages already parsed go back to the system as the parse moves on, so the
// memory a read takes beside its tree is a few chunks, not the file.
class InputPages {
public:
    InputPages(std::FILE* in, std::size_t chunk)
        : m_in(in), m_chunk(std::max<std::size_t>(chunk, 1)) {}
    InputPages(const InputPages&) = delete;
    InputPages& operator=(const InputPages&) = delete;
    ~InputPages() {
        if (m_data != nullptr) {
            ::munmap(m_data, m_capacity);
        }
    }

    // Reserves the address space and reads the first chunk. False with errno set.
    bool Start() {
        struct stat st {};
        const int fd = ::fileno(m_in);
        const std::size_t hint = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)
                                     ? static_cast<std::size_t>(st.st_size)
                                     : 0;
        // Address space only: pages cost memory once written. A file that may still grow (or a
        // pipe) gets room up to the size of physical memory, more than any tree held from it.
        const auto physical = static_cast<std::size_t>(::sysconf(_SC_PHYS_PAGES)) * Page();
        std::size_t want = std::max(hint + kTail + Page(), physical);
        for (; want >= hint + kTail; want /= 2) {
            void* p = ::mmap(nullptr, want, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (p != MAP_FAILED) {
                m_data = static_cast<char*>(p);
                m_capacity = want;
                break;
            }
        }
        if (m_data == nullptr) {
            errno = ENOMEM;
            return false;
        }
        char* end = m_data;
        return More(end) || !m_failed;
    }

    // JsonPull's refill: appends the next chunk at `end` (the NUL of what was there) and moves
    // `end` to the new NUL. False at the end of the file or on a failure (Failed()).
    bool More(char*& end) {
        if (m_eof || m_failed) {
            return false;
        }
        const std::size_t room = m_capacity - kTail - m_size;
        if (room == 0) {
            m_failed = true;
            m_errno = EFBIG;
            return false;
        }
        const std::size_t n = std::fread(m_data + m_size, 1, std::min(room, m_chunk), m_in);
        m_size += n;
        m_data[m_size] = '\0';
        end = m_data + m_size;
        if (n == 0) {
            if (std::ferror(m_in)) {
                m_failed = true;
                m_errno = errno != 0 ? errno : EIO;
            }
            m_eof = true;
            return false;
        }
        return true;
    }

    [[nodiscard]] char* Data() const noexcept { return m_data; }
    [[nodiscard]] std::size_t Size() const noexcept { return m_size; }
    [[nodiscard]] bool Failed() const noexcept { return m_failed; }
    [[nodiscard]] int Errno() const noexcept { return m_errno; }

    // Nothing before `position` is read again: its whole pages are moved to just past what has
    // been read (after those moved there before), where the next chunks land, so the input
    // takes the same few pages over and over instead of a fresh zeroed page per 4 KiB read.
    // Where they cannot be moved they are given back.
    void ReleaseBefore(const char* position) noexcept {
        const std::size_t end = static_cast<std::size_t>(position - m_data) & ~(kStep - 1);
        if (end <= m_released) {
            return;
        }
        const std::size_t length = end - m_released;
        // On a step boundary, so a later range to move is always one mapping, as mremap wants.
        const std::size_t ahead = std::max((m_size + kTail + kStep - 1) & ~(kStep - 1), m_spareEnd);
        char* const from = m_data + m_released;
        m_released = end;
        if (ahead + length <= m_capacity) {
            // The old range stays mapped, empty, so the reservation keeps no hole.
            void* to = ::mremap(from, length, length,
                                MREMAP_MAYMOVE | MREMAP_FIXED | MREMAP_DONTUNMAP, m_data + ahead);
            if (to != MAP_FAILED) {
                m_spareEnd = ahead + length;
                return;
            }
        }
        ::madvise(from, length, MADV_DONTNEED);
    }

private:
    static constexpr std::size_t kStep = std::size_t{512} << 10; // pages moved at a time
    // The NUL and the bytes JsonPull may read past it.
    static constexpr std::size_t kTail = 1 + kJsonPullSlack;

    static std::size_t Page() noexcept { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

    std::FILE* m_in;
    std::size_t m_chunk;
    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    std::size_t m_released = 0;
    std::size_t m_spareEnd = 0; // the end of the pages moved ahead of the reading
    bool m_eof = false;
    bool m_failed = false;
    int m_errno = 0;
};

// A handler's refusal: the reason, reported at the parser's position.
struct Refusal {
    std::string reason;
};

enum class Key : std::uint8_t {
    Other,
    Name,
    Asize,
    Dsize,
    Dev,
    Ino,
    Nlink,
    Mtime,
    Mode,
    Hlnkc,
    ReadError,
    NotReg,
    Excluded,
};

// Every entry repeats its keys: told apart by length and first byte before one comparison
// (of a length the compiler knows, so no call).
template <std::size_t N> Key IsKey(std::string_view k, const char (&text)[N], Key key) {
    if constexpr (N - 1 <= 8) {
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        std::memcpy(&a, k.data(), N - 1);
        std::memcpy(&b, text, N - 1);
        return a == b ? key : Key::Other;
    } else {
        return std::memcmp(k.data(), text, N - 1) == 0 ? key : Key::Other;
    }
}

Key KeyOf(std::string_view k) {
    auto is = [k](const auto& text, Key key) { return IsKey(k, text, key); };
    if (k.empty()) {
        return Key::Other;
    }
    switch (k.size()) {
    case 3: return k[0] == 'd' ? is("dev", Key::Dev) : is("ino", Key::Ino);
    case 4: return k[0] == 'n' ? is("name", Key::Name) : is("mode", Key::Mode);
    case 5:
        switch (k[0]) {
        case 'a': return is("asize", Key::Asize);
        case 'd': return is("dsize", Key::Dsize);
        case 'm': return is("mtime", Key::Mtime);
        case 'n': return is("nlink", Key::Nlink);
        case 'h': return is("hlnkc", Key::Hlnkc);
        default: return Key::Other;
        }
    case 6: return is("notreg", Key::NotReg);
    case 8: return is("excluded", Key::Excluded);
    case 10: return is("read_error", Key::ReadError);
    default: return Key::Other;
    }
}

// What an info object said about one entry: the plain fields, then its two texts.
struct InfoFields {
    bool hasName = false;
    std::int64_t asize = 0;
    std::int64_t dsize = 0; // absent: 0, as ncdu shows an entry without one
    std::int64_t mtime = 0;
    std::uint64_t dev = 0;
    bool hasDev = false;
    std::uint64_t ino = 0;
    bool hasIno = false;
    std::uint64_t nlink = 0;
    std::uint64_t mode = 0;
    bool hasMode = false;
    bool hlnkc = false;
    bool readError = false;
    bool notreg = false;
    bool hasExcluded = false;
};

// The texts point into the input where the parser unescaped them: they stay there, unmoved,
// at least until the folder that holds the entry closes.
struct Info : InfoFields {
    std::string_view name;
    std::string_view excluded;

    void Clear() noexcept { *this = Info{}; }
};

// An entry of a folder still open: made into a node once the folder's array closes.
struct Pending {
    std::uint32_t nameStart;
    std::uint16_t nameLength;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint32_t device;
    std::uint64_t inode;
    std::int64_t size;     // or, for a folder, unused
    std::int64_t diskSize; // likewise
    std::int64_t mtimeMs;
    Dir* dir; // a folder's contents
};

struct Level {
    Dir* dir = nullptr; // null until the folder's info object was read
    std::uint32_t device = 0;
    std::size_t pathLength = 0;
    std::vector<Pending> entries;
    std::string names;
};

// Names are short: one pass, a word at a time, beats two searches through their bytes.
bool IsEntryName(std::string_view n) {
    if (n.empty() || (n[0] == '.' && (n.size() == 1 || (n.size() == 2 && n[1] == '.')))) {
        return false;
    }
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    auto bad = [](const char* at) {
        std::uint64_t w = 0;
        std::memcpy(&w, at, 8);
        auto hasZeroByte = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHigh) != 0; };
        return hasZeroByte(w) || hasZeroByte(w ^ (kOnes * '/'));
    };
    if (n.size() < 8) {
        return n.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
    }
    // Whole words, the last one ending where the name ends (overlapping the one before).
    for (std::size_t i = 0; i + 8 < n.size(); i += 8) {
        if (bad(n.data() + i)) {
            return false;
        }
    }
    return !bad(n.data() + n.size() - 8);
}

// "a//b/" -> "a/b", "/" stays "/": the texts a scan of the same path would have.
std::string NormalisePath(std::string_view path) {
    std::string out;
    for (const char c : path) {
        if (!(c == '/' && !out.empty() && out.back() == '/')) {
            out.push_back(c);
        }
    }
    while (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    return out;
}

std::int64_t MillisOfSeconds(std::int64_t s) {
    constexpr std::int64_t kLimit = INT64_MAX / 1000;
    return s > kLimit ? INT64_MAX : s < -kLimit ? INT64_MIN : s * 1000;
}

class Builder {
public:
    Builder(ScanResult& r, InputPages& pages, const JsonPull& json)
        : m_r(r), m_pages(pages), m_json(json) {
        m_r.arenas.emplace_back();
    }

    // JsonPull's handler interface: false stops the parse, with m_refusal saying why.
    bool Null() { return Scalar(Kind::Null, {}, 0, 0); }
    bool Bool(bool b) { return Scalar(Kind::Bool, {}, b ? 1 : 0, 0); }
    bool Int64(std::int64_t i) { return Signed(i); }
    bool Uint64(std::uint64_t u) {
        // Most values are an entry's figures: stored straight away; the rest is checked below.
        if (m_inInfo && m_skip == 0) {
            const auto s = u > INT64_MAX ? INT64_MAX : static_cast<std::int64_t>(u);
            switch (m_key) {
            case Key::Asize: m_info.asize = s; break;
            case Key::Dsize: m_info.dsize = s; break;
            case Key::Mtime: m_info.mtime = s; break;
            case Key::Ino:
                m_info.ino = u;
                m_info.hasIno = true;
                break;
            case Key::Dev:
                m_info.dev = u;
                m_info.hasDev = true;
                break;
            case Key::Nlink: m_info.nlink = u; break;
            case Key::Other: break;
            default: return UnsignedValue(u);
            }
            m_key = Key::Other;
            return true;
        }
        return UnsignedValue(u);
    }
    bool Double(double) { return Scalar(Kind::Fraction, {}, 0, 0); }
    bool String(const char* s, unsigned n, bool) { return Scalar(Kind::String, {s, n}, 0, 0); }
    bool Key(const char* s, unsigned n, bool) {
        if (m_skip > 0) {
            m_prognameNext = m_inMetadata && m_skip == 1 && std::string_view(s, n) == "progname";
            return true;
        }
        m_key = KeyOf({s, n});
        return true;
    }
    bool StartObject() { return Open(false); }
    bool EndObject(unsigned) { return Close(false); }
    bool StartArray() { return Open(true); }
    bool EndArray(unsigned) { return Close(true); }

    [[nodiscard]] bool Complete() const noexcept { return m_stage == Stage::Done; }
    [[nodiscard]] const std::string& Refused() const noexcept { return m_refusal; }

private:
    enum class Kind { Null, Bool, Signed, Unsigned, Fraction, String };
    enum class Stage { Start, Major, Minor, Metadata, Root, Extra, Done };

    bool Refuse(std::string reason) {
        m_refusal = std::move(reason);
        return false;
    }

    bool Signed(std::int64_t i) {
        return i < 0 ? Scalar(Kind::Signed, {}, i, 0)
                     : Scalar(Kind::Unsigned, {}, i, static_cast<std::uint64_t>(i));
    }
    bool UnsignedValue(std::uint64_t u) {
        return Scalar(Kind::Unsigned, {}, u > INT64_MAX ? INT64_MAX : static_cast<std::int64_t>(u),
                      u);
    }

    // A value that is no object or array, wherever it stands.
    bool Scalar(Kind kind, std::string_view text, std::int64_t s, std::uint64_t u) {
        if (m_skip > 0) {
            if (m_prognameNext && kind == Kind::String) {
                m_laterLinksMarked = text == "gdu";
            }
            m_prognameNext = false;
            return true;
        }
        if (m_inInfo) {
            return Field(kind, text, s, u);
        }
        switch (m_stage) {
        case Stage::Start: return Refuse("an export starts with '['");
        case Stage::Major:
            if (kind != Kind::Unsigned) {
                return Refuse("the format's major version is not a number");
            }
            if (u != 1) {
                return Refuse("format version " + std::to_string(u) + " (only 1 is read)");
            }
            m_stage = Stage::Minor;
            return true;
        case Stage::Minor:
            if (kind != Kind::Unsigned) {
                return Refuse("the format's minor version is not a number");
            }
            m_stage = Stage::Metadata;
            return true;
        case Stage::Metadata: m_stage = Stage::Root; return true; // whatever it holds
        case Stage::Root:
            return Refuse(m_depth > 0 ? "a value in a folder that is no entry"
                                      : "the tree is not an array");
        case Stage::Extra: return true;
        case Stage::Done: return Refuse("data after the end");
        }
        return true;
    }

    bool Field(Kind kind, std::string_view text, std::int64_t s, std::uint64_t u) {
        const auto key = m_key;
        m_key = Key::Other;
        const bool number = kind == Kind::Unsigned || kind == Kind::Signed;
        auto needNumber = [&](const char* what) {
            if (kind == Kind::Fraction) {
                return Refuse(std::string(what) + " is not a whole number");
            }
            if (!number) {
                return Refuse(std::string(what) + " is not a number");
            }
            return true;
        };
        auto needUnsigned = [&](const char* what) {
            if (!needNumber(what)) {
                return false;
            }
            if (kind == Kind::Signed) {
                return Refuse(std::string(what) + " is negative");
            }
            return true;
        };
        switch (key) {
        case Key::Other: return true;
        case Key::Name:
            if (kind != Kind::String) {
                return Refuse("a name is not a string");
            }
            m_info.name = text;
            m_info.hasName = true;
            return true;
        case Key::Asize:
            if (!needUnsigned("a size")) {
                return false;
            }
            m_info.asize = s;
            return true;
        case Key::Dsize:
            if (!needUnsigned("a size")) {
                return false;
            }
            m_info.dsize = s;
            return true;
        case Key::Dev:
            if (!needUnsigned("a device number")) {
                return false;
            }
            m_info.dev = u;
            m_info.hasDev = true;
            return true;
        case Key::Ino:
            if (!needUnsigned("an inode number")) {
                return false;
            }
            m_info.ino = u;
            m_info.hasIno = true;
            return true;
        case Key::Nlink:
            if (!needUnsigned("a link count")) {
                return false;
            }
            m_info.nlink = u;
            return true;
        case Key::Mode:
            if (!needUnsigned("a mode")) {
                return false;
            }
            m_info.mode = u;
            m_info.hasMode = true;
            return true;
        case Key::Mtime:
            if (!needNumber("a time")) {
                return false;
            }
            m_info.mtime = s;
            return true;
        case Key::Hlnkc:
        case Key::ReadError:
        case Key::NotReg: {
            if (kind != Kind::Bool) {
                return Refuse("a flag is not true or false");
            }
            bool& flag = key == Key::Hlnkc       ? m_info.hlnkc
                         : key == Key::ReadError ? m_info.readError
                                                 : m_info.notreg;
            flag = s != 0;
            return true;
        }
        case Key::Excluded:
            // Early exports wrote a flag; later ones say why ("pattern", "otherfs", ...).
            if (kind == Kind::Bool) {
                m_info.hasExcluded = s != 0;
                m_info.excluded = "pattern";
                return true;
            }
            if (kind != Kind::String) {
                return Refuse("\"excluded\" is not a string");
            }
            m_info.hasExcluded = true;
            m_info.excluded = text;
            return true;
        }
        return true;
    }

    bool Open(bool array) {
        if (m_skip > 0) {
            ++m_skip;
            return true;
        }
        if (m_inInfo) {
            if (m_key != Key::Other) {
                return Refuse("a value of the wrong type");
            }
            m_skip = 1; // an unknown key's nested value
            return true;
        }
        switch (m_stage) {
        case Stage::Start:
            if (!array) {
                return Refuse("an export starts with '['");
            }
            m_stage = Stage::Major;
            return true;
        case Stage::Major:
        case Stage::Minor: return Refuse("the format version is not a number");
        case Stage::Metadata:
            m_skip = 1;
            m_inMetadata = !array;
            m_stage = Stage::Root;
            return true;
        case Stage::Extra: m_skip = 1; return true;
        case Stage::Done: return Refuse("data after the end");
        case Stage::Root: break;
        }
        // Inside the tree.
        if (array) {
            if (m_depth > 0 && m_levels[m_depth - 1].dir == nullptr) {
                return Refuse("a folder does not start with its info object");
            }
            if (m_depth > kNcduMaxDepth) {
                return Refuse("folders nested deeper than " + std::to_string(kNcduMaxDepth) +
                              " levels");
            }
            if (m_levels.size() == m_depth) {
                m_levels.emplace_back();
            }
            Level& l = m_levels[m_depth++];
            l.dir = nullptr;
            l.entries.clear();
            l.names.clear();
            m_arrayPending = true;
            return true;
        }
        if (m_depth == 0) {
            return Refuse("the tree is not an array");
        }
        m_inInfo = true;
        m_info.Clear();
        m_key = Key::Other;
        return true;
    }

    bool Close(bool array) {
        if (m_skip > 0) {
            if (--m_skip == 0) {
                m_inMetadata = false;
            }
            m_prognameNext = false;
            return true;
        }
        if (!array) {
            m_inInfo = false;
            return EndInfo();
        }
        if (m_depth == 0) {
            // The top-level array.
            if (m_stage != Stage::Extra) {
                return Refuse("the export ends before its tree");
            }
            m_stage = Stage::Done;
            return true;
        }
        Level& l = m_levels[m_depth - 1];
        if (l.dir == nullptr) {
            return Refuse("a folder without its info object");
        }
        if (!Finish(l)) {
            return false;
        }
        m_pages.ReleaseBefore(m_json.Position());
        --m_depth;
        if (m_depth == 0) {
            m_stage = Stage::Extra;
        }
        return true;
    }

    std::uint32_t DeviceIndex(std::uint64_t dev) {
        auto& devices = m_r.devices;
        if (m_lastDevice < devices.size() && devices[m_lastDevice] == dev) {
            return m_lastDevice;
        }
        for (std::uint32_t i = 0; i < devices.size(); ++i) {
            if (devices[i] == dev) {
                return m_lastDevice = i;
            }
        }
        if (devices.size() > Node::kMaxDevice) {
            return Node::kMaxDevice;
        }
        devices.push_back(dev);
        return m_lastDevice = static_cast<std::uint32_t>(devices.size() - 1);
    }

    Dir* NewDir(Dir* parent) {
        Dir* d = new (m_r.arenas.front().Allocate(sizeof(Dir), alignof(Dir))) Dir;
        d->parent = parent;
        d->depth = parent != nullptr ? parent->depth + 1 : 0;
        d->state = DirState::Read;
        ++m_r.folderRecords;
        return d;
    }

    static DirState StateOf(const Info& info) {
        if (info.readError) {
            return DirState::Unreadable;
        }
        if (info.hasExcluded) {
            return info.excluded == "otherfs" || info.excluded == "kernfs" ? DirState::MountPoint
                                                                           : DirState::NotEntered;
        }
        return DirState::Read;
    }

    bool EndInfo() {
        Info& info = m_info;
        if (!info.hasName) {
            return Refuse("an entry without a name");
        }
        if (info.readError) {
            ++m_r.errors;
        }
        Level& here = m_levels[m_depth - 1];
        const bool isFolderInfo = m_arrayPending;
        m_arrayPending = false;
        if (m_depth == 1 && isFolderInfo) {
            return RootInfo(here);
        }
        if (!IsEntryName(info.name)) {
            return Refuse("a name that is empty, \".\", \"..\" or holds '/' or NUL");
        }
        if (info.name.size() > Node::kMaxName) {
            return Refuse("a name longer than " + std::to_string(Node::kMaxName) + " bytes");
        }
        // A folder's entry goes into its parent's list; a file's into the open folder's.
        Level& parent = isFolderInfo ? m_levels[m_depth - 2] : here;
        if (parent.pathLength + 1 + info.name.size() > kNcduMaxPathBytes) {
            return Refuse("a path longer than " + std::to_string(kNcduMaxPathBytes) + " bytes");
        }
        Pending p{};
        p.nameStart = static_cast<std::uint32_t>(parent.names.size());
        p.nameLength = static_cast<std::uint16_t>(info.name.size());
        parent.names.append(info.name);
        p.device = info.hasDev ? DeviceIndex(info.dev) : parent.device;
        p.inode = info.ino;
        p.mtimeMs = MillisOfSeconds(info.mtime);
        // A mount point ncdu did not enter is written as a plain entry; the engine lists such
        // a place as a folder without children, as its own scans do.
        const bool mountEntry =
            !isFolderInfo && info.hasExcluded && StateOf(info) == DirState::MountPoint;
        if (isFolderInfo || mountEntry) {
            p.type = S_IFDIR >> 12;
            p.dir = NewDir(parent.dir);
            p.dir->state = StateOf(info);
            if (isFolderInfo) {
                here.dir = p.dir;
                here.device = p.device;
                here.pathLength = parent.pathLength + 1 + info.name.size();
            }
        } else {
            p.type = info.hasMode && (info.mode & S_IFMT) != 0 && (info.mode & S_IFMT) != S_IFDIR
                         ? static_cast<std::uint8_t>((info.mode & S_IFMT) >> 12)
                     : info.notreg ? 0 // neither folder nor regular file; which, unknown
                                   : static_cast<std::uint8_t>(S_IFREG >> 12);
            p.size = info.asize;
            p.diskSize = info.dsize;
            // Without its inode a link cannot be matched with the others: counted as a file.
            if (info.hasIno && (info.hlnkc || info.nlink > 1)) {
                p.flags |= kMultiLink;
            }
            if (info.hlnkc && m_laterLinksMarked) {
                // gdu marks only the links after the first, which it writes without an inode:
                // these are the ones it did not count.
                p.flags |= kDuplicate;
            }
            if (info.readError) {
                p.flags |= kStatFailed;
            }
        }
        parent.entries.push_back(p);
        return true;
    }

    bool RootInfo(Level& here) {
        const std::string_view path = m_info.name;
        if (path.empty() || path.find('\0') != std::string_view::npos) {
            return Refuse("the root's name is empty or holds NUL");
        }
        if (path.size() > kNcduMaxPathBytes) {
            return Refuse("a path longer than " + std::to_string(kNcduMaxPathBytes) + " bytes");
        }
        m_r.path = NormalisePath(path);
        if (m_r.path == "/") {
            m_r.name.assign(1, '/');
        } else if (const std::size_t slash = m_r.path.rfind('/'); slash == std::string::npos) {
            m_r.name = m_r.path;
        } else {
            m_r.parentPath = slash == 0 ? "/" : m_r.path.substr(0, slash);
            m_r.name = m_r.path.substr(slash + 1);
        }
        const std::string_view name =
            std::string_view(m_r.name).substr(0, std::min(m_r.name.size(), Node::kMaxName));
        Arena& arena = m_r.arenas.front();
        Node& node = *new (arena.Allocate(sizeof(Node) + name.size(), alignof(Node))) Node{};
        std::memcpy(&node + 1, name.data(), name.size());
        node.nameOffset = sizeof(Node);
        node.nameLength = static_cast<std::uint32_t>(name.size());
        node.inode = m_info.ino;
        node.mtimeMs = MillisOfSeconds(m_info.mtime);
        node.device = DeviceIndex(m_info.dev);
        node.type = S_IFDIR >> 12;
        Dir* root = NewDir(nullptr);
        root->state = StateOf(m_info);
        root->node = &node;
        node.dir = root;
        m_r.rootNode = &node;
        m_r.root = root;
        here.dir = root;
        here.device = node.device;
        here.pathLength = m_r.path.size();
        return true;
    }

    // The folder's array closed: its entries become nodes, in byte order of their names.
    bool Finish(Level& l) {
        const char* names = l.names.data();
        auto nameOf = [names](const Pending& p) {
            return std::string_view(names + p.nameStart, p.nameLength);
        };
        auto before = [&](const Pending& a, const Pending& b) { return nameOf(a) < nameOf(b); };
        // dvoscan writes every folder in this order already: one look tells, and then no two
        // names can be the same either.
        if (std::adjacent_find(l.entries.begin(), l.entries.end(),
                               [&](const Pending& a, const Pending& b) { return !before(a, b); }) !=
            l.entries.end()) {
            std::sort(l.entries.begin(), l.entries.end(), before);
            for (std::size_t i = 1; i < l.entries.size(); ++i) {
                if (nameOf(l.entries[i]) == nameOf(l.entries[i - 1])) {
                    // Two entries of one name: one of them could never be found again.
                    return Refuse("two entries named \"" + std::string(nameOf(l.entries[i])) +
                                  "\" in one folder");
                }
            }
        }
        const std::size_t count = l.entries.size();
        Dir* d = l.dir;
        if (count > 0) {
            auto* nodes = static_cast<Node*>(
                m_r.arenas.front().Allocate(count * sizeof(Node) + l.names.size(), alignof(Node)));
            char* nameAt = reinterpret_cast<char*>(nodes + count);
            for (std::size_t i = 0; i < count; ++i) {
                const Pending& p = l.entries[i];
                Node& n = *new (&nodes[i]) Node{};
                std::memcpy(nameAt, names + p.nameStart, p.nameLength);
                n.nameOffset = static_cast<std::uint32_t>(nameAt - reinterpret_cast<char*>(&n));
                n.nameLength = p.nameLength;
                nameAt += p.nameLength;
                n.inode = p.inode;
                n.mtimeMs = p.mtimeMs;
                n.device = p.device;
                n.type = p.type;
                n.flags = p.flags;
                if (n.IsFolder()) {
                    n.dir = p.dir;
                    p.dir->node = &n;
                } else {
                    n.size = p.size;
                    n.diskSize = p.diskSize;
                }
            }
            d->children = nodes;
        }
        d->childCount = static_cast<std::uint32_t>(count);
        return true;
    }

    ScanResult& m_r;
    InputPages& m_pages;
    const JsonPull& m_json;
    Stage m_stage = Stage::Start;
    int m_skip = 0;              // depth inside a value that is not kept
    bool m_inInfo = false;       // inside an info object
    bool m_arrayPending = false; // the next info object is the one of the folder just opened
    enum Key m_key = Key::Other;
    Info m_info;
    std::vector<Level> m_levels; // kept across folders, so their buffers are reused
    std::size_t m_depth = 0;     // folders open
    std::uint32_t m_lastDevice = 0;
    std::string m_refusal;
    bool m_inMetadata = false;       // skipping the metadata object
    bool m_prognameNext = false;     // its next value is the writer's name
    bool m_laterLinksMarked = false; // written by gdu, which flags only the later hard links
};

} // namespace

std::unique_ptr<ScanResult> ReadNcdu(std::FILE* in, NcduReadError& error, std::size_t chunk) {
    error = {};
    InputPages pages(in, chunk);
    auto failedRead = [&] {
        error.offset = pages.Size();
        error.reason = std::strerror(pages.Failed() ? pages.Errno() : errno);
        error.io = true;
        return nullptr;
    };
    if (!pages.Start()) {
        return failedRead();
    }
    auto result = std::make_unique<ScanResult>();
    result->options.hardLinksOnce = true;
    JsonPull json(pages.Data(), pages.Size(), [&pages](char*& end) { return pages.More(end); });
    Builder builder(*result, pages, json);
    const bool parsed = json.Parse(builder);
    if (pages.Failed()) {
        return failedRead();
    }
    if (!parsed) {
        error.offset = json.Offset();
        error.reason = json.Error() != nullptr ? json.Error() : builder.Refused();
        return nullptr;
    }
    if (!builder.Complete()) {
        error.offset = pages.Size();
        error.reason = "the export ends before its tree";
        return nullptr;
    }
    ComputeTotals(*result);
    return result;
}

} // namespace dvo
