#pragma once
/*
 * Vantor: common utilities with a plain C face: a per-user settings store, paths and traced file
 * operations, a sorted file search list, identifiers and copy names, screen queries, date text,
 * the format-definition reader and thin string, memory and bit helpers.
 *
 * Texts are NUL-terminated byte strings (UTF-8 on this system); the path separator is '/'.
 * Buffers belong to the caller; a path buffer holds 260 bytes (259 bytes and the terminating
 * zero) unless a function says otherwise. A bool is an int: non-zero is true.
 *
 * Debugger output (LUMETRA_DEBUG_OUTPUT: a file, "-" for standard error, unset for syslog): the
 * library writes "VANTOR.DLL ATTACED_TO_PROCESS:Start\n" and "...:Finished\n" when it is loaded;
 * several calls trace their entry and exit, as noted below.
 *
 * No call lets a failure escape as anything but its documented result. The search list
 * (SR_FileFind...) is one per process and unguarded: one thread at a time. Every other call keeps
 * no state and may be called from any thread.
 */
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VANTOR_API __attribute__((visibility("default")))

/* ---- Registry values ------------------------------------------------------------------------
 * Values live under HKEY_CURRENT_USER\Software\Lumetra\Lib\<subkey> in the system's registry
 * store ($XDG_CONFIG_HOME/lumetra-registry/...). A subkey may hold several keys separated by '\';
 * "." and ".." components and '/' are refused. Numbers and bools are REG_DWORD (a bool as 1 or
 * 0), strings REG_SZ. All return 1 on success and 0 on any failure; readers never create a key,
 * the first write creates the whole key path. */

/* Raw bytes of the value, whatever its type; 0 when it is missing or larger than size. */
VANTOR_API int CMNReadRegistryValue(const char* subkey, const char* name, void* buffer,
                                    unsigned int size);
/* A string value of at most 259 bytes into a 260-byte buffer, always terminated (a value stored
 * without its terminating zero gets one); 0 for a longer value. */
VANTOR_API int CMNReadRegistryStringValue(const char* subkey, const char* name, char* buffer);
/* The value's bytes into the 4-byte target (0 when it holds more than 4 bytes). */
VANTOR_API int CMNReadRegistryDWORDValue(const char* subkey, const char* name, unsigned int* value);
VANTOR_API int CMNReadRegistryLongValue(const char* subkey, const char* name, int* value);
VANTOR_API int CMNReadRegistryIntValue(const char* subkey, const char* name, int* value);
/* *value := 1 when the stored number is not 0, else 0; unchanged on failure. */
VANTOR_API int CMNReadRegistryBoolValue(const char* subkey, const char* name, int* value);

/* `count` bytes of data as REG_SZ; the caller decides whether they include the terminating zero.
 * 0 for a count of 0. */
VANTOR_API int CMNWriteRegistryStringValue(const char* subkey, const char* name, const char* data,
                                           unsigned int count);
VANTOR_API int CMNWriteRegistryDWORDValue(const char* subkey, const char* name, unsigned int value);
VANTOR_API int CMNWriteRegistryLongValue(const char* subkey, const char* name, int value);
VANTOR_API int CMNWriteRegistryIntValue(const char* subkey, const char* name, int value);
/* Stores 1 for any non-zero value, else 0. */
VANTOR_API int CMNWriteRegistryBoolValue(const char* subkey, const char* name, int value);

/* ---- Folders and names ---------------------------------------------------------------------- */

/* The per-user application-data folder ($XDG_DATA_HOME, default ~/.local/share), created when
 * missing. Returns 0; the buffer is unchanged when the folder cannot be had. */
VANTOR_API int CMNGetApplicationDataPath(char* buffer);
VANTOR_API int SRGetApplicationDataPath(char* buffer);
/* The running program's file name without folder and extension. Returns 0; the buffer is
 * unchanged when the program's file cannot be had. */
VANTOR_API int CMNGetApplicationFilenameBody(char* buffer);
VANTOR_API int SRGetApplicationFilenameBody(char* buffer);
/* Replaces the path in its buffer by its base name ("/data/report.csv" -> "report"). Returns 0.
 * A leading dot belongs to the name: ".profile" stays ".profile". */
