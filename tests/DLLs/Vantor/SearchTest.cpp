// The search list, identifiers and copy names.
#include "DLLs/Vantor/FindList.h"
#include "DLLs/Vantor/Vantor.h"
#include "tests/DLLs/Vantor/VantorFixture.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using namespace vantor_test;

// The process's list as the loaded library has it.
class Search : public VantorTest {
protected:
    void SetUp() override { vantor::CreateFindList(); }
    void TearDown() override { vantor::DestroyFindList(); }

    // Every name the list hands out, first included.
    std::vector<std::string> Walk(const std::string& dir, const char* pattern, int* first) {
        std::vector<std::string> names;
        char out[260];
        *first = SR_FileFindFirst(out, dir.c_str(), pattern);
        if (*first != 0)
            return names;
        names.emplace_back(out);
        while (SR_FileFindNext(out) == 0)
            names.emplace_back(out);
        return names;
    }
};

TEST_F(Search, NamesInByteOrderThenMinusOne) {
    for (const char* name : {"b.txt", "A.txt", "a.txt", "c.csv", "報告書.txt"})
        WriteFile(tmp / name, "");
    Folder("d.txt");
    char out[260];
    ASSERT_EQ(SR_FileFindFirst(out, tmp.path().c_str(), "*.txt"), 0);
    EXPECT_STREQ(out, "A.txt");
    const char* rest[] = {"a.txt", "b.txt", "d.txt", "報告書.txt"};
    for (const char* name : rest) {
        ASSERT_EQ(SR_FileFindNext(out), 0);
        EXPECT_STREQ(out, name);
    }
    EXPECT_EQ(SR_FileFindNext(out), -1);
    EXPECT_EQ(SR_FileFindNext(out), -1);

    // A directory given with its trailing '/' is the same search; '?' is one character.
    int first = 0;
    EXPECT_EQ(Walk(tmp.path() + "/", "?.txt", &first),
              (std::vector<std::string>{"A.txt", "a.txt", "b.txt", "d.txt"}));
    EXPECT_EQ(Walk(tmp.path(), "???.txt", &first), (std::vector<std::string>{"報告書.txt"}));
}

TEST_F(Search, DotAndDotDotWhenThePatternMatchesThem) {
    WriteFile(tmp / "x", "");
    int first = 0;
    EXPECT_EQ(Walk(tmp.path(), "*", &first), (std::vector<std::string>{".", "..", "x"}));
    EXPECT_EQ(Walk(tmp.path(), "*.*", &first), (std::vector<std::string>{".", "..", "x"}));
    EXPECT_EQ(Walk(tmp.path(), "x*", &first), (std::vector<std::string>{"x"}));
}

TEST_F(Search, NoMatchKeepsTheEarlierListAndCloseEndsIt) {
    char out[260] = "untouched";
    EXPECT_EQ(SR_FileFindNext(out), -1); // before any search
    EXPECT_EQ(SR_FileFindClose(), -1);
    WriteFile(tmp / "a.txt", "");
    WriteFile(tmp / "b.txt", "");
    ASSERT_EQ(SR_FileFindFirst(out, tmp.path().c_str(), "*.txt"), 0);
    EXPECT_EQ(SR_FileFindFirst(out, tmp.path().c_str(), "*.none"), -1);
    EXPECT_EQ(SR_FileFindFirst(out, (tmp / "missing").c_str(), "*"), -1);
    EXPECT_STREQ(out, "a.txt");
    ASSERT_EQ(SR_FileFindNext(out), 0);
    EXPECT_STREQ(out, "b.txt");

    EXPECT_EQ(SR_FileFindClose(), 0);
    EXPECT_EQ(SR_FileFindClose(), -1);
    EXPECT_EQ(SR_FileFindNext(out), -1);

    // A search path beyond the path buffer would search for something else when cut.
    EXPECT_EQ(SR_FileFindFirst(out, tmp.path().c_str(), std::string(300, '*').c_str()), -1);
}

TEST_F(Search, MoreThan512NamesGrowTheList) {
    for (int i = 1099; i >= 0; --i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%04d", i);
        WriteFile(tmp / name, "");
    }
    int first = 0;
    const auto names = Walk(tmp.path(), "f*", &first);
    ASSERT_EQ(names.size(), 1100u);
    for (std::size_t i = 0; i < names.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%04zu", i);
        ASSERT_EQ(names[i], name);
    }
    EXPECT_EQ(vantor::TheFindList()->Capacity(), 1536);
}

// An allocator that gives up after a number of successful calls.
int g_allowedAllocations = 0;
void* Limited(void* block, std::size_t bytes) {
    if (g_allowedAllocations-- <= 0)
        return nullptr;
    return std::realloc(block, bytes);
}

