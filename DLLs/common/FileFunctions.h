#pragma once
// Paths, files and folders for the libraries' exported calls, on caller-owned byte buffers.
// Path buffers hold 260 bytes (259 bytes of text and the terminating zero); joining puts exactly
// one '/' between the parts and fails when the result would not fit. Deletions, copies and the
// pattern edits trace their entry and exit on the debugger output.
//
// The extension of a path is the text from the last '.' of its last component; a leading dot
// belongs to the name (".profile" has none), so a pattern built from such a name never widens
// to every hidden file.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace common {

inline constexpr std::size_t kPathBufferSize = 260;
inline constexpr std::size_t kMaxPathLength = kPathBufferSize - 1;
// The result of a failed copy: the system's out-of-memory status, read as a signed 32-bit value.
inline constexpr int kCopyFailed = static_cast<int>(0x80000008u);

// ---- path texts (no file system access) ----

// Index of the extension's dot in `path`, npos when it has none.
[[nodiscard]] std::size_t ExtensionDot(std::string_view path) noexcept;
// `base` and `more` with exactly one '/' between them; nullopt when longer than 259 bytes.
[[nodiscard]] std::optional<std::string> JoinPath(std::string_view base, std::string_view more);
// The path with its extension replaced by `extension` (given with its dot), or with it added;
// nullopt when longer than 259 bytes.
[[nodiscard]] std::optional<std::string> ReplaceExtension(std::string_view path,
                                                          std::string_view extension);
// A caller's path text when it fits a path buffer (at most 259 bytes); nullopt for null or a
// longer text. Longer texts are refused rather than cut: a cut path names another file.
[[nodiscard]] std::optional<std::string> BoundedPath(const char* text);

// ---- the operations; each is one exported call of the libraries ----

int GetApplicationDataPath(char* buffer);
int GetApplicationFilenameBody(char* buffer);
int GetFilenameBody(char* path);
int GetCurrentPath(char* out, const char* path);

int PathAppend(char* path, const char* more);
int PathRenameExtension(char* path, const char* extension);
int PathGetExtension(const char* path, char* out);
int FileExists(const char* path);
int FileExistsWithPath(const char* name, const char* directory);

int MakeDirectory(const char* path);
int DeleteFile(const char* name, const char* directory);
int DeleteFiles(const char* name, const char* directory);
int CopyFile(const char* name, const char* directory, const char* source);
int CopyFiles(const char* newBase, const char* directory, const char* oldName);
int MoveEntry(const char* newPath, const char* existingPath);

} // namespace common
