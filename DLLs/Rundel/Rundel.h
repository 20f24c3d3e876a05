#pragma once
/*
 * Rundel: conversions between numbers and fixed-width text fields, packed decimal digits, date
 * and time texts, and bounded copies and searches, with a plain C face.
 *
 * Fields are runs of bytes, not terminated strings: unless a function says it writes a
 * terminator, it writes exactly the bytes described and nothing after them, and the caller's
 * buffer must hold them. Widths and counts are the caller's to respect; a count of 0 or less
 * writes nothing. Texts are UTF-8 bytes; the path separator is '/'. The library keeps no state:
 * every function may be called from any thread at the same time.
 */
#ifdef __cplusplus
extern "C" {
#endif

#define RUNDEL_API __attribute__((visibility("default")))

/* The library's version as a date number: 20040329. */
RUNDEL_API int VerString(void);

/* ---- Numbers and fields --------------------------------------------------------------------- */

/* value as width decimal digits, right-aligned and padded with '0'; a value with more digits
 * keeps its lowest width digits (12345, width 3 -> "345"). A negative value is written by its
 * magnitude, without a sign. */
RUNDEL_API void LStr(int value, int width, char* field);

/* Two, four and eight upper-case hexadecimal digits of the low 8, 16 and 32 bits of value. */
RUNDEL_API void ByteHex(int value, char* field);
RUNDEL_API void WordHex(int value, char* field);
RUNDEL_API void LongHex(int value, char* field);

/* The number at the start of a field of count bytes: leading blanks skipped, then decimal
 * (Dec) or hexadecimal digits of either case (Hex) while they last; the first other byte (a
 * sign, a blank, a zero byte) ends it. No sign; the 32-bit value wraps on overflow. 0 for a
 * blank field. */
RUNDEL_API int Dec(const char* text, int count);
RUNDEL_API int Hex(const char* text, int count);

/* Dec over the terminated string s; 0 for a null pointer. */
RUNDEL_API int PasInt(const char* s);

/* Turns the leading '0' bytes of field into blanks, at most count of them, stopping at the first
 * byte that is not '0' ("000120" -> "   120", "0000" -> "    "). */
RUNDEL_API void ZSupr(int count, char* field);

/* Copy count bytes from source to target, a zero byte becoming a blank (Zero2Space) or a blank
 * becoming a zero byte (Space2Zero). */
RUNDEL_API void Zero2Space(const char* source, char* target, int count);
RUNDEL_API void Space2Zero(const char* source, char* target, int count);

/* ---- Packed digits ---------------------------------------------------------------------------- */

/* Packs count digits two to a byte, the first in the high half: '1' to '9' give 1 to 9, '0'
 * gives 10 and any other byte 0 (no digit). Writes (count + 1) / 2 bytes; an odd count leaves
 * the last low half 0 ("203" -> 0x2A 0x30). */
RUNDEL_API void Str2BCD(const char* digits, unsigned char* packed, int count);

/* Unpacks count half-bytes, high half first, into count bytes: a value v from 1 to 15 gives the
 * digit v modulo 10 (10 -> '0'), the value 0 a zero byte (BCD2Str) or a blank (BCD2Str2). No
 * terminator. */
RUNDEL_API void BCD2Str(const unsigned char* packed, char* text, int count);
RUNDEL_API void BCD2Str2(const unsigned char* packed, char* text, int count);

/* ---- Strings ---------------------------------------------------------------------------------- */

/* Length of the terminated string; 0 for a null pointer. */
RUNDEL_API int StrLength(const char* s);

/* Left-aligned copy of a length-prefixed string (a length byte, then the characters) into the
 * start of field: at most width characters, as strncpy copies them (a zero byte among them ends
 * the copy and zero-fills the rest of those places); later places are left untouched. A null
 * string fills width bytes with blanks. */
RUNDEL_API void CCopy(char* field, const char* lengthPrefixed, int width);

/* Right-aligned copy of a length-prefixed string of length n: into the last n of width places
 * when n <= width (places in front untouched), else its first width characters. As strncpy. A
 * null string fills width bytes with blanks. */
RUNDEL_API void NCopy(char* field, const char* lengthPrefixed, int width);

/* 1 when the first count bytes of text match pattern: '*' matches whatever follows, '?' any
 * byte, every other byte itself; 0 at the first difference. Zero bytes are not special: exactly
 * count positions are compared unless a '*' comes first. */
RUNDEL_API int StrMatch(const char* text, const char* pattern, int count);

/* Copies bytes from source to target until count are copied, a zero byte is met or the stop byte
 * (0x01 to 0xFF) is met; neither of those is copied, and no terminator is written. */
RUNDEL_API void StrCopy(char* target, const char* source, int count, int stop);

/* Finds the terminated key in the first length bytes of data: at the first offset where it
 * occurs, *position is set to the byte just after it and 1 returned. An empty key is found at
 * data itself. 0 when it does not occur (*position null). FindString2 tries the even offsets
 * only (text in double-byte characters). position may be null. */
RUNDEL_API int FindString(const char* data, const char* key, int length, char** position);
RUNDEL_API int FindString2(const char* data, const char* key, int length, char** position);

/* ---- Dates and times -------------------------------------------------------------------------- */

/* The current local date and time: "MM/DD/YYYY" (10 bytes), "MM/DD/YY" (8 bytes, the year's last
 * two digits) and "hh:mm:ss" (8 bytes, 24-hour clock). No terminator. */
RUNDEL_API void GetDate(char* field);
RUNDEL_API void GetDate2(char* field);
RUNDEL_API void GetTime(char* field);

/* ---- Paths ------------------------------------------------------------------------------------ */

/* The process's current folder with a '/' appended when it is shorter than 255 bytes and does
 * not already end in one, terminated. path: at least 256 bytes. Returns 0; -1 when the folder
 * cannot be had or does not fit 256 bytes (path is then ""). */
RUNDEL_API int GetCurrentPath(char* path);

/* result receives path up to its last '.' (searched over the whole path), then ext: "report.txt"
 * with "csv" gives "report.csv", with "" gives "report" (the dot goes too). A path without a dot
 * gives ext alone. Unlike Brindle's ChangeExt, which keeps the dot for an empty ext and gives ""
 * for a path without a dot. result may be path itself. Returns 0. */
RUNDEL_API int ChangeExt(const char* path, const char* ext, char* result);

/* name receives the bytes after the last '/' of path, the first byte examined too ("/name" ->
 * "name"), or all of path when it has none. Returns 0; -1 for an empty path (name then "").
 * Unlike Brindle's GetFileName, which never splits at index 0 and returns lengths. */
RUNDEL_API int GetFileName(const char* path, char* name);

#ifdef __cplusplus
}
#endif
