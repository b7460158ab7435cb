// Japanese code detection and conversion: plain byte arithmetic on JIS X 0208 row and cell
// bytes, with SSE2 paths for runs of ASCII and of double-byte characters.
#include "jcode/jcode.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#define JCODE_SSE2 1
#endif

namespace {

using u8 = unsigned char;

constexpr u8 kEsc = 0x1B;
constexpr u8 kShiftOut = 0x0E;  // SO: half-width katakana
constexpr u8 kShiftIn = 0x0F;   // SI: ASCII
constexpr u8 kSingleShift2 = 0x8E;

// The only sequences the JIS writer emits.
constexpr u8 kEnterKanji[3] = {kEsc, '$', 'B'};
constexpr u8 kEnterAscii[3] = {kEsc, '(', 'B'};
constexpr u8 kEnterKana[3] = {kEsc, '(', 'I'};

enum class JisState { kAscii, kKanji, kKana };

// Shift_JIS byte classes: below 0x80 single, A1..DF half-width katakana, everything else
// from 0x80 up the first byte of a double-byte character.
inline bool is_kana(u8 b) { return static_cast<u8>(b - 0xA1) < 0x3F; }

// Shift_JIS s1 s2 -> JIS X 0208 j1 j2. EUC-JP is the same pair with the top bit flipped: the
// EUC formulas differ from these by exactly 0x80 on every byte value, valid or not.
constexpr u8 jis_first(u8 s1, u8 s2) {
  const u8 t = static_cast<u8>(s1 * 2);
  if (s2 < 0x9F) return static_cast<u8>(t < 0x3F ? t + 0x1F : t - 0x61);
  return static_cast<u8>(t < 0x3F ? t + 0x20 : t - 0x60);
}
constexpr u8 jis_second(u8 s2) {
  if (s2 < 0x9F) return static_cast<u8>(s2 <= 0x7E ? s2 - 0x1F : s2 - 0x20);
  return static_cast<u8>(s2 - 0x7E);
}

// JIS X 0208 j1 j2 -> Shift_JIS s1 s2.
constexpr u8 sjis_first_from_jis(u8 j1) {
  const u8 h = j1 >> 1;
  if (j1 & 1) return static_cast<u8>(h < 0x2F ? h + 0x71 : h + 0xB1);
  return static_cast<u8>(h <= 0x2F ? h + 0x70 : h + 0xB0);
}
constexpr u8 sjis_second_from_jis(u8 j1, u8 j2) {
  if (j1 & 1) return static_cast<u8>(j2 <= 0x5F ? j2 + 0x1F : j2 + 0x20);
  return static_cast<u8>(j2 + 0x7E);
}

// EUC-JP e1 e2 -> Shift_JIS s1 s2. For e1 from 0x80 up the first byte equals the JIS
// formula on e1 - 0x80; the second byte does not (an e2 below 0x80 takes its own branch).
constexpr u8 sjis_first_from_euc(u8 e1) {
  const u8 h = e1 >> 1;
  if (e1 & 1) return static_cast<u8>(h < 0x6F ? h + 0x31 : h + 0x71);
  return static_cast<u8>(h <= 0x6F ? h + 0x30 : h + 0x70);
}
constexpr u8 sjis_second_from_euc(u8 e1, u8 e2) {
  if (e1 & 1) return static_cast<u8>(e2 <= 0xDF ? e2 - 0x61 : e2 - 0x60);
  return static_cast<u8>(e2 - 2);
}

// Tables of the formulas above, indexed by unsigned byte; the scalar loops use these.
template <typename F>
constexpr std::array<u8, 256> make_table(F f) {
  std::array<u8, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = f(static_cast<u8>(i));
  return t;
}
// [0] for second bytes below 0x9F, [1] for the rest.
constexpr std::array<u8, 256> kJisFirst[2] = {make_table([](u8 b) { return jis_first(b, 0x00); }),
                                              make_table([](u8 b) { return jis_first(b, 0x9F); })};
constexpr std::array<u8, 256> kJisSecond = make_table(jis_second);
constexpr std::array<u8, 256> kSjisFirstFromJis = make_table(sjis_first_from_jis);
// [0] after an even first byte, [1] after an odd one.
constexpr std::array<u8, 256> kSjisSecondFromJis[2] = {
    make_table([](u8 b) { return sjis_second_from_jis(0, b); }),
    make_table([](u8 b) { return sjis_second_from_jis(1, b); })};
constexpr std::array<u8, 256> kSjisFirstFromEuc = make_table(sjis_first_from_euc);
constexpr std::array<u8, 256> kSjisSecondFromEuc[2] = {
    make_table([](u8 b) { return sjis_second_from_euc(0x80, b); }),
    make_table([](u8 b) { return sjis_second_from_euc(0x81, b); })};

// A JIS control at p: the state it selects and its length, or length 0 for none.
struct Control {
  JisState state;
  int length;
};
inline Control jis_control(const u8* p, const u8* end) {
  const u8 b = *p;
  if (b == kShiftIn) return {JisState::kAscii, 1};
  if (b == kShiftOut) return {JisState::kKana, 1};
  if (b == kEsc && end - p >= 3) {
    const u8 c1 = p[1], c2 = p[2];
    if (c1 == '$' && (c2 == 'B' || c2 == '@')) return {JisState::kKanji, 3};
    if (c1 == '(' && (c2 == 'B' || c2 == 'J')) return {JisState::kAscii, 3};
    if (c1 == '(' && c2 == 'I') return {JisState::kKana, 3};
  }
  return {JisState::kAscii, 0};
}

inline u8* put3(u8* w, const u8 (&seq)[3]) {
  w[0] = seq[0];
  w[1] = seq[1];
  w[2] = seq[2];
  return w + 3;
}

#if JCODE_SSE2
inline __m128i load16(const u8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store16(u8* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i splat(u8 b) { return _mm_set1_epi8(static_cast<char>(b)); }
// Unsigned lane comparisons with a constant; all-ones where true.
inline __m128i le(__m128i v, u8 k) { return _mm_cmpeq_epi8(_mm_min_epu8(v, splat(k)), v); }
inline __m128i ge(__m128i v, u8 k) { return _mm_cmpeq_epi8(_mm_max_epu8(v, splat(k)), v); }
inline __m128i select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
inline int low_bit(unsigned m) { return __builtin_ctz(m); }
constexpr unsigned kEvenLanes = 0x5555;
inline __m128i even_lanes() { return _mm_set1_epi16(0x00FF); }

// Bytes of whole characters from the start of a block whose even lanes are all first bytes:
// the even lane index of the first lane not in `first`, or 16.
inline int whole_pairs(unsigned first_mask) {
  const unsigned bad = ~first_mask & kEvenLanes;
  return bad ? low_bit(bad) : 16;
}

// Eight Shift_JIS double-byte characters in lanes (first bytes even) -> JIS X 0208 pairs,
// the lanes of jis_first and jis_second.
inline __m128i sjis_pairs_to_jis(__m128i v) {
  const __m128i t = _mm_add_epi8(v, v);
  const __m128i s2_high = ge(_mm_srli_si128(v, 1), 0x9F);  // of the byte after each first byte
  // t + 0x1F below 0x3F, else t - 0x61; one more when the second byte is 9F or above.
  const __m128i first_add = _mm_xor_si128(splat(0x9F), _mm_and_si128(le(t, 0x3E), splat(0x80)));
  const __m128i j1 = _mm_sub_epi8(_mm_add_epi8(t, first_add), s2_high);
  // s2 - 0x7E from 9F up, else s2 - 0x1F up to 7E and s2 - 0x20 above.
  const __m128i low_add = _mm_sub_epi8(splat(0xE0), le(v, 0x7E));
  const __m128i j2 = _mm_add_epi8(v, select(ge(v, 0x9F), splat(0x82), low_add));
  return select(even_lanes(), j1, j2);
}

// Eight pairs (first bytes even) -> Shift_JIS. The first bytes are JIS bytes once flipped by
// `first_flip`; the second bytes add (odd first byte) `odd_add` - 1 up to `odd_limit`,
// `odd_add` above it, or (even first byte) `even_add`.
inline __m128i pairs_to_sjis(__m128i v, u8 first_flip, u8 odd_add, u8 odd_limit, u8 even_add) {
  const __m128i j1 = _mm_xor_si128(v, splat(first_flip));
  const __m128i h = _mm_and_si128(_mm_srli_epi16(j1, 1), splat(0x7F));
  const __m128i odd = _mm_cmpeq_epi8(_mm_and_si128(j1, splat(1)), splat(1));
  // h + 0x70, plus 1 when odd, plus 0x40 from 0x2F (odd) or 0x30 (even) up.
  const __m128i high = select(odd, ge(h, 0x2F), ge(h, 0x30));
  const __m128i s1 = _mm_add_epi8(_mm_sub_epi8(_mm_add_epi8(h, splat(0x70)), odd),
                                  _mm_and_si128(high, splat(0x40)));
  const __m128i odd_before = _mm_slli_si128(odd, 1);  // the first byte's parity, in its second's lane
  const __m128i odd_case = _mm_add_epi8(splat(odd_add), le(v, odd_limit));
  const __m128i s2 = _mm_add_epi8(v, select(odd_before, odd_case, splat(even_add)));
  return select(even_lanes(), s1, s2);
}

// Copies the ASCII run at r to w while at least 16 bytes remain; the caller guarantees that
// the 16 bytes from w are free (already read). Returns the bytes copied.
inline size_t copy_ascii_run(const u8* r, const u8* end, u8* w) {
  const u8* const start = r;
  while (end - r >= 16) {
    const __m128i v = load16(r);
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
    store16(w, v);
    if (high) return static_cast<size_t>(r - start) + low_bit(high);
    r += 16;
    w += 16;
  }
  return static_cast<size_t>(r - start);
}

// Shift_JIS double-byte lanes: from 0x80 up and not half-width katakana.
inline unsigned sjis_first_byte_mask(__m128i v) {
  const __m128i kana = le(_mm_sub_epi8(v, splat(0xA1)), 0x3E);
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(kana, v)));
}
#endif

// Shift_JIS -> JIS from r..end to w; the writer must stay behind the reader (see
// sjis_to_jis). Returns the end of the output, without its NUL.
u8* convert_sjis_to_jis(const u8* r, const u8* end, u8* w) {
  JisState state = JisState::kAscii;
  while (r < end) {
    const u8 b = *r;
    if (b < 0x80) {
      if (state != JisState::kAscii) {
        w = put3(w, kEnterAscii);
        state = JisState::kAscii;
      }
#if JCODE_SSE2
      const size_t run = copy_ascii_run(r, end, w);
      r += run;
      w += run;
      if (run) continue;
#endif
      *w++ = b;
      ++r;
    } else if (is_kana(b)) {
      if (state != JisState::kKana) {
        w = put3(w, kEnterKana);
        state = JisState::kKana;
      }
      *w++ = static_cast<u8>(b - 0x80);
      ++r;
    } else {
      if (state != JisState::kKanji) {
        w = put3(w, kEnterKanji);
        state = JisState::kKanji;
      }
      if (end - r < 2) {  // a first byte without its second stands alone and ends the text
        *w++ = b;
        break;
      }
#if JCODE_SSE2
      if (end - r >= 16) {
        const __m128i v = load16(r);
        const int bytes = whole_pairs(sjis_first_byte_mask(v));
        if (bytes >= 4) {
          store16(w, sjis_pairs_to_jis(v));
          r += bytes;
          w += bytes;
          continue;
        }
      }
#endif
      const u8 s2 = r[1];
      w[0] = kJisFirst[s2 >= 0x9F][b];
      w[1] = kJisSecond[s2];
      w += 2;
      r += 2;
    }
  }
  if (state != JisState::kAscii) w = put3(w, kEnterAscii);
  return w;
}

// Shift_JIS -> EUC-JP from r..end to w, under the same rule as convert_sjis_to_jis.
u8* convert_sjis_to_euc(const u8* r, const u8* end, u8* w) {
  while (r < end) {
    const u8 b = *r;
    if (b < 0x80) {
#if JCODE_SSE2
      const size_t run = copy_ascii_run(r, end, w);
      r += run;
      w += run;
      if (run) continue;
#endif
      *w++ = b;
      ++r;
    } else if (is_kana(b)) {
      w[0] = kSingleShift2;
      w[1] = b;
      w += 2;
      ++r;
    } else {
      if (end - r < 2) {
        *w++ = b;
        break;
      }
#if JCODE_SSE2
      if (end - r >= 16) {
        const __m128i v = load16(r);
        const int bytes = whole_pairs(sjis_first_byte_mask(v));
        if (bytes >= 4) {
          store16(w, _mm_xor_si128(sjis_pairs_to_jis(v), splat(0x80)));
          r += bytes;
          w += bytes;
          continue;
        }
      }
#endif
      const u8 s2 = r[1];
      w[0] = kJisFirst[s2 >= 0x9F][b] ^ 0x80;
      w[1] = kJisSecond[s2] ^ 0x80;
      w += 2;
      r += 2;
    }
  }
  return w;
}

// Length of the leading run of bytes below 0x80, which every Shift_JIS converter leaves as
// it is.
size_t ascii_prefix(const u8* p, size_t n) {
  size_t i = 0;
#if JCODE_SSE2
  for (; n - i >= 16; i += 16) {
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(load16(p + i)));
    if (high) return i + low_bit(high);
  }
#endif
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

// Runs a growing converter: the text after its ASCII prefix is moved to the end of the
// buffer (capacity bytes, NUL included) and converted from there to the front. The writer
// produces at most `factor` bytes per byte read, plus `tail` at the end, and the move leaves
// it enough room never to reach a byte not yet read.
template <typename Convert>
size_t convert_growing(char* text, size_t n, size_t capacity, Convert convert) {
  u8* const p = reinterpret_cast<u8*>(text);
  const size_t head = ascii_prefix(p, n);
  if (head == n) {
    p[n] = '\0';
    return n;
  }
  const size_t rest = n - head;
  u8* const source = p + (capacity - 1 - rest);
  std::memmove(source, p + head, rest);
  u8* const w = convert(source, source + rest, p + head);
  *w = '\0';
  return static_cast<size_t>(w - p);
}

}  // namespace

