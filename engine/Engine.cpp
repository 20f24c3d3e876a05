#include "engine/Engine.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "engine/DisplayText.h"
#include "engine/FaultInjection.h"
#include "engine/LastError.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"

namespace dvo {

namespace {

std::unique_ptr<Engine> g_engine;

int Saturate(std::int64_t v) { return v > INT_MAX ? INT_MAX : static_cast<int>(v); }

bool NameLess(const Node& n, std::string_view name) {
    return n.Name() < name; // byte order, as the scanner sorts
}

Node* FindChild(Dir* d, std::string_view name) {
    Node* begin = d->children;
    Node* end = d->children + d->childCount;
    Node* it = std::lower_bound(begin, end, name, NameLess);
    return it != end && it->Name() == name ? it : nullptr;
}

} // namespace

Engine* Engine::Instance() noexcept { return g_engine.get(); }

int Engine::Create() {
    if (g_engine == nullptr) {
        g_engine = std::make_unique<Engine>(); // bad_alloc is answered at the export
    }
    return DVO_OK;
}

int Engine::Destroy() {
    g_engine.reset();
    return DVO_OK;
}

Engine::~Engine() {
    Abort();
    Discard();
}

void Engine::Settle() {
    if (m_searching.load(std::memory_order_acquire)) {
        return;
    }
    if (m_controller.joinable()) {
        m_controller.join();
    }
    if (m_rescanning != nullptr) {
        m_scanner.reset();
        FinishRescan(std::exchange(m_rescanning, nullptr), std::move(m_pending));
        return;
    }
    if (m_pending != nullptr || m_scanner != nullptr) {
        m_result = std::move(m_pending);
        m_records = std::move(m_pendingRecords);
        if (m_result != nullptr) {
            m_result->sizeMode = m_sizeMode;
        }
        m_scanner.reset();
    }
}

RecordStore* Engine::Records() {
    Settle();
    if (IsSearching() || m_result == nullptr) {
        return nullptr;
    }
    if (m_records == nullptr) {
        // Made on first use; without the memory for it the records stay unavailable and the
        // next call tries again.
        try {
            m_records = std::make_unique<RecordStore>(*m_result, m_moved);
        } catch (...) {
            m_records.reset();
            SetLastErrorText(kOutOfResourcesText);
            ++m_result->errors; // a list the caller cannot have is not to look empty
        }
    }
    return m_records.get();
}

void Engine::Discard() {
    m_pendingRecords.reset();
    m_records.reset();
    m_moved.Clear();
    m_result.reset();
    m_pending.reset();
    m_scanner.reset();
    m_lostResult = false;
    m_opened = false;
    m_shownFolder = nullptr;
    m_shownPath[0] = u'\0';
}

void Engine::MakeRecordsAhead() {
    // The program lists every record once a search ends; made here, on the machine's cores,
    // its thread only takes the pointers. An abort leaves them to be made when asked for.
    if (!m_recordsAhead || m_pending == nullptr || m_stopRecords.load(std::memory_order_relaxed)) {
        return;
    }
    // Records show the count in force; it cannot change while the search runs.
    m_pending->sizeMode = m_sizeMode;
    try {
        m_pendingRecords = std::make_unique<RecordStore>(*m_pending, m_moved);
    } catch (...) {
        return; // made when first asked for, as without this
    }
    m_pendingRecords->MakeAllRecords(std::max(1u, std::thread::hardware_concurrency()),
                                     m_stopRecords);
}

void Engine::WaitForTotals() {
    // The workers have stopped and the totals are being made: milliseconds, so a new search
    // waits for them rather than being refused.
    if (!IsActive() && m_controller.joinable()) {
        m_controller.join();
    }
}

int Engine::StartSearching() {
    if (IsActive()) {
        return DVO_E_BUSY;
    }
    WaitForTotals();
    Settle();
    Discard();
    m_searchPath.clear();
    return DVO_OK;
}

int Engine::AddSearchDirectory(const char16_t* path) {
    if (path == nullptr || path[0] == u'\0') {
        return DVO_E_INVALID_ARGUMENT;
    }
    if (IsActive()) {
        return DVO_E_BUSY;
    }
    std::string bytes = platform::Utf16ToUtf8(path);
    if (bytes.front() != '/') {
        // Records carry absolute folders, so file operations never depend on where we are.
        std::string cwd(PATH_MAX, '\0');
        if (::getcwd(cwd.data(), cwd.size()) != nullptr) {
            cwd.resize(std::strlen(cwd.c_str()));
            bytes = cwd + "/" + bytes;
        }
    }
    m_searchPath = std::move(bytes);
    return DVO_OK;
}

int Engine::SetSizeMode(int mode) {
    if (mode != DVO_SIZE_APPARENT && mode != DVO_SIZE_DISK) {
        return DVO_E_INVALID_ARGUMENT;
    }
    if (IsSearching()) {
        return DVO_E_BUSY;
    }
    Settle();
    m_sizeMode = static_cast<SizeMode>(mode);
    if (m_result != nullptr && m_result->sizeMode != m_sizeMode) {
        m_result->sizeMode = m_sizeMode;
        if (m_records != nullptr) {
            m_records->RefreshSizes();
        }
    }
    return DVO_OK;
}

int Engine::ExecSearch(const ScanOptions& requested) {
    if (IsActive()) {
        return DVO_E_BUSY;
    }
    if (m_searchPath.empty()) {
        return DVO_E_INVALID_ARGUMENT;
    }
    WaitForTotals();
    Settle();
    Discard();
    ScanOptions options = requested;
    options.liveMode = m_sizeMode;
    // A reason left after this search is this search's: why it ended early.
    SetLastErrorText({});
    // File systems stamp times from the same wall clock; what is born after this is not what
    // the search saw.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    m_searchStartNs = std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
    try {
        m_searchExcludes = m_excludes;
        auto scanner = std::make_unique<Scanner>(options);
        scanner->SetExcludes(m_excludes);
        const int rc = scanner->Open(m_searchPath);
        if (rc != DVO_OK) {
            return rc;
        }
        m_rootPath = scanner->RootPath();
        m_scanner = std::move(scanner);
        m_stopRecords.store(false, std::memory_order_relaxed);
        m_active.store(true, std::memory_order_release);
        m_searching.store(true, std::memory_order_release);
        m_controller = faults::StartThread([this] {
            m_scanner->Run();
            m_active.store(false, std::memory_order_release);
            try {
                m_pending = m_scanner->Finish();
                MakeRecordsAhead();
            } catch (...) {
                // No memory left for the totals: the search ends without a result, and says so.
                m_pending.reset();
                m_lostResult = true;
                SetLastErrorText(kOutOfResourcesText);
            }
            m_searching.store(false, std::memory_order_release);
        });
    } catch (...) {
        m_active.store(false, std::memory_order_release);
        m_searching.store(false, std::memory_order_release);
        m_scanner.reset();
        SetLastErrorText(kOutOfResourcesText);
        return DVO_E_IO;
    }
    return DVO_OK;
}

int Engine::Abort() {
    m_stopRecords.store(true, std::memory_order_relaxed);
    if (m_scanner != nullptr && IsSearching()) {
        m_scanner->Abort();
    }
    if (m_controller.joinable()) {
        m_controller.join();
    }
    Settle();
    return DVO_OK;
}

void Engine::FillCurrentPath(SearchProgress* progress, const Dir* d, const std::string& rootPath) {
    if (d != nullptr && d != m_shownFolder) {
        const std::u16string text = platform::Utf8ToUtf16(FolderPath(rootPath, d));
        const std::size_t n = FittingUnits(text, DVO_NAME_UNITS - 1);
        std::copy_n(text.begin(), n, m_shownPath);
        m_shownPath[n] = u'\0';
        m_shownFolder = d;
    }
    std::memcpy(progress->currentPath, m_shownPath, sizeof m_shownPath);
}

int Engine::Progress(SearchProgress* progress) {
    if (progress == nullptr) {
        return DVO_E_INVALID_ARGUMENT;
    }
    if (IsSearching()) {
        // A GUI polling without pause would otherwise keep a processor from the scan: at most
        // one fresh snapshot a millisecond.
        using namespace std::chrono;
        const auto now = steady_clock::now();
        if (now - m_lastSnapshot < milliseconds(1)) {
            std::this_thread::sleep_until(m_lastSnapshot + milliseconds(1));
        }
        m_lastSnapshot = steady_clock::now();
        if (IsSearching()) {
            const Scanner::Totals t = m_scanner->Snapshot();
            progress->size = t.size;
            progress->folderCount = Saturate(t.folders);
            progress->fileCount = Saturate(t.files);
            // A rescan's folders hang below the folder it reads again, not the searched one.
            FillCurrentPath(progress, m_scanner->CurrentFolder(), m_scanner->RootPath());
            return DVO_OK;
        }
    }
    Settle();
    if (m_result == nullptr) {
        *progress = SearchProgress{};
        return DVO_OK;
    }
    const Dir* root = m_result->root;
    progress->size = root->Total(m_result->sizeMode);
    progress->folderCount = Saturate(root->folderCount);
    progress->fileCount = Saturate(root->fileCount);
    FillCurrentPath(progress, root, m_rootPath);
    return DVO_OK;
}

int Engine::FolderCount() {
    Settle();
    return IsSearching() || m_result == nullptr ? 0 : Saturate(m_result->folderRecords);
}

int Engine::FolderList(FolderRecord** records, int count) {
    Settle();
    if (IsSearching()) {
        return DVO_E_BUSY;
    }
    if (records == nullptr || count < 0) {
        return DVO_E_INVALID_ARGUMENT;
    }
    if (m_result == nullptr) {
        return 0;
    }
    RecordStore* store = Records();
    try {
        if (store != nullptr) {
            return store->FolderList(records, count);
        }
    } catch (...) {
        SetLastErrorText(kOutOfResourcesText);
    }
    // Without memory for the records the caller gets none, never a half-made one.
    std::fill_n(records, count, nullptr);
    return DVO_E_IO;
}

template <typename Call> FolderRecord* Engine::RecordOrNull(Call call) {
    RecordStore* store = Records();
    if (store == nullptr) {
        return nullptr;
    }
    try {
        return call(*store);
    } catch (...) {
        // The null is not the end of the list: the error count and the text tell the caller.
        SetLastErrorText(kOutOfResourcesText);
        ++m_result->errors;
        return nullptr;
    }
}

FolderRecord* Engine::Top() {
    return RecordOrNull([](RecordStore& s) { return s.Top(); });
}

FolderRecord* Engine::First(FolderRecord* parent) {
    // An enumeration starts with no reason given, so a reason after a null is this one's.
    SetLastErrorText({});
    return RecordOrNull([parent](RecordStore& s) { return s.First(parent); });
}

FolderRecord* Engine::Next(FolderRecord* parent) {
    return RecordOrNull([parent](RecordStore& s) { return s.Next(parent); });
}

int Engine::ErrorCount() {
    if (IsSearching()) {
        return Saturate(m_scanner->Snapshot().errors);
    }
    Settle();
    if (m_result == nullptr) {
        return m_lostResult ? 1 : 0;
    }
    return Saturate(m_result->errors);
}

int Engine::FolderState(const FolderRecord* record) {
    if (IsSearching()) {
        return DVO_E_BUSY;
    }
    RecordStore* records = Records();
    const Dir* d = records != nullptr ? records->FolderOfRecord(record) : nullptr;
    if (d == nullptr) {
        return DVO_E_NOT_FOUND;
    }
    switch (d->state) {
    case DirState::Read: return DVO_FOLDER_READ;
    case DirState::Unreadable: return DVO_FOLDER_UNREADABLE;
    case DirState::Pending:
    case DirState::Partial: return DVO_FOLDER_PARTIAL;
    case DirState::MountPoint: return DVO_FOLDER_MOUNT_POINT;
    case DirState::NotEntered: return DVO_FOLDER_NOT_ENTERED;
    }
    return DVO_FOLDER_READ;
}

Dir* Engine::FolderAt(std::string_view dir) {
    const ScanResult& r = *m_result;
    std::string_view rest;
    if (dir == r.path) {
        rest = {};
    } else if (r.path == "/" && dir.size() > 1 && dir[0] == '/') {
        rest = dir.substr(1);
    } else if (dir.size() > r.path.size() + 1 && dir.starts_with(r.path) &&
               dir[r.path.size()] == '/') {
        rest = dir.substr(r.path.size() + 1);
    } else {
        return nullptr;
    }
    Dir* d = r.root;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (slash == std::string_view::npos) {
            rest = {};
        } else {
            rest.remove_prefix(slash + 1);
            if (rest.empty()) {
                return nullptr; // a trailing '/' is not a record's text
            }
        }
        const Slot child = ChildAt(d, part);
        if (child.node == nullptr || !child.node->IsFolder() || IsGone(child)) {
            return nullptr;
        }
        d = child.node->dir;
    }
    return d;
}

