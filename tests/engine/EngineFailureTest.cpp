// Memory or threads running out inside the engine end the work in hand, never the process: the
// calls return their failure values, the search ends with what it has, and the reason is told.
#include "engine/DVOSUB.h"
#include "engine/FaultInjection.h"
#include "platform/Text.h"

#include "tests/engine/TreeFixture.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
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
    for (FolderRecord* c = DVOGetFirstFolderInfo(many); c != nullptr; c = DVOGetNextFolderInfo(many))
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

} // namespace
