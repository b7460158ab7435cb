// UTF-8 and UTF-16 to code page 932 and back, through flat tables generated from glibc iconv;
// ASCII runs go 16 bytes at a time with SSE2, and UTF-8 is validated 32 bytes at a time with
// AVX2 where the machine has it.
#include "unicode/unicode.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

#include "jcode/jcode.h"

// UNICODE_PORTABLE builds the byte-at-a-time code alone, as on a machine without SSE2.
#if defined(__SSE2__) && !defined(UNICODE_PORTABLE)
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
constexpr std::array<uint16_t, 0x10000> make_to_cp932() {
  std::array<uint16_t, 0x10000> t{};
  for (const CodePair& p : kUnicodeToCp932Pairs) t[p.from] = out_bytes(p.to);
  return t;
}
// Code page 932 code -> code point; kNoCharacter where there is none. Singles at 0x00XX, so
// a first byte's own entry is kNoCharacter and the pair's entry is at first << 8 | second.
constexpr std::array<uint16_t, 0x10000> make_from_cp932() {
  std::array<uint16_t, 0x10000> t{};
  for (uint16_t& v : t) v = kNoCharacter;
  for (const CodePair& p : kCp932ToUnicodePairs) t[p.from] = p.to;
  return t;
}
constexpr std::array<uint16_t, 0x10000> kToCp932 = make_to_cp932();
constexpr std::array<uint16_t, 0x10000> kFromCp932 = make_from_cp932();

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

