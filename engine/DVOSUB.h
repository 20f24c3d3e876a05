#pragma once
/*
 * DVOSUB: the scanning engine of DVO.
 *
 * The engine walks one folder on worker threads of its own and keeps the result in its own
 * memory until the next search starts. All calls come from one thread (the program's GUI thread),
 * except that DVOCopyFileEx / DVOMoveFileEx may run on a thread of the caller's while that one
 * makes no other call than the display texts (which any thread may call at any time); and the
 * callbacks of DVOShellExecuteEx arrive on threads of the engine's.
 * Texts are UTF-16, NUL-terminated; names that are not valid UTF-8 on disk arrive as lone
 * surrogates U+DC80..U+DCFF (one per byte) and are accepted back in the same form, so every entry
 * the engine reports can be acted on by the name it reported.
 *
 * Result codes: 0 success, negative DVO_E_* below. Calls that report a state return it as a
 * non-negative int (nonzero = true).
 *
 * What a search records:
 * - the searched folder itself (depth 0) and one record per entry below it: folders
 *   (DVO_KIND_FOLDER) and everything else (DVO_KIND_FILE: files, symbolic links, devices, sockets,
 *   FIFOs). A symbolic link is an entry of its own with its own size and is not followed unless
 *   asked for.
 * - a folder's size is the total apparent size (st_size) of everything but folders below it,
 *   or their total disk usage (see DVOSetSizeMode);
 *   a file with several hard links, recognised by (device, inode), adds its size once per
 *   search, at its first occurrence in record order (pre-order, names in byte order), so totals
 *   never depend on thread timing. A later link's own record still shows the file's size.
 *   Totals (sparse files can claim any size) stop at INT64_MAX instead of wrapping; a total
 *   that reached it stays there after a delete or move, its exact sum being unknown.
 *   folderCount and fileCount count the folders and the other entries below it at all depths.
 * - a mount point below the searched folder (another file system, or a bind mount, also one of
 *   the same file system) is listed as a folder of size 0 without children and not entered,
 *   unless crossing file systems was asked for.
 * - a folder that cannot be read, or an entry that vanishes while it is read, never stops the
 *   search: the folder is listed with what could be read, and DVOGetErrorCount counts it.
 * - paths of any length and trees of any depth are scanned, at a cost that grows with the number
 *   of entries, not with their depth; names keep every byte (see above).
 *   Every folder record's directory is a full path of its own, so the records of a deep tree
 *   need memory quadratic in its depth: a search takes for them at most a quarter of physical
 *   memory (the full paths of the folders it enters, counted as UTF-8 bytes, and its own
 *   entries). Where the next folder would pass that, the search stops as an abort does (what
 *   was read stays listed; that folder and the ones not read yet are DVO_FOLDER_PARTIAL) and
 *   DVOGetLastErrorText tells why once DVOIsSearching is 0.
 * - running out of memory or threads never ends the program: a call that cannot do its work
 *   returns its failure value (DVO_E_IO, 0 or null) with the reason in DVOGetLastErrorText; a
 *   search whose workers run out of memory ends with what it has read, counted as an error.
 * - DVOExecFileSearch clears the DVOGetLastErrorText text: a text there once the search has
 *   ended (DVOIsSearching 0) is why it ended before reading everything (memory, or the record
 *   budget above), and its totals count only what was read. Read it before enumerating the
 *   records: DVOGetFirstFolderInfo clears it. A search aborted by the caller leaves none.
 * - after a successful delete, trash or move, the folders above the entry stop counting it (size
 *   and counts in their records, the searched folder's totals in DVOGetCurrentSearchInfo), and a
 *   folder of the search it went to counts it, so the totals stay those a new search would find;
 *   the entry's own record keeps its size, counts and time. A file with several hard links
 *   keeps its bytes counted while another of its names remains in the search: they move to the
 *   first remaining name in record order (a later link removed takes away no bytes, as it added
 *   none). A trash into a trash folder inside the search (searching a home folder) is a move
 *   there, and its .trashinfo file and any trash folder it made are counted too. A permanent
 *   delete or a move that fails part way takes off what of the entry is gone from disk.
 * - an entry deleted or moved out of the search stays listed where it was, and no file operation
 *   finds it any more. An entry moved into another folder of the search (the destination is
 *   recognised on disk by device and inode, however its path is spelled) lives there from then
 *   on, unless a trash gave it another name (then it is counted there but not listed): a new
 *   enumeration lists it among that folder's children in name order and its old folder's no
 *   longer does; file operations find it by its new name and directory, not by the old ones.
 *   Its record goes with it (a folder keeps its one record), and the records of a moved folder
 *   and of everything below it, those already handed out included, show the new directory texts
 *   and depths (the old texts stay readable until the next search). The folder list keeps its
 *   order and counts each folder once.
 * - a text cut to fit a fixed field (a name, the path being read) ends on a whole character,
 *   never inside a surrogate pair.
 * - siblings are always in byte order of their names (UTF-8 bytes), so results are repeatable.
 */
