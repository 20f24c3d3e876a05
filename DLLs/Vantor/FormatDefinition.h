#pragma once
// The reader of format-definition files: the keys of their "[COMMON]" section.
#include <cstdio>

namespace vantor {

// Longest token kept; the rest of a longer token is dropped, never read as a token of its own.
inline constexpr std::size_t kMaxToken = 255;

// The caller's buffers in key order: format name, format id, format state, domain id or field
// count, group count, terminal id. Null buffers are skipped; each given one holds 255 bytes.
struct FormatTargets {
    char* formatName = nullptr;
    char* formatId = nullptr;
    char* formatState = nullptr;
    char* domainOrFieldCount = nullptr;
    char* groupCount = nullptr;
    char* terminalId = nullptr;
};

// Reads the file's tokens to its end and copies the values of the section "[COMMON]" (and of
// everything after it) into the targets; a later key overwrites an earlier one.
void ReadFormatDefinition(std::FILE* file, const FormatTargets& targets);

} // namespace vantor
