#pragma once
/*
 * Tamsin: text logs with a level filter, daily files, direct or queued writing, hex dumps, and a
 * report on the machine at the start of each log.
 *
 * A log writes to $XDG_DATA_HOME/<folder>/<program base name>/<log name>[_YYYYMMDD].txt, to the
 * debugger output (platform/DebugOutput.h), or to both. Texts are bytes, written unchanged.
 *
 * Every function returns 0 whatever happens; failures (a file that cannot be opened, a full
 * disk) turn the affected output off or lose the affected lines, and never reach the caller.
 * Every function except the two opening ones does nothing for a null handle. Calls on one log
 * must not overlap; several logs may be open at once.
 */
#ifdef __cplusplus
extern "C" {
#endif

#define TAMSIN_API __attribute__((visibility("default")))

/* Opaque reference to an open log, owned by the library until LOGTerm. */
typedef void* HLOG;

/*
 * Opens a log and stores its handle in *phLog (null when the log cannot be allocated; nothing
 * happens when phLog is null). Lines whose level is greater than nLevel are dropped. Switches
 * (nonzero = on): bEnable writes the file, bDebugMessage the debugger output, bFlush writes and
 * commits each line in the calling thread (otherwise a writer thread writes queued lines every
 * 100 ms), bDate puts the date in the file name and starts a new file each day. The tag heads
 * every line and the suffix ends it; both are cut to 9 bytes. The log name is cut to 1023 bytes.
 * Writes the start line and the machine report.
 */
TAMSIN_API int LOGInit(HLOG* phLog, int nLevel, int bEnable, int bDebugMessage, int bFlush,
                       int bDate, const char* lpszLogName, const char* lpszTag,
                       const char* lpszSuffix);

/* As LOGInit, with lpszFolder (cut to 259 bytes) in place of the folder "Lumetra". */
TAMSIN_API int LOGInitWithDir(HLOG* phLog, int nLevel, int bEnable, int bDebugMessage, int bFlush,
                              int bDate, const char* lpszLogName, const char* lpszTag,
                              const char* lpszSuffix, const char* lpszFolder);

/* Writes "Log Ended", writes every queued line, closes the file and releases the log. */
TAMSIN_API int LOGTerm(HLOG hLog);

/* Formats a message printf-style (cut to 1023 bytes) and writes it as one line when nLevel is at
 * most the log's level. The formatted text is never interpreted again. */
TAMSIN_API int LOGOutput(HLOG hLog, int nLevel, const char* lpszFormat, ...)
    __attribute__((format(printf, 3, 4)));

/* Hex dump of the first 256 bytes of a block, 16 bytes a line. */
TAMSIN_API int LOGDump(HLOG hLog, const void* lpData, unsigned int nLength);

/* Hex dump of a whole block, 16 bytes a line, with addresses and line checksums. */
TAMSIN_API int LOGDumpAll(HLOG hLog, const void* lpData, unsigned int nLength);

#ifdef __cplusplus
}
#endif
