#include "DLLs/Vantor/FormatDefinition.h"

#include "DLLs/Vantor/Vantor.h"
#include "platform/DebugOutput.h"

#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {
namespace {

// The path is built in a buffer of 1024 bytes.
constexpr std::size_t kMaxPath = 1023;

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

bool IsBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The next white-space separated token, at most kMaxToken bytes; false at the end of the file.
bool NextToken(std::FILE* file, std::string& token) {
    token.clear();
    int c = std::getc(file);
    while (c != EOF && IsBlank(c))
        c = std::getc(file);
    if (c == EOF)
        return false;
    while (c != EOF && !IsBlank(c)) {
        if (token.size() < kMaxToken)
            token += static_cast<char>(c);
        c = std::getc(file);
    }
    return true;
}

struct Key {
    std::string_view name;
    char* FormatTargets::*target;
};

constexpr Key kKeys[] = {
    {"DOMAIN_ID=", &FormatTargets::domainOrFieldCount},
    {"FORMAT_STATE=", &FormatTargets::formatState},
    {"FORMAT_ID=", &FormatTargets::formatId},
    {"FORMAT_NAME=", &FormatTargets::formatName},
    {"FIELD_NUM=", &FormatTargets::domainOrFieldCount},
    {"GROUP_NUM=", &FormatTargets::groupCount},
    {"TERM_ID=", &FormatTargets::terminalId},
};

void TakeKey(std::string_view token, const FormatTargets& targets) {
    for (const Key& key : kKeys) {
        if (!token.starts_with(key.name))
            continue;
        char* out = targets.*key.target;
        if (out == nullptr)
            return;
        // The value ends at the token's end or at a zero byte inside it, as a text copy would.
        std::string_view value = token.substr(key.name.size());
        value = value.substr(0, value.find('\0'));
        std::memcpy(out, value.data(), value.size());
        out[value.size()] = '\0';
        return;
    }
}

} // namespace

void ReadFormatDefinition(std::FILE* file, const FormatTargets& targets) {
    bool inside = false;
    std::string token;
    token.reserve(kMaxToken);
    while (NextToken(file, token)) {
        if (!inside) {
            if (token.front() == '[')
                inside = token == "[COMMON]";
            continue;
        }
        // Once inside, a later section header is only a token to skip: the reader stays inside.
        if (token.front() != ';')
            TakeKey(token, targets);
    }
}

} // namespace vantor

extern "C" int GetFormatDefinition2(const char* folder, const char* file, char* formatName,
                                    char* formatId, char* formatState, char* domainOrFieldCount,
                                    char* groupCount, char* terminalId) {
    try {
        platform::DebugOutput("GetFormatDefinition Called");
        if (folder == nullptr || file == nullptr)
            return -1;
        std::string path = folder;
        if (path.empty() || path.back() != '/')
            path += '/';
        path += file;
        if (path.size() > vantor::kMaxPath)
            return -1;
        // Non-blocking so that a fifo or device given as the file cannot hang the caller; only a
        // regular file is read.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return -1;
        struct stat st = {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return -1;
        }
        std::FILE* stream = ::fdopen(fd, "r");
        if (stream == nullptr) {
            ::close(fd);
            return -1;
        }
        std::unique_ptr<std::FILE, vantor::FileCloser> open(stream);
        platform::DebugOutput("FileOpen OK");
        vantor::ReadFormatDefinition(stream, {formatName, formatId, formatState, domainOrFieldCount,
                                              groupCount, terminalId});
        platform::DebugOutput("ReadComplete OK");
        return std::fclose(open.release()) == 0 ? 0 : -1;
    } catch (...) {
        return -1;
    }
}
