#include "engine/ScanTree.h"

namespace dvo {

namespace {

// Every folder's totals from top down, in one pre-order pass in record order. With seenLinks,
// the first link of a hard-linked file met counts and the later ones are marked kDuplicate;
// without, the links' flags are taken as they stand. top's parent is left alone.
std::int64_t SumBelow(Dir* top, const ScanResult* links, IdentitySet* seenLinks) {
    struct Frame {
        Dir* dir;
        std::uint32_t next;
    };
    std::vector<Frame> stack{{top, 0}};
    std::int64_t folders = 0;
    while (!stack.empty()) {
        Frame& f = stack.back();
        Dir* d = f.dir;
        if (f.next == 0) {
            ++folders;
            d->total = d->diskTotal = d->folderCount = d->fileCount = 0;
        }
        if (f.next < d->childCount) {
            Node& n = d->children[f.next++];
            if (n.IsFolder()) {
                ++d->folderCount;
                stack.push_back({n.dir, 0});
                continue;
            }
            ++d->fileCount;
            if (n.flags & kDuplicate) {
                continue;
            }
            if (seenLinks != nullptr && (n.flags & kMultiLink)) {
                if (!seenLinks->insert({links->devices[n.device], n.inode}).second) {
                    n.flags = n.flags | kDuplicate;
                    continue;
                }
            }
            d->total = AddBytes(d->total, n.size);
            d->diskTotal = AddBytes(d->diskTotal, n.diskSize);
            continue;
        }
        stack.pop_back();
        if (d != top) {
            Dir* p = d->parent;
            p->total = AddBytes(p->total, d->total);
            p->diskTotal = AddBytes(p->diskTotal, d->diskTotal);
            p->folderCount += d->folderCount;
            p->fileCount += d->fileCount;
        }
    }
    return folders;
}

} // namespace

std::int64_t ComputeTotals(ScanResult& result) {
    IdentitySet seenLinks;
    return SumBelow(result.root, &result, result.options.hardLinksOnce ? &seenLinks : nullptr);
}

std::int64_t ComputeTotalsBelow(Dir* top) { return SumBelow(top, nullptr, nullptr); }

} // namespace dvo
