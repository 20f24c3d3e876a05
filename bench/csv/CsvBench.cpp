// Throughput of ReadCSV and of CSVHInit + CSVGetLine over a 100 MB file (warm page cache), and the
// cost of one SSHSearch as the table grows (linear in the rows: the key is looked for row by
// row). The files are generated once under $DVO_BENCH_TMP (default /tmp) and removed at the end.
#include "DLLs/Brindle/Brindle.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 16;
constexpr int kColumns = 8;
constexpr std::size_t kTargetBytes = 100u << 20;

std::string BenchDir() {
    const char* dir = std::getenv("DVO_BENCH_TMP");
    return dir != nullptr ? dir : "/tmp";
}

// Rows of eight fields of 5 to 12 bytes, like a product list: "id0000042,item-42,...".
struct CsvFile {
    std::string path;
    std::size_t bytes = 0;
    int rows = 0;

    CsvFile(const std::string& name, std::size_t targetBytes, int maxRows) {
        path = BenchDir() + "/" + name + "-" + std::to_string(::getpid()) + ".csv";
        std::ofstream out(path, std::ios::binary);
        std::string line;
        while (bytes < targetBytes && rows < maxRows) {
            const std::string n = std::to_string(rows);
            line = "id" + std::string(7 - std::min<std::size_t>(7, n.size()), '0') + n + ",item-" +
                   n + "," + std::to_string(rows % 997) + ".50,JPY," +
                   std::to_string(rows * 7 % 100000) + ",note " + std::to_string(rows % 13) +
                   ",2026-12-10,ok\n";
            out << line;
            bytes += line.size();
            ++rows;
        }
    }
    ~CsvFile() { std::remove(path.c_str()); }
};

const CsvFile& BigFile() {
    static const CsvFile file("dvo-bench-csv-100mb", kTargetBytes, 1 << 30);
    return file;
}

void BM_ReadCSV(benchmark::State& state) {
    const CsvFile& file = BigFile();
    std::vector<char> table(static_cast<std::size_t>(kWidth) * kColumns * file.rows);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            ReadCSV(file.path.c_str(), table.data(), kWidth, kColumns, file.rows));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
    state.counters["file_MB"] = static_cast<double>(file.bytes) / 1e6;
}
BENCHMARK(BM_ReadCSV)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CSVHInitGetLine(benchmark::State& state) {
    const CsvFile& file = BigFile();
    char line[256];
    for (auto _ : state) {
        const int handle = CSVHInit(file.path.c_str());
        int lines = 0;
        while (CSVGetLine(handle, line, sizeof line) > 0)
            ++lines;
        CSVHTerm(handle);
        if (lines != file.rows)
            state.SkipWithError("wrong line count");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
}
BENCHMARK(BM_CSVHInitGetLine)->Unit(benchmark::kMillisecond)->UseRealTime();

// One lookup of the last row's key (the worst case) in a table of range(0) rows.
void BM_SSHSearch(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    const CsvFile file("dvo-bench-keyed-" + std::to_string(rows), ~std::size_t{0}, rows);
    const int handle = SSHInit(file.path.c_str(), kWidth, kColumns, rows);
    if (handle < 1) {
        state.SkipWithError("SSHInit failed");
        return;
    }
    const std::string n = std::to_string(rows - 1);
    const std::string key = "id" + std::string(7 - std::min<std::size_t>(7, n.size()), '0') + n;
    char cell[kWidth];
    for (auto _ : state) {
        if (SSHSearch(handle, key.c_str(), 2, cell) != 0)
            state.SkipWithError("key not found");
        benchmark::DoNotOptimize(cell);
    }
    SSHTerm(handle);
    state.SetComplexityN(rows);
}
BENCHMARK(BM_SSHSearch)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
