// The byte-set scan in blocks of 32 bytes with AVX2, built beside the rest: only the code
// in the target region uses AVX2, and it is chosen only where the processor has it.
#include <type_traits>

#include "regex/internal.h"

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace regex_internal {
namespace {

using uchar = unsigned char;

struct Block32 {
  static constexpr int kWidth = 32;
  static constexpr uint32_t kAllLanes = 0xFFFFFFFFu;
  __m256i v;
  static Block32 load(const uchar* p) { return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))}; }
  static Block32 splat(uchar b) { return {_mm256_set1_epi8(static_cast<char>(b))}; }
  uint32_t mask() const { return static_cast<uint32_t>(_mm256_movemask_epi8(v)); }
};
inline Block32 operator-(Block32 a, Block32 b) { return {_mm256_sub_epi8(a.v, b.v)}; }
inline Block32 operator|(Block32 a, Block32 b) { return {_mm256_or_si256(a.v, b.v)}; }
inline Block32 le(Block32 a, Block32 b) { return {_mm256_cmpeq_epi8(_mm256_min_epu8(a.v, b.v), a.v)}; }
inline Block32 eq(Block32 a, Block32 b) { return {_mm256_cmpeq_epi8(a.v, b.v)}; }

#include "regex/scan_blocks.h"

const uchar* scan_avx2(const uchar* p, const uchar* end, const ByteRanges& r, bool member) {
  return scan_ranges_blocks<Block32>(p, end, r, member);
}

const uchar* doubled_scan_avx2(const uchar* p, const uchar* end, const ByteRanges& r) {
  return scan_ranges_blocks<Block32, true>(p, end, r, true);
}

// Which of 64 bytes are the second byte of a double-byte character, given which hold
// lead-byte values. A lead byte takes the byte after it unless it is taken itself, so
// a run of lead values pairs up from its start: the byte after a run of odd length is
// taken. The run that reaches past a block's end is carried into the next.
class TrailBits {
 public:
  uint64_t next(uint64_t lead) {
    const uint64_t taken_in = carry_;
    lead &= ~taken_in;
    const uint64_t follows = lead << 1 | taken_in;
    constexpr uint64_t kEven = 0x5555555555555555ULL;
    // A run starting at an odd place is moved by one, so that every run starts even:
    // the sum then has a bit where each run, moved, ends.
    const uint64_t odd_starts = lead & ~kEven & ~follows;
    uint64_t runs_from_even;
    carry_ = __builtin_add_overflow(odd_starts, lead, &runs_from_even) ? 1 : 0;
    return (kEven ^ (runs_from_even << 1)) & follows;
  }
  bool carry() const { return carry_ != 0; }

 private:
  uint64_t carry_ = 0;
};

// Bit i set where byte i of the 64 from p is inside the N ranges.
template <int N>
class RangeBits {
 public:
  explicit RangeBits(const ByteRanges& r) {
    for (int i = 0; i < N; ++i) {
      low_[i] = Block32::splat(r.low[i]);
      span_[i] = Block32::splat(static_cast<unsigned char>(r.high[i] - r.low[i]));
    }
  }
  uint64_t at(const uchar* p) const { return half(p) | static_cast<uint64_t>(half(p + 32)) << 32; }

 private:
  uint32_t half(const uchar* p) const {
    const Block32 x = Block32::load(p);
    Block32 in = le(x - low_[0], span_[0]);
    for (int i = 1; i < N; ++i) in = in | le(x - low_[i], span_[i]);
    return in.mask();
  }
  Block32 low_[N], span_[N];
};

const ByteRanges kLeadRanges{2, {0x81, 0xE0}, {0x9F, 0xFC}};

template <int N>
const uchar* char_scan_n(const uchar* p, const uchar* end, const ByteRanges& r) {
  const RangeBits<N> in(r);
  const RangeBits<2> leads(kLeadRanges);
  TrailBits trails;
  for (; end - p >= 64; p += 64)
    if (const uint64_t hits = in.at(p) & ~trails.next(leads.at(p))) return p + __builtin_ctzll(hits);
  return trails.carry() && p < end ? p + 1 : p;
}

// The two blocks of 32 bytes at p, stored at to.
void copy_two_blocks(uchar* to, const uchar* p) {
  const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), low);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 32), high);
}

