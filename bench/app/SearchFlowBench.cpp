// What the window's poll loop costs a search: the same warm folder (DVO_BENCH_TREE, default
// /usr) scanned by the engine alone, waited for with 1 ms sleeps, and through the real window's
// execute flow, which polls without pause and handles events between two polls.
//   QT_QPA_PLATFORM=offscreen build/bench/app/search_flow_bench
#include "app/main/DvoSubEngine.h"
#include "app/qt/QtMainView.h"
#include "platform/Text.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::string Tree() {
    const char* tree = std::getenv("DVO_BENCH_TREE");
    return tree != nullptr && tree[0] != '\0' ? tree : "/usr";
}

QApplication& Application() {
    static int argc = 1;
    static char name[] = "search_flow_bench";
    static char* argv[] = {name, nullptr};
    static auto* application = new QApplication(argc, argv);
    return *application;
}

void EngineAlone(benchmark::State& state) {
    const std::u16string path = platform::Utf8ToUtf16(Tree());
    DVOCreateObj();
    for (auto _ : state) {
        DVOStartFileSearching();
        DVOAddSearchDirectory(path.c_str());
        DVOExecFileSearch(1, 0, 1, 0);
        while (DVOIsSearching() != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    SearchProgress progress{};
    DVOGetCurrentSearchInfo(&progress);
    state.counters["files"] = progress.fileCount;
    DVODestroyObj();
}
BENCHMARK(EngineAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The window's loop without the window: progress fetched without pause, as the flow does.
void EnginePolledWithoutPause(benchmark::State& state) {
    const std::u16string path = platform::Utf8ToUtf16(Tree());
    DVOCreateObj();
    SearchProgress progress{};
    for (auto _ : state) {
        DVOStartFileSearching();
        DVOAddSearchDirectory(path.c_str());
        DVOExecFileSearch(1, 0, 1, 0);
        while (DVOIsSearching() != 0) {
            DVOGetCurrentSearchInfo(&progress);
            std::this_thread::yield();
        }
    }
    DVOGetCurrentSearchInfo(&progress);
    state.counters["files"] = progress.fileCount;
    DVODestroyObj();
}
BENCHMARK(EnginePolledWithoutPause)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void WindowSearchFlow(benchmark::State& state) {
    Application();
    dvo::app::DvoSubEngine engine;
    dvo::qt::QtMainView window(engine);
    const std::string tree = Tree();
    window.SetFolderChooser([tree](const std::string&, const std::string&) { return tree; });
    window.Form().btnAddDirectoryClick();
    window.show();
    for (auto _ : state)
        window.Form().btnExecuteClick();
    state.counters["files"] = window.Form().CurrentSearchProgress().fileCount;
}
BENCHMARK(WindowSearchFlow)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