int detect_kanji_code(const char* text, size_t n) {
  const u8* const p = reinterpret_cast<const u8*>(text);
  size_t i = 0;
  while (i < n) {
#if JCODE_SSE2
    // Skip blocks holding neither a high byte nor an ESC.
    while (n - i >= 16) {
      const __m128i v = load16(p + i);
      const __m128i esc = _mm_cmpeq_epi8(v, splat(kEsc));
      if (_mm_movemask_epi8(_mm_or_si128(v, esc)) != 0) break;
      i += 16;
    }
    const size_t stop = n - i >= 16 ? i + 16 : n;
#else
    const size_t stop = n;
#endif
    for (; i < stop; ++i) {
      const u8 b = p[i];
      const u8 next = i + 1 < n ? p[i + 1] : 0;
      if (b < 0x80) {
        if (b == kEsc && next == '$') return KANJI_JIS;
      } else if (b >= 0x81 && b <= 0x9F) {
        return KANJI_SJIS;
      } else if (is_kana(b)) {
        return KANJI_EUC;
      } else if (next <= 0xA0) {  // 80, A0, E0..FF before a byte that cannot follow in EUC
        return KANJI_SJIS;
      } else if (b == 0xFD || b == 0xFE) {
        return KANJI_EUC;
      }
      // Otherwise undecided: the scan goes on with the very next byte.
    }
  }
  return KANJI_UNKNOWN;
}

