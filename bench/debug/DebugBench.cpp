// The caller's cost of a queued entry while the supervisor is idle, eight threads on eight logs
// keeping every entry with the real supervisor writing once a second, and a direct Log call
// (open, append, close) for comparison.
#include "DLLs/debug/QueuedLogs.h"
#include "DLLs/debug/debug.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A scratch current folder: every file of the library is named relative to it.
struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/debug-bench.XXXXXX";
        dir = ::mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        std::filesystem::current_path(dir);
    }
    ~Scratch() { std::filesystem::remove_all(dir); }
    std::string dir;
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

// Lines of every file in the scratch folder whose name starts with prefix.
long long CountLines(const std::string& prefix) {
    long long lines = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TheScratch().dir)) {
        if (entry.path().filename().string().rfind(prefix, 0) != 0)
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string line;
        while (std::getline(in, line))
            ++lines;
    }
    return lines;
}

// Batches of a full queue (1280 entries) timed by hand; the queue is written between batches,
// with the supervisor held so that it never competes for the log's lock.
void BM_ExtLogOneThreadSupervisorIdle(benchmark::State& state) {
    TheScratch();
    dbg::HoldSupervisor(true);
    dbg::ResetQueuedLogs();
    const int log = ExtLogInit("single.txt");
    int value = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < dbg::kQueueEntries; ++i)
            ExtLog(log, "entry %d of the benchmark, with a path /home/user/data/file.txt", ++value,
                   1);
        const auto end = std::chrono::steady_clock::now();
        const double batch = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(batch);
        seconds += batch;
        dbg::RunSupervisorCycle();
    }
    state.SetItemsProcessed(state.iterations() * dbg::kQueueEntries);
    state.counters["ns_per_entry"] =
        seconds * 1e9 / static_cast<double>(state.iterations() * dbg::kQueueEntries);
    dbg::HoldSupervisor(false);
}
BENCHMARK(BM_ExtLogOneThreadSupervisorIdle)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Eight threads, one log each, as fast as the queues let them; the real supervisor writes once a
// second. Every entry must be in its file afterwards: "lost" counts the missing ones.
void BM_EightThreadsOnEightLogs(benchmark::State& state) {
    TheScratch();
    dbg::HoldSupervisor(false);
    dbg::ResetQueuedLogs();
    const int entries = static_cast<int>(state.range(0));
    long long lost = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (const auto& entry : std::filesystem::directory_iterator(TheScratch().dir))
            if (entry.path().filename().string().rfind("eight", 0) == 0)
                std::filesystem::remove(entry.path());
        dbg::ResetQueuedLogs();
        std::vector<int> logs;
        for (int t = 0; t < 8; ++t)
            logs.push_back(ExtLogInit(("eight" + std::to_string(t) + ".txt").c_str()));
        state.ResumeTiming();

        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < entries; ++i)
                    ExtLog(logs[static_cast<std::size_t>(t)], "thread entry %d", i, 1);
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        // Until the supervisor has written everything.
        for (int log : logs)
            while (dbg::QueuedCount(log) > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));

        state.PauseTiming();
        lost += 8LL * entries - CountLines("eight");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 8 * entries);
    state.counters["lost"] = static_cast<double>(lost);
    if (lost != 0)
        state.SkipWithError("entries were lost");
}
BENCHMARK(BM_EightThreadsOnEightLogs)
    ->Arg(5000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The direct writer: one open, append and close per call.
void BM_LogDirect(benchmark::State& state) {
    TheScratch();
    LogInit("direct.txt");
    int value = 0;
    for (auto _ : state)
        Log("entry %d of the benchmark, with a path /home/user/data/file.txt", ++value, 1);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogDirect);

} // namespace

BENCHMARK_MAIN();
