// dvoscan: the engine's folder sizes on the command line, printed the way du prints them.
//   dvoscan [-d DEPTH] [-x | --cross-file-systems] [-L] [-0] [--threads N] [--stats [--records]]
//           [--exclude PATTERN]... [--exclude-from FILE] [--disk-usage]
//           [-o FILE | --compare OLD | --top N | --by-type | --by-age] (PATH | -f FILE)
// --disk-usage counts st_blocks x 512 (what du counts, less the folders' own blocks) instead of
// st_size. --top N prints "<bytes>\t<path>" for the N largest entries other than folders;
// --by-type "<bytes>\t<count>\t<extension>" per extension, --by-age "<bytes>\t<count>\t<year>"
// per year of last modification; each inode once, where the totals count it.
// --exclude leaves out what du and ncdu leave out: an entry whose path or name matches the glob.
// --exclude-from reads one pattern a line (empty lines skipped).
// -o writes the scan as an ncdu export instead of printing it; -f reads one instead of scanning;
// --compare prints "<delta>\t<new total>\t<path>" for each folder whose total changed since OLD.
// --stats reports time and memory on stderr; --records first makes every entry's FolderRecord,
// as the program has them made, to measure that case. One line "<bytes>\t<path>" per folder down to DEPTH (default 0: the searched folder only), a
// folder after its subfolders. Exit status 0, 1 when entries could not be read, 2 on bad use.
// On a terminal, control bytes and bytes that are not UTF-8 in paths are shown as \xNN, so a
// name cannot set the terminal's title or forge a line; -0 ends lines with NUL, paths raw.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>

#include "engine/DVOSUB.h"
#include "engine/Listings.h"
#include "engine/MovedEntries.h"
#include "engine/NcduFormat.h"
#include "engine/RecordStore.h"
#include "engine/Scanner.h"

namespace {

constexpr const char* kUsage =
    "usage: dvoscan [-d DEPTH] [-x | --cross-file-systems] [-L] [--threads N] [-0] "
    "[--stats [--records]] [--exclude PATTERN]... [--exclude-from FILE] [--disk-usage] "
    "[-o FILE | --compare OLD | --top N | --by-type | --by-age] (PATH | -f FILE)\n";

void Usage() { std::fputs(kUsage, stderr); }

void Help() {
    std::fputs(kUsage, stdout);
    std::fputs(
        "Prints \"<bytes>\\t<path>\" for PATH and its folders down to DEPTH (default 0), each\n"
        "folder after its subfolders; hard-linked files count once.\n"
        "  -d, --max-depth DEPTH  folders down to DEPTH levels below PATH\n"
        "  -x, --cross-file-systems  enter other file systems mounted below PATH\n"
        "  -L                     follow symbolic links\n"
        "  -0, --null             end lines with NUL and print paths unchanged\n"
        "  --threads N            scan with N threads (0: chosen for the machine)\n"
        "  --stats [--records]    time, threads and memory on stderr\n"
        "  --exclude PATTERN      leave out entries whose path or name matches the glob\n"
        "  --exclude-from FILE    the same for each line of FILE\n"
        "  --disk-usage           count disk usage (blocks x 512) instead of apparent sizes\n"
        "  -o FILE                write the result as an ncdu export (-: standard output)\n"
        "  -f FILE                read an ncdu export instead of scanning (-: standard input)\n"
        "  --compare OLD          \"<delta>\\t<total>\\t<path>\" for folders changed since OLD\n"
        "  --top N                \"<bytes>\\t<path>\" for the N largest entries other than\n"
        "                         folders, largest first, ties in byte order of the path\n"
        "  --by-type              \"<bytes>\\t<count>\\t<extension>\" per extension, most bytes\n"
        "                         first (no extension: an empty field)\n"
        "  --by-age               \"<bytes>\\t<count>\\t<year>\" per year of last modification,\n"
        "                         oldest first (unknown time: an empty field)\n"
        "Exit status: 0; 1 when entries could not be read; 2 on bad use or a bad file.\n",
        stdout);
}

bool ParseCount(const char* text, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && out >= 0;
}

const char* Reason(int rc) {
    switch (rc) {
    case DVO_E_NOT_FOUND: return "No such file or directory";
    case DVO_E_NOT_A_FOLDER: return "Not a directory";
    case DVO_E_ACCESS: return "Permission denied";
    default: return "cannot be read";
    }
}

// Length of the well-formed UTF-8 character at text[i] that is no control character, or 0.
std::size_t PrintableLength(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
        return c < 0x20 || c == 0x7F ? 0 : 1;
    }
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (b & 0x3Fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    // C1 controls (U+0080..U+009F) start escape sequences on some terminals too.
    const bool c1 = code >= 0x80 && code <= 0x9F;
    return overlong || surrogate || c1 || code > 0x10FFFF ? 0 : length;
}

class Printer {
public:
    Printer(bool escape, char end) : m_escape(escape), m_end(end) {}
    ~Printer() { Flush(); }
    void Line(std::int64_t bytes, std::string_view path) { Line({bytes}, path); }
    // Each number followed by a tab, then the text (escaped as paths are).
    void Line(std::initializer_list<std::int64_t> numbers, std::string_view path) {
        for (const std::int64_t value : numbers) {
            char number[24];
            const int n =
                std::snprintf(number, sizeof number, "%lld\t", static_cast<long long>(value));
            m_buffer.append(number, static_cast<std::size_t>(n));
        }
        if (m_escape) {
            AppendEscaped(path);
        } else {
            m_buffer.append(path);
        }
        m_buffer.push_back(m_end);
        if (m_buffer.size() > (1u << 16)) {
            Flush();
        }
    }
    void Raw(std::string_view text) { m_buffer.append(text); }
    void Flush() {
        std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout);
        m_buffer.clear();
    }

private:
    void AppendEscaped(std::string_view path) {
        for (std::size_t i = 0; i < path.size();) {
            const std::size_t length = PrintableLength(path, i);
            if (length > 0) {
                m_buffer.append(path.substr(i, length));
                i += length;
                continue;
            }
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X",
                          static_cast<unsigned>(static_cast<unsigned char>(path[i])));
            m_buffer.append(hex);
            ++i;
        }
    }

    bool m_escape;
    char m_end;
    std::string m_buffer;
};