#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h> /* char16_t for C callers */
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define DVO_API __attribute__((visibility("default")))

/* Windows SYSTEMTIME: local time. */
typedef struct DVOSystemTime {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek; /* 0 = Sunday */
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
} DVOSystemTime;

/* Units of the fixed text arrays FolderRecord.name and SearchProgress.currentPath (the last
 * one is always the NUL). */
#define DVO_NAME_UNITS 260
/* Units of the buffer the program gives DVOFileSize2String / DVOSystemTime2String (40 bytes). */
#define DVO_DISPLAY_TEXT_UNITS 20

/* Values of FolderRecord.kind. */
#define DVO_KIND_FOLDER 0
#define DVO_KIND_FILE 1 /* anything but a folder: file, link, device, socket, FIFO */

/* Live totals of a running search (536 bytes). */
typedef struct SearchProgress {
    long long size;                       /* bytes counted so far (at most INT64_MAX, see below) */
    char16_t currentPath[DVO_NAME_UNITS]; /* a folder being read now (cut, NUL-terminated) */
    int folderCount;                      /* folders counted so far */
    int fileCount;                        /* other entries counted so far */
} SearchProgress;

/* One folder (DVO_KIND_FOLDER) or other entry (DVO_KIND_FILE). Owned by the engine, valid until
 * the next DVOStartFileSearching or DVODestroyObj. The program writes only childrenLoaded. The
 * engine may keep private data after the public fields: never copy a record, keep its pointer. */
typedef struct FolderRecord {
    char16_t name[DVO_NAME_UNITS]; /* entry name, NUL-terminated (longer names are cut) */
    const char16_t* directory;     /* full path of the containing folder, shared by siblings */
    unsigned char kind;            /* DVO_KIND_FOLDER or DVO_KIND_FILE */
    unsigned char depth;           /* 0 = the searched folder (saturates at 255) */
    unsigned char childrenLoaded;  /* 0 in a new record; written only by the program */
    int folderCount;               /* folders below it, all depths */
    int fileCount;                 /* other entries below it, all depths */
    long long size;                /* bytes; for a folder the total of all files below it */
    DVOSystemTime modifiedTime;    /* local time of st_mtime */
} FolderRecord;

#ifdef __cplusplus
static_assert(sizeof(SearchProgress) == 536, "SearchProgress layout");
static_assert(offsetof(FolderRecord, directory) == 520, "FolderRecord layout");
static_assert(offsetof(FolderRecord, kind) == 528, "FolderRecord layout");
static_assert(offsetof(FolderRecord, depth) == 529, "FolderRecord layout");
static_assert(offsetof(FolderRecord, childrenLoaded) == 530, "FolderRecord layout");
static_assert(offsetof(FolderRecord, folderCount) == 532, "FolderRecord layout");
static_assert(offsetof(FolderRecord, fileCount) == 536, "FolderRecord layout");
static_assert(offsetof(FolderRecord, size) == 544, "FolderRecord layout");
static_assert(offsetof(FolderRecord, modifiedTime) == 552, "FolderRecord layout");
static_assert(sizeof(FolderRecord) == 568, "FolderRecord layout");
#endif

