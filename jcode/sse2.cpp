// The conversions in blocks of 16 bytes, with SSE2.
#include "jcode/internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include "jcode/bytewise.h"
#include "jcode/lanes.h"

namespace jcode_internal {
namespace {

struct Block16 {
  static constexpr int kWidth = 16;
  __m128i v;

  static Block16 load(const u8* p) { return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))}; }
  void store(u8* p) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static Block16 splat(u8 b) { return {_mm_set1_epi8(static_cast<char>(b))}; }
  uint32_t mask() const { return static_cast<uint32_t>(_mm_movemask_epi8(v)); }
  // All-ones lanes where the mask has its bit.
  static Block16 lanes_of(uint32_t mask) {
    constexpr uint64_t kSpread = 0x0101010101010101ULL;
    const __m128i bytes = _mm_set_epi64x(static_cast<long long>(((mask >> 8) & 0xFF) * kSpread),
                                         static_cast<long long>((mask & 0xFF) * kSpread));
    const __m128i bits = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
    return {_mm_cmpeq_epi8(_mm_and_si128(bytes, bits), bits)};
  }
  static Block16 even_lanes() { return {_mm_set1_epi16(0x00FF)}; }
  // Each lane takes the byte of the lane before; lane 0 is all-ones or zero.
  Block16 up_one(bool lane0) const {
    return {_mm_or_si128(_mm_slli_si128(v, 1), _mm_cvtsi32_si128(lane0 ? 0xFF : 0))};
  }
  // Each byte shifted right by one bit.
  Block16 half() const { return {_mm_and_si128(_mm_srli_epi16(v, 1), _mm_set1_epi8(0x7F))}; }
};

inline Block16 operator+(Block16 a, Block16 b) { return {_mm_add_epi8(a.v, b.v)}; }
inline Block16 operator-(Block16 a, Block16 b) { return {_mm_sub_epi8(a.v, b.v)}; }
inline Block16 operator^(Block16 a, Block16 b) { return {_mm_xor_si128(a.v, b.v)}; }
inline Block16 operator&(Block16 a, Block16 b) { return {_mm_and_si128(a.v, b.v)}; }
inline Block16 operator|(Block16 a, Block16 b) { return {_mm_or_si128(a.v, b.v)}; }
inline Block16 andnot(Block16 a, Block16 b) { return {_mm_andnot_si128(a.v, b.v)}; }
inline Block16 eq(Block16 a, u8 k) { return {_mm_cmpeq_epi8(a.v, Block16::splat(k).v)}; }
inline Block16 le(Block16 a, u8 k) { return {_mm_cmpeq_epi8(_mm_min_epu8(a.v, Block16::splat(k).v), a.v)}; }
inline Block16 ge(Block16 a, u8 k) { return {_mm_cmpeq_epi8(_mm_max_epu8(a.v, Block16::splat(k).v), a.v)}; }
inline Block16 select(Block16 m, Block16 a, Block16 b) { return (m & a) | andnot(m, b); }

}  // namespace
}  // namespace jcode_internal

#include "jcode/generic.h"

namespace jcode_internal {
namespace {
constexpr Form kSse2 = block_form<Block16>("sse2");
}  // namespace

const Form* sse2_form() { return &kSse2; }

}  // namespace jcode_internal

#else

namespace jcode_internal {
const Form* sse2_form() { return nullptr; }
}  // namespace jcode_internal

#endif
