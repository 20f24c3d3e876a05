// The search list, identifiers and copy names.
#include "DLLs/Vantor/Vantor.h"

#include "DLLs/Vantor/FindList.h"
#include "platform/Guard.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// A search path ("<folder>/<pattern>") is built in a path buffer.
constexpr std::size_t kMaxSearchPathLength = 259;

// "のコピー" ("copy of") in UTF-8: 12 bytes.
constexpr std::string_view kCopySuffix = "\xE3\x81\xAE\xE3\x82\xB3\xE3\x83\x94\xE3\x83\xBC";
static_assert(kCopySuffix.size() == 12);
constexpr int kMaxCopyName = 40;
// The copy name is built in a zeroed buffer of this size (at most 53 bytes of text).
constexpr std::size_t kCopyNameWork = 54;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

extern "C" {

int SR_FileFindFirst(char* out, const char* directory, const char* pattern) {
    return platform::Guarded<int>(-1, [&]() -> int {
        vantor::FindList* list = vantor::TheFindList();
        if (list == nullptr || out == nullptr || directory == nullptr || pattern == nullptr)
            return -1;
        std::string searchPath = directory;
        if (searchPath.empty() || searchPath.back() != '/')
            searchPath += '/';
        searchPath += pattern;
        // A cut search path would search for other names than the caller asked for.
        if (searchPath.size() > kMaxSearchPathLength)
            return -1;
        if (!list->Search(searchPath.c_str()))
            return -1;
        return list->Next(out) ? 0 : -1;
    });
}

int SR_FileFindNext(char* out) {
    return platform::Guarded<int>(-1, [&]() -> int {
        vantor::FindList* list = vantor::TheFindList();
        return list != nullptr && list->Next(out) ? 0 : -1;
    });
}

int SR_FileFindClose(void) {
    return platform::Guarded<int>(-1, [&]() -> int {
        vantor::FindList* list = vantor::TheFindList();
        return list != nullptr && list->Close() ? 0 : -1;
    });
}

int SR_GenerateUniqID(char* out, int first, int second, int third, int fourth) {
    return platform::Guarded<int>(-1, [&]() -> int {
        if (out == nullptr)
            return -1;
        std::sprintf(out, "%1.1d%5.5d%3.3d%5.5d", first, second, third, fourth);
        return 0;
    });
}

int SR_GenerateFileID(char* out, int first, int second, int third) {
    return platform::Guarded<int>(-1, [&]() -> int {
        if (out == nullptr)
            return -1;
        std::sprintf(out, "%1.1d%3.3d%5.5d", first, second, third);
        return 0;
    });
}

int SRMakeCopyName(char* out, const char* name, int n) {
    return platform::Guarded<int>(0, [&]() -> int {
        if (out == nullptr || name == nullptr)
            return 0;
        char work[kCopyNameWork] = {};
        const std::string suffix(kCopySuffix);
        // snprintf keeps a long name inside the work buffer; such a name is over 40 bytes anyway.
        const int length = n == 1 ? std::snprintf(work, sizeof work, "%s%s", name, suffix.c_str())
                                  : std::snprintf(work, sizeof work, "%s%s%c%d%c", name,
                                                  suffix.c_str(), '(', n, ')');
        if (length < 0 || length > kMaxCopyName)
            return 0;
        std::memcpy(out, work, static_cast<std::size_t>(length) + 1);
        return length;
    });
}

char* SRPickUpCopyNameBody(char* out, const char* name) {
    return platform::Guarded<char*>(out, [&]() -> char* {
        if (out == nullptr)
            return out;
        if (name == nullptr) {
            std::memset(out, 0, kMaxCopyName);
            return out;
        }
        const std::string_view text(name);
        const std::size_t length = text.size();
        // The last occurrence, searching on behind each hit; bytes, so a hit always starts on
        // the suffix's first character.
        std::size_t last = length;
        for (std::size_t hit = text.find(kCopySuffix); hit != std::string_view::npos;
             hit = text.find(kCopySuffix, hit + kCopySuffix.size()))
            last = hit;

        std::size_t body = length;
        if (last == length || last + kCopySuffix.size() == length) {
            body = last;
        } else {
            const std::size_t open = last + kCopySuffix.size();
            const std::size_t close = length - 1;
            if (text[open] == '(' && text[close] == ')' && close - open - 1 <= 3) {
                bool digits = true;
                for (std::size_t i = open + 1; i < close; ++i)
                    digits = digits && IsDigit(text[i]);
                if (digits)
                    body = last;
            }
        }
        // Always terminated: the caller's buffer holds the body and its zero. The body is
        // taken before out is cleared, so name and out may be one buffer.
        const std::string kept(text.substr(0, body));
        std::memset(out, 0, kMaxCopyName);
        std::memcpy(out, kept.data(), kept.size());
        out[kept.size()] = '\0';
        return out;
    });
}

} // extern "C"