/* Result codes. */
#define DVO_OK 0
#define DVO_E_INVALID_ARGUMENT (-1) /* null or empty text; a name "." or ".." or with "/" */
#define DVO_E_NO_OBJECT (-2)        /* DVOCreateObj was not called */
#define DVO_E_BUSY (-3)             /* a search is running */
#define DVO_E_NOT_FOUND (-4)        /* no such entry on disk, or not one the last search saw */
#define DVO_E_CHANGED (-5)          /* the entry was replaced since the search; nothing touched */
#define DVO_E_EXISTS (-6)           /* the target exists; nothing overwritten */
#define DVO_E_NO_TRASH (-7)       /* the entry's file system has no usable trash; nothing deleted */
#define DVO_E_ACCESS (-8)         /* permission denied */
#define DVO_E_IO (-9)             /* any other system error; see DVOGetLastErrorText */
#define DVO_E_UNSUPPORTED (-10)   /* operation not available here (e.g. no print command) */
#define DVO_E_MOUNT_POINT (-11)   /* refused: a mount point, another device, or "/" */
#define DVO_E_NOT_A_FOLDER (-12)  /* the search path or destination is not a folder */
#define DVO_E_CANCELLED (-13)     /* the caller's progress callback asked to stop */
#define DVO_E_BAD_FILE (-14)      /* not a complete export this engine reads; nothing changed */
#define DVO_E_OPENED_RESULT (-15) /* refused: the result was opened from a file, not searched */

/* Engine object: create once before any other call; destroy frees everything (aborts a search
 * first, records become invalid). Both return 0. Creating twice keeps the first object. Every
 * other call returns DVO_E_NO_OBJECT (or 0 / null) without an object. DVOCreateObj raises the
 * process's soft limit of open descriptors to its hard limit (deep trees are read with one per
 * level); the helpers of DVOShellExecute get the limit the process had before. */
DVO_API int DVOCreateObj(void);
DVO_API int DVODestroyObj(void);

/* Searching. DVOStartFileSearching discards the previous result (all records become invalid)
 * and clears the search list; DVO_E_BUSY while the workers run (a search whose workers have
 * stopped is waited for: its totals take milliseconds).
 * DVOAddSearchDirectory sets the folder to search: any length, a relative path is taken from the
 * current folder, repeated and trailing '/' are dropped; the text is copied. DVO_E_INVALID_ARGUMENT
 * for null or empty text.
 * DVOExecFileSearch opens the folder and starts the worker threads (a pool sized to the machine)
 * and returns at once; DVO_E_NOT_FOUND / DVO_E_NOT_A_FOLDER / DVO_E_ACCESS when the folder cannot
 * be opened (then there is no search and no record), DVO_E_INVALID_ARGUMENT when no folder was
 * set, DVO_E_IO when there is no memory or thread for the search. Its four integers (nonzero = yes): recurse into subfolders (no: the searched folder's
 * entries only, its subfolders listed but not entered), follow symbolic links (each folder is
 * then entered once, loops are not followed), count each hard-linked file once, cross into other
 * file systems. The program passes 1, 0, 1, 0. */
DVO_API int DVOStartFileSearching(void);
DVO_API int DVOAddSearchDirectory(const char16_t* path);

/* Sets the patterns the next searches leave out, replacing those set before (count 0: none);
 * kept until set again or the object is destroyed. As du's and ncdu's --exclude: an entry whose
 * full path, or the part of it after any '/', matches a pattern (fnmatch(3) globs, '*' also
 * spanning '/') is neither counted nor entered; the searched folder itself is always read. Empty
 * patterns match nothing. The texts are copied. 0; DVO_E_INVALID_ARGUMENT for count < 0, or a
 * null array or pattern (nothing is changed then); DVO_E_IO without memory. */
DVO_API int DVOSetExcludePatterns(const char16_t* const* patterns, int count);
DVO_API int DVOExecFileSearch(int recurse, int followLinks, int hardLinksOnce,
                              int crossFileSystems);

