// The conversions in blocks of 32 bytes, with AVX2, built beside the rest for the machines
// that have it: only the code in the target region below uses AVX2 instructions, and it runs
// only where the processor reports AVX2.
#include "jcode/internal.h"

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

#include "jcode/bytewise.h"
#include "jcode/lanes.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace jcode_internal {
namespace {

struct Block32 {
  static constexpr int kWidth = 32;
  __m256i v;

  static Block32 load(const u8* p) { return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))}; }
  void store(u8* p) const { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  static Block32 splat(u8 b) { return {_mm256_set1_epi8(static_cast<char>(b))}; }
  uint32_t mask() const { return static_cast<uint32_t>(_mm256_movemask_epi8(v)); }
  // All-ones lanes where the mask has its bit: each lane picks its byte of the mask and tests
  // its bit in it.
  static Block32 lanes_of(uint32_t mask) {
    const __m256i byte_of_lane = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,  //
                                                  2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
    const __m256i spread = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(mask)), byte_of_lane);
    const __m256i bits = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
    return {_mm256_cmpeq_epi8(_mm256_and_si256(spread, bits), bits)};
  }
  static Block32 even_lanes() { return {_mm256_set1_epi16(0x00FF)}; }
  // Each lane takes the byte of the lane before, across the two halves; lane 0 is all-ones
  // or zero.
  Block32 up_one(bool lane0) const {
    const __m256i up = _mm256_alignr_epi8(v, _mm256_permute2x128_si256(v, v, 0x08), 15);
    return {_mm256_or_si256(up, _mm256_setr_epi32(lane0 ? 0xFF : 0, 0, 0, 0, 0, 0, 0, 0))};
  }
  // Each byte shifted right by one bit.
  Block32 half() const { return {_mm256_and_si256(_mm256_srli_epi16(v, 1), _mm256_set1_epi8(0x7F))}; }
};

inline Block32 operator+(Block32 a, Block32 b) { return {_mm256_add_epi8(a.v, b.v)}; }
inline Block32 operator-(Block32 a, Block32 b) { return {_mm256_sub_epi8(a.v, b.v)}; }
inline Block32 operator^(Block32 a, Block32 b) { return {_mm256_xor_si256(a.v, b.v)}; }
inline Block32 operator&(Block32 a, Block32 b) { return {_mm256_and_si256(a.v, b.v)}; }
inline Block32 operator|(Block32 a, Block32 b) { return {_mm256_or_si256(a.v, b.v)}; }
inline Block32 andnot(Block32 a, Block32 b) { return {_mm256_andnot_si256(a.v, b.v)}; }
inline Block32 eq(Block32 a, u8 k) { return {_mm256_cmpeq_epi8(a.v, Block32::splat(k).v)}; }
inline Block32 le(Block32 a, u8 k) {
  return {_mm256_cmpeq_epi8(_mm256_min_epu8(a.v, Block32::splat(k).v), a.v)};
}
inline Block32 ge(Block32 a, u8 k) {
  return {_mm256_cmpeq_epi8(_mm256_max_epu8(a.v, Block32::splat(k).v), a.v)};
}
inline Block32 select(Block32 m, Block32 a, Block32 b) { return {_mm256_blendv_epi8(b.v, a.v, m.v)}; }

}  // namespace
}  // namespace jcode_internal

#include "jcode/generic.h"

namespace jcode_internal {
namespace {
constexpr Form kAvx2 = block_form<Block32>("avx2");
}  // namespace
}  // namespace jcode_internal

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace jcode_internal {

const Form* avx2_form() {
  static const bool has_avx2 = __builtin_cpu_supports("avx2");
  return has_avx2 ? &kAvx2 : nullptr;
}

}  // namespace jcode_internal

#else

namespace jcode_internal {
const Form* avx2_form() { return nullptr; }
}  // namespace jcode_internal

#endif
