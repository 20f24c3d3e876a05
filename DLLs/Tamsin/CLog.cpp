#include "DLLs/Tamsin/CLog.h"

#include "DLLs/Tamsin/LogClock.h"
#include "DLLs/common/SystemInfo.h"
#include "platform/DebugOutput.h"
#include "platform/Paths.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <pthread.h>
#include <stdio_ext.h>
#include <unistd.h>
#include <vector>

namespace tamsin {
namespace {

constexpr const char* kDefaultFolder = "Lumetra";
constexpr const char* kStartLine = "Log Started - CLog Ver. 1.2 (Sep 2006)";
constexpr const char* kEndLine = "Log Ended";
constexpr const char* kChangeLine = "Log Change";
constexpr const char* kChangedLine = "Log Changed - CLog Ver. 1.1 (Oct 2004)";

// Zero-fills the field and copies at most size - 1 bytes of the text (null counts as empty).
template <std::size_t N> void CopyField(char (&field)[N], const char* text) {
    std::memset(field, 0, N);
    if (text != nullptr)
        std::strncpy(field, text, N - 1);
}

// Joins with exactly one '/'.
std::string JoinPath(std::string left, std::string_view right) {
    while (left.size() > 1 && left.back() == '/')
        left.pop_back();
    if (!left.empty() && left.back() != '/')
        left += '/';
    return left + std::string(right);
}

// mkdir's usual mode; the umask decides the rest.
constexpr unsigned kFolderMode = 0777;

// The logs with a writer thread, so that lines still queued when the process ends or the
// library is unloaded are written whole: a program that never calls LOGTerm would otherwise
// lose them, or have one torn by exit while the writer was in the middle of it. A list through
// the logs themselves with nothing to destroy, so logs closed from other static destructors
// still find it and nothing of it is left behind when the library is unloaded.
struct QueuedLogs {
    std::mutex mutex;
    CLog* first = nullptr;
    bool finished = false; // the process is ending: lines are written at once from now on
};
QueuedLogs g_queued;

// Destroyed at exit() and at dlclose of the library, before the C library's own clean-up.
struct DrainAtEnd {
    ~DrainAtEnd() {
        std::lock_guard<std::mutex> lock(g_queued.mutex);
        g_queued.finished = true;
        for (CLog* log = g_queued.first; log != nullptr; log = log->NextQueued())
            log->Finish();
    }
} g_drainAtEnd;

// fork() copies only the forking thread. Every lock of the logs is taken around it, so that the
// child finds none held by a thread it does not have, and the child's logs get writers anew.
void PrepareFork() {
    g_queued.mutex.lock();
    for (CLog* log = g_queued.first; log != nullptr; log = log->NextQueued())
        log->LockForFork();
}

void ParentAfterFork() {
    for (CLog* log = g_queued.first; log != nullptr; log = log->NextQueued())
        log->UnlockAfterFork();
    g_queued.mutex.unlock();
}

void ChildAfterFork() {
    for (CLog* log = g_queued.first; log != nullptr; log = log->NextQueued())
        log->ResetInForkChild();
    g_queued.mutex.unlock();
}

// Registered at load; unloading the library removes the handlers with it.
const int g_forkHandlers = ::pthread_atfork(&PrepareFork, &ParentAfterFork, &ChildAfterFork);

} // namespace

CLog::CLog(int nLevel, bool bEnable, bool bDebugMessage, bool bFlush, bool bDate,
           const char* lpszLogName, const char* lpszTag, const char* lpszSuffix,
           const char* lpszFolder) noexcept {
    CopyField(m_szFolder, lpszFolder != nullptr ? lpszFolder : kDefaultFolder);
    m_nLevel = nLevel;
    m_bEnable = bEnable;
    m_bDebugMessage = bDebugMessage;
    m_bFlush = bFlush;
    m_bDate = bDate;
    CopyField(m_szTag, lpszTag);
    CopyField(m_szSuffix, lpszSuffix);
    CopyField(m_szLogName, lpszLogName);
    try {
        if (m_bDate)
            StampFileDate();
        const std::string fileName = DatedFileName(m_bDate);

        std::string path = fileName;
        const std::string appData = platform::AppDataDir();
        if (!appData.empty()) {
            std::string folder = JoinPath(appData, m_szFolder);
            platform::MakeDirectories(folder, kFolderMode);
            std::string base = platform::ExecutableBaseName();
            folder = JoinPath(folder, base.empty() ? std::string("Log") : base);
            platform::MakeDirectories(folder, kFolderMode);
            path = JoinPath(folder, fileName);
        }
        if (m_bEnable)
            OpenFileOrDisable(path);

        UnfilteredLine(kStartLine);
        WriteSystemReport();
    } catch (...) {
        // A log that could not be opened completely still works for what it has; only the file
        // is given up, as for a file that cannot be opened.
        try {
            if (m_bEnable)
                CloseFile();
        } catch (...) {
        }
        StopWriter();
        m_bEnable = false;
    }
}

CLog::~CLog() {
    try {
        UnfilteredLine(kEndLine);
        if (m_bEnable)
            CloseFile();
    } catch (...) {
    }
    // Never let a writer outlive its log, whatever failed above.
    Unregister();
    StopWriter();
    if (m_fp != nullptr) {
        std::fclose(m_fp);
        m_fp = nullptr;
    }
}

bool CLog::Passes(int level) const noexcept {
    return level <= m_nLevel && (m_bEnable || m_bDebugMessage);
}

void CLog::Output(int level, std::string_view message) noexcept {
    if (!Passes(level))
        return;
    try {
        UnfilteredLine(message);
    } catch (...) {
    }
}

void CLog::UnfilteredLine(std::string_view message) {
    if (!m_bEnable && !m_bDebugMessage)
        return;
    if (m_bDate)
        DayCheck();
    WriteLine(BuildLine(message));
}

std::string CLog::BuildLine(std::string_view message) const {
    const platform::LocalTime now = LogNow();
    const std::string stamp = platform::FormatCtime(now);
    char head[kLineSize];
    int headLength = std::snprintf(head, sizeof head, "%s %.19s.%.3hu %.4s :: ", m_szTag,
                                   stamp.c_str(), static_cast<unsigned short>(now.millisecond),
                                   stamp.size() > 20 ? stamp.c_str() + 20 : "");
    headLength = std::clamp(headLength, 0, static_cast<int>(sizeof head - 1));

    std::string tail = " ";
    tail += m_szSuffix;
    tail += '\n';

    // Keep the head, the suffix and the line end; the message gives way to stay in 1023.
    const std::size_t room = kLineSize - 1 - static_cast<std::size_t>(headLength) - tail.size();
    const std::size_t nul = message.find('\0');
    if (nul != std::string_view::npos)
        message = message.substr(0, nul);
    message = message.substr(0, std::min(message.size(), room));

    std::string line;
    line.reserve(static_cast<std::size_t>(headLength) + message.size() + tail.size());
    line.append(head, static_cast<std::size_t>(headLength));
    line.append(message);
    line.append(tail);
    return line;
}

void CLog::WriteLine(std::string_view line) {
    if (m_bDebugMessage)
        platform::DebugOutput(line);
    if (m_bEnable)
        PutLine(line);
}

void CLog::DayCheck() {
    // Its own reading of the clock, taken before the line's time stamp.
    const platform::LocalTime now = LogNow();
    if (now.year != m_tmFile.tm_year + 1900 || now.month != m_tmFile.tm_mon + 1 ||
        now.day != m_tmFile.tm_mday)
        DayChange();
}

void CLog::DayChange() {
    if (!m_bDate || !m_bEnable)
        return;
    m_bDate = false;
    UnfilteredLine(kChangeLine);
    CloseFile();

    StampFileDate();
    const std::string fileName = DatedFileName(true);
    // The new day's file lies directly in the log folder, without the program's folder, and no
    // folder is made for it: existing readers of these logs look for it there.
    const std::string appData = platform::AppDataDir();
    const std::string path =
        appData.empty() ? fileName : JoinPath(JoinPath(appData, m_szFolder), fileName);
    OpenFileOrDisable(path);

    UnfilteredLine(kChangedLine);
    m_bDate = true;
}

void CLog::StampFileDate() {
    const platform::LocalTime now = LogNow();
    m_tmFile = std::tm{};
    m_tmFile.tm_year = now.year - 1900;
    m_tmFile.tm_mon = now.month - 1;
    m_tmFile.tm_mday = now.day;
    m_tmFile.tm_hour = now.hour;
    m_tmFile.tm_min = now.minute;
    m_tmFile.tm_sec = now.second;
    m_tmFile.tm_wday = now.weekday;
}

std::string CLog::DatedFileName(bool dated) const {
    std::string name = m_szLogName;
    if (dated) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "_%4.4d%2.2d%2.2d", m_tmFile.tm_year + 1900,
                      m_tmFile.tm_mon + 1, m_tmFile.tm_mday);
        name += stamp;
    }
    return name + ".txt";
}

