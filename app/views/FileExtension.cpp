#include "app/views/FileExtension.h"

namespace dvo::app {

std::u16string ListingExtension(std::u16string_view name) {
    const auto dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0 || dot + 1 == name.size())
        return {};
    std::u16string ext(name.substr(dot + 1));
    for (char16_t& c : ext)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return ext;
}

} // namespace dvo::app
