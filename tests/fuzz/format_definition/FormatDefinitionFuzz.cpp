// Format-definition files come from anywhere: no token, however long or strange, may write past
// the 255 bytes each receiving buffer is promised, and every value stays a terminated text.
#include "DLLs/Vantor/FormatDefinition.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0; // fmemopen refuses an empty buffer
    std::FILE* file = ::fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (file == nullptr)
        return 0;
    // Heap blocks of exactly the promised size, so that ASan sees one byte too many.
    constexpr std::size_t kBuffer = vantor::kMaxToken;
    std::unique_ptr<char[]> buffers[6];
    for (auto& b : buffers) {
        b = std::make_unique<char[]>(kBuffer);
        std::memset(b.get(), '#', kBuffer);
    }
    vantor::ReadFormatDefinition(file, {buffers[0].get(), buffers[1].get(), buffers[2].get(),
                                        buffers[3].get(), buffers[4].get(), buffers[5].get()});
    std::fclose(file);
    for (auto& b : buffers) {
        // Untouched, or a text that ends inside the buffer.
        if (b[0] != '#' && std::memchr(b.get(), '\0', kBuffer) == nullptr)
            std::abort();
    }
    return 0;
}
