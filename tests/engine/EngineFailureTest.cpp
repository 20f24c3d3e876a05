// Memory or threads running out inside the engine end the work in hand, never the process: the
// calls return their failure values, the search ends with what it has, and the reason is told.
#include "engine/DVOSUB.h"
#include "engine/FaultInjection.h"
#include "engine/LastError.h"
#include "engine/RecordStore.h"
#include "engine/Scanner.h"
#include "platform/Text.h"

#include "tests/engine/TreeFixture.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace enginetest;

namespace {

class EngineFailure : public ::testing::Test {
protected:
    TempDir dir;
    std::u16string path16;

    void SetUp() override {
        // a/x, big/ (50 empty files), z/f
        MakeDir(dir / "a");
        MakeFile(dir / "a/x", 5);
        MakeDir(dir / "big");
        for (int i = 0; i < 50; ++i)
            MakeFile(dir / ("big/" + std::to_string(i)), 0);
        MakeDir(dir / "z");
        MakeFile(dir / "z/f", 3);
        path16 = platform::Utf8ToUtf16(dir.Path());
        ASSERT_EQ(DVOCreateObj(), 0);
    }
    void TearDown() override {
        dvo::faults::FailArenaChunksAfter(-1);
        dvo::faults::FailThreadStartsAfter(-1);
        dvo::faults::FailFolderReadsAfter(-1);
        dvo::faults::SetRecordBudget(-1);
        DVODestroyObj();
    }