/* Nonzero while workers run (DVOIsActive) / until the search has ended or was aborted and its
 * totals are final (DVOIsSearching). Single atomic reads. Records are read only after
 * DVOIsSearching went to 0. */
DVO_API int DVOIsActive(void);
DVO_API int DVOIsSearching(void);

/* Stops every worker and returns when they have stopped (within milliseconds); records of what
 * was read stay, consistent: folders not read yet are listed without children, a folder being
 * read keeps the entries read so far, and every total is the sum of what is listed. 0. */
DVO_API int DVOAbortFileSearching(void);

/* Fills *progress with a snapshot: while searching, the entries counted so far (size before
 * hard links are merged) and a folder being read now; after the search, the final totals of the
 * searched folder and its path. Sizes are in the count DVOSetSizeMode chose (the one set when
 * the search started, while it runs). Each worker's three counts are taken from one moment.
 * While a search runs, a call that comes within a millisecond of the previous one first waits
 * out that millisecond, so a caller polling without pause leaves the processors to the scan.
 * DVO_E_INVALID_ARGUMENT for null. */
DVO_API int DVOGetCurrentSearchInfo(SearchProgress* progress);

/* How sizes are counted: the apparent size (st_size) or the disk usage (st_blocks x 512). The
 * engine keeps both for every entry; switching changes every record's size, every folder total
 * and DVOGetCurrentSearchInfo at once, with no new search (hard links once in both). */
#define DVO_SIZE_APPARENT 0
#define DVO_SIZE_DISK 1
/* DVOSetSizeMode: the count for the current result and every later one, its records already
 * handed out included (their size fields change in place; a folder's record shows its total in
 * that count, the record of a later link of a hard-linked file the file's own figure). While a
 * search runs its live size counts in the mode set when it started. 0; DVO_E_INVALID_ARGUMENT
 * for another value, DVO_E_BUSY while searching (nothing changes then).
 * DVOGetSizeMode: DVO_SIZE_* (a new object starts with DVO_SIZE_APPARENT). */
DVO_API int DVOSetSizeMode(int mode);
DVO_API int DVOGetSizeMode(void);

/* Listings of the current result (searched or opened), counted as the totals are: each
 * (device, inode) once, at the record the totals counted it, in the current size mode; entries
 * deleted or moved out of the search are not listed, an entry moved within it is listed where
 * it is now. Entries whose attributes could not be read count with size 0 and no time.
 * DVOGetLargestFiles: the largest non-folder entries, largest first, ties in byte order of their
 * full paths: fills up to count records (the engine's, as those of DVOGetFirstFolderInfo) and
 * returns how many it wrote; 0 without a result; DVO_E_INVALID_ARGUMENT for a null array or
 * count < 0, DVO_E_BUSY while searching, DVO_E_IO without memory (nothing written then). */
DVO_API int DVOGetLargestFiles(FolderRecord** records, int count);
typedef struct DVOGroupTotal {
    const char16_t* name; /* extension (ASCII lower-cased, "" for none) or year ("2024"; "" for an
                             unknown time); valid during the call only */
    long long bytes;
    long long count;
} DVOGroupTotal;
typedef int (*DVOGroupSink)(const DVOGroupTotal* total, void* context); /* nonzero stops */
/* DVOGetTypeTotals: by extension, most bytes first, ties in byte order of the extension. The
 * extension is what follows the last '.' of the name when that dot is neither its first nor its
 * last byte, ASCII letters in lower case (".profile", "notes" and "x." have ""); bytes that are
 * not UTF-8 arrive as U+DC80..U+DCFF as in names.
 * DVOGetYearTotals: by year of last modification (local time), oldest first ("" before every
 * year).
 * Both return the number of groups reported (the one that stopped them included), 0 without a
 * result; DVO_E_INVALID_ARGUMENT for a null sink, DVO_E_BUSY while searching, DVO_E_IO without
 * memory. */
DVO_API int DVOGetTypeTotals(DVOGroupSink sink, void* context);
DVO_API int DVOGetYearTotals(DVOGroupSink sink, void* context);

