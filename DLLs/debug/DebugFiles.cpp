#include "DLLs/debug/DebugFiles.h"

#include "platform/WriteAll.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace dbg {
namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string Stamp19(const platform::LocalTime& t) { return platform::FormatCtime(t).substr(0, 19); }

std::string FormatArgs(const char* format, ...) {
    if (format == nullptr)
        return {};
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string text;
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(n));
    } else if (n > 0) {
        text.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    return text;
}

} // namespace

std::optional<std::string> DayStampedName(std::string_view base, const platform::LocalTime& date) {
    const std::size_t dot = base.rfind('.');
    if (dot == std::string_view::npos)
        return std::string(base);
    const int month = date.month >= 1 && date.month <= 12 ? date.month : 1;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%s%02d.txt", kMonths[month - 1], date.day % 100);
    std::string name(base.substr(0, dot));
    name += stamp;
    if (name.size() > kMaxName)
        return std::nullopt;
    return name;
}

std::string HeaderWithMillis(const platform::LocalTime& t) {
    char ms[8];
    std::snprintf(ms, sizeof ms, "%03d", t.millisecond % 1000);
    return "##### " + Stamp19(t) + ":" + ms + " #####";
}

std::string HeaderWithoutMillis(const platform::LocalTime& t) {
    return "##### " + Stamp19(t) + " #####";
}

std::string FormatCaller(const char* format, int value) { return FormatArgs(format, value); }

std::string FormatCaller(const char* format, int value1, int value2) {
    return FormatArgs(format, value1, value2);
}

AppendFile::AppendFile(const std::string& name)
    : m_fd(::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666)) {}

bool AppendFile::Write(std::string_view bytes) {
    if (!platform::WriteAll(m_fd.get(), bytes)) {
        m_writeErrno = errno;
        return false;
    }
    return true;
}

AppendResult AppendToFile(const std::string& name, std::string_view bytes) {
    AppendResult result;
    AppendFile file(name);
    if (!file.opened())
        return result;
    result.opened = true;
    // The whole text in one write, so lines of writers that take no lock do not interleave.
    result.written = file.Write(bytes);
    result.writeErrno = file.writeErrno();
    result.closeResult = file.Close();
    return result;
}

int NameSlot::Set(const char* name) {
    if (name == nullptr)
        return 0;
    const std::size_t length = std::strlen(name);
    if (length == 0 || length > kMaxName)
        return 0;
    std::lock_guard lock(m_mutex);
    m_name.assign(name, length);
    return static_cast<int>(length) + 1;
}

std::string NameSlot::Get() const {
    std::lock_guard lock(m_mutex);
    return m_name;
}

} // namespace dbg
