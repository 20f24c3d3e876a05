#pragma once
// The engine's reason for its last failure, as UTF-8.
#include "app/main/IEngine.h"

#include <string>

namespace dvo::app {

// DVOGetLastErrorText as UTF-8 ("" when the engine gives none).
[[nodiscard]] std::string EngineErrorText(IEngine& engine);

} // namespace dvo::app