void CLog::OpenFileOrDisable(const std::string& path) {
    bool opened = false;
    try {
        opened = OpenFile(path);
    } catch (...) {
        StopWriter();
    }
    if (!opened) {
        m_bEnable = false;
        m_fp = nullptr;
    }
}

void CLog::Dump(const unsigned char* data, unsigned length, bool all) noexcept {
    if ((!m_bEnable && !m_bDebugMessage) || length == 0 || data == nullptr)
        return;
    const bool dated = m_bDate;
    try {
        if (m_bDate)
            DayCheck();
        const bool resume = m_bDate;
        m_bDate = false;
        const std::size_t total = all ? length : std::min<std::size_t>(length, kDumpLimit);
        for (std::size_t offset = 0; offset < total; offset += 16) {
            const std::size_t count = std::min<std::size_t>(16, total - offset);
            const unsigned char* row = data + offset;
            char cell[32];
            std::string hex;
            if (all) {
                // Eight digits, as the column is laid out: the low 32 bits of the address.
                const auto address = reinterpret_cast<std::uintptr_t>(row);
                std::snprintf(cell, sizeof cell,
                              "%-8.8lX:", static_cast<unsigned long>(address & 0xFFFFFFFFu));
                hex += cell;
            }
            std::string chars;
            unsigned sum = 0;
            for (std::size_t i = 0; i < count; ++i) {
                std::snprintf(cell, sizeof cell, "%2.2X ", row[i]);
                hex += cell;
                chars += (row[i] < 0x20 || row[i] == 0x7F) ? '.' : static_cast<char>(row[i]);
                sum += row[i];
            }
            hex.append(3 * (16 - count), ' ');

            std::string line = m_szTag;
            line += hex;
            line += " : ";
            if (all) {
                std::snprintf(cell, sizeof cell, "%-2.2X : ", sum & 0xFFu);
                line += cell;
            }
            line += chars;
            line += ' ';
            line += m_szSuffix;
            line += '\n';
            WriteLine(line);
        }
        m_bDate = resume;
    } catch (...) {
        m_bDate = dated;
    }
}

