#pragma once
// The extension a name is listed under in the kinds window: what follows the last "." when that
// dot is neither the first nor the last unit, ASCII letters in lower case ("a.JPG" and "b.jpg"
// are both "jpg"; ".profile", "notes" and "x." have none). The engine groups its totals by the
// same rule; the treemap outlines a kind's entries with it.
#include <string>
#include <string_view>

namespace dvo::app {

// UTF-16 as the engine keeps names, so a name that is not UTF-8 compares unit for unit.
[[nodiscard]] std::u16string ListingExtension(std::u16string_view name);

} // namespace dvo::app
