// libRundel.so as a program gets it, loaded beside libBrindle.so: each library's ChangeExt and
// GetFileName keep their own rules although they share names.
#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>
#include <string>

namespace {

class Library {
public:
    explicit Library(const char* file) : m_handle(::dlopen(file, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() {
        if (m_handle != nullptr)
            ::dlclose(m_handle);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    [[nodiscard]] bool loaded() const { return m_handle != nullptr; }
    template <typename F> F get(const char* name) const {
        return reinterpret_cast<F>(::dlsym(m_handle, name));
    }

private:
    void* m_handle;
};

using ChangeExtFn = int (*)(const char*, const char*, char*);
using GetFileNameFn = int (*)(const char*, char*);

TEST(RundelLibrary, ChangeExtAndGetFileNameBesideBrindles) {
    const Library rundel(RUNDEL_LIBRARY);
    const Library brindle(BRINDLE_LIBRARY);
    ASSERT_TRUE(rundel.loaded()) << ::dlerror();
    ASSERT_TRUE(brindle.loaded()) << ::dlerror();
    const auto rundelExt = rundel.get<ChangeExtFn>("ChangeExt");
    const auto brindleExt = brindle.get<ChangeExtFn>("ChangeExt");
    const auto rundelName = rundel.get<GetFileNameFn>("GetFileName");
    const auto brindleName = brindle.get<GetFileNameFn>("GetFileName");
    ASSERT_TRUE(rundelExt && brindleExt && rundelName && brindleName);
    ASSERT_NE(reinterpret_cast<void*>(rundelExt), reinterpret_cast<void*>(brindleExt));

    const struct {
        const char* path;
        const char* ext;
        const char* rundel;
        const char* brindle;
    } exts[] = {
        {"report.txt", "csv", "report.csv", "report.csv"},
        {"report.txt", "", "report", "report."},
        {"report", "csv", "csv", ""},
        {"report", "", "", ""},
    };
    for (const auto& c : exts) {
        char out[32];
        EXPECT_EQ(rundelExt(c.path, c.ext, out), 0);
        EXPECT_STREQ(out, c.rundel) << "Rundel: " << c.path << " + " << c.ext;
        EXPECT_EQ(brindleExt(c.path, c.ext, out), 0);
        EXPECT_STREQ(out, c.brindle) << "Brindle: " << c.path << " + " << c.ext;
    }

    const struct {
        const char* path;
        int rundelResult;
        const char* rundelName;
        int brindleResult;
        const char* brindleName;
    } names[] = {
        {"/dir/file.txt", 0, "file.txt", 9, "file.txt"},
        {"/name", 0, "name", 0, "/name"}, // only Rundel looks at the first byte
        {"name", 0, "name", 0, "name"},
        {"/dir/", 0, "", 1, ""},
        {"", -1, "", 0, "untouched"},
    };
    for (const auto& c : names) {
        char out[32] = "untouched";
        EXPECT_EQ(rundelName(c.path, out), c.rundelResult) << "Rundel: " << c.path;
        EXPECT_STREQ(out, c.rundelName) << "Rundel: " << c.path;
        std::strcpy(out, "untouched");
        EXPECT_EQ(brindleName(c.path, out), c.brindleResult) << "Brindle: " << c.path;
        EXPECT_STREQ(out, c.brindleName) << "Brindle: " << c.path;
    }
}

TEST(RundelLibrary, ConversionsThroughTheExports) {
    const Library rundel(RUNDEL_LIBRARY);
    ASSERT_TRUE(rundel.loaded()) << ::dlerror();
    const auto version = rundel.get<int (*)()>("VerString");
    const auto dec = rundel.get<int (*)(const char*, int)>("Dec");
    const auto lstr = rundel.get<void (*)(int, int, char*)>("LStr");
    const auto pack = rundel.get<void (*)(const char*, unsigned char*, int)>("Str2BCD");
    const auto unpack = rundel.get<void (*)(const unsigned char*, char*, int)>("BCD2Str2");
    const auto getTime = rundel.get<void (*)(char*)>("GetTime");
    ASSERT_TRUE(version && dec && lstr && pack && unpack && getTime);

    EXPECT_EQ(version(), 20040329);
    EXPECT_EQ(dec("  1234", 6), 1234);
    char field[12];
    std::memset(field, '#', sizeof field);
    lstr(7, 3, field);
    EXPECT_EQ(std::string(field, 4), "007#");
    unsigned char packed[2];
    pack("203", packed, 3);
    EXPECT_EQ(packed[0], 0x2A);
    EXPECT_EQ(packed[1], 0x30);
    std::memset(field, '#', sizeof field);
    unpack(packed, field, 4);
    EXPECT_EQ(std::string(field, 5), "203 #");
    std::memset(field, '#', sizeof field);
    getTime(field);
    EXPECT_EQ(field[2], ':');
    EXPECT_EQ(field[5], ':');
    EXPECT_EQ(field[8], '#');
}

} // namespace
