#include "engine/RecordStore.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "platform/Clock.h"
#include "platform/Text.h"

namespace dvo {

namespace {
constexpr std::uint32_t kRecordMagic = 0x44564F52; // "DVOR"

int Saturate(std::int64_t v) {
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
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

struct RecordStore::Record {
    FolderRecord pub;
    Dir* dir;            // a folder's contents; null for any other entry
    std::uint32_t magic;
    bool top;            // the record above the searched folder
};

RecordStore::RecordStore(const ScanResult& result) : m_result(result) {
    m_rootDirectory = CopyText(platform::Utf8ToUtf16(result.parentPath));
}

const char16_t* RecordStore::CopyText(std::u16string_view text) {
    char16_t* p = m_texts.AllocateArray<char16_t>(text.size() + 1);
    std::copy(text.begin(), text.end(), p);
    p[text.size()] = u'\0';
    return p;
}

RecordStore::Record* RecordStore::Validate(FolderRecord* p) const noexcept {
    if (p == nullptr || !m_records.Contains(p)) {
        return nullptr;
    }
    auto* r = reinterpret_cast<Record*>(p);
    return r->magic == kRecordMagic ? r : nullptr;
}

FolderRecord* RecordStore::MakeRecord(const Node& node, const char16_t* directory,
                                      std::uint32_t depth) {
    auto* r = new (m_records.Allocate(sizeof(Record), alignof(Record))) Record{};
    FolderRecord& f = r->pub;
    const std::u16string name = platform::Utf8ToUtf16(node.Name());
    const std::size_t n = std::min<std::size_t>(name.size(), 259);
    std::copy_n(name.begin(), n, f.name);
    f.name[n] = u'\0';
    f.directory = directory;
    f.kind = node.IsFolder() ? 0 : 1;
    f.depth = static_cast<unsigned char>(std::min<std::uint32_t>(depth, 255));
    f.childrenLoaded = 0;
    if (node.IsFolder()) {
        f.size = node.dir->total;
        f.folderCount = Saturate(node.dir->folderCount);
        f.fileCount = Saturate(node.dir->fileCount);
        r->dir = node.dir;
    } else {
        f.size = node.size;
    }
    f.modifiedTime = LocalTimeOf(node.mtimeMs);
    r->magic = kRecordMagic;
    return &r->pub;
}

const char16_t* RecordStore::PathOf(Dir* d) {
    if (d->path != nullptr) {
        return d->path;
    }
    std::vector<Dir*> chain;
    Dir* p = d;
    for (; p != nullptr && p->path == nullptr; p = p->parent) {
        chain.push_back(p);
    }
    for (std::size_t i = chain.size(); i-- > 0;) {
        Dir* c = chain[i];
        if (c->parent == nullptr) {
            c->path = CopyText(platform::Utf8ToUtf16(m_result.path));
            continue;
        }
        std::u16string path = c->parent->path;
        if (path.empty() || path.back() != u'/') {
            path.push_back(u'/');
        }
        path += platform::Utf8ToUtf16(c->node->Name());
        c->path = CopyText(path);
    }
    return d->path;
}

FolderRecord* RecordStore::FolderRecordOf(Dir* d) {
    if (d->record == nullptr) {
        const char16_t* directory = d->parent == nullptr ? m_rootDirectory : PathOf(d->parent);
        d->record = MakeRecord(*d->node, directory, d->depth);
    }
    return d->record;
}

int RecordStore::FolderCount() const noexcept {
    return Saturate(m_result.folderRecords);
}

int RecordStore::FolderList(FolderRecord** out, int count) {
    if (!m_listBuilt) {
        m_folderList.reserve(static_cast<std::size_t>(m_result.folderRecords));
        struct Frame {
            Dir* dir;
            std::uint32_t next;
        };
        std::vector<Frame> stack{{m_result.root, 0}};
        m_folderList.push_back(FolderRecordOf(m_result.root));
        while (!stack.empty()) {
            Frame& f = stack.back();
            if (f.next == f.dir->childCount) {
                stack.pop_back();
                continue;
            }
            Node& n = f.dir->children[f.next++];
            if (n.IsFolder()) {
                m_folderList.push_back(FolderRecordOf(n.dir));
                stack.push_back({n.dir, 0});
            }
        }
        m_listBuilt = true;
    }
    if (out == nullptr || count <= 0) {
        return 0;
    }
    const std::size_t n = std::min(m_folderList.size(), static_cast<std::size_t>(count));
    std::copy_n(m_folderList.begin(), n, out);
    return static_cast<int>(n);
}

FolderRecord* RecordStore::Top() {
    if (m_top == nullptr) {
        m_top = new (m_records.Allocate(sizeof(Record), alignof(Record))) Record{};
        Dir* root = m_result.root;
        m_top->pub.directory = m_rootDirectory;
        m_top->pub.kind = 0;
        m_top->pub.size = root->total;
        m_top->pub.folderCount = Saturate(root->folderCount + 1);
        m_top->pub.fileCount = Saturate(root->fileCount);
        m_top->pub.modifiedTime = LocalTimeOf(root->node->mtimeMs);
        m_top->magic = kRecordMagic;
        m_top->top = true;
    }
    return &m_top->pub;
}

FolderRecord* RecordStore::First(FolderRecord* parent) {
    Record* r = Validate(parent);
    if (r == nullptr) {
        return nullptr;
    }
    if (r->top) {
        m_topCursor = 0;
    } else if (r->dir != nullptr) {
        r->dir->cursor = 0;
    }
    return Next(parent);
}

FolderRecord* RecordStore::Next(FolderRecord* parent) {
    Record* r = Validate(parent);
    if (r == nullptr) {
        return nullptr;
    }
    if (r->top) {
        return m_topCursor++ == 0 ? FolderRecordOf(m_result.root) : nullptr;
    }
    Dir* d = r->dir;
    if (d == nullptr || d->cursor >= d->childCount) {
        return nullptr;
    }
    if (d->childRecords == nullptr) {
        d->childRecords = m_texts.AllocateArray<FolderRecord*>(d->childCount);
        const char16_t* directory = PathOf(d);
        for (std::uint32_t i = 0; i < d->childCount; ++i) {
            const Node& n = d->children[i];
            d->childRecords[i] =
                n.IsFolder() ? FolderRecordOf(n.dir) : MakeRecord(n, directory, d->depth + 1);
        }
    }
    return d->childRecords[d->cursor++];
}

} // namespace dvo