// Runs of bytes inside a set that holds no lead-byte value: each byte of a run begins a
// character, so the first run begins at the first byte inside the set that begins one.
template <int N, bool kKanji, bool kCopy>
const uchar* run_scan_n(const uchar*& p, const uchar* end, const ByteRanges& r, const uchar*& run_end,
                        uchar* copy) {
  const RangeBits<N> in(r);
  const RangeBits<2> leads(kLeadRanges);
  TrailBits trails;
  // The place is kept here, not in p: the copy's stores could reach p.
  const uchar* q = p;
  for (; end - q >= 64; q += 64, copy += kCopy ? 64 : 0) {
    if constexpr (kCopy) copy_two_blocks(copy, q);
    const uint64_t inside = in.at(q);
    const uint64_t taken = kKanji ? inside & ~trails.next(leads.at(q)) : inside;
    if (taken == 0) continue;
    const int first = __builtin_ctzll(taken);
    const uint64_t outside = ~inside >> first;
    run_end = outside != 0 ? q + first + __builtin_ctzll(outside) : skip_ranges(q + 64, end, r);
    p = q;
    return q + first;
  }
  if (kKanji && trails.carry() && q < end) {  // the first byte past the blocks is a second byte
    if constexpr (kCopy) *copy = *q;
    ++q;
  }
  p = q;
  return nullptr;
}

const uchar* run_scan_avx2(const uchar*& p, const uchar* end, const ByteRanges& r, bool kanji,
                           const uchar*& run_end, uchar* copy) {
  return with_range_count(r.count, [&](auto n) {
    constexpr int kRanges = decltype(n)::value;
    if (copy) {
      return kanji ? run_scan_n<kRanges, true, true>(p, end, r, run_end, copy)
                   : run_scan_n<kRanges, false, true>(p, end, r, run_end, copy);
    }
    return kanji ? run_scan_n<kRanges, true, false>(p, end, r, run_end, copy)
                 : run_scan_n<kRanges, false, false>(p, end, r, run_end, copy);
  });
}

const uchar* char_scan_avx2(const uchar* p, const uchar* end, const ByteRanges& r) {
  return with_range_count(r.count, [&](auto n) { return char_scan_n<decltype(n)::value>(p, end, r); });
}

// The places of a block where both bytes agree, each in either case when folded. The
// two cases of a letter differ in bit 0x20 alone, so with that bit set in the text's
// byte one comparison takes both; a byte that is no letter keeps the bit as it is.
template <bool kFolded>
struct PairHits {
  __m256i first, first_case, second, second_case;
  int32_t first_offset, second_offset;
  static uint8_t case_bit(uint8_t byte, uint8_t other) { return byte != other ? 0x20 : 0; }
  explicit PairHits(const PairBytes& b)
      : first(_mm256_set1_epi8(static_cast<char>(b.first | case_bit(b.first, b.first_other)))),
        first_case(_mm256_set1_epi8(static_cast<char>(case_bit(b.first, b.first_other)))),
        second(_mm256_set1_epi8(static_cast<char>(b.second | case_bit(b.second, b.second_other)))),
        second_case(_mm256_set1_epi8(static_cast<char>(case_bit(b.second, b.second_other)))),
        first_offset(b.first_offset),
        second_offset(b.second_offset) {}
  __m256i at(const uchar* p) const {
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + first_offset));
    __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + second_offset));
    if (kFolded) {
      x = _mm256_or_si256(x, first_case);
      y = _mm256_or_si256(y, second_case);
    }
    return _mm256_and_si256(_mm256_cmpeq_epi8(x, first), _mm256_cmpeq_epi8(y, second));
  }
};

uint32_t lanes(__m256i hits) { return static_cast<uint32_t>(_mm256_movemask_epi8(hits)); }

template <bool kFolded, bool kCopy>
const uchar* pair_scan_blocks(const uchar*& p, const uchar* last, const PairBytes& b, uchar* copy) {
  const PairHits<kFolded> pair(b);
  // The scan's place is kept here, not in p: the copy's stores could reach p, and each
  // step would have to read it again.
  const uchar* q = p;
  uchar* to = copy;
  const uchar* found = nullptr;
  // Every place of a block lies at or before last, so both loads stay inside the text,
  // and a copied block ends at or before last + 1, inside the room the caller gave. Two
  // blocks a step: one test for both while nothing is found.
  for (; last - q >= 63; q += 64, to += kCopy ? 64 : 0) {
    if constexpr (kCopy) copy_two_blocks(to, q);
    const __m256i low = pair.at(q), high = pair.at(q + 32);
    const __m256i any = _mm256_or_si256(low, high);
    if (_mm256_testz_si256(any, any)) continue;
    // Both halves' hits in one word: no branch on which half holds the first.
    found = q + __builtin_ctzll(lanes(low) | uint64_t{lanes(high)} << 32);
    break;
  }
  // Less than two blocks are left: one more block of 32, if it fits.
  if (!found && last - q >= 31) {
    if constexpr (kCopy) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q)));
    }
    if (const uint32_t hits = lanes(pair.at(q))) found = q + __builtin_ctz(hits);
    q += 32;
  }
  p = q;
  return found;
}