/* Folder records of the last search: the searched folder first, then every folder below it in
 * pre-order, siblings in byte order of their names. DVOGetFolderInfoCount: their number (0 before
 * a search, during one, and when the folder could not be opened). DVOGetFolderInfo writes
 * min(count, total) pointers into the caller's array and returns how many it wrote. The records
 * belong to the engine (see FolderRecord). Without memory for the records DVOGetFolderInfo writes
 * count null pointers and returns DVO_E_IO. */
DVO_API int DVOGetFolderInfoCount(void);
DVO_API int DVOGetFolderInfo(FolderRecord** records, int count);

/* A record above the searched folder whose only child is the searched folder (empty name, its
 * directory that of the searched folder); null before any search. First/Next enumerate a folder
 * record's children of both kinds in byte order of their names; Next continues the enumeration
 * that First began for the same parent; null at the end, for a file's record and for anything
 * that is not a folder record of the last search. A folder has one record, the same pointer in
 * the folder list and among its parent's children; other entries' records are made when their
 * folder is first enumerated (one moved within the search before that: when its new folder is).
 * Without memory for the records a call returns null although the list goes on: then
 * DVOGetErrorCount has grown by one and DVOGetLastErrorText gives the reason. First clears that
 * text, so a null from First or Next with a non-empty text is such a failure, not the end. */
DVO_API FolderRecord* DVOGetRootFolderInfo(void);
DVO_API FolderRecord* DVOGetFirstFolderInfo(FolderRecord* parent);
DVO_API FolderRecord* DVOGetNextFolderInfo(FolderRecord* parent);

/* Display texts into a caller buffer of bufferBytes bytes (the program gives
 * DVO_DISPLAY_TEXT_UNITS units, 40 bytes): never written
 * past, always NUL-terminated when bufferBytes >= 2, cut to fit a smaller buffer (at most 8 units
 * and the NUL are ever needed). Size: 1024-based, three significant digits ("0 B", "999 B",
 * "1023 B", "1.00 KB", "12.5 MB", "123 GB", up to "8.00 EB"; 1000 to 1023 of a unit keep four
 * digits). Time: "YYYY/MM/DD hh:mm". Return the number of units written without the NUL, or
 * DVO_E_INVALID_ARGUMENT (null buffer, bufferBytes < 2, null time). */
DVO_API int DVOFileSize2String(char16_t* buffer, int bufferBytes, long long size);
DVO_API int DVOSystemTime2String(char16_t* buffer, int bufferBytes, const DVOSystemTime* time);

/* Values of op for DVOShellExecute / DVOShellExecuteEx (1 is not used). */
#define DVO_OP_SHOW 0       /* edit or show the entry in the file manager */
#define DVO_OP_OPEN 2       /* open with the default application */
#define DVO_OP_PRINT 3      /* print a file */
#define DVO_OP_PROPERTIES 4 /* the file manager's properties of the entry */

/* Shell operations on directory/name. DVO_OP_SHOW shows the entry in the file manager and
 * DVO_OP_PROPERTIES its properties (org.freedesktop.FileManager1 on the session bus, given up
 * after 3 seconds; without a file manager there the containing folder is opened instead),
 * DVO_OP_OPEN opens it with the default application (xdg-open), DVO_OP_PRINT prints a file (lp).
 * owner is the program's window id (ignored). Programs are started without a shell and not
 * waited for. Any existing entry is accepted, also one the search did not see.
 * Results: 0; DVO_E_INVALID_ARGUMENT (bad name or op), DVO_E_NOT_FOUND, DVO_E_UNSUPPORTED (no
 * xdg-open / lp installed, or printing a folder). */
DVO_API int DVOShellExecute(unsigned long long owner, const char16_t* name,
                            const char16_t* directory, int op);

