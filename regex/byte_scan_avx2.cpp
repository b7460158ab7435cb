// The byte-set scan in blocks of 32 bytes with AVX2, built beside the rest: only the code
// in the target region uses AVX2, and it is chosen only where the processor has it.
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

const uchar* pair_scan_avx2(const uchar*& p, const uchar* last, const PairBytes& b) {
  const __m256i first = _mm256_set1_epi8(static_cast<char>(b.first));
  const __m256i first_other = _mm256_set1_epi8(static_cast<char>(b.first_other));
  const __m256i second = _mm256_set1_epi8(static_cast<char>(b.second));
  const __m256i second_other = _mm256_set1_epi8(static_cast<char>(b.second_other));
  // Every place of a block lies at or before last, so both loads stay inside the text.
  for (; last - p >= 31; p += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + b.first_offset));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + b.second_offset));
    const __m256i hits =
        _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi8(x, first), _mm256_cmpeq_epi8(x, first_other)),
                         _mm256_or_si256(_mm256_cmpeq_epi8(y, second), _mm256_cmpeq_epi8(y, second_other)));
    const auto lanes = static_cast<uint32_t>(_mm256_movemask_epi8(hits));
    if (lanes != 0) return p + __builtin_ctz(lanes);
  }
  return nullptr;
}

const uchar* pair_set_scan_avx2(const uchar*& p, const uchar* end, const PairSet& set) {
  __m256i first[PairSet::kMax], second[PairSet::kMax];
  for (int i = 0; i < set.count; ++i) {
    first[i] = _mm256_set1_epi8(static_cast<char>(set.first[i]));
    second[i] = _mm256_set1_epi8(static_cast<char>(set.second[i]));
  }
  // Both loads of every literal stay before end.
  for (; end - p >= 32 + set.reach; p += 32) {
    __m256i hits = _mm256_setzero_si256();
    for (int i = 0; i < set.count; ++i) {
      const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + set.first_offset[i]));
      const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + set.second_offset[i]));
      hits = _mm256_or_si256(
          hits, _mm256_and_si256(_mm256_cmpeq_epi8(x, first[i]), _mm256_cmpeq_epi8(y, second[i])));
    }
    if (const auto lanes = static_cast<uint32_t>(_mm256_movemask_epi8(hits))) return p + __builtin_ctz(lanes);
  }
  return nullptr;
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

}  // namespace regex_internal

#else

namespace regex_internal {
RangeScan avx2_range_scan() { return nullptr; }
PairScanAvx2 avx2_pair_scan() { return nullptr; }
DoubledScan avx2_doubled_scan() { return nullptr; }
PairSetScanAvx2 avx2_pair_set_scan() { return nullptr; }
}  // namespace regex_internal

#endif
