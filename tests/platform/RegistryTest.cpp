#include "platform/Registry.h"

#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::RegistryKey;
using platform::RegistryValue;

namespace {

constexpr const char* kKey = "Software\\Lumetra\\Test";

std::vector<unsigned char> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

class RegistryTest : public ::testing::Test {
protected:
    fs::path KeyDir(const std::string& relative) const {
        return m_config / "lumetra-registry" / "HKEY_CURRENT_USER" / relative;
    }
    static std::string ReadText(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    static void WriteText(const fs::path& file, std::string_view text) {
        std::ofstream(file, std::ios::binary) << text;
    }
    // Every path below the configuration folder, to prove that nothing was created.
    std::vector<std::string> Tree() const {
        std::vector<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(m_config))
            paths.push_back(fs::relative(entry.path(), m_config).string());
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    dvo::test::TempDir m_dir;
    ScopedEnv m_env{"XDG_CONFIG_HOME", m_dir.path().c_str()};
    fs::path m_config{m_dir.path()};
};

struct ValueCase {
    const char* name;
    uint32_t type;
    std::string data;
    const char* line; // exactly as it must appear in values.reg
};

const ValueCase kValueCases[] = {
    {"Level", platform::kRegSz, std::string("3\0", 2), R"("Level"="3")"},
    {"Count", platform::kRegDword, std::string("\x2a\0\0\0", 4), R"("Count"=dword:0000002a)"},
    {"Raw", platform::kRegBinary, "\x01\x02", R"("Raw"=hex(3):01,02)"},
    {"Quo\"te\\Name", platform::kRegSz, std::string("say \"hi\" C:\\dir\\\0", 17),
     R"("Quo\"te\\Name"="say \"hi\" C:\\dir\\")"},
    {"", platform::kRegSz, std::string("d\0", 2), R"(@="d")"},
    {"JustNul", platform::kRegSz, std::string("\0", 1), R"("JustNul"="")"},
    {"NotUtf8", platform::kRegSz, std::string("\xff\xe6\x97\xa5\0", 5),
     "\"NotUtf8\"=\"\xff\xe6\x97\xa5\""},
    {"NoNul", platform::kRegSz, "abc", R"("NoNul"=hex(1):61,62,63)"},
    {"Empty", platform::kRegSz, "", R"("Empty"=hex(1):)"},
    {"TwoNuls", platform::kRegSz, std::string("a\0\0", 3), R"("TwoNuls"=hex(1):61,00,00)"},
    {"InnerNul", platform::kRegSz, std::string("a\0b\0", 4), R"("InnerNul"=hex(1):61,00,62,00)"},
    {"LineFeed", platform::kRegSz, std::string("a\nb\0", 4), R"("LineFeed"=hex(1):61,0a,62,00)"},
    {"Return", platform::kRegSz, std::string("a\r\0", 3), R"("Return"=hex(1):61,0d,00)"},
    {"ShortDword", platform::kRegDword, "\x01\x02", R"("ShortDword"=hex(4):01,02)"},
    {"Expand", platform::kRegExpandSz, std::string("%H%\0", 4), R"("Expand"=hex(2):25,48,25,00)"},
    {"Qword", platform::kRegQword, std::string("\xff\0\0\0\0\0\0\x80", 8),
     R"("Qword"=hex(b):ff,00,00,00,00,00,00,80)"},
    {"OddType", 0x12345678u, "", R"("OddType"=hex(12345678):)"},
};

TEST_F(RegistryTest, ValuesReadBackExactlyAndFileTextIsRegistryExportSyntax) {
    {
        auto key = RegistryKey::CreateOrOpen(kKey);
        ASSERT_TRUE(key);
        for (const auto& c : kValueCases)
            ASSERT_TRUE(key->Write(c.name, c.type, Bytes(c.data))) << c.line;
    }
    auto key = RegistryKey::OpenForQuery(kKey);
    ASSERT_TRUE(key);
    std::string expectedText;
    for (const auto& c : kValueCases) {
        EXPECT_EQ(key->Read(c.name), (RegistryValue{c.type, Bytes(c.data)})) << c.line;
        expectedText += std::string(c.line) + "\n";
    }
    EXPECT_EQ(ReadText(KeyDir("Software/Lumetra/Test/values.reg")), expectedText);
}

TEST_F(RegistryTest, TypedHelpers) {
    auto key = RegistryKey::CreateOrOpen(kKey);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteString("Text", "abc"));
    ASSERT_TRUE(key->WriteDword("Number", 0xdeadbeef));
    EXPECT_EQ(key->Read("Text"), (RegistryValue{platform::kRegSz, Bytes(std::string("abc\0", 4))}));
    EXPECT_EQ(key->ReadString("Text"), "abc");
    EXPECT_EQ(key->ReadDword("Number"), 0xdeadbeefu);
    // Each helper reads only its own type.
    EXPECT_EQ(key->ReadDword("Text"), std::nullopt);
    EXPECT_EQ(key->ReadString("Number"), std::nullopt);
}

TEST_F(RegistryTest, ValueNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    auto key = RegistryKey::CreateOrOpen(kKey);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteDword("Level", 1));
    ASSERT_TRUE(key->WriteDword("Other", 2));
    ASSERT_TRUE(key->WriteDword("LEVEL", 3));
    EXPECT_EQ(key->ReadDword("level"), 3u);
    EXPECT_EQ(ReadText(KeyDir("Software/Lumetra/Test/values.reg")),
              "\"Level\"=dword:00000003\n\"Other\"=dword:00000002\n");
}

