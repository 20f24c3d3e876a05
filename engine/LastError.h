#pragma once
// Engine-internal: the reason of the last failed call, read back through DVOGetLastErrorText.
// Any thread may set it (a search's controller reports a failure of its own there).
#include "engine/UserTexts.h"

#include <string>
#include <string_view>

namespace dvo {

// Sets the text (UTF-8); an empty text clears it. Never throws: without memory for the text the
// previous one is cleared instead.
void SetLastErrorText(std::string_view utf8) noexcept;

// Copies the text into the caller's UTF-16 buffer as DVOGetLastErrorText documents.
int CopyLastErrorText(char16_t* buffer, int bufferBytes) noexcept;

// The texts live with the engine's other user texts; these names are what the engine sets.
inline constexpr const char* kOutOfResourcesText = texts::kOutOfResources;
inline constexpr const char* kRecordBudgetText = texts::kRecordBudget;

} // namespace dvo
