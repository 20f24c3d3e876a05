#include "engine/Scanner.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include "engine/DVOSUB.h"
#include "engine/ErrorTable.h"
#include "engine/FaultInjection.h"
#include "engine/LastError.h"
#include "engine/UringStat.h"

namespace dvo {

namespace {

constexpr std::size_t kDentsBufferSize = 64 * 1024;
// Stats in flight on each worker's ring: enough for the kernel's workers and the device to
// plan ahead, few enough that an abort waits on little.
constexpr unsigned kRingDepth = 32;
// A ring's statx always goes through one of the kernel's worker threads, which costs more than
// the stat itself when the inode is cached, and while a few threads per core stat inline, their
// waits on a fast disk overlap anyway (measured on a virtual disk whose cold stats wait 0.1-1 ms
// about once in a hundred: inline beat the ring by 20% cold and 40% warm). So entries are
// statted inline until stats that wait longer than kSlowStatNs (a seek, a network round trip)
// take most of the time of kStatWindow inline stats; then the rest of the run and the next
// kRingRuns runs go to the ring, with many requests in flight, before inline stats are tried
// again.
constexpr std::int64_t kSlowStatNs = 1'000'000;
constexpr std::int64_t kStatWindow = 256;
constexpr unsigned kRingRuns = 16;
// A folder with this many entries has them statted by every idle worker, in chunks.
constexpr std::size_t kSplitEntries = 4096;
constexpr std::size_t kSplitChunk = 1024;
// An entry's state while its folder is listed: named but not statted yet, or vanished since.
constexpr std::uint8_t kUnstatted = 0x40;
constexpr std::uint8_t kGone = 0x80;

struct LinuxDirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

std::int64_t MonotonicNs() noexcept {
    timespec t = {};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::int64_t MillisOf(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

// "a//b/" -> "a/b"; "/" stays "/".
std::string NormalisePath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !out.empty() && out.back() == '/') {
            continue;
        }
        out.push_back(c);
    }
    while (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    return out;
}

// Opens a folder by a path of any length: paths beyond PATH_MAX are opened piece by piece.
int OpenLongPath(const std::string& path) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (path.size() < PATH_MAX) {
        return ::open(path.c_str(), flags);
    }
    int dirFd = AT_FDCWD;
    std::size_t pos = 0;
    if (path[0] == '/') {
        dirFd = ::open("/", flags);
        if (dirFd < 0) {
            return -1;
        }
        pos = 1;
    }
    while (pos < path.size()) {
        // The longest run of whole components that fits one call.
        std::size_t end = path.size();
        if (end - pos >= PATH_MAX) {
            end = path.rfind('/', pos + PATH_MAX - 1);
            if (end == std::string::npos || end <= pos) {
                if (dirFd != AT_FDCWD) {
                    ::close(dirFd);
                }
                errno = ENAMETOOLONG;
                return -1;
            }
        }
        const std::string piece = path.substr(pos, end - pos);
        const int next = ::openat(dirFd, piece.c_str(), flags);
        const int error = errno;
        if (dirFd != AT_FDCWD) {
            ::close(dirFd);
        }
        if (next < 0) {
            errno = error;
            return -1;
        }
        dirFd = next;
        pos = end + 1;
    }
    return dirFd;
}

} // namespace

struct Scanner::Entry {
    std::uint32_t nameStart; // in the worker's name buffer, NUL-terminated there
    std::uint16_t nameLength;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t inode;
    std::int64_t size;
    std::int64_t diskSize; // st_blocks x 512
    std::int64_t mtimeMs;
    std::uint64_t device;
    bool mountRoot; // a folder on which a file system (or a bind of one) is mounted
};

namespace {

// A folder's nodes followed by their names, in one arena block; fills the name fields.
Node* AllocateNodes(Arena& arena, std::size_t count, std::size_t nameBytes) {
    return static_cast<Node*>(arena.Allocate(count * sizeof(Node) + nameBytes, alignof(Node)));
}

void PlaceName(Node& n, char* at, std::string_view name) {
    std::memcpy(at, name.data(), name.size());
    n.nameOffset = static_cast<std::uint32_t>(at - reinterpret_cast<char*>(&n));
    n.nameLength = static_cast<std::uint32_t>(name.size());
}

// A node's name with a NUL, for the calls that take one.
struct NameBuffer {
    char text[Node::kMaxName + 1];
    explicit NameBuffer(const Node& n) {
        const std::string_view name = n.Name();
        std::memcpy(text, name.data(), name.size());
        text[name.size()] = '\0';
    }
};

} // namespace

// A descriptor kept on a worker's way down, with the folder it is open on. The worker that
// opened it is the only thread that uses and closes it: it closes it when its walk leaves the
// folder's subtree, when the limit drops the shallowest, and when it stops. Dirs outlive it.
struct KeptFolder {
    // Takes the descriptor only when called, so emplace_back moves it once there is room.
    KeptFolder(const Dir* d, platform::UniqueFd&& f) noexcept : dir(d), fd(std::move(f)) {}
    const Dir* dir;
    platform::UniqueFd fd;
};

