// The result views at the scale of a large disk: tree builds, sorting and the grid fill over a
// synthetic engine, with the real Qt models and widgets attached (offscreen platform).
//   QT_QPA_PLATFORM=offscreen build/bench/bench_views
#include "app/main/TMainForm.h"
#include "app/qt/QtResultView.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeMainView.h"
#include "tests/views/SyntheticEngine.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QSplitter>
#include <QTableView>
#include <QTreeView>
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

namespace {

using dvo::app::ResultViews;

// Folders of 3 subfolders and 7 files, breadth first, until n records exist.
void FillTree(dvo::test::SyntheticEngine& engine, std::size_t n) {
    std::vector<FolderRecord*> folders{engine.AddSearchedFolder("/bench", 0)};
    std::size_t next = 0;
    std::size_t made = 1;
    while (made < n && next < folders.size()) {
        FolderRecord* parent = folders[next++];
        for (int i = 0; i < 10 && made < n; ++i, ++made) {
            const bool folder = i < 3;
            FolderRecord* r =
                engine.Add(parent, (folder ? "dir" : "file") + std::to_string(made), folder ? 0 : 1,
                           static_cast<long long>((made * 7919) % 100000));
            if (folder)
                folders.push_back(r);
        }
    }
}

// A window with the widgets and menu items the result views drive.
struct Window {
    dvo::test::EventLog log;
    dvo::test::FakeMainView mainView{log};
    dvo::test::SyntheticEngine engine;
    dvo::app::TMainForm form{mainView, engine};
    QMainWindow window;
    QSplitter* splitter = new QSplitter(&window);
    QTreeView* tree = new QTreeView(splitter);
    QTableView* grid = new QTableView(splitter);
    std::unique_ptr<dvo::qt::QtResultView> views;