/* How a helper of DVOShellExecuteEx ended: its exit status (0 success; 128 + the signal when a
 * signal ended it) and the start of what it wrote to its standard error (at most 4 KiB, the
 * bytes as UTF-16 like names; empty when it wrote nothing). The text is the engine's and valid
 * only during the call. Called on a thread of the engine's, or before DVOShellExecuteEx returns
 * when no helper was needed (the file manager took the request: status 0). */
typedef void (*DVOShellDone)(int exitStatus, const char16_t* errorText, void* context);

/* DVOShellExecute that also tells how the helper (xdg-open, lp) ended: with a non-null done,
 * the helper's standard error goes to a pipe the engine reads, and done(status, text, context)
 * is called exactly once when the helper has exited, if and only if the call returned 0 (a
 * failure to start it is the call's result, as for DVOShellExecute). A program the helper
 * leaves running (a viewer) keeps writing into that pipe unharmed: the engine drains it until
 * that program closes it. The caller keeps context valid until done has run. With a null done
 * this is DVOShellExecute. */
DVO_API int DVOShellExecuteEx(unsigned long long owner, const char16_t* name,
                              const char16_t* directory, int op, DVOShellDone done, void* context);

/* File operations on an entry of the last search, given by its name and containing folder
 * exactly as reported (names that are not UTF-8 travel as U+DC80..U+DCFF). Each refuses a name
 * that is empty, ".", ".." or holds "/" (DVO_E_INVALID_ARGUMENT), one the last search did not
 * report (DVO_E_NOT_FOUND, also when it is gone from disk), and runs only while no search does
 * (DVO_E_BUSY). Right before acting it reaches the entry from the searched folder one folder at
 * a time, following no symbolic link (unless the search followed them), checks that every
 * folder on the way is the one the search listed, and that the entry is still what the search
 * saw: same device, inode and type, and not born after the search started (where the file
 * system keeps no birth time: its status not changed since). An entry or folder replaced since
 * (a folder swapped for a symbolic link, an entry deleted and made again under a reused inode
 * number) gives DVO_E_CHANGED and nothing is touched. Other failures: DVO_E_ACCESS, DVO_E_IO.
 * DVODeleteFile: to the user's trash (freedesktop.org Trash: the home trash for the file system
 *   of $XDG_DATA_HOME, else $topdir/.Trash/$uid or $topdir/.Trash-$uid). DVO_E_NO_TRASH when the
 *   entry's file system has no usable trash, or when there is no data folder at all (neither
 *   XDG_DATA_HOME nor HOME usable), DVO_E_MOUNT_POINT for a mount point; then nothing is deleted.
 * DVODeleteFilePermanently: removes the entry and all it holds, never following a symbolic link,
 *   never leaving the entry's device, never emptying a mount point; it goes on past what it cannot
 *   remove and reports the first failure (DVO_E_MOUNT_POINT when a mount point was left).
 * DVOCopyFile: copies (folders recursively) into the folder destination under the same name,
 *   keeping mode, modification time and extended attributes (POSIX ACLs among them); symbolic
 *   links are copied as links, fifos recreated. Holes of sparse files stay holes (the file system
 *   may share the blocks instead), and names of one file inside a copied folder stay hard links
 *   of one copy. An attribute the destination cannot hold (no support there, or not allowed to
 *   this process) is left out, as the owner is, so a copy to a file system without attributes
 *   works. Never overwrites: DVO_E_EXISTS when the name is taken there. DVO_E_NOT_A_FOLDER when
 *   the destination is no folder; DVO_E_INVALID_ARGUMENT for a folder copied into itself. A
 *   failed copy removes what it made.
 * DVOMoveFile: renames within a file system (never replacing: DVO_E_EXISTS); across file systems
 *   copies as above with owner, mode, times, hard links and every extended attribute, then
 *   removes the source once the copy is complete. An attribute the destination cannot hold fails
 *   the move (DVO_E_IO, or DVO_E_ACCESS when not allowed; the text names the attribute). A
 *   failure before the removal leaves the source whole and removes the partial copy; entries that
 *   changed during the copy are left in place and reported (DVO_E_IO). */
