// The size count switch and the listings (largest files, kinds, years) against an independent
// walk of a real tree with sparse files, hard links and names of every kind, on both stat paths.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "EngineRecords.h"
#include "TreeFixture.h"
#include "engine/DVOSUB.h"
#include "engine/FaultInjection.h"
#include "engine/Listings.h"
#include "platform/Text.h"

using namespace enginetest;

namespace {

std::string Utf8(const char16_t* text) { return platform::Utf16ToUtf8(text); }

// One entry as the independent walk counts it.
struct Counted {
    std::string path;
    std::int64_t apparent;
    std::int64_t disk;
    std::string name;
    std::time_t mtime;
};

// Pre-order, names in byte order, each (device, inode) at its first name only.
void Walk(const std::string& dir, std::set<std::pair<dev_t, ino_t>>& seen,
          std::vector<Counted>& out) {
    DIR* d = ::opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") {
            names.push_back(n);
        }
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        const std::string path = dir + "/" + n;
        struct stat st = {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        if (S_ISDIR(st.st_mode)) {
            Walk(path, seen, out);
        } else if (st.st_nlink == 1 || seen.insert({st.st_dev, st.st_ino}).second) {
            out.push_back(
                {path, st.st_size, static_cast<std::int64_t>(st.st_blocks) * 512, n, st.st_mtime});
        }
    }
}

std::vector<Counted> WalkTree(const std::string& root) {
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<Counted> out;
    Walk(root, seen, out);
    return out;
}

std::int64_t Figure(const Counted& c, int mode) {
    return mode == DVO_SIZE_DISK ? c.disk : c.apparent;
}

using Groups = std::vector<std::tuple<std::string, long long, long long>>;

Groups Collect(int (*call)(DVOGroupSink, void*)) {
    Groups out;
    const int n = call(
        [](const DVOGroupTotal* t, void* context) {
            static_cast<Groups*>(context)->emplace_back(Utf8(t->name), t->bytes, t->count);
            return 0;
        },
        &out);
    EXPECT_EQ(n, static_cast<int>(out.size()));
    return out;
}

std::string YearText(std::time_t t) {
    struct tm local = {};
    ::localtime_r(&t, &local);
    return std::to_string(local.tm_year + 1900);
}

// What the listings must say of the walk, in one count.
struct Expected {
    std::vector<std::pair<std::int64_t, std::string>> largest; // bytes, path
    Groups types;
    Groups years;
    std::int64_t total = 0;
};

