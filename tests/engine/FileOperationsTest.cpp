#include "engine/FileOperations.h"
#include "engine/DVOSUB.h"

#include "tests/support/FileTree.h"
#include "tests/support/ScopedEnv.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <mutex>
#include <regex>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace testing_support;

namespace {

const std::string kNotUtf8 = "r\xE9sum\xE9 \xFF.txt";

dvo::EntryIdentity Seen(const std::string& path) {
    const struct stat st = Lstat(path);
    return {st.st_dev, st.st_ino, st.st_mode & S_IFMT};
}

std::string Realpath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    std::string out = real != nullptr ? real : "";
    std::free(real);
    return out;
}

// Percent-encoding as the freedesktop.org trash rules want it for the Path= key.
std::string Encoded(const std::string& bytes) {
    std::string out;
    for (const unsigned char c : bytes) {
        if (std::isalnum(c) || std::strchr("-_.~/", c) != nullptr) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// Each test gets its own tree and its own XDG_DATA_HOME on the same file system, so the home
// trash used is a temporary one.
class FileOperations : public ::testing::Test {
protected:
    TempFolder tmp;
    std::string data = tmp / "data";
    ScopedEnv dataHome{"XDG_DATA_HOME", data.c_str()};
    std::string trash = data + "/Trash";
    std::string tree = tmp / "tree";

    void SetUp() override {
        ::mkdir(tree.c_str(), 0755);
        ::mkdir(data.c_str(), 0700);
    }
};

TEST_F(FileOperations, TrashWritesInfoFirstAndKeepsNamesThatAreNotUtf8) {
    WriteFile(tree + "/" + kNotUtf8, "one");
    ::mkdir((tree + "/folder").c_str(), 0755);
    WriteFile(tree + "/folder/inner", "inner");

    for (const std::string& name : {kNotUtf8, std::string("folder")}) {
        SCOPED_TRACE(name);
        const auto result = dvo::TrashEntry(tree, name, Seen(tree + "/" + name));
        ASSERT_EQ(result.code, DVO_OK) << result.message;
        EXPECT_FALSE(Exists(tree + "/" + name));
        EXPECT_TRUE(Exists(trash + "/files/" + name));
        const std::string info = ReadFile(trash + "/info/" + name + ".trashinfo");
        const std::regex form("\\[Trash Info\\]\nPath=(.*)\nDeletionDate="
                              "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
        std::smatch m;
        ASSERT_TRUE(std::regex_match(info, m, form)) << info;
        EXPECT_EQ(m[1].str(), Encoded(Realpath(tree) + "/" + name));
    }
    EXPECT_EQ(ReadFile(trash + "/files/folder/inner"), "inner");

    // The same name again gets a name of its own in the trash; nothing there is replaced.
    WriteFile(tree + "/" + kNotUtf8, "two");
    ASSERT_EQ(dvo::TrashEntry(tree, kNotUtf8, Seen(tree + "/" + kNotUtf8)).code, DVO_OK);
    EXPECT_EQ(ReadFile(trash + "/files/" + kNotUtf8), "one");
    EXPECT_EQ(ReadFile(trash + "/files/" + kNotUtf8 + ".2"), "two");
    EXPECT_TRUE(Exists(trash + "/info/" + kNotUtf8 + ".2.trashinfo"));
}

// Long names are cut to fit the trash's 255-byte limit: never to nothing, never inside a UTF-8
// character, and a second entry cut to the same text still gets a name of its own.
TEST_F(FileOperations, LongNamesGetAValidTrashName) {
    std::string continuation; // not UTF-8 at all: every byte looks like the middle of a character
    for (int i = 0; i < 255; ++i)
        continuation += static_cast<char>(0x80 + i % 0x40);
    std::string accents = "a"; // a cut at 245 bytes would split an "é"
    while (accents.size() + 2 <= 255)
        accents += "\xC3\xA9";
    for (const std::string& name : {continuation, accents}) {
        SCOPED_TRACE(name.size());
        for (int copy = 0; copy < 2; ++copy) {
            WriteFile(tree + "/" + name, std::to_string(copy));
            const auto result = dvo::TrashEntry(tree, name, Seen(tree + "/" + name));
            ASSERT_EQ(result.code, DVO_OK) << result.message;
            EXPECT_FALSE(Exists(tree + "/" + name));
        }
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(trash + "/files"))
            names.push_back(e.path().filename().string());
        ASSERT_EQ(names.size(), 2u);
        for (const std::string& n : names) {
            EXPECT_GE(n.size(), 200u);
            EXPECT_LE(n.size() + std::strlen(".trashinfo"), 255u);
            EXPECT_TRUE(Exists(trash + "/info/" + n + ".trashinfo"));
            for (std::size_t i = 0; name == accents && i < n.size(); ++i) {
                if (n[i] == '\xC3') {
                    EXPECT_TRUE(i + 1 < n.size() && n[i + 1] == '\xA9') << "split at " << i;
                }
            }
        }
        std::filesystem::remove_all(trash + "/files");
        std::filesystem::remove_all(trash + "/info");
    }
}

// When the home trash cannot be used, the entry stays; no trash is made elsewhere instead.
TEST_F(FileOperations, UnusableHomeTrashDeletesNothing) {
    WriteFile(trash, "a file where the trash folder belongs");
    WriteFile(tree + "/f", "x");
    const auto result = dvo::TrashEntry(tree, "f", Seen(tree + "/f"));
    EXPECT_EQ(result.code, DVO_E_NO_TRASH);
    EXPECT_NE(result.message.find(trash), std::string::npos) << result.message;
    EXPECT_EQ(ReadFile(tree + "/f"), "x");
}

// With no data folder at all (no usable XDG_DATA_HOME or HOME) nothing goes to any trash: a
// trash made at the top of the entry's file system could be the top of the home file system.
TEST_F(FileOperations, NoDataFolderMeansNoTrash) {
    TempFolder mnt;
    std::string reason;
    if (!mnt.MountTmpfs(mnt.path(), "size=1m", &reason))
        GTEST_SKIP() << reason;
    WriteFile(tmp / "not-a-folder", "x");
    ScopedEnv noDataHome("XDG_DATA_HOME", nullptr);
    ScopedEnv home("HOME", (tmp / "not-a-folder").c_str());
    WriteFile(mnt / "file", "kept");
    const auto result = dvo::TrashEntry(mnt.path(), "file", Seen(mnt / "file"));
    EXPECT_EQ(result.code, DVO_E_NO_TRASH);
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(ReadFile(mnt / "file"), "kept");
    EXPECT_FALSE(Exists(mnt / (".Trash-" + std::to_string(::geteuid()))));
    EXPECT_FALSE(Exists(mnt / ".Trash"));
}

// Entries on another file system go to the trash at its top, or nowhere.
TEST_F(FileOperations, TrashAtTheTopOfAnotherFileSystem) {
    struct Case {
        const char* what;
        std::function<void(const std::string& top)> prepare;
        const char* usedTrash; // below the mount; null: no usable trash
    };
    const std::string uid = std::to_string(::geteuid());
    const Case cases[] = {
        {"nothing there yet", [](const std::string&) {}, ".Trash-"},
        {"shared sticky .Trash",
         [](const std::string& top) {
             ::mkdir((top + "/.Trash").c_str(), 01777);
             ::chmod((top + "/.Trash").c_str(), 01777);
         },
         ".Trash/"},
        {"shared .Trash without the sticky bit",
         [](const std::string& top) { ::mkdir((top + "/.Trash").c_str(), 0777); }, ".Trash-"},
        {"shared .Trash is a link",
         [](const std::string& top) {
             ::mkdir((top + "/elsewhere").c_str(), 01777);
             ::chmod((top + "/elsewhere").c_str(), 01777);
             ::symlink("elsewhere", (top + "/.Trash").c_str());
         },
         ".Trash-"},
        {"no usable trash",
         [uid](const std::string& top) { WriteFile(top + "/.Trash-" + uid, "not a folder"); },
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder mnt;
        std::string reason;
        if (!mnt.MountTmpfs(mnt.path(), "size=1m", &reason))
            GTEST_SKIP() << reason;
        c.prepare(mnt.path());
        ::mkdir((mnt / "sub").c_str(), 0755);
        WriteFile(mnt / "sub/file", "x");
        const auto result = dvo::TrashEntry(mnt / "sub", "file", Seen(mnt / "sub/file"));
        if (c.usedTrash == nullptr) {
            EXPECT_EQ(result.code, DVO_E_NO_TRASH);
            EXPECT_FALSE(result.message.empty());
            EXPECT_EQ(ReadFile(mnt / "sub/file"), "x");
            continue;
        }
        ASSERT_EQ(result.code, DVO_OK) << result.message;
        const std::string used = mnt / (std::string(c.usedTrash) + uid);
        EXPECT_EQ(ReadFile(used + "/files/file"), "x");
        EXPECT_NE(ReadFile(used + "/info/file.trashinfo").find("\nPath=sub/file\n"),
                  std::string::npos);
        EXPECT_FALSE(Exists(mnt / "elsewhere/" + uid));
        EXPECT_FALSE(Exists(trash + "/files/file"));
    }
}

// An entry replaced since the search (a folder swapped for a link to an outside folder) is
// refused by every operation, and nothing is touched on either side of the link.
TEST_F(FileOperations, RefusesAnEntryReplacedSinceTheSearch) {
    const std::string dest = tmp / "dest";
    const std::string outside = tmp / "outside";
    ::mkdir(dest.c_str(), 0755);
    ::mkdir(outside.c_str(), 0755);
    WriteFile(outside + "/keep", "keep");
    ::mkdir((tree + "/victim").c_str(), 0755);
    const auto seen = Seen(tree + "/victim");
    ::rmdir((tree + "/victim").c_str());
    ::symlink(outside.c_str(), (tree + "/victim").c_str());

    const std::pair<const char*, std::function<dvo::OpResult()>> operations[] = {
        {"trash", [&] { return dvo::TrashEntry(tree, "victim", seen); }},
        {"delete", [&] { return dvo::DeleteEntryPermanently(tree, "victim", seen); }},
        {"copy", [&] { return dvo::CopyEntry(tree, "victim", seen, dest); }},
        {"move", [&] { return dvo::MoveEntry(tree, "victim", seen, dest); }},
    };
    for (const auto& [what, operation] : operations) {
        SCOPED_TRACE(what);
        const auto result = operation();
        EXPECT_EQ(result.code, DVO_E_CHANGED);
        EXPECT_NE(result.message.find("victim"), std::string::npos) << result.message;
        EXPECT_EQ(LinkTarget(tree + "/victim"), outside);
        EXPECT_EQ(ReadFile(outside + "/keep"), "keep");
        EXPECT_FALSE(Exists(dest + "/victim"));
        EXPECT_FALSE(Exists(trash + "/files/victim"));
    }
}

// ext4 hands a freed inode number to the next new file, so device, inode and type can match an
// entry made after the search: its birth (or change) time gives it away.
TEST_F(FileOperations, RefusesAnEntryBornAfterTheSearchUnderTheSameNumber) {
    const std::string dest = tmp / "dest";
    ::mkdir(dest.c_str(), 0755);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t searchStart = std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // file times lag by a tick
    WriteFile(tree + "/report.txt", "new");
    ::mkdir((tree + "/build").c_str(), 0755);

    for (const char* name : {"report.txt", "build"}) {
        dvo::EntryIdentity seen = Seen(tree + "/" + name);
        seen.searchStartNs = searchStart;
        const std::pair<const char*, std::function<dvo::OpResult()>> operations[] = {
            {"trash", [&] { return dvo::TrashEntry(tree, name, seen); }},
            {"delete", [&] { return dvo::DeleteEntryPermanently(tree, name, seen); }},
            {"copy", [&] { return dvo::CopyEntry(tree, name, seen, dest); }},
            {"move", [&] { return dvo::MoveEntry(tree, name, seen, dest); }},
        };
        for (const auto& [what, operation] : operations) {
            SCOPED_TRACE(std::string(name) + " " + what);
            EXPECT_EQ(operation().code, DVO_E_CHANGED);
            EXPECT_TRUE(Exists(tree + "/" + name));
            EXPECT_FALSE(Exists(dest + "/" + name));
        }
        // Seen before it was made again (a search started later), it is acted on.
        seen.searchStartNs = searchStart + 3'600'000'000'000;
        EXPECT_EQ(dvo::CopyEntry(tree, name, seen, dest).code, DVO_OK);
    }
}

TEST_F(FileOperations, RefusesNamesThatAreNotOneEntry) {
    WriteFile(tree + "/a", "a");
    const auto seen = Seen(tree);
    for (const char* name : {"", ".", "..", "a/..", "../tree", "/"}) {
        SCOPED_TRACE(std::string("name \"") + name + "\"");
        EXPECT_EQ(dvo::TrashEntry(tmp.path(), name, seen).code, DVO_E_INVALID_ARGUMENT);
        EXPECT_EQ(dvo::DeleteEntryPermanently(tmp.path(), name, seen).code, DVO_E_INVALID_ARGUMENT);
        EXPECT_EQ(dvo::CopyEntry(tmp.path(), name, seen, tree).code, DVO_E_INVALID_ARGUMENT);
        EXPECT_EQ(dvo::MoveEntry(tmp.path(), name, seen, tree).code, DVO_E_INVALID_ARGUMENT);
        EXPECT_EQ(dvo::ShellExecuteEntry(tmp.path(), name, 2).code, DVO_E_INVALID_ARGUMENT);
    }
    EXPECT_EQ(ReadFile(tree + "/a"), "a");
}

TEST_F(FileOperations, PermanentRemovalStaysOnTheEntrysFileSystem) {
    ::mkdir((tree + "/big").c_str(), 0755);
    WriteFile(tree + "/big/file", "x");
    ::mkdir((tmp / "outside").c_str(), 0755);
    WriteFile(tmp / "outside/keep", "keep");
    ::symlink((tmp / "outside").c_str(), (tree + "/big/link").c_str());
    ::mkdir((tree + "/big/mnt").c_str(), 0755);
    std::string reason;
    if (!tmp.MountTmpfs(tree + "/big/mnt", "size=1m", &reason))
        GTEST_SKIP() << reason;
    WriteFile(tree + "/big/mnt/other-fs", "keep");

    // The mount point itself is never removed; a folder holding one loses all but it.
    EXPECT_EQ(dvo::DeleteEntryPermanently(tree + "/big", "mnt", Seen(tree + "/big/mnt")).code,
              DVO_E_MOUNT_POINT);
    const auto result = dvo::DeleteEntryPermanently(tree, "big", Seen(tree + "/big"));
    EXPECT_EQ(result.code, DVO_E_MOUNT_POINT);
    EXPECT_NE(result.message.find("big/mnt"), std::string::npos) << result.message;
    EXPECT_EQ(ReadFile(tree + "/big/mnt/other-fs"), "keep");
    EXPECT_FALSE(Exists(tree + "/big/file"));
    EXPECT_FALSE(Exists(tree + "/big/link"));
    EXPECT_EQ(ReadFile(tmp / "outside/keep"), "keep");
    // Nor does the trash take a mount point.
    EXPECT_EQ(dvo::TrashEntry(tree + "/big", "mnt", Seen(tree + "/big/mnt")).code,
              DVO_E_MOUNT_POINT);
}

TEST_F(FileOperations, CopyAndMoveNeverOverwrite) {
    const std::string dest = tmp / "dest";
    ::mkdir(dest.c_str(), 0755);
    WriteFile(tree + "/f", "new");
    WriteFile(dest + "/f", "old");
    const auto seen = Seen(tree + "/f");
    for (const auto& result :
         {dvo::CopyEntry(tree, "f", seen, dest), dvo::MoveEntry(tree, "f", seen, dest)}) {
        EXPECT_EQ(result.code, DVO_E_EXISTS);
        EXPECT_NE(result.message.find(dest + "/f"), std::string::npos) << result.message;
    }
    EXPECT_EQ(ReadFile(dest + "/f"), "old");
    EXPECT_EQ(ReadFile(tree + "/f"), "new");
    EXPECT_EQ(dvo::CopyEntry(tree, "f", seen, dest + "/f").code, DVO_E_NOT_A_FOLDER);
    EXPECT_EQ(dvo::MoveEntry(tree, "f", seen, tmp / "missing").code, DVO_E_NOT_A_FOLDER);
    EXPECT_EQ(dvo::CopyEntry(tree, "gone", seen, dest).code, DVO_E_NOT_FOUND);

    ASSERT_EQ(dvo::CopyEntry(tree, "f", seen, tmp.path()).code, DVO_OK);
    EXPECT_EQ(ReadFile(tmp / "f"), "new");
    ASSERT_EQ(dvo::MoveEntry(tree, "f", seen, tmp / "data").code, DVO_OK);
    EXPECT_FALSE(Exists(tree + "/f"));
}

// A move to another file system that cannot be written keeps the source whole.
TEST_F(FileOperations, FailedMoveAcrossFileSystemsKeepsTheSource) {
    TempFolder shm("/dev/shm");
    if (shm.path().empty() || Lstat(shm.path()).st_dev == Lstat(tree).st_dev)
        GTEST_SKIP() << "no /dev/shm on another file system";
    std::string reason;
    if (!shm.MakeUnwritableFolder(shm / "ro", &reason))
        GTEST_SKIP() << reason;
    ::mkdir((tree + "/folder").c_str(), 0755);
    WriteFile(tree + "/folder/a", "a");
    const auto result = dvo::MoveEntry(tree, "folder", Seen(tree + "/folder"), shm / "ro");
    EXPECT_EQ(result.code, DVO_E_ACCESS) << result.message;
    EXPECT_EQ(ReadFile(tree + "/folder/a"), "a");
    EXPECT_FALSE(Exists(shm / "ro/folder"));
}

// A move to a file system that cannot hold the file's extended attribute says which one and
// keeps the source; a copy there goes on without it.
TEST_F(FileOperations, MoveNamesTheAttributeItCannotKeep) {
    const std::string mnt = tmp / "mnt";
    ::mkdir(mnt.c_str(), 0755);
    std::string reason;
    if (!tmp.Mount("dvo-test", mnt, "ramfs", 0, nullptr, &reason))
        GTEST_SKIP() << reason;
    WriteFile(tree + "/f", "data");
    if (::setxattr((tree + "/f").c_str(), "user.origin", "scan", 4, 0) != 0)
        GTEST_SKIP() << "no user extended attributes here";
    const auto seen = Seen(tree + "/f");
    const auto moved = dvo::MoveEntry(tree, "f", seen, mnt);
    EXPECT_EQ(moved.code, DVO_E_IO);
    EXPECT_NE(moved.message.find("user.origin"), std::string::npos) << moved.message;
    EXPECT_NE(moved.message.find(tree + "/f"), std::string::npos) << moved.message;
    EXPECT_EQ(ReadFile(tree + "/f"), "data");
    EXPECT_FALSE(Exists(mnt + "/f"));
    EXPECT_EQ(dvo::CopyEntry(tree, "f", seen, mnt).code, DVO_OK);
    EXPECT_EQ(ReadFile(mnt + "/f"), "data");
}

// Shell actions run programs found on PATH with the path as one argument, never through a shell.
class ShellActions : public FileOperations {
protected:
    std::string bin = tmp / "bin";
    std::string out = tmp / "out";
    ScopedEnv path{"PATH", bin.c_str()};
    ScopedEnv outEnv{"DVO_FAKE_OUT", out.c_str()};
    ScopedEnv noBus{"DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + tmp / "no-bus").c_str()};

    void SetUp() override {
        FileOperations::SetUp();
        ::mkdir(bin.c_str(), 0755);
        ::mkdir(out.c_str(), 0755);
    }
    // A stand-in that writes its arguments, each followed by a NUL, to out/<program>.
    void FakeProgram(const std::string& name) {
        WriteFile(bin + "/" + name,
                  "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$DVO_FAKE_OUT/.$$\"\n"
                  "/bin/mv \"$DVO_FAKE_OUT/.$$\" \"$DVO_FAKE_OUT/" +
                      name + "\"\n",
                  0755);
    }
    // The arguments the stand-in got; the child runs on its own, so wait for its file.
    std::vector<std::string> ArgumentsOf(const std::string& name) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!Exists(out + "/" + name) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::vector<std::string> args;
        const std::string all = ReadFile(out + "/" + name);
        for (std::size_t start = 0, end; (end = all.find('\0', start)) != std::string::npos;
             start = end + 1)
            args.push_back(all.substr(start, end - start));
        ::unlink((out + "/" + name).c_str());
        return args;
    }
};

TEST_F(ShellActions, StartProgramsWithoutAShell) {
    const std::string name = "it's $(touch pwned) \"a\" " + kNotUtf8;
    WriteFile(tree + "/" + name, "x");
    FakeProgram("xdg-open");
    FakeProgram("lp");
    struct Case {
        int op;
        const char* program;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {2, "xdg-open", {tree + "/" + name}},
        {3, "lp", {"--", tree + "/" + name}},
        {0, "xdg-open", {tree}}, // no file manager on the bus: the folder opens
        {4, "xdg-open", {tree}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.op);
        const auto result = dvo::ShellExecuteEntry(tree, name, c.op);
        ASSERT_EQ(result.code, DVO_OK) << result.message;
        EXPECT_EQ(ArgumentsOf(c.program), c.args);
    }
    EXPECT_FALSE(Exists(tree + "/pwned"));
    EXPECT_FALSE(Exists(bin + "/pwned"));
}

// A session bus that takes the connection and then never answers: the file manager is given up
// after a few seconds and the folder opens instead.
TEST_F(ShellActions, SilentBusIsGivenUpAndTheFolderOpens) {
    WriteFile(tree + "/file", "x");
    FakeProgram("xdg-open");
    const std::string socketPath = tmp / "silent-bus";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0); // connections complete in the backlog, nobody talks
    ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socketPath).c_str());
    const auto start = std::chrono::steady_clock::now();
    const auto result = dvo::ShellExecuteEntry(tree, "file", 0);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(result.code, DVO_OK) << result.message;
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_EQ(ArgumentsOf("xdg-open"), std::vector<std::string>{tree});
    ::close(listener);
}