TEST_F(RegistryTest, ReadingCreatesNothing) {
    EXPECT_FALSE(RegistryKey::OpenForQuery(kKey));
    EXPECT_FALSE(RegistryKey::OpenForQuery(""));
    EXPECT_TRUE(Tree().empty());

    ASSERT_TRUE(RegistryKey::CreateOrOpen(kKey));
    const auto before = Tree();
    {
        auto key = RegistryKey::OpenForQuery(kKey);
        ASSERT_TRUE(key);
        EXPECT_EQ(key->Read("Missing"), std::nullopt);
        EXPECT_EQ(key->ReadString("Missing"), std::nullopt);
        EXPECT_EQ(key->ReadDword("Missing"), std::nullopt);
        EXPECT_FALSE(RegistryKey::OpenForQuery("Software\\Lumetra\\Test\\Sub"));
    }
    EXPECT_EQ(Tree(), before);
    EXPECT_TRUE(fs::is_empty(KeyDir("Software/Lumetra/Test")));
}

TEST_F(RegistryTest, KeyPaths) {
    {
        auto key = RegistryKey::CreateOrOpen(kKey);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->WriteDword("Mark", 7));
    }
    const auto before = Tree();
    // Spellings of the same key: empty components are ignored, names ignore case.
    for (const char* path : {"Software\\Lumetra\\Test", "\\Software\\\\Lumetra\\Test\\\\",
                             "SOFTWARE\\lumetra\\tEST"}) {
        auto key = RegistryKey::OpenForQuery(path);
        ASSERT_TRUE(key) << path;
        EXPECT_EQ(key->ReadDword("Mark"), 7u) << path;
        EXPECT_TRUE(RegistryKey::CreateOrOpen(path)) << path;
    }
    // Paths that could leave the root or collide with a key's own files.
    for (const char* path : {"..", ".", "Software\\..\\..\\x", "a/b", "../x",
                             "Software\\values.reg", "Software\\VALUES.LOCK"}) {
        EXPECT_FALSE(RegistryKey::CreateOrOpen(path)) << path;
        EXPECT_FALSE(RegistryKey::OpenForQuery(path)) << path;
    }
    EXPECT_EQ(Tree(), before);
}

