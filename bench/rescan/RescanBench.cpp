// One folder of the bench tree (BENCH_TREE, default /tmp/dvo-bench-tree, made by make-tree.py)
// read again with DVORescanFolder, beside a new search of the whole tree; warm cache. The tree has
// hard links, so every rescan also settles which name of each linked file counts.
#include "engine/DVOSUB.h"
#include "platform/Text.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string TreePath() {
    const char* tree = std::getenv("BENCH_TREE");
    return tree != nullptr && tree[0] != '\0' ? tree : "/tmp/dvo-bench-tree";
}

void WaitForEnd() {
    while (DVOIsSearching() != 0)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

bool Search() {
    const std::u16string path = platform::Utf8ToUtf16(TreePath());
    if (DVOStartFileSearching() != 0 || DVOAddSearchDirectory(path.c_str()) != 0 ||
        DVOExecFileSearch(1, 0, 1, 0) != 0)
        return false;
    WaitForEnd();
    return true;
}

long long Entries(const FolderRecord* r) {
    return static_cast<long long>(r->folderCount) + r->fileCount + 1;
}

void BM_FullSearch(benchmark::State& state) {
    DVOCreateObj();
    long long entries = 0;
    for (auto _ : state) {
        if (!Search()) {
            state.SkipWithError("no bench tree: run bench/make-tree.py first");
            break;
        }
    }
    std::vector<FolderRecord*> list(1);
    if (DVOGetFolderInfo(list.data(), 1) == 1)
        entries = Entries(list[0]);
    state.counters["entries"] = static_cast<double>(entries);
    DVODestroyObj();
}

// The folder read again holds about 1/range(0) of the tree's entries.
void BM_RescanFolder(benchmark::State& state) {
    DVOCreateObj();
    if (!Search()) {
        state.SkipWithError("no bench tree: run bench/make-tree.py first");
        DVODestroyObj();
        return;
    }
    std::vector<FolderRecord*> list(static_cast<std::size_t>(DVOGetFolderInfoCount()));
    list.resize(
        static_cast<std::size_t>(DVOGetFolderInfo(list.data(), static_cast<int>(list.size()))));
    const long long wanted = Entries(list[0]) / state.range(0);
    FolderRecord* folder = list[0];
    for (FolderRecord* r : list)
        if (Entries(r) >= wanted && Entries(r) < Entries(folder))
            folder = r;
    for (auto _ : state) {
        if (DVORescanFolder(folder) != 0) {
            state.SkipWithError("rescan refused");
            break;
        }
        WaitForEnd();
    }
    state.counters["entries"] = static_cast<double>(Entries(folder));
    DVODestroyObj();
}

} // namespace

BENCHMARK(BM_FullSearch)->Unit(benchmark::kMillisecond)->Iterations(5);
// Each rescan keeps the records it replaces until the next search: a few rounds only.
BENCHMARK(BM_RescanFolder)
    ->Arg(100)
    ->Arg(10)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

BENCHMARK_MAIN();