Engine::Slot Engine::ChildAt(Dir* d, std::string_view name) noexcept {
    // An entry moved in takes the place of one the scan found under the same name, which must
    // have gone for the move to succeed.
    if (MovedEntry* moved = m_moved.Find(d, name); moved != nullptr && !moved->movedOn) {
        return {moved->node, d, moved};
    }
    Node* n = FindChild(d, name);
    if (n == nullptr || m_moved.Vacated(*n) || m_moved.Find(d, name) != nullptr) {
        return {};
    }
    return {n, d, nullptr};
}

bool Engine::IsGone(const Slot& slot) noexcept {
    return slot.moved != nullptr ? slot.moved->gone : (slot.node->flags & kRemoved) != 0;
}

Engine::Slot Engine::FindEntry(std::u16string_view directory, std::u16string_view name) {
    if (m_result == nullptr || name.empty()) {
        return {};
    }
    const std::string dir = platform::Utf16ToUtf8(directory);
    const std::string entry = platform::Utf16ToUtf8(name);
    // Texts that do not convert back unchanged name nothing the search reported.
    if (platform::Utf8ToUtf16(dir) != directory || platform::Utf8ToUtf16(entry) != name) {
        return {};
    }
    const ScanResult& r = *m_result;
    Slot found;
    if (dir == r.parentPath && entry == r.name) {
        found.node = r.rootNode;
    } else if (Dir* d = FolderAt(dir)) {
        found = ChildAt(d, entry);
    }
    return found.node == nullptr || IsGone(found) ? Slot{} : found;
}

