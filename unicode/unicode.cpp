// UTF-8 and UTF-16 to code page 932 and back, through flat tables generated from glibc iconv,
// in three forms (unicode/internal.h): byte at a time; with ASCII runs 16 bytes at a time
// (SSE2); and with UTF-8 validated 32 bytes at a time and turned into UTF-16 16 bytes a step,
// and runs of UTF-16 units and of kana and kanji converted a 16-byte block at a time (AVX2).
#include "unicode/unicode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

#include "jcode/jcode.h"
#include "unicode/internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define UNICODE_SSE2 1
#if defined(__GNUC__) || defined(__clang__)
#include <immintrin.h>
#define UNICODE_AVX2 1
#define UNICODE_TARGET_AVX2 __attribute__((target("avx2")))
#endif
#endif

namespace {

using u8 = unsigned char;

struct CodePair {
  uint16_t from, to;
};
#include "unicode/cp932_table.inc"

// Code page 932 output as the bytes in memory order: the first byte in the low half, the
// second (never 0) in the high half, or 0 there for a single byte.
constexpr uint16_t out_bytes(uint16_t code) {
  return code > 0xFF ? static_cast<uint16_t>(code >> 8 | code << 8) : code;
}
constexpr uint16_t kGeta = out_bytes(0x81AC);
constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr uint16_t kNoCharacter = 0xFFFF;  // code page 932 reads nothing as U+FFFF

// Code point -> code page 932 bytes (out_bytes), 0 for none: U+0000 and the surrogates too.
constexpr size_t kTableSize = 0x10000;
constexpr std::array<uint16_t, kTableSize> make_to_cp932() {
  std::array<uint16_t, kTableSize> t{};
  for (const CodePair& p : kUnicodeToCp932Pairs) t[p.from] = out_bytes(p.to);
  return t;
}
// Code page 932 code -> code point; kNoCharacter where there is none. Singles at 0x00XX, so
// a first byte's own entry is kNoCharacter and the pair's entry is at first << 8 | second.
constexpr std::array<uint16_t, kTableSize> make_from_cp932() {
  std::array<uint16_t, kTableSize> t{};
  for (uint16_t& v : t) v = kNoCharacter;
  for (const CodePair& p : kCp932ToUnicodePairs) t[p.from] = p.to;
  return t;
}
constexpr std::array<uint16_t, kTableSize> kToCp932 = make_to_cp932();
constexpr std::array<uint16_t, kTableSize> kFromCp932 = make_from_cp932();

// Code page 932 first bytes: 0x81-0x9F and 0xE0-0xFC; second bytes 0x40-0x7E and 0x80-0xFC.
inline bool is_first_byte(u8 b) {
  return static_cast<u8>(b - 0x81) < 0x1F || static_cast<u8>(b - 0xE0) < 0x1D;
}
inline bool is_second_byte(u8 b) { return static_cast<u8>(b - 0x40) < 0xBD && b != 0x7F; }

// ---- UTF-8 sequences

// Per first byte: the sequence length (0 for a byte that starts none) and the range of the
// second byte, which is where overlong forms, surrogates and values above U+10FFFF are refused.
struct Utf8Lead {
  u8 length, low, high;
};
constexpr std::array<Utf8Lead, 256> make_utf8_leads() {
  std::array<Utf8Lead, 256> t{};
  for (int b = 0xC2; b <= 0xDF; ++b) t[b] = {2, 0x80, 0xBF};
  for (int b = 0xE0; b <= 0xEF; ++b) t[b] = {3, 0x80, 0xBF};
  for (int b = 0xF0; b <= 0xF4; ++b) t[b] = {4, 0x80, 0xBF};
  t[0xE0].low = 0xA0;   // below: overlong
  t[0xED].high = 0x9F;  // above: surrogates
  t[0xF0].low = 0x90;   // below: overlong
  t[0xF4].high = 0x8F;  // above: beyond U+10FFFF
  return t;
}
constexpr std::array<Utf8Lead, 256> kUtf8Leads = make_utf8_leads();

// The sequence at p (p < end, *p >= 0x80): length > 0 and its code point when valid; else
// -k, k >= 1 being the bytes replaced as one (the longest start of a valid sequence).
struct Sequence {
  int length;
  char32_t cp;
};
inline Sequence read_utf8(const u8* p, const u8* end) {
  const Utf8Lead lead = kUtf8Leads[p[0]];
  if (lead.length == 0) return {-1, 0};
  if (end - p < 2 || p[1] < lead.low || p[1] > lead.high) return {-1, 0};
  char32_t cp = (p[0] & (0x7F >> lead.length)) << 6 | (p[1] & 0x3F);
  for (int i = 2; i < lead.length; ++i) {
    if (end - p <= i || (p[i] & 0xC0) != 0x80) return {-i, 0};
    cp = cp << 6 | (p[i] & 0x3F);
  }
  return {lead.length, cp};
}

#if UNICODE_AVX2
// 32 bytes at a time: a pair of adjacent bytes is wrong exactly when the three nibble tables
// below (first byte's high and low nibble, second byte's high nibble) share a bit; a byte that
// must be the second or third continuation after a three- or four-byte lead is checked apart.
namespace avx2 {

constexpr u8 kTooShort = 1 << 0;      // lead followed by a lead or ASCII
constexpr u8 kTooLong = 1 << 1;       // ASCII followed by a continuation
constexpr u8 kOverlong3 = 1 << 2;     // E0 80..9F
constexpr u8 kTooLarge = 1 << 3;      // F4 90..BF, F5.. 90..BF
constexpr u8 kSurrogate = 1 << 4;     // ED A0..BF
constexpr u8 kOverlong2 = 1 << 5;     // C0, C1
constexpr u8 kTooLarge1000 = 1 << 6;  // F5.. 80..8F
constexpr u8 kOverlong4 = 1 << 6;     // F0 80..8F
constexpr u8 kTwoConts = 1 << 7;      // a continuation after a continuation
constexpr u8 kCarry = kTooShort | kTooLong | kTwoConts;

UNICODE_TARGET_AVX2 inline __m256i table16(u8 a0, u8 a1, u8 a2, u8 a3, u8 a4, u8 a5, u8 a6, u8 a7, u8 a8,
                                           u8 a9, u8 a10, u8 a11, u8 a12, u8 a13, u8 a14, u8 a15) {
  const __m128i t = _mm_setr_epi8(
      static_cast<char>(a0), static_cast<char>(a1), static_cast<char>(a2), static_cast<char>(a3),
      static_cast<char>(a4), static_cast<char>(a5), static_cast<char>(a6), static_cast<char>(a7),
      static_cast<char>(a8), static_cast<char>(a9), static_cast<char>(a10), static_cast<char>(a11),
      static_cast<char>(a12), static_cast<char>(a13), static_cast<char>(a14), static_cast<char>(a15));
  return _mm256_broadcastsi128_si256(t);
}

struct Checker {
  __m256i first_high, first_low, second_high, low_nibble;
  __m256i error = _mm256_setzero_si256();
  __m256i previous = _mm256_setzero_si256();
  __m256i previous_incomplete = _mm256_setzero_si256();

