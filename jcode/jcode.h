// Japanese character codes: detection of JIS, EUC-JP and Shift_JIS text and the
// conversions between them, on writable byte buffers. No locale; one small table, for code page
// 932's IBM extensions.
#pragma once

#include <cstddef>

// Code classes returned by detect_kanji_code.
enum KanjiCode : int {
  KANJI_UNKNOWN = 0,  // no decisive byte: pure ASCII, or only ambiguous bytes
  KANJI_EUC = 1,
  KANJI_SJIS = 2,
  KANJI_JIS = 4,
};

// Every function comes in two forms. The first takes a NUL-terminated text; the first NUL
// ends it. The second takes the text's length n and converts exactly those n bytes (a NUL
// among them is an ordinary byte below 0x80); it returns the new length. Both end the
// result with a NUL, so text[n] must be writable. For a text without a NUL inside, both
// forms give the same bytes.
//
// Nothing fails: malformed text goes through the same byte arithmetic as valid text, with
// one exception. Where the arithmetic would turn a malformed pair (or a JIS katakana byte
// 0x80) into a NUL byte, which would end the text there and lose the rest of it, the pair
// or byte keeps its own bytes. So no NUL comes out that was not in the input.

// The code class of the text, from its first decisive byte. The text is not changed.
int detect_kanji_code(const char* text) noexcept;
int detect_kanji_code(const char* text, size_t n) noexcept;

// Detects the code and brings JIS or EUC-JP text to Shift_JIS in place; Shift_JIS and
// undecided text are left alone. The result is never longer than the input.
void to_sjis(char* text) noexcept;
size_t to_sjis(char* text, size_t n) noexcept;

// In place; the result is never longer than the input.
void jis_to_sjis(char* text) noexcept;
size_t jis_to_sjis(char* text, size_t n) noexcept;
void euc_to_sjis(char* text) noexcept;
size_t euc_to_sjis(char* text, size_t n) noexcept;

// The result replaces the input in the same buffer and is at most 4n + 3 bytes long:
// the buffer must hold at least sjis_to_jis_capacity(n) bytes. Only ESC $ B, ESC ( B and
// ESC ( I are written; the text always ends in the ASCII set.
void sjis_to_jis(char* text) noexcept;
size_t sjis_to_jis(char* text, size_t n) noexcept;

// The result replaces the input in the same buffer and is at most 2n bytes long: the
// buffer must hold at least sjis_to_euc_capacity(n) bytes.
void sjis_to_euc(char* text) noexcept;
size_t sjis_to_euc(char* text, size_t n) noexcept;

// Code page 932's own characters in EUC-JP and JIS output. An IBM extension (FA 40 to FC 4B)
// is written as the code of the same character in JIS X 0208, else in NEC row 13, else in
// the NEC-selected rows (ED and EE), the way Windows maps them. A character of the
// user-defined area (F0 40 to F9 FC), which EUC-JP and JIS have no code for, is written as
// 〓 (GETA MARK) and counted: these forms report how many, and the line of the first
// (counted from 1 by the LF bytes written before it; 0 when there is none).
struct KanjiLoss {
  size_t count;
  size_t first_line;
};
size_t sjis_to_jis(char* text, size_t n, KanjiLoss* loss) noexcept;
size_t sjis_to_euc(char* text, size_t n, KanjiLoss* loss) noexcept;

// Buffer sizes the growing converters need for an n-byte text, with the NUL: 4n + 4 and
// 2n + 1. They are 0 when the size does not fit in size_t.
size_t sjis_to_jis_capacity(size_t n) noexcept;
size_t sjis_to_euc_capacity(size_t n) noexcept;
