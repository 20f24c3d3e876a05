#include "engine/ResultCompare.h"

#include <string_view>
#include <vector>

namespace dvo {
namespace {

bool Present(const Node& n) { return (n.flags & kRemoved) == 0; }

// An entry's bytes as the totals count them, in the count the current result shows: a later
// link of an inode adds nothing.
std::int64_t Bytes(const Node& n, SizeMode mode) {
    if (n.IsFolder())
        return n.dir != nullptr ? n.dir->Total(mode) : 0;
    return (n.flags & kDuplicate) != 0 ? 0 : FileBytes(n, mode);
}

struct Walk {
    const std::function<bool(const EntryChange&)>& sink;
    std::int64_t reported = 0;
    bool stopped = false;

    bool Report(const std::string& path, std::int64_t before, std::int64_t after, bool folder,
                ChangeKind kind) {
        ++reported;
        stopped = !sink(EntryChange{path, before, after, folder, kind});
        return !stopped;
    }
};

struct Pair {
    const Dir* before;
    const Dir* now;
    std::string path;
};

} // namespace

std::int64_t CompareResults(const ScanResult& before, const ScanResult& now,
                            const std::function<bool(const EntryChange&)>& sink) {
    Walk walk{sink};
    if (before.root == nullptr || now.root == nullptr)
        return 0;
    const SizeMode mode = now.sizeMode;
    const auto Bytes = [mode](const Node& n) { return dvo::Bytes(n, mode); };
    if (before.root->Total(mode) != now.root->Total(mode) &&
        !walk.Report(now.path, before.root->Total(mode), now.root->Total(mode), true,
                     ChangeKind::Size))
        return walk.reported;
    // An explicit stack: exports may nest thousands of levels.
    std::vector<Pair> stack{{before.root, now.root, now.path == "/" ? std::string() : now.path}};
    std::string path;
    while (!stack.empty() && !walk.stopped) {
        Pair pair = std::move(stack.back());
        stack.pop_back();
        const Node* a = pair.before->children;
        const Node* aEnd = a + pair.before->childCount;
        const Node* b = pair.now->children;
        const Node* bEnd = b + pair.now->childCount;
        // Siblings are in byte order of their names on both sides: one merge pass.
        while ((a != aEnd || b != bEnd) && !walk.stopped) {
            if (b != bEnd && !Present(*b)) {
                ++b;
                continue;
            }
            const int order = a == aEnd ? 1 : b == bEnd ? -1 : a->Name().compare(b->Name());
            const Node* named = order < 0 ? a : b;
            path.assign(pair.path).append("/").append(named->Name());
            if (order < 0) {
                walk.Report(path, Bytes(*a), 0, a->IsFolder(), ChangeKind::Gone);
                ++a;
            } else if (order > 0) {
                walk.Report(path, 0, Bytes(*b), b->IsFolder(), ChangeKind::New);
                ++b;
            } else if (a->IsFolder() != b->IsFolder()) {
                // A file became a folder or the other way round: two different entries.
                if (walk.Report(path, Bytes(*a), 0, a->IsFolder(), ChangeKind::Gone))
                    walk.Report(path, 0, Bytes(*b), b->IsFolder(), ChangeKind::New);
                ++a;
                ++b;
            } else {
                const std::int64_t was = Bytes(*a);
                const std::int64_t is = Bytes(*b);
                if (was != is)
                    walk.Report(path, was, is, a->IsFolder(), ChangeKind::Size);
                if (a->IsFolder() && a->dir != nullptr && b->dir != nullptr)
                    stack.push_back({a->dir, b->dir, path});
                ++a;
                ++b;
            }
        }
    }
    return walk.reported;
}

} // namespace dvo