LookupResult Engine::Lookup(std::u16string_view directory, std::u16string_view name,
                            EntryIdentity& identity) {
    if (IsSearching()) {
        return LookupResult::Busy;
    }
    Settle();
    if (m_opened) {
        return LookupResult::OpenedResult; // its entries may be on another machine
    }
    const Slot slot = FindEntry(directory, name);
    const Node* found = slot.node;
    if (found == nullptr) {
        return LookupResult::NotFound;
    }
    identity.device = m_result->devices[found->device];
    identity.inode = found->inode;
    identity.type = found->Mode();
    identity.searchStartNs = m_searchStartNs;
    identity.followLinks = m_result->options.followLinks;
    identity.root.clear();
    identity.folders.clear();
    if (slot.parent != nullptr) {
        for (const Dir* d = slot.parent; d != nullptr; d = d->parent) {
            identity.folders.push_back({m_result->devices[d->node->device], d->node->inode});
        }
        std::reverse(identity.folders.begin(), identity.folders.end());
        identity.root = m_result->path;
    }
    return LookupResult::Found;
}

void Engine::Adjust(Dir* from, const Counted& amount, int sign) {
    for (Dir* d = from; d != nullptr; d = d->parent) {
        // A total that reached the ceiling no longer knows its exact sum: it stays there rather
        // than drop by a size it may never have held.
        if (d->total != INT64_MAX) {
            d->total = std::max<std::int64_t>(0, AddBytes(d->total, sign * amount.size));
        }
        if (d->diskTotal != INT64_MAX) {
            d->diskTotal =
                std::max<std::int64_t>(0, AddBytes(d->diskTotal, sign * amount.diskSize));
        }
        d->folderCount += sign * amount.folders;
        d->fileCount += sign * amount.files;
        if (m_records != nullptr) {
            m_records->Refresh(d);
        }
    }
}

