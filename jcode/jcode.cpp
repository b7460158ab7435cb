// Japanese code detection and conversion: plain byte arithmetic on JIS X 0208 row and cell
// bytes, converted 16 bytes at a time with SSE2 where the machine has it, 32 with AVX2.
#include "jcode/jcode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

// JCODE_PORTABLE builds the byte-at-a-time code alone, as on a machine without SSE2.
#if defined(__SSE2__) && !defined(JCODE_PORTABLE)
#include <emmintrin.h>
#define JCODE_SSE2 1
#endif
// Where the compiler can build code for AVX2 beside it, the converters also have 32-byte
// forms, taken when the machine running them has AVX2. JCODE_NO_AVX2 leaves them out.
#if JCODE_SSE2 && !defined(JCODE_NO_AVX2) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define JCODE_AVX2 1
#define JCODE_TARGET_AVX2 __attribute__((target("avx2")))
#endif

namespace {

using u8 = unsigned char;

constexpr u8 kEsc = 0x1B;
constexpr u8 kShiftOut = 0x0E;  // SO: half-width katakana
constexpr u8 kShiftIn = 0x0F;   // SI: ASCII
constexpr u8 kSingleShift2 = 0x8E;

enum class JisState { kAscii, kKanji, kKana };
// The escape sequences the JIS writer emits, by the state they select, padded to four bytes.
constexpr u8 kEscapes[3][4] = {{kEsc, '(', 'B', 0}, {kEsc, '$', 'B', 0}, {kEsc, '(', 'I', 0}};

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

// Writes a converted pair. Malformed input can make the arithmetic give a NUL byte, which
// would end the text there and lose the rest of it: such a pair keeps its own bytes.
inline u8* put_pair(u8* w, u8 c1, u8 c2, u8 b1, u8 b2) {
  const bool keep = c1 == 0 || c2 == 0;
  w[0] = keep ? b1 : c1;
  w[1] = keep ? b2 : c2;
  return w + 2;
}

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

inline u8* put_escape(u8* w, JisState state) {
  std::memcpy(w, kEscapes[static_cast<int>(state)], 3);
  return w + 3;
}

#if JCODE_SSE2
// Blocks of 16 bytes, their lanes described by bit masks (bit i for lane i). A block starts
// on a character boundary, or (Shift_JIS and EUC-JP blocks) on the second byte of a pair
// whose first byte ended the block before.

inline __m128i load16(const u8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store16(u8* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i splat(u8 b) { return _mm_set1_epi8(static_cast<char>(b)); }
inline unsigned lane_mask(__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); }
// Unsigned lane comparisons with a constant; all-ones where true.
inline __m128i le(__m128i v, u8 k) { return _mm_cmpeq_epi8(_mm_min_epu8(v, splat(k)), v); }
inline __m128i ge(__m128i v, u8 k) { return _mm_cmpeq_epi8(_mm_max_epu8(v, splat(k)), v); }
inline __m128i select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
inline int low_bit(unsigned m) { return std::countr_zero(m); }

// All-ones lanes where the mask has its bit.
inline __m128i lanes_of(unsigned mask) {
  constexpr uint64_t kSpread = 0x0101010101010101ULL;
  const __m128i bytes = _mm_set_epi64x(static_cast<long long>(((mask >> 8) & 0xFF) * kSpread),
                                       static_cast<long long>((mask & 0xFF) * kSpread));
  const __m128i bits = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
  return _mm_cmpeq_epi8(_mm_and_si128(bytes, bits), bits);
}

// Lanes that begin a pair, given the lanes whose byte begins a pair whenever it begins a
// character. A byte that cannot begin a pair always ends a character (it is a single
// character or a second byte), so every run of pair-beginning bytes starts a character, and
// within a run every other byte is a first byte.
// Masks of 16 and of 32 lanes alike.
inline uint32_t pair_firsts(uint32_t pairable) {
  const uint32_t run_starts = pairable & ~(pairable << 1);
  const uint32_t even_starts = run_starts & 0x55555555u;
  // Adding a run's start bit carries through the run and clears it.
  const uint32_t even_runs = pairable & ~(pairable + even_starts);
  return (even_runs & 0x55555555u) | (pairable & ~even_runs & 0xAAAAAAAAu);
}

// Writes the first n bytes of the block to w, n < 16.
inline void put_partial(u8* w, __m128i v, int n) {
  alignas(16) u8 tmp[16];
  store16(tmp, v);
  if (n >= 8) {
    std::memcpy(w, tmp, 8);
    std::memcpy(w + n - 8, tmp + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(w, tmp, 4);
    std::memcpy(w + n - 4, tmp + n - 4, 4);
  } else {
    for (int i = 0; i < n; ++i) w[i] = tmp[i];
  }
}

// Writes n converted bytes of a block read at r to w, w at or before r, without touching a
// byte after r + n that is not read yet: all 16 lanes when they land on bytes already read,
// or when the writer is on the reader itself (the lanes past n are then the block's own
// bytes); otherwise only n.
inline void put_in_place(u8* w, const u8* r, __m128i converted, __m128i original, int n) {
  if (n == 16 || r - w >= 16 - n) {
    store16(w, converted);
  } else if (w == r) {
    store16(w, select(lanes_of((1u << n) - 1), converted, original));
  } else {
    put_partial(w, converted, n);
  }
}

// Lanes holding a byte that may start a JIS control: ESC, SI, SO.
inline unsigned control_lanes(__m128i v) {
  return lane_mask(
      _mm_or_si128(_mm_cmpeq_epi8(v, splat(kEsc)),
                   _mm_or_si128(_mm_cmpeq_epi8(v, splat(kShiftIn)), _mm_cmpeq_epi8(v, splat(kShiftOut)))));
}

// Each lane taken as the first byte of a Shift_JIS pair whose second byte is the same lane
// of `next` (the block read one byte on): jis_first in lanes.
inline __m128i jis_first_lanes(__m128i v, __m128i next) {
  const __m128i t = _mm_add_epi8(v, v);
  const __m128i s2_high = ge(next, 0x9F);
  // t + 0x1F below 0x3F, else t - 0x61; one more when the second byte is 9F or above.
  const __m128i add = _mm_xor_si128(splat(0x9F), _mm_and_si128(le(t, 0x3E), splat(0x80)));
  return _mm_sub_epi8(_mm_add_epi8(t, add), s2_high);
}

// Each lane taken as a second byte: jis_second in lanes.
inline __m128i jis_second_lanes(__m128i v) {
  // s2 - 0x7E from 9F up, else s2 - 0x1F up to 7E and s2 - 0x20 above.
  const __m128i low_add = _mm_sub_epi8(splat(0xE0), le(v, 0x7E));
  return _mm_add_epi8(v, select(ge(v, 0x9F), splat(0x82), low_add));
}

// Pairs whose first bytes give JIS bytes once flipped by `first_flip`, to Shift_JIS: each
// lane taken as a first byte, and each lane taken as a second byte after the lane before it
// (lane 0 after a first byte whose parity is `odd_in`). A second byte adds `odd_add` - 1 up
// to `odd_limit` and `odd_add` above it after an odd first byte, `even_add` after an even one.
struct PairLanes {
  __m128i first;
  __m128i second;
};
inline PairLanes sjis_lanes(__m128i v, u8 first_flip, u8 odd_add, u8 odd_limit, u8 even_add,
                            unsigned odd_in) {
  const __m128i j1 = _mm_xor_si128(v, splat(first_flip));
  const __m128i h = _mm_and_si128(_mm_srli_epi16(j1, 1), splat(0x7F));
  const __m128i odd = _mm_cmpeq_epi8(_mm_and_si128(j1, splat(1)), splat(1));
  // h + 0x70, one more when odd, 0x40 more from 0x2F (odd) or 0x30 (even) up.
  const __m128i high = select(odd, ge(h, 0x2F), ge(h, 0x30));
  const __m128i s1 =
      _mm_add_epi8(_mm_sub_epi8(_mm_add_epi8(h, splat(0x70)), odd), _mm_and_si128(high, splat(0x40)));
  const __m128i odd_before = _mm_or_si128(_mm_slli_si128(odd, 1), _mm_cvtsi32_si128(odd_in ? 0xFF : 0));
  const __m128i odd_case = _mm_add_epi8(splat(odd_add), le(v, odd_limit));
  return {s1, _mm_add_epi8(v, select(odd_before, odd_case, splat(even_add)))};
}

// The lanes of a Shift_JIS block: first and second bytes of pairs, and half-width katakana.
// Blocks follow each other 16 bytes apart, so a pair may be cut by a block's end: its first
// byte is then lane 15, converted with the help of `next`, and its second byte lane 0 of the
// next block (`carry`, 0 or 1). Reading `next` needs 17 bytes.
struct SjisBlock {
  __m128i v;
  __m128i next;
  __m128i first_lanes;
  __m128i second_lanes;
  __m128i kana_lanes;
  unsigned firsts;
  unsigned seconds;
  unsigned kana;
};
inline SjisBlock read_sjis_block(const u8* r, unsigned carry) {
  const __m128i v = load16(r);
  const __m128i kana_class = le(_mm_sub_epi8(v, splat(0xA1)), 0x3E);
  const unsigned firsts = pair_firsts(lane_mask(_mm_andnot_si128(kana_class, v)) & ~carry);
  const __m128i first_lanes = lanes_of(firsts);
  const __m128i second_lanes =
      _mm_or_si128(_mm_slli_si128(first_lanes, 1), _mm_cvtsi32_si128(carry ? 0xFF : 0));
  const __m128i kana_lanes = _mm_andnot_si128(second_lanes, kana_class);
  return {v,
          load16(r + 1),
          first_lanes,
          second_lanes,
          kana_lanes,
          firsts,
          ((firsts << 1) | carry) & 0xFFFF,
          lane_mask(kana_lanes)};
}

// The block with its pairs converted to JIS bytes, flipped by `flip` (0x80 gives EUC-JP);
// other lanes as they are.
inline __m128i convert_block_pairs(const SjisBlock& b, u8 flip) {
  const __m128i f = splat(flip);
  return select(b.first_lanes, _mm_xor_si128(jis_first_lanes(b.v, b.next), f),
                select(b.second_lanes, _mm_xor_si128(jis_second_lanes(b.v), f), b.v));
}

// Whether a pair of the block came out with a NUL byte, the pair cut by the block's end
// included (`cut_second`: its second byte converted). Such a block goes character by
// character, through put_pair.
inline bool has_nul_pair(__m128i converted, unsigned firsts, unsigned seconds, u8 cut_second) {
  const unsigned nul = lane_mask(_mm_cmpeq_epi8(converted, _mm_setzero_si128())) & (firsts | seconds);
  return nul != 0 || ((firsts & 0x8000) && cut_second == 0);
}

// put_pair for a block of whole pairs (first bytes in `firsts`): pairs that came out with a
// NUL byte keep the original bytes.
inline __m128i keep_pairs_with_nul(__m128i converted, __m128i original, unsigned firsts) {
  const unsigned pairs = firsts | (firsts << 1);
  const unsigned nul = lane_mask(_mm_cmpeq_epi8(converted, _mm_setzero_si128())) & pairs;
  if (nul == 0) return converted;
  const unsigned bad_firsts = (nul & firsts) | ((nul >> 1) & firsts);
  return select(lanes_of((bad_firsts | (bad_firsts << 1)) & 0xFFFF), original, converted);
}
// Writes a converted block of kWidth bytes (16 or 32, read from `block`) to w, with an
// escape sequence wherever the character set changes: lanes in `pairs` hold two-byte
// characters, lanes in `kana` half-width katakana, the rest ASCII. Lane 0 compares with
// `state`, which ends as the set of the last lane. Segments are copied kWidth bytes wide,
// each copy's tail written over by what follows. Returns the end of the output.
template <int kWidth>
inline u8* put_jis_block(u8* w, const u8* block, uint32_t pairs, uint32_t kana, JisState& state) {
  constexpr uint32_t kLanes = kWidth == 32 ? ~0u : (1u << kWidth) - 1;
  const uint32_t ascii = ~(pairs | kana) & kLanes;
  // Lanes whose set differs from the lane before.
  const uint32_t changes = ((ascii ^ ((ascii << 1) | (state == JisState::kAscii))) |
                            (pairs ^ ((pairs << 1) | (state == JisState::kKanji))) |
                            (kana ^ ((kana << 1) | (state == JisState::kKana)))) &
                           kLanes;
  int from = 0;
  for (uint32_t rest = changes; rest; rest &= rest - 1) {
    const int at = low_bit(rest);
    std::memcpy(w, block + from, kWidth);
    w += at - from;
    state = static_cast<JisState>(((kana >> at) & 1) * 2 + ((pairs >> at) & 1));
    std::memcpy(w, kEscapes[static_cast<int>(state)], 4);  // the fourth byte is written over
    w += 3;
    from = at;
  }
  std::memcpy(w, block + from, kWidth);
  return w + kWidth - from;
}

#endif

// One Shift_JIS character to JIS, with the escape sequence its set needs.
inline u8* step_sjis_to_jis(const u8*& r, const u8* end, u8* w, JisState& state) {
  const u8 b = *r;
  const JisState set = b < 0x80 ? JisState::kAscii : is_kana(b) ? JisState::kKana : JisState::kKanji;
  if (set != state) {
    w = put_escape(w, set);
    state = set;
  }
  if (set == JisState::kAscii) {
    *w++ = b;
    ++r;
  } else if (set == JisState::kKana) {
    *w++ = static_cast<u8>(b - 0x80);
    ++r;
  } else if (end - r < 2) {  // a first byte without its second stands alone and ends the text
    *w++ = b;
    ++r;
  } else {
    const u8 s2 = r[1];
    w = put_pair(w, kJisFirst[s2 >= 0x9F][b], kJisSecond[s2], b, s2);
    r += 2;
  }
  return w;
}

// Shift_JIS -> JIS from r..end to w. The writer stays behind the reader by at least three
// times the bytes left to read (see sjis_to_jis). Returns the end of the output, without NUL.
// `state` is the set in force where r starts.
u8* convert_sjis_to_jis(const u8* r, const u8* end, u8* w, JisState state = JisState::kAscii) {
#if JCODE_SSE2
  // Each block is converted whole; an escape sequence goes in wherever the character set
  // changes. Every store is 16 bytes wide, which needs the writer's lead over the unread
  // text to be 16 bytes: 32 bytes left to read give that.
  alignas(16) u8 scratch[32] = {};
  unsigned carry = 0;
  while (end - r >= 32) {
    const SjisBlock b = read_sjis_block(r, carry);
    const __m128i converted =
        select(b.kana_lanes, _mm_xor_si128(b.v, splat(0x80)), convert_block_pairs(b, 0x00));
    if (has_nul_pair(converted, b.firsts, b.seconds, kJisSecond[r[16]])) {
      const u8* const block_end = r + 16;
      if (carry) *w++ = kJisSecond[*r++];
      while (r < block_end) w = step_sjis_to_jis(r, end, w, state);
      carry = 0;
      continue;
    }
    store16(scratch, converted);
    w = put_jis_block<16>(w, scratch, b.firsts | b.seconds, b.kana, state);
    r += 16;
    carry = b.firsts >> 15;
  }
  if (carry) *w++ = kJisSecond[*r++];
#endif
  while (r < end) w = step_sjis_to_jis(r, end, w, state);
  if (state != JisState::kAscii) w = put_escape(w, JisState::kAscii);
  return w;
}

// Shift_JIS -> EUC-JP from r..end to w. In place (w == r): stops before the first
// half-width katakana, the only character that grows. Growing (w before r): each katakana
// takes a byte of the writer's lead over the reader; when the lead left may not cover the
// next step and is less than the bytes left to read, stops on a character boundary for the
// caller to widen it. Returns where reading and writing stopped.
struct Progress {
  const u8* r;
  u8* w;
};
template <bool kInPlace>
Progress convert_sjis_to_euc(const u8* r, const u8* end, u8* w) {
  const auto lead_short = [&](std::ptrdiff_t need) { return !kInPlace && r - w < need && r - w < end - r; };
  // One character; false for a katakana in place.
  const auto step = [&]() {
    const u8 b = *r;
    if (b < 0x80) {
      *w++ = b;
      ++r;
    } else if (is_kana(b)) {
      if (kInPlace) return false;
      w[0] = kSingleShift2;
      w[1] = b;
      w += 2;
      ++r;
    } else if (end - r < 2) {
      *w++ = b;
      ++r;
    } else {
      const u8 s2 = r[1];
      w = put_pair(w, kJisFirst[s2 >= 0x9F][b] ^ 0x80, kJisSecond[s2] ^ 0x80, b, s2);
      r += 2;
    }
    return true;
  };
#if JCODE_SSE2
  // Pairs and ASCII keep their length, so a block converts lane by lane. A half-width
  // katakana ends the block's work: the characters before it are written, the katakana
  // run goes character by character, and the next block starts after it. A block with a
  // pair that would give a NUL goes character by character.
  // A block loses at most 16 bytes of lead and stores 16 bytes wide: 48 cover it.
  unsigned carry = 0;
  while (end - r >= 17) {
    if (lead_short(48)) {
      if (carry) *w++ = kJisSecond[*r++] ^ 0x80;
      return {r, w};
    }
    const SjisBlock b = read_sjis_block(r, carry);
    const __m128i converted = convert_block_pairs(b, 0x80);
    if (has_nul_pair(converted, b.firsts, b.seconds, kJisSecond[r[16]] ^ 0x80)) {
      const u8* const block_end = r + 16;
      if (carry) *w++ = kJisSecond[*r++] ^ 0x80;
      while (r < block_end) {
        if (!step()) return {r, w};
      }
      carry = 0;
      continue;
    }
    if (b.kana != 0) {
      // Lanes before the first katakana are whole characters (a katakana lane is never a
      // second byte). In place the lanes from the katakana on keep their bytes.
      const int at = low_bit(b.kana);
      const u8* const block_end = r + 16;
      if (kInPlace) {
        put_in_place(w, r, converted, b.v, at);
      } else {
        store16(w, converted);  // the writer is at least 17 bytes behind
      }
      w += at;
      r += at;
      if (kInPlace) return {r, w};
      while (r < block_end && is_kana(*r)) step();
      carry = 0;
      continue;
    }
    store16(w, converted);
    w += 16;
    r += 16;
    carry = b.firsts >> 15;
  }
  if (carry) *w++ = kJisSecond[*r++] ^ 0x80;
#endif
  while (r < end) {
    if (lead_short(2) || !step()) break;
  }
  return {r, w};
}

#if JCODE_AVX2
// The 16-byte Shift_JIS block arithmetic on 32-byte blocks (lane masks of 32 bits).

JCODE_TARGET_AVX2 inline __m256i load32(const u8* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
JCODE_TARGET_AVX2 inline void store32(u8* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
JCODE_TARGET_AVX2 inline __m256i splat32(u8 b) { return _mm256_set1_epi8(static_cast<char>(b)); }
JCODE_TARGET_AVX2 inline uint32_t lane_mask32(__m256i v) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(v));
}
JCODE_TARGET_AVX2 inline __m256i le32(__m256i v, u8 k) {
  return _mm256_cmpeq_epi8(_mm256_min_epu8(v, splat32(k)), v);
}
JCODE_TARGET_AVX2 inline __m256i ge32(__m256i v, u8 k) {
  return _mm256_cmpeq_epi8(_mm256_max_epu8(v, splat32(k)), v);
}
JCODE_TARGET_AVX2 inline __m256i select32(__m256i mask, __m256i a, __m256i b) {
  return _mm256_blendv_epi8(b, a, mask);
}

// All-ones lanes where the mask has its bit: each lane picks its byte of the mask and tests
// its bit in it.
JCODE_TARGET_AVX2 inline __m256i lanes_of32(uint32_t mask) {
  const __m256i byte_of_lane = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,  //
                                                2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
  const __m256i spread = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(mask)), byte_of_lane);
  const __m256i bits = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
  return _mm256_cmpeq_epi8(_mm256_and_si256(spread, bits), bits);
}

// jis_first_lanes and jis_second_lanes, 32 lanes wide.
JCODE_TARGET_AVX2 inline __m256i jis_first_lanes32(__m256i v, __m256i next) {
  const __m256i t = _mm256_add_epi8(v, v);
  const __m256i add = _mm256_xor_si256(splat32(0x9F), _mm256_and_si256(le32(t, 0x3E), splat32(0x80)));
  return _mm256_sub_epi8(_mm256_add_epi8(t, add), ge32(next, 0x9F));
}
JCODE_TARGET_AVX2 inline __m256i jis_second_lanes32(__m256i v) {
  const __m256i low_add = _mm256_sub_epi8(splat32(0xE0), le32(v, 0x7E));
  return _mm256_add_epi8(v, select32(ge32(v, 0x9F), splat32(0x82), low_add));
}

// Shift_JIS -> EUC-JP in 32-byte blocks, as convert_sjis_to_euc does in 16-byte ones, with
// the same results and the same stops; the 16-byte code takes over for the last bytes, and
// for the rest of a text where a pair would give a NUL.
template <bool kInPlace>
JCODE_TARGET_AVX2 Progress convert_sjis_to_euc_avx2(const u8* r, const u8* end, u8* w) {
  uint32_t carry = 0;
  // A block loses at most 32 bytes of lead and stores 32 bytes wide.
  while (end - r >= 33 && (kInPlace || r - w >= 80 || r - w >= end - r)) {
    const __m256i v = load32(r);
    const __m256i kana_class = le32(_mm256_sub_epi8(v, splat32(0xA1)), 0x3E);
    const uint32_t firsts = pair_firsts(lane_mask32(_mm256_andnot_si256(kana_class, v)) & ~carry);
    const uint32_t seconds = (firsts << 1) | carry;
    const uint32_t kana = lane_mask32(kana_class) & ~seconds;
    const __m256i f = splat32(0x80);
    const __m256i converted =
        select32(lanes_of32(firsts), _mm256_xor_si256(jis_first_lanes32(v, load32(r + 1)), f),
                 select32(lanes_of32(seconds), _mm256_xor_si256(jis_second_lanes32(v), f), v));
    const uint32_t nul =
        lane_mask32(_mm256_cmpeq_epi8(converted, _mm256_setzero_si256())) & (firsts | seconds);
    if (nul != 0 || ((firsts >> 31) && (kJisSecond[r[32]] ^ 0x80) == 0)) break;
    if (kana != 0) {
      // As in the 16-byte blocks: the characters before the first katakana, then the run.
      const int at = low_bit(kana);
      const u8* const block_end = r + 32;
      if (kInPlace) {
        store32(w, select32(lanes_of32((1u << at) - 1), converted, v));
        return {r + at, w + at};
      }
      store32(w, converted);
      w += at;
      r += at;
      for (; r < block_end && is_kana(*r); ++r, w += 2) {
        w[0] = kSingleShift2;
        w[1] = *r;
      }
      carry = 0;
      continue;
    }
    store32(w, converted);
    w += 32;
    r += 32;
    carry = firsts >> 31;
  }
  if (carry) *w++ = kJisSecond[*r++] ^ 0x80;
  return convert_sjis_to_euc<kInPlace>(r, end, w);
}

// Shift_JIS -> JIS in 32-byte blocks, as convert_sjis_to_jis does in 16-byte ones; the
// 16-byte code takes over for the last bytes, and for the rest of a text where a pair
// would give a NUL.
JCODE_TARGET_AVX2 u8* convert_sjis_to_jis_avx2(const u8* r, const u8* end, u8* w) {
  JisState state = JisState::kAscii;
  alignas(32) u8 scratch[64] = {};
  uint32_t carry = 0;
  // A block's stores reach at most 32 + 3 * 32 bytes past the writer, whose lead is three
  // times the bytes left: 64 bytes left give room.
  while (end - r >= 64) {
    const __m256i v = load32(r);
    const __m256i kana_class = le32(_mm256_sub_epi8(v, splat32(0xA1)), 0x3E);
    const uint32_t firsts = pair_firsts(lane_mask32(_mm256_andnot_si256(kana_class, v)) & ~carry);
    const uint32_t seconds = (firsts << 1) | carry;
    const uint32_t kana = lane_mask32(kana_class) & ~seconds;
    const __m256i pairs_converted = select32(lanes_of32(firsts), jis_first_lanes32(v, load32(r + 1)),
                                             select32(lanes_of32(seconds), jis_second_lanes32(v), v));
    const __m256i converted = select32(lanes_of32(kana), _mm256_xor_si256(v, splat32(0x80)), pairs_converted);
    const uint32_t pairs = firsts | seconds;
    const uint32_t nul = lane_mask32(_mm256_cmpeq_epi8(converted, _mm256_setzero_si256())) & pairs;
    if (nul != 0 || ((firsts >> 31) && kJisSecond[r[32]] == 0)) break;
    store32(scratch, converted);
    w = put_jis_block<32>(w, scratch, pairs, kana, state);
    r += 32;
    carry = firsts >> 31;
  }
  if (carry) *w++ = kJisSecond[*r++];
  return convert_sjis_to_jis(r, end, w, state);
}

// sjis_lanes, 32 lanes wide.
struct PairLanes32 {
  __m256i first;
  __m256i second;
};
JCODE_TARGET_AVX2 inline PairLanes32 sjis_lanes32(__m256i v, u8 first_flip, u8 odd_add, u8 odd_limit,
                                                  u8 even_add, uint32_t odd_in) {
  const __m256i j1 = _mm256_xor_si256(v, splat32(first_flip));
  const __m256i h = _mm256_and_si256(_mm256_srli_epi16(j1, 1), splat32(0x7F));
  const __m256i odd = _mm256_cmpeq_epi8(_mm256_and_si256(j1, splat32(1)), splat32(1));
  const __m256i high = select32(odd, ge32(h, 0x2F), ge32(h, 0x30));
  const __m256i s1 = _mm256_add_epi8(_mm256_sub_epi8(_mm256_add_epi8(h, splat32(0x70)), odd),
                                     _mm256_and_si256(high, splat32(0x40)));
  // The lanes one up: within each half, with lane 15 of the low half carried into the high.
  const __m256i odd_up = _mm256_alignr_epi8(odd, _mm256_permute2x128_si256(odd, odd, 0x08), 15);
  const __m256i odd_before =
      _mm256_or_si256(odd_up, _mm256_setr_epi32(odd_in ? 0xFF : 0, 0, 0, 0, 0, 0, 0, 0));
  const __m256i odd_case = _mm256_add_epi8(splat32(odd_add), le32(v, odd_limit));
  return {s1, _mm256_add_epi8(v, select32(odd_before, odd_case, splat32(even_add)))};
}

// put_in_place, 32 lanes wide.
JCODE_TARGET_AVX2 inline void put_in_place32(u8* w, const u8* r, __m256i converted, __m256i original, int n) {
  if (n == 32 || r - w >= 32 - n) {
    store32(w, converted);
  } else if (w == r) {
    store32(w, select32(lanes_of32((1u << n) - 1), converted, original));
  } else {
    alignas(32) u8 tmp[32];
    store32(tmp, converted);
    std::memcpy(w, tmp, static_cast<size_t>(n));
  }
}

// EUC-JP -> Shift_JIS in place in 32-byte blocks, as euc_to_sjis does in 16-byte ones, up
// to the last bytes or a pair that would give a NUL; stops on a character boundary.
JCODE_TARGET_AVX2 Progress convert_euc_to_sjis_avx2(const u8* r, const u8* end, u8* w) {
  uint32_t carry = 0, carry_odd = 0;
  while (end - r >= 33) {
    const __m256i v = load32(r);
    const uint32_t firsts = pair_firsts(lane_mask32(v) & ~carry);
    const uint32_t seconds = (firsts << 1) | carry;
    const PairLanes32 s = sjis_lanes32(v, 0x80, 0xA0, 0xDF, 0xFE, carry_odd);
    const __m256i converted =
        select32(lanes_of32(firsts), s.first, select32(lanes_of32(seconds), s.second, v));
    const uint32_t nul =
        lane_mask32(_mm256_cmpeq_epi8(converted, _mm256_setzero_si256())) & (firsts | seconds);
    if (nul != 0 || ((firsts >> 31) && kSjisSecondFromEuc[r[31] & 1][r[32]] == 0)) break;
    const uint32_t shift2 = lane_mask32(_mm256_cmpeq_epi8(v, splat32(kSingleShift2))) & firsts;
    if (shift2 != 0) {
      // The characters before the first 8E, then the run of 8E pairs.
      const int at = low_bit(shift2);
      put_in_place32(w, r, converted, v, at);
      w += at;
      r += at;
      for (; end - r >= 2 && *r == kSingleShift2; r += 2) *w++ = r[1];
      carry = 0;
      continue;
    }
    carry = firsts >> 31;
    carry_odd = r[31] & 1;  // read before the store, which may write over it
    store32(w, converted);
    w += 32;
    r += 32;
  }
  if (carry) *w++ = kSjisSecondFromEuc[carry_odd][*r++];
  return {r, w};
}

// Lanes holding a byte that may start a JIS control: ESC, SI, SO.
JCODE_TARGET_AVX2 inline uint32_t control_lanes32(__m256i v) {
  return lane_mask32(_mm256_or_si256(
      _mm256_cmpeq_epi8(v, splat32(kEsc)),
      _mm256_or_si256(_mm256_cmpeq_epi8(v, splat32(kShiftIn)), _mm256_cmpeq_epi8(v, splat32(kShiftOut)))));
}

// The runs of jis_to_sjis, 32 bytes wide: they read 32 bytes at r, write the run to w and
// return its length. In ASCII state the bytes up to the next control byte after the first.
JCODE_TARGET_AVX2 int jis_ascii_run32(const u8* r, u8* w) {
  const __m256i v = load32(r);
  const uint32_t controls = control_lanes32(v) & ~1u;
  const int run = controls ? low_bit(controls) : 32;
  put_in_place32(w, r, v, v, run);
  return run;
}

// In two-byte state the pairs up to the first control byte that stands where a pair would
// begin; pairs that would give a NUL keep their bytes.
JCODE_TARGET_AVX2 int jis_kanji_run32(const u8* r, u8* w) {
  const __m256i v = load32(r);
  const uint32_t at_pair_start = control_lanes32(v) & 0x55555555u;
  const int bytes = at_pair_start ? low_bit(at_pair_start) : 32;
  if (bytes == 0) return 0;
  const PairLanes32 s = sjis_lanes32(v, 0x00, 0x20, 0x5F, 0x7E, 0);
  __m256i converted = select32(_mm256_set1_epi16(0x00FF), s.first, s.second);
  // Lanes past the run hold no pairs; what they give is not written.
  const uint32_t in_run = bytes == 32 ? ~0u : (1u << bytes) - 1;
  const uint32_t nul = lane_mask32(_mm256_cmpeq_epi8(converted, _mm256_setzero_si256())) & in_run;
  if (nul != 0) {
    const uint32_t bad_firsts = (nul | (nul >> 1)) & 0x55555555u;
    converted = select32(lanes_of32(bad_firsts | (bad_firsts << 1)), v, converted);
  }
  put_in_place32(w, r, converted, v, bytes);
  return bytes;
}

bool has_avx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

// Shift_JIS -> JIS in the widest blocks the machine has.
u8* convert_sjis_to_jis_widest(const u8* r, const u8* end, u8* w) {
#if JCODE_AVX2
  if (has_avx2()) return convert_sjis_to_jis_avx2(r, end, w);
#endif
  return convert_sjis_to_jis(r, end, w);
}

// Shift_JIS -> EUC-JP in the widest blocks the machine has.
template <bool kInPlace>
Progress convert_sjis_to_euc_widest(const u8* r, const u8* end, u8* w) {
#if JCODE_AVX2
  if (has_avx2()) return convert_sjis_to_euc_avx2<kInPlace>(r, end, w);
#endif
  return convert_sjis_to_euc<kInPlace>(r, end, w);
}

// Length of the leading run of bytes below 0x80, which every Shift_JIS converter leaves as
// it is.
size_t ascii_prefix(const u8* p, size_t n) {
  size_t i = 0;
#if JCODE_SSE2
  for (; n - i >= 16; i += 16) {
    const unsigned high = lane_mask(load16(p + i));
    if (high) return i + low_bit(high);
  }
#endif
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

}  // namespace

int detect_kanji_code(const char* text, size_t n) noexcept {
  const u8* const p = reinterpret_cast<const u8*>(text);
  size_t i = 0;
  while (i < n) {
#if JCODE_SSE2
    // Skip blocks holding neither a high byte nor an ESC.
    while (n - i >= 16) {
      const __m128i v = load16(p + i);
      if (lane_mask(_mm_or_si128(v, _mm_cmpeq_epi8(v, splat(kEsc)))) != 0) break;
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

int detect_kanji_code(const char* text) noexcept { return detect_kanji_code(text, std::strlen(text)); }

size_t to_sjis(char* text, size_t n) noexcept {
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

void to_sjis(char* text) noexcept { to_sjis(text, std::strlen(text)); }

// The writer never passes the reader: every control sequence shrinks to nothing and every
// byte or pair is replaced by as many bytes.
namespace {

// The conversion with runs up to `kWidth` bytes wide: 32 where the machine has AVX2. Always
// inlined, so that the 32-byte form is built for AVX2 with its runs inlined in it.
template <int kWidth>
[[gnu::always_inline]] inline size_t convert_jis_to_sjis(u8* const p, size_t n) {
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
      // Bytes up to the next SI, SO or ESC are copied (high bytes too); the byte here is
      // copied whatever it is, as it starts no control.
#if JCODE_AVX2
      if constexpr (kWidth == 32) {
        if (end - r >= 32) {
          const int run = jis_ascii_run32(r, w);
          r += run;
          w += run;
          continue;
        }
      }
#endif
#if JCODE_SSE2
      if (end - r >= 16) {
        const __m128i v = load16(r);
        const unsigned controls = control_lanes(v) & ~1u;
        const int run = controls ? low_bit(controls) : 16;
        put_in_place(w, r, v, v, run);
        r += run;
        w += run;
        continue;
      }
#endif
      *w++ = b;
      ++r;
    } else if (state == JisState::kKana) {
      *w++ = b == 0x80 ? b : static_cast<u8>(b + 0x80);  // no NUL out of 80
      ++r;
    } else {
#if JCODE_AVX2
      if constexpr (kWidth == 32) {
        if (end - r >= 32) {
          const int bytes = jis_kanji_run32(r, w);
          r += bytes;
          w += bytes;
          if (bytes > 0) continue;
        }
      }
#endif
#if JCODE_SSE2
      // Pairs up to the first control byte that stands where a pair would begin.
      if (end - r >= 16) {
        const __m128i v = load16(r);
        const unsigned at_pair_start = control_lanes(v) & 0x5555;
        const int bytes = at_pair_start ? low_bit(at_pair_start) : 16;
        if (bytes > 0) {
          const PairLanes s = sjis_lanes(v, 0x00, 0x20, 0x5F, 0x7E, 0);
          const __m128i converted = select(_mm_set1_epi16(0x00FF), s.first, s.second);
          put_in_place(w, r, keep_pairs_with_nul(converted, v, 0x5555 & ((1u << bytes) - 1)), v, bytes);
          r += bytes;
          w += bytes;
          continue;
        }
      }
#endif
      if (end - r < 2) {
        *w++ = b;
        break;
      }
      const u8 j2 = r[1];
      w = put_pair(w, kSjisFirstFromJis[b], kSjisSecondFromJis[b & 1][j2], b, j2);
      r += 2;
    }
  }
  *w = '\0';
  return static_cast<size_t>(w - p);
}

#if JCODE_AVX2
JCODE_TARGET_AVX2 size_t convert_jis_to_sjis_avx2(u8* p, size_t n) { return convert_jis_to_sjis<32>(p, n); }
#endif

}  // namespace

size_t jis_to_sjis(char* text, size_t n) noexcept {
  u8* const p = reinterpret_cast<u8*>(text);
#if JCODE_AVX2
  if (has_avx2()) return convert_jis_to_sjis_avx2(p, n);
#endif
  return convert_jis_to_sjis<16>(p, n);
}

void jis_to_sjis(char* text) noexcept { jis_to_sjis(text, std::strlen(text)); }

// In place as well: a pair gives a pair, 8E and its byte give one byte.
size_t euc_to_sjis(char* text, size_t n) noexcept {
  u8* const p = reinterpret_cast<u8*>(text);
  const u8* r = p;
  const u8* const end = p + n;
  u8* w = p;
  // One character.
  const auto step = [&]() {
    const u8 b = *r;
    if (b < 0x80) {
      *w++ = b;
      ++r;
    } else if (end - r < 2) {
      *w++ = b;
      ++r;
    } else if (b == kSingleShift2) {
      *w++ = r[1];
      r += 2;
    } else {
      const u8 e2 = r[1];
      w = put_pair(w, kSjisFirstFromEuc[b], kSjisSecondFromEuc[b & 1][e2], b, e2);
      r += 2;
    }
  };
#if JCODE_SSE2
  // ASCII and pairs keep their length, so a block converts lane by lane, 16 bytes on from
  // the last; a block with an 8E (which shrinks) or a pair that would give a NUL goes
  // character by character. A pair cut by the block's end leaves `carry` and the parity of
  // its first byte for the next block. Every lane written stands for a byte already read.
#if JCODE_AVX2
  if (has_avx2()) {
    const Progress done = convert_euc_to_sjis_avx2(r, end, w);
    r = done.r;
    w = done.w;
  }
#endif
  unsigned carry = 0, carry_odd = 0;
  while (end - r >= 17) {
    const __m128i v = load16(r);
    const unsigned firsts = pair_firsts(lane_mask(v) & ~carry);
    const unsigned seconds = ((firsts << 1) | carry) & 0xFFFF;
    const PairLanes s = sjis_lanes(v, 0x80, 0xA0, 0xDF, 0xFE, carry_odd);
    const __m128i converted = select(lanes_of(firsts), s.first, select(lanes_of(seconds), s.second, v));
    const unsigned shift2 = lane_mask(_mm_cmpeq_epi8(v, splat(kSingleShift2))) & firsts;
    if (has_nul_pair(converted, firsts, seconds, kSjisSecondFromEuc[r[15] & 1][r[16]])) {
      const u8* const block_end = r + 16;
      if (carry) *w++ = kSjisSecondFromEuc[carry_odd][*r++];
      while (r < block_end) step();
      carry = 0;
      continue;
    }
    if (shift2 != 0) {
      // The characters before the first 8E are written, the run of 8E pairs goes
      // character by character, and the next block starts after it.
      const int at = low_bit(shift2);
      put_in_place(w, r, converted, v, at);
      w += at;
      r += at;
      do step();
      while (r < end && *r == kSingleShift2);
      carry = 0;
      continue;
    }
    carry = firsts >> 15;
    carry_odd = r[15] & 1;  // read before the store, which may write over it
    store16(w, converted);
    w += 16;
    r += 16;
  }
  if (carry) *w++ = kSjisSecondFromEuc[carry_odd][*r++];
#endif
  while (r < end) step();
  *w = '\0';
  return static_cast<size_t>(w - p);
}

void euc_to_sjis(char* text) noexcept { euc_to_sjis(text, std::strlen(text)); }

size_t sjis_to_jis_capacity(size_t n) noexcept {
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  return n > (kMax - 4) / 4 ? 0 : 4 * n + 4;
}

size_t sjis_to_euc_capacity(size_t n) noexcept {
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  return n > (kMax - 1) / 2 ? 0 : 2 * n + 1;
}

// At most four bytes out per byte in (an escape sequence and a byte; an escape sequence and
// a pair for two bytes), then ESC ( B: 4n + 3 and the NUL. With the unread text at the end
// of the 4n + 4 byte buffer, the writer starts 3n + 3 bytes behind the reader and loses at
// most three bytes of that lead per byte read. The ASCII prefix stays where it is.
size_t sjis_to_jis(char* text, size_t n) noexcept {
  u8* const p = reinterpret_cast<u8*>(text);
  const size_t head = ascii_prefix(p, n);
  u8* w = p + head;
  if (head < n) {
    const size_t rest = n - head;
    u8* const source = p + (4 * n + 3 - rest);
    std::memmove(source, p + head, rest);
    w = convert_sjis_to_jis_widest(source, source + rest, w);
  }
  *w = '\0';
  return static_cast<size_t>(w - p);
}

void sjis_to_jis(char* text) noexcept { sjis_to_jis(text, std::strlen(text)); }

// At most two bytes out per byte in (half-width katakana; pairs and ASCII keep their length).
// Up to the first half-width katakana the text keeps its length and converts in place. The
// rest then moves ahead of the writer, by a thirty-second of it at first: text seldom holds
// more katakana than that, and the memory beyond is never touched. Should the lead run out,
// what is left moves on by twice as much, at most to the end of the 2n + 1 byte buffer,
// where the writer is behind the reader by at least the bytes left to read: that lead
// always lasts.
size_t sjis_to_euc(char* text, size_t n) noexcept {
  u8* const p = reinterpret_cast<u8*>(text);
  u8* const start = p + ascii_prefix(p, n);
  const Progress done = convert_sjis_to_euc_widest<true>(start, p + n, start);
  const u8* r = done.r;
  u8* w = done.w;
  size_t left = static_cast<size_t>(p + n - r);
  size_t gap = left / 32 + 128;
  while (left > 0) {
    const size_t at = std::min(static_cast<size_t>(w - p) + gap, 2 * n - left);
    std::memmove(p + at, r, left);
    const Progress next = convert_sjis_to_euc_widest<false>(p + at, p + at + left, w);
    left = static_cast<size_t>(p + at + left - next.r);
    r = next.r;
    w = next.w;
    gap = std::min(2 * gap, n);
  }
  *w = '\0';
  return static_cast<size_t>(w - p);
}

void sjis_to_euc(char* text) noexcept { sjis_to_euc(text, std::strlen(text)); }