void CLog::WriteSystemReport() {
    const common::SystemReport report = common::ReadSystemReport(common::CurrentSystemSources());
    // A value is cut to what one line can hold; the line itself is cut to 1023 when it is built.
    auto cut = [](const std::string& value) { return value.substr(0, kLineSize - 1); };
    char text[2 * kLineSize];
    auto line = [&](const char* format, auto... args) {
        std::snprintf(text, sizeof text, format, args...);
        UnfilteredLine(text);
    };

    UnfilteredLine("+++ CPU Information +++");
    line("Number Of Processors = %d", report.processorCount);
    line("Processor Architecture = %s", cut(report.processorText).c_str());
    for (const std::string& cpu : report.cpuLines)
        UnfilteredLine(cut(cpu).c_str());
    UnfilteredLine("+++ CPU Information End +++");

    UnfilteredLine("+++ Operating System Information +++");
    line("OS Version = %s", cut(report.osVersion).c_str());
    UnfilteredLine("+++ Operating System Information End +++");

    UnfilteredLine("+++ File Volume Information +++");
    line("Volume Label : %s", cut(report.volumeLabel).c_str());
    line("FileSystem : %s", cut(report.fileSystem).c_str());
    line("Volume Serial Number : %4.4X-%4.4X", static_cast<unsigned>(report.volumeSerial >> 16),
         static_cast<unsigned>(report.volumeSerial & 0xFFFFu));
    line("Windows Folder : %s", cut(report.windowsFolder).c_str());
    UnfilteredLine("+++ File Volume Information End +++");

    UnfilteredLine("+++ Memory Information +++");
    line("%ld percent of memory is in use.", static_cast<long>(report.memoryLoad));
    constexpr int kWidth = 7;
    auto kib = [](std::uint64_t bytes) { return static_cast<unsigned long long>(bytes >> 10); };
    line("There are %*llu total %sbytes of physical memory.", kWidth, kib(report.totalPhys), "K");
    line("There are %*llu free %sbytes of physical memory.", kWidth, kib(report.availPhys), "K");
    line("There are %*llu total %sbytes of paging file.", kWidth, kib(report.totalPageFile), "K");
    line("There are %*llu free %sbytes of paging file.", kWidth, kib(report.availPageFile), "K");
    line("There are %*llu total %sbytes of virtual memory.", kWidth, kib(report.totalVirtual), "K");
    line("There are %*llu free %sbytes of virtual memory.", kWidth, kib(report.availVirtual), "K");
    UnfilteredLine("+++ Memory Information End +++");

    UnfilteredLine("+++ Computer Information +++");
    line("ComputerName = %s", cut(report.computerName).c_str());
    line("UserName = %s", cut(report.userName).c_str());
    UnfilteredLine("+++ Computer Information End +++");
}