// One scanning thread: its arenas, its scratch space and the progress it publishes. The
// counters are written by this thread only, under a sequence number, so a reader gets the
// three totals of one moment without any read-modify-write on the hot path.
struct alignas(64) Scanner::Worker {
    Arena nodes{1u << 20};
    // Descriptors of folders on this worker's way down, shallowest first, each below the one
    // before: the folders whose subfolders it reads next. A folder to read is opened
    // from its deepest ancestor here (else from the searched folder), or from the subtree just
    // left through "..", and the folders passed on the way are kept too: the cost of an open
    // stays a step or two whatever the depth.
    std::deque<KeptFolder> openPath;
    std::size_t openPathLimit = 1;
    std::vector<const Dir*> chain; // scratch: the folders to open on the way down
    std::string names;             // the names of the folder being read, each with its NUL
    std::size_t nameBytes = 0;     // of the names kept, without the NULs
    std::string path;              // with excludes: the folder's path and '/', then a name
    std::size_t folderPathLength = 0;
    UringStat ring;
    bool ringTried = false;
    unsigned ringRuns = 0; // runs still to send to the ring at once
    // Inline stats of the current window, their time, and the part of it spent in slow ones.
    std::int64_t windowStats = 0;
    std::int64_t windowNs = 0;
    std::int64_t windowSlowNs = 0;
    std::vector<Entry> entries;
    std::vector<Dir*> subfolders;
    std::vector<Dir*> ownStack; // folders this worker reads next, last in first out
    std::unique_ptr<char[]> dents{new char[kDentsBufferSize]};
    Totals local;

    alignas(64) std::atomic<std::uint32_t> sequence{0};
    std::atomic<std::int64_t> size{0};
    std::atomic<std::int64_t> folders{0};
    std::atomic<std::int64_t> files{0};
    std::atomic<std::int64_t> errors{0};
    std::atomic<const Dir*> current{nullptr};

    // Closes the deepest descriptors until `keep` remain.
    void ClosePath(std::size_t keep) noexcept {
        while (openPath.size() > keep) {
            openPath.pop_back();
        }
    }
    // Takes fd, of a folder below every one kept, dropping the shallowest past the limit; false
    // (fd left with the caller, and nothing dropped) without memory for it.
    bool KeepOnPath(const Dir* d, platform::UniqueFd& fd) noexcept {
        try {
            openPath.emplace_back(d, std::move(fd)); // moved only once there is room
        } catch (...) {
            return false;
        }
        if (openPath.size() > openPathLimit) {
            openPath.pop_front();
        }
        return true;
    }

    // A sequence lock without fences (which ThreadSanitizer does not model): each counter is
    // stored with release, so a reader that sees a new value also sees the odd sequence before
    // it, and loaded with acquire, so the reader's second look at the sequence comes after them.
    // On x86 these are the same plain moves as relaxed ones.
    void Publish() noexcept {
        const std::uint32_t s = sequence.load(std::memory_order_relaxed);
        sequence.store(s + 1, std::memory_order_relaxed);
        size.store(local.size, std::memory_order_release);
        folders.store(local.folders, std::memory_order_release);
        files.store(local.files, std::memory_order_release);
        errors.store(local.errors, std::memory_order_release);
        sequence.store(s + 2, std::memory_order_release);
    }

    [[nodiscard]] Totals Read() const noexcept {
        Totals t;
        for (;;) {
            const std::uint32_t s1 = sequence.load(std::memory_order_acquire);
            if (s1 & 1u) {
                continue;
            }
            t.size = size.load(std::memory_order_acquire);
            t.folders = folders.load(std::memory_order_acquire);
            t.files = files.load(std::memory_order_acquire);
            t.errors = errors.load(std::memory_order_acquire);
            if (sequence.load(std::memory_order_relaxed) == s1) {
                return t;
            }
        }
    }
};

// A large folder whose entries every idle worker helps to stat, chunk by chunk; it lives on its
// reader's stack until every helper has let go.
struct Scanner::Split {
    int fd = -1;
    std::uint64_t folderDevice = 0;
    std::vector<Entry>* entries = nullptr;
    const char* names = nullptr;
    std::size_t chunks = 0;
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable done;
    int helpers = 0; // guarded by mutex
};

int Scanner::DefaultThreadCount() noexcept {
    // Reading folders waits on the disk as much as on the processor: a few threads more than
    // cores keep more requests in flight when the cache is cold, at little cost when it is warm.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    // Measured on two cores: warm, 8 threads beat 2 and 4 as soon as anything else runs; cold,
    // 8 threads took half the time of 2.
    return static_cast<int>(std::clamp(cores * 4, 4u, 64u));
}

Scanner::Scanner(ScanOptions options) : m_options(options) {
    m_threadCount = options.threads > 0 ? std::min(options.threads, 256) : DefaultThreadCount();
    struct rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        // Besides what it keeps, each worker holds the folder it reads and its ring.
        const long room = static_cast<long>(limit.rlim_cur) / 2 - 3L * m_threadCount;
        m_fdBudget = static_cast<int>(std::clamp(room, 16L, 65536L));
    } else {
        m_fdBudget = 4096;
    }
}

Scanner::~Scanner() {
    Abort();
    if (m_result != nullptr) {
        // Open but never finished: close what the walk kept.
        try {
            auto result = Finish();
        } catch (...) {
            // No memory for the totals: what the walk kept open is closed with the process.
        }
    }
}

