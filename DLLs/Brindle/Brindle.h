#pragma once
/*
 * Brindle: file-handling helpers with a plain C face.
 *
 * Texts are NUL-terminated byte strings (UTF-8 on this system). The path separator is '/';
 * every scan compares single bytes. Output buffers belong to the caller and must have at least
 * the size given with each function; the library allocates only where a function says so.
 * Nothing is logged and nothing is shown: every failure is reported by the result alone.
 * All functions here keep no state of their own and may be called from any thread.
 */
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BRINDLE_API __attribute__((visibility("default")))

/* Result codes shared with the debug library: 0 success, negative failure. */
#define BRINDLE_OK 0
#define BRINDLE_E_FILE_OPEN (-1)
#define BRINDLE_E_FILE_READ (-2)
#define BRINDLE_E_FILE_WRITE (-3)
#define BRINDLE_E_FILE_SEEK (-4)
#define BRINDLE_E_FILE_CLOSE (-5)
#define BRINDLE_E_MEMORY (-6)
#define BRINDLE_E_NO_FILE (-7) /* no file, or access denied */
#define BRINDLE_E_PRIVILEGE (-8)
#define BRINDLE_E_FILE_BUSY (-9)
#define BRINDLE_E_LOGIC (-10)
#define BRINDLE_E_NO_DATA (-11)
#define BRINDLE_E_INIT (-12)
#define BRINDLE_E_THREAD (-13)
#define BRINDLE_E_OUT_OF_BOUNDS (-14)

/* ---- Paths and directories ------------------------------------------------------------------ */

/* Directory part of path: everything before its last '/', the '/' itself dropped; the byte at
 * index 0 is never taken as a separator ("/Tools/app" -> "/Tools", "/Tools/" -> "/Tools").
 * dir: at least 1024 bytes. 0 on success; -1 when path is shorter than 2 bytes, has no '/' after
 * index 0, or its directory part is longer than 1023 bytes; dir is then left untouched. */
BRINDLE_API int GetFileDir(const char* path, char* dir);

/* File name part of path: the bytes after its last '/' (index 0 is never taken as a separator).
 * name: at least strlen(path) + 1 bytes. Returns the name's length plus 1 when a directory part
 * was split off ("/dir/" gives "" and 1); 0 when path has no '/' after index 0 (name receives all
 * of path, "/name" included); 0 for an empty path, name then untouched. */
BRINDLE_API int GetFileName(const char* path, char* name);

/* Replaces the extension: out receives path up to and including its last '.' (searched over the
 * whole path, folders included), followed by ext (given without its dot). A path without a dot
 * gives the empty string. out: at least (index of that dot + 1) + strlen(ext) + 1 bytes; it may
 * be path itself. Returns 0. */
BRINDLE_API int ChangeExt(const char* path, const char* ext, char* out);

/* Renames the file path to the name ChangeExt builds from it, without replacing an existing
 * file (see Rename). Returns 0 on success, else the errno of the failure: the rename's own,
 * ENOENT for a path without a dot (its new name is empty), ENAMETOOLONG when the new name is
 * longer than 255 bytes (nothing is renamed then). */
BRINDLE_API int ChangeExt2(const char* path, const char* ext);

/* Creates the directory path (at most 1023 bytes; one trailing '/' allowed) with all its missing
 * parents. The part before the first '/' is taken to exist and never created. Returns 0 when
 * path is a directory afterwards; -1 when a level cannot be created (levels made so far stay),
 * when something other than a directory holds the name, or when path is longer than 1023 bytes
 * (nothing is created then). */
BRINDLE_API int MkDir(const char* path);

/* Renames (moves) a file or directory. Fails when anything exists under newName. A regular file
 * moves to another file system by copy and removal; a directory cannot. 0 on success; -1 on
 * failure with errno set (EEXIST when the new name is taken). */
BRINDLE_API int Rename(const char* oldName, const char* newName);

/* ---- The user's environment ----------------------------------------------------------------- */

/* The per-user application-data folder ($XDG_DATA_HOME, default ~/.local/share), created with
 * mode 0700 when missing. path: at least 260 bytes; it is set to "" first. Returns 0 on success,
 * BRINDLE_E_NO_FILE when no folder can be found or created, BRINDLE_E_OUT_OF_BOUNDS when its
 * name does not fit 260 bytes (path then stays ""). */
BRINDLE_API int GetWorkDir(char* path);

/* The user's language identifier (from LC_ALL, LC_MESSAGES or LANG: ja_JP -> 0x0411) as
 * lower-case hexadecimal without leading zeros ("411"). out: at least 5 bytes. Returns 0. */
BRINDLE_API int GetLocale(char* out);

/* ---- Memory blocks -------------------------------------------------------------------------- */

/* A block of size bytes owned by the caller until RetMemory. kind 0: from the heap; any other
 * kind: whole zero-filled pages mapped from the system. Null when the memory cannot be had
 * (always for size 0 with a kind other than 0). */
BRINDLE_API void* GetMemory(unsigned int size, int kind);

/* Gives back a block of GetMemory with the kind it was obtained with. For a kind other than 0:
 * nonzero on success, 0 when block is not a live page block of GetMemory. For kind 0 the result
 * carries no meaning (0). */
BRINDLE_API int RetMemory(void* block, int kind);

/* ---- File search ---------------------------------------------------------------------------- */

