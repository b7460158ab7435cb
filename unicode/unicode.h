// Unicode at the edges of text mode: classing a text as UTF-8 or UTF-16, decoding it to code
// page 932 (Shift_JIS as Windows has it) and encoding code page 932 back to UTF-8 or UTF-16LE,
// by the mapping of Windows and glibc iconv's CP932. Plain functions on byte buffers; no
// locale, no global state that changes: every call may run at the same time as any other.
#pragma once

#include <cstddef>

// What a text is, as the join sees it. A text that is not Unicode is left to the Japanese
// code detection.
enum UnicodeClass : int {
  UNICODE_NONE = 0,
  UNICODE_UTF8 = 1,
  UNICODE_UTF16LE = 2,
  UNICODE_UTF16BE = 3,
};

struct TextClass {
  UnicodeClass code;
  size_t mark_length;     // the byte-order mark's bytes at the start: 3 (UTF-8), 2 (UTF-16) or 0
  bool nul_free = false;  // no NUL among the bytes, as found on the way (false: there may be one)
};

// Classes the n bytes of a file (source, separator or table alike):
// - a byte-order mark EF BB BF gives UTF-8, FF FE UTF-16LE, FE FF UTF-16BE;
// - without a mark, the bytes up to the first NUL (or all n) give UTF-8 when at least one of
//   them is 0x80 or above and all of them are valid UTF-8: no overlong form, no surrogate,
//   nothing above U+10FFFF, no sequence cut short at the end;
// - anything else is UNICODE_NONE (mark_length 0). UTF-16 without a mark is never guessed.
TextClass classify_text(const char* text, size_t n) noexcept;

// True when the n bytes are valid UTF-8 throughout (an empty text is). A NUL is an ordinary
// character here; the caller decides where the text ends. When has_nul is given, a valid
// text also tells there whether it holds a NUL.
bool is_valid_utf8(const char* text, size_t n, bool* has_nul = nullptr) noexcept;

// What an unmappable character becomes in code page 932 text.
enum Unmappable : int {
  UNMAPPABLE_GETA = 0,  // the geta mark 〓 (81 AC)
  UNMAPPABLE_NCR = 1,   // &#xHHHH; : the code point in upper-case hexadecimal, at least four digits
};

// The outcome of a conversion: the bytes written before the terminator, and the characters
// replaced on the way with the 1-based line of the first one (0 when none was replaced).
// Lines are counted as the text's own line ends: CR LF, a lone CR and a lone LF each end one.
struct ConvertReport {
  size_t length;
  size_t replaced;
  size_t first_line;
};

// Bytes the output buffer of unicode_to_cp932 must hold for an n-byte input, the terminating
// NUL included: 4n + 1 (a two-byte UTF-8 character or a UTF-16 unit can become an eight-byte
// reference). 0 when that does not fit in size_t. The converters use the whole buffer as
// scratch: bytes after the terminator may change.
size_t unicode_to_cp932_capacity(size_t n) noexcept;

// Decodes the n bytes at `in` as `code` (UTF-8, UTF-16LE or UTF-16BE) and writes them to `out`
// as code page 932 text ending in a NUL; `out` must hold unicode_to_cp932_capacity(n) bytes
// and must not overlap `in`. A leading byte-order mark of that code is dropped. The text ends
// at its first U+0000 (a NUL byte in UTF-8, a zero unit in UTF-16); what follows is not read.
// - Each character is written as iconv's CP932 writes it; besides, U+301C, U+2016, U+2212,
//   U+00A2, U+00A3, U+00AC and U+2014 become 81 60, 81 61, 81 7C, 81 91, 81 92, 81 CA and
//   81 5C without being counted.
// - A character code page 932 lacks (everything above U+FFFF among them) becomes the geta
//   mark or its reference, as `mode` says, and is counted.
// - An invalid sequence becomes the geta mark in either mode (it has no code point to name)
//   and is counted once: in UTF-8 the longest start of a valid sequence, or else one byte; in
//   UTF-16 a surrogate without its partner, or a last odd byte.
// With `code` UNICODE_NONE nothing is decoded: out holds the empty text.
ConvertReport unicode_to_cp932(UnicodeClass code, const char* in, size_t n, char* out,
                               Unmappable mode) noexcept;

// unicode_to_cp932(UNICODE_UTF8, in, n, out, UNMAPPABLE_GETA) for n bytes that classify_text has
// found valid UTF-8, holding no NUL and not beginning with a mark: the text is not checked again.
// Should it not be such a text after all (a file that changed since it was classed), whatever is
// wrong in it still becomes the geta mark, no character makes more than two bytes, and nothing
// is read or written outside the buffers; what comes out and what is counted may then differ from
// unicode_to_cp932's.
ConvertReport valid_utf8_to_cp932(const char* in, size_t n, char* out) noexcept;

