#include "engine/ScanTree.h"

namespace dvo {

std::int64_t ComputeTotals(ScanResult& result) {
    struct Frame {
        Dir* dir;
        std::uint32_t next;
    };
    IdentitySet seenLinks;
    std::vector<Frame> stack;
    std::int64_t folders = 0;
    stack.push_back({result.root, 0});
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
            if ((n.flags & kMultiLink) && result.options.hardLinksOnce) {
                if (!seenLinks.insert({result.devices[n.device], n.inode}).second) {
                    n.flags = n.flags | kDuplicate;
                    continue;
                }
            }
            d->total = AddBytes(d->total, n.size);
            d->diskTotal = AddBytes(d->diskTotal, n.diskSize);
            continue;
        }
        stack.pop_back();
        if (Dir* p = d->parent) {
            p->total = AddBytes(p->total, d->total);
            p->diskTotal = AddBytes(p->diskTotal, d->diskTotal);
            p->folderCount += d->folderCount;
            p->fileCount += d->fileCount;
        }
    }
    return folders;
}

std::int64_t ComputeTotalsBelow(Dir* top) {
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
            if ((n.flags & kDuplicate) == 0) {
                d->total = AddBytes(d->total, n.size);
                d->diskTotal = AddBytes(d->diskTotal, n.diskSize);
            }
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

} // namespace dvo
