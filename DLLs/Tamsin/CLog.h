#pragma once
// One open log: its settings, its file and, in queued mode, the queue its writer thread drains.
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace tamsin {

// One finished line with its terminating zero; a line never exceeds 1023 characters.
struct LineRecord {
    char text[1024];
};

class CLog {
public:
    static constexpr std::size_t kLineSize = 1024;
    static constexpr std::size_t kDumpLimit = 256;
    static constexpr const char* kWriterThreadName = "TamsinWriter";

    // Opens the log: file path, folders, file (turned off when it cannot be opened), start line
    // and machine report. lpszFolder null means "Lumetra". Never throws.
    CLog(int nLevel, bool bEnable, bool bDebugMessage, bool bFlush, bool bDate,
         const char* lpszLogName, const char* lpszTag, const char* lpszSuffix,
         const char* lpszFolder) noexcept;
    // Writes "Log Ended", then writes what is queued and ends the writer before closing.
    virtual ~CLog();

    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    // Whether a line of this level is written at all (level filter and outputs).
    [[nodiscard]] bool Passes(int level) const noexcept;
    // A filtered line: the message (already formatted) is copied, never interpreted.
    void Output(int level, std::string_view message) noexcept;
    // Hex dump: the first 256 bytes, or with `all` the whole block with addresses and checksums.
    void Dump(const unsigned char* data, unsigned length, bool all) noexcept;

    // The process is ending (or the library unloading): stops the writer after it has written
    // every queued line; later lines are written at once.
    void Finish() noexcept;
    // The next log in the list of logs with a writer (see CLog.cpp).
    [[nodiscard]] CLog* NextQueued() const noexcept { return m_nextQueued; }

    // Around fork(): the forking thread takes the queue's lock, so the child's copy of the log
    // is not caught half-changed, and releases it again in the parent.
    void LockForFork() noexcept;
    void UnlockAfterFork() noexcept;
    // In the child, where only the forking thread exists: forgets the parent's writer and queued
    // lines (the parent writes those), takes a stream of its own and releases the lock. The next
    // line starts a writer of the child's own.
    void ResetInForkChild() noexcept;

    [[nodiscard]] bool FileEnabled() const noexcept { return m_bEnable; }
    [[nodiscard]] bool DailyFiles() const noexcept { return m_bDate; }

private:
    void UnfilteredLine(std::string_view message);
    void DayCheck();
    void DayChange();
    // The head, message and suffix in at most 1023 characters; the message gives way.
    [[nodiscard]] std::string BuildLine(std::string_view message) const;
    // A finished line to the debugger output and the file, as the switches say.
    void WriteLine(std::string_view line);
    void WriteSystemReport();
    // Opens the file; on failure (or a fault) turns file output off for good.
    void OpenFileOrDisable(const std::string& path);
    void StampFileDate();
    // The log name, with the date stamp of m_tmFile when dated, and ".txt".
    [[nodiscard]] std::string DatedFileName(bool dated) const;

    bool OpenFile(const std::string& path);
    void PutLine(std::string_view line);
    void DrainQueue();
    void CloseFile();
    void StopWriter();
    // Starts the writer; false when no thread can be started.
    bool StartWriter();
    void Unregister() noexcept;
    static void WriterThread(CLog* log);

    std::deque<LineRecord> m_queue; // guarded by m_csQueue
    std::FILE* m_fp = nullptr;      // set under m_csQueue; closed only after the writer ended
    std::atomic<bool> m_bWriterRunning{false};
    std::atomic<bool> m_bStopWriter{false};
    bool m_bDirect = false;     // guarded by m_csQueue: no writer any more, lines go straight out
    bool m_registered = false;  // listed among the queued logs drained at the end
    bool m_bWriterLost = false; // guarded by m_csQueue: forked child, its writer is still to start
    CLog* m_nextQueued = nullptr; // that list, guarded by its mutex
    int m_nInterval = 100;
    std::mutex m_csQueue;
    char m_szSuffix[10] = {};
    char m_szTag[10] = {};
    char m_szLogName[1024] = {};
    bool m_bEnable = false;
    bool m_bDebugMessage = false;
    bool m_bFlush = false;
    bool m_bDate = false;
    std::tm m_tmFile{};
    int m_nLevel = 0;
    char m_szFolder[260] = {};
    std::thread m_hWriter;
    // Wakes the writer early for a stop request, so closing does not wait out a whole pause.
    std::condition_variable m_cvWake;
};

} // namespace tamsin