Engine::Counted Engine::CountedFor(const Node& node) noexcept {
    // A later link of a hard-linked file added no bytes.
    if (node.IsFolder()) {
        return {node.dir->total, node.dir->diskTotal, node.dir->folderCount + 1,
                node.dir->fileCount};
    }
    if ((node.flags & kDuplicate) != 0) {
        return {0, 0, 0, 1};
    }
    return {node.size, node.diskSize, 0, 1};
}

std::vector<Engine::Slot> Engine::Listed(Dir* d) {
    std::vector<Slot> out;
    for (std::uint32_t i = 0; i < d->childCount; ++i) {
        Node& n = d->children[i];
        if ((n.flags & kRemoved) == 0) { // deleted, or moved away and listed elsewhere
            out.push_back({&n, d, nullptr});
        }
    }
    if (MovedEntries::Incoming* in = m_moved.Into(d)) {
        for (const auto& e : in->entries) {
            if (!e->movedOn && !e->gone) {
                out.push_back({e->node, d, e.get()});
            }
        }
        std::sort(out.begin(), out.end(),
                  [](const Slot& a, const Slot& b) { return a.node->Name() < b.node->Name(); });
    }
    return out;
}

void Engine::Remove(const Slot& slot) {
    Adjust(slot.parent, CountedFor(*slot.node), -1);
    if (slot.moved != nullptr) {
        slot.moved->gone = true;
    } else {
        slot.node->flags = slot.node->flags | kRemoved;
    }
    RecountLinks(*slot.node);
}

void Engine::RecountLinks(Node& removed) {
    if (!m_result->options.hardLinksOnce) {
        return; // every name counted its own bytes
    }
    const auto key = [this](const Node& n) {
        return std::pair<std::uint64_t, std::uint64_t>{m_result->devices[n.device], n.inode};
    };
    const auto counted = [](const Node& n) {
        return !n.IsFolder() && (n.flags & (kMultiLink | kDuplicate)) == kMultiLink;
    };
    std::set<std::pair<std::uint64_t, std::uint64_t>> left;
    if (counted(removed)) {
        left.insert(key(removed));
    } else if (removed.IsFolder()) {
        std::vector<Dir*> stack{removed.dir};
        while (!stack.empty()) {
            Dir* d = stack.back();
            stack.pop_back();
            for (const Slot& c : Listed(d)) {
                if (c.node->IsFolder()) {
                    stack.push_back(c.node->dir);
                } else if (counted(*c.node)) {
                    left.insert(key(*c.node));
                }
            }
        }
    }
    if (left.empty()) {
        return;
    }
    // Record order: pre-order, siblings by name, a folder's contents at its place. The removed
    // entry is gone already, so the walk does not see it.
    std::vector<Slot> stack{{m_result->root->node, nullptr, nullptr}};
    while (!stack.empty() && !left.empty()) {
        const Slot s = stack.back();
        stack.pop_back();
        if (s.node->IsFolder()) {
            const std::vector<Slot> children = Listed(s.node->dir);
            stack.insert(stack.end(), children.rbegin(), children.rend());
            continue;
        }
        if ((s.node->flags & kMultiLink) == 0 || left.erase(key(*s.node)) == 0) {
            continue;
        }
        s.node->flags = s.node->flags & ~kDuplicate;
        Adjust(s.parent, {s.node->size, s.node->diskSize, 0, 0}, +1);
    }
}

