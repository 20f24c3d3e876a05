// Writing a scan as an ncdu export: the compact tree walked once, through one buffer.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "engine/MovedEntries.h"
#include "engine/NcduFormat.h"
#include "platform/WholeFile.h"

namespace dvo {

namespace {

constexpr std::size_t kFlushAt = 1u << 20;

// One buffer, written out once it passes kFlushAt: every piece checks its room with one
// comparison and is copied in without the bookkeeping of a growing string.
class Output {
public:
    explicit Output(int fd) : m_fd(fd), m_buffer(kFlushAt + kRoom), m_end(m_buffer.data()) {}

    void Put(std::string_view text) {
        Room(text.size());
        std::memcpy(m_end, text.data(), text.size());
        m_end += text.size();
    }
    void Number(std::int64_t value) {
        Room(24);
        m_end = std::to_chars(m_end, m_end + 24, value).ptr;
    }
    void Unsigned(std::uint64_t value) {
        Room(24);
        m_end = std::to_chars(m_end, m_end + 24, value).ptr;
    }
    // A JSON string of the name's bytes as they are: bytes that are not UTF-8 go out raw, as
    // ncdu writes them, so a reader that keeps bytes gets the same name back.
    void String(std::string_view bytes) {
        Room(bytes.size() * 6 + 2);
        char* out = m_end;
        *out++ = '"';
        // Most names need no escape: their plain words are copied whole.
        std::size_t plain = 0;
        for (; plain + 8 <= bytes.size(); plain += 8) {
            std::uint64_t w = 0;
            std::memcpy(&w, bytes.data() + plain, 8);
            if (NeedsEscape(w)) {
                break;
            }
            std::memcpy(out, &w, 8);
            out += 8;
        }
        for (const char c : bytes.substr(plain)) {
            const auto b = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                *out++ = '\\';
                *out++ = c;
            } else if (b < 0x20 || b == 0x7F) {
                static constexpr char kHex[] = "0123456789abcdef";
                const char escape[6] = {'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 15]};
                std::memcpy(out, escape, sizeof escape);
                out += sizeof escape;
            } else {
                *out++ = c;
            }
        }
        *out++ = '"';
        m_end = out;
    }
    // After each entry: full buffers go out in writes of about kFlushAt.
    void EndEntry() {
        if (Used() >= kFlushAt) {
            Flush();
        }
    }
    bool Flush() {
        const char* p = m_buffer.data();
        std::size_t left = Used();
        while (left > 0 && m_ok) {
            const ssize_t n = ::write(m_fd, p, left);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                m_ok = false;
                m_errno = errno;
                break;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        m_end = m_buffer.data();
        return m_ok;
    }
    [[nodiscard]] bool Ok() const noexcept { return m_ok; }
    [[nodiscard]] int Errno() const noexcept { return m_errno; }

private:
    // Space past kFlushAt: what the largest piece of one entry takes, a name of kMaxName bytes
    // each escaped as \u00XX; a longer piece (the root's path) first empties the buffer.
    static constexpr std::size_t kRoom = Node::kMaxName * 6 + 64;

    // Whether any of the word's bytes is '"', '\\', a control byte or DEL.
    static bool NeedsEscape(std::uint64_t w) noexcept {
        constexpr std::uint64_t kOnes = 0x0101010101010101ull;
        constexpr std::uint64_t kHigh = 0x8080808080808080ull;
        auto zeroByte = [](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
        const std::uint64_t below = (w - kOnes * 0x20) & ~w & kHigh; // bytes under 0x20
        return (zeroByte(w ^ (kOnes * '"')) | zeroByte(w ^ (kOnes * '\\')) |
                zeroByte(w ^ (kOnes * 0x7F)) | below) != 0;
    }

    [[nodiscard]] std::size_t Used() const noexcept {
        return static_cast<std::size_t>(m_end - m_buffer.data());
    }
    void Room(std::size_t bytes) {
        if (m_buffer.size() - Used() < bytes) {
            Flush();
            if (m_buffer.size() < bytes) {
                m_buffer.resize(bytes); // only for a text longer than any name
                m_end = m_buffer.data();
            }
        }
    }

    int m_fd;
    bool m_ok = true;
    int m_errno = 0;
    std::vector<char> m_buffer;
    char* m_end;
};

using LinkCounts =
    std::unordered_map<std::pair<std::uint64_t, std::uint64_t>, std::uint32_t, IdentityHash>;

// The entries a folder lists now: the scan's minus those gone or moved away, plus those moved in.
template <typename F> void ForEachListed(Dir* d, MovedEntries* moved, F f) {
    for (std::uint32_t i = 0; i < d->childCount; ++i) {
        Node& n = d->children[i];
        if ((n.flags & kRemoved) == 0) {
            f(n);
        }
    }
    if (moved != nullptr) {
        if (MovedEntries::Incoming* in = moved->Into(d)) {
            for (const auto& e : in->entries) {
                if (!e->movedOn && !e->gone) {
                    f(*e->node);
                }
            }
        }
    }
}

// Links of each multiply linked file seen in the tree: the engine keeps no st_nlink, and this is
// the count that tells a reader whether every link lies inside the export.
LinkCounts CountLinks(const ScanResult& r, MovedEntries* moved) {
    LinkCounts counts;
    std::vector<Dir*> stack{r.root};
    while (!stack.empty()) {
        Dir* d = stack.back();
        stack.pop_back();
        ForEachListed(d, moved, [&](Node& n) {
            if (n.IsFolder()) {
                stack.push_back(n.dir);
            } else if (n.flags & kMultiLink) {
                ++counts[{r.devices[n.device], n.inode}];
            }
        });
    }
    return counts;
}

void PutFolderState(Output& out, const Dir* d) {
    switch (d->state) {
    case DirState::Read: break;
    case DirState::MountPoint: out.Put(",\"excluded\":\"otherfs\""); break;
    case DirState::NotEntered: out.Put(",\"excluded\":\"pattern\""); break;
    case DirState::Pending:
    case DirState::Partial:
    case DirState::Unreadable:
        // Not read, or read in part: a reader must not take the folder as complete.
        out.Put(",\"read_error\":true");
        break;
    }
}

void PutInfo(Output& out, const ScanResult& r, const Node& n, std::string_view name,
             std::uint64_t parentDevice, const LinkCounts& links) {
    out.Put("{\"name\":");
    out.String(name);
    const std::uint64_t device = r.devices[n.device];
    // What could not be read is left out, unless an export this came from gave it anyway.
    const bool statFailed = (n.flags & kStatFailed) != 0;
    if (!n.IsFolder() && (!statFailed || n.size != 0)) {
        out.Put(",\"asize\":");
        out.Number(n.size);
    }
    if (!n.IsFolder() && (!statFailed || n.diskSize != 0)) {
        out.Put(",\"dsize\":");
        out.Number(n.diskSize);
    }
    if (device != parentDevice) {
        out.Put(",\"dev\":");
        out.Unsigned(device);
    }
    if (!n.IsFolder() && (n.flags & kMultiLink)) {
        out.Put(",\"ino\":");
        out.Unsigned(n.inode);
        out.Put(",\"hlnkc\":true,\"nlink\":");
        const auto it = links.find({device, n.inode});
        out.Unsigned(it != links.end() ? it->second : 2);
    }
    if (statFailed) {
        out.Put(",\"read_error\":true");
    }
    if (!statFailed || n.mtimeMs != 0) {
        const std::int64_t ms = n.mtimeMs;
        out.Put(",\"mtime\":");
        out.Number(ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000));
    }
    if (!n.IsFolder() && n.Mode() != S_IFREG) {
        out.Put(",\"notreg\":true");
    }
    if (n.IsFolder()) {
        PutFolderState(out, n.dir);
    }
    out.Put("}");
}

} // namespace

bool WriteNcdu(const ScanResult& r, MovedEntries* moved, int fd, std::int64_t timestamp) {
    const LinkCounts links = CountLinks(r, moved);
    Output out(fd);
    out.Put("[1,2,{\"progname\":\"dvo\",\"progver\":\"" DVO_VERSION_TEXT "\",\"timestamp\":");
    out.Number(timestamp);
    out.Put("},\n[");
    // The root's name is the scanned path, as ncdu writes it; its device is always given.
    PutInfo(out, r, *r.rootNode, r.path, ~r.devices[r.rootNode->device], links);

    // Frames stay when a folder is done, so each level's list of children is filled again
    // without a new allocation.
    struct Frame {
        Dir* dir;
        std::vector<Node*> children;
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    std::size_t depth = 0;
    auto push = [&](Dir* d) {
        if (stack.size() == depth) {
            stack.emplace_back();
        }
        Frame& f = stack[depth++];
        f.dir = d;
        f.next = 0;
        f.children.clear();
        ForEachListed(d, moved, [&](Node& n) { f.children.push_back(&n); });
    };
    push(r.root);
    while (depth > 0 && out.Ok()) {
        Frame& f = stack[depth - 1];
        if (f.next == f.children.size()) {
            out.Put("]");
            --depth;
            continue;
        }
        const Node& n = *f.children[f.next++];
        const std::uint64_t parentDevice = r.devices[f.dir->node->device];
        out.Put(n.IsFolder() ? ",\n[" : ",\n");
        PutInfo(out, r, n, n.Name(), parentDevice, links);
        out.EndEntry();
        if (n.IsFolder()) {
            push(n.dir); // f is not used after this: push may move it
        }
    }
    out.Put("]\n");
    if (!out.Flush()) {
        errno = out.Errno();
        return false;
    }
    return true;
}

int WriteNcduFile(const ScanResult& result, MovedEntries* moved, const std::string& path,
                  std::int64_t timestamp) {
    return platform::WriteFileWhole(
        path, [&](int fd) { return WriteNcdu(result, moved, fd, timestamp); });
}

} // namespace dvo