int detect_kanji_code(const char* text) { return detect_kanji_code(text, std::strlen(text)); }

size_t to_sjis(char* text, size_t n) {
  switch (detect_kanji_code(text, n)) {
    case KANJI_EUC:
      return euc_to_sjis(text, n);
    case KANJI_JIS:
      return jis_to_sjis(text, n);
    default:
      text[n] = '\0';
      return n;
  }
}

void to_sjis(char* text) { to_sjis(text, std::strlen(text)); }

// The writer never passes the reader: every control sequence shrinks to nothing and every
// byte or pair is replaced by as many bytes.
size_t jis_to_sjis(char* text, size_t n) {
  u8* const p = reinterpret_cast<u8*>(text);
  const u8* r = p;
  const u8* const end = p + n;
  u8* w = p;
  JisState state = JisState::kAscii;
  while (r < end) {
    const Control control = jis_control(r, end);
    if (control.length) {
      state = control.state;
      r += control.length;
      continue;
    }
    const u8 b = *r;
    if (state == JisState::kAscii) {
      // Bytes up to the next SI, SO or ESC are copied (high bytes too).
      const u8* run_end = r + 1;
      while (run_end < end && *run_end != kEsc && *run_end != kShiftIn && *run_end != kShiftOut) ++run_end;
      const size_t run = static_cast<size_t>(run_end - r);
      if (w != r) std::memmove(w, r, run);
      w += run;
      r = run_end;
    } else if (state == JisState::kKana) {
      *w++ = static_cast<u8>(b + 0x80);
      ++r;
    } else {
      if (end - r < 2) {
        *w++ = b;
        break;
      }
#if JCODE_SSE2
      // A block of eight pairs none of which starts with a control byte. The writer may
      // store all 16 lanes when they land on bytes already read, or when it writes over the
      // reader itself (lanes past the pairs keep their bytes).
      if (end - r >= 16) {
        const __m128i v = load16(r);
        const __m128i control_lanes =
            _mm_or_si128(_mm_cmpeq_epi8(v, splat(kEsc)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, splat(kShiftIn)), _mm_cmpeq_epi8(v, splat(kShiftOut))));
        const int bytes = whole_pairs(~static_cast<unsigned>(_mm_movemask_epi8(control_lanes)));
        if (bytes == 16 || (bytes >= 4 && (w == r || r - w >= 16))) {
          const __m128i done = _mm_cmplt_epi8(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                                              _mm_set1_epi8(static_cast<char>(bytes)));
          store16(w, select(done, pairs_to_sjis(v, 0x00, 0x20, 0x5F, 0x7E), v));
          r += bytes;
          w += bytes;
          continue;
        }
      }
#endif
      const u8 j2 = r[1];
      w[0] = kSjisFirstFromJis[b];
      w[1] = kSjisSecondFromJis[b & 1][j2];
      w += 2;
      r += 2;
    }
  }
  *w = '\0';
  return static_cast<size_t>(w - p);
}

