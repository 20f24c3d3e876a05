// Writing a scan as an ncdu export: the compact tree walked once, in pieces that other threads
// may write ahead into memory, and written out in order through one buffer.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "engine/MovedEntries.h"
#include "engine/NcduFormat.h"
#include "platform/WholeFile.h"

namespace dvo {

namespace {

constexpr std::size_t kFlushAt = 1u << 20;

// One buffer, written out once it passes kFlushAt: every piece checks its room with one
// comparison and is copied in without the bookkeeping of a growing string. Without a descriptor
// it keeps everything, growing, for a thread that writes a piece of the export ahead.
class Output {
public:
    explicit Output(int fd, std::size_t capacity = kFlushAt)
        : m_fd(fd), m_buffer(capacity + kRoom), m_end(m_buffer.data()) {}
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

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
        if (m_fd >= 0 && Used() >= kFlushAt) {
            Flush();
        }
    }
    bool Flush() {
        if (m_fd < 0) {
            return m_ok;
        }
        const bool written = WriteOut(m_buffer.data(), Used());
        m_end = m_buffer.data();
        return written;
    }
    // What a piece written ahead holds, after what is here.
    bool Append(const Output& piece) {
        if (piece.Used() < kFlushAt) {
            Put({piece.m_buffer.data(), piece.Used()});
            return m_ok;
        }
        return Flush() && WriteOut(piece.m_buffer.data(), piece.Used());
    }
    [[nodiscard]] bool Ok() const noexcept { return m_ok; }
    [[nodiscard]] int Errno() const noexcept { return m_errno; }
    void Clear() noexcept { m_end = m_buffer.data(); }

private:
    bool WriteOut(const char* p, std::size_t left) {
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
        return m_ok;
    }

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
        if (m_buffer.size() - Used() >= bytes) {
            return;
        }
        if (m_fd < 0) {
            const std::size_t used = Used();
            m_buffer.resize(std::max(m_buffer.size() * 2, used + bytes));
            m_end = m_buffer.data() + used;
            return;
        }
        Flush();
        if (m_buffer.size() < bytes) {
            m_buffer.resize(bytes); // only for a text longer than any name
            m_end = m_buffer.data();
        }
    }

    int m_fd;
    bool m_ok = true;
    int m_errno = 0;
    std::vector<char> m_buffer;
    char* m_end;
};

// The identity (device, inode) of every multiply linked file seen, once per link, sorted: the
// count of an identity is the length of its run. Tens of thousands of links cost a sort and
// two binary searches each instead of a node allocated per identity.
class LinkCounts {
public:
    using Identity = std::pair<std::uint64_t, std::uint64_t>;
    void Add(std::uint64_t device, std::uint64_t inode) { m_links.emplace_back(device, inode); }
    void Seal() { std::sort(m_links.begin(), m_links.end()); }
    [[nodiscard]] std::uint32_t Count(std::uint64_t device, std::uint64_t inode) const {
        const auto [first, last] =
            std::equal_range(m_links.begin(), m_links.end(), Identity{device, inode});
        return static_cast<std::uint32_t>(last - first);
    }

private:
    std::vector<Identity> m_links;
};

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
                counts.Add(r.devices[n.device], n.inode);
            }
        });
    }
    counts.Seal();
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
        // An entry always counts itself; a file marked linked that the walk missed still says 2.
        const std::uint32_t count = links.Count(device, n.inode);
        out.Unsigned(count != 0 ? count : 2);
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

// Writes runs of a folder's children, each child with everything below it. Its frames stay
// from run to run, so each level's list of children is filled again without a new allocation.
class Walk {
public:
    Walk(const ScanResult& r, MovedEntries* moved, const LinkCounts& links)
        : m_r(r), m_moved(moved), m_links(links) {}