  UNICODE_TARGET_AVX2 Checker() {
    first_high =
        table16(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTwoConts,
                kTwoConts, kTwoConts, kTwoConts, kTooShort | kOverlong2, kTooShort,
                kTooShort | kOverlong3 | kSurrogate, kTooShort | kTooLarge | kTooLarge1000 | kOverlong4);
    constexpr u8 kLarge = kCarry | kTooLarge | kTooLarge1000;
    first_low = table16(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
                        kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
                        kLarge | kSurrogate, kLarge, kLarge);
    constexpr u8 kCont = kTooLong | kOverlong2 | kTwoConts;
    second_high = table16(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                          kTooShort, kCont | kOverlong3 | kTooLarge1000 | kOverlong4,
                          kCont | kOverlong3 | kTooLarge, kCont | kSurrogate | kTooLarge,
                          kCont | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort);
    low_nibble = _mm256_set1_epi8(0x0F);
  }

  // The block shifted by n bytes, the last n bytes of the block before in front.
  template <int n>
  UNICODE_TARGET_AVX2 static __m256i before(__m256i block, __m256i previous) {
    return _mm256_alignr_epi8(block, _mm256_permute2x128_si256(previous, block, 0x21), 16 - n);
  }

  UNICODE_TARGET_AVX2 void add(__m256i block) {
    if (_mm256_movemask_epi8(block) == 0) {
      // ASCII alone: right only if nothing before it waits for a continuation.
      error = _mm256_or_si256(error, previous_incomplete);
    } else {
      const __m256i prev1 = before<1>(block, previous);
      const __m256i high1 = _mm256_and_si256(_mm256_srli_epi16(prev1, 4), low_nibble);
      const __m256i low1 = _mm256_and_si256(prev1, low_nibble);
      const __m256i high2 = _mm256_and_si256(_mm256_srli_epi16(block, 4), low_nibble);
      const __m256i special = _mm256_and_si256(
          _mm256_and_si256(_mm256_shuffle_epi8(first_high, high1), _mm256_shuffle_epi8(first_low, low1)),
          _mm256_shuffle_epi8(second_high, high2));
      const __m256i prev2 = before<2>(block, previous);
      const __m256i prev3 = before<3>(block, previous);
      const __m256i third = _mm256_subs_epu8(prev2, _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80)));
      const __m256i fourth = _mm256_subs_epu8(prev3, _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80)));
      const __m256i must_continue =
          _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(static_cast<char>(0x80)));
      error = _mm256_or_si256(error, _mm256_xor_si256(must_continue, special));
      // A lead among the last three bytes that its sequence does not fit after.
      const __m256i limits =
          _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                           -1, -1, -1, -1, -1, -1, -1, -1, static_cast<char>(0xF0 - 1),
                           static_cast<char>(0xE0 - 1), static_cast<char>(0xC0 - 1));
      previous_incomplete = _mm256_subs_epu8(block, limits);
    }
    previous = block;
  }

  UNICODE_TARGET_AVX2 bool valid_at_end() {
    error = _mm256_or_si256(error, previous_incomplete);
    return _mm256_testz_si256(error, error);
  }
};

// Also tells, when has_nul is given, whether a NUL is among the bytes (a valid text's only).
UNICODE_TARGET_AVX2 bool is_valid_utf8_avx2(const u8* p, const u8* end, bool* has_nul = nullptr) {
  Checker checker;
  __m256i least = _mm256_set1_epi8(-1);  // each lane's least byte: 0 where a NUL passed
  // A text that is not UTF-8 (Shift_JIS, most often) shows it early: the error is looked at
  // every 2 KiB.
  constexpr ptrdiff_t kBlocksPerLook = 64;
  while (end - p >= 32 * kBlocksPerLook) {
    for (int i = 0; i < kBlocksPerLook; ++i, p += 32) {
      const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      checker.add(block);
      least = _mm256_min_epu8(least, block);
    }
    if (!_mm256_testz_si256(checker.error, checker.error)) return false;
  }
  for (; end - p >= 32; p += 32) {
    const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    checker.add(block);
    least = _mm256_min_epu8(least, block);
  }
  bool nul_in_tail = false;
  if (p < end) {
    // The tail padded with NULs: ASCII, so a sequence cut short shows as one.
    alignas(32) u8 tail[32] = {};
    std::memcpy(tail, p, static_cast<size_t>(end - p));
    checker.add(_mm256_load_si256(reinterpret_cast<const __m256i*>(tail)));
    nul_in_tail = std::memchr(p, 0, static_cast<size_t>(end - p)) != nullptr;
  }
  if (has_nul != nullptr) {
    *has_nul = nul_in_tail || _mm256_movemask_epi8(_mm256_cmpeq_epi8(least, _mm256_setzero_si256())) != 0;
  }
  return checker.valid_at_end();
}

}  // namespace avx2

bool has_avx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