void jis_to_sjis(char* text) { jis_to_sjis(text, std::strlen(text)); }

// In place as well: a pair gives a pair, 8E and its byte give one byte.
size_t euc_to_sjis(char* text, size_t n) {
  u8* const p = reinterpret_cast<u8*>(text);
  const u8* r = p;
  const u8* const end = p + n;
  u8* w = p;
  while (r < end) {
    const u8 b = *r;
    if (b < 0x80) {
      // The run moves only once something before it has shrunk.
      const size_t run = ascii_prefix(r, static_cast<size_t>(end - r));
      if (w != r) std::memmove(w, r, run);
      r += run;
      w += run;
      continue;
    }
    if (end - r < 2) {
      *w++ = b;
      break;
    }
    if (b == kSingleShift2) {
      *w++ = r[1];
      r += 2;
      continue;
    }
#if JCODE_SSE2
    if (end - r >= 16) {
      const __m128i v = load16(r);
      // First bytes: from 0x80 up, but not 8E.
      const __m128i shift2 = _mm_cmpeq_epi8(v, splat(kSingleShift2));
      const int bytes = whole_pairs(static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(shift2, v))));
      if (bytes == 16 || (bytes >= 4 && (w == r || r - w >= 16))) {
        const __m128i done = _mm_cmplt_epi8(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                                            _mm_set1_epi8(static_cast<char>(bytes)));
        store16(w, select(done, pairs_to_sjis(v, 0x80, 0xA0, 0xDF, 0xFE), v));
        r += bytes;
        w += bytes;
        continue;
      }
    }
