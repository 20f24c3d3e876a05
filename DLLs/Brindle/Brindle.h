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

#ifdef __cplusplus
}
#endif
