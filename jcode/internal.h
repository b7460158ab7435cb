// The forms of the converters, by name: byte at a time, and in blocks of 16 (SSE2) or 32
// (AVX2) bytes. They give the same bytes; the functions in jcode.h run the widest form the
// machine has, and the tests and the fuzz target compare them all.
#pragma once

#include <cstddef>

#include "jcode/jcode.h"

namespace jcode_internal {

using u8 = unsigned char;

// Where a conversion stopped reading and writing.
struct Progress {
  const u8* r;
  u8* w;
};

// The user-defined characters an output conversion met, each written as 〓: how many, and
// where in the output the first went.
struct Loss {
  size_t count = 0;
  const u8* first = nullptr;
};

// One form of the conversions, each over the range r..end, writing from w. Each converts the
// whole range unless it says where it stops; a block form finishes with the byte-at-a-time
// code.
struct Form {
  const char* name;
  // The length of the leading run of bytes below 0x80 other than ESC: bytes that decide no
  // code class and that the Shift_JIS converters leave as they are.
  size_t (*quiet_run)(const u8* p, size_t n);
  // In place (w == r) or behind the reader; return the end of the output.
  u8* (*jis_to_sjis)(const u8* r, const u8* end, u8* w);
  u8* (*euc_to_sjis)(const u8* r, const u8* end, u8* w);
  // The writer stays behind the reader by at least three times the bytes left to read; the
  // output ends in the ASCII set.
  u8* (*sjis_to_jis)(const u8* r, const u8* end, u8* w, Loss& loss);
  // In place (w == r): stops before the first half-width katakana, the one character that
  // grows.
  Progress (*sjis_to_euc_in_place)(const u8* r, const u8* end, u8* w, Loss& loss);
  // With the writer behind the reader: each katakana takes a byte of the writer's lead; when
  // the lead left may not cover the next step and is less than the bytes left to read, stops
  // on a character boundary for the caller to widen it.
  Progress (*sjis_to_euc_growing)(const u8* r, const u8* end, u8* w, Loss& loss);
};

const Form& bytewise_form();
const Form* sse2_form();  // nullptr where it is not built
const Form* avx2_form();  // nullptr where it is not built or the machine lacks AVX2
const Form& widest_form();

// The sized functions of jcode.h, in the given form.
int detect_kanji_code(const Form& form, const char* text, size_t n) noexcept;
size_t to_sjis(const Form& form, char* text, size_t n) noexcept;
size_t jis_to_sjis(const Form& form, char* text, size_t n) noexcept;
size_t euc_to_sjis(const Form& form, char* text, size_t n) noexcept;
size_t sjis_to_jis(const Form& form, char* text, size_t n) noexcept;
size_t sjis_to_euc(const Form& form, char* text, size_t n) noexcept;
size_t sjis_to_jis(const Form& form, char* text, size_t n, KanjiLoss* loss) noexcept;
size_t sjis_to_euc(const Form& form, char* text, size_t n, KanjiLoss* loss) noexcept;

}  // namespace jcode_internal
