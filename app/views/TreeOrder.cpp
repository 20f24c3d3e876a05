#include "app/views/TreeOrder.h"

#include <cstdint>
#include <cstring>

namespace dvo::app {
long long SizeKey(const FolderTreeNode& n) { return n.record != nullptr ? n.record->size : 0; }

int CompareSizeAscending(const FolderTreeNode& a, const FolderTreeNode& b) {
    const long long x = SizeKey(a);
    const long long y = SizeKey(b);
    return x > y ? 1 : (x < y ? -1 : 0);
}

int CompareSizeDescending(const FolderTreeNode& a, const FolderTreeNode& b) {
    return -CompareSizeAscending(a, b);
}

std::string_view CaptionKey(const FolderTreeNode& n) {
    // Captions end at their first NUL, like the C strings they stand for.
    return {n.caption, std::strlen(n.caption)};
}

int CompareCaptionDescending(const FolderTreeNode& a, const FolderTreeNode& b) {
    const int c = CaptionKey(a).compare(CaptionKey(b)); // char_traits<char> orders as unsigned char
    return c < 0 ? 1 : (c > 0 ? -1 : 0);
}

std::string RatioText(long long size, long long parentSize) {
    if (parentSize == 0)
        return "0";
    // The product wraps as 64-bit arithmetic does instead of being undefined.
    const auto p = static_cast<long long>(static_cast<std::uint64_t>(size) * 100u);
    const long double q = static_cast<long double>(p) / static_cast<long double>(parentSize);
    const auto whole = static_cast<long long>(q); // truncates toward zero
    return whole == 0 ? "<1" : std::to_string(whole);
}

} // namespace dvo::app