    int Start() {
        EXPECT_EQ(DVOStartFileSearching(), 0);
        EXPECT_EQ(DVOAddSearchDirectory(path16.c_str()), 0);
        return DVOExecFileSearch(1, 0, 1, 0);
    }
    static void WaitForTheEnd() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (DVOIsSearching() != 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(DVOIsSearching(), 0);
    }
    static std::string LastError() {
        char16_t text[256];
        const int n = DVOGetLastErrorText(text, sizeof text);
        return n < 0 ? "<error>" : platform::Utf16ToUtf8({text, static_cast<std::size_t>(n)});
    }
    // Every folder record's totals are the sums of what is listed below it.
    static void ExpectConsistentRecords() {
        const int count = DVOGetFolderInfoCount();
        ASSERT_GE(count, 1);
        std::vector<FolderRecord*> records(static_cast<std::size_t>(count));
        ASSERT_EQ(DVOGetFolderInfo(records.data(), count), count);
        for (FolderRecord* folder : records) {
            ASSERT_NE(folder, nullptr);
            long long size = 0;
            int files = 0;
            int folders = 0;
            for (FolderRecord* r = DVOGetFirstFolderInfo(folder); r != nullptr;
                 r = DVOGetNextFolderInfo(folder)) {
                size += r->size;
                files += r->kind == 0 ? r->fileCount : 1;
                folders += r->kind == 0 ? r->folderCount + 1 : 0;
            }
            EXPECT_EQ(folder->size, size);
            EXPECT_EQ(folder->fileCount, files);
            EXPECT_EQ(folder->folderCount, folders);
        }
    }
};

TEST_F(EngineFailure, MemoryRunningOutInTheWorkersEndsTheSearchWithWhatItHas) {
    dvo::faults::FailFolderReadsAfter(2); // the searched folder and one more
    ASSERT_EQ(Start(), DVO_OK);
    WaitForTheEnd();
    dvo::faults::FailFolderReadsAfter(-1);
    EXPECT_GE(DVOGetErrorCount(), 1);
    EXPECT_NE(LastError(), "");
    ExpectConsistentRecords();
    SearchProgress progress{};
    ASSERT_EQ(DVOGetCurrentSearchInfo(&progress), 0);
    EXPECT_LT(progress.fileCount, 52); // not every folder could be listed

    // The engine is whole: the next search lists everything.
    ASSERT_EQ(Start(), DVO_OK);
    WaitForTheEnd();
    EXPECT_EQ(DVOGetErrorCount(), 0);
    ASSERT_EQ(DVOGetCurrentSearchInfo(&progress), 0);
    EXPECT_EQ(progress.fileCount, 52);
    EXPECT_EQ(progress.size, 8);
    ExpectConsistentRecords();
}

TEST_F(EngineFailure, CallsThatCannotAllocateReturnTheirFailureValue) {
    struct Case {
        const char* what;
        void (*inject)();
    };
    const Case cases[] = {
        {"no memory", [] { dvo::faults::FailArenaChunksAfter(0); }},
        {"no thread", [] { dvo::faults::FailThreadStartsAfter(0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.inject();
        EXPECT_EQ(Start(), DVO_E_IO);
        EXPECT_NE(LastError(), "");
        EXPECT_EQ(DVOIsSearching(), 0);
        EXPECT_EQ(DVOGetFolderInfoCount(), 0);
        EXPECT_EQ(DVOGetRootFolderInfo(), nullptr);
        dvo::faults::FailArenaChunksAfter(-1);
        dvo::faults::FailThreadStartsAfter(-1);
    }

    // The records of a finished search need memory of their own: without it, none are given.
    ASSERT_EQ(Start(), DVO_OK);
    WaitForTheEnd();
    dvo::faults::FailArenaChunksAfter(0);
    FolderRecord* records[4] = {reinterpret_cast<FolderRecord*>(1), nullptr, nullptr, nullptr};
    EXPECT_EQ(DVOGetFolderInfoCount(), 4);
    EXPECT_LT(DVOGetFolderInfo(records, 4), 0);
    for (FolderRecord* r : records)
        EXPECT_EQ(r, nullptr);
    EXPECT_EQ(DVOGetRootFolderInfo(), nullptr);
    EXPECT_NE(LastError(), "");
    dvo::faults::FailArenaChunksAfter(-1);
    ExpectConsistentRecords();
}

// A child list that cannot be made for want of memory must not pass for a short list: the
// caller sees the reason and a grown error count, and a later try lists everything.
TEST_F(EngineFailure, ChildListWithoutMemoryIsNotTheEnd) {
    MakeDir(dir / "many"); // enough files that their records need a new arena chunk
    for (int i = 0; i < 2000; ++i)
        MakeFile(dir / ("many/" + std::to_string(i)), 0);
    ASSERT_EQ(Start(), DVO_OK);
    WaitForTheEnd();
    const int count = DVOGetFolderInfoCount();
    std::vector<FolderRecord*> folders(static_cast<std::size_t>(count));
    ASSERT_EQ(DVOGetFolderInfo(folders.data(), count), count);
    FolderRecord* many = nullptr;
    for (FolderRecord* f : folders)
        if (platform::Utf16ToUtf8(f->name) == "many")
            many = f;
    ASSERT_NE(many, nullptr);
    const int errors = DVOGetErrorCount();

    // A reason left over from an earlier failure does not make a complete list look cut short.
    EXPECT_EQ(DVODeleteFilePermanently(u"no-such-entry", path16.c_str()), DVO_E_NOT_FOUND);
    ASSERT_NE(LastError(), "");
    int listed = 0;
    for (FolderRecord* c = DVOGetFirstFolderInfo(folders[0]); c != nullptr;
         c = DVOGetNextFolderInfo(folders[0]))
        ++listed;
    EXPECT_EQ(listed, 4);
    EXPECT_EQ(LastError(), "");
    EXPECT_EQ(DVOGetErrorCount(), errors);

    dvo::faults::FailArenaChunksAfter(0);
    EXPECT_EQ(DVOGetFirstFolderInfo(many), nullptr);
    EXPECT_NE(LastError(), "");
    EXPECT_EQ(DVOGetErrorCount(), errors + 1);
    dvo::faults::FailArenaChunksAfter(-1);

    listed = 0;
    for (FolderRecord* c = DVOGetFirstFolderInfo(many); c != nullptr;
         c = DVOGetNextFolderInfo(many))
        ++listed;
    EXPECT_EQ(listed, 2000);
    EXPECT_EQ(LastError(), "");
}

TEST_F(EngineFailure, WorkersThatCannotStartLeaveTheWalkToTheOthers) {
    dvo::faults::FailThreadStartsAfter(1); // the search's own thread only
    ASSERT_EQ(Start(), DVO_OK);
    WaitForTheEnd();
    dvo::faults::FailThreadStartsAfter(-1);
    EXPECT_EQ(DVOGetErrorCount(), 0);
    SearchProgress progress{};
    ASSERT_EQ(DVOGetCurrentSearchInfo(&progress), 0);
    EXPECT_EQ(progress.fileCount, 52);
    EXPECT_EQ(progress.folderCount, 3);
    ExpectConsistentRecords();
}

// levels folders, each named `name` inside the one before, each holding a file "f" of 1 byte;
// made through descriptors, since the path soon passes PATH_MAX.
void MakeChain(const std::string& root, int levels, const std::string& name) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < levels; ++i) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        const int f = ::openat(fd, "f", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(f, 0);
        ASSERT_EQ(::write(f, "x", 1), 1);
        ::close(f);
    }
    ::close(fd);
}

// Every folder record's directory is a full path, so a deep chain of long names needs memory
// quadratic in its depth (200 levels of 200 bytes: about 8 MB of texts). Past the record budget
// the search stops as an abort does, keeps and lists what it read, and says why.
TEST_F(EngineFailure, DeepChainStopsWhereItsRecordsWouldPassTheBudget) {
    constexpr int kLevels = 200;
    constexpr long long kBudget = 1 << 20;
    TempDir chain;
    MakeChain(chain.Path(), kLevels, std::string(200, 'n'));
    path16 = platform::Utf8ToUtf16(chain.Path());
    dvo::faults::SetRecordBudget(kBudget);

    ASSERT_EQ(Start(), 0);
    WaitForTheEnd();
    EXPECT_EQ(LastError(), dvo::kRecordBudgetText);
    const int count = DVOGetFolderInfoCount();
    ASSERT_GT(count, 10);
    ASSERT_LT(count, kLevels + 1);
    std::vector<FolderRecord*> folders(static_cast<std::size_t>(count));
    ASSERT_EQ(DVOGetFolderInfo(folders.data(), count), count);
    // Every folder that fitted was read whole; the first that did not is listed, unread.
    for (int i = 0; i + 1 < count; ++i) {
        EXPECT_EQ(DVOGetFolderState(folders[static_cast<std::size_t>(i)]), DVO_FOLDER_READ) << i;
        EXPECT_EQ(folders[static_cast<std::size_t>(i)]->folderCount, count - 1 - i);
    }
    EXPECT_EQ(DVOGetFolderState(folders.back()), DVO_FOLDER_PARTIAL);
    EXPECT_EQ(folders.back()->fileCount, 0);
    EXPECT_EQ(folders[0]->fileCount, count - 2); // one file in each level read
    EXPECT_EQ(folders[0]->size, count - 2);
    ExpectConsistentRecords();
    SearchProgress progress{};
    ASSERT_EQ(DVOGetCurrentSearchInfo(&progress), 0);
    EXPECT_EQ(progress.fileCount, count - 2);

    // The same walk with every record made, as the program has them: their texts stay within
    // the budget.
    dvo::Scanner scanner(dvo::ScanOptions{});
    ASSERT_EQ(scanner.Open(chain.Path()), DVO_OK);
    scanner.Run();
    const auto result = scanner.Finish();
    EXPECT_TRUE(result->overBudget);
    dvo::MovedEntries noMoves;
    dvo::RecordStore store(*result, noMoves);
    std::vector<FolderRecord*> all(static_cast<std::size_t>(store.FolderCount()));
    ASSERT_EQ(store.FolderList(all.data(), static_cast<int>(all.size())), count);
    for (FolderRecord* f : all) {
        for (FolderRecord* c = store.First(f); c != nullptr; c = store.Next(f)) {
        }
    }
    EXPECT_LT(store.TextBytes(), static_cast<std::size_t>(kBudget));

    // With room for everything the whole chain is listed and no reason is left over.
    dvo::faults::SetRecordBudget(-1);
    ASSERT_EQ(Start(), 0);
    WaitForTheEnd();
    EXPECT_EQ(LastError(), "");
    EXPECT_EQ(DVOGetFolderInfoCount(), kLevels + 1);
}

} // namespace