int Scanner::Open(std::string_view path) { return OpenBelow(path, path.size(), 0); }

int Scanner::OpenBelow(std::string_view path, std::size_t rootLength, std::uint64_t device) {
    if (path.empty() || m_result != nullptr || m_rootFd.valid()) {
        return DVO_E_INVALID_ARGUMENT;
    }
    auto result = std::make_unique<ScanResult>();
    result->options = m_options;
    result->path = NormalisePath(path);
    if (result->path == "/") {
        result->name.assign(1, '/'); // not = "/": g++ 12 warns falsely (-Wrestrict)
    } else {
        const std::size_t slash = result->path.rfind('/');
        if (slash == std::string::npos) {
            result->name = result->path;
        } else {
            result->parentPath = slash == 0 ? "/" : result->path.substr(0, slash);
            result->name = result->path.substr(slash + 1);
        }
    }

    const bool below = rootLength < path.size();
    platform::UniqueFd fd(
        OpenLongPath(below ? NormalisePath(path.substr(0, rootLength)) : result->path));
    if (below && fd.valid()) {
        // The folders under the searched one are entered as a search enters them: one at a time
        // from the folder above, a symbolic link put in their place since not followed.
        const int flags =
            O_RDONLY | O_DIRECTORY | O_CLOEXEC | (m_options.followLinks ? 0 : O_NOFOLLOW);
        std::string_view rest = path.substr(rootLength);
        while (!rest.empty() && fd.valid()) {
            const std::size_t start = rest.find_first_not_of('/');
            if (start == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(start);
            const std::string part(rest.substr(0, rest.find('/')));
            rest.remove_prefix(part.size());
            platform::UniqueFd next(::openat(fd.get(), part.c_str(), flags));
            if (!next.valid()) {
                // A link where the folder was is no folder of the search.
                return errno == ELOOP ? DVO_E_NOT_A_FOLDER : SearchCodeOf(errno);
            }
            fd = std::move(next);
        }
    }
    if (!fd.valid()) {
        return SearchCodeOf(errno);
    }
    struct stat st = {};
    if (::fstat(fd.get(), &st) != 0) {
        const int error = errno;
        return SearchCodeOf(error);
    }
    if (below && !m_options.crossFileSystems) {
        struct statx sx = {};
        const bool mountRoot = ::statx(fd.get(), "", AT_EMPTY_PATH, STATX_BASIC_STATS, &sx) == 0 &&
                               (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                               (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        if (mountRoot || st.st_dev != device) {
            return DVO_E_MOUNT_POINT; // a search would list it without entering it
        }
    }
    m_rootFd = std::move(fd);
    m_rootDevice = st.st_dev;
    m_path = result->path;

    for (int i = 0; i < m_threadCount; ++i) {
        m_workers.push_back(std::make_unique<Worker>());
        m_workers.back()->openPathLimit =
            static_cast<std::size_t>(std::max(1, m_fdBudget / m_threadCount));
    }
    Worker& first = *m_workers.front();
    result->devices.push_back(st.st_dev);
    const std::string_view rootName =
        std::string_view(result->name).substr(0, std::min(result->name.size(), Node::kMaxName));
    Node& node = *new (AllocateNodes(first.nodes, 1, rootName.size())) Node{};
    PlaceName(node, reinterpret_cast<char*>(&node + 1), rootName);
    node.inode = st.st_ino;
    node.mtimeMs = MillisOf(st);
    node.device = 0;
    node.type = S_IFDIR >> 12;
    node.flags = 0;
    result->rootNode = &node;
    Dir* root = new (first.nodes.Allocate(sizeof(Dir), alignof(Dir))) Dir;
    root->node = &node;
    node.dir = root;
    result->root = root;
    if (m_options.followLinks) {
        m_visited.insert({st.st_dev, st.st_ino});
    }
    m_stack.push_back(root);
    m_outstanding.store(1, std::memory_order_relaxed);
    m_result = std::move(result);
    return DVO_OK;
}

void Scanner::Abort() noexcept {
    m_abort.store(true, std::memory_order_relaxed);
    std::lock_guard lock(m_queueMutex);
    m_queueCv.notify_all();
}

void Scanner::Run() {
    if (m_result == nullptr) {
        return;
    }
    std::vector<std::thread> threads;
    try {
        threads.reserve(m_workers.size() - 1);
        for (std::size_t i = 1; i < m_workers.size(); ++i) {
            threads.push_back(faults::StartThread([this, i] { WorkerLoop(*m_workers[i]); }));
        }
    } catch (...) {
        // No more threads to be had: the ones that started (at least this one) do the walk.
    }
    WorkerLoop(*m_workers.front());
    for (std::thread& t : threads) {
        t.join();
    }
}

void Scanner::WorkerLoop(Worker& w) {
    std::vector<Dir*>& local = w.ownStack;
    for (;;) {
        Dir* next = nullptr;
        if (!local.empty()) {
            next = local.back();
            local.pop_back();
        } else {
            std::unique_lock lock(m_queueMutex);
            m_idle.fetch_add(1, std::memory_order_relaxed);
            m_queueCv.wait(lock, [&] {
                return !m_stack.empty() || !m_splits.empty() ||
                       m_outstanding.load(std::memory_order_acquire) == 0 ||
                       m_abort.load(std::memory_order_relaxed);
            });
            m_idle.fetch_sub(1, std::memory_order_relaxed);
            if (m_abort.load(std::memory_order_relaxed)) {
                break;
            }
            if (!m_splits.empty()) {
                // A large folder holds up its reader: its entries come first.
                Split* split = m_splits.back();
                {
                    std::lock_guard helping(split->mutex);
                    ++split->helpers;
                }
                lock.unlock();
                HelpSplit(w, *split);
                w.Publish();
                lock.lock();
                std::erase(m_splits, split); // every chunk is taken, or the walk is ending
                std::lock_guard helping(split->mutex);
                --split->helpers;
                split->done.notify_all(); // under its mutex: the reader may end the split then
                continue;
            }
            if (m_stack.empty()) {
                break;
            }
            next = m_stack.back();
            m_stack.pop_back();
        }
        if (m_abort.load(std::memory_order_relaxed)) {
            break;
        }
        try {
            ReadFolder(w, next);
        } catch (...) {
            // Out of memory (or a container at its limit) in this worker: the walk ends with what
            // it has, and the failure is counted and told.
            w.subfolders.clear();
            Fail(w);
            break;
        }

        // Pushed in reverse so the first child in byte order is read next: the walk stays depth
        // first, which keeps few descriptors open and little of the tree hot.
        const std::size_t n = w.subfolders.size();
        try {
            for (std::size_t i = n; i-- > 0;) {
                local.push_back(w.subfolders[i]);
            }
        } catch (...) {
            w.subfolders.clear();
            Fail(w);
            break;
        }
        w.subfolders.clear();
        if (m_outstanding.fetch_add(static_cast<std::int64_t>(n) - 1, std::memory_order_acq_rel) +
                static_cast<std::int64_t>(n) - 1 ==
            0) {
            std::lock_guard lock(m_queueMutex);
            m_queueCv.notify_all();
            break;
        }
        if (local.size() > 1 && m_idle.load(std::memory_order_relaxed) > 0) {
            // Share the oldest half: folders nearest the top, likely the largest subtrees.
            const std::size_t give = local.size() / 2;
            std::lock_guard lock(m_queueMutex);
            try {
                m_stack.insert(m_stack.end(), local.begin(),
                               local.begin() + static_cast<long>(give));
            } catch (...) {
                continue; // no room to share: this worker keeps them (insert left m_stack as it was)
            }
            m_queueCv.notify_all();
            local.erase(local.begin(), local.begin() + static_cast<long>(give));
        }
    }
    w.ClosePath(0);
    w.current.store(nullptr, std::memory_order_release);
    w.Publish();
}

void Scanner::Fail(Worker& w) noexcept {
    ++w.local.errors;
    w.Publish();
    m_failed.store(true, std::memory_order_relaxed);
    Abort();
}

namespace {

// From fd, the descriptor of `from`, up through ".." to its ancestor `to`, checking at each step
// that the folder reached is the one listed (a folder moved or entered through a link has
// another ".."). fd stays open; not valid when any step fails.
platform::UniqueFd OpenUp(const Dir* from, int fd, const Dir* to) {
    platform::UniqueFd at;
    for (const Dir* d = from; d != to;) {
        platform::UniqueFd next(
            ::openat(at.valid() ? at.get() : fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!next.valid()) {
            return platform::UniqueFd();
        }
        d = d->parent;
        struct stat st = {};
        if (::fstat(next.get(), &st) != 0 || st.st_ino != d->node->inode) {
            return platform::UniqueFd();
        }
        at = std::move(next); // the step below is closed with `next`
    }
    return at;
}

} // namespace

platform::UniqueFd Scanner::OpenFolder(Worker& w, const Dir* d) {
    // The deepest folder on this worker's way down that holds d.
    auto& path = w.openPath;
    const Dir* parent = d->parent;
    const Dir* base = m_result->root;
    int baseFd = m_rootFd.get();
    std::size_t keep = 0;
    const Dir* ancestor = parent;
    for (std::size_t i = path.size(); i-- > 0;) {
        const Dir* entry = path[i].dir;
        while (ancestor->depth > entry->depth) {
            ancestor = ancestor->parent;
        }
        if (ancestor == entry) {
            keep = i + 1;
            base = entry;
            baseFd = path[i].fd.get();
            break;
        }
    }
    // Going back up to the parent from the subtree this worker just left (a sibling's) takes one
    // step a level, where the way down from `base` may take a thousand.
    if (base != parent && keep < path.size()) {
        const Dir* below = path.back().dir;
        const Dir* up = below;
        while (up->depth > parent->depth) {
            up = up->parent;
        }
        if (up == parent && below->depth - parent->depth < parent->depth - base->depth) {
            platform::UniqueFd up = OpenUp(below, path.back().fd.get(), parent);
            if (up.valid()) {
                w.ClosePath(keep);
                const int upFd = up.get();
                if (w.KeepOnPath(parent, up)) {
                    base = parent;
                    baseFd = upFd;
                    keep = path.size();
                }
            }
        }
    }
    w.ClosePath(keep);

    std::vector<const Dir*>& chain = w.chain;
    chain.clear();
    for (const Dir* p = d; p != base; p = p->parent) {
        chain.push_back(p);
    }
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (m_options.followLinks ? 0 : O_NOFOLLOW);
    // fd is the last folder opened: held by `owned` until the way down keeps it.
    int fd = baseFd;
    platform::UniqueFd owned;
    for (std::size_t i = chain.size(); i-- > 0;) {
        const NameBuffer name(*chain[i]->node);
        platform::UniqueFd next(::openat(fd, name.text, flags));
        if (!next.valid()) {
            // The folders opened on the way stay kept for their other children.
            return platform::UniqueFd();
        }
        owned = std::move(next); // an unkept step above is closed with `next`
        fd = owned.get();
        if (i > 0) {
            w.KeepOnPath(chain[i], owned);
        }
    }
    return owned;
}

std::uint32_t Scanner::DeviceIndex(std::uint64_t device) {
    std::lock_guard lock(m_deviceMutex);
    auto& devices = m_result->devices;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i] == device) {
            return static_cast<std::uint32_t>(i);
        }
    }
    if (devices.size() > Node::kMaxDevice) {
        return Node::kMaxDevice; // beyond sixteen thousand file systems they share the last slot
    }
    devices.push_back(device);
    return static_cast<std::uint32_t>(devices.size() - 1);
}

bool Scanner::FirstVisit(std::uint64_t device, std::uint64_t inode) {
    std::lock_guard lock(m_deviceMutex);
    return m_visited.insert({device, inode}).second;
}

void Scanner::ReadFolder(Worker& w, Dir* d) {
    const bool isRoot = d->parent == nullptr;
    // The searched folder's descriptor is the scanner's; any other is this worker's.
    platform::UniqueFd owned = isRoot ? platform::UniqueFd() : OpenFolder(w, d);
    const int fd = isRoot ? m_rootFd.get() : owned.get();
    if (fd < 0) {
        d->state = DirState::Unreadable;
        ++w.local.errors;
        w.Publish();
        return;
    }
    w.current.store(d, std::memory_order_release);
    if (!m_excludes.Empty()) {
        w.path = FolderPath(m_path, d);
        if (w.path.back() != '/') {
            w.path.push_back('/');
        }
        w.folderPathLength = w.path.size();
    }

    struct stat st = {};
    if (::fstat(fd, &st) != 0 || (!isRoot && st.st_ino != d->node->inode)) {
        // Replaced between listing its parent and opening it: not what we listed.
        d->state = DirState::Unreadable;
        ++w.local.errors;
        w.Publish();
        return;
    }
    try {
        const bool aborted = ListEntries(w, fd, st.st_dev);
        PlaceNodes(w, d, st.st_dev, aborted);
    } catch (...) {
        // The folder stays listed without children (its descriptor is closed with `owned`).
        d->state = DirState::Unreadable;
        throw;
    }
    if (owned.valid() && !w.subfolders.empty()) {
        w.KeepOnPath(d, owned); // its first subfolder is the next this worker reads
    }
    w.Publish();
}

// Stats a run of a folder's entries and records the answers in them, for the ring and for the
// one-by-one path alike, so both give the same entries.
class Scanner::EntryStats final : public StatSink {
public:
    EntryStats(Scanner& scanner, Worker& w, int fd, std::uint64_t folderDevice, Entry* entries,
               const char* names) noexcept
        : m_scanner(scanner), m_worker(w), m_fd(fd), m_folderDevice(folderDevice),
          m_entries(entries), m_names(names),
          m_flags(scanner.m_options.followLinks ? AT_NO_AUTOMOUNT
                                                : (AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT)) {}

    [[nodiscard]] int Flags() const noexcept { return m_flags; }
    [[nodiscard]] bool Pending(std::size_t i) const noexcept {
        return (m_entries[i].flags & kUnstatted) != 0;
    }
    const char* Name(std::size_t i) const noexcept override {
        return m_names + m_entries[i].nameStart;
    }
    bool Stop() const noexcept override {
        return m_scanner.m_abort.load(std::memory_order_relaxed);
    }
    void Done(std::size_t i, int error, const struct statx& st) noexcept override {
        if (error != 0) {
            StatOne(i); // the ring's failures get the one-by-one path's answer, dangling links too
            return;
        }
        Settle(i, 0, st);
    }

    void StatOne(std::size_t i) noexcept {
        // statx rather than fstatat, at the same cost, for the mount-root attribute: a bind
        // mount of this file system has no other device to tell it by.
        struct statx es = {};
        int rc = ::statx(m_fd, Name(i), m_flags, kEntryStatMask, &es);
        if (rc != 0 && m_scanner.m_options.followLinks && errno == ENOENT) {
            rc = ::statx(m_fd, Name(i), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kEntryStatMask,
                         &es); // dangling
        }
        Settle(i, rc == 0 ? 0 : errno, es);
    }

private:
    void Settle(std::size_t i, int error, const struct statx& es) noexcept {
        Entry& e = m_entries[i];
        if (error != 0) {
            ++m_worker.local.errors;
            if (error == ENOENT) {
                e.flags = kGone; // vanished since it was listed
                return;
            }
            // Listed with what the directory entry told (its inode and type, kept in e).
            if (e.type == DT_UNKNOWN) {
                e.type = S_IFREG >> 12;
            }
            e.size = 0;
            e.diskSize = 0;
            e.mtimeMs = 0;
            e.device = m_folderDevice;
            e.mountRoot = false;
            e.flags = kStatFailed;
            return;
        }
        const std::uint64_t device = makedev(es.stx_dev_major, es.stx_dev_minor);
        e.inode = es.stx_ino;
        e.size = static_cast<std::int64_t>(es.stx_size);
        // A file system that reports no block count (some network ones) leaves it at zero.
        e.diskSize = 0;
        if ((es.stx_mask & STATX_BLOCKS) != 0) {
            e.diskSize = es.stx_blocks > INT64_MAX / 512
                             ? INT64_MAX
                             : static_cast<std::int64_t>(es.stx_blocks) * 512;
        }
        e.mtimeMs =
            static_cast<std::int64_t>(es.stx_mtime.tv_sec) * 1000 + es.stx_mtime.tv_nsec / 1000000;
        e.device = device;
        e.type = static_cast<std::uint8_t>((es.stx_mode & S_IFMT) >> 12);
        e.flags = !S_ISDIR(es.stx_mode) && es.stx_nlink > 1 ? kMultiLink : 0;
        // Where the kernel cannot tell a mount root, another device is the only sign.
        e.mountRoot = (es.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0
                          ? (es.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0
                          : device != m_folderDevice;
    }

    Scanner& m_scanner;
    Worker& m_worker;
    int m_fd;
    std::uint64_t m_folderDevice;
    Entry* m_entries;
    const char* m_names;
    int m_flags;
};

void Scanner::StatEntries(Worker& w, int fd, std::uint64_t folderDevice,
                          std::vector<Entry>& entries, const char* names, std::size_t begin,
                          std::size_t end) {
    EntryStats stats(*this, w, fd, folderDevice, entries.data() + begin, names);
    const std::size_t count = end - begin;
    // Tests and benchmarks may fix how many go inline; otherwise slow stats decide.
    const long fixedInline = faults::InlineStatsPerRun();
    const bool ringUsable = !w.ringTried || w.ring.Ready(); // not refused yet
    std::size_t first = 0;                                  // the first entry the ring is to stat
    if (w.ring.Ready() && fixedInline < 0 && w.ringRuns > 0) {
        --w.ringRuns;
    } else {
        const bool timed = ringUsable && fixedInline < 0;
        std::int64_t start = timed ? MonotonicNs() : 0; // a stat's end is the next one's start
        for (long inlined = 0; first < count; ++first) {
            if (stats.Stop()) {
                return;
            }
            if (!stats.Pending(first)) {
                continue;
            }
            if (ringUsable && fixedInline >= 0 && inlined == fixedInline) {
                break;
            }
            stats.StatOne(first);
            ++inlined;
            if (!timed) {
                continue;
            }
            const std::int64_t end = MonotonicNs();
            const std::int64_t took = end - start;
            start = end;
            w.windowNs += took;
            w.windowSlowNs += took > kSlowStatNs ? took : 0;
            if (++w.windowStats < kStatWindow) {
                continue;
            }
            const bool waiting = w.windowSlowNs > w.windowNs / 4 * 3;
            w.windowStats = w.windowNs = w.windowSlowNs = 0;
            if (waiting) {
                w.ringRuns = kRingRuns;
                ++first;
                break;
            }
        }
        if (first >= count) {
            return;
        }
    }
    if (!w.ringTried) {
        // Set up when first wanted, so a scan of cached inodes never pays for rings. Once per
        // worker: a refused ring is not asked for again.
        w.ringTried = true;
        static_cast<void>(w.ring.Start(kRingDepth));
    }
    if (w.ring.Ready()) {
        EntryStats rest(*this, w, fd, folderDevice, entries.data() + begin + first, names);
        if (w.ring.Stat(fd, rest.Flags(), kEntryStatMask, count - first, rest)) {
            return;
        }
    }
    // The ring failed on the way: what it left unanswered, one by one.
    for (std::size_t i = first; i < count; ++i) {
        if (stats.Stop()) {
            return;
        }
        if (stats.Pending(i)) {
            stats.StatOne(i);
        }
    }
}

void Scanner::HelpSplit(Worker& w, Split& split) {
    const std::size_t count = split.entries->size();
    for (;;) {
        const std::size_t chunk = split.next.fetch_add(1, std::memory_order_relaxed);
        if (chunk >= split.chunks || m_abort.load(std::memory_order_relaxed)) {
            return;
        }
        const std::size_t begin = chunk * kSplitChunk;
        StatEntries(w, split.fd, split.folderDevice, *split.entries, split.names, begin,
                    std::min(begin + kSplitChunk, count));
    }
}

// Sorts a folder's entries into the byte order of their names. A large folder is sorted by keys
// that hold each name's first 12 bytes, so few comparisons reach the names themselves and none
// chases an entry.
void Scanner::SortByName(std::vector<Entry>& entries, const char* names) {
    const auto byName = [names](const Entry& a, const Entry& b) {
        return std::string_view(names + a.nameStart, a.nameLength) <
               std::string_view(names + b.nameStart, b.nameLength);
    };
    constexpr std::size_t kKeyedSortFrom = 64;
    if (entries.size() < kKeyedSortFrom) {
        std::sort(entries.begin(), entries.end(), byName);
        return;
    }
    struct Key {
        std::uint64_t high;
        std::uint32_t low;
        std::uint32_t index;
    };
    static_assert(sizeof(Key) == 16, "keys of a large folder are kept while it is sorted");
    std::vector<Key> keys(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        // Big-endian words of the name padded with NULs, which no name holds: a shorter name
        // that is a prefix of another sorts first, as in byte order.
        unsigned char bytes[12] = {};
        std::memcpy(bytes, names + entries[i].nameStart,
                    std::min<std::size_t>(entries[i].nameLength, sizeof bytes));
        std::uint64_t high = 0;
        std::uint32_t low = 0;
        for (int b = 0; b < 8; ++b) {
            high = high << 8 | bytes[b];
        }
        for (int b = 8; b < 12; ++b) {
            low = low << 8 | bytes[b];
        }
        keys[i] = {high, low, static_cast<std::uint32_t>(i)};
    }
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.high != b.high) {
            return a.high < b.high;
        }
        if (a.low != b.low) {
            return a.low < b.low;
        }
        return byName(entries[a.index], entries[b.index]); // the same first 12 bytes
    });
    // In place, cycle by cycle (a copy would add a large folder's entries to the peak): place i
    // takes the entry that was at keys[i].index, and a done place points to itself.
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].index == i) {
            continue;
        }
        const Entry first = entries[i];
        std::size_t at = i;
        for (;;) {
            const std::size_t from = keys[at].index;
            keys[at].index = static_cast<std::uint32_t>(at);
            if (from == i) {
                entries[at] = first;
                break;
            }
            entries[at] = entries[from];
            at = from;
        }
    }
}

