#pragma once
// The orders of the folder tree, and the ratio text of the contents grid.
#include "app/views/FolderTree.h"

#include <string>
#include <string_view>

namespace dvo::app {

// The size the size orders compare: the record's, 0 for a node without one.
long long SizeKey(const FolderTreeNode& n);
// Signed 64-bit sizes of the nodes' records: -1, 0 or 1 (no second key: equal sizes are equal).
int CompareSizeAscending(const FolderTreeNode& a, const FolderTreeNode& b);
int CompareSizeDescending(const FolderTreeNode& a, const FolderTreeNode& b);

// Captions byte by byte as unsigned bytes: 1 when a's is smaller, -1 when larger. A plain
// code-unit order, so it is not the exact reverse of the collated ascending order.
int CompareCaptionDescending(const FolderTreeNode& a, const FolderTreeNode& b);
// The caption that order compares: up to its first NUL.
std::string_view CaptionKey(const FolderTreeNode& n);

// Share of a child in its folder as the grid shows it: "0" for a folder of size 0, else
// size * 100 (64-bit) divided by the folder's size in extended precision and truncated;
// "<1" when that is 0.
std::string RatioText(long long size, long long parentSize);

} // namespace dvo::app