VANTOR_API int CMNGetFilenameBody(char* path);
/* out := the folder part of path with its trailing '/' ("/data/report.csv" -> "/data/"; a bare
 * name gives ""). Concerns the given path, not the process's current folder. Returns 0. */
VANTOR_API int CMNGetCurrentPath(char* out, const char* path);
VANTOR_API int SRGetCurrentPath(char* out, const char* path);

/* ---- Path edits and tests ------------------------------------------------------------------- */

/* Appends `more` with exactly one '/' between; 0 (path unchanged) when the result would exceed
 * 259 bytes, else 1. */
VANTOR_API int SRPathAppend(char* path, const char* more);
/* Replaces the extension by `extension` (given with its dot: ".bak"), or adds it; 0 (unchanged)
 * when the result would exceed 259 bytes, else 1. Traced (time-stamped trace lines). */
VANTOR_API int SRPathRenameExtension(char* path, const char* extension);
/* out := the extension without its dot ("report.csv" -> "csv"), 0; a path without one (the dot
 * of a folder name does not count) gives "" and -1. Traced (plain texts). */
VANTOR_API int SRPathGetExtension(const char* path, char* out);
/* 1 when anything (file, folder, link) exists at the path. */
VANTOR_API int SRFileExists(const char* path);
/* 1 when the directory joined with the name exists. */
VANTOR_API int SRFileExistsWithPath(const char* name, const char* directory);

/* ---- Directories and files ------------------------------------------------------------------ */

/* Creates one folder (its parent must exist). 0, or the errno of the failure: EEXIST when it
 * exists, ENOENT when the parent is missing. */
VANTOR_API int SRMkDir(const char* path);
/* Deletes the file directory/name (or name alone when directory is null; never a folder).
 * 0; -1 when both are null; -2 when it cannot be deleted. Traced (time-stamped). */
VANTOR_API int SRDeleteFile(const char* name, const char* directory);
/* Deletes every entry of the directory with the base name of `name` and any extension
 * ("report.csv": report.csv, report.bak, report); the base name is taken literally, so "a?.txt"
 * deletes the a? family only. 0; -1 when no pattern can be built (null or
 * empty name, a path over 259 bytes); -2 when one of them cannot be deleted (a matching folder
 * is never deleted), the others are deleted all the same. Traced (time-stamped). */
VANTOR_API int SRDeleteFiles(const char* name, const char* directory);
/* Copies the file `source` to directory/name, never replacing an existing target; the copy
 * keeps mode and times, and nothing is left behind on failure. 0, or VANTOR_COPY_FAILED. */
VANTOR_API int SRCopyFile(const char* name, const char* directory, const char* source);
/* Copies each file of the directory with the base name of `oldName` (taken literally, like
 * SRDeleteFiles) to newBase plus the same extension, in the same directory, in byte order of the names, stopping at the first failure
 * (earlier copies stay). 0 or VANTOR_COPY_FAILED. Traced (plain texts). */
VANTOR_API int SRCopyFiles(const char* newBase, const char* directory, const char* oldName);
/* Moves the file or folder at existingPath to newPath, never replacing anything; across file
 * systems it copies, then removes the source, which is kept whole when the copy fails.
 * -1 when the move succeeded, 0 when it failed. */
VANTOR_API int CMNCopyDirectory(const char* newPath, const char* existingPath);
/* Does nothing and returns 0; the argument is not used. */
VANTOR_API int CMNRemoveDirectory(const char* path);

#define VANTOR_COPY_FAILED ((int)0x80000008u)

/* ---- File search list ----------------------------------------------------------------------- */

/* Lists the names in `directory` that match `pattern` ('*' any run of characters, '?' one UTF-8
 * character, every other byte itself, case-sensitive; a trailing ".*" also matches
 * names without extension; "." and ".." when the pattern matches them), sorted in byte order,
 * and hands out the first into out (260 bytes). 0; -1 when nothing matches (an earlier list
 * stays as it was). */
VANTOR_API int SR_FileFindFirst(char* out, const char* directory, const char* pattern);
/* The next name of the list: 0; -1 when the list is exhausted or there is none. */
VANTOR_API int SR_FileFindNext(char* out);
/* Frees the list: 0; -1 when there was none. */
VANTOR_API int SR_FileFindClose(void);