TEST_F(ShellActions, ReportWhatCannotBeDone) {
    WriteFile(tree + "/file", "x");
    struct Case {
        const char* what;
        std::string name;
        int op;
        int code;
    };
    const Case cases[] = {
        {"print without lp", "file", 3, DVO_E_UNSUPPORTED},
        {"open without xdg-open", "file", 2, DVO_E_UNSUPPORTED},
        {"print a folder", "", 3, DVO_E_UNSUPPORTED},
        {"missing entry", "gone", 2, DVO_E_NOT_FOUND},
        {"op 1", "file", 1, DVO_E_INVALID_ARGUMENT},
        {"op 5", "file", 5, DVO_E_INVALID_ARGUMENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = c.name.empty() ? dvo::ShellExecuteEntry(tmp.path(), "tree", c.op)
                                           : dvo::ShellExecuteEntry(tree, c.name, c.op);
        EXPECT_EQ(result.code, c.code);
        EXPECT_FALSE(result.message.empty());
    }
}

// A private session bus (its own dbus-daemon) on which a stand-in file manager records the
// calls it gets.
class FakeFileManager {
public:
    FakeFileManager(const std::string& folder) : m_address("unix:path=" + folder + "/bus") {
        const std::string addressArg = "--address=" + m_address;
        const char* argv[] = {"dbus-daemon", "--session", "--nofork", addressArg.c_str(), nullptr};
        posix_spawn_file_actions_t quiet;
        ::posix_spawn_file_actions_init(&quiet);
        ::posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        // By its full name: the tests' PATH holds only stand-ins.
        const int spawned = ::posix_spawn(&m_daemon, "/usr/bin/dbus-daemon", &quiet, nullptr,
                                          const_cast<char**>(argv), environ);
        ::posix_spawn_file_actions_destroy(&quiet);
        if (spawned != 0) {
            m_daemon = 0;
            return;
        }
        for (int i = 0; i < 2000 && !Exists(folder + "/bus"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_thread = std::thread([this] { Serve(); });
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return m_state != 0; });
    }
    ~FakeFileManager() {
        {
            std::lock_guard lock(m_mutex);
            if (m_loop != nullptr)
                g_main_loop_quit(m_loop);
        }
        // The daemon goes first: a stand-in still waiting for it then gives up instead of
        // keeping the test from ending.
        if (m_daemon > 0)
            ::kill(m_daemon, SIGTERM);
        if (m_thread.joinable())
            m_thread.join();
        if (m_daemon > 0)
            ::waitpid(m_daemon, nullptr, 0);
    }
    [[nodiscard]] bool ready() const { return m_state == 1; }
    [[nodiscard]] const std::string& address() const { return m_address; }

    // "Method uri1 uri2 ... | startup id" of the next call, or empty when none came.
    std::string NextCall() {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return !m_calls.empty(); });
        if (m_calls.empty())
            return {};
        std::string call = m_calls.front();
        m_calls.erase(m_calls.begin());
        return call;
    }