Expected Expect(const std::vector<Counted>& walk, int mode) {
    Expected e;
    std::map<std::string, std::pair<long long, long long>> types;
    std::map<long, std::pair<long long, long long>> years;
    for (const Counted& c : walk) {
        const std::int64_t bytes = Figure(c, mode);
        e.total += bytes;
        e.largest.emplace_back(bytes, c.path);
        auto& type = types[dvo::ExtensionOf(c.name)];
        type.first += bytes;
        ++type.second;
        auto& year = years[std::stol(YearText(c.mtime))];
        year.first += bytes;
        ++year.second;
    }
    std::sort(e.largest.begin(), e.largest.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    for (const auto& [name, t] : types) {
        e.types.emplace_back(name, t.first, t.second);
    }
    std::stable_sort(e.types.begin(), e.types.end(),
                     [](const auto& a, const auto& b) { return std::get<1>(a) > std::get<1>(b); });
    for (const auto& [year, t] : years) {
        e.years.emplace_back(std::to_string(year), t.first, t.second);
    }
    return e;
}

class ListingsTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        dvo::faults::FailRingSetup(!GetParam());
        dvo::faults::SetInlineStatsPerRun(GetParam() ? 0 : -1); // the ring for every run
        ASSERT_EQ(DVOCreateObj(), DVO_OK);
        Build();
    }
    void TearDown() override {
        DVODestroyObj();
        dvo::faults::FailRingSetup(false);
        dvo::faults::SetInlineStatsPerRun(-1);
    }

    // Sparse files, hard links across folders, equal sizes whose path order differs from the
    // walk's order ("t/b" is read before "t-a", yet sorts after it), and names of every kind.
    void Build() {
        const std::string r = m_tree.Path();
        for (const char* d : {"a", "b", "t", "u", "u/deep"}) {
            MakeDir(r + "/" + d);
        }
        MakeFile(r + "/a/sparse.img", 50 << 20); // 50 MiB apparent, no blocks
        WriteFile(r + "/a/photo.JPG", 300000, 2001);
        WriteFile(r + "/b/other.jpg", 200000, 2015);
        WriteFile(r + "/a/linked.bin", 120000, 2015);
        ASSERT_EQ(::link((r + "/a/linked.bin").c_str(), (r + "/b/again.bin").c_str()), 0);
        WriteFile(r + "/t/b", 70000, 2024);
        WriteFile(r + "/t-a", 70000, 2024);
        WriteFile(r + "/.profile", 100, 2024);
        WriteFile(r + "/notes", 5000, 2001);
        WriteFile(r + "/x.", 10, 2015);
        WriteFile(r + "/u/deep/arch.TAR.GZ", 9000, 2015);
        WriteFile(r + "/u/\xff\xfe.d\xe9", 3000, 2024); // not UTF-8, extension too
        ASSERT_EQ(::symlink("a/photo.JPG", (r + "/u/pointer").c_str()), 0);
    }

    void Search() {
        ASSERT_EQ(DVOStartFileSearching(), DVO_OK);
        ASSERT_EQ(DVOAddSearchDirectory(platform::Utf8ToUtf16(m_tree.Path()).c_str()), DVO_OK);
        ASSERT_EQ(DVOExecFileSearch(1, 0, 1, 0), DVO_OK);
        SearchProgress p{};
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (DVOIsSearching() != 0 && std::chrono::steady_clock::now() < deadline) {
            DVOGetCurrentSearchInfo(&p);
        }
        ASSERT_EQ(DVOIsSearching(), 0);
    }

    // Every listing, the totals and the records against the walk, in the current count.
    void ExpectListings(const std::vector<Counted>& walk) {
        const int mode = DVOGetSizeMode();
        SCOPED_TRACE(mode == DVO_SIZE_DISK ? "disk usage" : "file size");
        const Expected e = Expect(walk, mode);
        std::vector<FolderRecord*> records(walk.size() + 5);
        const int n = DVOGetLargestFiles(records.data(), static_cast<int>(records.size()));
        ASSERT_EQ(n, static_cast<int>(walk.size()));
        for (int i = 0; i < n; ++i) {
            const FolderRecord* r = records[static_cast<std::size_t>(i)];
            EXPECT_EQ(r->kind, DVO_KIND_FILE);
            EXPECT_EQ(r->size, e.largest[static_cast<std::size_t>(i)].first) << i;
            EXPECT_EQ(Utf8(r->directory) + "/" + Utf8(r->name),
                      e.largest[static_cast<std::size_t>(i)].second)
                << i;
        }
        // A shorter list is the head of the longer one.
        ASSERT_EQ(DVOGetLargestFiles(records.data(), 3), 3);
        EXPECT_EQ(Utf8(records[2]->directory) + "/" + Utf8(records[2]->name), e.largest[2].second);
        EXPECT_EQ(Collect(DVOGetTypeTotals), e.types);
        EXPECT_EQ(Collect(DVOGetYearTotals), e.years);
        SearchProgress p{};
        ASSERT_EQ(DVOGetCurrentSearchInfo(&p), DVO_OK);
        EXPECT_EQ(p.size, e.total);
        EXPECT_EQ(DVOGetRootFolderInfo()->size, e.total);
        EXPECT_EQ(DVOGetFolderInfoCount() > 0 ? Folders()[0]->size : -1, e.total);
    }

    static std::vector<FolderRecord*> Folders() {
        std::vector<FolderRecord*> list(static_cast<std::size_t>(DVOGetFolderInfoCount()));
        DVOGetFolderInfo(list.data(), static_cast<int>(list.size()));
        return list;
    }

    TempDir m_tree;
};

TEST_P(ListingsTest, BothCountsAgreeWithTheWalkAndSwitchWithoutSearching) {
    Search();
    const std::vector<Counted> walk = WalkTree(m_tree.Path());
    // The fixture does what it is for: a sparse file larger than it takes, files that take more.
    ASSERT_EQ(Expect(walk, DVO_SIZE_APPARENT).largest[0].second, m_tree / "a/sparse.img");
    ASSERT_EQ(Expect(walk, DVO_SIZE_DISK).largest.back().first, 0);

    EXPECT_EQ(DVOGetSizeMode(), DVO_SIZE_APPARENT);
    FolderRecord* a = dvo::test::RecordAt("a");
    FolderRecord* sparse = dvo::test::RecordAt("a/sparse.img");
    FolderRecord* again = dvo::test::RecordAt("b/again.bin"); // the uncounted later link
    ASSERT_NE(a, nullptr);
    ASSERT_NE(sparse, nullptr);
    ASSERT_NE(again, nullptr);
    ExpectListings(walk);
    EXPECT_EQ(sparse->size, 50 << 20);

    ASSERT_EQ(DVOSetSizeMode(DVO_SIZE_DISK), DVO_OK);
    ExpectListings(walk);
    // Records handed out before the switch show the other figure in place.
    struct stat st = {};
    ASSERT_EQ(::stat((m_tree / "a/linked.bin").c_str(), &st), 0);
    EXPECT_EQ(sparse->size, 0);
    EXPECT_EQ(again->size, st.st_blocks * 512);
    std::int64_t aDisk = 0;
    for (const Counted& c : walk) {
        aDisk += c.path.starts_with(m_tree / "a/") ? c.disk : 0;
    }
    EXPECT_EQ(a->size, aDisk);

    // A new search keeps the count; switching back restores the first figures.
    Search();
    EXPECT_EQ(DVOGetSizeMode(), DVO_SIZE_DISK);
    ExpectListings(walk);
    ASSERT_EQ(DVOSetSizeMode(DVO_SIZE_APPARENT), DVO_OK);
    ExpectListings(walk);
}