// Folders down to maxDepth, each after its subfolders, children in byte order.
void PrintFolders(const dvo::ScanResult& result, long maxDepth, bool nulEnded) {
    Printer out(!nulEnded && ::isatty(STDOUT_FILENO) == 1, nulEnded ? '\0' : '\n');
    struct Frame {
        const dvo::Dir* dir;
        std::uint32_t next;
        std::size_t pathLength;
    };
    std::string path = result.path;
    std::vector<Frame> stack{{result.root, 0, path.size()}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        const dvo::Dir* d = f.dir;
        if (static_cast<long>(d->depth) < maxDepth && f.next < d->childCount) {
            const dvo::Node& n = d->children[f.next++];
            if (n.IsFolder()) {
                path.resize(f.pathLength);
                if (path.empty() || path.back() != '/') {
                    path.push_back('/');
                }
                path.append(n.Name());
                stack.push_back({n.dir, 0, path.size()});
            }
            continue;
        }
        path.resize(f.pathLength);
        out.Line(d->Total(result.sizeMode), path);
        stack.pop_back();
    }
}

struct FileCloser {
    void operator()(std::FILE* f) const noexcept {
        if (f != stdin) {
            std::fclose(f);
        }
    }
};

// An export read whole, or null after one line on stderr naming the file and the offset.
std::unique_ptr<dvo::ScanResult> ReadExport(const char* name) {
    const bool standardInput = std::string_view(name) == "-";
    std::unique_ptr<std::FILE, FileCloser> file(standardInput ? stdin : std::fopen(name, "rbe"));
    if (file == nullptr) {
        std::fprintf(stderr, "dvoscan: cannot read '%s': %s\n", name, std::strerror(errno));
        return nullptr;
    }
    dvo::NcduReadError error;
    auto result = dvo::ReadNcdu(file.get(), error);
    if (result == nullptr) {
        std::fprintf(stderr, "dvoscan: %s: byte %llu: %s%s\n",
                     standardInput ? "(standard input)" : name,
                     static_cast<unsigned long long>(error.offset),
                     error.io ? "" : "not an ncdu export: ", error.reason.c_str());
    }
    return result;
}