#endif
    const u8 e2 = r[1];
    w[0] = kSjisFirstFromEuc[b];
    w[1] = kSjisSecondFromEuc[b & 1][e2];
    w += 2;
    r += 2;
  }
  *w = '\0';
  return static_cast<size_t>(w - p);
}

void euc_to_sjis(char* text) { euc_to_sjis(text, std::strlen(text)); }

size_t sjis_to_jis_capacity(size_t n) {
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  return n > (kMax - 4) / 4 ? 0 : 4 * n + 4;
}

size_t sjis_to_euc_capacity(size_t n) {
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  return n > (kMax - 1) / 2 ? 0 : 2 * n + 1;
}

// At most four bytes out per byte in (an escape sequence and a byte; an escape sequence and
// a pair for two bytes), then ESC ( B: 4n + 3 and the NUL. With the unread text at the end
// of the 4n + 4 byte buffer, the writer starts 3n + 3 bytes behind the reader and loses at
// most three bytes of that lead per byte read, so it stays behind by at least as many
// bytes as are left to read.
size_t sjis_to_jis(char* text, size_t n) {
  return convert_growing(text, n, 4 * n + 4, convert_sjis_to_jis);
}

void sjis_to_jis(char* text) { sjis_to_jis(text, std::strlen(text)); }

// At most two bytes out per byte in: in the 2n + 1 byte buffer the writer starts n bytes
// behind the reader and loses at most one byte of that lead per byte read.
size_t sjis_to_euc(char* text, size_t n) {
  return convert_growing(text, n, 2 * n + 1, convert_sjis_to_euc);
}

void sjis_to_euc(char* text) { sjis_to_euc(text, std::strlen(text)); }
