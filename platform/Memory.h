#pragma once
// Page allocation: anonymous private mappings, zero-filled, released with PageFree.
#include <cstddef>

namespace platform {

// nullptr when the size is 0 or the mapping fails.
[[nodiscard]] void* PageAlloc(std::size_t size) noexcept;
// Size must be the size given to PageAlloc. Null is accepted.
bool PageFree(void* block, std::size_t size) noexcept;

} // namespace platform
