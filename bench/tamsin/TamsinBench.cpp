// The caller's cost of a line in queued mode, and a burst of a million lines closed at once:
// every line must be in the file, in order, when LOGTerm returns.
#include "DLLs/Tamsin/Tamsin.h"
#include "platform/Paths.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A scratch data folder for the logs; the debugger output goes nowhere.
struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/tamsin-bench.XXXXXX";
        dir = ::mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
        ::setenv("LUMETRA_DEBUG_OUTPUT", "/dev/null", 1);
    }
    ~Scratch() { std::filesystem::remove_all(dir); }
    [[nodiscard]] std::string LogFile(const std::string& name) const {
        return dir + "/Lumetra/" + platform::ExecutableBaseName() + "/" + name + ".txt";
    }
    std::string dir;
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

void BM_LOGOutputQueued(benchmark::State& state) {
    TheScratch();
    HLOG h = nullptr;
    LOGInit(&h, 0, 1, 0, 0, 0, "Queued", "DVO", "");
    long long i = 0;
    for (auto _ : state)
        LOGOutput(h, 0, "line %lld of the benchmark, with a path /home/user/data/file.txt", ++i);
    // After the loop: not timed.
    LOGTerm(h);
    std::filesystem::remove(TheScratch().LogFile("Queued"));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LOGOutputQueued);

void BM_BurstThenTerm(benchmark::State& state) {
    TheScratch();
    const long long lines = state.range(0);
    const std::string path = TheScratch().LogFile("Burst");
    for (auto _ : state) {
        std::filesystem::remove(path);
        HLOG h = nullptr;
        LOGInit(&h, 0, 1, 0, 0, 0, "Burst", "DVO", "");
        for (long long i = 0; i < lines; ++i)
            LOGOutput(h, 0, "burst line %lld", i);
        LOGTerm(h);
    }
    // Every line, in order, then the end line.
    std::ifstream in(path);
    std::string line;
    long long next = 0;
    bool ended = false;
    while (std::getline(in, line)) {
        const auto pos = line.find(" :: burst line ");
        if (pos != std::string::npos) {
            if (ended || std::stoll(line.substr(pos + 15)) != next) {
                state.SkipWithError("lines out of order");
                return;
            }
            ++next;
        } else if (line.find(" :: Log Ended ") != std::string::npos) {
            ended = true;
        }
    }
    if (next != lines || !ended)
        state.SkipWithError("lines missing from the file");
    state.counters["lines_in_file"] = static_cast<double>(next);
    std::filesystem::remove(path);
}
BENCHMARK(BM_BurstThenTerm)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