TEST_F(Search, AFailedEnlargementKeepsTheNamesCollected) {
    for (int i = 0; i < 600; ++i)
        WriteFile(tmp / ("n" + std::to_string(1000 + i)), "");
    vantor::FindList list(&Limited);
    g_allowedAllocations = 1;
    ASSERT_TRUE(list.Search((tmp.path() + "/n*").c_str()));
    EXPECT_EQ(list.Count(), 512);
    char previous[260] = "";
    char out[260];
    int handed = 0;
    while (list.Next(out)) {
        EXPECT_LT(std::strcmp(previous, out), 0);
        std::strcpy(previous, out);
        ++handed;
    }
    EXPECT_EQ(handed, 512);

    // Not even the first array: no list, as if nothing matched.
    g_allowedAllocations = 0;
    EXPECT_FALSE(list.Search((tmp.path() + "/n*").c_str()));
    EXPECT_FALSE(list.Close());
}

TEST(Identifiers, FieldsAreZeroFilledAndWiderValuesTakeMoreDigits) {
    struct Case {
        int a, b, c, d;
        const char* uniq;
    };
    const Case uniq[] = {
        {1, 42, 7, 123, "10004200700123"},
        {-1, -42, -7, -123, "-1-00042-007-00123"},
        {12, 123456, 1234, 123456, "121234561234123456"},
        {INT_MIN, INT_MIN, INT_MIN, INT_MIN, "-2147483648-2147483648-2147483648-2147483648"},
    };
    for (const auto& c : uniq) {
        char out[48];
        EXPECT_EQ(SR_GenerateUniqID(out, c.a, c.b, c.c, c.d), 0);
        EXPECT_STREQ(out, c.uniq);
    }
    char out[36];
    EXPECT_EQ(SR_GenerateFileID(out, 2, 5, 99), 0);
    EXPECT_STREQ(out, "200500099");
    EXPECT_EQ(SR_GenerateFileID(out, -2, 1000, -5), 0);
    EXPECT_STREQ(out, "-21000-00005");
    EXPECT_EQ(SR_GenerateFileID(nullptr, 1, 2, 3), -1);
}

TEST(CopyNames, MakeCopyNameWithinFortyBytes) {
    struct Case {
        std::string name;
        int n;
        std::string expected; // empty: refused
    };
    const Case cases[] = {
        {"報告書", 1, "報告書のコピー"},
        {"報告書", 3, "報告書のコピー(3)"},
        {"報告書", 0, "報告書のコピー(0)"},
        {"報告書", -5, "報告書のコピー(-5)"},
        {std::string(28, 'a'), 1, std::string(28, 'a') + "のコピー"}, // 40 bytes
        {std::string(29, 'a'), 1, ""},                                // 41 bytes
        {std::string(25, 'a'), 2, std::string(25, 'a') + "のコピー(2)"},
        {std::string(25, 'a'), 10, ""},
        {std::string(200, 'a'), 1, ""}, // longer than the work buffer
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.n));
        char out[64];
        std::memset(out, '#', sizeof out);
        const int length = SRMakeCopyName(out, c.name.c_str(), c.n);
        EXPECT_EQ(length, static_cast<int>(c.expected.size()));
        if (c.expected.empty())
            EXPECT_EQ(out[0], '#');
        else
            EXPECT_EQ(std::string(out), c.expected);
    }
    EXPECT_EQ(std::strlen("のコピー"), 12u);
}

TEST(CopyNames, PickUpCopyNameBody) {
    const std::pair<std::string, std::string> cases[] = {
        {"報告書のコピー(12)", "報告書"},
        {"報告書のコピー", "報告書"},
        {"報告書のコピーのコピー", "報告書のコピー"},
        {"報告書のコピー()", "報告書"},
        {"報告書のコピー(1a)", "報告書のコピー(1a)"},
        {"報告書のコピー(1234)", "報告書のコピー(1234)"},
        {"報告書のコピー(1", "報告書のコピー(1"},
        {"報告書のコピー 2", "報告書のコピー 2"},
        {"報告書", "報告書"},
        {"のコピー", ""},
        {"", ""},
    };
    for (const auto& [name, body] : cases) {
        char out[64];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(SRPickUpCopyNameBody(out, name.c_str()), out);
        EXPECT_EQ(std::string(out), body) << name;
        EXPECT_EQ(out[39], '\0') << name; // the first 40 bytes are zeroed
        EXPECT_EQ(out[40], '#') << name;
    }
    char same[64] = "報告書のコピー(2)";
    EXPECT_STREQ(SRPickUpCopyNameBody(same, same), "報告書");
    // A body of 40 bytes or more is still terminated in a buffer sized for it.
    const std::string longName = std::string(45, 'b') + "のコピー(2)";
    char out[64];
    std::memset(out, '#', sizeof out);
    SRPickUpCopyNameBody(out, longName.c_str());
    EXPECT_EQ(std::string(out), std::string(45, 'b'));
}

} // namespace
