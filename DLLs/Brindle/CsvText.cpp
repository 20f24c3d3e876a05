// CSV files handed out line by line from 16 process-wide slots, and cutting a line into fields.
#include "DLLs/Brindle/Brindle.h"

#include "platform/Guard.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kSlots = 16;
constexpr std::size_t kGrowStep = 65536;

struct FreeDeleter {
    void operator()(char* p) const noexcept { std::free(p); }
};
using TextBuffer = std::unique_ptr<char, FreeDeleter>;

// A slot is free while its size is 0, so an empty file's handle never holds memory.
struct TextSlot {
    TextBuffer text;
    std::size_t size = 0;
    std::size_t position = 0;
};

struct TextSlots {
    std::mutex mutex;
    std::array<TextSlot, kSlots> slots;
};

TextSlots& Slots() {
    static TextSlots slots;
    return slots;
}

// The whole content of an open file in one pass, so a file that is not seekable (a pipe) or that
// changes while being read still gives one consistent text. False on a read error or when the
// memory cannot be had.
bool ReadWhole(int fd, TextBuffer& text, std::size_t& size) {
    struct stat st = {};
    std::size_t capacity = kGrowStep;
    // One byte more than the size, so the read that sees the end needs no second buffer.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0)
        capacity = static_cast<std::size_t>(st.st_size) + 1;
    TextBuffer buffer(static_cast<char*>(std::malloc(capacity)));
    if (buffer == nullptr)
        return false;
    std::size_t used = 0;
    for (;;) {
        if (used == capacity) {
            const std::size_t grown = capacity + std::max(capacity / 2, kGrowStep);
            if (grown < capacity)
                return false;
            char* bigger = static_cast<char*>(std::realloc(buffer.get(), grown));
            if (bigger == nullptr)
                return false;
            buffer.release();
            buffer.reset(bigger);
            capacity = grown;
        }
        const ssize_t n = ::read(fd, buffer.get() + used, capacity - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    text = std::move(buffer);
    size = used;
    return true;
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Field number column of line into field, at most maxLength bytes with quotes dropped. found is
// false when there is no such field (column 0, or the line ends before its comma).
int ReadColumn(const char* line, int column, char* field, int maxLength, bool& found) {
    found = false;
    if (line == nullptr || column <= 0)
        return 0;
    const char* p = line;
    for (int skip = column - 1; skip > 0; ++p) {
        if (*p == '\0' || IsLineEnd(*p))
            return 0;
        if (*p == ',')
            --skip;
    }
    // The field exists even when it is empty ("a," has an empty second field).
    found = true;
    int stored = 0;
    for (; stored < maxLength && *p != ',' && *p != '\0' && !IsLineEnd(*p); ++p) {
        if (*p != '\'' && *p != '"')
            field[stored++] = *p;
    }
    return stored;
}

} // namespace

extern "C" {

int CSVHInit(const char* fileName) {
    return platform::Guarded<int>(-1, [&]() -> int {
        if (fileName == nullptr)
            return -1;
        TextSlots& all = Slots();
        const std::lock_guard lock(all.mutex);
        const auto slot = std::find_if(all.slots.begin(), all.slots.end(),
                                       [](const TextSlot& s) { return s.size == 0; });
        if (slot == all.slots.end())
            return -1;
        const platform::UniqueFd file(::open(fileName, O_RDONLY | O_CLOEXEC));
        if (!file.valid())
            return -1;
        TextBuffer text;
        std::size_t size = 0;
        if (!ReadWhole(file.get(), text, size))
            return -1;
        const int handle = static_cast<int>(slot - all.slots.begin()) + 1;
        // An empty file gives its handle but leaves the slot free.
        if (size > 0) {
            slot->text = std::move(text);
            slot->size = size;
            slot->position = 0;
        }
        return handle;
    });
}

int CSVGetLine(int handle, char* buffer, int size) {
    return platform::Guarded<int>(0, [&]() -> int {
        if (handle < 1 || handle > kSlots)
            return 0;
        TextSlots& all = Slots();
        const std::lock_guard lock(all.mutex);
        TextSlot& slot = all.slots[static_cast<std::size_t>(handle - 1)];
        if (slot.size == 0)
            return 0;
        const char* text = slot.text.get();
        std::size_t start = slot.position;
        while (start < slot.size && IsLineEnd(text[start]))
            ++start;
        if (start == slot.size) {
            slot.position = start;
            return 0;
        }
        // The line ends at the first CR or LF: memchr for both keeps long lines fast.
        const std::size_t rest = slot.size - start;
        const char* lf = static_cast<const char*>(std::memchr(text + start, '\n', rest));
        const std::size_t toLf =
            lf != nullptr ? static_cast<std::size_t>(lf - (text + start)) : rest;
        const char* cr = static_cast<const char*>(std::memchr(text + start, '\r', toLf));
        const std::size_t length =
            cr != nullptr ? static_cast<std::size_t>(cr - (text + start)) : toLf;
        if (buffer != nullptr && size > 0)
            std::memcpy(buffer, text + start, std::min(length, static_cast<std::size_t>(size)));
        slot.position = start + length;
        return static_cast<int>(std::min<std::size_t>(length, INT_MAX));
    });
}

void CSVHTerm(int handle) {
    platform::Guarded([&] {
        if (handle < 1 || handle > kSlots)
            return;
        TextSlots& all = Slots();
        const std::lock_guard lock(all.mutex);
        all.slots[static_cast<std::size_t>(handle - 1)] = TextSlot{};
    });
}

int CSVReadColumn(const char* line, int column, char* field, int maxLength) {
    return platform::Guarded<int>(0, [&]() -> int {
        if (field == nullptr)
            return 0;
        bool found = false;
        return ReadColumn(line, column, field, maxLength, found);
    });
}

int CSVReadColumn2(const char* line, int column, char* field, int maxLength) {
    return platform::Guarded<int>(0, [&]() -> int {
        if (field == nullptr || maxLength < 0)
            return 0;
        bool found = false;
        const int stored = ReadColumn(line, column, field, maxLength, found);
        if (found)
            field[stored] = '\0';
        return stored;
    });
}

} // extern "C"
