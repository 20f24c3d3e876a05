#include "engine/RecordStore.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "engine/DisplayText.h"
#include "platform/Clock.h"
#include "platform/Text.h"

namespace dvo {

namespace {
int Saturate(std::int64_t v) { return v > INT_MAX ? INT_MAX : static_cast<int>(v); }

unsigned char DepthOf(std::uint32_t depth) {
    return static_cast<unsigned char>(std::min<std::uint32_t>(depth, 255));
}

void AppendName(std::u16string& path, std::string_view name) {
    if (path.empty() || path.back() != u'/') {
        path.push_back(u'/');
    }
    path += platform::Utf8ToUtf16(name);
}

DVOSystemTime LocalTimeOf(std::int64_t ms) {
    std::int64_t seconds = ms / 1000;
    std::int64_t rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    const timespec ts{static_cast<time_t>(seconds), static_cast<long>(rest * 1000000)};
    const platform::SystemTime t = platform::ToSystemTime(platform::ToLocalTime(ts));
    DVOSystemTime out;
    static_assert(sizeof out == sizeof t);
    std::memcpy(&out, &t, sizeof out);
    return out;
}
} // namespace

RecordStore::RecordStore(const ScanResult& result, MovedEntries& moved)
    : m_result(result), m_moved(moved) {
    m_rootDirectory = CopyText(platform::Utf8ToUtf16(result.parentPath));
}

const char16_t* RecordStore::CopyText(std::u16string_view text) {
    char16_t* p = m_texts.AllocateArray<char16_t>(text.size() + 1);
    m_textBytes += (text.size() + 1) * sizeof(char16_t);
    std::copy(text.begin(), text.end(), p);
    p[text.size()] = u'\0';
    return p;
}

DirRecords& RecordStore::Extra(Dir* d) {
    if (d->records == nullptr) {
        d->records = new (m_texts.Allocate(sizeof(DirRecords), alignof(DirRecords))) DirRecords;
        m_textBytes += sizeof(DirRecords);
    }
    return *d->records;
}

void RecordStore::Fill(FolderRecord& f, const Node& node, const char16_t* directory,
                       std::uint32_t depth) {
    const std::u16string name = platform::Utf8ToUtf16(node.Name());
    const std::size_t n = FittingUnits(name, DVO_NAME_UNITS - 1);
    std::copy_n(name.begin(), n, f.name);
    f.name[n] = u'\0';
    f.directory = directory;
    f.kind = node.IsFolder() ? DVO_KIND_FOLDER : DVO_KIND_FILE;
    f.depth = DepthOf(depth);
    f.childrenLoaded = 0;
    if (node.IsFolder()) {
        f.size = node.dir->Total(m_result.sizeMode);
        f.folderCount = Saturate(node.dir->folderCount);
        f.fileCount = Saturate(node.dir->fileCount);
    } else {
        f.size = FileBytes(node, m_result.sizeMode);
        f.folderCount = 0;
        f.fileCount = 0;
    }
    // An entry whose attributes could not be read has no time: the zero time (year 0) says so,
    // where a real time of 0 would read as 1970/01/01 and look like a file of that day.
    f.modifiedTime = (node.flags & kStatFailed) != 0 ? DVOSystemTime{} : LocalTimeOf(node.mtimeMs);
}

const char16_t* RecordStore::PathOf(Dir* d) {
    if (Extra(d).path != nullptr) {
        return d->records->path;
    }
    std::vector<Dir*> chain;
    for (Dir* p = d; p != nullptr && Extra(p).path == nullptr; p = p->parent) {
        chain.push_back(p);
    }
    for (std::size_t i = chain.size(); i-- > 0;) {
        Dir* c = chain[i];
        if (c->parent == nullptr) {
            c->records->path = CopyText(platform::Utf8ToUtf16(m_result.path));
            continue;
        }
        std::u16string path = c->parent->records->path;
        AppendName(path, c->node->Name());
        c->records->path = CopyText(path);
    }
    return d->records->path;
}

void RecordStore::MakeFolderRecords() {
    if (m_folders != nullptr) {
        return;
    }
    m_folderDirs.clear(); // a run that ran out of memory starts again
    m_folderDirs.reserve(static_cast<std::size_t>(m_result.folderRecords));
    struct Frame {
        Dir* dir;
        std::uint32_t next;
    };
    std::vector<Frame> stack{{m_result.root, 0}};
    m_folderDirs.push_back(m_result.root);
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.dir->childCount) {
            stack.pop_back();
            continue;
        }
        Node& n = f.dir->children[f.next++];
        if (n.IsFolder()) {
            m_folderDirs.push_back(n.dir);
            stack.push_back({n.dir, 0});
        }
    }
    m_folders = m_records.AllocateArray<FolderRecord>(m_folderDirs.size());
    for (std::size_t i = 0; i < m_folderDirs.size(); ++i) {
        Dir* d = m_folderDirs[i];
        const char16_t* directory = d->parent == nullptr ? m_rootDirectory : PathOf(d->parent);
        FolderRecord* r = new (&m_folders[i]) FolderRecord{};
        Fill(*r, *d->node, directory, d->depth);
        Extra(d).record = r;
    }
}