DVO_API int DVODeleteFile(const char16_t* name, const char16_t* directory);
DVO_API int DVODeleteFilePermanently(const char16_t* name, const char16_t* directory);
DVO_API int DVOCopyFile(const char16_t* name, const char16_t* directory,
                        const char16_t* destination);
DVO_API int DVOMoveFile(const char16_t* name, const char16_t* directory,
                        const char16_t* destination);

/* Progress of DVOCopyFileEx / DVOMoveFileEx, called on the thread that runs the call: bytes of
 * regular files copied so far and in all, by their sizes (holes of sparse files count as copied;
 * total -1 while the entries are still being counted),
 * and the entry at hand as a path relative to the containing folder (the engine's text, valid
 * during the call). Called at the start, then at most every 100 ms and once when the last byte
 * is copied; a rename within a file system is instant and calls it not at all. Return 0 to go
 * on, nonzero to cancel. */
typedef int (*DVOTransferProgress)(long long done, long long total, const char16_t* currentName,
                                   void* context);

/* DVOCopyFile / DVOMoveFile with progress and cancel; with a null progress they are those
 * calls. A call cancelled through progress returns DVO_E_CANCELLED: a copy after removing all it
 * made at the destination, a move across file systems with the source whole and no partial
 * copy left (the source is removed only after the copy completed, which no cancel interrupts).
 * The call may run on another thread than the other calls (see the top of this header); its
 * failure text is kept for DVOGetLastErrorText as usual, readable from any thread once the call
 * has returned. A successful move updates the folder records (totals, and the moved entry's
 * place) on that thread just before it returns: the caller reads no record until the call has
 * returned. progress may call nothing of the engine but the display texts. */
DVO_API int DVOCopyFileEx(const char16_t* name, const char16_t* directory,
                          const char16_t* destination, DVOTransferProgress progress, void* context);
DVO_API int DVOMoveFileEx(const char16_t* name, const char16_t* directory,
                          const char16_t* destination, DVOTransferProgress progress, void* context);

/* The reason of the last failed file, shell, export or open operation, or of a search that
 * stopped short (see the top of this header), as Japanese text for the user (UTF-16
 * into the caller's buffer of bufferBytes bytes: never written past, always NUL-terminated, cut
 * before a split surrogate pair); empty after a success. Returns the units written without the
 * NUL, or DVO_E_INVALID_ARGUMENT for a null buffer or bufferBytes < 2. */
DVO_API int DVOGetLastErrorText(char16_t* buffer, int bufferBytes);

/* Folders or entries of the last search that could not be read (unreadable, vanished, replaced
 * while read), and its records that could not be made for want of memory (see
 * DVOGetFirstFolderInfo); while a search runs, those counted so far. */
DVO_API int DVOGetErrorCount(void);

/* How far a folder record of the last search (also the record above the searched folder, which
 * answers for the searched folder) was read: one of DVO_FOLDER_* below; DVO_E_NOT_FOUND for a
 * record that is not a folder record of the last search (a file's record, null), DVO_E_BUSY
 * while searching. An entry other than a folder whose attributes could not be read has a record
 * with size 0 and an all-zero modifiedTime (wYear 0): its size and time are unknown. */
#define DVO_FOLDER_READ 0        /* every entry read */
#define DVO_FOLDER_UNREADABLE 1  /* could not be opened or read: its contents are unknown */
#define DVO_FOLDER_PARTIAL 2     /* not read, or read in part: the search was aborted or stopped */
#define DVO_FOLDER_MOUNT_POINT 3 /* a mount point (another file system or a bind), not entered */
#define DVO_FOLDER_NOT_ENTERED 4 /* not entered by choice (no recursion, or seen through a link) */
DVO_API int DVOGetFolderState(const FolderRecord* record);