/* Starts a listing of the folder dir: the names (files, folders, hidden ones, "." and "..")
 * that match pattern. dir and pattern are joined with one '/' (none added when dir ends in
 * '/'); a '/' inside pattern moves the listing into that subfolder. The joined path must stay
 * below 512 bytes. Wildcards: '*' matches any run of characters, '?' one character (a UTF-8
 * sequence, or else one byte), every other byte only itself (case-sensitive); a trailing ".*"
 * also matches names without extension, so "*.*" matches every name. name: at least 260
 * bytes. Returns a search handle with the first match in name; null when nothing matches or the
 * folder cannot be read, name then "". Each handle may be used from its own thread. */
BRINDLE_API void* MFindFirst(const char* dir, const char* pattern, char* name);

/* The next match of the listing in name (at least 260 bytes); "" at the end of the listing, on
 * a read error, or when handle is not a live handle of MFindFirst. */
BRINDLE_API void MFindNext(void* handle, char* name);

/* Ends the listing and frees its handle. 0, or -1 when handle is not a live handle of
 * MFindFirst (never one already ended). */
BRINDLE_API int MFindEnd(void* handle);

/* ---- CSV reading ---------------------------------------------------------------------------- */

/* A cell table is rows x columns cells of width bytes each, row by row: the cell of row r and
 * column c (from 0) starts at byte ((r * columns) + c) * width. A cell holds its field's bytes
 * followed by zero bytes; a field of exactly width bytes has no terminator. Fields are split by
 * ',' and lines by LF; CR is ignored; there is no quoting (quotes are ordinary bytes). A ';' is
 * never stored; at the start of a field it makes the rest of its line a comment. */

/* Fills table (width * columns * rows bytes, zero-filled first) from the file fileName. At most
 * width * columns * rows bytes of the file are read; rows and columns beyond the table are
 * dropped and a field longer than width is cut at width, so nothing is ever written outside the
 * table. Tables up to 4096 bytes need no allocation. Returns 1; 0 when the file cannot be opened
 * or read or no work buffer can be had (the table is then all zero), or when a size is negative,
 * their product exceeds 2^31 - 1 or table is null (the table is then left untouched). */
BRINDLE_API int ReadCSV(const char* fileName, char* table, int width, int columns, int rows);

/* Reads the whole file fileName into the lowest free of 16 text slots and returns its number
 * (1 to 16); -1 when all slots are in use or the file cannot be opened, read or held. An empty
 * file gives a handle whose slot stays free (CSVGetLine returns 0 on it; the next CSVHInit may
 * hand out the same number). */
BRINDLE_API int CSVHInit(const char* fileName);

/* The next non-empty line of the slot's text (up to, without, the next CR or LF). Copies at most
 * size bytes of it into buffer, without a terminator, and returns the line's whole length (more
 * than size means the line was cut; the reading position moves past the whole line). 0 at the
 * end of the text or for a handle that holds no text. */
BRINDLE_API int CSVGetLine(int handle, char* buffer, int size);

/* Releases the slot's text and frees the slot; a handle outside 1 to 16 or a free slot is left
 * alone. */
BRINDLE_API void CSVHTerm(int handle);

/* Copies field number column (from 1) of line into field: the bytes between the commas, up to a
 * zero byte, CR or LF, with every ' and " dropped, at most maxLength of them (quotes not
 * counted). No terminator. Returns the number of bytes stored; 0 for column 0 or a line with
 * fewer fields (field then untouched). Quotes do not protect a comma. */
BRINDLE_API int CSVReadColumn(const char* line, int column, char* field, int maxLength);

/* As CSVReadColumn, then terminates the stored bytes, also when maxLength was reached: field
 * must hold maxLength + 1 bytes. field stays untouched when the result is 0 because column is 0
 * or the line has fewer fields, or when maxLength is negative. */
BRINDLE_API int CSVReadColumn2(const char* line, int column, char* field, int maxLength);

/* ---- Keyed tables --------------------------------------------------------------------------- */

/* Reads the file fileName into a cell table of width * columns * rows bytes (as ReadCSV) held in
 * the lowest free of 16 table slots, searched by its first column. Returns the slot's number
 * (1 to 16); BRINDLE_E_OUT_OF_BOUNDS when all slots are in use, BRINDLE_E_FILE_OPEN when the file
 * cannot be opened, BRINDLE_E_MEMORY when the table cannot be had (sizes negative or their
 * product above 2^31 - 1 included). A table of 0 bytes gives a handle whose slot stays free. */
BRINDLE_API int SSHInit(const char* fileName, int width, int columns, int rows);

/* Looks key up in the first column of the table: the first row whose first cell agrees with key
 * as strncmp over width bytes. Copies that row's cell of column (from 1; 1 is the key cell) into
 * cell (at least width bytes) as strncpy over width bytes: a shorter cell is padded with zero
 * bytes, a full one arrives without terminator. Returns 0; BRINDLE_E_OUT_OF_BOUNDS for a handle
 * outside 1 to 16, a column outside 1 to the column count, or a null cell; BRINDLE_E_LOGIC when
 * the handle holds no table; BRINDLE_E_NO_DATA when no row has the key (or key is null) or the
 * cell found is empty (cell then untouched). */
BRINDLE_API int SSHSearch(int handle, const char* key, int column, char* cell);

/* Releases the slot's table and frees the slot; SSHSearch then returns BRINDLE_E_LOGIC for it.
 * A handle outside 1 to 16 is left alone. */
BRINDLE_API void SSHTerm(int handle);

/* The text slots and the table slots are process-wide and guarded by one lock each, so every
 * call is atomic; two threads reading lines of one text handle get whichever line comes next. */

#ifdef __cplusplus
}
#endif