Dir* RecordStore::FolderOf(const FolderRecord* record) const noexcept {
    const auto at = reinterpret_cast<std::uintptr_t>(record);
    const auto base = reinterpret_cast<std::uintptr_t>(m_folders);
    if (m_folders == nullptr || at < base || (at - base) % sizeof(FolderRecord) != 0) {
        return nullptr;
    }
    const std::size_t index = (at - base) / sizeof(FolderRecord);
    return index < m_folderDirs.size() ? m_folderDirs[index] : nullptr;
}

const Dir* RecordStore::FolderOfRecord(const FolderRecord* record) const noexcept {
    if (record != nullptr && record == m_top) {
        return m_result.root;
    }
    return FolderOf(record);
}

int RecordStore::FolderCount() const noexcept { return Saturate(m_result.folderRecords); }

int RecordStore::FolderList(FolderRecord** out, int count) {
    MakeFolderRecords();
    if (out == nullptr || count <= 0) {
        return 0;
    }
    const std::size_t n = std::min(m_folderDirs.size(), static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = &m_folders[i];
    }
    return static_cast<int>(n);
}

FolderRecord* RecordStore::Top() {
    MakeFolderRecords();
    if (m_top == nullptr) {
        m_top =
            new (m_records.Allocate(sizeof(FolderRecord), alignof(FolderRecord))) FolderRecord{};
        Dir* root = m_result.root;
        m_top->directory = m_rootDirectory;
        m_top->kind = DVO_KIND_FOLDER;
        m_top->size = root->Total(m_result.sizeMode);
        m_top->folderCount = Saturate(root->folderCount + 1);
        m_top->fileCount = Saturate(root->fileCount);
        m_top->modifiedTime = LocalTimeOf(root->node->mtimeMs);
    }
    return m_top;
}

void RecordStore::Refresh(Dir* d) noexcept {
    if (d->records != nullptr && d->records->record != nullptr) {
        FolderRecord& r = *d->records->record;
        r.size = d->Total(m_result.sizeMode);
        r.folderCount = Saturate(d->folderCount);
        r.fileCount = Saturate(d->fileCount);
    }
    if (d->parent == nullptr && m_top != nullptr) {
        m_top->size = d->Total(m_result.sizeMode);
        m_top->folderCount = Saturate(d->folderCount + 1);
        m_top->fileCount = Saturate(d->fileCount);
    }
}

