#pragma once
/*
 * debug: diagnostic text files for any program.
 *
 * Direct writers open their file, append in binary and close it again on every call, so the
 * files can be read or removed while the caller runs: a classified error line ("Error.txt"),
 * a day-stamped log ("Log.txt" -> "LogDec09.txt") with optional time headers, a hexadecimal
 * dump into the same log, and a day-stamped record file ("CDR.txt") for raw records. Every line
 * ends in CR LF.
 *
 * Queued logs: up to eight logs registered with ExtLogInit. ExtLog and ExtDump only queue an
 * entry (1280 entries a log); a supervisor thread started by the first ExtLogInit writes every
 * log's queue to its day-stamped file once a second. Entries still queued when the process ends
 * are not written.
 *
 * Names are byte strings used unchanged (relative to the current directory unless they hold a
 * folder); a name of more than 255 bytes is refused. The day stamp replaces the last dot of the
 * name and everything after it (a dot in a folder counts) by the month, the two-digit day and
 * ".txt"; a name without a dot is used unchanged. Set names before writing from other threads.
 *
 * Formats are printf formats trusted as printf trusts them: they must use no more arguments
 * than the call passes, each an int. Texts the library did not get as a format (dump lines,
 * records, file names) are never interpreted.
 *
 * Result of a write: 0 when the file cannot be opened (nothing written); otherwise 0 when the
 * text reached the file and the file closed, -1 when writing or closing failed.
 * No call lets a failure escape as anything but its result.
 */
#ifdef __cplusplus
extern "C" {
#endif

#define DEBUG_API __attribute__((visibility("default")))

/* The library's version as a date number: 20041219. */
DEBUG_API int VerDebug(void);

/* Sets the error file name (default "Error.txt", no day stamp). Result: the name's length plus
 * 1; 0 when name is null, empty or longer than 255 bytes (the previous name stays). */
DEBUG_API int ErrInit(const char* name);

/* Appends one line to the error file: "##### Www Mmm dd hh:mm:ss:mmm #####   ", the label of
 * code, then format with value, then CR LF. Codes -1 to -5 name the system's reason (strerror of
 * errno as it stood when the call was entered); unknown codes give "Undefined Error:". */
DEBUG_API int Error(int code, const char* format, int value);

/* As Error with two values; its labels are indented by four spaces and -14 is undefined. */
DEBUG_API int Error2(int code, const char* format, int value1, int value2);

/* Sets the debug file name (default "Debug.txt"); results as ErrInit. */
DEBUG_API int DebugInit(const char* name);

/* Debug output is switched off in this build: writes nothing and returns 0. */
DEBUG_API int Debug(const char* format, int value);

/* Sets the log file base name (default "Log.txt"); results as ErrInit. */
DEBUG_API int LogInit(const char* name);

/* Appends format with value and CR LF to the day-stamped log file. headerMode 0 puts the line
 * "##### Www Mmm dd hh:mm:ss:mmm #####" before it, 2 puts the same header and three spaces in
 * front of it on the same line, any other mode writes no header. Calls are serialised. */
DEBUG_API int Log(const char* format, int value, int headerMode);

/* Hexadecimal dump of count bytes into the day-stamped log file, 16 bytes a line: hex pairs,
 * then the printable ASCII bytes (others as spaces), 64 characters and CR LF. count <= 0 (or no
 * data) writes nothing but still opens and closes the file. */
DEBUG_API int Dump(const void* data, int count);

/* Sets the record file base name (default "CDR.txt"); results as ErrInit. */
DEBUG_API int CDRInit(const char* name);

/* Appends count raw bytes (any bytes, zero included) and CR LF to the day-stamped record file.
 * count above 254 or below 0 (or data null with count > 0) is refused: 0, nothing written. A
 * failed write puts "File Write Error:<reason> CDR write failed!" into the error file and gives
 * -1. */
DEBUG_API int CDR(const void* data, int count);

/* Keeps a copy of name (at most 255 bytes, always terminated) and returns the library's copy,
 * which lives as long as the process. Null leaves the copy unchanged. */
DEBUG_API char* Routine(const char* name);

/* Registers a queued log writing to the day-stamped name derived from name. Result: the log's
 * handle 1 to 8; 0 when name is null, empty, longer than 255 bytes or too long for its day
 * stamp (more than 246 bytes before its last dot), or when 8 logs exist already.
 * The first call starts the supervisor thread whatever its result. */
DEBUG_API int ExtLogInit(const char* name);

/* Queues format (at most 255 bytes are kept) with value, to be written as kind says:
 * 0 "##### Www Mmm dd hh:mm:ss #####" line (time of queuing) before the text; 2 the header with
 * milliseconds and three spaces in front of the text; 4 "MM/DD/YYYY,hh:mm:ss," (time of writing)
 * in front of the text; 3 a dump of the first value bytes (at most 256) of the format buffer;
 * any other kind the text alone. Waits while the log's queue is full, however long that is.
 * Ignores a handle that has not been given out. */
DEBUG_API void ExtLog(int handle, const char* format, int value, int kind);

/* Queues count bytes as dump entries of 256 bytes each (the last holds the rest); written as
 * lines of 16 bytes, 68 bytes a line, Shift-JIS pairs shown whole. Ignores an unknown handle and
 * count < 1. */
DEBUG_API void ExtDump(int handle, const void* data, int count);

#ifdef __cplusplus
}
#endif