#if UNICODE_SSE2
inline __m128i load16(const u8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store16(u8* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
#endif

// The ASCII bytes at p, written to w as bytes (kUnit 1) or as UTF-16LE units (kUnit 2), 16
// at a time while at least 16 remain, until the first byte from 0x80 up; returns how many
// bytes it took (0 when it did not run, as in the byte-at-a-time form).
template <bool kSse2, int kUnit = 1>
inline size_t copy_ascii_run(const u8* p, const u8* end, u8* w) {
  size_t done = 0;
#if UNICODE_SSE2
  while (kSse2 && end - p - done >= 16) {
    const __m128i v = load16(p + done);
    if constexpr (kUnit == 1) {
      store16(w + done, v);
    } else {
      store16(w + 2 * done, _mm_unpacklo_epi8(v, _mm_setzero_si128()));
      store16(w + 2 * done + 16, _mm_unpackhi_epi8(v, _mm_setzero_si128()));
    }
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
    if (high != 0) return done + static_cast<size_t>(std::countr_zero(high));
    done += 16;
  }
#else
  (void)p;
  (void)end;
  (void)w;
#endif
  return done;
}

// ---- Replacements and their report

// Counts a replacement; the first one takes its line from the text before it, which `text`
// to `at` holds.
inline void note_replacement(ConvertReport& report, const u8* text, const u8* at) {
  if (report.replaced++ == 0) {
    report.first_line =
        1 + count_line_ends(reinterpret_cast<const char*>(text), static_cast<size_t>(at - text));
  }
}

// Always writes two bytes; the second of a single-byte code lands where the next one goes.
inline u8* put_cp932(u8* w, uint16_t bytes) {
  w[0] = static_cast<u8>(bytes);
  w[1] = static_cast<u8>(bytes >> 8);
  return w + 1 + (bytes > 0xFF);
}

// &#xHHHH; with at least four digits.
u8* put_reference(u8* w, char32_t cp) {
  static const char kDigits[] = "0123456789ABCDEF";
  int digits = 4;
  while (digits < 8 && (cp >> (4 * digits)) != 0) ++digits;
  *w++ = '&';
  *w++ = '#';
  *w++ = 'x';
  for (int i = digits - 1; i >= 0; --i) *w++ = static_cast<u8>(kDigits[(cp >> (4 * i)) & 0xF]);
  *w++ = ';';
  return w;
}

// Where a decoded character goes: code page 932 bytes, or a replacement that is counted.
struct Decoder {
  const u8* const out;
  const Unmappable mode;
  ConvertReport report{};

  u8* put(u8* w, char32_t cp) {
    const uint16_t bytes = cp <= 0xFFFF ? kToCp932[cp] : 0;
    if (bytes != 0) return put_cp932(w, bytes);
    note_replacement(report, out, w);
    return mode == UNMAPPABLE_NCR ? put_reference(w, cp) : put_cp932(w, kGeta);
  }
  u8* put_invalid(u8* w) {
    note_replacement(report, out, w);
    return put_cp932(w, kGeta);
  }
};

inline uint32_t load32(const u8* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Three-byte sequences make up most of Japanese text: they take the short road when valid
// and mapped, everything else the general one. On the short road a three-byte pattern with a
// code point from U+0800 up is valid unless a surrogate, which the table does not map.
template <bool kSse2>
u8* decode_utf8(const u8* p, const u8* end, u8* w, Decoder& decoder) {
  while (p < end) {
    if (end - p >= 4) {
      const uint32_t x = load32(p);
      if ((x & 0xC0C0F0) == 0x8080E0) {
        const uint32_t cp = (x & 0x0F) << 12 | (x & 0x3F00) >> 2 | (x & 0x3F0000) >> 16;
        const uint16_t bytes = kToCp932[cp];
        if (bytes != 0 && cp >= 0x800) {
          w = put_cp932(w, bytes);
          p += 3;
          continue;
        }
      }
    }
    const u8 b0 = *p;
    if (b0 < 0x80) {
      const size_t run = copy_ascii_run<kSse2>(p, end, w);
      if (run == 0) {
        *w++ = b0;
        ++p;
      } else {
        p += run;
        w += run;
      }
      continue;
    }
    const Sequence s = read_utf8(p, end);
    if (s.length < 0) {
      w = decoder.put_invalid(w);
      p -= s.length;
    } else {
      w = decoder.put(w, s.cp);
      p += s.length;
    }
  }
  return w;
}

template <bool kBigEndian>
inline unsigned read_unit(const u8* p) {
  return kBigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
}

#if UNICODE_SSE2
// Eight units at p as eight ASCII bytes at w, when all of them are ASCII and none is zero.
template <bool kBigEndian>
inline bool put_ascii_units(const u8* p, u8* w) {
  __m128i v = load16(p);
  if (kBigEndian) v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
  const __m128i zero = _mm_setzero_si128();
  const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
  const __m128i nul = _mm_cmpeq_epi16(v, zero);
  if (_mm_movemask_epi8(_mm_andnot_si128(nul, ascii)) != 0xFFFF) return false;
  _mm_storel_epi64(reinterpret_cast<__m128i*>(w), _mm_packus_epi16(v, v));
  return true;
}
#endif

// One unit or surrogate pair at p (2 bytes readable); false at the end of the text, the
// first U+0000. The table has no entry for U+0000 nor for the surrogates, so one test on the
// entry sends them and unmappable characters alike off the short road.
template <bool kBigEndian>
inline bool decode_utf16_step(const u8*& p, const u8* end, u8*& w, Decoder& decoder) {
  const unsigned unit = read_unit<kBigEndian>(p);
  const uint16_t bytes = kToCp932[unit];
  p += 2;
  if (bytes != 0) {
    w = put_cp932(w, bytes);
  } else if (unit == 0) {
    return false;
  } else if (unit - 0xD800 >= 0x800) {
    w = decoder.put(w, unit);
  } else if (unit < 0xDC00 && end - p >= 2 && read_unit<kBigEndian>(p) - 0xDC00 < 0x400) {
    w = decoder.put(w, 0x10000 + ((unit - 0xD800) << 10) + (read_unit<kBigEndian>(p) - 0xDC00));
    p += 2;
  } else {
    w = decoder.put_invalid(w);  // a surrogate without its partner
  }
  return true;
}

template <bool kBigEndian, bool kSse2>
u8* decode_utf16(const u8* p, const u8* end, u8* w, Decoder& decoder) {
  while (end - p >= 2) {
#if UNICODE_SSE2
    if (kSse2 && end - p >= 16 && put_ascii_units<kBigEndian>(p, w)) {
      p += 16;
      w += 8;
      continue;
    }
#endif
    if (!decode_utf16_step<kBigEndian>(p, end, w, decoder)) return w;
  }
  if (p < end) w = decoder.put_invalid(w);  // one odd byte at the end
  return w;
}

// ---- Code page 932 to Unicode

template <UnicodeOutput kCode>
inline u8* put_unicode(u8* w, char32_t cp) {
  if (kCode == OUTPUT_UTF16LE) {
    w[0] = static_cast<u8>(cp);
    w[1] = static_cast<u8>(cp >> 8);
    return w + 2;
  }
  if (cp < 0x80) {
    *w = static_cast<u8>(cp);
    return w + 1;
  }
  if (cp < 0x800) {
    w[0] = static_cast<u8>(0xC0 | cp >> 6);
    w[1] = static_cast<u8>(0x80 | (cp & 0x3F));
    return w + 2;
  }
  w[0] = static_cast<u8>(0xE0 | cp >> 12);
  w[1] = static_cast<u8>(0x80 | ((cp >> 6) & 0x3F));
  w[2] = static_cast<u8>(0x80 | (cp & 0x3F));
  w[3] = 0;  // one store of four bytes; the next character overwrites the fourth
  return w + 3;
}

// One character at p, or one byte that is none (counted, with its line from `in` on).
template <UnicodeOutput kCode>
inline void encode_step(const u8* in, const u8*& p, const u8* end, u8*& w, ConvertReport& report) {
  const u8 b = *p;
  const bool pair = is_first_byte(b) && end - p >= 2 && is_second_byte(p[1]);
  const uint16_t cp = kFromCp932[pair ? (b << 8 | p[1]) : b];
  if (cp == kNoCharacter) {
    note_replacement(report, in, p);
    w = put_unicode<kCode>(w, kReplacementCharacter);
  } else {
    w = put_unicode<kCode>(w, cp);
  }
  p += pair ? 2 : 1;
}

// Encodes [p, end) of the text that starts at `in`.
template <UnicodeOutput kCode, bool kSse2>
u8* encode(const u8* in, const u8* p, const u8* end, u8* w, ConvertReport& report) {
  while (p < end) {
    if (*p < 0x80) {
      const size_t run =
          kCode == OUTPUT_UTF8 ? copy_ascii_run<kSse2>(p, end, w) : copy_ascii_run<kSse2, 2>(p, end, w);
      if (run != 0) {
        p += run;
        w += kCode == OUTPUT_UTF8 ? run : 2 * run;
        continue;
      }
    }
    encode_step<kCode>(in, p, end, w, report);
  }
  return w;
}

#if UNICODE_AVX2
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,popcnt")
#endif
// Blocks of 16 bytes whose characters all take the same road (UTF-16 units; code page 932
// pairs): their codes are looked up one lane at a time and written with one store. A block takes
// its leading characters of that road, as many as there are; what is left goes one character
// at a time, and the last 15 bytes always do. Valid UTF-8 becomes UTF-16 units on the way.
namespace avx2 {

// pshufb masks keeping, of eight 16-bit lanes, the low byte of each and the high byte of the
// lanes whose bit is set: code page 932 bytes in memory order, singles and pairs.
constexpr std::array<std::array<int8_t, 16>, 256> make_compress_masks() {
  std::array<std::array<int8_t, 16>, 256> t{};
  for (int mask = 0; mask < 256; ++mask) {
    int at = 0;
    for (int lane = 0; lane < 8; ++lane) {
      t[mask][at++] = static_cast<int8_t>(2 * lane);
      if (mask >> lane & 1) t[mask][at++] = static_cast<int8_t>(2 * lane + 1);
    }
    while (at < 16) t[mask][at++] = -1;
  }
  return t;
}
constexpr std::array<std::array<int8_t, 16>, 256> kCompressMasks = make_compress_masks();

// Bit i set where 16-bit lane i is all ones.
inline unsigned lanes16(__m128i v) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(v, v))) & 0xFF;
}

// The table entries of eight 16-bit indexes. One load each: the vector gathers are slower than
// this on machines that guard them against leaks.
inline __m128i look_up(const std::array<uint16_t, kTableSize>& table, __m128i indexes) {
  const uint64_t low = static_cast<uint64_t>(_mm_cvtsi128_si64(indexes));
  const uint64_t high = static_cast<uint64_t>(_mm_extract_epi64(indexes, 1));
  __m128i entries = _mm_cvtsi32_si128(table[low & 0xFFFF]);
  entries = _mm_insert_epi16(entries, table[low >> 16 & 0xFFFF], 1);
  entries = _mm_insert_epi16(entries, table[low >> 32 & 0xFFFF], 2);
  entries = _mm_insert_epi16(entries, table[low >> 48], 3);
  entries = _mm_insert_epi16(entries, table[high & 0xFFFF], 4);
  entries = _mm_insert_epi16(entries, table[high >> 16 & 0xFFFF], 5);
  entries = _mm_insert_epi16(entries, table[high >> 32 & 0xFFFF], 6);
  return _mm_insert_epi16(entries, table[high >> 48], 7);
}

// Writes the code page 932 bytes (out_bytes) of the first `count` of eight lanes at w; all
// eight are stored, w moves past the first `count`.
inline u8* put_cp932_lanes(u8* w, __m128i bytes, unsigned count) {
  const unsigned doubles = ~lanes16(_mm_cmpeq_epi16(_mm_srli_epi16(bytes, 8), _mm_setzero_si128())) & 0xFF;
  const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kCompressMasks[doubles].data()));
  store16(w, _mm_shuffle_epi8(bytes, mask));
  return w + count + static_cast<unsigned>(std::popcount(doubles & ((1u << count) - 1)));
}