bool Scanner::ListEntries(Worker& w, int fd, std::uint64_t folderDevice) {
    if (faults::FolderReadFails()) {
        throw std::bad_alloc();
    }
    if (faults::FolderReadAborts()) {
        Abort(); // as a cancel that comes while this folder is listed
    }
    std::vector<Entry>& entries = w.entries;
    entries.clear();
    std::string& names = w.names;
    names.clear();
    const bool excluding = !m_excludes.Empty();
    bool aborted = false;
    char* buffer = w.dents.get();
    // The names first, then their stats: many can then be in flight at once.
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buffer, kDentsBufferSize);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ++w.local.errors; // list what could be read
            break;
        }
        for (long offset = 0; offset < n;) {
            const auto* de = reinterpret_cast<const LinuxDirent64*>(buffer + offset);
            offset += de->d_reclen;
            const char* name = de->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
                continue;
            }
            if (m_abort.load(std::memory_order_relaxed)) {
                aborted = true;
                break;
            }
            const std::size_t length = std::strlen(name);
            if (length > Node::kMaxName) {
                ++w.local.errors; // longer than any Linux file system makes
                continue;
            }
            if (excluding) {
                w.path.resize(w.folderPathLength);
                w.path.append(name, length);
                if (m_excludes.Matches(w.path.c_str())) {
                    continue;
                }
            }
            Entry e = {};
            e.nameStart = static_cast<std::uint32_t>(names.size());
            e.nameLength = static_cast<std::uint16_t>(length);
            names.append(name, length + 1);
            e.inode = de->d_ino;
            e.type = de->d_type; // DT_* is the mode's type bits, what a failed stat leaves
            e.flags = kUnstatted;
            entries.push_back(e);
        }
        if (aborted) {
            break;
        }
    }

    const std::size_t count = entries.size();
    if (!aborted && count >= kSplitEntries && m_threadCount > 1) {
        Split split;
        split.fd = fd;
        split.folderDevice = folderDevice;
        split.entries = &entries;
        split.names = names.data();
        split.chunks = (count + kSplitChunk - 1) / kSplitChunk;
        bool shared = true;
        try {
            std::lock_guard lock(m_queueMutex);
            m_splits.push_back(&split);
        } catch (...) {
            shared = false; // no room to share it: this worker stats it alone
        }
        if (shared) {
            m_queueCv.notify_all();
        }
        HelpSplit(w, split);
        if (shared) {
            {
                std::lock_guard lock(m_queueMutex);
                std::erase(m_splits, &split);
            }
            std::unique_lock lock(split.mutex);
            split.done.wait(lock, [&] { return split.helpers == 0; });
        }
    } else if (!aborted) {
        StatEntries(w, fd, folderDevice, entries, names.data(), 0, count);
    }

    // Entries that vanished leave; those an abort left unstatted too, and the folder is partial.
    std::size_t kept = 0;
    w.nameBytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        if ((e.flags & (kUnstatted | kGone)) != 0) {
            aborted = aborted || (e.flags & kUnstatted) != 0;
            continue;
        }
        w.nameBytes += e.nameLength;
        entries[kept++] = e;
    }
    entries.resize(kept);

    SortByName(entries, names.data());
    return aborted;
}