/* ---- Identifiers and copy names ------------------------------------------------------------- */

/* out := "%1.1d%5.5d%3.3d%5.5d" of the four (at least 14 digits; room for 48 bytes). 0; -1 for a
 * null out. */
VANTOR_API int SR_GenerateUniqID(char* out, int first, int second, int third, int fourth);
/* out := "%1.1d%3.3d%5.5d" of the three (room for 36 bytes). 0; -1 for a null out. */
VANTOR_API int SR_GenerateFileID(char* out, int first, int second, int third);
/* out (41 bytes) := name + "のコピー" for n = 1, name + "のコピー(n)" otherwise. Returns its
 * length in bytes, or 0 (out unchanged) when it would exceed 40 bytes. */
VANTOR_API int SRMakeCopyName(char* out, const char* name, int n);
/* out := name without a final "のコピー" or "のコピー(d)" (at most three digits). Zeroes the
 * first 40 bytes of out, which must hold the result and its terminating zero. Returns out. */
VANTOR_API char* SRPickUpCopyNameBody(char* out, const char* name);

/* ---- Version checks, screen, date ----------------------------------------------------------- */

/* Tests for particular Windows editions; always 0 here. */
VANTOR_API int SRCheckOSVersion(void);
VANTOR_API int SRCheckOSVersion2(void);
VANTOR_API int SRCheckOSVersion3(void);
/* Size of the X screen (DISPLAY) in pixels when both pointers are given and a display can be
 * reached; the targets stay unchanged otherwise. Returns 0. */
VANTOR_API int SRGetScreenSize(int* width, int* height);
/* The work area announced by the window manager (_NET_WORKAREA), else the screen. Returns 0. */
VANTOR_API int SRGetWorkAreaSize(int* width, int* height);
/* buffer := the local time as "yyyy/mm/dd hh:mm:ss" (19 bytes and the zero). 0; -1 when the
 * buffer is null or size is below 20 (nothing written). */
VANTOR_API int CMNGetDateTimeString(char* buffer, int size);

/* ---- Thin helpers: the contract of the C function they forward to --------------------------- */

VANTOR_API int SRstrcpy(char* dst, const char* src);            /* 0 */
VANTOR_API int SRstrncpy(char* dst, const char* src, size_t n); /* 0 */
VANTOR_API int SRstrcat(char* dst, const char* src);            /* 0 */
VANTOR_API int SRstrcmp(const char* a, const char* b);
VANTOR_API int SRstrncmp(const char* a, const char* b, size_t n);
VANTOR_API char* SRstrstr(const char* text, const char* pattern);
VANTOR_API int SRmemset(void* buffer, int value, size_t n);    /* 0 */
VANTOR_API int SRmemcpy(void* dst, const void* src, size_t n); /* 0 */
VANTOR_API int SRmemcmp(const void* a, const void* b, size_t n);
VANTOR_API int SRsetbit(int value, int mask);   /* value | mask */
VANTOR_API int SRresetbit(int value, int mask); /* value & ~mask */
VANTOR_API int SRchkbit(int value, int mask);   /* value & mask */

/* ---- Format-definition files ---------------------------------------------------------------- */

/* Reads the section "[COMMON]" of the file folder/file: the values of FORMAT_NAME=, FORMAT_ID=,
 * FORMAT_STATE=, DOMAIN_ID= or FIELD_NUM= (the later one in the file wins), GROUP_NUM= and
 * TERM_ID= go to the six buffers in that order (a null buffer is skipped). Each buffer must hold
 * 255 bytes; a key that does not occur leaves its buffer as it was. The file is read as tokens
 * separated by white space, each cut to 255 bytes. 0; -1 when the file cannot be opened (or is
 * not a regular file) or closed. Traced (plain texts). */
VANTOR_API int GetFormatDefinition2(const char* folder, const char* file, char* formatName,
                                    char* formatId, char* formatState, char* domainOrFieldCount,
                                    char* groupCount, char* terminalId);

#ifdef __cplusplus
}
#endif