// Writes the first `count` characters of a block and moves p past them, `width` bytes each;
// false for none. A whole block moves p by a constant: the next block's loads need not wait
// for this block's table lookups.
inline bool advance(const u8*& p, u8*& w, __m128i bytes, unsigned count, unsigned whole, unsigned width) {
  if (__builtin_expect(count == whole, 1)) {
    w = put_cp932_lanes(w, bytes, whole);
    p += whole * width;
    return true;
  }
  if (count == 0) return false;
  w = put_cp932_lanes(w, bytes, count);
  p += count * width;
  return true;
}

// Up to eight mapped units of UTF-16 at p (16 bytes readable).
template <bool kBigEndian>
inline bool put_unit_run(const u8*& p, u8*& w) {
  __m128i v = load16(p);
  if (kBigEndian) v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
  const __m128i bytes = look_up(kToCp932, v);
  const unsigned count =
      static_cast<unsigned>(std::countr_zero(lanes16(_mm_cmpeq_epi16(bytes, _mm_setzero_si128())) | 0x100));
  return advance(p, w, bytes, count, 8, 2);
}

// Code page 932 code (an index of kFromCp932) -> the character in UTF-8: its bytes in memory
// order in the low three bytes, their count in the high one; 0 where there is no character.
constexpr std::array<uint32_t, kTableSize> make_utf8_of_cp932() {
  std::array<uint32_t, kTableSize> t{};
  for (const CodePair& pair : kCp932ToUnicodePairs) {
    const uint32_t cp = pair.to;
    if (cp < 0x80) {
      t[pair.from] = cp | 1u << 24;
    } else if (cp < 0x800) {
      t[pair.from] = (0xC0 | cp >> 6) | (0x80 | (cp & 0x3F)) << 8 | 2u << 24;
    } else {
      t[pair.from] =
          (0xE0 | cp >> 12) | (0x80 | (cp >> 6 & 0x3F)) << 8 | (0x80 | (cp & 0x3F)) << 16 | 3u << 24;
    }
  }
  return t;
}
constexpr std::array<uint32_t, kTableSize> kUtf8OfCp932 = make_utf8_of_cp932();

// Bit i set where byte i of v lies in [low, high].
inline uint32_t bytes_in(__m256i v, u8 low, u8 high) {
  const __m256i from_low = _mm256_sub_epi8(v, _mm256_set1_epi8(static_cast<char>(low)));
  const __m256i span = _mm256_set1_epi8(static_cast<char>(high - low));
  return static_cast<uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(from_low, span), from_low)));
}

// The first bytes of the pairs among 32 bytes that begin with a character (or with the second
// byte of one, which is then no possible first byte), given where a byte may be a first byte.
// Any other byte ends a character, so a run of possible first bytes holds pairs from its own
// first byte on, every other byte: at its odd or its even places.
inline uint32_t pair_starts(uint32_t maybe_first) {
  constexpr uint32_t kOdd = 0xAAAAAAAA, kEven = 0x55555555;
  const uint32_t run_starts = maybe_first & ~(maybe_first << 1);
  // A carry added at a run's start runs through the run: the bits it flips are those of the
  // runs that start at an odd place.
  const uint32_t odd_runs = ((maybe_first + (run_starts & kOdd)) ^ maybe_first) & maybe_first;
  return (odd_runs & kOdd) | (maybe_first & ~odd_runs & kEven);
}

// pshufb masks gathering, of eight 16-bit lanes, those whose bit is set, in order, at the front.
constexpr std::array<std::array<int8_t, 16>, 256> make_gather_masks() {
  std::array<std::array<int8_t, 16>, 256> t{};
  for (int mask = 0; mask < 256; ++mask) {
    int at = 0;
    for (int lane = 0; lane < 8; ++lane) {
      if ((mask >> lane & 1) == 0) continue;
      t[mask][at++] = static_cast<int8_t>(2 * lane);
      t[mask][at++] = static_cast<int8_t>(2 * lane + 1);
    }
    while (at < 16) t[mask][at++] = -1;
  }
  return t;
}
constexpr std::array<std::array<int8_t, 16>, 256> kGatherMasks = make_gather_masks();

// Writes the 16-bit lanes of `lanes` whose bits are set in the 16-bit `mask`, in
// order, at out (16 units may be written); returns the end of those kept.
template <typename Unit>
inline Unit* store_selected(Unit* out, __m256i lanes, unsigned mask) {
  static_assert(sizeof(Unit) == 2);
  const unsigned low = mask & 0xFF, high = mask >> 8;
  store16(reinterpret_cast<u8*>(out),
          _mm_shuffle_epi8(_mm256_castsi256_si128(lanes),
                           load16(reinterpret_cast<const u8*>(kGatherMasks[low].data()))));
  out += std::popcount(low);
  store16(reinterpret_cast<u8*>(out),
          _mm_shuffle_epi8(_mm256_extracti128_si256(lanes, 1),
                           load16(reinterpret_cast<const u8*>(kGatherMasks[high].data()))));
  return out + std::popcount(high);
}