// --- file output ----------------------------------------------------------------------------

bool CLog::OpenFile(const std::string& path) {
    if (m_bFlush) {
        m_fp = std::fopen(path.c_str(), "ae");
        return m_fp != nullptr;
    }
    if (!StartWriter())
        return false;
    std::FILE* fp = std::fopen(path.c_str(), "ae");
    if (fp == nullptr) {
        StopWriter();
        return false;
    }
    // One flush a pass writes the whole batch: a larger buffer means fewer writes for it.
    std::setvbuf(fp, nullptr, _IOFBF, 1 << 16);
    {
        std::lock_guard<std::mutex> lock(m_csQueue);
        m_fp = fp;
    }
    std::lock_guard<std::mutex> lock(g_queued.mutex);
    if (g_queued.finished) {
        Finish(); // opened while the process ends: no writer to rely on
    } else {
        m_nextQueued = g_queued.first;
        g_queued.first = this;
        m_registered = true;
    }
    return true;
}

bool CLog::StartWriter() {
    m_nInterval = 100;
    m_bStopWriter = false;
    try {
        m_hWriter = std::thread(&CLog::WriterThread, this);
        // Named, so that a debugger or top shows whose thread it is.
        ::pthread_setname_np(m_hWriter.native_handle(), kWriterThreadName);
    } catch (...) {
        return false;
    }
    return true;
}

void CLog::LockForFork() noexcept { m_csQueue.lock(); }

void CLog::UnlockAfterFork() noexcept { m_csQueue.unlock(); }

