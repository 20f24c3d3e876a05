// The exported face of the log library: plain C calls on an opaque handle, 0 whatever happens.
#include "DLLs/Tamsin/Tamsin.h"

#include "DLLs/Tamsin/CLog.h"

#include <cstdarg>
#include <cstdio>
#include <new>

namespace {

int OpenLog(HLOG* phLog, int nLevel, int bEnable, int bDebugMessage, int bFlush, int bDate,
            const char* lpszLogName, const char* lpszTag, const char* lpszSuffix,
            const char* lpszFolder) {
    if (phLog == nullptr)
        return 0;
    *phLog = nullptr;
    try {
        *phLog = new (std::nothrow)
            tamsin::CLog(nLevel, bEnable != 0, bDebugMessage != 0, bFlush != 0, bDate != 0,
                         lpszLogName, lpszTag, lpszSuffix, lpszFolder);
    } catch (...) {
        *phLog = nullptr;
    }
    return 0;
}

tamsin::CLog* LogOf(HLOG hLog) { return static_cast<tamsin::CLog*>(hLog); }

} // namespace

extern "C" {

int LOGInit(HLOG* phLog, int nLevel, int bEnable, int bDebugMessage, int bFlush, int bDate,
            const char* lpszLogName, const char* lpszTag, const char* lpszSuffix) {
    return OpenLog(phLog, nLevel, bEnable, bDebugMessage, bFlush, bDate, lpszLogName, lpszTag,
                   lpszSuffix, nullptr);
}

int LOGInitWithDir(HLOG* phLog, int nLevel, int bEnable, int bDebugMessage, int bFlush, int bDate,
                   const char* lpszLogName, const char* lpszTag, const char* lpszSuffix,
                   const char* lpszFolder) {
    // A missing folder name means the usual folder rather than a file at the top.
    return OpenLog(phLog, nLevel, bEnable, bDebugMessage, bFlush, bDate, lpszLogName, lpszTag,
                   lpszSuffix, lpszFolder);
}

int LOGTerm(HLOG hLog) {
    delete LogOf(hLog);
    return 0;
}

int LOGOutput(HLOG hLog, int nLevel, const char* lpszFormat, ...) {
    tamsin::CLog* log = LogOf(hLog);
    if (log == nullptr || lpszFormat == nullptr || !log->Passes(nLevel))
        return 0;
    char message[tamsin::CLog::kLineSize];
    va_list args;
    va_start(args, lpszFormat);
    const int length = std::vsnprintf(message, sizeof message, lpszFormat, args);
    va_end(args);
    if (length < 0)
        message[0] = '\0';
    log->Output(nLevel, message);
    return 0;
}

int LOGDump(HLOG hLog, const void* lpData, unsigned int nLength) {
    if (tamsin::CLog* log = LogOf(hLog))
        log->Dump(static_cast<const unsigned char*>(lpData), nLength, false);
    return 0;
}

int LOGDumpAll(HLOG hLog, const void* lpData, unsigned int nLength) {
    if (tamsin::CLog* log = LogOf(hLog))
        log->Dump(static_cast<const unsigned char*>(lpData), nLength, true);
    return 0;
}

} // extern "C"