    void Run(Output& out, const std::vector<Node*>& nodes, std::uint64_t parentDevice) {
        std::size_t depth = 0;
        auto push = [&](std::uint64_t device) -> Frame& {
            if (m_stack.size() == depth) {
                m_stack.emplace_back();
            }
            Frame& f = m_stack[depth++];
            f.device = device;
            f.next = 0;
            f.children.clear();
            return f;
        };
        push(parentDevice).children = nodes;
        while (depth > 0 && out.Ok()) {
            Frame& f = m_stack[depth - 1];
            if (f.next == f.children.size()) {
                if (depth > 1) {
                    out.Put("]"); // the run's own nodes are closed by whoever wrote their folder
                }
                --depth;
                continue;
            }
            const Node& n = *f.children[f.next++];
            out.Put(n.IsFolder() ? ",\n[" : ",\n");
            PutInfo(out, m_r, n, n.Name(), f.device, m_links);
            out.EndEntry();
            if (n.IsFolder()) {
                Frame& below = push(m_r.devices[n.device]); // f is not used after this
                ForEachListed(n.dir, m_moved, [&](Node& c) { below.children.push_back(&c); });
            }
        }
    }

private:
    struct Frame {
        std::uint64_t device = 0;
        std::vector<Node*> children;
        std::size_t next = 0;
    };
    const ScanResult& m_r;
    MovedEntries* m_moved;
    const LinkCounts& m_links;
    std::vector<Frame> m_stack;
};

// A piece of the export in its order: a run of one folder's children that any thread may write,
// or the text around the runs of a folder too large for one (its own entry, its brackets).
struct Piece {
    enum State : int { kWaiting, kTaken, kDone, kFailed };
    std::vector<Node*> nodes; // a run; empty for text
    std::uint64_t parentDevice = 0;
    std::unique_ptr<Output> text; // the text, or the run written ahead by another thread
    std::atomic<int> state{kWaiting};
};

// Cuts the tree into pieces of about `pieceEntries` entries, in the order the export lists them.
void Plan(const ScanResult& r, MovedEntries* moved, const LinkCounts& links,
          std::size_t pieceEntries, std::int64_t timestamp, std::deque<Piece>& pieces) {
    auto text = [&]() -> Output& {
        if (pieces.empty() || !pieces.back().nodes.empty()) {
            pieces.emplace_back().text = std::make_unique<Output>(-1, 0);
        }
        return *pieces.back().text;
    };
    text().Put("[1,2,{\"progname\":\"dvo\",\"progver\":\"" DVO_VERSION_TEXT "\",\"timestamp\":");
    text().Number(timestamp);
    text().Put("},\n[");
    // The root's name is the scanned path, as ncdu writes it; its device is always given.
    PutInfo(text(), r, *r.rootNode, r.path, ~r.devices[r.rootNode->device], links);

    struct Frame {
        std::vector<Node*> listed;
        std::size_t next = 0;
        std::uint64_t device = 0;
        std::vector<Node*> run;
        std::size_t runEntries = 0;
    };
    auto below = [](const Node& n) {
        return n.IsFolder() ? static_cast<std::size_t>(n.dir->folderCount + n.dir->fileCount) : 0;
    };
    auto endRun = [&](Frame& f) {
        if (!f.run.empty()) {
            Piece& p = pieces.emplace_back();
            p.nodes = std::move(f.run);
            p.parentDevice = f.device;
            f.run = {};
            f.runEntries = 0;
        }
    };
    std::vector<Frame> stack;
    auto push = [&](Dir* d, std::uint64_t device) {
        Frame& f = stack.emplace_back();
        f.device = device;
        ForEachListed(d, moved, [&](Node& n) { f.listed.push_back(&n); });
    };
    push(r.root, r.devices[r.rootNode->device]);
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.listed.size()) {
            endRun(f);
            text().Put("]");
            stack.pop_back();
            continue;
        }
        Node& n = *f.listed[f.next++];
        const std::size_t entries = 1 + below(n);
        if (entries > pieceEntries) {
            // Too large for one run: its entry here, its children in runs of their own.
            endRun(f);
            text().Put(",\n[");
            PutInfo(text(), r, n, n.Name(), f.device, links);
            push(n.dir, r.devices[n.device]); // f is not used after this
            continue;
        }
        f.run.push_back(&n);
        f.runEntries += entries;
        if (f.runEntries >= pieceEntries) {
            endRun(f);
        }
    }
    text().Put("]\n");
}

// Every thread but the writer's stays at most this many runs ahead of what is written, so a
// slow disk does not keep the whole export in memory.
constexpr std::size_t kRunsAhead = 8;
constexpr unsigned kMostThreads = 4;

} // namespace

