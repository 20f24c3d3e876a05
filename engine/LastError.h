#pragma once
// Engine-internal: the reason of the last failed call, read back through DVOGetLastErrorText.
// Any thread may set it (a search's controller reports a failure of its own there).
#include <string>
#include <string_view>

namespace dvo {

// Sets the text (UTF-8); an empty text clears it. Never throws: without memory for the text the
// previous one is cleared instead.
void SetLastErrorText(std::string_view utf8) noexcept;

// Copies the text into the caller's UTF-16 buffer as DVOGetLastErrorText documents.
int CopyLastErrorText(char16_t* buffer, int bufferBytes) noexcept;

// The text given when memory or threads ran out inside the engine.
inline constexpr const char* kOutOfResourcesText =
    "メモリまたはスレッドが足りないため、処理を中断しました";

// The text given when a search stopped where its records would not have fitted in memory.
inline constexpr const char* kRecordBudgetText =
    "フォルダの階層が深すぎるため、メモリに収まる所までで検索を終えました";

} // namespace dvo
