// A tree of 100 folders with 100 files of 4 KiB each (10,000 files, 40 MiB): copied on the same
// file system and onto /dev/shm (tmpfs, so copy_file_range falls back to reads and writes), and
// removed, each by the platform's code and by cp -a / rm -rf for comparison.
#include "platform/FileCopy.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;

struct Scratch {
    explicit Scratch(const std::string& base) {
        std::string pattern = base + "/dvo-fileops-bench.XXXXXX";
        path = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~Scratch() {
        if (!path.empty())
            std::filesystem::remove_all(path);
    }
    std::string path;
};

void MakeTree(const std::string& root) {
    const std::string content(4096, 'x');
    ::mkdir(root.c_str(), 0755);
    for (int d = 0; d < kFolders; ++d) {
        const std::string folder = root + "/d" + std::to_string(d);
        ::mkdir(folder.c_str(), 0755);
        for (int f = 0; f < kFilesPerFolder; ++f)
            std::ofstream(folder + "/f" + std::to_string(f), std::ios::binary) << content;
    }
}

int Run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

std::string Destination(const benchmark::State& state) {
    return state.range(0) != 0 ? "/dev/shm" : "/tmp";
}

void Count(benchmark::State& state) {
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(kFolders * kFilesPerFolder) *
                                                       static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

void BM_CopyTree(benchmark::State& state) {
    Scratch src("/tmp"), dst(Destination(state));
    MakeTree(src.path + "/tree");
    const int srcFd = ::open(src.path.c_str(), O_RDONLY | O_DIRECTORY);
    const int dstFd = ::open(dst.path.c_str(), O_RDONLY | O_DIRECTORY);
    for (auto _ : state) {
        if (platform::CopyEntryAt(srcFd, "tree", dstFd, "copy") != 0)
            state.SkipWithError("copy failed");
        state.PauseTiming();
        std::filesystem::remove_all(dst.path + "/copy");
        state.ResumeTiming();
    }
    ::close(srcFd);
    ::close(dstFd);
    Count(state);
}

void BM_CopyTreeCpA(benchmark::State& state) {
    Scratch src("/tmp"), dst(Destination(state));
    MakeTree(src.path + "/tree");
    for (auto _ : state) {
        if (Run({"cp", "-a", src.path + "/tree", dst.path + "/copy"}) != 0)
            state.SkipWithError("cp failed");
        state.PauseTiming();
        std::filesystem::remove_all(dst.path + "/copy");
        state.ResumeTiming();
    }
    Count(state);
}

void BM_RemoveTree(benchmark::State& state) {
    Scratch scratch("/tmp");
    MakeTree(scratch.path + "/tree");
    const int fd = ::open(scratch.path.c_str(), O_RDONLY | O_DIRECTORY);
    for (auto _ : state) {
        state.PauseTiming();
        Run({"cp", "-a", scratch.path + "/tree", scratch.path + "/victim"});
        state.ResumeTiming();
        if (state.range(0) == 0) {
            if (platform::RemoveTreeAt(fd, "victim") != 0)
                state.SkipWithError("remove failed");
        } else if (Run({"rm", "-rf", scratch.path + "/victim"}) != 0) {
            state.SkipWithError("rm failed");
        }
    }
    ::close(fd);
    Count(state);
}

} // namespace

// Argument 0: same file system (/tmp), 1: onto /dev/shm.
BENCHMARK(BM_CopyTree)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CopyTreeCpA)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
// Argument 0: RemoveTreeAt, 1: rm -rf.
BENCHMARK(BM_RemoveTree)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

BENCHMARK_MAIN();