bool WriteNcdu(const ScanResult& r, MovedEntries* moved, int fd, std::int64_t timestamp,
               std::size_t pieceEntries) {
    const LinkCounts links = CountLinks(r, moved);
    std::deque<Piece> pieces;
    Plan(r, moved, links, std::max<std::size_t>(pieceEntries, 1), timestamp, pieces);
    std::vector<Piece*> runs;
    for (Piece& p : pieces) {
        if (!p.nodes.empty()) {
            runs.push_back(&p);
        }
    }

    // The runs go to whichever thread comes first: the writer takes the next run to write when
    // it is still waiting (and writes it straight out), or else a later one into memory; other
    // threads take later ones into memory. So with two threads both write entries all along.
    std::atomic<std::size_t> nextRun{0};
    std::atomic<std::size_t> written{0}; // runs written out; the most there are once stopped
    constexpr std::size_t kStopped = ~std::size_t{0};
    auto take = [&](std::size_t i) {
        int waiting = Piece::kWaiting;
        return runs[i]->state.compare_exchange_strong(waiting, Piece::kTaken);
    };
    // Buffers of runs already written out, for the next runs: a fresh one would cost its pages
    // zeroed and faulted in again.
    std::mutex spareLock;
    std::vector<std::unique_ptr<Output>> spare;
    auto buffer = [&] {
        const std::lock_guard lock(spareLock);
        if (spare.empty()) {
            return std::make_unique<Output>(-1);
        }
        std::unique_ptr<Output> b = std::move(spare.back());
        spare.pop_back();
        b->Clear();
        return b;
    };
    auto writeAhead = [&](Walk& walk, Piece& p) {
        try {
            p.text = buffer();
            walk.Run(*p.text, p.nodes, p.parentDevice);
            p.state.store(Piece::kDone);
        } catch (...) {
            p.state.store(Piece::kFailed); // no memory: the writer gives up
        }
        p.state.notify_all();
    };
    auto helper = [&] {
        Walk walk(r, moved, links);
        for (;;) {
            const std::size_t i = nextRun.fetch_add(1);
            if (i >= runs.size()) {
                return;
            }
            for (std::size_t w = written.load(); w != kStopped && i >= w + kRunsAhead;
                 w = written.load()) {
                written.wait(w);
            }
            if (written.load() == kStopped) {
                return;
            }
            if (take(i)) {
                writeAhead(walk, *runs[i]);
            }
        }
    };
    const unsigned threads =
        std::min({std::max(std::thread::hardware_concurrency(), 1u), kMostThreads,
                  static_cast<unsigned>(std::min<std::size_t>(runs.size(), kMostThreads))});
    std::vector<std::thread> helpers;
    // Every thread stopped and joined before the writer returns, also by an exception.
    struct Join {
        std::atomic<std::size_t>& written;
        std::vector<std::thread>& helpers;
        void Stop() {
            written.store(kStopped);
            written.notify_all();
            for (std::thread& t : helpers) {
                t.join();
            }
            helpers.clear();
        }
        ~Join() { Stop(); }
    } join{written, helpers};
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(helper);
        } catch (const std::system_error&) {
            break; // fewer threads, the same export
        }
    }

    Output out(fd);
    Walk walk(r, moved, links);
    std::size_t run = 0;
    bool failed = false;
    for (Piece& p : pieces) {
        if (!out.Ok() || failed) {
            break;
        }
        if (p.nodes.empty()) {
            out.Append(*p.text);
            continue;
        }
        if (take(run)) {
            walk.Run(out, p.nodes, p.parentDevice);
        } else {
            for (int state = p.state.load(); state == Piece::kTaken; state = p.state.load()) {
                // Another thread writes this run: write a later one meanwhile, or wait.
                std::size_t i = nextRun.load();
                if (i < runs.size() && i < run + kRunsAhead &&
                    nextRun.compare_exchange_strong(i, i + 1) && take(i)) {
                    writeAhead(walk, *runs[i]);
                    continue;
                }
                p.state.wait(Piece::kTaken);
            }
            if (p.state.load() == Piece::kFailed) {
                failed = true;
                break;
            }
            out.Append(*p.text);
            const std::lock_guard lock(spareLock);
            spare.push_back(std::move(p.text));
        }
        ++run;
        written.store(run);
        written.notify_all();
    }
    const bool flushed = !failed && out.Flush();
    join.Stop();
    if (!flushed) {
        errno = failed ? ENOMEM : out.Errno();
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