// The codes (kFromCp932's indexes) of the characters that start among the bytes from p on (p at
// a character's start), a block of 32 at a time while a block starts before `limit` and 33
// bytes are readable from it, stored from c on and c moved past them. Stops before a block of
// ASCII, which takes a shorter road, and before a first byte whose second byte is none. Returns
// where it stopped, at a character's start. A block always moves p by 32 (a pair its last byte
// starts is taken with it, and its second byte skipped in the next): the next block's loads
// never wait for this block's masks.
inline const u8* codes_of(const u8* p, const u8* limit, uint16_t*& c) {
  const __m256i bits = _mm256_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384,
                                         static_cast<short>(0x8000));
  uint32_t carried = 0;  // 1 when the block's first byte is the second of a pair
  for (; p < limit; p += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    if (_mm256_movemask_epi8(v) == 0 && carried == 0) break;
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const uint32_t firsts = pair_starts((bytes_in(v, 0x81, 0x9F) | bytes_in(v, 0xE0, 0xFC)) & ~carried);
    // A second byte 0x7F is let through: no character has it, so the table sends the pair to the
    // byte-at-a-time road, which takes it apart.
    const uint32_t wrong = firsts & ~bytes_in(next, 0x40, 0xFC);
    uint32_t starts = ~(firsts << 1 | carried);
    if (wrong != 0) starts &= (1u << std::countr_zero(wrong)) - 1;
    // Each place's code as if a character started there, the pair's where a first byte stands;
    // those of the places where one does start are gathered.
    for (int half = 0; half < 2; ++half) {
      const __m256i b =
          _mm256_cvtepu8_epi16(half == 0 ? _mm256_castsi256_si128(v) : _mm256_extracti128_si256(v, 1));
      const __m256i second =
          _mm256_cvtepu8_epi16(half == 0 ? _mm256_castsi256_si128(next) : _mm256_extracti128_si256(next, 1));
      const __m256i is_first = _mm256_cmpeq_epi16(
          _mm256_and_si256(_mm256_set1_epi16(static_cast<short>(firsts >> (16 * half))), bits), bits);
      const __m256i codes = _mm256_blendv_epi8(b, _mm256_or_si256(_mm256_slli_epi16(b, 8), second), is_first);
      c = store_selected(c, codes, starts >> (16 * half) & 0xFFFF);
    }
    if (wrong != 0) return p + std::countr_zero(wrong);
    carried = firsts >> 31;
  }
  return p + carried;
}

// Writes the characters of the codes from c to c_end at w, up to the first code that is no
// character; returns how many it wrote. Each is one table load and one store.
template <UnicodeOutput kCode>
inline size_t put_codes(const uint16_t* const c, const uint16_t* const c_end, u8*& w) {
  const uint16_t* q = c;
  if (kCode == OUTPUT_UTF16LE) {
    for (; c_end - q >= 8; q += 8) {
      const __m128i cp = look_up(kFromCp932, load16(reinterpret_cast<const u8*>(q)));
      store16(w, cp);
      const unsigned none = lanes16(_mm_cmpeq_epi16(cp, _mm_set1_epi16(-1)));  // kNoCharacter
      if (none != 0) {
        const unsigned good = static_cast<unsigned>(std::countr_zero(none));
        w += 2 * good;
        return static_cast<size_t>(q - c) + good;
      }
      w += 16;
    }
  }
  if (kCode == OUTPUT_UTF8) {
    // Four at a time, one loop test for the four.
    for (; c_end - q >= 4; q += 4) {
      const uint32_t a = kUtf8OfCp932[q[0]], b = kUtf8OfCp932[q[1]], d = kUtf8OfCp932[q[2]],
                     e = kUtf8OfCp932[q[3]];
      if (a == 0 || b == 0 || d == 0 || e == 0) break;
      std::memcpy(w, &a, 4);  // the fourth byte of each is overwritten by what follows
      w += a >> 24;
      std::memcpy(w, &b, 4);
      w += b >> 24;
      std::memcpy(w, &d, 4);
      w += d >> 24;
      std::memcpy(w, &e, 4);
      w += e >> 24;
    }
  }
  for (; q != c_end; ++q) {
    if (kCode == OUTPUT_UTF8) {
      const uint32_t utf8 = kUtf8OfCp932[*q];
      if (utf8 == 0) break;
      std::memcpy(w, &utf8, 4);  // the fourth byte is overwritten by what follows
      w += utf8 >> 24;
    } else {
      const uint16_t cp = kFromCp932[*q];
      if (cp == kNoCharacter) break;
      std::memcpy(w, &cp, 2);
      w += 2;
    }
  }
  return static_cast<size_t>(q - c);
}

// A character's first byte at or up to three bytes before q; q itself when there is none.
const u8* character_start(const u8* q) {
  for (int back = 0; back < 3 && (q[-back] & 0xC0) == 0x80; ++back) {
    if ((q[-back - 1] & 0xC0) != 0x80) return q - back - 1;
  }
  return q;
}

template <bool kBigEndian>
u8* decode_utf16(const u8* p, const u8* end, u8* w, Decoder& decoder) {
  while (end - p >= 16) {
    if (put_unit_run<kBigEndian>(p, w)) continue;
    if (!decode_utf16_step<kBigEndian>(p, end, w, decoder)) return w;
  }
  return ::decode_utf16<kBigEndian, true>(p, end, w, decoder);
}

// The UTF-16 units of the characters that start in [p, stop), one at a time; the last may end
// after stop, not after end. Valid UTF-8 is expected; should its file have changed since it was
// checked, a wrong sequence becomes a lone surrogate, which the decoding replaces.
char16_t* units_from(const u8* p, const u8* stop, const u8* end, char16_t* u) {
  for (; p < stop; ++p) {
    if (*p < 0x80) {
      *u++ = *p;
      continue;
    }
    if ((*p & 0xC0) == 0x80) continue;  // inside a character
    const Sequence s = read_utf8(p, end);
    if (s.length < 0) {
      *u++ = 0xDC00;
    } else if (s.cp < 0x10000) {
      *u++ = static_cast<char16_t>(s.cp);
    } else {
      *u++ = static_cast<char16_t>(0xD800 + ((s.cp - 0x10000) >> 10));
      *u++ = static_cast<char16_t>(0xDC00 + (s.cp & 0x3FF));
    }
  }
  return u;
}

// The units of the characters that start among the 16 bytes at p (18 readable), none of them
// of four bytes: every byte is taken as a character's start and decoded in its lane, and the
// lanes of the real starts are gathered. The step is always 16 bytes, whatever the mix of
// characters: the next block's loads never wait for this one.
inline char16_t* units_of_block(const u8* p, char16_t* u) {
  const __m128i bytes = load16(p);
  const __m256i b0 = _mm256_cvtepu8_epi16(bytes);
  const __m256i b1 = _mm256_cvtepu8_epi16(load16(p + 1));
  const __m256i b2 = _mm256_cvtepu8_epi16(load16(p + 2));
  const __m256i low6 = _mm256_set1_epi16(0x3F);
  const __m256i tail2 = _mm256_and_si256(b1, low6);
  const __m256i two =
      _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b0, _mm256_set1_epi16(0x1F)), 6), tail2);
  const __m256i three = _mm256_or_si256(
      _mm256_or_si256(_mm256_slli_epi16(b0, 12), _mm256_slli_epi16(tail2, 6)), _mm256_and_si256(b2, low6));
  const __m256i is_ascii = _mm256_cmpgt_epi16(_mm256_set1_epi16(0x80), b0);
  const __m256i is_three = _mm256_cmpgt_epi16(b0, _mm256_set1_epi16(0xDF));
  const __m256i units = _mm256_blendv_epi8(_mm256_blendv_epi8(two, three, is_three), b0, is_ascii);
  // Continuation bytes, 0x80 to 0xBF, are -128 to -65 as signed bytes.
  const unsigned starts =
      ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(_mm_set1_epi8(-64), bytes))) & 0xFFFF;
  return store_selected(u, units, starts);
}

