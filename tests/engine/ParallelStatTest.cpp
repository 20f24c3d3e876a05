// The two ways the scan stats entries (many in flight on an io_uring, or one statx each when the
// kernel refuses a ring) and the sharing of a large folder among workers: the same tree must give
// the same records whichever is used, and an abort in the middle must leave only real entries.
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TreeFixture.h"
#include "engine/FaultInjection.h"
#include "engine/Scanner.h"
#include "engine/UringStat.h"

using namespace enginetest;

namespace {

// Everything a scan recorded, one line per entry in record order, for comparing two scans.
void Dump(const dvo::Dir* d, const std::string& path, std::string& out) {
    out += path + " D total=" + std::to_string(d->total) +
           " folders=" + std::to_string(d->folderCount) + " files=" + std::to_string(d->fileCount) +
           " state=" + std::to_string(static_cast<int>(d->state)) + "\n";
    for (std::uint32_t i = 0; i < d->childCount; ++i) {
        const dvo::Node& n = d->children[i];
        const std::string child = path + "/" + std::string(n.Name());
        if (n.IsFolder()) {
            Dump(n.dir, child, out);
        } else {
            out += child + " type=" + std::to_string(n.type) + " size=" + std::to_string(n.size) +
                   " flags=" + std::to_string(n.flags) + " ino=" + std::to_string(n.inode) +
                   " mtime=" + std::to_string(n.mtimeMs) + "\n";
        }
    }
}

// The first dump of a series becomes what the later ones must equal.
void ExpectSameAsFirst(const dvo::ScanResult& result, std::string& first) {
    std::string dump;
    Dump(result.root, ".", dump);
    if (first.empty()) {
        first = dump;
    } else {
        EXPECT_EQ(dump, first);
    }
}

std::unique_ptr<dvo::ScanResult> Scan(const std::string& root, int threads,
                                      bool followLinks = false) {
    dvo::ScanOptions options;
    options.threads = threads;
    options.followLinks = followLinks;
    dvo::Scanner scanner(options);
    EXPECT_EQ(scanner.Open(root), 0);
    scanner.Run();
    return scanner.Finish();
}

// A folder with more entries than one worker stats alone, among them hard links to one file (in
// several chunks, and from another folder), subfolders, a link back up, a dangling link and a
// FIFO; and a small folder beside it.
void BuildLargeFolderTree(const TempDir& t) {
    MakeDir(t / "a");
    MakeFile(t / "a/target", 4321);
    MakeDir(t / "big");
    for (int i = 0; i < 6000; ++i) {
        const std::string name = t / ("big/f" + std::to_string(i));
        if (i % 1500 == 7) {
            ASSERT_EQ(::link((t / "a/target").c_str(), name.c_str()), 0);
        } else {
            MakeFile(name, static_cast<std::size_t>(i % 977));
        }
    }
    for (int i = 0; i < 20; ++i) {
        const std::string sub = t / ("big/sub" + std::to_string(i));
        MakeDir(sub);
        MakeFile(sub + "/g", static_cast<std::size_t>(100 + i));
    }
    ASSERT_EQ(::symlink("..", (t / "big/up").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (t / "big/dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo((t / "big/fifo").c_str(), 0644), 0);
}

// The ways a run of stats can go: all through the ring (a cold disk), entry by entry (no ring),
// a few inline and then the rest through the ring, and the engine's own choice by time.
struct StatPath {
    const char* name;
    bool ring;
    long inlineStats;
};
constexpr StatPath kStatPaths[] = {{"ring", true, 0},
                                   {"one by one", false, -1},
                                   {"inline, then ring", true, 3},
                                   {"by time", true, -1}};

void UseStatPath(const StatPath& path) {
    dvo::faults::FailRingSetup(!path.ring);
    dvo::faults::SetInlineStatsPerRun(path.inlineStats);
}

TEST(EngineScanRing, EveryStatPathAndAnyThreadCountGiveTheSameRecords) {
    TempDir t;
    BuildLargeFolderTree(t);
    const std::vector<ModelFolder> model = WalkIndependently(t.Path());

    std::string expected;
    for (const StatPath& path : kStatPaths) {
        UseStatPath(path);
        for (const int threads : {1, 2, 8}) {
            SCOPED_TRACE(std::string(path.name) + ", threads " + std::to_string(threads));
            const auto result = Scan(t.Path(), threads);
            ASSERT_NE(result, nullptr);
            EXPECT_EQ(result->errors, 0);
            EXPECT_EQ(result->root->total, model[0].size);
            EXPECT_EQ(result->root->folderCount, model[0].folders);
            EXPECT_EQ(result->root->fileCount, model[0].files);
            ExpectSameAsFirst(*result, expected);
        }
    }
    // Followed links take the other stat flags, and a dangling one its fallback.
    std::string followed;
    for (const StatPath& path : kStatPaths) {
        UseStatPath(path);
        SCOPED_TRACE(path.name);
        const auto result = Scan(t.Path(), 4, true);
        ASSERT_NE(result, nullptr);
        ExpectSameAsFirst(*result, followed);
    }
    UseStatPath({"default", true, -1});
}

// The ring alone, against statx: answers for each name, errors as errno, and an early stop.
class Names final : public dvo::StatSink {
public:
    explicit Names(std::vector<std::string> names) : names(std::move(names)) {
        answers.resize(this->names.size(), -1);
        stats.resize(this->names.size());
    }
    const char* Name(std::size_t i) const noexcept override { return names[i].c_str(); }
    void Done(std::size_t i, int error, const struct statx& st) noexcept override {
        answers[i] = error;
        stats[i] = st;
        ++done;
    }
    bool Stop() const noexcept override { return stopAfter >= 0 && done >= stopAfter; }

    std::vector<std::string> names;
    std::vector<int> answers; // -1 until answered
    std::vector<struct statx> stats;
    long stopAfter = -1;
    long done = 0;
};

TEST(EngineScanRing, RingAnswersAsStatxDoes) {
    dvo::UringStat ring;
    if (!ring.Start(8)) {
        GTEST_SKIP() << "no io_uring here; the one-by-one path is tested on its own";
    }
    TempDir t;
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) {
        names.push_back(i % 10 == 3 ? "missing" + std::to_string(i) : "f" + std::to_string(i));
        if (i % 10 != 3) {
            MakeFile(t / names.back(), static_cast<std::size_t>(i * 3));
        }
    }
    const int dirFd = ::open(t.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd, 0);
    Names sink(names);
    EXPECT_TRUE(ring.Stat(dirFd, AT_SYMLINK_NOFOLLOW, dvo::kEntryStatMask, names.size(), sink));
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        struct statx expected = {};
        const int rc =
            ::statx(dirFd, names[i].c_str(), AT_SYMLINK_NOFOLLOW, dvo::kEntryStatMask, &expected);
        ASSERT_EQ(sink.answers[i], rc == 0 ? 0 : errno);
        if (rc == 0) {
            EXPECT_EQ(sink.stats[i].stx_ino, expected.stx_ino);
            EXPECT_EQ(sink.stats[i].stx_size, expected.stx_size);
            EXPECT_EQ(sink.stats[i].stx_mode, expected.stx_mode);
        } else {
            EXPECT_EQ(sink.answers[i], ENOENT);
        }
    }

    // A stop sends no more, answers what is in flight, and leaves the ring usable.
    Names stopped(names);
    stopped.stopAfter = 5;
    EXPECT_TRUE(ring.Stat(dirFd, AT_SYMLINK_NOFOLLOW, dvo::kEntryStatMask, names.size(), stopped));
    EXPECT_GE(stopped.done, 5);
    EXPECT_LE(stopped.done, 5 + 8);
    Names again(names);
    EXPECT_TRUE(ring.Stat(dirFd, AT_SYMLINK_NOFOLLOW, dvo::kEntryStatMask, names.size(), again));
    EXPECT_EQ(again.done, static_cast<long>(names.size()));
    ::close(dirFd);
}

// Aborts at several moments while workers share a large folder: whatever was recorded is a real
// entry with its real size, and the walk stops promptly.
TEST(EngineScanSplit, AbortWhileSharingALargeFolderKeepsOnlyRealEntries) {
    TempDir t;
    MakeDir(t / "big");
    constexpr int kFiles = 20000;
    for (int i = 0; i < kFiles; ++i) {
        MakeFile(t / ("big/f" + std::to_string(i)), static_cast<std::size_t>(i % 1000));
    }
    for (const StatPath& path : kStatPaths) {
        UseStatPath(path);
        for (const int delayUs : {0, 200, 1000, 3000, 10000}) {
            SCOPED_TRACE(std::string(path.name) + ", abort after " + std::to_string(delayUs) +
                         " us");
            dvo::ScanOptions options;
            options.threads = 4;
            dvo::Scanner scanner(options);
            ASSERT_EQ(scanner.Open(t.Path()), 0);
            std::thread runner([&] { scanner.Run(); });
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
            const auto abortAt = std::chrono::steady_clock::now();
            scanner.Abort();
            runner.join();
            // Generous: the bound that matters (100 ms) is measured by the benchmark.
            EXPECT_LT(std::chrono::steady_clock::now() - abortAt, std::chrono::seconds(5));
            const auto result = scanner.Finish();
            ASSERT_NE(result, nullptr);
            const dvo::Dir* root = result->root;
            if (root->childCount == 0) {
                continue; // stopped before the searched folder was listed
            }
            ASSERT_EQ(root->childCount, 1u);
            const dvo::Dir* big = root->children[0].dir;
            std::int64_t size = 0;
            for (std::uint32_t i = 0; i < big->childCount; ++i) {
                const dvo::Node& n = big->children[i];
                const std::string name(n.Name());
                ASSERT_EQ(name[0], 'f');
                const int index = std::stoi(name.substr(1));
                ASSERT_LT(index, kFiles);
                EXPECT_EQ(n.size, index % 1000) << name;
                EXPECT_EQ(n.flags, 0) << name;
                size += n.size;
            }
            EXPECT_EQ(big->total, size);
            EXPECT_EQ(root->total, size);
            if (big->state == dvo::DirState::Read) {
                EXPECT_EQ(big->childCount, static_cast<std::uint32_t>(kFiles));
            }
        }
    }
    UseStatPath({"default", true, -1});
}

} // namespace
