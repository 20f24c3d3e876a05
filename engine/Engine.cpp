#include "engine/Engine.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "engine/FaultInjection.h"
#include "engine/LastError.h"
#include "engine/DisplayText.h"
#include "platform/Text.h"

namespace dvo {

namespace {

std::unique_ptr<Engine> g_engine;

int Saturate(std::int64_t v) {
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

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

Engine* Engine::Instance() noexcept {
    return g_engine.get();
}

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
    if (m_pending != nullptr || m_scanner != nullptr) {
        m_result = std::move(m_pending);
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

int Engine::ExecSearch(const ScanOptions& options) {
    if (IsActive()) {
        return DVO_E_BUSY;
    }
    if (m_searchPath.empty()) {
        return DVO_E_INVALID_ARGUMENT;
    }
    WaitForTotals();
    Settle();
    Discard();
    // File systems stamp times from the same wall clock; what is born after this is not what
    // the search saw.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    m_searchStartNs = std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
    try {
        auto scanner = std::make_unique<Scanner>(options);
        const int rc = scanner->Open(m_searchPath);
        if (rc != DVO_OK) {
            return rc;
        }
        m_rootPath = scanner->RootPath();
        m_scanner = std::move(scanner);
        m_active.store(true, std::memory_order_release);
        m_searching.store(true, std::memory_order_release);
        m_controller = faults::StartThread([this] {
            m_scanner->Run();
            m_active.store(false, std::memory_order_release);
            try {
                m_pending = m_scanner->Finish();
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
    if (m_scanner != nullptr && IsSearching()) {
        m_scanner->Abort();
    }
    if (m_controller.joinable()) {
        m_controller.join();
    }
    Settle();
    return DVO_OK;
}

void Engine::FillCurrentPath(SearchProgress* progress, const Dir* d) {
    if (d != nullptr && d != m_shownFolder) {
        const std::u16string text = platform::Utf8ToUtf16(FolderPath(m_rootPath, d));
        const std::size_t n = FittingUnits(text, 259);
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
            FillCurrentPath(progress, m_scanner->CurrentFolder());
            return DVO_OK;
        }
    }
    Settle();
    if (m_result == nullptr) {
        *progress = SearchProgress{};
        return DVO_OK;
    }
    const Dir* root = m_result->root;
    progress->size = root->total;
    progress->folderCount = Saturate(root->folderCount);
    progress->fileCount = Saturate(root->fileCount);
    FillCurrentPath(progress, root);
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

template <typename Call>
FolderRecord* Engine::RecordOrNull(Call call) {
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
        d->folderCount += sign * amount.folders;
        d->fileCount += sign * amount.files;
        if (m_records != nullptr) {
            m_records->Refresh(d);
        }
    }
}

void Engine::EntryGone(std::u16string_view directory, std::u16string_view name,
                       std::u16string_view movedInto) {
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
        root->total = root->folderCount = root->fileCount = 0;
        if (m_records != nullptr) {
            m_records->Refresh(root);
        }
        return;
    }
    Dir* into = nullptr;
    if (!movedInto.empty()) {
        const std::string target = platform::Utf16ToUtf8(movedInto);
        std::string_view trimmed = target;
        while (trimmed.size() > 1 && trimmed.back() == '/') {
            trimmed.remove_suffix(1);
        }
        into = FolderAt(trimmed);
        // A folder never lands inside itself; should the tree say so, it is treated as gone
        // rather than made a loop.
        for (const Dir* d = into; d != nullptr && node->IsFolder(); d = d->parent) {
            if (d == node->dir) {
                into = nullptr;
                break;
            }
        }
    }
    if (into == slot.parent) {
        return; // renamed onto itself: nothing moved
    }
    // What the search counted for the entry: a later link of a hard-linked file added no bytes.
    Counted amount;
    if (node->IsFolder()) {
        amount = {node->dir->total, node->dir->folderCount + 1, node->dir->fileCount};
    } else {
        amount = {(node->flags & kDuplicate) != 0 ? 0 : node->size, 0, 1};
    }
    Adjust(slot.parent, amount, -1);
    if (into != nullptr && MoveWithin(slot, into)) {
        // Moved into a folder of this search: listed and counted there now.
        Adjust(into, amount, +1);
        return;
    }
    if (slot.moved != nullptr) {
        slot.moved->gone = true;
    } else {
        node->flags = node->flags | kRemoved;
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
                   std::u16string_view movedInto) noexcept {
    try {
        if (Engine* engine = Engine::Instance()) {
            engine->EntryGone(directory, name, movedInto);
        }
    } catch (...) {
        // Without memory for the texts the totals keep what the search counted.
    }
}

} // namespace dvo