// Text already checked to be valid UTF-8: a piece at a time to UTF-16 units, 16 bytes a step,
// and those through the UTF-16 decoding.
u8* decode_valid_utf8(const u8* p, const u8* end, u8* w, Decoder& decoder) {
  constexpr ptrdiff_t kPiece = 4096;
  alignas(32) char16_t units[kPiece + 16];  // a step stores eight units past its last
  while (p != end) {
    const u8* const stop = end - p > kPiece ? character_start(p + kPiece) : end;
    char16_t* u = units;
    const u8* q = p;
    for (; stop - q >= 16 && end - q >= 18; q += 16) {
      // A four-byte lead among the 16 bytes takes the byte-at-a-time road.
      u = _mm_testz_si128(_mm_subs_epu8(load16(q), _mm_set1_epi8(static_cast<char>(0xEF))), _mm_set1_epi8(-1))
              ? units_of_block(q, u)
              : units_from(q, q + 16, end, u);
    }
    u = units_from(q, stop, end, u);
    w = decode_utf16<false>(reinterpret_cast<const u8*>(units), reinterpret_cast<const u8*>(u), w, decoder);
    p = stop;
  }
  return w;
}

// UTF-8 checked and decoded a chunk at a time, each chunk read once from memory: a valid
// chunk takes the block road, any other the byte-at-a-time one that replaces what is wrong,
// or, when `strict`, ends the decoding with nullptr. Chunks end before a byte that starts a
// character, where every sequence before it ends.
u8* decode_utf8(const u8* p, const u8* end, u8* w, Decoder& decoder, bool strict) {
  constexpr size_t kChunk = 16 * 1024;
  while (p != end) {
    const u8* stop = static_cast<size_t>(end - p) > kChunk ? character_start(p + kChunk) : end;
    if (is_valid_utf8_avx2(p, stop)) {
      w = decode_valid_utf8(p, stop, w, decoder);
    } else {
      if (strict) return nullptr;
      w = ::decode_utf8<true>(p, stop, w, decoder);
    }
    p = stop;
  }
  return w;
}

// Code page 932 a piece at a time: the codes of its characters first, 32 bytes a step, then
// their characters, one table load each. A piece where a code is no character is written from
// there the byte-at-a-time way; ASCII goes 32 bytes a step.
template <UnicodeOutput kCode>
u8* encode(const u8* in, const u8* p, const u8* end, u8* w, ConvertReport& report) {
  constexpr ptrdiff_t kPiece = 4096;
  alignas(32) uint16_t codes[kPiece + 64];  // a gathering stores eight codes past its last
  while (end - p > 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    if (_mm256_movemask_epi8(v) == 0) {
      if (kCode == OUTPUT_UTF8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(w), v);
        w += 32;
      } else {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(w), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(w + 32),
                            _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1)));
        w += 64;
      }
      p += 32;
      continue;
    }
    uint16_t* c = codes;
    const u8* const limit = end - p > kPiece + 32 ? p + kPiece : end - 32;
    const u8* const stop = codes_of(p, limit, c);
    const size_t count = static_cast<size_t>(c - codes);
    const size_t done = put_codes<kCode>(codes, c, w);
    if (done < count) {
      // Past the characters written; in a piece every first byte has its second.
      for (size_t i = 0; i < done; ++i) p += is_first_byte(*p) ? 2 : 1;
      w = ::encode<kCode, true>(in, p, stop, w, report);
    } else if (stop == p) {
      encode_step<kCode>(in, p, end, w, report);  // a first byte without its second
      continue;
    }
    p = stop;
  }
  return ::encode<kCode, true>(in, p, end, w, report);
}

}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

// The length of the n bytes at p up to their first NUL.
size_t length_to_nul(const u8* p, size_t n) {
  const void* nul = n != 0 ? std::memchr(p, 0, n) : nullptr;
  return nul ? static_cast<size_t>(static_cast<const u8*>(nul) - p) : n;
}

// The byte-order mark of `code` at the start of the n bytes at p: its length, or 0.
size_t mark_length(UnicodeClass code, const u8* p, size_t n) {
  switch (code) {
    case UNICODE_UTF8:
      return n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF ? 3 : 0;
    case UNICODE_UTF16LE:
      return n >= 2 && p[0] == 0xFF && p[1] == 0xFE ? 2 : 0;
    case UNICODE_UTF16BE:
      return n >= 2 && p[0] == 0xFE && p[1] == 0xFF ? 2 : 0;
    default:
      return 0;
  }
}

// The class a byte-order mark gives the n bytes at p; UNICODE_NONE without one.
TextClass marked_class(const u8* p, size_t n) {
  for (UnicodeClass code : {UNICODE_UTF8, UNICODE_UTF16LE, UNICODE_UTF16BE}) {
    if (const size_t length = mark_length(code, p, n)) return {code, length};
  }
  return {UNICODE_NONE, 0};
}

// 4n + 1 and 3n + 4, or 0 when they do not fit.
size_t capacity(size_t n, size_t per_byte, size_t extra) {
  if (n > (std::numeric_limits<size_t>::max() - extra) / per_byte) return 0;
  return per_byte * n + extra;
}

// ---- The forms

enum Level { kBytewise, kSse2, kAvx2 };

template <Level kLevel>
bool valid_utf8(const char* text, size_t n, bool* has_nul) noexcept {
  const u8* p = reinterpret_cast<const u8*>(text);
  const u8* const end = p + n;
#if UNICODE_AVX2
  if constexpr (kLevel == kAvx2) return avx2::is_valid_utf8_avx2(p, end, has_nul);
#endif
  if (has_nul != nullptr) *has_nul = length_to_nul(p, n) != n;
  while (p < end) {
#if UNICODE_SSE2
    if (kLevel != kBytewise && end - p >= 16 && _mm_movemask_epi8(load16(p)) == 0) {
      p += 16;
      continue;
    }
#endif
    if (*p < 0x80) {
      ++p;
      continue;
    }
    const Sequence s = read_utf8(p, end);
    if (s.length < 0) return false;
    p += s.length;
  }
  return true;
}

template <Level kLevel, bool kBigEndian>
u8* decode_utf16_text(const u8* p, const u8* end, u8* w, Decoder& decoder) {
#if UNICODE_AVX2
  if constexpr (kLevel == kAvx2) return avx2::decode_utf16<kBigEndian>(p, end, w, decoder);
#endif
  return decode_utf16<kBigEndian, kLevel != kBytewise>(p, end, w, decoder);
}

// UTF-8 up to its end, as `strict` says (see avx2::decode_utf8).
template <Level kLevel>
u8* decode_utf8_text(const u8* p, const u8* end, u8* w, Decoder& decoder, bool strict) {
#if UNICODE_AVX2
  if constexpr (kLevel == kAvx2) return avx2::decode_utf8(p, end, w, decoder, strict);
#endif
  if (strict && !valid_utf8<kLevel>(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p), nullptr))
    return nullptr;
  return decode_utf8<kLevel != kBytewise>(p, end, w, decoder);
}