void Scanner::PlaceNodes(Worker& w, Dir* d, std::uint64_t folderDevice, bool aborted) {
    const bool isRoot = d->parent == nullptr;
    const std::uint32_t folderDeviceIndex = d->node->device;
    const std::vector<Entry>& entries = w.entries;
    const std::string& names = w.names;
    const char* nameBase = names.data();
    const std::size_t count = entries.size();
    if (isRoot) {
        d->pathLength =
            static_cast<std::uint32_t>(std::min<std::size_t>(m_path.size(), UINT32_MAX));
        m_budget.Add(RecordBudget::PathTextBytes(d->pathLength));
    }
    m_budget.Add(count * sizeof(Node) + w.nameBytes);
    Node* children = count == 0 ? nullptr : AllocateNodes(w.nodes, count, w.nameBytes);
    char* nameAt = reinterpret_cast<char*>(children + count);
    std::vector<Dir*>& subfolders = w.subfolders;
    for (std::size_t i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        Node& n = *new (&children[i]) Node{};
        PlaceName(n, nameAt, {nameBase + e.nameStart, e.nameLength});
        nameAt += e.nameLength;
        n.inode = e.inode;
        n.mtimeMs = e.mtimeMs;
        n.device = e.device == folderDevice ? folderDeviceIndex : DeviceIndex(e.device);
        n.type = e.type;
        n.flags = e.flags;
        if (!n.IsFolder()) {
            n.size = e.size;
            n.diskSize = e.diskSize;
            w.local.size =
                AddBytes(w.local.size, m_options.liveMode == SizeMode::Disk ? e.diskSize : e.size);
            ++w.local.files;
            continue;
        }
        ++w.local.folders;
        Dir* child = new (w.nodes.Allocate(sizeof(Dir), alignof(Dir))) Dir;
        child->node = &n;
        child->parent = d;
        child->depth = d->depth + 1;
        child->pathLength = RecordBudget::ChildPathLength(d->pathLength, e.nameLength);
        m_budget.Add(sizeof(Dir));
        n.dir = child;
        if (e.flags & kStatFailed) {
            child->state = DirState::Unreadable;
        } else if ((e.mountRoot || e.device != folderDevice) && !m_options.crossFileSystems) {
            child->state = DirState::MountPoint;
        } else if (!m_options.recurse || aborted) {
            child->state = aborted ? DirState::Pending : DirState::NotEntered;
        } else if (m_options.followLinks && !FirstVisit(e.device, e.inode)) {
            child->state = DirState::NotEntered;
        } else if (!m_budget.Reserve(RecordBudget::PathTextBytes(child->pathLength))) {
            // Its records would not fit: the walk ends here as an abort does, this folder and
            // those after it left unread.
            child->state = DirState::Pending;
            if (!m_abort.load(std::memory_order_relaxed)) {
                Abort();
            }
        } else {
            subfolders.push_back(child);
        }
    }
    d->children = children;
    d->childCount = static_cast<std::uint32_t>(count);
    d->state = aborted ? DirState::Partial : DirState::Read;
    if (aborted) {
        m_cutShort.store(true, std::memory_order_relaxed);
    }
}