private:
    static constexpr const char* kXml = "<node><interface name='org.freedesktop.FileManager1'>"
                                        "<method name='ShowItems'><arg type='as' "
                                        "direction='in'/><arg type='s' direction='in'/></method>"
                                        "<method name='ShowItemProperties'><arg type='as' "
                                        "direction='in'/><arg type='s' direction='in'/></method>"
                                        "</interface></node>";

    void Serve() {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
            m_address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kXml, nullptr);
        static const GDBusInterfaceVTable vtable = {&FakeFileManager::OnCall, nullptr, nullptr, {}};
        GVariant* reply = nullptr;
        if (bus != nullptr && node != nullptr &&
            g_dbus_connection_register_object(bus, "/org/freedesktop/FileManager1",
                                              node->interfaces[0], &vtable, this, nullptr,
                                              nullptr) != 0)
            reply = g_dbus_connection_call_sync(
                bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "RequestName", g_variant_new("(su)", "org.freedesktop.FileManager1", 4u),
                G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, nullptr);
        {
            std::lock_guard lock(m_mutex);
            m_state = reply != nullptr ? 1 : -1;
            m_loop = g_main_loop_new(context, FALSE);
        }
        m_changed.notify_all();
        if (reply != nullptr) {
            g_variant_unref(reply);
            g_main_loop_run(m_loop);
        }
        if (bus != nullptr) {
            g_dbus_connection_close_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
        if (node != nullptr)
            g_dbus_node_info_unref(node);
        g_main_loop_unref(m_loop);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    static void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                       const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                       gpointer self) {
        auto* fake = static_cast<FakeFileManager*>(self);
        std::string call = method;
        GVariantIter* uris = nullptr;
        const gchar* startup = nullptr;
        g_variant_get(parameters, "(as&s)", &uris, &startup);
        const gchar* uri = nullptr;
        while (g_variant_iter_next(uris, "&s", &uri))
            call += std::string(" ") + uri;
        call += std::string(" | ") + startup;
        g_variant_iter_free(uris);
        g_dbus_method_invocation_return_value(invocation, nullptr);
        {
            std::lock_guard lock(fake->m_mutex);
            fake->m_calls.push_back(call);
        }
        fake->m_changed.notify_all();
    }

    std::string m_address;
    pid_t m_daemon = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_state = 0; // 1 serving, -1 failed
    GMainLoop* m_loop = nullptr;
    std::vector<std::string> m_calls;
};

TEST_F(ShellActions, AskTheFileManagerOverDBus) {
    WriteFile(tree + "/" + kNotUtf8, "x");
    FakeFileManager manager(tmp.path());
    if (!manager.ready())
        GTEST_SKIP() << "no private D-Bus session bus (dbus-daemon) here";
    ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", manager.address().c_str());
    FakeProgram("xdg-open");
    const std::string uri = "file://" + Encoded(tree + "/" + kNotUtf8);
    ASSERT_EQ(dvo::ShellExecuteEntry(tree, kNotUtf8, 0).code, DVO_OK);
    EXPECT_EQ(manager.NextCall(), "ShowItems " + uri + " | ");
    ASSERT_EQ(dvo::ShellExecuteEntry(tree, kNotUtf8, 4).code, DVO_OK);
    EXPECT_EQ(manager.NextCall(), "ShowItemProperties " + uri + " | ");
    EXPECT_FALSE(Exists(out + "/xdg-open")); // no fallback when the file manager is there
}

} // namespace