Dir* Engine::FolderOnDisk(const std::string& path, std::set<std::string>& made, bool* exact) {
    if (path.empty() || path[0] != '/') {
        return nullptr;
    }
    const auto same = [this](const Node& n, const struct stat& st) {
        return st.st_dev == m_result->devices[n.device] && st.st_ino == n.inode;
    };
    // The path is a real one (no links, no "." or ".."): find the searched folder among its
    // leading parts, then follow the rest down the search's own folders by name.
    std::vector<std::size_t> ends; // where each leading part ends; "/" is the first
    ends.push_back(1);
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] == '/') {
            ends.push_back(i);
        }
    }
    if (path.size() > 1 && path.back() != '/') {
        ends.push_back(path.size());
    }
    std::size_t level = 0;
    for (; level < ends.size(); ++level) {
        struct stat st = {};
        if (::stat(path.substr(0, ends[level]).c_str(), &st) == 0 &&
            same(*m_result->root->node, st)) {
            break;
        }
    }
    if (level == ends.size()) {
        return nullptr; // not below the searched folder
    }
    Dir* d = m_result->root;
    for (++level; level < ends.size(); ++level) {
        const std::size_t from = ends[level - 1] + (level - 1 == 0 ? 0 : 1);
        const std::string part = path.substr(from, ends[level] - from);
        const Slot child = ChildAt(d, part);
        struct stat st = {};
        if (part.empty() || child.node == nullptr || !child.node->IsFolder() || IsGone(child) ||
            ::stat(path.substr(0, ends[level]).c_str(), &st) != 0 || !same(*child.node, st)) {
            break;
        }
        d = child.node->dir;
    }
    // A folder the search did not enter has no listed contents to add to.
    if (d->state != DirState::Read && d->state != DirState::Partial) {
        return nullptr;
    }
    // What the search read does not list the rest of the way: made since.
    for (std::size_t rest = level; rest < ends.size(); ++rest) {
        made.insert(path.substr(0, ends[rest]));
    }
    if (exact != nullptr) {
        *exact = level == ends.size();
    }
    return d;
}

void Engine::EntryGone(std::u16string_view directory, std::u16string_view name,
                       const EntryFate& fate) {
    if (IsSearching()) {
        return;
    }
    Settle();
    const Slot slot = FindEntry(directory, name);
    Node* node = slot.node;
    if (node == nullptr) {
        return;
    }
    if (slot.parent == nullptr) {
        // The searched folder itself went: nothing of the search is left on disk.
        node->flags = node->flags | kRemoved;
        Dir* root = m_result->root;
        root->total = root->diskTotal = root->folderCount = root->fileCount = 0;
        if (m_records != nullptr) {
            m_records->Refresh(root);
        }
        return;
    }
    std::set<std::string>& made = m_moved.MadeFolders();
    const std::size_t madeBefore = made.size();
    bool listedThere = false; // the search lists the folder it went to, not just one above
    Dir* into = fate.folder.empty() ? nullptr : FolderOnDisk(fate.folder, made, &listedThere);
    // A folder never lands inside itself; should the tree say so, it is treated as gone
    // rather than made a loop.
    for (const Dir* d = into; d != nullptr && node->IsFolder(); d = d->parent) {
        if (d == node->dir) {
            into = nullptr;
            break;
        }
    }
    const bool sameName = fate.name == node->Name();
    if (into == slot.parent && listedThere && sameName) {
        return; // renamed onto itself: nothing moved
    }
    const auto countMade = [&](std::size_t before) {
        return static_cast<std::int64_t>(made.size() - before);
    };
    if (into == nullptr) {
        Remove(slot);
    } else {
        Counted amount = CountedFor(*node);
        Adjust(slot.parent, amount, -1);
        amount.folders += countMade(madeBefore);
        // Listed at its new place only under the name it had: a trash may have renamed it, and
        // then it is counted there without a record of its own.
        if (listedThere && sameName && MoveWithin(slot, into)) {
            Adjust(into, amount, +1);
        } else {
            Adjust(into, amount, +1);
            if (slot.moved != nullptr) {
                slot.moved->gone = true;
            } else {
                node->flags = node->flags | kRemoved;
            }
        }
    }
    if (!fate.madeFile.empty()) {
        const std::size_t before = made.size();
        const std::size_t slash = fate.madeFile.rfind('/');
        const std::string folder = fate.madeFile.substr(0, slash == 0 ? 1 : slash);
        if (Dir* at = FolderOnDisk(folder, made)) {
            Adjust(at, {fate.madeSize, fate.madeDiskSize, countMade(before), 1}, +1);
        }
    }
}