TEST_P(ListingsTest, FollowDeletesAndMoves) {
    Search();
    FolderRecord* top[2] = {};
    ASSERT_EQ(DVOGetLargestFiles(top, 1), 1);
    // The counted link goes: its bytes now count at the other name, which the list shows.
    ASSERT_EQ(DVODeleteFilePermanently(u"linked.bin", platform::Utf8ToUtf16(m_tree / "a").c_str()),
              DVO_OK);
    ASSERT_EQ(DVOMoveFile(u"notes", platform::Utf8ToUtf16(m_tree.Path()).c_str(),
                          platform::Utf8ToUtf16(m_tree / "u/deep").c_str()),
              DVO_OK);
    for (const int mode : {DVO_SIZE_APPARENT, DVO_SIZE_DISK}) {
        ASSERT_EQ(DVOSetSizeMode(mode), DVO_OK);
        ExpectListings(WalkTree(m_tree.Path()));
    }
}

TEST_P(ListingsTest, ExportKeepsBothFigures) {
    Search();
    ASSERT_EQ(DVOSetSizeMode(DVO_SIZE_DISK), DVO_OK);
    SearchProgress scanned{};
    ASSERT_EQ(DVOGetCurrentSearchInfo(&scanned), DVO_OK);
    TempDir out;
    const std::u16string file = platform::Utf8ToUtf16(out / "result.json");
    ASSERT_EQ(DVOExportResult(file.c_str()), DVO_OK);
    ASSERT_EQ(DVOOpenResult(file.c_str()), DVO_OK);
    ASSERT_EQ(DVOIsOpenedResult(), 1);
    // The opened result answers in the count set before it was opened, then in the other.
    ExpectListings(WalkTree(m_tree.Path()));
    ASSERT_EQ(DVOSetSizeMode(DVO_SIZE_APPARENT), DVO_OK);
    ExpectListings(WalkTree(m_tree.Path()));
}

INSTANTIATE_TEST_SUITE_P(StatPaths, ListingsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Ring" : "OneByOne"; });

TEST(ListingsApi, RefusesWhatItCannotDo) {
    FolderRecord* records[1] = {};
    const DVOGroupSink none = [](const DVOGroupTotal*, void*) { return 0; };
    EXPECT_EQ(DVOSetSizeMode(DVO_SIZE_DISK), DVO_E_NO_OBJECT);
    EXPECT_EQ(DVOGetLargestFiles(records, 1), DVO_E_NO_OBJECT);
    ASSERT_EQ(DVOCreateObj(), DVO_OK);
    EXPECT_EQ(DVOGetSizeMode(), DVO_SIZE_APPARENT);
    EXPECT_EQ(DVOSetSizeMode(2), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVOSetSizeMode(-1), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVOGetSizeMode(), DVO_SIZE_APPARENT);
    EXPECT_EQ(DVOGetLargestFiles(nullptr, 1), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVOGetLargestFiles(records, -1), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(DVOGetTypeTotals(nullptr, nullptr), DVO_E_INVALID_ARGUMENT);
    // No result yet: empty listings.
    EXPECT_EQ(DVOGetLargestFiles(records, 1), 0);
    EXPECT_EQ(DVOGetTypeTotals(none, nullptr), 0);
    EXPECT_EQ(DVOGetYearTotals(none, nullptr), 0);
    DVODestroyObj();
}

TEST(Extension, FollowsTheLastInnerDot) {
    const struct {
        const char* name;
        const char* extension;
    } cases[] = {
        {"a.JPG", "jpg"},
        {"b.jpg", "jpg"},
        {"arch.TAR.Gz", "gz"},
        {".profile", ""},
        {"notes", ""},
        {"x.", ""},
        {"...", ""},
        {"a..b", "b"},
        {"..b", "b"},
        {".a.B", "b"},
        {"\xC3\x89t\xC3\xA9.\xC3\x89", "\xC3\x89"},
        {"\xff.\xfeZ", "\xfez"},
        {"Makefile.", ""},
        {".", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dvo::ExtensionOf(c.name), c.extension) << c.name;
    }
}

} // namespace