// Folder totals down to maxDepth by path relative to the root ("" for the root), in byte order.
std::vector<std::pair<std::string, std::int64_t>> FolderTotals(const dvo::ScanResult& r,
                                                               long maxDepth) {
    std::vector<std::pair<std::string, std::int64_t>> out;
    struct Frame {
        const dvo::Dir* dir;
        std::string path;
    };
    std::vector<Frame> stack{{r.root, {}}};
    while (!stack.empty()) {
        Frame f = std::move(stack.back());
        stack.pop_back();
        out.emplace_back(f.path, f.dir->Total(r.sizeMode));
        if (static_cast<long>(f.dir->depth) >= maxDepth) {
            continue;
        }
        for (std::uint32_t i = 0; i < f.dir->childCount; ++i) {
            const dvo::Node& n = f.dir->children[i];
            if (n.IsFolder()) {
                std::string path = f.path;
                path.push_back('/');
                path.append(n.Name());
                stack.push_back({n.dir, std::move(path)});
            }
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string JoinRoot(const std::string& root, const std::string& relative) {
    if (relative.empty()) {
        return root;
    }
    return root == "/" ? relative : root + relative;
}

// Folders whose total differs, largest change first (ties in byte order of their paths); a
// folder on one side only counts 0 on the other. Printed under the new result's root.
void PrintChanges(const dvo::ScanResult& old, const dvo::ScanResult& now, long maxDepth,
                  bool nulEnded) {
    const auto before = FolderTotals(old, maxDepth);
    const auto after = FolderTotals(now, maxDepth);
    struct Change {
        std::int64_t delta;
        std::int64_t total;
        std::string path;
    };
    std::vector<Change> changes;
    auto add = [&](std::int64_t was, std::int64_t is, const std::string& relative) {
        std::int64_t delta = 0;
        if (was != is && !__builtin_sub_overflow(is, was, &delta)) {
            changes.push_back({delta, is, JoinRoot(now.path, relative)});
        }
    };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < before.size() || j < after.size()) {
        if (j == after.size() || (i < before.size() && before[i].first < after[j].first)) {
            add(before[i].second, 0, before[i].first);
            ++i;
        } else if (i == before.size() || after[j].first < before[i].first) {
            add(0, after[j].second, after[j].first);
            ++j;
        } else {
            add(before[i].second, after[j].second, after[j].first);
            ++i;
            ++j;
        }
    }
    auto magnitude = [](std::int64_t d) {
        return d < 0 ? static_cast<std::uint64_t>(-(d + 1)) + 1 : static_cast<std::uint64_t>(d);
    };
    std::sort(changes.begin(), changes.end(), [&](const Change& a, const Change& b) {
        const auto ma = magnitude(a.delta);
        const auto mb = magnitude(b.delta);
        return ma != mb ? ma > mb : a.path < b.path;
    });
    Printer out(!nulEnded && ::isatty(STDOUT_FILENO) == 1, nulEnded ? '\0' : '\n');
    for (const Change& c : changes) {
        char delta[24];
        std::snprintf(delta, sizeof delta, "%+lld\t", static_cast<long long>(c.delta));
        out.Raw(delta);
        out.Line(c.total, c.path);
    }
}

// Adds the patterns of an --exclude-from file; false when it cannot be read.
bool ReadPatterns(const char* file, std::vector<std::string>& patterns) {
    std::FILE* f = std::fopen(file, "rb");
    if (f == nullptr) {
        return false;
    }
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, n);
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    for (std::string& p : dvo::PatternLines(text)) {
        patterns.push_back(std::move(p));
    }
    return ok;
}

enum class Listing { None, Top, ByType, ByAge };

// The largest files or the totals by kind or year, as the engine's listings give them.
void PrintListing(dvo::ScanResult& result, Listing listing, long top, bool nulEnded) {
    Printer out(!nulEnded && ::isatty(STDOUT_FILENO) == 1, nulEnded ? '\0' : '\n');
    dvo::MovedEntries noMoves;
    if (listing == Listing::Top) {
        for (const dvo::ListedFile& f :
             dvo::LargestFiles(result, noMoves, static_cast<std::size_t>(top))) {
            out.Line(f.bytes, f.path);
        }
        return;
    }
    for (const dvo::GroupTotal& g : listing == Listing::ByType ? dvo::TypeTotals(result, noMoves)
                                                               : dvo::YearTotals(result, noMoves)) {
        out.Line({g.bytes, g.count}, g.name);
    }
}

} // namespace