void Engine::EntryPartlyGone(std::u16string_view directory, std::u16string_view name) {
    if (IsSearching()) {
        return;
    }
    Settle();
    const Slot slot = FindEntry(directory, name);
    if (slot.node == nullptr) {
        return;
    }
    const auto same = [this](const Node& n, const struct stat& st) {
        return st.st_dev == m_result->devices[n.device] && st.st_ino == n.inode &&
               (st.st_mode & S_IFMT) == n.Mode();
    };
    const std::string path = slot.parent == nullptr ? m_result->path
                                                    : FolderPath(m_rootPath, slot.parent) + "/" +
                                                          std::string(slot.node->Name());
    struct stat st = {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            EntryGone(directory, name);
        }
        return;
    }
    if (!same(*slot.node, st) || !slot.node->IsFolder()) {
        return; // replaced meanwhile, which the operation refused: left as the search saw it
    }
    // Each folder still there is read again by descriptor, so a link put in its place since
    // is never followed.
    struct Pending {
        Dir* dir;
        platform::UniqueFd fd;
    };
    std::vector<Pending> stack;
    stack.push_back({slot.node->dir,
                     platform::UniqueFd(
                         ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))});
    while (!stack.empty()) {
        Pending p = std::move(stack.back());
        stack.pop_back();
        if (!p.fd.valid()) {
            continue; // cannot be read: what it holds is left as counted
        }
        for (const Slot& c : Listed(p.dir)) {
            const std::string childName(c.node->Name());
            struct stat cst = {};
            if (::fstatat(p.fd.get(), childName.c_str(), &cst, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT) {
                    Remove(c);
                }
                continue;
            }
            if (!same(*c.node, cst)) {
                Remove(c);
            } else if (c.node->IsFolder() && (c.node->dir->state == DirState::Read ||
                                              c.node->dir->state == DirState::Partial)) {
                stack.push_back(
                    {c.node->dir, platform::UniqueFd(
                                      ::openat(p.fd.get(), childName.c_str(),
                                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))});
            }
        }
    }
}

bool Engine::MoveWithin(const Slot& slot, Dir* into) noexcept {
    Node* node = slot.node;
    std::vector<Dir*> below;
    RecordStore::Relocation relocation;
    MovedEntry* entry = nullptr;
    try {
        // Everything that takes memory first, so that running out of it changes nothing.
        if (node->IsFolder()) {
            below = m_moved.FoldersFrom(node->dir);
        }
        if (m_records != nullptr) {
            relocation = m_records->PrepareMove(below, into);
        }
        entry = &m_moved.Add(into, node, slot.moved == nullptr);
    } catch (...) {
        return false;
    }
    if (slot.moved != nullptr) {
        slot.moved->movedOn = true;
    } else {
        node->flags = node->flags | kRemoved;
    }
    if (m_records != nullptr && !node->IsFolder()) {
        entry->record = m_records->FileRecordOf(slot.parent, *node, slot.moved);
    }
    if (node->IsFolder()) {
        node->dir->parent = into;
        for (Dir* d : below) { // parents first
            d->depth = d->parent->depth + 1;
        }
    }
    if (m_records != nullptr) {
        m_records->CommitMove(relocation, below, into, *entry);
    }
    return true;
}

int Engine::Rescan(FolderRecord* record) {
    if (IsActive()) {
        return DVO_E_BUSY;
    }
    WaitForTotals();
    Settle();
    if (record == nullptr) {
        return DVO_E_INVALID_ARGUMENT;
    }
    if (m_result == nullptr) {
        return DVO_E_NOT_FOUND;
    }
    if (m_opened) {
        return DVO_E_OPENED_RESULT; // its folders may be on another machine
    }
    RecordStore* store = Records();
    if (store == nullptr) {
        return DVO_E_IO;
    }
    // Every folder's record exists before the tree changes, so each keeps the one handed out.
    store->MakeAll();
    Dir* d = const_cast<Dir*>(store->FolderOfRecord(record));
    if (d == nullptr) {
        return DVO_E_NOT_FOUND; // a file's record, or one of a folder read again or gone since
    }
    const bool isRoot = d == m_result->root;
    const std::string path = FolderPath(m_rootPath, d);
    if (isRoot ? (d->node->flags & kRemoved) != 0 : FolderAt(path) != d) {
        return DVO_E_NOT_FOUND; // deleted or moved out of the search since
    }
    if (d->state == DirState::MountPoint) {
        return DVO_E_MOUNT_POINT;
    }
    if (d->state == DirState::NotEntered) {
        return DVO_E_UNSUPPORTED; // the search's options kept it out
    }
    ScanOptions options = m_result->options;
    options.liveMode = m_sizeMode; // the count may have been switched since the search
    SetLastErrorText({});
    try {
        auto scanner = std::make_unique<Scanner>(options);
        scanner->SetExcludes(m_searchExcludes);
        const std::uint64_t device = isRoot ? 0 : m_result->devices[d->parent->node->device];
        const int rc =
            isRoot ? scanner->Open(path) : scanner->OpenBelow(path, m_rootPath.size(), device);
        if (rc == DVO_E_NOT_FOUND || rc == DVO_E_NOT_A_FOLDER) {
            DropFolder(d); // the window shows the folder gone
            return DVO_E_NOT_FOUND;
        }
        if (rc != DVO_OK) {
            return rc;
        }
        m_scanner = std::move(scanner);
        m_rescanning = d;
        m_shownFolder = nullptr; // the live path is cached by folder, and these are new ones
        m_active.store(true, std::memory_order_release);
        m_searching.store(true, std::memory_order_release);
        m_controller = faults::StartThread([this] {
            m_scanner->Run();
            m_active.store(false, std::memory_order_release);
            try {
                m_pending = m_scanner->Finish();
            } catch (...) {
                m_pending.reset(); // the folder keeps what the search had read
                SetLastErrorText(kOutOfResourcesText);
            }
            m_searching.store(false, std::memory_order_release);
        });
    } catch (...) {
        m_active.store(false, std::memory_order_release);
        m_searching.store(false, std::memory_order_release);
        m_scanner.reset();
        m_rescanning = nullptr;
        SetLastErrorText(kOutOfResourcesText);
        return DVO_E_IO;
    }
    return DVO_OK;
}