// classify_text and, for a text it classes as Unicode, unicode_to_cp932 in one, reading a
// UTF-8 text without a mark once. `out` must hold unicode_to_cp932_capacity(n) bytes; it holds
// the decoded text when the class is Unicode, and nothing of use otherwise (the report is then
// all 0).
struct DecodedText {
  TextClass text_class;
  ConvertReport report;
};
DecodedText classify_and_decode(const char* text, size_t n, char* out, Unmappable mode) noexcept;

// For decoding a Unicode text in parts, one after another, as unicode_to_cp932 decodes it
// whole: the length of the n bytes up to the text's first U+0000 (which ends it), and the
// first place from `at` on where the text may be cut, n at the latest: at a character's
// start, not between CR and LF, and not before U+FEFF (which would be taken for a mark at the
// start of a part). The first part begins at 0 and keeps the text's mark.
size_t unicode_text_length(UnicodeClass code, const char* text, size_t n) noexcept;
size_t unicode_cut(UnicodeClass code, const char* text, size_t n, size_t at) noexcept;

// The Unicode output codes.
enum UnicodeOutput : int {
  OUTPUT_UTF8 = 0,
  OUTPUT_UTF16LE = 1,
};

// Bytes the output buffer of cp932_to_unicode must hold for an n-byte input, with the mark
// and the terminator: 3n + 4 (a half-width katakana byte is three bytes of UTF-8). 0 when that
// does not fit in size_t; bytes after the terminator may change, as above.
size_t cp932_to_unicode_capacity(size_t n) noexcept;

// Encodes the n bytes of code page 932 text at `in` (line ends already as the output wants
// them) into `out` as UTF-8 or UTF-16LE; `out` must hold cp932_to_unicode_capacity(n) bytes and
// must not overlap `in`. All n bytes are converted; a NUL among them is U+0000. With
// `with_mark` the byte-order mark (EF BB BF, or FF FE) comes first: ask for it on the first
// piece of an output only. The result ends in one NUL byte (UTF-8) or two (UTF-16LE) that
// `length` does not count.
// - Each character is written as iconv's CP932 reads it (81 60 is U+FF5E).
// - A byte sequence that is no character becomes U+FFFD and is counted once: a first byte
//   with a second byte in the second-byte range is taken as one pair; a first byte without
//   one, or a byte that is never a character (0x80, 0xA0, 0xFD to 0xFF), alone.
ConvertReport cp932_to_unicode(UnicodeOutput code, bool with_mark, const char* in, size_t n,
                               char* out) noexcept;

// The line ends in the n bytes, as the reports count them: CR LF counts once, a lone CR and a
// lone LF once each (a CR at the very end counts: what follows it is not known to be an LF).
size_t count_line_ends(const char* text, size_t n) noexcept;

// For reports like `--guess`: a text's code and its line ends.
enum GuessedCode : int {
  GUESS_ASCII = 0,
  GUESS_SHIFT_JIS,
  GUESS_EUC_JP,
  GUESS_ISO_2022_JP,
  GUESS_UTF8,
  GUESS_UTF8_BOM,
  GUESS_UTF16LE,
  GUESS_UTF16BE,
};
enum LineEnds : int { LINE_ENDS_NONE = 0, LINE_ENDS_LF, LINE_ENDS_CRLF, LINE_ENDS_CR, LINE_ENDS_MIXED };
struct TextGuess {
  GuessedCode code;
  LineEnds line_ends;
};

// The code of the n bytes as classify_text sees them, and otherwise as the Japanese code
// detection does (a text whose only bytes from 0x80 up leave the detection undecided counts as
// Shift_JIS, as the join takes it); and its line ends, up to the end of the text (its first
// NUL, or the first zero unit in UTF-16): which of CR LF, lone CR, lone LF occur.
TextGuess guess_text(const char* text, size_t n) noexcept;

// "ASCII", "Shift_JIS", "EUC-JP", "ISO-2022-JP", "UTF-8", "UTF-8 (BOM)", "UTF-16LE", "UTF-16BE";
// "NONE", "LF", "CRLF", "CR", "MIXED". Static strings; an out-of-range value gives "".
const char* guessed_code_name(GuessedCode code) noexcept;
const char* line_ends_name(LineEnds line_ends) noexcept;
