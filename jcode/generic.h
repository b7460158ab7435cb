// The conversions in blocks of bytes, written once for every block width. A block type V
// (16 bytes with SSE2, 32 with AVX2) gives loads, stores, lane-wise byte arithmetic and
// comparisons, and lane masks (bit i for lane i):
//   V::kWidth, V::load(p), v.store(p), V::splat(b), v.mask(), V::lanes_of(mask),
//   V::even_lanes(), v.up_one(lane0), v.half(), + - ^ & |, andnot(a, b) (~a & b),
//   eq(v, b), le(v, b), ge(v, b) (unsigned, all-ones where true), select(m, a, b).
// A file includes this after bytewise.h and lanes.h, inside the target region of its
// instruction set; each function here is a template on V, so every instruction set gets
// its own copy.
//
// A block starts on a character boundary, or (Shift_JIS and EUC-JP blocks) on the second
// byte of a pair whose first byte ended the block before (`carry`).

#pragma once

namespace jcode_internal {

template <class V>
constexpr uint32_t kLanes = V::kWidth == 32 ? ~0u : (1u << V::kWidth) - 1;

// Writes n bytes of a block read at r to w, w at or before r, without touching a byte after
// r + n that is not read yet: all lanes when they land on bytes already read, or when the
// writer is on the reader itself (the lanes past n are then the block's own bytes);
// otherwise only n.
template <class V>
inline void put_in_place(u8* w, const u8* r, V converted, V original, int n) {
  if (n == V::kWidth || r - w >= V::kWidth - n) {
    converted.store(w);
  } else if (w == r) {
    select(V::lanes_of(low_lanes(n)), converted, original).store(w);
  } else {
    alignas(V::kWidth) u8 tmp[V::kWidth];
    converted.store(tmp);
    copy_short(w, tmp, n);
  }
}

// Lanes holding a byte that may start a JIS control: ESC, SI, SO.
template <class V>
inline uint32_t control_lanes(V v) {
  return (eq(v, kEsc) | eq(v, kShiftIn) | eq(v, kShiftOut)).mask();
}

// Each lane taken as the first byte of a Shift_JIS pair whose second byte is the same lane
// of `next` (the block read one byte on): jis_first in lanes.
template <class V>
inline V jis_first_lanes(V v, V next) {
  const V t = v + v;
  // t + 0x1F below 0x3F, else t - 0x61; one more when the second byte is 9F or above.
  const V add = V::splat(0x9F) ^ (le(t, 0x3E) & V::splat(0x80));
  return t + add - ge(next, 0x9F);
}

// Each lane taken as a second byte: jis_second in lanes.
template <class V>
inline V jis_second_lanes(V v) {
  // s2 - 0x7E from 9F up, else s2 - 0x1F up to 7E and s2 - 0x20 above.
  const V low_add = V::splat(0xE0) - le(v, 0x7E);
  return v + select(ge(v, 0x9F), V::splat(0x82), low_add);
}

// Pairs whose first bytes give JIS bytes once flipped by `first_flip`, to Shift_JIS: each
// lane taken as a first byte, and each lane taken as a second byte after the lane before it
// (lane 0 after a first byte whose parity is `odd_in`). A second byte adds `odd_add` - 1 up
// to `odd_limit` and `odd_add` above it after an odd first byte, `even_add` after an even one.
template <class V>
struct PairLanes {
  V first;
  V second;
};
template <class V>
inline PairLanes<V> sjis_lanes(V v, u8 first_flip, u8 odd_add, u8 odd_limit, u8 even_add, bool odd_in) {
  const V j1 = v ^ V::splat(first_flip);
  const V h = j1.half();
  const V odd = eq(j1 & V::splat(1), 1);
  // h + 0x70, one more when odd, 0x40 more from 0x2F (odd) or 0x30 (even) up.
  const V high = select(odd, ge(h, 0x2F), ge(h, 0x30));
  const V s1 = h + V::splat(0x70) - odd + (high & V::splat(0x40));
  const V odd_case = V::splat(odd_add) + le(v, odd_limit);
  return {s1, v + select(odd.up_one(odd_in), odd_case, V::splat(even_add))};
}

// The lanes of a Shift_JIS block: first and second bytes of pairs, and half-width katakana.
// A pair cut by the block's end has its first byte in the last lane, converted with the help
// of `next`, and its second byte in lane 0 of the next block. Reading `next` needs one byte
// more than the block.
template <class V>
struct SjisBlock {
  V v;
  V next;
  V first_lanes;
  V second_lanes;
  V kana_lanes;
  uint32_t firsts;
  uint32_t seconds;
  uint32_t kana;
};
template <class V>
inline SjisBlock<V> read_sjis_block(const u8* r, uint32_t carry) {
  const V v = V::load(r);
  const V kana_class = le(v - V::splat(0xA1), 0x3E);
  const uint32_t firsts = pair_firsts(andnot(kana_class, v).mask() & ~carry);
  const V first_lanes = V::lanes_of(firsts);
  const V second_lanes = first_lanes.up_one(carry != 0);
  const V kana_lanes = andnot(second_lanes, kana_class);
  return {v,
          V::load(r + 1),
          first_lanes,
          second_lanes,
          kana_lanes,
          firsts,
          ((firsts << 1) | carry) & kLanes<V>,
          kana_lanes.mask()};
}

// The block with its pairs converted to JIS bytes, flipped by `flip` (0x80 gives EUC-JP);
// other lanes as they are.
template <class V>
inline V convert_block_pairs(const SjisBlock<V>& b, u8 flip) {
  const V f = V::splat(flip);
  return select(b.first_lanes, jis_first_lanes(b.v, b.next) ^ f,
                select(b.second_lanes, jis_second_lanes(b.v) ^ f, b.v));
}

// Whether a pair in the lanes `pairs` came out with a NUL byte. Such a block goes character
// by character, through put_pair; so does one whose pair cut by the block's end would.
template <class V>
inline bool has_nul_pair(V converted, uint32_t pairs) {
  return (eq(converted, 0).mask() & pairs) != 0;
}
template <class V>
inline bool cuts_pair(uint32_t firsts) {
  return (firsts >> (V::kWidth - 1)) != 0;
}

// Whether a Shift_JIS block goes character by character: a pair came out with a NUL byte,
// or begins with a byte from F0 up (code page 932's own characters, which the steps replace).
template <class V>
inline bool has_nul_or_own_pair(const SjisBlock<V>& b, V converted) {
  return has_nul_pair(converted, b.firsts | b.seconds) || (ge(b.v, kFirstOwn).mask() & b.firsts) != 0;
}

// put_pair for a block of whole pairs (first bytes in `firsts`): pairs that came out with a
// NUL byte keep the original bytes.
template <class V>
inline V keep_pairs_with_nul(V converted, V original, uint32_t firsts) {
  const uint32_t nul = eq(converted, 0).mask() & (firsts | (firsts << 1));
  if (nul == 0) return converted;
  const uint32_t bad_firsts = (nul | (nul >> 1)) & firsts;
  return select(V::lanes_of(bad_firsts | (bad_firsts << 1)), original, converted);
}

template <class V>
size_t quiet_run(const u8* p, size_t n) {
  size_t i = 0;
  for (; n - i >= V::kWidth; i += V::kWidth) {
    const V v = V::load(p + i);
    const uint32_t loud = (v | eq(v, kEsc)).mask();
    if (loud) return i + low_bit(loud);
  }
  return i + bytewise_quiet_run(p + i, n - i);
}

// JIS -> Shift_JIS. In ASCII state the bytes up to the next control byte are copied as they
// are; in two-byte state the pairs up to the first control byte that stands where a pair
// would begin are converted. Both runs return their length, 0 for none.
template <class V>
inline int jis_ascii_run(const u8* r, u8* w) {
  const V v = V::load(r);
  const uint32_t controls = control_lanes(v) & ~1u;  // the byte at r starts no control
  const int run = controls ? low_bit(controls) : V::kWidth;
  put_in_place(w, r, v, v, run);
  return run;
}
template <class V>
inline int jis_kanji_run(const u8* r, u8* w) {
  const V v = V::load(r);
  const uint32_t at_pair_start = control_lanes(v) & 0x55555555u;
  const int bytes = at_pair_start ? low_bit(at_pair_start) : V::kWidth;
  if (bytes == 0) return 0;
  const PairLanes<V> s = sjis_lanes(v, 0x00, 0x20, 0x5F, 0x7E, false);
  const V converted = select(V::even_lanes(), s.first, s.second);
  put_in_place(w, r, keep_pairs_with_nul(converted, v, 0x55555555u & low_lanes(bytes)), v, bytes);
  return bytes;
}
template <class V>
u8* jis_to_sjis(const u8* r, const u8* end, u8* w) {
  JisState state = JisState::kAscii;
  while (end - r >= V::kWidth) {
    const Control control = jis_control(r, end);
    if (control.length) {
      state = control.state;
      r += control.length;
      continue;
    }
    const int run = state == JisState::kAscii   ? jis_ascii_run<V>(r, w)
                    : state == JisState::kKanji ? jis_kanji_run<V>(r, w)
                                                : 0;
    if (run > 0) {
      r += run;
      w += run;
    } else {
      w = step_jis_to_sjis(r, end, w, state);
    }
  }
  return bytewise_jis_to_sjis(r, end, w, state);
}

// EUC-JP -> Shift_JIS in place. ASCII and pairs keep their length, so a block converts lane
// by lane, a block on from the last; a block with an 8E (which shrinks) or a pair that would
// give a NUL goes character by character. A pair cut by the block's end leaves `carry` and
// the parity of its first byte for the next block. Every lane written stands for a byte
// already read.
template <class V>
u8* euc_to_sjis(const u8* r, const u8* end, u8* w) {
  constexpr int kLast = V::kWidth - 1;
  while (end - r > V::kWidth) {
    uint32_t carry = 0;
    bool carry_odd = false;
    while (end - r > V::kWidth) {
      const V v = V::load(r);
      const uint32_t firsts = pair_firsts(v.mask() & ~carry);
      const uint32_t seconds = ((firsts << 1) | carry) & kLanes<V>;
      const PairLanes<V> s = sjis_lanes(v, 0x80, 0xA0, 0xDF, 0xFE, carry_odd);
      const V converted = select(V::lanes_of(firsts), s.first, select(V::lanes_of(seconds), s.second, v));
      if (has_nul_pair(converted, firsts | seconds) ||
          (cuts_pair<V>(firsts) && kSjisSecondFromEuc[r[kLast] & 1][r[V::kWidth]] == 0)) {
        break;
      }
      const uint32_t shift2 = eq(v, kSingleShift2).mask() & firsts;
      if (shift2 != 0) {
        // The characters before the first 8E are written, the run of 8E pairs goes
        // character by character, and the next block starts after it.
        const int at = low_bit(shift2);
        put_in_place(w, r, converted, v, at);
        w += at;
        r += at;
        for (; end - r >= 2 && *r == kSingleShift2; r += 2) *w++ = r[1];
        carry = 0;
        continue;
      }
      carry = cuts_pair<V>(firsts);
      carry_odd = r[kLast] & 1;  // read before the store, which may write over it
      converted.store(w);
      w += V::kWidth;
      r += V::kWidth;
    }
    if (carry) *w++ = kSjisSecondFromEuc[carry_odd][*r++];
    // The block that would give a NUL (or the last bytes) goes character by character.
    for (const u8* const block_end = block_or_end(r, end, V::kWidth); r < block_end;) {
      w = step_euc_to_sjis(r, end, w);
    }
  }
  return bytewise_euc_to_sjis(r, end, w);
}

// Shift_JIS -> JIS. Each block is converted whole and written with an escape sequence
// wherever the character set changes. Every store is a block wide, which needs the writer's
// lead over the unread text to be a block: two blocks left to read give that. A block with a
// pair that would give a NUL or with code page 932's own characters goes character by
// character, outside the loop of whole blocks, which keeps that loop lean.
template <class V>
u8* sjis_to_jis(const u8* r, const u8* end, u8* w, Loss& loss) {
  JisState state = JisState::kAscii;
  alignas(V::kWidth) u8 scratch[2 * V::kWidth] = {};
  while (end - r >= 2 * V::kWidth) {
    uint32_t carry = 0;
    while (end - r >= 2 * V::kWidth) {
      const SjisBlock<V> b = read_sjis_block<V>(r, carry);
      const V converted = select(b.kana_lanes, b.v ^ V::splat(0x80), convert_block_pairs(b, 0x00));
      if (has_nul_or_own_pair(b, converted) || (cuts_pair<V>(b.firsts) && kJisSecond[r[V::kWidth]] == 0))
        break;
      converted.store(scratch);
      w = put_jis_block<V::kWidth>(w, scratch, b.firsts | b.seconds, b.kana, state);
      r += V::kWidth;
      carry = cuts_pair<V>(b.firsts);
    }
    if (carry) *w++ = kJisSecond[*r++];
    for (const u8* const block_end = block_or_end(r, end, V::kWidth); r < block_end;) {
      w = step_sjis_to_jis(r, end, w, state, loss);
    }
  }
  return bytewise_sjis_to_jis(r, end, w, state, loss);
}

// Shift_JIS -> EUC-JP. Pairs and ASCII keep their length, so a block converts lane by lane.
// A half-width katakana ends the block's work: the characters before it are written, then in
// place the conversion stops; growing, the katakana run goes character by character and the
// next block starts after it. A block loses at most a block of lead and stores a block wide:
// three cover it. A block with a pair that would give a NUL or with code page 932's own
// characters goes character by character, outside the loop of whole blocks.
template <class V, bool kInPlace>
Progress sjis_to_euc(const u8* r, const u8* end, u8* w, Loss& loss) {
  while (end - r > V::kWidth) {
    uint32_t carry = 0;
    while (end - r > V::kWidth) {
      if (!kInPlace && lead_short(r, end, w, 3 * V::kWidth)) {
        if (carry) *w++ = kJisSecond[*r++] ^ 0x80;
        return {r, w};
      }
      const SjisBlock<V> b = read_sjis_block<V>(r, carry);
      const V converted = convert_block_pairs(b, 0x80);
      if (has_nul_or_own_pair(b, converted) || (cuts_pair<V>(b.firsts) && kJisSecond[r[V::kWidth]] == 0x80)) {
        break;
      }
      if (b.kana != 0) {
        // Lanes before the first katakana are whole characters (a katakana lane is never a
        // second byte). In place the lanes from the katakana on keep their bytes; growing, the
        // writer is more than a block behind.
        const int at = low_bit(b.kana);
        if (kInPlace) {
          put_in_place(w, r, converted, b.v, at);
          return {r + at, w + at};
        }
        const u8* const block_end = r + V::kWidth;
        converted.store(w);
        w += at;
        for (r += at; r < block_end && is_kana(*r); ++r, w += 2) {
          w[0] = kSingleShift2;
          w[1] = *r;
        }
        carry = 0;
        continue;
      }
      converted.store(w);
      w += V::kWidth;
      r += V::kWidth;
      carry = cuts_pair<V>(b.firsts);
    }
    if (carry) *w++ = kJisSecond[*r++] ^ 0x80;
    for (const u8* const block_end = block_or_end(r, end, V::kWidth); r < block_end;) {
      if (!kInPlace && lead_short(r, end, w, 2)) return {r, w};
      if (!step_sjis_to_euc<kInPlace>(r, end, w, loss)) return {r, w};
    }
  }
  return bytewise_sjis_to_euc<kInPlace>(r, end, w, loss);
}

template <class V>
constexpr Form block_form(const char* name) {
  return {name,           quiet_run<V>,         jis_to_sjis<V>,       euc_to_sjis<V>,
          sjis_to_jis<V>, sjis_to_euc<V, true>, sjis_to_euc<V, false>};
}

}  // namespace jcode_internal
