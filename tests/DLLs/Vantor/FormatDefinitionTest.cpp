// The format-definition reader on real files.
#include "DLLs/Vantor/Vantor.h"
#include "tests/DLLs/Vantor/VantorFixture.h"

#include <array>
#include <cstring>

namespace {

using namespace vantor_test;

// The six receiving buffers, prefilled so that an untouched one shows.
struct Targets {
    std::array<std::array<char, 256>, 6> buffers{};
    Targets() {
        for (auto& b : buffers)
            std::strcpy(b.data(), "-");
    }
    std::array<std::string, 6> Values() const {
        std::array<std::string, 6> v;
        for (std::size_t i = 0; i < 6; ++i)
            v[i] = buffers[i].data();
        return v;
    }
};

class FormatDefinition : public VantorTest {
protected:
    int Read(const std::string& folder, const char* file, Targets& t) {
        return GetFormatDefinition2(folder.c_str(), file, t.buffers[0].data(), t.buffers[1].data(),
                                    t.buffers[2].data(), t.buffers[3].data(), t.buffers[4].data(),
                                    t.buffers[5].data());
    }
};

using Values = std::array<std::string, 6>; // name, id, state, domain/fields, groups, terminal

TEST_F(FormatDefinition, FilesTable) {
    const std::string longValue(300, 'v');
    struct Case {
        const char* what;
        std::string text;
        Values expected;
    };
    const Case cases[] = {
        {"the common keys",
         "; comment\n[COMMON]\nFORMAT_ID=0012\nFORMAT_NAME=Daily\nFIELD_NUM=8\n",
         {"Daily", "0012", "-", "8", "-", "-"}},
        {"every key, CR LF and tabs",
         "[COMMON]\r\n\tFORMAT_NAME=n FORMAT_ID=i FORMAT_STATE=s GROUP_NUM=g TERM_ID=t\r\n",
         {"n", "i", "s", "-", "g", "t"}},
        {"the later of DOMAIN_ID and FIELD_NUM wins",
         "[COMMON]\nFIELD_NUM=8\nDOMAIN_ID=3\n",
         {"-", "-", "-", "3", "-", "-"}},
        {"a later key overwrites",
         "[COMMON]\nFORMAT_ID=1\nFORMAT_ID=22\n",
         {"-", "22", "-", "-", "-", "-"}},
        {"keys before [COMMON] and in other sections are ignored",
         "FORMAT_ID=1\n[OTHER]\nFORMAT_NAME=x\n[COMMON]\nTERM_ID=7\n",
         {"-", "-", "-", "-", "-", "7"}},
        {"keys in a section after [COMMON] are taken",
         "[COMMON]\n[FIELDS]\nGROUP_NUM=4\n",
         {"-", "-", "-", "-", "4", "-"}},
        {"blanks around '=' make three tokens",
         "[COMMON]\nFORMAT_ID = 12\n",
         {"-", "-", "-", "-", "-", "-"}},
        {"keys are case-sensitive",
         "[COMMON]\nformat_id=12\n[common]\nFORMAT_ID=\n",
         {"-", "", "-", "-", "-", "-"}},
        {"a comment token inside the section",
         "[COMMON]\n;FORMAT_ID=12 FORMAT_STATE=ok\n",
         {"-", "-", "ok", "-", "-", "-"}},
        {"no [COMMON] at all", "[COMMONS]\nFORMAT_ID=12\n", {"-", "-", "-", "-", "-", "-"}},
        {"a long value is cut with its token at 255 bytes",
         "[COMMON]\nFORMAT_NAME=" + longValue + "\n",
         {std::string(255 - 12, 'v'), "-", "-", "-", "-", "-"}},
        {"the cut rest of a long token is no token of its own",
         "[COMMON]\n;" + std::string(254, 'c') + "FORMAT_ID=99\n",
         {"-", "-", "-", "-", "-", "-"}},
        {"a zero byte ends a value",
         std::string("[COMMON]\nTERM_ID=ab\0cd\n", 22),
         {"-", "-", "-", "-", "-", "ab"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(tmp / "format.def", c.text);
        Targets t;
        EXPECT_EQ(Read(tmp.path(), "format.def", t), 0);
        EXPECT_EQ(t.Values(), c.expected);
    }
}

TEST_F(FormatDefinition, FolderWithOrWithoutSlashAndFailures) {
    WriteFile(tmp / "f.def", "[COMMON] FORMAT_ID=5");
    Targets a, b;
    EXPECT_EQ(Read(tmp.path(), "f.def", a), 0);
    EXPECT_EQ(Read(tmp.path() + "/", "f.def", b), 0);
    EXPECT_EQ(a.Values()[1], "5");
    EXPECT_EQ(b.Values()[1], "5");
    EXPECT_EQ(DebugOutput(), "GetFormatDefinition CalledFileOpen OKReadComplete OK"
                             "GetFormatDefinition CalledFileOpen OKReadComplete OK");

    // Missing files, folders and fifos are not read; the buffers stay.
    Folder("folder.def");
    ::mkfifo((tmp / "fifo.def").c_str(), 0600);
    for (const char* name : {"missing.def", "folder.def", "fifo.def"}) {
        Targets t;
        EXPECT_EQ(Read(tmp.path(), name, t), -1) << name;
        EXPECT_EQ(t.Values(), (Values{"-", "-", "-", "-", "-", "-"}));
    }
    Targets t;
    EXPECT_EQ(Read(std::string(1100, 'p'), "f.def", t), -1);
    EXPECT_EQ(GetFormatDefinition2(nullptr, "f.def", nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr),
              -1);
    // Null buffers are skipped.
    EXPECT_EQ(GetFormatDefinition2(tmp.path().c_str(), "f.def", nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr),
              0);
}

} // namespace