std::unique_ptr<ScanResult> Scanner::Finish() {
    if (m_result == nullptr) {
        return nullptr;
    }
    m_result->overBudget = m_budget.Exceeded();
    // An abort after the last folder was read whole ends nothing short; one that cut the last
    // folder's reading does, though no folder is left queued then.
    m_result->aborted = (m_abort.load(std::memory_order_relaxed) &&
                         m_outstanding.load(std::memory_order_relaxed) != 0) ||
                        m_cutShort.load(std::memory_order_relaxed) || m_result->overBudget;
    m_result->folderRecords = ComputeTotals(*m_result);
    std::int64_t errors = 0;
    for (auto& w : m_workers) {
        errors += w->local.errors;
        m_result->arenas.push_back(std::move(w->nodes));
    }
    if (m_failed.load(std::memory_order_relaxed)) {
        SetLastErrorText(kOutOfResourcesText);
    } else if (m_result->overBudget) {
        SetLastErrorText(kRecordBudgetText);
    }
    m_result->errors = errors;
    m_rootFd.reset();
    return std::move(m_result);
}

Scanner::Totals Scanner::Snapshot() const noexcept {
    Totals sum;
    for (const auto& w : m_workers) {
        const Totals t = w->Read();
        sum.size = AddBytes(sum.size, t.size);
        sum.folders += t.folders;
        sum.files += t.files;
        sum.errors += t.errors;
    }
    return sum;
}

const Dir* Scanner::CurrentFolder() const noexcept {
    for (const auto& w : m_workers) {
        if (const Dir* d = w->current.load(std::memory_order_acquire)) {
            return d;
        }
    }
    return nullptr;
}

std::string FolderPath(std::string_view rootPath, const Dir* d) {
    std::vector<const Dir*> chain;
    for (; d != nullptr && d->parent != nullptr; d = d->parent) {
        chain.push_back(d);
    }
    std::string path(rootPath);
    for (std::size_t i = chain.size(); i-- > 0;) {
        if (path.empty() || path.back() != '/') {
            path.push_back('/');
        }
        path.append(chain[i]->node->Name());
    }
    return path;
}

} // namespace dvo
