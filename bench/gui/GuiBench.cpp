// The real window at a large tree: searches DVO_BENCH_TREE through the window's own execute flow
// and prints how long the GUI thread is busy after the engine's end of search, what sorting the
// fully expanded tree and expanding it cost, the longest single stall of the event loop in each
// step (a 5 ms heartbeat timer: the widest gap between two of its ticks), and resident memory.
//   QT_QPA_PLATFORM=offscreen build/bench/gui/bench_gui [SEARCHES]     (bench/gui/run.sh)
#include "app/main/DvoSubEngine.h"
#include "app/main/ISearchTimings.h"
#include "app/qt/QtListingWindow.h"
#include "app/qt/QtMainView.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Processor time of the GUI thread: on a shared machine wall times also count other programs.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

// Ticks every 5 ms; the widest gap between two ticks is the longest time the event loop did not
// run (a window dragged over ours would leave a ghost for that long).
class Heartbeat {
public:
    Heartbeat() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_timer.start();
    }
    void Reset() {
        m_last = Clock::now();
        m_widest = 0;
    }
    // The widest gap since Reset, counting the one still open.
    double Widest() const { return std::max(m_widest, Seconds(m_last, Clock::now())); }

private:
    void Tick() {
        const auto now = Clock::now();
        m_widest = std::max(m_widest, Seconds(m_last, now));
        m_last = now;
    }
    QTimer m_timer;
    Clock::time_point m_last = Clock::now();
    double m_widest = 0;
};

// With DVO_BENCH_MARKS set, the monotonic time of each step's start on standard error, to
// cut a profile taken with `perf record -k CLOCK_MONOTONIC` into the steps (perf report --time).
void Mark(const char* step) {
    static const bool marks = std::getenv("DVO_BENCH_MARKS") != nullptr;
    if (!marks)
        return;
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    std::fprintf(stderr, "mark %ld.%06ld %s\n", long(t.tv_sec), t.tv_nsec / 1000, step);
}

// Marks the engine's end of search, and resident memory once the engine has made the records
// the window reads and before the window builds its tree.
struct Timings final : dvo::app::ISearchTimings {
    Heartbeat* heartbeat = nullptr;
    Clock::time_point searchEnded;
    double cpuAtEnd = 0;
    long residentAtEnd = 0;
    void SearchStarted(const platform::LocalTime&) override { Mark("search started"); }
    void SearchEnded(const platform::LocalTime&) override {
        searchEnded = Clock::now();
        cpuAtEnd = ThreadSeconds();
        Mark("search ended");
        heartbeat->Reset();
    }
    void DisplayStarted(const platform::LocalTime&) override { residentAtEnd = ResidentBytes(); }
    void DisplayEnded(const platform::LocalTime&) override {}
};

// Runs the events that are due now and those the step queued, until 100 ms pass with neither
// the busy cursor (work in slices on the event loop shows it) nor an event that took longer
// than the heartbeat (a relayout on the next paint). Returns when the last such work ended.
Clock::time_point Settle() {
    auto done = Clock::now();
    while (Seconds(done, Clock::now()) < 0.1) {
        const auto before = Clock::now();
        // Waits for the next event (the heartbeat brings one every 5 ms) instead of spinning, so
        // the GUI thread's time is the window's work, also while slices are due.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        const auto after = Clock::now();
        if (QGuiApplication::overrideCursor() != nullptr || Seconds(before, after) > 0.01)
            done = after;
    }
    return done;
}