void Engine::FinishRescan(Dir* d, std::unique_ptr<ScanResult> fresh) {
    // Stopped short (a cancel, memory, the record budget): the folder keeps the complete
    // reading it had rather than trade it for part of a new one.
    if (fresh == nullptr || fresh->aborted || m_result == nullptr) {
        return;
    }
    try {
        Graft(d, *fresh);
    } catch (...) {
        SetLastErrorText(kOutOfResourcesText);
    }
}

void Engine::Graft(Dir* d, ScanResult& fresh) {
    // What takes memory first: the folders leaving and coming, the links to count again, the
    // devices and the arenas to keep.
    std::vector<Dir*> gone = m_moved.FoldersFrom(d);
    gone.erase(gone.begin()); // d keeps its record
    std::vector<Dir*> inside;
    std::vector<Node*> freshNodes;
    for (std::vector<Dir*> stack{fresh.root}; !stack.empty();) {
        Dir* x = stack.back();
        stack.pop_back();
        if (x != fresh.root) {
            inside.push_back(x);
        }
        for (std::uint32_t i = x->childCount; i-- > 0;) {
            Node& n = x->children[i];
            freshNodes.push_back(&n);
            if (n.IsFolder()) {
                stack.push_back(n.dir);
            }
        }
    }
    std::vector<std::uint32_t> deviceMap;
    for (std::uint64_t dev : fresh.devices) {
        const auto at = std::find(m_result->devices.begin(), m_result->devices.end(), dev);
        if (at != m_result->devices.end()) {
            deviceMap.push_back(static_cast<std::uint32_t>(at - m_result->devices.begin()));
        } else if (m_result->devices.size() > Node::kMaxDevice) {
            deviceMap.push_back(Node::kMaxDevice);
        } else {
            m_result->devices.push_back(dev);
            deviceMap.push_back(static_cast<std::uint32_t>(m_result->devices.size() - 1));
        }
    }
    IdentitySet keys;
    if (m_result->options.hardLinksOnce) {
        const auto oldLinks = [&](Dir* x) {
            const auto note = [&](const Node& n) {
                if (!n.IsFolder() && (n.flags & kMultiLink) != 0) {
                    keys.insert({m_result->devices[n.device], n.inode});
                }
            };
            if (m_moved.Empty()) {
                for (std::uint32_t i = 0; i < x->childCount; ++i) {
                    if ((x->children[i].flags & kRemoved) == 0) {
                        note(x->children[i]);
                    }
                }
            } else {
                for (const Slot& c : Listed(x)) {
                    note(*c.node);
                }
            }
        };
        for (Dir* x : gone) {
            oldLinks(x);
        }
        oldLinks(d);
        for (const Node* n : freshNodes) {
            if (!n->IsFolder() && (n->flags & kMultiLink) != 0) {
                keys.insert({fresh.devices[n->device], n->inode});
            }
        }
    }
    m_result->arenas.reserve(m_result->arenas.size() + fresh.arenas.size());
    const Counted before{d->total, d->diskTotal, d->folderCount, d->fileCount};

    // The new reading in place of the old: the records of the old one stay where they are.
    for (Node* n : freshNodes) {
        n->device = deviceMap[n->device];
    }
    for (Dir* x : inside) {
        x->depth += d->depth;
        if (x->parent == fresh.root) {
            x->parent = d;
        }
    }
    d->children = fresh.root->children;
    d->childCount = fresh.root->childCount;
    d->state = fresh.root->state;
    d->node->inode = fresh.rootNode->inode; // the folder may have been made anew
    d->node->mtimeMs = fresh.rootNode->mtimeMs;
    d->node->flags = d->node->flags & ~kStatFailed;
    for (Arena& a : fresh.arenas) {
        m_result->arenas.push_back(std::move(a));
    }
    m_moved.Forget(d);
    m_result->errors += fresh.errors;
    m_result->folderRecords +=
        static_cast<std::int64_t>(inside.size()) - static_cast<std::int64_t>(gone.size());
    if (m_records != nullptr) {
        m_records->Replace(d, gone, inside);
    }
    if (!keys.empty()) {
        SettleLinks(d, inside, keys);
    }
    ComputeTotalsBelow(d);
    const Counted after{d->total, d->diskTotal, d->folderCount, d->fileCount};
    Adjust(d->parent, before, -1);
    Adjust(d->parent, after, +1);
    if (m_records != nullptr) {
        m_records->Refresh(d);
    }
}

