#pragma once
// The interface's FolderRecords, made from a finished scan's compact tree on the program's
// thread: the folder list when it is first asked for, a folder's children when they are first
// enumerated. Bump-allocated; valid as long as the store.
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/Arena.h"
#include "engine/DVOSUB.h"
#include "engine/ScanTree.h"

namespace dvo {

class RecordStore {
public:
    explicit RecordStore(const ScanResult& result);
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    [[nodiscard]] int FolderCount() const noexcept;
    // Writes min(count, FolderCount()) pointers in pre-order; returns how many.
    int FolderList(FolderRecord** out, int count);

    [[nodiscard]] FolderRecord* Top();
    // Null for a pointer that is not a record of this store, for a file and at the end.
    [[nodiscard]] FolderRecord* First(FolderRecord* parent);
    [[nodiscard]] FolderRecord* Next(FolderRecord* parent);

    // The folder's full path as the records show it.
    [[nodiscard]] const char16_t* PathOf(Dir* d);

private:
    struct Record; // a FolderRecord followed by the engine's private part

    [[nodiscard]] Record* Validate(FolderRecord* p) const noexcept;
    [[nodiscard]] FolderRecord* FolderRecordOf(Dir* d);
    [[nodiscard]] FolderRecord* MakeRecord(const Node& node, const char16_t* directory,
                                           std::uint32_t depth);
    [[nodiscard]] const char16_t* CopyText(std::u16string_view text);

    const ScanResult& m_result;
    Arena m_records{1u << 20};
    Arena m_texts{256u << 10};
    std::vector<FolderRecord*> m_folderList;
    bool m_listBuilt = false;
    Record* m_top = nullptr;
    std::uint32_t m_topCursor = 0;
    const char16_t* m_rootDirectory = nullptr;
};

} // namespace dvo