    using Fill = std::function<void(dvo::test::SyntheticEngine&)>;
    Window(std::size_t records, const Fill& fill) : engine(records + 16) {
        for (const char* name :
             {"mnuTreeAtOnce", "mnuTreeProgress", "mnuShowNumberOfFiles", "mnuSortNone",
              "mnuSortSizeUp", "mnuSizeDown", "mnuAlpha", "mnuAlphaDown"}) {
            auto* action = new QAction(&window);
            action->setObjectName(QString::fromLatin1(name));
            action->setCheckable(true);
        }
        window.setCentralWidget(splitter);
        window.resize(1019, 712);
        views = std::make_unique<dvo::qt::QtResultView>(window, form, *tree, *grid, *splitter);
        form.SetResultViews(&views->Results());
        form.FormCreate();
        window.show();
        fill(engine);
    }
    ~Window() {
        form.SetResultViews(nullptr);
        views.reset();
    }
    ResultViews& Results() { return views->Results(); }
    dvo::app::FileCommands& Files() { return views->Files(); }
    void SetMode(bool atOnce) {
        views->SetMenuChecked(dvo::app::MenuCheck::TreeAtOnce, atOnce);
        views->SetMenuChecked(dvo::app::MenuCheck::TreeProgress, !atOnce);
    }
    // What a search start does to the views, then the build after it.
    void Build() {
        engine.DVOStartFileSearching();
        Results().ClearFolderTree();
        Results().ResetRecordCount();
        Results().LoadFolderRecords();
        Results().BuildFolderTree();
    }
    void Report(benchmark::State& state) {
        const auto& t = Results().Tree();
        state.counters["nodes"] = static_cast<double>(t.NodeCount());
        state.counters["tree_bytes_per_node"] =
            t.NodeCount() == 0
                ? 0.0
                : static_cast<double>(t.MemoryBytes()) / static_cast<double>(t.NodeCount());
    }
};

Window::Fill Broad(std::size_t n) {
    return [n](dvo::test::SyntheticEngine& engine) { FillTree(engine, n); };
}

void BuildTree(benchmark::State& state, bool atOnce) {
    Window w(static_cast<std::size_t>(state.range(0)),
             Broad(static_cast<std::size_t>(state.range(0))));
    w.SetMode(atOnce);
    for (auto _ : state)
        w.Build(); // the progressive build includes the first expansion, which loads everything
    w.Report(state);
}

void BM_BuildTreeProgressive(benchmark::State& state) { BuildTree(state, false); }
void BM_BuildTreeAtOnce(benchmark::State& state) { BuildTree(state, true); }

void BM_SortTree(benchmark::State& state) {
    Window w(static_cast<std::size_t>(state.range(0)),
             Broad(static_cast<std::size_t>(state.range(0))));
    w.SetMode(false);
    w.Build();
    int order = ResultViews::kSortSizeAscending;
    for (auto _ : state) {
        w.Results().SortFolderTree(order);
        order = order == ResultViews::kSortSizeAscending ? ResultViews::kSortSizeDescending
                                                         : ResultViews::kSortSizeAscending;
    }
    w.Report(state);
}

void BM_SortTreeByName(benchmark::State& state) {
    Window w(static_cast<std::size_t>(state.range(0)),
             Broad(static_cast<std::size_t>(state.range(0))));
    w.SetMode(false);
    w.Build();
    int order = ResultViews::kSortCaptionAscending;
    for (auto _ : state) {
        w.Results().SortFolderTree(order);
        order = order == ResultViews::kSortCaptionAscending ? ResultViews::kSortCaptionDescending
                                                            : ResultViews::kSortCaptionAscending;
    }
    w.Report(state);
}

void BM_ShowFolderContents(benchmark::State& state) {
    const auto children = static_cast<std::size_t>(state.range(0));
    // One folder holding every entry.
    Window w(children + 1, [children](dvo::test::SyntheticEngine& engine) {
        FolderRecord* top =
            engine.AddSearchedFolder("/wide", static_cast<long long>(children) * 1000);
        for (std::size_t i = 0; i < children; ++i)
            engine.Add(top, "entry" + std::to_string(i), i % 10 == 0 ? 0 : 1,
                       static_cast<long long>(i));
    });
    w.SetMode(false);
    w.Build();
    dvo::app::FolderTreeNode* node = w.Results().Tree().FirstTopLevel();
    for (auto _ : state)
        w.Results().ShowFolderContents(node);
    state.counters["rows"] = w.Results().ShownRowCount();
}

// Expanding every node of a loaded progressive tree of n folders (four subfolders each).
void BM_ExpandAll(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    Window w(n, [n](dvo::test::SyntheticEngine& engine) {
        std::vector<FolderRecord*> folders{engine.AddSearchedFolder("/bench", 0)};
        for (std::size_t next = 0, made = 1; made < n; ++next)
            for (int i = 0; i < 4 && made < n; ++i, ++made)
                folders.push_back(engine.Add(folders[next], "dir" + std::to_string(made), 0, 0));
    });
    w.SetMode(false);
    w.Build();
    for (auto _ : state) {
        state.PauseTiming();
        w.Results().N4Click();
        state.ResumeTiming();
        w.Results().N3Click();
    }
    w.Report(state);
}

// Deleting n marked files of one folder, answered "Yes to all", refill included.
void BM_DeleteMarkedRows(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    Window w(n + 1, [n](dvo::test::SyntheticEngine& engine) {
        FolderRecord* top = engine.AddSearchedFolder("/wide", static_cast<long long>(n));
        for (std::size_t i = 0; i < n; ++i)
            engine.Add(top, "file" + std::to_string(i), 1, 1);
    });
    w.SetMode(false);
    for (auto _ : state) {
        state.PauseTiming();
        w.Build();
        w.Results().ShowFolderContents(w.Results().Tree().FirstTopLevel());
        for (int row = 1; row <= w.Results().ShownRowCount(); ++row)
            w.Results().ToggleRowMark(row);
        w.engine.fileCalls.clear();
        w.mainView.messageBoxAnswers = {dvo::app::MessageResult::YesToAll};
        state.ResumeTiming();
        w.Files().mnuDeleteClick();
    }
    state.counters["deleted"] = static_cast<double>(w.engine.fileCalls.size());
    state.counters["rows_left"] = w.Results().ShownRowCount();
}

} // namespace

BENCHMARK(BM_ExpandAll)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DeleteMarkedRows)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BuildTreeProgressive)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_BuildTreeAtOnce)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_SortTree)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SortTreeByName)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ShowFolderContents)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