template <Level kLevel>
ConvertReport to_cp932(UnicodeClass code, const char* in, size_t n, char* out, Unmappable mode) noexcept {
  const u8* p = reinterpret_cast<const u8*>(in);
  const u8* end = p + n;
  u8* const start = reinterpret_cast<u8*>(out);
  Decoder decoder{start, mode};
  u8* w = start;
  p += mark_length(code, p, n);
  switch (code) {
    case UNICODE_UTF8:
      end = p + length_to_nul(p, static_cast<size_t>(end - p));
      w = decode_utf8_text<kLevel>(p, end, w, decoder, false);
      break;
    case UNICODE_UTF16LE:
      w = decode_utf16_text<kLevel, false>(p, end, w, decoder);
      break;
    case UNICODE_UTF16BE:
      w = decode_utf16_text<kLevel, true>(p, end, w, decoder);
      break;
    default:
      break;
  }
  *w = 0;
  decoder.report.length = static_cast<size_t>(w - start);
  return decoder.report;
}

// UTF-8 known to be valid: the AVX2 form decodes it without checking it again.
template <Level kLevel>
u8* decode_valid_utf8_text(const u8* p, const u8* end, u8* w, Decoder& decoder) {
#if UNICODE_AVX2
  if constexpr (kLevel == kAvx2) return avx2::decode_valid_utf8(p, end, w, decoder);
#endif
  return decode_utf8<kLevel != kBytewise>(p, end, w, decoder);
}

template <Level kLevel>
ConvertReport valid_to_cp932(const char* in, size_t n, char* out) noexcept {
  const u8* const p = reinterpret_cast<const u8*>(in);
  u8* const start = reinterpret_cast<u8*>(out);
  Decoder decoder{start, UNMAPPABLE_GETA};
  u8* const w = decode_valid_utf8_text<kLevel>(p, p + n, start, decoder);
  *w = 0;
  decoder.report.length = static_cast<size_t>(w - start);
  return decoder.report;
}

template <Level kLevel, UnicodeOutput kCode>
u8* encode_text(const u8* in, const u8* end, u8* w, ConvertReport& report) {
#if UNICODE_AVX2
  if constexpr (kLevel == kAvx2) return avx2::encode<kCode>(in, in, end, w, report);
#endif
  return encode<kCode, kLevel != kBytewise>(in, in, end, w, report);
}

template <Level kLevel>
ConvertReport to_unicode(UnicodeOutput code, bool with_mark, const char* in, size_t n, char* out) noexcept {
  const u8* p = reinterpret_cast<const u8*>(in);
  u8* const start = reinterpret_cast<u8*>(out);
  u8* w = start;
  ConvertReport report{};
  if (code == OUTPUT_UTF16LE) {
    if (with_mark) w = put_unicode<OUTPUT_UTF16LE>(w, 0xFEFF);
    w = encode_text<kLevel, OUTPUT_UTF16LE>(p, p + n, w, report);
    report.length = static_cast<size_t>(w - start);
    w[0] = w[1] = 0;
  } else {
    if (with_mark) w = put_unicode<OUTPUT_UTF8>(w, 0xFEFF);
    w = encode_text<kLevel, OUTPUT_UTF8>(p, p + n, w, report);
    report.length = static_cast<size_t>(w - start);
    w[0] = 0;
  }
  return report;
}

// A UTF-8 text without a mark is decoded while it is checked; the first wrong chunk ends both.
template <Level kLevel>
DecodedText class_and_text(const char* text, size_t n, char* out, Unmappable mode) noexcept {
  const u8* p = reinterpret_cast<const u8*>(text);
  const TextClass marked = marked_class(p, n);
  if (marked.code != UNICODE_NONE) return {marked, to_cp932<kLevel>(marked.code, text, n, out, mode)};
  const u8* const end = p + length_to_nul(p, n);
  if (std::find_if(p, end, [](u8 b) { return b >= 0x80; }) == end) return {{UNICODE_NONE, 0}, {}};
  u8* const start = reinterpret_cast<u8*>(out);
  Decoder decoder{start, mode};
  u8* const w = decode_utf8_text<kLevel>(p, end, start, decoder, true);
  if (w == nullptr) return {{UNICODE_NONE, 0}, {}};
  *w = 0;
  decoder.report.length = static_cast<size_t>(w - start);
  return {{UNICODE_UTF8, 0}, decoder.report};
}

template <Level kLevel>
constexpr unicode_internal::Form make_form(const char* name) {
  return {name,
          valid_utf8<kLevel>,
          to_cp932<kLevel>,
          valid_to_cp932<kLevel>,
          to_unicode<kLevel>,
          class_and_text<kLevel>};
}
constexpr unicode_internal::Form kBytewiseForm = make_form<kBytewise>("bytewise");
#if UNICODE_SSE2
constexpr unicode_internal::Form kSse2Form = make_form<kSse2>("sse2");
#endif
#if UNICODE_AVX2
constexpr unicode_internal::Form kAvx2Form = make_form<kAvx2>("avx2");
#endif

}  // namespace

namespace unicode_internal {

const Form& bytewise_form() { return kBytewiseForm; }

const Form* sse2_form() {
#if UNICODE_SSE2
  return &kSse2Form;
#else
  return nullptr;
#endif
}

const Form* avx2_form() {
#if UNICODE_AVX2
  if (has_avx2()) return &kAvx2Form;
#endif
  return nullptr;
}

const Form& widest_form() {
  static const Form& widest = avx2_form() ? *avx2_form() : sse2_form() ? *sse2_form() : bytewise_form();
  return widest;
}

}  // namespace unicode_internal

bool is_valid_utf8(const char* text, size_t n, bool* has_nul) noexcept {
  return unicode_internal::widest_form().is_valid_utf8(text, n, has_nul);
}

ConvertReport unicode_to_cp932(UnicodeClass code, const char* in, size_t n, char* out,
                               Unmappable mode) noexcept {
  return unicode_internal::widest_form().unicode_to_cp932(code, in, n, out, mode);
}

ConvertReport valid_utf8_to_cp932(const char* in, size_t n, char* out) noexcept {
  return unicode_internal::widest_form().valid_utf8_to_cp932(in, n, out);
}

ConvertReport cp932_to_unicode(UnicodeOutput code, bool with_mark, const char* in, size_t n,
                               char* out) noexcept {
  return unicode_internal::widest_form().cp932_to_unicode(code, with_mark, in, n, out);
}

DecodedText classify_and_decode(const char* text, size_t n, char* out, Unmappable mode) noexcept {
  return unicode_internal::widest_form().classify_and_decode(text, n, out, mode);
}

