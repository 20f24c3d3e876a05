// Writing a scan as an ncdu export: the compact tree walked once, through one buffer.
#include <cerrno>
#include <charconv>
#include <cstdio>
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

class Output {
public:
    explicit Output(int fd) : m_fd(fd) { m_buffer.reserve(kFlushAt + 4096); }

    void Put(std::string_view text) {
        m_buffer.append(text);
        if (m_buffer.size() >= kFlushAt) {
            Flush();
        }
    }
    void Number(std::int64_t value) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        m_buffer.append(digits, end);
    }
    void Unsigned(std::uint64_t value) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        m_buffer.append(digits, end);
    }
    // A JSON string of the name's bytes as they are: bytes that are not UTF-8 go out raw, as
    // ncdu writes them, so a reader that keeps bytes gets the same name back.
    void String(std::string_view bytes) {
        m_buffer.push_back('"');
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                m_buffer.push_back('\\');
                m_buffer.push_back(c);
            } else if (b < 0x20 || b == 0x7F) {
                static constexpr char kHex[] = "0123456789abcdef";
                const char escape[6] = {'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 15]};
                m_buffer.append(escape, sizeof escape);
            } else {
                m_buffer.push_back(c);
            }
        }
        m_buffer.push_back('"');
    }
    bool Flush() {
        const char* p = m_buffer.data();
        std::size_t left = m_buffer.size();
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
        m_buffer.clear();
        return m_ok;
    }
    [[nodiscard]] bool Ok() const noexcept { return m_ok; }
    [[nodiscard]] int Errno() const noexcept { return m_errno; }

private:
    int m_fd;
    bool m_ok = true;
    int m_errno = 0;
    std::string m_buffer;
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

    struct Frame {
        Dir* dir;
        std::vector<Node*> children;
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    auto push = [&](Dir* d) {
        Frame f{d, {}, 0};
        ForEachListed(d, moved, [&](Node& n) { f.children.push_back(&n); });
        stack.push_back(std::move(f));
    };
    push(r.root);
    while (!stack.empty() && out.Ok()) {
        Frame& f = stack.back();
        if (f.next == f.children.size()) {
            out.Put("]");
            stack.pop_back();
            continue;
        }
        const Node& n = *f.children[f.next++];
        const std::uint64_t parentDevice = r.devices[f.dir->node->device];
        out.Put(n.IsFolder() ? ",\n[" : ",\n");
        PutInfo(out, r, n, n.Name(), parentDevice, links);
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
