// The treemap at the scale of a large disk: the squarified layout of a million entries, the
// window's whole relayout from the folder tree (walk, sizes, layout) with its memory per laid-out
// rectangle, and the cushion drawing of a 1920 x 1080 map.
//   build/bench/bench_treemap
#include "app/main/TMainForm.h"
#include "app/views/ResultViews.h"
#include "app/views/TTreemapForm.h"
#include "app/views/TreemapLayout.h"
#include "app/views/TreemapRenderer.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeMainView.h"
#include "tests/views/FakeResultView.h"
#include "tests/views/SyntheticEngine.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using dvo::app::TreemapRect;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Folders of 3 subfolders and 7 files, breadth first, as a pre-order list of sizes and ends.
struct SizeTree {
    std::vector<double> weights;
    std::vector<std::uint32_t> ends;
};

SizeTree MakeSizeTree(std::size_t n) {
    // Children lists first (breadth first), then a pre-order numbering.
    std::vector<std::vector<std::uint32_t>> children(1);
    std::vector<double> size(1, 0);
    std::mt19937_64 random(7);
    std::lognormal_distribution<double> spread(9, 2.5);
    std::size_t next = 0;
    while (size.size() < n && next < children.size()) {
        const std::size_t parent = next++;
        for (int i = 0; i < 10 && size.size() < n; ++i) {
            const auto id = static_cast<std::uint32_t>(size.size());
            children[parent].push_back(id);
            children.emplace_back();
            size.push_back(i < 3 ? 0 : std::floor(spread(random)));
        }
    }
    SizeTree t;
    t.weights.resize(size.size());
    t.ends.resize(size.size());
    std::vector<std::uint32_t> order; // pre-order position of each node
    order.resize(size.size());
    struct Open {
        std::uint32_t node;
        std::size_t next;
    };
    std::vector<Open> open{{0, 0}};
    std::uint32_t position = 0;
    order[0] = position++;
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next < children[top.node].size()) {
            const std::uint32_t c = children[top.node][top.next++];
            order[c] = position++;
            open.push_back({c, 0});
            continue;
        }
        const std::uint32_t done = top.node;
        open.pop_back();
        t.ends[order[done]] = position;
        double w = size[done];
        for (std::uint32_t c : children[done])
            w += t.weights[order[c]];
        t.weights[order[done]] = w;
    }
    return t;
}

void BM_LayoutTree(benchmark::State& state) {
    const SizeTree t = MakeSizeTree(static_cast<std::size_t>(state.range(0)));
    std::vector<TreemapRect> rects(t.weights.size());
    for (auto _ : state) {
        dvo::app::LayoutTree(t.weights, t.ends, {0, 0, kWidth, kHeight}, rects);
        benchmark::DoNotOptimize(rects.data());
    }
    state.counters["entries"] = static_cast<double>(t.weights.size());
}

void BM_RenderTreemap(benchmark::State& state) {
    const SizeTree t = MakeSizeTree(static_cast<std::size_t>(state.range(0)));
    dvo::app::TreemapGeometry map;
    map.rects.resize(t.weights.size());
    map.ends = t.ends;
    map.groups.resize(t.weights.size());
    for (std::size_t i = 0; i < map.groups.size(); ++i)
        map.groups[i] = static_cast<dvo::app::FileGroup>(i % dvo::app::kFileGroups.size());
    dvo::app::LayoutTree(t.weights, t.ends, {0, 0, kWidth, kHeight}, map.rects);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
    for (auto _ : state) {
        dvo::app::RenderTreemap(map, pixels.data(), kWidth, kHeight, kWidth);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.counters["entries"] = static_cast<double>(map.Size());
}

// A map view that keeps the size of a full-HD map area and draws nothing.
class SizedView final : public dvo::app::ITreemapView {
public:
    void ShowWindow() override {}
    void HideWindow() override {}
    void SetMenuChecked(bool) override {}
    int MapWidth() const override { return kWidth; }
    int MapHeight() const override { return kHeight; }
    void ShowMap(const dvo::app::TreemapGeometry&) override {}
    void ShowMessageLine(const std::string&) override {}
    void SetOutline(const std::optional<dvo::app::TreemapPixelRect>&) override {}
    void SetKindOutlines(const std::vector<dvo::app::TreemapPixelRect>&) override {}
    void SetStatusText(const std::string&) override {}
    void SetUpEnabled(bool) override {}
};

// The window's relayout from a searched tree: walk the nodes, sum the sizes, lay out.
void BM_TreemapWindowRelayout(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    dvo::test::EventLog log;
    dvo::test::FakeMainView mainView{log};
    dvo::test::SyntheticEngine engine(n + 16);
    dvo::app::TMainForm form{mainView, engine};
    dvo::test::FakeResultView resultView;
    dvo::app::ResultViews results{form, engine, resultView};
    resultView.results = &results;
    form.SetResultViews(&results);
    std::vector<FolderRecord*> folders{engine.AddSearchedFolder("/bench", 0)};
    const char* names[] = {"a.jpg", "b.mp4", "c.mp3", "d.zip", "e.pdf", "f.cpp", "g.so"};
    std::size_t next = 0, made = 1;
    while (made < n && next < folders.size()) {
        FolderRecord* parent = folders[next++];
        for (int i = 0; i < 10 && made < n; ++i, ++made) {
            const bool folder = i < 3;
            FolderRecord* r = engine.Add(parent, folder ? "dir" : names[i - 3], folder ? 0 : 1,
                                         static_cast<long long>((made * 7919) % 100000));
            if (folder)
                folders.push_back(r);
        }
    }
    engine.DVOStartFileSearching();
    results.LoadFolderRecords();
    results.BuildFolderTree();
    SizedView view;
    dvo::app::TTreemapForm treemap{form, results, view};
    results.AddWatcher(&treemap);
    treemap.TreeBuilt();
    treemap.mnuTreemapClick(true);
    for (auto _ : state)
        treemap.FileOperationEnded(); // lays the map out again from the tree, as after a delete
    const double rects = static_cast<double>(treemap.Nodes().size());
    state.counters["rectangles"] = rects;
    state.counters["bytes_per_rect"] = static_cast<double>(treemap.MemoryBytes()) / rects;
    // With the window's cached picture of the full-HD map counted too.
    state.counters["bytes_per_rect_with_picture"] =
        (static_cast<double>(treemap.MemoryBytes()) + 4.0 * kWidth * kHeight) / rects;
    results.RemoveWatcher(&treemap);
}

} // namespace

BENCHMARK(BM_LayoutTree)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RenderTreemap)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_TreemapWindowRelayout)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
