// The forms of the conversions, by name: byte at a time, with runs of ASCII 16 bytes at a time
// (SSE2), and with blocks of kana and kanji (AVX2). They give the same bytes; the functions in
// unicode.h run the widest form the machine has, and the tests and the fuzz target compare
// them all.
#pragma once

#include <cstddef>

#include "unicode/unicode.h"

namespace unicode_internal {

// One form of the functions of the same names in unicode.h, with the same contracts.
struct Form {
  const char* name;
  // Also tells, when has_nul is given, whether a NUL is among the bytes of a valid text.
  bool (*is_valid_utf8)(const char* text, size_t n, bool* has_nul) noexcept;
  ConvertReport (*unicode_to_cp932)(UnicodeClass code, const char* in, size_t n, char* out,
                                    Unmappable mode) noexcept;
  ConvertReport (*valid_utf8_to_cp932)(const char* in, size_t n, char* out) noexcept;
  ConvertReport (*cp932_to_unicode)(UnicodeOutput code, bool with_mark, const char* in, size_t n,
                                    char* out) noexcept;
  DecodedText (*classify_and_decode)(const char* text, size_t n, char* out, Unmappable mode) noexcept;
};

const Form& bytewise_form();
const Form* sse2_form();  // nullptr where it is not built
const Form* avx2_form();  // nullptr where it is not built or the machine lacks AVX2
const Form& widest_form();

}  // namespace unicode_internal