int main(int argc, char** argv) {
    dvo::ScanOptions options;
    long depth = 0;
    bool stats = false;
    bool records = false;
    bool nulEnded = false;
    long abortAfterMs = -1; // measures how fast an abort stops the workers
    const char* path = nullptr;
    const char* exportTo = nullptr;
    const char* readFrom = nullptr;
    const char* compareWith = nullptr;
    std::vector<std::string> excludes;
    bool diskUsage = false;
    Listing listing = Listing::None;
    long top = 0;
    int listings = 0; // more than one, or one with -o or --compare, is bad use
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        long value = 0;
        if ((a == "-d" || a == "--max-depth" || a == "--threads") && i + 1 < argc) {
            if (!ParseCount(argv[++i], value)) {
                Usage();
                return 2;
            }
            if (a == "--threads") {
                options.threads = static_cast<int>(value);
            } else {
                depth = value;
            }
        } else if (a.starts_with("--max-depth=") && ParseCount(argv[i] + 12, value)) {
            depth = value;
        } else if (a.starts_with("-d") && a.size() > 2 && ParseCount(argv[i] + 2, value)) {
            depth = value;
        } else if (a == "-x" || a == "--cross-file-systems") {
            options.crossFileSystems = true;
        } else if (a == "-L") {
            options.followLinks = true;
        } else if (a == "-0" || a == "--null") {
            nulEnded = true;
        } else if ((a == "-o" || a == "-f" || a == "--compare") && i + 1 < argc) {
            (a == "-o" ? exportTo : a == "-f" ? readFrom : compareWith) = argv[++i];
        } else if (a == "--exclude" && i + 1 < argc) {
            excludes.emplace_back(argv[++i]);
        } else if (a.starts_with("--exclude=")) {
            excludes.emplace_back(a.substr(10));
        } else if ((a == "--exclude-from" && i + 1 < argc) || a.starts_with("--exclude-from=")) {
            const char* file = a == "--exclude-from" ? argv[++i] : argv[i] + 15;
            if (!ReadPatterns(file, excludes)) {
                std::fprintf(stderr, "dvoscan: cannot read '%s': %s\n", file, std::strerror(errno));
                return 2;
            }
        } else if (a == "--help" || a == "-h") {
            Help();
            return 0;
        } else if (a == "--disk-usage") {
            diskUsage = true;
        } else if (a == "--top" && i + 1 < argc) {
            if (!ParseCount(argv[++i], top)) {
                Usage();
                return 2;
            }
            listing = Listing::Top;
            ++listings;
        } else if (a == "--by-type" || a == "--by-age") {
            listing = a == "--by-type" ? Listing::ByType : Listing::ByAge;
            ++listings;
        } else if (a == "--stats") {
            stats = true;
        } else if (a == "--records") {
            records = true;
        } else if (a == "--abort-after" && i + 1 < argc && ParseCount(argv[i + 1], value)) {
            abortAfterMs = value;
            ++i;
        } else if (a == "--") {
            if (i + 2 != argc) {
                Usage();
                return 2;
            }
            path = argv[++i];
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            Usage();
            return 2;
        } else if (path == nullptr) {
            path = argv[i];
        } else {
            Usage();
            return 2;
        }
    }
    if ((path == nullptr) == (readFrom == nullptr) ||
        (compareWith != nullptr) + (exportTo != nullptr) + listings > 1) {
        Usage();
        return 2;
    }

    std::unique_ptr<dvo::ScanResult> old;
    if (compareWith != nullptr) {
        old = ReadExport(compareWith);
        if (old == nullptr) {
            return 2;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    dvo::Scanner scanner(options);
    scanner.SetExcludes(dvo::ExcludeList(std::move(excludes)));
    const int rc = readFrom != nullptr ? DVO_OK : scanner.Open(path);
    if (rc != DVO_OK) {
        std::fprintf(stderr, "dvoscan: cannot scan '%s': %s\n", path, Reason(rc));
        return 2;
    }
    std::chrono::steady_clock::time_point abortAt{};
    if (readFrom != nullptr) {
        // Read instead of scanned: everything below works on it as on a scan's result.
    } else if (abortAfterMs >= 0) {
        std::thread runner([&] { scanner.Run(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(abortAfterMs));
        abortAt = std::chrono::steady_clock::now();
        scanner.Abort();
        runner.join();
    } else {
        scanner.Run();
    }
    const auto stopped = std::chrono::steady_clock::now();
    const auto result = readFrom != nullptr ? ReadExport(readFrom) : scanner.Finish();
    if (result == nullptr) {
        return 2;
    }
    const auto scanned = std::chrono::steady_clock::now();
    const dvo::SizeMode mode = diskUsage ? dvo::SizeMode::Disk : dvo::SizeMode::Apparent;
    result->sizeMode = mode;
    if (old != nullptr) {
        old->sizeMode = mode;
    }
    if (abortAfterMs >= 0 && readFrom == nullptr) {
        using ms = std::chrono::duration<double, std::milli>;
        std::fprintf(stderr,
                     "dvoscan: aborted after %ld ms: workers stopped %.1f ms after the abort, "
                     "totals of the partial tree took %.1f ms more (%lld entries read)\n",
                     abortAfterMs, ms(stopped - abortAt).count(), ms(scanned - stopped).count(),
                     static_cast<long long>(result->root->folderCount + result->root->fileCount));
    }
    dvo::MovedEntries noMoves;
    std::unique_ptr<dvo::RecordStore> store;
    if (records) {
        store = std::make_unique<dvo::RecordStore>(*result, noMoves);
        std::vector<FolderRecord*> folders(static_cast<std::size_t>(store->FolderCount()));
        store->FolderList(folders.data(), static_cast<int>(folders.size()));
        for (FolderRecord* f : folders) {
            for (FolderRecord* c = store->First(f); c != nullptr; c = store->Next(f)) {
            }
        }
    }
    std::chrono::steady_clock::time_point exportStart{};
    std::chrono::steady_clock::time_point exportEnd{};
    if (exportTo != nullptr) {
        exportStart = std::chrono::steady_clock::now();
        const auto now = static_cast<std::int64_t>(std::time(nullptr));
        // A file is written whole or not at all; standard output as it goes.
        const int error = std::string_view(exportTo) == "-"
                              ? (dvo::WriteNcdu(*result, nullptr, STDOUT_FILENO, now) ? 0 : errno)
                              : dvo::WriteNcduFile(*result, nullptr, exportTo, now);
        if (error != 0) {
            std::fprintf(stderr, "dvoscan: cannot write '%s': %s\n", exportTo,
                         std::strerror(error));
            return 2;
        }
        exportEnd = std::chrono::steady_clock::now();
    } else if (old != nullptr) {
        PrintChanges(*old, *result, depth, nulEnded);
    } else if (listing != Listing::None) {
        PrintListing(*result, listing, top, nulEnded);
    } else {
        PrintFolders(*result, depth, nulEnded);
    }
    std::fflush(stdout);

    if (stats) {
        const std::int64_t entries = result->root->folderCount + result->root->fileCount + 1;
        std::size_t arenaBytes = 0;
        for (const dvo::Arena& a : result->arenas) {
            arenaBytes += a.ReservedBytes();
        }
        struct rusage usage = {};
        ::getrusage(RUSAGE_SELF, &usage);
        const double ms = std::chrono::duration<double, std::milli>(scanned - start).count();
        std::fprintf(
            stderr,
            "dvoscan: %lld entries (%lld folders)%s in %.1f ms on %d threads%s; "
            "tree %.1f bytes/entry; peak memory %ld KiB, %.1f bytes/entry\n",
            static_cast<long long>(entries), static_cast<long long>(result->folderRecords),
            readFrom != nullptr ? " read" : "", ms, readFrom != nullptr ? 1 : scanner.ThreadCount(),
            records ? ", every record made" : "",
            static_cast<double>(arenaBytes) / static_cast<double>(entries), usage.ru_maxrss,
            static_cast<double>(usage.ru_maxrss) * 1024.0 / static_cast<double>(entries));
        if (exportTo != nullptr) {
            std::fprintf(
                stderr, "dvoscan: export written in %.1f ms\n",
                std::chrono::duration<double, std::milli>(exportEnd - exportStart).count());
        }
    }
    if (result->errors > 0 && old == nullptr) {
        std::fprintf(stderr, "dvoscan: %lld entries could not be read\n",
                     static_cast<long long>(result->errors));
        return 1;
    }
    return 0;
}