const uchar* pair_scan_avx2(const uchar*& p, const uchar* last, const PairBytes& b, uchar* copy) {
  const bool folded = b.first != b.first_other || b.second != b.second_other;
  if (copy)
    return folded ? pair_scan_blocks<true, true>(p, last, b, copy)
                  : pair_scan_blocks<false, true>(p, last, b, copy);
  return folded ? pair_scan_blocks<true, false>(p, last, b, copy)
                : pair_scan_blocks<false, false>(p, last, b, copy);
}

// N literals' pairs: the loop over them unrolled, their bytes kept in registers.
template <int N, bool kCopy>
const uchar* pair_set_scan_blocks(const uchar*& p, const uchar* end, const PairSet& set, uchar* copy) {
  __m256i first[N], second[N];
  for (int i = 0; i < N; ++i) {
    first[i] = _mm256_set1_epi8(static_cast<char>(set.first[i]));
    second[i] = _mm256_set1_epi8(static_cast<char>(set.second[i]));
  }
  // The place is kept here, not in p: the copy's stores could reach p.
  const uchar* q = p;
  const uchar* found = nullptr;
  // Both loads of every literal stay before end, and so does a copied block.
  for (; end - q >= 32 + set.reach; q += 32, copy += kCopy ? 32 : 0) {
    if constexpr (kCopy) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q)));
    }
    __m256i hits = _mm256_setzero_si256();
    for (int i = 0; i < N; ++i) {
      const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + set.first_offset[i]));
      const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + set.second_offset[i]));
      hits = _mm256_or_si256(
          hits, _mm256_and_si256(_mm256_cmpeq_epi8(x, first[i]), _mm256_cmpeq_epi8(y, second[i])));
    }
    if (const uint32_t hit = lanes(hits)) {
      found = q + __builtin_ctz(hit);
      break;
    }
  }
  p = q;
  return found;
}

template <int N>
const uchar* pair_set_scan_n(const uchar*& p, const uchar* end, const PairSet& set, uchar* copy) {
  return copy ? pair_set_scan_blocks<N, true>(p, end, set, copy)
              : pair_set_scan_blocks<N, false>(p, end, set, copy);
}

const uchar* pair_set_scan_avx2(const uchar*& p, const uchar* end, const PairSet& set, uchar* copy) {
  using Scan = const uchar* (*)(const uchar*&, const uchar*, const PairSet&, uchar*);
  static constexpr Scan kByCount[PairSet::kMax] = {
      pair_set_scan_n<1>, pair_set_scan_n<2>, pair_set_scan_n<3>, pair_set_scan_n<4>,
      pair_set_scan_n<5>, pair_set_scan_n<6>, pair_set_scan_n<7>, pair_set_scan_n<8>,
  };
  return set.count >= 1 && set.count <= PairSet::kMax ? kByCount[set.count - 1](p, end, set, copy) : nullptr;
}

}  // namespace
}  // namespace regex_internal

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace regex_internal {

namespace {

bool has_avx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

}  // namespace

RangeScan avx2_range_scan() { return has_avx2() ? &scan_avx2 : nullptr; }
PairScanAvx2 avx2_pair_scan() { return has_avx2() ? &pair_scan_avx2 : nullptr; }
DoubledScan avx2_doubled_scan() { return has_avx2() ? &doubled_scan_avx2 : nullptr; }
PairSetScanAvx2 avx2_pair_set_scan() { return has_avx2() ? &pair_set_scan_avx2 : nullptr; }
CharScan avx2_char_scan() { return has_avx2() ? &char_scan_avx2 : nullptr; }
RunScan avx2_run_scan() { return has_avx2() ? &run_scan_avx2 : nullptr; }

}  // namespace regex_internal

#else

namespace regex_internal {
RangeScan avx2_range_scan() { return nullptr; }
PairScanAvx2 avx2_pair_scan() { return nullptr; }
DoubledScan avx2_doubled_scan() { return nullptr; }
PairSetScanAvx2 avx2_pair_set_scan() { return nullptr; }
CharScan avx2_char_scan() { return nullptr; }
RunScan avx2_run_scan() { return nullptr; }
}  // namespace regex_internal

#endif
