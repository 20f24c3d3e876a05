#include "engine/ErrorTable.h"

#include <cstdio>
#include <cstring>

namespace dvo {

std::string ReasonText(int error) {
    if (const char* text = MeaningOf(error).text; text != nullptr)
        return text;
    if (const char* text = ::strerrordesc_np(error); text != nullptr)
        return text;
    // Not std::to_string: its libstdc++ helper templates would be exported from the library.
    char number[24];
    std::snprintf(number, sizeof number, "%d", error);
    return std::string(texts::kErrorNumber) + number;
}

} // namespace dvo
