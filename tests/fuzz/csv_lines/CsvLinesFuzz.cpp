// A file through CSVHInit, every line through CSVGetLine with a small buffer, and every field of
// each line through CSVReadColumn2: nothing may be written past a buffer, and the lines and
// fields must be the ones the plain rules give.
#include "DLLs/Brindle/Brindle.h"
#include "tests/fuzz/TempInputFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kGuard = 32;
constexpr char kGuardByte = static_cast<char>(0xA5);

void CheckGuard(const std::vector<char>& buffer, std::size_t from) {
    for (std::size_t i = from; i < buffer.size(); ++i)
        if (buffer[i] != kGuardByte)
            std::abort();
}

// Non-empty runs between CR and LF bytes.
std::vector<std::string> ReferenceLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty())
                lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// Field column (from 1) of a terminated line; false when the line has fewer fields.
bool ReferenceField(const char* line, int column, int maxLength, std::string& field) {
    int at = 1;
    const char* p = line;
    for (; at < column; ++p) {
        if (*p == '\0' || *p == '\r' || *p == '\n')
            return false;
        if (*p == ',')
            ++at;
    }
    field.clear();
    for (; *p != ',' && *p != '\0' && *p != '\r' && *p != '\n'; ++p)
        if (*p != '\'' && *p != '"' && static_cast<int>(field.size()) < maxLength)
            field += *p;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int bufferSize = data[0] % 40;
    const int maxLength = data[1] % 24;
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string& path = dvo_fuzz::WriteInputFile("csv_lines", data + 2, size - 2);

    const int handle = CSVHInit(path.c_str());
    if (handle < 1 || handle > 16)
        std::abort();
    for (const std::string& expected : ReferenceLines(text)) {
        std::vector<char> buffer(static_cast<std::size_t>(bufferSize) + kGuard, kGuardByte);
        const int n = CSVGetLine(handle, buffer.data(), bufferSize);
        if (n != static_cast<int>(expected.size()))
            std::abort();
        const std::size_t copied =
            std::min<std::size_t>(expected.size(), static_cast<std::size_t>(bufferSize));
        if (std::memcmp(buffer.data(), expected.data(), copied) != 0)
            std::abort();
        CheckGuard(buffer, copied);

        // The first fields, the last one and the first two past it (a bounded number, so a line of
        // thousands of commas stays cheap).
        const int fields = 1 + static_cast<int>(std::count(expected.begin(), expected.end(), ','));
        std::vector<int> columns{fields, fields + 1, fields + 2};
        for (int column = 0; column < std::min(fields, 16); ++column)
            columns.push_back(column);
        for (const int column : columns) {
            std::vector<char> field(static_cast<std::size_t>(maxLength) + 1 + kGuard, kGuardByte);
            const int stored = CSVReadColumn2(expected.c_str(), column, field.data(), maxLength);
            std::string want;
            if (!ReferenceField(expected.c_str(), column, maxLength, want) || column == 0) {
                if (stored != 0)
                    std::abort();
                CheckGuard(field, 0); // left untouched
                continue;
            }
            if (stored != static_cast<int>(want.size()) ||
                std::memcmp(field.data(), want.data(), want.size()) != 0 ||
                field[want.size()] != '\0')
                std::abort();
            CheckGuard(field, want.size() + 1);
        }
    }
    char rest[4];
    if (CSVGetLine(handle, rest, sizeof rest) != 0)
        std::abort();
    CSVHTerm(handle);
    return 0;
}