/* Results as files in the ncdu JSON export format (major version 1), which ncdu and gdu read and
 * write too.
 * DVOExportResult writes the current result to path (minor version 2): the root's name is the
 * searched folder, each entry carries its name (its bytes as on disk), apparent size (asize) and
 * modification time; a file with several hard links its inode, "hlnkc" and, as "nlink", the
 * number of its links within the result; a device number where it changes; "read_error" for what
 * could not be read (or was not, the search being aborted), "excluded":"otherfs" for a mount
 * point not entered and "pattern" for a folder not entered by choice, "notreg" for entries that
 * are neither folders nor regular files, and the disk usage (dsize, st_blocks x 512) of every
 * entry but a folder (folders' own blocks are not kept). Entries deleted or moved since are
 * written as the records show them now.
 * The file is written beside path and renamed into place once complete, replacing an existing
 * one; a failed export leaves none. 0; DVO_E_INVALID_ARGUMENT (null or empty path),
 * DVO_E_NOT_FOUND (no result, or the folder of path does not exist), DVO_E_BUSY, DVO_E_ACCESS,
 * DVO_E_IO (DVOGetLastErrorText names the file and the reason).
 * DVOOpenResult reads an export (minor versions 0 to 2; unknown keys are ignored; an entry
 * without dsize has a disk usage of 0, as ncdu shows it) and makes it
 * the current result as if a search of its root had just ended: the folder list, the
 * enumerations, DVOGetCurrentSearchInfo, DVOGetFolderState and DVOGetErrorCount (the entries
 * marked read_error) answer for it. Folders' own sizes in the file are ignored, as a search does
 * not count them; a file with several links counts once by (dev, ino). File operations on its
 * entries return DVO_E_OPENED_RESULT, since they may be on another machine; a new search
 * replaces it. Failures leave the previous result as it was: DVO_E_NOT_FOUND / DVO_E_ACCESS /
 * DVO_E_IO when the file cannot be read, DVO_E_BAD_FILE when it is no complete export (not JSON,
 * truncated, another major version, a name empty, "." or ".." or holding '/' or NUL, a size
 * negative or not a whole number, two entries of one name in a folder, folders nested deeper
 * than 4096 levels or a path longer than 16384 bytes): DVOGetLastErrorText then names the file
 * and the byte offset where reading stopped. DVO_E_BUSY while a search runs.
 * DVOIsOpenedResult: nonzero while the current result is one DVOOpenResult opened. */
DVO_API int DVOExportResult(const char16_t* path);
DVO_API int DVOOpenResult(const char16_t* path);
DVO_API int DVOIsOpenedResult(void);

/* What changed since an earlier result. DVOCompareResult reads the export at path (as
 * DVOOpenResult does, failing the same ways) and compares it with the current result, matching
 * the two roots and then siblings by name: sink gets every entry whose size differs (folders by
 * their totals), DVO_CHANGE_NEW for one only in the current result and DVO_CHANGE_GONE for one
 * only in the file (each once, with its subtree's total, its contents not listed), a folder
 * before the entries below it; a folder on both sides is always compared below. Entries deleted
 * or moved away since the search count as gone. path in DVOChange is the entry's full path under
 * the current root, valid during the call only; a nonzero answer from sink stops the comparison.
 * root, when not null, receives the file's root path (cut to rootBytes, NUL-terminated). Returns
 * the number of changes reported; DVO_E_INVALID_ARGUMENT (null path or sink), DVO_E_NOT_FOUND
 * (no current result, or no such file), DVO_E_BUSY while a search runs, DVO_E_ACCESS, DVO_E_IO,
 * DVO_E_BAD_FILE. The current result is not changed. */
#define DVO_CHANGE_SIZE 0
#define DVO_CHANGE_NEW 1
#define DVO_CHANGE_GONE 2
typedef struct DVOChange {
    const char16_t* path;
    long long before;     /* bytes in the file (0 for a new entry) */
    long long after;      /* bytes now (0 for a vanished entry) */
    unsigned char kind;   /* DVO_KIND_FOLDER or DVO_KIND_FILE */
    unsigned char change; /* DVO_CHANGE_* */
} DVOChange;
typedef int (*DVOChangeSink)(const DVOChange* change, void* context);
DVO_API int DVOCompareResult(const char16_t* path, char16_t* root, int rootBytes,
                             DVOChangeSink sink, void* context);

#ifdef __cplusplus
}
#endif