void CLog::ResetInForkChild() noexcept {
    // The queued lines and whatever the stream still buffers are the parent's to write. The
    // child's copy of the stream is emptied and left unclosed, so none of it reaches the file a
    // second time; the child writes through a stream of its own on the same open file.
    m_queue.clear();
    if (m_fp != nullptr) {
        ::__fpurge(m_fp);
        const int fd = ::fcntl(::fileno(m_fp), F_DUPFD_CLOEXEC, 0);
        std::FILE* fp = fd >= 0 ? ::fdopen(fd, "a") : nullptr;
        if (fp == nullptr && fd >= 0)
            ::close(fd);
        if (fp != nullptr)
            std::setvbuf(fp, nullptr, _IOFBF, 1 << 16);
        m_fp = fp;
    }
    // The writer and any thread waiting on the condition are the parent's: their handles are
    // dropped as they are (joining or signalling them would wait for ever).
    ::new (static_cast<void*>(&m_hWriter)) std::thread();
    ::new (static_cast<void*>(&m_cvWake)) std::condition_variable();
    m_bWriterRunning = false;
    m_bStopWriter = false;
    m_bWriterLost = !m_bDirect;
    m_csQueue.unlock();
}

void CLog::Finish() noexcept {
    // The writer writes what is queued before it stops; what comes later is written at once.
    StopWriter();
    std::lock_guard<std::mutex> lock(m_csQueue);
    m_bDirect = true;
    if (m_fp != nullptr) {
        for (const LineRecord& record : m_queue)
            std::fputs(record.text, m_fp);
        m_queue.clear();
        std::fflush(m_fp);
    }
}

void CLog::Unregister() noexcept {
    if (!m_registered)
        return;
    std::lock_guard<std::mutex> lock(g_queued.mutex);
    for (CLog** link = &g_queued.first; *link != nullptr; link = &(*link)->m_nextQueued) {
        if (*link == this) {
            *link = m_nextQueued;
            break;
        }
    }
    m_registered = false;
}

void CLog::PutLine(std::string_view line) {
    line = line.substr(0, kLineSize - 1);
    if (m_bFlush) {
        if (m_fp == nullptr)
            return;
        // The line is data, never a format. Errors lose the line and nothing else.
        std::fwrite(line.data(), 1, line.size(), m_fp);
        if (std::fflush(m_fp) == 0)
            ::fdatasync(::fileno(m_fp));
        return;
    }
    std::lock_guard<std::mutex> lock(m_csQueue);
    if (m_bWriterLost) {
        // The first line of a forked child starts its writer; without one, lines go out at once.
        m_bWriterLost = false;
        if (!StartWriter())
            m_bDirect = true;
    }
    if (m_bDirect) {
        if (m_fp != nullptr) {
            std::fwrite(line.data(), 1, line.size(), m_fp);
            std::fflush(m_fp);
        }
        return;
    }
    LineRecord& record = m_queue.emplace_back();
    std::memcpy(record.text, line.data(), line.size());
    record.text[line.size()] = '\0';
}

void CLog::DrainQueue() {
    bool wrote = false;
    std::FILE* fp = nullptr;
    {
        // Held for the whole batch, stream writes included, so records leave in queue order.
        std::lock_guard<std::mutex> lock(m_csQueue);
        fp = m_fp;
        while (!m_queue.empty()) {
            if (fp != nullptr)
                std::fputs(m_queue.front().text, fp);
            wrote = true;
            m_queue.pop_front();
        }
    }
    if (wrote && fp != nullptr)
        std::fflush(fp);
}

void CLog::CloseFile() {
    Unregister();
    if (!m_bFlush && m_hWriter.joinable()) {
        DrainQueue();
        StopWriter();
    }
    if (!m_bFlush)
        DrainQueue(); // lines written after the process began to end
    if (m_fp != nullptr) {
        std::fclose(m_fp);
        m_fp = nullptr;
    }
}

void CLog::StopWriter() {
    if (!m_hWriter.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_csQueue);
        m_bStopWriter = true;
    }
    m_cvWake.notify_all();
    m_hWriter.join();
}

void CLog::WriterThread(CLog* log) {
    log->m_bWriterRunning = true;
    for (;;) {
        log->DrainQueue();
        if (log->m_bStopWriter)
            break;
        std::unique_lock<std::mutex> lock(log->m_csQueue);
        log->m_cvWake.wait_for(lock, std::chrono::milliseconds(log->m_nInterval),
                               [log] { return log->m_bStopWriter.load(); });
    }
    log->m_bWriterRunning = false;
}

} // namespace tamsin
