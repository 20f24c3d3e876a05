#pragma once
// Scan results as ncdu JSON exports (major version 1), the format ncdu and gdu read and write,
// so a tree scanned on one machine can be looked at on another or compared later.
//
// Writing streams the scan's compact tree through one buffer. Reading streams too (a SAX parser
// that does not recurse) and builds the same compact tree a scan builds, so every caller of a
// ScanResult (records, dvoscan, the treemap) works on either.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "engine/ScanTree.h"

namespace dvo {

class MovedEntries;

// Why a file could not be read: the byte offset where reading stopped and what was wrong there
// (English, for dvoscan and the engine's error text).
struct NcduReadError {
    std::uint64_t offset = 0;
    std::string reason;
    bool io = false; // the file could not be read at all (not a fault of its contents)
};

// Refused on reading: deeper nesting, or a folder whose full path is longer, would make the
// records' folder texts grow with the square of the file's size.
inline constexpr std::uint32_t kNcduMaxDepth = 4096;
inline constexpr std::size_t kNcduMaxPathBytes = 16384;

// Reads an export from `in` to its end, `chunk` bytes at a time (tests make it small to cut
// every token somewhere). Null with `error` filled for anything that is not a complete, valid
// export: a truncated file never yields a partial tree.
inline constexpr std::size_t kNcduReadChunk = std::size_t{1} << 20;
[[nodiscard]] std::unique_ptr<ScanResult> ReadNcdu(std::FILE* in, NcduReadError& error,
                                                   std::size_t chunk = kNcduReadChunk);

// Writes `result` to the descriptor `fd` (minor version 2), leaving out entries deleted or moved
// away since the scan and, with `moved`, listing entries moved within the tree where they are
// now. False with errno set when a write failed. A large tree is written on several threads,
// in pieces of about `pieceEntries` entries (tests make them small); the bytes are the same.
inline constexpr std::size_t kNcduWritePiece = 8192;
[[nodiscard]] bool WriteNcdu(const ScanResult& result, MovedEntries* moved, int fd,
                             std::int64_t timestamp, std::size_t pieceEntries = kNcduWritePiece);

// Writes the export to `path` through a new file beside it, renamed into place once complete and
// on disk (replacing what was there), so a failed export never leaves a partial file. 0, or the
// errno of the step that failed (the new file then removed).
[[nodiscard]] int WriteNcduFile(const ScanResult& result, MovedEntries* moved,
                                const std::string& path, std::int64_t timestamp);

} // namespace dvo