long CountRows(const QAbstractItemModel& model, const QModelIndex& parent, const QTreeView* view,
               long* expanded) {
    long count = 0;
    const int rows = model.rowCount(parent);
    for (int r = 0; r < rows; ++r) {
        const QModelIndex child = model.index(r, 0, parent);
        ++count;
        if (model.hasChildren(child)) {
            if (view->isExpanded(child))
                ++*expanded;
            count += CountRows(model, child, view, expanded);
        }
    }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    const char* treeEnv = std::getenv("DVO_BENCH_TREE");
    const std::string tree = treeEnv != nullptr && treeEnv[0] != '\0' ? treeEnv : "/usr";
    const int searches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // a reader of the pipe sees each figure at once
    QApplication application(argc, argv);
    Heartbeat heartbeat;
    Timings timings;
    timings.heartbeat = &heartbeat;

    const long residentBefore = ResidentBytes();
    dvo::app::DvoSubEngine engine;
    dvo::qt::QtMainView window(engine);
    window.Form().SetSearchTimings(&timings);
    window.SetFolderChooser([tree](const std::string&, const std::string&) { return tree; });
    window.Form().btnAddDirectoryClick();
    window.resize(1000, 700);
    window.show();
    Settle();
    auto* view = window.findChild<QTreeView*>();
    auto action = [&window](const char* name) {
        return window.findChild<QAction*>(QString::fromLatin1(name));
    };
    // "全展開" asks first on a large tree: its default button is OK.
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            if (QPushButton* ok = box->defaultButton())
                ok->click();
    });
    answer.start();

    std::printf("tree %s\n", tree.c_str());
    long residentFirst = 0;
    long residentLast = 0;
    for (int i = 1; i <= searches; ++i) {
        const auto start = Clock::now();
        window.Form().btnExecuteClick();
        const auto ready = Settle();
        Mark("tree ready");
        Mark("settled");
        const double readyCpu = ThreadSeconds() - timings.cpuAtEnd;
        long expanded = 0;
        const long rows = CountRows(*view->model(), {}, view, &expanded);
        const double stall = heartbeat.Widest();
        if (i == 1) {
            std::printf("search %d: engine %.2f s, tree ready %.2f s after it (GUI thread %.2f s, "
                        "longest stall %.0f ms), %ld nodes\n",
                        i, Seconds(start, timings.searchEnded), Seconds(timings.searchEnded, ready),
                        readyCpu, stall * 1000, rows);
            // The engine makes every record before the search ends (the window asks it to), so
            // they are in "before the tree"; the window's own share is "in all" less dvoscan
            // --records's bytes per entry (run.sh prints both).
            const long resident = ResidentBytes();
            residentFirst = resident;
            std::printf("memory: %.1f MB in all (%.0f bytes per node); %.1f MB before the tree, "
                        "which grew it by %.0f bytes per node (with the records made for it)\n",
                        (resident - residentBefore) / 1e6,
                        rows > 0 ? double(resident - residentBefore) / rows : 0.0,
                        (timings.residentAtEnd - residentBefore) / 1e6,
                        rows > 0 ? double(resident - timings.residentAtEnd) / rows : 0.0);
        } else {
            // The heap's bytes in use beside resident memory: growth of the first is a leak,
            // growth of resident memory alone is the heap's fragmentation.
            const struct mallinfo2 heap = mallinfo2();
            std::printf("search %d: engine %.2f s, tree ready %.2f s after it (GUI thread %.2f s, "
                        "longest stall %.0f ms), resident %.1f MB, heap in use %.1f MB\n",
                        i, Seconds(start, timings.searchEnded), Seconds(timings.searchEnded, ready),
                        readyCpu, stall * 1000, ResidentBytes() / 1e6,
                        double(heap.uordblks + heap.hblkhd) / 1e6);
        }
        residentLast = ResidentBytes();
        std::fflush(stdout);
    }
    // Both before any expansion: what repeated searches leave behind, not the expanded view's rows.
    std::printf("resident with the tree ready: %.1f MB after the first search, %.1f MB after "
                "search %d (%+.1f MB)\n",
                residentFirst / 1e6, residentLast / 1e6, searches,
                (residentLast - residentFirst) / 1e6);
    // The accessibility probe times the searches alone: the window then only answers for a
    // while, so that no query of the probe's last round meets the steps below.
    if (std::getenv("DVO_BENCH_SEARCHES_ONLY") != nullptr) {
        const auto until = Clock::now() + std::chrono::seconds(2);
        while (Clock::now() < until)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        return 0;
    }
    // Then the last search's tree expanded and sorted.
    heartbeat.Reset();
    const auto expandStart = Clock::now();
    double cpu = ThreadSeconds();
    Mark("expand all");
    action("N3")->trigger();
    const auto expandEnd = Settle();
    Mark("settled");
    cpu = ThreadSeconds() - cpu;
    long expandedAfter = 0;
    CountRows(*view->model(), {}, view, &expandedAfter);
    std::printf("expand all: %.2f s (GUI thread %.2f s, longest stall %.0f ms), %ld "
                "folders expanded\n",
                Seconds(expandStart, expandEnd), cpu, heartbeat.Widest() * 1000, expandedAfter);
    for (const char* order : {"mnuSortSizeUp", "mnuSizeDown", "mnuAlpha", "mnuAlphaDown",
                              "mnuSortNone", "mnuSizeDown"}) {
        heartbeat.Reset();
        const auto sortStart = Clock::now();
        double sortCpu = ThreadSeconds();
        Mark(order);
        action(order)->trigger();
        const auto sortEnd = Settle();
        Mark("settled");
        sortCpu = ThreadSeconds() - sortCpu;
        long stillExpanded = 0;
        CountRows(*view->model(), {}, view, &stillExpanded);
        std::printf("sort %-13s expanded: %.2f s (GUI thread %.2f s, longest stall %.0f "
                    "ms), %ld expanded after\n",
                    order, Seconds(sortStart, sortEnd), sortCpu, heartbeat.Widest() * 1000,
                    stillExpanded);
    }
    // The other count of sizes and back: the engine's figures, the re-sorted tree, the refilled
    // grid and labels (the goal is at most 0.5 s each).
    for (const char* count : {"mnuSizeDisk", "mnuSizeFile"}) {
        heartbeat.Reset();
        const auto switchStart = Clock::now();
        double switchCpu = ThreadSeconds();
        Mark(count);
        action(count)->trigger();
        const auto switchEnd = Settle();
        switchCpu = ThreadSeconds() - switchCpu;
        std::printf("size count %-12s %.2f s (GUI thread %.2f s, longest stall %.0f ms)\n", count,
                    Seconds(switchStart, switchEnd), switchCpu, heartbeat.Widest() * 1000);
    }
    Settle();
    // Each listing window from its menu item to its rows drawn.
    const struct {
        const char* item;
        dvo::app::ListingKind kind;
    } listings[] = {{"mnuLargestFiles", dvo::app::ListingKind::LargestFiles},
                    {"mnuKinds", dvo::app::ListingKind::Types},
                    {"mnuYears", dvo::app::ListingKind::Years}};
    for (const auto& listing : listings) {
        heartbeat.Reset();
        const auto openStart = Clock::now();
        double openCpu = ThreadSeconds();
        Mark(listing.item);
        action(listing.item)->trigger();
        const auto openEnd = Settle();
        openCpu = ThreadSeconds() - openCpu;
        std::printf("window %-15s ready: %.3f s (GUI thread %.3f s), %d rows\n", listing.item,
                    Seconds(openStart, openEnd), openCpu,
                    window.ListingWindow(listing.kind).List().model()->rowCount());
    }
    window.Form().SetSearchTimings(nullptr);
    return 0;
}