UNICODE_TARGET_AVX2 bool is_valid_utf8_avx2(const u8* p, const u8* end) {
  Checker checker;
  for (; end - p >= 32; p += 32) {
    checker.add(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
  }
  if (p < end) {
    // The tail padded with NULs: ASCII, so a sequence cut short shows as one.
    alignas(32) u8 tail[32] = {};
    std::memcpy(tail, p, static_cast<size_t>(end - p));
    checker.add(_mm256_load_si256(reinterpret_cast<const __m256i*>(tail)));
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

// The ASCII bytes at p, copied to w 16 at a time while at least 16 remain, until the first
// byte from 0x80 up; returns how many bytes it took (0 when it did not run).
inline size_t copy_ascii_run(const u8* p, const u8* end, u8* w) {
  size_t done = 0;
#if UNICODE_SSE2
  while (end - p - done >= 16) {
    const __m128i v = load16(p + done);
    store16(w + done, v);
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

// Line ends in [p, end): CR LF counts once; a CR at the very end counts, as what follows it
// is not an LF.
size_t count_line_ends(const u8* p, const u8* end) {
  size_t lines = 0;
  for (; p < end; ++p) {
    if (*p == '\n') ++lines;
    if (*p == '\r' && (p + 1 == end || p[1] != '\n')) ++lines;
  }
  return lines;
}

// Counts a replacement; the first one takes its line from the text before it, which `text`
// to `at` holds.
inline void note_replacement(ConvertReport& report, const u8* text, const u8* at) {
  if (report.replaced++ == 0) report.first_line = 1 + count_line_ends(text, at);
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
      const size_t run = copy_ascii_run(p, end, w);
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

#if UNICODE_SSE2
// Sequence length by the high nibble of a first byte in valid UTF-8.
constexpr u8 kValidLength[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 3, 4};

// Text already known to be valid UTF-8, one character per round without a branch on its
// length: the code points for one, two and three bytes are all formed and one is chosen.
// Four-byte characters (never in code page 932) and unmapped ones go the general road.
u8* decode_valid_utf8(const u8* p, const u8* end, u8* w, Decoder& decoder) {
  while (end - p >= 4) {
    const uint32_t x = load32(p);
    if ((x & 0x80808080) == 0) {
      const size_t run = copy_ascii_run(p, end, w);
      const size_t taken = run == 0 ? 4 : run;
      if (run == 0) std::memcpy(w, p, 4);
      p += taken;
      w += taken;
      continue;
    }
    const uint32_t b0 = x & 0xFF;
    const uint32_t length = kValidLength[b0 >> 4];
    const uint32_t cp1 = b0;
    const uint32_t cp2 = (x & 0x1F) << 6 | (x & 0x3F00) >> 8;
    const uint32_t cp3 = (x & 0x0F) << 12 | (x & 0x3F00) >> 2 | (x & 0x3F0000) >> 16;
    const uint32_t cp = length == 1 ? cp1 : length == 2 ? cp2 : cp3;
    const uint16_t bytes = length < 4 ? kToCp932[cp] : 0;
    if (bytes != 0) {
      w = put_cp932(w, bytes);
      p += length;
      continue;
    }
    const Sequence s = read_utf8(p, end);
    w = decoder.put(w, s.cp);
    p += s.length;
  }
  return decode_utf8(p, end, w, decoder);
}
#endif

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

// The table has no entry for U+0000 nor for the surrogates, so one test on the entry sends
// the end of the text, surrogate pairs and unmappable characters alike off the short road.
template <bool kBigEndian>
u8* decode_utf16(const u8* p, const u8* end, u8* w, Decoder& decoder) {
  while (end - p >= 2) {
    const unsigned unit = read_unit<kBigEndian>(p);
    const uint16_t bytes = kToCp932[unit];
    if (bytes != 0) {
#if UNICODE_SSE2
      if (unit < 0x80 && end - p >= 16 && put_ascii_units<kBigEndian>(p, w)) {
        p += 16;
        w += 8;
        continue;
      }
#endif
      w = put_cp932(w, bytes);
      p += 2;
      continue;
    }
    if (unit == 0) return w;  // the first U+0000 ends the text
    p += 2;
    if (unit - 0xD800 >= 0x800) {
      w = decoder.put(w, unit);
    } else if (unit < 0xDC00 && end - p >= 2 && read_unit<kBigEndian>(p) - 0xDC00 < 0x400) {
      w = decoder.put(w, 0x10000 + ((unit - 0xD800) << 10) + (read_unit<kBigEndian>(p) - 0xDC00));
      p += 2;
    } else {
      w = decoder.put_invalid(w);  // a surrogate without its partner
    }
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

// The ASCII bytes at p as UTF-16LE units, 16 at a time while at least 16 remain; returns the
// bytes taken.
inline size_t widen_ascii_run(const u8* p, const u8* end, u8* w) {
  size_t done = 0;
#if UNICODE_SSE2
  const __m128i zero = _mm_setzero_si128();
  while (end - p - done >= 16) {
    const __m128i v = load16(p + done);
    store16(w + 2 * done, _mm_unpacklo_epi8(v, zero));
    store16(w + 2 * done + 16, _mm_unpackhi_epi8(v, zero));
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

template <UnicodeOutput kCode>
u8* encode(const u8* const in, const u8* const end, u8* w, ConvertReport& report) {
  const u8* p = in;
  while (p < end) {
    const u8 b = *p;
    if (b < 0x80) {
      const size_t run = kCode == OUTPUT_UTF8 ? copy_ascii_run(p, end, w) : widen_ascii_run(p, end, w);
      if (run == 0) {
        w = put_unicode<kCode>(w, b);
        ++p;
      } else {
        p += run;
        w += kCode == OUTPUT_UTF8 ? run : 2 * run;
      }
      continue;
    }
    if (end - p >= 2) {
      const bool first = is_first_byte(b);
      const uint16_t cp = kFromCp932[first ? (b << 8 | p[1]) : b];
      if (cp != kNoCharacter) {
        w = put_unicode<kCode>(w, cp);
        p += 1 + first;
        continue;
      }
    }
    const bool pair = is_first_byte(b) && end - p >= 2 && is_second_byte(p[1]);
    const uint16_t cp = pair ? kNoCharacter : kFromCp932[b];
    if (cp == kNoCharacter) {
      note_replacement(report, in, p);
      w = put_unicode<kCode>(w, kReplacementCharacter);
    } else {
      w = put_unicode<kCode>(w, cp);
    }
    p += pair ? 2 : 1;
  }
  return w;
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

// 4n + 1 and 3n + 4, or 0 when they do not fit.
size_t capacity(size_t n, size_t per_byte, size_t extra) {
  if (n > (std::numeric_limits<size_t>::max() - extra) / per_byte) return 0;
  return per_byte * n + extra;
}

}  // namespace

bool is_valid_utf8(const char* text, size_t n) noexcept {
  const u8* p = reinterpret_cast<const u8*>(text);
#if UNICODE_AVX2
  if (has_avx2()) return avx2::is_valid_utf8_avx2(p, p + n);
#endif
  const u8* const end = p + n;
  while (p < end) {
#if UNICODE_SSE2
    if (end - p >= 16 && _mm_movemask_epi8(load16(p)) == 0) {
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

TextClass classify_text(const char* text, size_t n) noexcept {
  const u8* p = reinterpret_cast<const u8*>(text);
  for (UnicodeClass code : {UNICODE_UTF8, UNICODE_UTF16LE, UNICODE_UTF16BE}) {
    if (const size_t length = mark_length(code, p, n)) return {code, length};
  }
  const void* nul = std::memchr(p, 0, n);
  const size_t length = nul ? static_cast<size_t>(static_cast<const u8*>(nul) - p) : n;
  bool high = false;
  for (size_t i = 0; i < length && !high; ++i) high = p[i] >= 0x80;
  if (high && is_valid_utf8(text, length)) return {UNICODE_UTF8, 0};
  return {UNICODE_NONE, 0};
}

size_t unicode_to_cp932_capacity(size_t n) noexcept { return capacity(n, 4, 1); }
size_t cp932_to_unicode_capacity(size_t n) noexcept { return capacity(n, 3, 4); }

ConvertReport unicode_to_cp932(UnicodeClass code, const char* in, size_t n, char* out,
                               Unmappable mode) noexcept {
  const u8* p = reinterpret_cast<const u8*>(in);
  const u8* end = p + n;
  u8* const start = reinterpret_cast<u8*>(out);
  Decoder decoder{start, mode};
  u8* w = start;
  p += mark_length(code, p, n);
  switch (code) {
    case UNICODE_UTF8:
      if (const void* nul = std::memchr(p, 0, static_cast<size_t>(end - p)))
        end = static_cast<const u8*>(nul);
#if UNICODE_SSE2
      if (is_valid_utf8(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p))) {
        w = decode_valid_utf8(p, end, w, decoder);
        break;
      }
#endif
      w = decode_utf8(p, end, w, decoder);
      break;
    case UNICODE_UTF16LE:
      w = decode_utf16<false>(p, end, w, decoder);
      break;
    case UNICODE_UTF16BE:
      w = decode_utf16<true>(p, end, w, decoder);
      break;
    default:
      break;
  }
  *w = 0;
  decoder.report.length = static_cast<size_t>(w - start);
  return decoder.report;
}

ConvertReport cp932_to_unicode(UnicodeOutput code, bool with_mark, const char* in, size_t n,
                               char* out) noexcept {
  const u8* p = reinterpret_cast<const u8*>(in);
  u8* const start = reinterpret_cast<u8*>(out);
  u8* w = start;
  ConvertReport report{};
  if (code == OUTPUT_UTF16LE) {
    if (with_mark) w = put_unicode<OUTPUT_UTF16LE>(w, 0xFEFF);
    w = encode<OUTPUT_UTF16LE>(p, p + n, w, report);
    report.length = static_cast<size_t>(w - start);
    w[0] = w[1] = 0;
  } else {
    if (with_mark) w = put_unicode<OUTPUT_UTF8>(w, 0xFEFF);
    w = encode<OUTPUT_UTF8>(p, p + n, w, report);
    report.length = static_cast<size_t>(w - start);
    w[0] = 0;
  }
  return report;
}

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
  const void* nul = std::memchr(body, 0, rest);
  const size_t length = nul ? static_cast<size_t>(static_cast<const u8*>(nul) - body) : rest;
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