void RecordStore::RefreshSizes() noexcept {
    const SizeMode mode = m_result.sizeMode;
    for (Dir* d : m_folderDirs) {
        Refresh(d);
        const DirRecords* x = d->records;
        if (x != nullptr && x->fileRecords != nullptr) {
            FolderRecord* r = x->fileRecords;
            for (std::uint32_t i = 0; i < d->childCount; ++i) {
                if (!d->children[i].IsFolder()) {
                    (r++)->size = FileBytes(d->children[i], mode);
                }
            }
        }
        // Entries moved in before their old folder's records were made have records of their own.
        if (MovedEntries::Incoming* in = m_moved.Into(d)) {
            for (const auto& e : in->entries) {
                if (e->record != nullptr && !e->node->IsFolder()) {
                    e->record->size = FileBytes(*e->node, mode);
                }
            }
        }
    }
}

FolderRecord* RecordStore::RecordFor(Dir* parent, const Node& node, MovedEntry* moved) {
    MakeFolderRecords();
    if (node.IsFolder()) {
        return node.dir->records->record;
    }
    if (moved != nullptr) {
        return RecordOf(*moved, parent);
    }
    DirRecords& x = Extra(parent);
    if (!x.fileRecordsMade) {
        MakeFileRecords(parent, x);
    }
    return FileRecordOf(parent, node, nullptr);
}

FolderRecord* RecordStore::First(FolderRecord* parent) {
    MakeFolderRecords();
    if (parent != nullptr && parent == m_top) {
        m_topCursor = 0;
    } else if (Dir* d = FolderOf(parent)) {
        d->records->cursor = 0;
        d->records->fileCursor = 0;
        if (MovedEntries::Incoming* in = m_moved.Into(d)) {
            in->cursor = 0;
        }
    } else {
        return nullptr;
    }
    return Next(parent);
}

FolderRecord* RecordStore::Next(FolderRecord* parent) {
    MakeFolderRecords();
    if (parent != nullptr && parent == m_top) {
        return m_topCursor++ == 0 ? m_folders : nullptr;
    }
    Dir* d = FolderOf(parent);
    if (d == nullptr) {
        return nullptr;
    }
    DirRecords& x = *d->records;
    MovedEntries::Incoming* in = m_moved.Into(d);
    // The scan's children that the folder still holds, merged in name order with those moved in;
    // one moved in under a name the folder had before takes that name's place.
    const Node* scanned = nullptr;
    while (x.cursor < d->childCount) {
        const Node& n = d->children[x.cursor];
        if (!m_moved.Vacated(n) && (in == nullptr || m_moved.Find(d, n.Name()) == nullptr)) {
            scanned = &n;
            break;
        }
        ++x.cursor;
        x.fileCursor += n.IsFolder() ? 0 : 1;
    }
    MovedEntry* moved = nullptr;
    while (in != nullptr && in->cursor < in->entries.size()) {
        if (!in->entries[in->cursor]->movedOn) {
            moved = in->entries[in->cursor].get();
            break;
        }
        ++in->cursor;
    }
    if (moved != nullptr && (scanned == nullptr || moved->node->Name() < scanned->Name())) {
        FolderRecord* r = RecordOf(*moved, d);
        ++in->cursor;
        return r;
    }
    if (scanned == nullptr) {
        return nullptr;
    }
    if (!x.fileRecordsMade) {
        MakeFileRecords(d, x);
    }
    ++x.cursor;
    return scanned->IsFolder() ? scanned->dir->records->record : &x.fileRecords[x.fileCursor++];
}

void RecordStore::MakeFileRecords(Dir* d, DirRecords& x) {
    // All of a folder's other children at once, in one block: the program lists them all.
    std::uint32_t files = 0;
    for (std::uint32_t i = 0; i < d->childCount; ++i) {
        files += d->children[i].IsFolder() ? 0 : 1;
    }
    if (files > 0) {
        x.fileRecords = m_records.AllocateArray<FolderRecord>(files);
        const char16_t* directory = PathOf(d);
        FolderRecord* r = x.fileRecords;
        for (std::uint32_t i = 0; i < d->childCount; ++i) {
            if (!d->children[i].IsFolder()) {
                new (r) FolderRecord{};
                Fill(*r++, d->children[i], directory, d->depth + 1);
            }
        }
    }
    x.fileRecordsMade = true;
}