TEST_F(RegistryTest, HandEditedFileIsReadAndItsOtherLinesSurviveAWrite) {
    ASSERT_TRUE(RegistryKey::CreateOrOpen(kKey));
    const std::string handWritten = "Windows Registry Editor Version 5.00\n"
                                    "\n"
                                    "[HKEY_CURRENT_USER\\Software\\Lumetra\\Test]\n"
                                    "; log settings\n"
                                    "  \"Level\" = \"3\"  \n"
                                    "\"Enable\"=\"1\"\r\n"
                                    "\"Count\"=DWORD:2A\n"
                                    "\"Bin\"=hex:0a, ff,1\n"
                                    "\"Dup\"=\"first\"\n"
                                    "\"Open\"=\"abc\n"
                                    "\"BadEscape\"=\"a\\nb\"\n"
                                    "\"LongDword\"=dword:123456789\n"
                                    "\"NotHexDword\"=dword:xyz\n"
                                    "\"BadHex\"=hex(3):01,2g\n"
                                    "\"LongByte\"=hex(3):012\n"
                                    "\"NoType\"=hex():01\n"
                                    "\"Trailing\"=\"a\" junk\n"
                                    "Bare=1\n"
                                    "\"NoEquals\" \"x\"\n"
                                    "\"Delete\"=-\n"
                                    "\"Dup\"=\"second\"\n"
                                    "\t\n"
                                    "\"Last\"=\"no newline\"";
    WriteText(KeyDir("Software/Lumetra/Test/values.reg"), handWritten);

    auto key = RegistryKey::OpenForQuery(kKey);
    ASSERT_TRUE(key);
    const struct {
        const char* name;
        std::optional<RegistryValue> value;
    } expected[] = {
        {"Level", RegistryValue{platform::kRegSz, Bytes(std::string("3\0", 2))}},
        {"Enable", RegistryValue{platform::kRegSz, Bytes(std::string("1\0", 2))}},
        {"Count", RegistryValue{platform::kRegDword, Bytes(std::string("\x2a\0\0\0", 4))}},
        {"Bin", RegistryValue{platform::kRegBinary, Bytes("\x0a\xff\x01")}},
        {"Dup", RegistryValue{platform::kRegSz, Bytes(std::string("second\0", 7))}},
        {"Last", RegistryValue{platform::kRegSz, Bytes(std::string("no newline\0", 11))}},
        {"Open", std::nullopt},
        {"BadEscape", std::nullopt},
        {"LongDword", std::nullopt},
        {"NotHexDword", std::nullopt},
        {"BadHex", std::nullopt},
        {"LongByte", std::nullopt},
        {"NoType", std::nullopt},
        {"Trailing", std::nullopt},
        {"Bare", std::nullopt},
        {"NoEquals", std::nullopt},
        {"Delete", std::nullopt},
    };
    for (const auto& e : expected)
        EXPECT_EQ(key->Read(e.name), e.value) << e.name;

    // A write changes only its own line (and drops the duplicates that would shadow it).
    auto writable = RegistryKey::CreateOrOpen(kKey);
    ASSERT_TRUE(writable);
    ASSERT_TRUE(writable->WriteString("level", "2"));
    ASSERT_TRUE(writable->WriteString("dup", "third"));
    ASSERT_TRUE(writable->WriteDword("New", 1));
    std::string expectedText = handWritten + "\n" + "\"New\"=dword:00000001\n";
    expectedText.replace(expectedText.find("  \"Level\" = \"3\"  "), 17, "\"Level\"=\"2\"");
    expectedText.replace(expectedText.find("\"Dup\"=\"first\""), 13, "\"Dup\"=\"third\"");
    expectedText.erase(expectedText.find("\"Dup\"=\"second\"\n"), 15);
    EXPECT_EQ(ReadText(KeyDir("Software/Lumetra/Test/values.reg")), expectedText);
    EXPECT_EQ(key->ReadString("Level"), "2");
    EXPECT_EQ(key->ReadString("Dup"), "third");
}

TEST_F(RegistryTest, NamesThatCannotBeStoredAreRefusedWithoutTouchingTheFile) {
    auto key = RegistryKey::CreateOrOpen(kKey);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteDword("Keep", 1));
    const std::string before = ReadText(KeyDir("Software/Lumetra/Test/values.reg"));
    for (std::string_view name :
         {std::string_view("a\nb"), std::string_view("a\r"), std::string_view("a\0b", 3)})
        EXPECT_FALSE(key->WriteDword(name, 2));
    EXPECT_EQ(ReadText(KeyDir("Software/Lumetra/Test/values.reg")), before);
}

TEST_F(RegistryTest, WriteIntoARemovedKeyFails) {
    auto key = RegistryKey::CreateOrOpen(kKey);
    ASSERT_TRUE(key);
    fs::remove_all(KeyDir("Software/Lumetra/Test"));
    EXPECT_FALSE(key->WriteDword("Lost", 1));
    EXPECT_FALSE(fs::exists(KeyDir("Software/Lumetra/Test")));
}

// Each process rewrites its own value of one key many times and checks after each write that
// its own latest value and the other's latest seen value are still there.
int WriterProcess(const char* own, const char* other, uint32_t rounds) {
    auto key = RegistryKey::CreateOrOpen(kKey);
    if (!key)
        return 10;
    std::optional<uint32_t> lastOther;
    for (uint32_t i = 0; i < rounds; ++i) {
        if (!key->WriteDword(own, i))
            return 11;
        if (key->ReadDword(own) != i)
            return 12;
        const auto seen = key->ReadDword(other);
        if (lastOther && (!seen || *seen < *lastOther))
            return 13;
        lastOther = seen;
    }
    return 0;
}

TEST_F(RegistryTest, ConcurrentWritersOfOneKeyLoseNeitherValue) {
    constexpr uint32_t kRounds = 200;
    ASSERT_TRUE(RegistryKey::CreateOrOpen(kKey));
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    const char* names[2][2] = {{"First", "Second"}, {"Second", "First"}};
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            // Both start together: wait until the parent closes the pipe.
            ::close(gate[1]);
            char byte;
            while (::read(gate[0], &byte, 1) > 0) {
            }
            ::_exit(WriterProcess(names[c][0], names[c][1], kRounds));
        }
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    auto key = RegistryKey::OpenForQuery(kKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadDword("First"), kRounds - 1);
    EXPECT_EQ(key->ReadDword("Second"), kRounds - 1);
}

} // namespace