size_t count_line_ends(const char* text, size_t n) noexcept {
  const u8* p = reinterpret_cast<const u8*>(text);
  const u8* const end = p + n;
  size_t lines = 0;
#if UNICODE_SSE2
  // Each CR counts, and each LF that no CR stands right before: per byte lane a count that
  // goes up to 254 before it is summed.
  const __m128i cr_byte = _mm_set1_epi8('\r');
  const __m128i lf_byte = _mm_set1_epi8('\n');
  __m128i cr_before = _mm_setzero_si128();  // the last lane of the block before: a CR
  while (end - p >= 16) {
    __m128i counts = _mm_setzero_si128();
    for (int round = 0; round < 127 && end - p >= 16; ++round, p += 16) {
      const __m128i v = load16(p);
      const __m128i cr = _mm_cmpeq_epi8(v, cr_byte);
      const __m128i after_cr = _mm_or_si128(_mm_slli_si128(cr, 1), _mm_srli_si128(cr_before, 15));
      const __m128i lone_lf = _mm_andnot_si128(after_cr, _mm_cmpeq_epi8(v, lf_byte));
      counts = _mm_sub_epi8(_mm_sub_epi8(counts, cr), lone_lf);
      cr_before = cr;
    }
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    lines += static_cast<size_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
  }
  bool after_cr = p != reinterpret_cast<const u8*>(text) && p[-1] == '\r';
#else
  bool after_cr = false;
#endif
  for (; p < end; ++p) {
    lines += (*p == '\r') + (*p == '\n' && !after_cr);
    after_cr = *p == '\r';
  }
  return lines;
}

namespace {

// True when the first bytes of a text already show that it is no UTF-8, so that a Shift_JIS
// text is told without a pass over all of it: they hold no NUL (which would end the text
// before the fault) and are invalid, and the byte after them is no continuation byte (so a
// sequence they cut short is cut short in the text too), or the fourth in a row, which no
// UTF-8 has.
bool begins_invalid(const u8* p, size_t n) {
  constexpr size_t kProbe = 4096;
  if (n <= kProbe) return false;
  size_t cut = kProbe;
  for (int back = 0; back < 3 && (p[cut] & 0xC0) == 0x80; ++back) --cut;
  return std::memchr(p, 0, cut) == nullptr && !is_valid_utf8(reinterpret_cast<const char*>(p), cut);
}

}  // namespace

TextClass classify_text(const char* text, size_t n) noexcept {
  const u8* p = reinterpret_cast<const u8*>(text);
  const TextClass marked = marked_class(p, n);
  if (marked.code != UNICODE_NONE) return marked;
  if (begins_invalid(p, n)) return {UNICODE_NONE, 0};
  // Valid throughout, the text is valid up to its first NUL as well, which need not be sought.
  bool has_nul = true;
  const bool valid = is_valid_utf8(text, n, &has_nul);
  const size_t length = valid ? n : length_to_nul(p, n);
  size_t i = 0;
  while (i < length && p[i] != 0 && p[i] < 0x80) ++i;  // the first NUL ends the text
  const bool high = i < length && p[i] >= 0x80;
  if (high && (valid || is_valid_utf8(text, length))) return {UNICODE_UTF8, 0, valid && !has_nul};
  return {UNICODE_NONE, 0};
}

size_t unicode_text_length(UnicodeClass code, const char* text, size_t n) noexcept {
  const u8* p = reinterpret_cast<const u8*>(text);
  if (code == UNICODE_UTF8) return length_to_nul(p, n);
  for (size_t at = 0; at + 2 <= n; at += 2) {
    if (p[at] == 0 && p[at + 1] == 0) return at;
  }
  return n;
}

size_t unicode_cut(UnicodeClass code, const char* text, size_t n, size_t at) noexcept {
  const u8* p = reinterpret_cast<const u8*>(text);
  const size_t width = code == UNICODE_UTF8 ? 1 : 2;
  const auto unit = [&](size_t i) -> unsigned {
    return width == 1 ? p[i] : code == UNICODE_UTF16BE ? read_unit<true>(p + i) : read_unit<false>(p + i);
  };
  at += at % width;
  while (at + width <= n) {
    const unsigned u = unit(at);
    const unsigned before = at >= width ? unit(at - width) : 0;
    if (width == 1 && (u & 0xC0) == 0x80) {
      at += 1;  // inside a character
    } else if (width == 1 && u == 0xEF && at + 3 <= n && p[at + 1] == 0xBB && p[at + 2] == 0xBF) {
      at += 3;  // U+FEFF
    } else if (width == 2 && (u == 0xFEFF || (u - 0xDC00 < 0x400 && before - 0xD800 < 0x400))) {
      at += 2;  // U+FEFF, or the second half of a pair
    } else if (before == '\r' && u == '\n') {
      at += width;
    } else {
      return at;
    }
  }
  return n;
}

size_t unicode_to_cp932_capacity(size_t n) noexcept { return capacity(n, 4, 1); }
size_t cp932_to_unicode_capacity(size_t n) noexcept { return capacity(n, 3, 4); }

// ---- Guessing

namespace {

// Which kinds of line end occur among the units that read_unit yields from `p` on, up to a
// zero unit or the end.
template <typename ReadUnit>
LineEnds find_line_ends(size_t units, ReadUnit read_unit) {
  bool crlf = false, cr = false, lf = false;
  for (size_t i = 0; i < units; ++i) {
    const unsigned u = read_unit(i);
    if (u == 0) break;
    if (u == '\n') lf = true;
    if (u != '\r') continue;
    if (i + 1 < units && read_unit(i + 1) == '\n') {
      crlf = true;
      ++i;
    } else {
      cr = true;
    }
  }
  const int kinds = crlf + cr + lf;
  if (kinds == 0) return LINE_ENDS_NONE;
  if (kinds > 1) return LINE_ENDS_MIXED;
  return crlf ? LINE_ENDS_CRLF : cr ? LINE_ENDS_CR : LINE_ENDS_LF;
}

}  // namespace

TextGuess guess_text(const char* text, size_t n) noexcept {
  const u8* p = reinterpret_cast<const u8*>(text);
  const TextClass cls = classify_text(text, n);
  const u8* body = p + cls.mark_length;
  const size_t rest = n - cls.mark_length;
  if (cls.code == UNICODE_UTF16LE || cls.code == UNICODE_UTF16BE) {
    const bool big = cls.code == UNICODE_UTF16BE;
    const LineEnds ends = find_line_ends(rest / 2, [&](size_t i) {
      return big ? read_unit<true>(body + 2 * i) : read_unit<false>(body + 2 * i);
    });
    return {big ? GUESS_UTF16BE : GUESS_UTF16LE, ends};
  }
  const size_t length = length_to_nul(body, rest);
  const LineEnds ends = find_line_ends(length, [&](size_t i) { return static_cast<unsigned>(body[i]); });
  if (cls.code == UNICODE_UTF8) return {cls.mark_length ? GUESS_UTF8_BOM : GUESS_UTF8, ends};
  switch (detect_kanji_code(text, length)) {
    case KANJI_JIS:
      return {GUESS_ISO_2022_JP, ends};
    case KANJI_EUC:
      return {GUESS_EUC_JP, ends};
    case KANJI_SJIS:
      return {GUESS_SHIFT_JIS, ends};
    default:
      break;
  }
  bool high = false;
  for (size_t i = 0; i < length && !high; ++i) high = body[i] >= 0x80;
  return {high ? GUESS_SHIFT_JIS : GUESS_ASCII, ends};
}

const char* guessed_code_name(GuessedCode code) noexcept {
  static const char* const kNames[] = {"ASCII", "Shift_JIS",   "EUC-JP",   "ISO-2022-JP",
                                       "UTF-8", "UTF-8 (BOM)", "UTF-16LE", "UTF-16BE"};
  return code >= 0 && code < 8 ? kNames[code] : "";
}

const char* line_ends_name(LineEnds line_ends) noexcept {
  static const char* const kNames[] = {"NONE", "LF", "CRLF", "CR", "MIXED"};
  return line_ends >= 0 && line_ends < 5 ? kNames[line_ends] : "";
}