FolderRecord* RecordStore::RecordOf(MovedEntry& moved, Dir* into) {
    if (moved.node->IsFolder()) {
        return moved.node->dir->records->record;
    }
    if (moved.record == nullptr) {
        // Moved before its old folder's records were made: made where it is now.
        const char16_t* directory = PathOf(into);
        auto* r =
            new (m_records.Allocate(sizeof(FolderRecord), alignof(FolderRecord))) FolderRecord{};
        Fill(*r, *moved.node, directory, into->depth + 1);
        moved.record = r;
    }
    return moved.record;
}

FolderRecord* RecordStore::FileRecordOf(Dir* parent, const Node& node,
                                        const MovedEntry* moved) noexcept {
    if (moved != nullptr) {
        return moved->record;
    }
    const DirRecords* x = parent->records;
    if (x == nullptr || x->fileRecords == nullptr) {
        return nullptr;
    }
    std::size_t index = 0;
    for (const Node* n = parent->children; n != &node; ++n) {
        index += n->IsFolder() ? 0 : 1;
    }
    return &x->fileRecords[index];
}

RecordStore::Relocation RecordStore::PrepareMove(const std::vector<Dir*>& below, Dir* into) {
    Relocation r;
    r.directory = PathOf(into);
    // Only a path already handed out needs a new text (the others are made when asked for), and
    // a folder has one only when its parent has. Pre-order keeps each folder's subtree together,
    // so the new paths above a folder are the top of the stack.
    std::vector<std::pair<const Dir*, std::u16string_view>> chain;
    for (Dir* x : below) {
        while (!chain.empty() && chain.back().first != x->parent) {
            chain.pop_back();
        }
        if (x->records == nullptr || x->records->path == nullptr) {
            continue;
        }
        std::u16string path;
        if (x == below.front()) {
            path = r.directory;
        } else if (!chain.empty()) {
            path = chain.back().second;
        } else {
            continue;
        }
        AppendName(path, x->node->Name());
        const char16_t* text = CopyText(path);
        r.paths.emplace_back(x, text);
        chain.emplace_back(x, std::u16string_view(text, path.size()));
    }
    return r;
}

void RecordStore::PointFileRecordsAt(Dir* d, const char16_t* path) noexcept {
    const unsigned char depth = DepthOf(d->depth + 1);
    if (FolderRecord* r = d->records->fileRecords) {
        for (std::uint32_t i = 0; i < d->childCount; ++i) {
            const Node& n = d->children[i];
            if (n.IsFolder()) {
                continue;
            }
            if (!m_moved.Vacated(n)) { // a vacated one's record went with it
                r->directory = path;
                r->depth = depth;
            }
            ++r;
        }
    }
    if (MovedEntries::Incoming* in = m_moved.Into(d)) {
        for (const auto& e : in->entries) {
            if (!e->movedOn && !e->node->IsFolder() && e->record != nullptr) {
                e->record->directory = path;
                e->record->depth = depth;
            }
        }
    }
}

void RecordStore::CommitMove(const Relocation& relocation, const std::vector<Dir*>& below,
                             Dir* into, const MovedEntry& entry) noexcept {
    if (!entry.node->IsFolder()) {
        if (entry.record != nullptr) {
            entry.record->directory = relocation.directory;
            entry.record->depth = DepthOf(into->depth + 1);
        }
        return;
    }
    for (const auto& [x, path] : relocation.paths) {
        x->records->path = path;
    }
    for (Dir* x : below) {
        DirRecords* xr = x->records;
        if (xr == nullptr) {
            continue;
        }
        if (FolderRecord* r = xr->record) {
            const DirRecords* up = x->parent->records;
            if (x == below.front()) {
                r->directory = relocation.directory;
            } else if (up != nullptr && up->path != nullptr) {
                r->directory = up->path;
            }
            r->depth = DepthOf(x->depth);
        }
        if (xr->path != nullptr) {
            PointFileRecordsAt(x, xr->path);
        }
    }
}

} // namespace dvo
