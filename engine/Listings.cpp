#include "engine/Listings.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <queue>
#include <unordered_map>

#include "engine/Scanner.h"

namespace dvo {

namespace {

// Calls f(parent, node, moved) for every entry other than a folder that the result lists now
// and whose bytes the totals count.
template <typename F> void ForEachCounted(ScanResult& result, MovedEntries& moved, F f) {
    if (result.root == nullptr ||
        (result.rootNode != nullptr && (result.rootNode->flags & kRemoved) != 0)) {
        return; // the searched folder itself is gone
    }
    std::vector<Dir*> stack{result.root};
    while (!stack.empty()) {
        Dir* d = stack.back();
        stack.pop_back();
        const auto visit = [&](Node& n, MovedEntry* e) {
            if (n.IsFolder()) {
                if (n.dir != nullptr) {
                    stack.push_back(n.dir);
                }
            } else if ((n.flags & kDuplicate) == 0) {
                f(d, n, e);
            }
        };
        for (std::uint32_t i = 0; i < d->childCount; ++i) {
            Node& n = d->children[i];
            if ((n.flags & kRemoved) == 0) { // deleted, or moved and listed where it went
                visit(n, nullptr);
            }
        }
        if (MovedEntries::Incoming* in = moved.Into(d)) {
            for (const auto& e : in->entries) {
                if (!e->movedOn && !e->gone) {
                    visit(*e->node, e.get());
                }
            }
        }
    }
}

// Local years by the start and end of each, so that a million files need a handful of
// localtime_r calls rather than one each.
class YearOf {
public:
    // The year of a time in milliseconds since the epoch.
    long operator()(std::int64_t ms) {
        std::int64_t seconds = ms / 1000;
        if (ms % 1000 < 0) {
            --seconds;
        }
        if (m_last != nullptr && seconds >= m_last->start && seconds < m_last->end) {
            return m_last->year;
        }
        for (const Span& s : m_spans) {
            if (seconds >= s.start && seconds < s.end) {
                m_last = &s;
                return s.year;
            }
        }
        const time_t t = static_cast<time_t>(seconds);
        struct tm local = {};
        if (::localtime_r(&t, &local) == nullptr) {
            return kUnknownYear;
        }
        const long year = static_cast<long>(local.tm_year) + 1900;
        const std::int64_t start = StartOf(year);
        const std::int64_t end = StartOf(year + 1);
        if (start > seconds || end <= seconds) {
            return year; // a zone whose year start cannot be made: asked each time
        }
        m_spans.push_back({start, end, year});
        m_last = nullptr; // the vector may have moved
        return year;
    }

    static constexpr long kUnknownYear = -2147483647L - 1;

private:
    struct Span {
        std::int64_t start;
        std::int64_t end;
        long year;
    };

    static std::int64_t StartOf(long year) {
        struct tm local = {};
        local.tm_year = static_cast<int>(year - 1900);
        local.tm_mday = 1;
        local.tm_isdst = -1;
        return static_cast<std::int64_t>(::mktime(&local));
    }

    std::vector<Span> m_spans;
    const Span* m_last = nullptr;
};

// Hash lookups by a string_view, so the lower-cased extension needs no string of its own.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>()(s);
    }
};

} // namespace

std::string ExtensionOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) {
        return {};
    }
    std::string extension(name.substr(dot + 1));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

std::vector<ListedFile> LargestFiles(ScanResult& result, MovedEntries& moved, std::size_t count) {
    if (count == 0) {
        return {};
    }
    // First the smallest figure that makes the list (a heap of `count` figures), then every
    // entry at or above it: only those need their paths, for the ties.
    std::priority_queue<std::int64_t, std::vector<std::int64_t>, std::greater<>> smallest;
    std::size_t files = 0;
    const SizeMode mode = result.sizeMode;
    ForEachCounted(result, moved, [&](Dir*, Node& n, MovedEntry*) {
        const std::int64_t bytes = FileBytes(n, mode);
        ++files;
        if (smallest.size() < count) {
            smallest.push(bytes);
        } else if (bytes > smallest.top()) {
            smallest.pop();
            smallest.push(bytes);
        }
    });
    if (files == 0) {
        return {};
    }
    const std::int64_t threshold = smallest.top();
    std::vector<ListedFile> out;
    std::unordered_map<const Dir*, std::string> folderPaths;
    ForEachCounted(result, moved, [&](Dir* d, Node& n, MovedEntry* e) {
        const std::int64_t bytes = FileBytes(n, mode);
        if (bytes < threshold) {
            return;
        }
        auto [it, made] = folderPaths.try_emplace(d);
        if (made) {
            it->second = FolderPath(result.path, d);
            if (it->second.empty() || it->second.back() != '/') {
                it->second.push_back('/');
            }
        }
        std::string path = it->second;
        path.append(n.Name());
        out.push_back({d, &n, e, bytes, std::move(path)});
    });
    std::sort(out.begin(), out.end(), [](const ListedFile& a, const ListedFile& b) {
        return a.bytes != b.bytes ? a.bytes > b.bytes : a.path < b.path;
    });
    if (out.size() > count) {
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(count), out.end());
    }
    return out;
}

std::vector<GroupTotal> TypeTotals(ScanResult& result, MovedEntries& moved) {
    std::unordered_map<std::string, GroupTotal, TextHash, std::equal_to<>> groups;
    std::string extension;
    const SizeMode mode = result.sizeMode;
    ForEachCounted(result, moved, [&](Dir*, Node& n, MovedEntry*) {
        extension = ExtensionOf(n.Name());
        auto it = groups.find(std::string_view(extension));
        if (it == groups.end()) {
            it = groups.emplace(extension, GroupTotal{extension, 0, 0}).first;
        }
        it->second.bytes = AddBytes(it->second.bytes, FileBytes(n, mode));
        ++it->second.count;
    });
    std::vector<GroupTotal> out;
    out.reserve(groups.size());
    for (auto& [key, total] : groups) {
        out.push_back(std::move(total));
    }
    std::sort(out.begin(), out.end(), [](const GroupTotal& a, const GroupTotal& b) {
        return a.bytes != b.bytes ? a.bytes > b.bytes : a.name < b.name;
    });
    return out;
}

std::vector<GroupTotal> YearTotals(ScanResult& result, MovedEntries& moved) {
    struct Year {
        std::int64_t bytes = 0;
        std::int64_t count = 0;
    };
    std::unordered_map<long, Year> years;
    YearOf yearOf;
    const SizeMode mode = result.sizeMode;
    long lastYear = 0;
    Year* last = nullptr; // most files share a year with the one before: no lookup for them
    ForEachCounted(result, moved, [&](Dir*, Node& n, MovedEntry*) {
        // An entry whose attributes could not be read has no known time.
        const long year = (n.flags & kStatFailed) != 0 ? YearOf::kUnknownYear : yearOf(n.mtimeMs);
        if (last == nullptr || year != lastYear) {
            last = &years[year]; // references into the map stay valid as it grows
            lastYear = year;
        }
        last->bytes = AddBytes(last->bytes, FileBytes(n, mode));
        ++last->count;
    });
    std::vector<std::pair<long, Year>> sorted(years.begin(), years.end());
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<GroupTotal> out;
    out.reserve(sorted.size());
    for (const auto& [year, y] : sorted) {
        out.push_back({year == YearOf::kUnknownYear ? std::string() : std::to_string(year), y.bytes,
                       y.count});
    }
    return out;
}

} // namespace dvo
