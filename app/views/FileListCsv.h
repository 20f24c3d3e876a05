#pragma once
// Every entry of a result as CSV (RFC 4180) for spreadsheet programs: UTF-8 with a byte order
// mark, so that they read the Japanese, lines ending in CRLF, columns パス, 種類, サイズ, 更新日時.
#include "app/main/IEngine.h"

#include <string>
#include <string_view>

namespace dvo::app {

// A field as CSV writes it: quoted, with its quotes doubled, when it holds a comma, a quote or
// a line break; as it is otherwise.
[[nodiscard]] std::string CsvField(std::string_view text);

// Writes the entries from `top` down (top first, then each folder's entries in the engine's
// order, depth first) to fd. False with errno set when a write failed.
[[nodiscard]] bool WriteFileListCsv(IEngine& engine, FolderRecord* top, int fd);

} // namespace dvo::app
