#include "app/main/EngineErrorText.h"

#include "platform/Text.h"

#include <string_view>

namespace dvo::app {

std::string EngineErrorText(IEngine& engine) {
    // Room for a reason that names two long paths.
    constexpr int kUnits = 2048;
    std::u16string text(kUnits, u'\0');
    engine.DVOGetLastErrorText(text.data(), kUnits * static_cast<int>(sizeof(char16_t)));
    text.resize(std::u16string_view(text.c_str()).size());
    return platform::Utf16ToUtf8(text);
}

} // namespace dvo::app