void Engine::SettleLinks(Dir* d, const std::vector<Dir*>& inside, const IdentitySet& keys) {
    std::unordered_set<const Dir*> below(inside.begin(), inside.end());
    below.insert(d);
    IdentitySet seen;
    const auto visit = [&](Node& n, Dir* parent) {
        const std::pair<std::uint64_t, std::uint64_t> key{m_result->devices[n.device], n.inode};
        if ((n.flags & kStatFailed) != 0 || !keys.contains(key)) {
            return;
        }
        // A file outside may have had one name when the search saw it: the new reading found
        // its other one.
        n.flags = n.flags | kMultiLink;
        const bool counts = seen.insert(key).second;
        const bool wasDuplicate = (n.flags & kDuplicate) != 0;
        if (below.contains(parent)) {
            // Its folder's totals are made afresh from these flags.
            n.flags = counts ? n.flags & ~kDuplicate : n.flags | kDuplicate;
        } else if (counts && wasDuplicate) {
            n.flags = n.flags & ~kDuplicate;
            Adjust(parent, {n.size, n.diskSize, 0, 0}, +1);
        } else if (!counts && !wasDuplicate) {
            n.flags = n.flags | kDuplicate;
            Adjust(parent, {n.size, n.diskSize, 0, 0}, -1);
        }
    };
    // Record order, as RecountLinks walks it. Without moves the scan's child arrays are that
    // order, and walking them takes no memory per folder.
    if (m_moved.Empty()) {
        struct Frame {
            Dir* dir;
            std::uint32_t next;
        };
        std::vector<Frame> stack{{m_result->root, 0}};
        while (!stack.empty()) {
            Frame& f = stack.back();
            if (f.next == f.dir->childCount) {
                stack.pop_back();
                continue;
            }
            Dir* parent = f.dir;
            Node& n = parent->children[f.next++];
            if ((n.flags & kRemoved) != 0) {
                continue;
            }
            if (n.IsFolder()) {
                stack.push_back({n.dir, 0});
            } else {
                visit(n, parent);
            }
        }
        return;
    }
    std::vector<Slot> stack{{m_result->root->node, nullptr, nullptr}};
    while (!stack.empty()) {
        const Slot s = stack.back();
        stack.pop_back();
        if (s.node->IsFolder()) {
            const std::vector<Slot> children = Listed(s.node->dir);
            stack.insert(stack.end(), children.rbegin(), children.rend());
        } else {
            visit(*s.node, s.parent);
        }
    }
}

void Engine::DropFolder(Dir* d) {
    std::vector<Dir*> gone = m_moved.FoldersFrom(d);
    if (d->parent == nullptr) {
        // The searched folder itself: its record stays, as the top of an empty result.
        gone.erase(gone.begin());
        d->children = nullptr;
        d->childCount = 0;
        d->state = DirState::Unreadable;
        d->total = d->folderCount = d->fileCount = 0;
        m_moved.Forget(d);
        m_result->folderRecords = 1;
        if (m_records != nullptr) {
            m_records->Replace(d, gone, {});
        }
        return;
    }
    const Slot slot = ChildAt(d->parent, d->node->Name());
    if (slot.node != d->node) {
        return;
    }
    Remove(slot);
    // Not listed where it was, unlike a deleted entry: the program learns it is gone only now.
    if (slot.moved != nullptr) {
        slot.moved->movedOn = true;
    } else {
        m_moved.Unlist(d->node);
    }
    m_result->folderRecords -= static_cast<std::int64_t>(gone.size());
    if (m_records != nullptr) {
        m_records->Replace(nullptr, gone, {});
    }
}

LookupResult LookupEntry(std::u16string_view directory, std::u16string_view name,
                         EntryIdentity& identity) {
    Engine* engine = Engine::Instance();
    if (engine == nullptr) {
        return LookupResult::NoObject;
    }
    return engine->Lookup(directory, name, identity);
}

} // namespace dvo

namespace dvo {

void NoteEntryGone(std::u16string_view directory, std::u16string_view name,
                   const EntryFate& fate) noexcept {
    try {
        if (Engine* engine = Engine::Instance()) {
            engine->EntryGone(directory, name, fate);
        }
    } catch (...) {
        // Without memory for the texts the totals keep what the search counted.
    }
}

void NoteEntryPartlyGone(std::u16string_view directory, std::u16string_view name) noexcept {
    try {
        if (Engine* engine = Engine::Instance()) {
            engine->EntryPartlyGone(directory, name);
        }
    } catch (...) {
        // Without memory for the walk the totals keep what the search counted.
    }
}

} // namespace dvo
