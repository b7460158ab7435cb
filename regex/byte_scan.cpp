// The byte-set scan: the first byte in or out of a set of a few byte ranges, 16 bytes
// at a time with SSE2 and 32 with AVX2 where the processor has it.
#include <cstring>
#include <type_traits>

#include "regex/internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace regex_internal {
namespace {

using uchar = unsigned char;

bool in_ranges(uchar b, const ByteRanges& r) {
  for (int i = 0; i < r.count; ++i)
    if (static_cast<uchar>(b - r.low[i]) <= static_cast<uchar>(r.high[i] - r.low[i])) return true;
  return false;
}

const uchar* scan_bytewise(const uchar* p, const uchar* end, const ByteRanges& r, bool member) {
  while (p < end && in_ranges(*p, r) != member) ++p;
  return p;
}

#if defined(__SSE2__)
struct Block16 {
  static constexpr int kWidth = 16;
  static constexpr uint32_t kAllLanes = 0xFFFF;
  __m128i v;
  static Block16 load(const uchar* p) { return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))}; }
  static Block16 splat(uchar b) { return {_mm_set1_epi8(static_cast<char>(b))}; }
  uint32_t mask() const { return static_cast<uint32_t>(_mm_movemask_epi8(v)); }
};
inline Block16 operator-(Block16 a, Block16 b) { return {_mm_sub_epi8(a.v, b.v)}; }
inline Block16 operator|(Block16 a, Block16 b) { return {_mm_or_si128(a.v, b.v)}; }
// Unsigned a <= b in each lane.
inline Block16 le(Block16 a, Block16 b) { return {_mm_cmpeq_epi8(_mm_min_epu8(a.v, b.v), a.v)}; }
inline Block16 eq(Block16 a, Block16 b) { return {_mm_cmpeq_epi8(a.v, b.v)}; }

#include "regex/scan_blocks.h"

const uchar* scan_sse2(const uchar* p, const uchar* end, const ByteRanges& r, bool member) {
  return scan_ranges_blocks<Block16>(p, end, r, member);
}

const uchar* doubled_scan_sse2(const uchar* p, const uchar* end, const ByteRanges& r) {
  return scan_ranges_blocks<Block16, true>(p, end, r, true);
}
#endif

// The widest block scan this processor runs; it stops short of the last partial block.
RangeScan widest_scan() {
  static const RangeScan widest = [] {
    if (RangeScan avx2 = avx2_range_scan()) return avx2;
#if defined(__SSE2__)
    return &scan_sse2;
#else
    return static_cast<RangeScan>(nullptr);
#endif
  }();
  return widest;
}

const uchar* scan(const uchar* p, const uchar* end, const ByteRanges& r, bool member) {
  if (r.count <= 0) return member ? end : p;  // the empty set
  if (const RangeScan blocks = widest_scan()) p = blocks(p, end, r, member);
  return scan_bytewise(p, end, r, member);
}

}  // namespace

ByteRanges byte_ranges(const unsigned char* bits) {
  ByteRanges r{};
  for (unsigned b = 0; b < 256;) {
    if (!bit_set(bits, b)) {
      ++b;
      continue;
    }
    unsigned high = b;
    while (high < 255 && bit_set(bits, high + 1)) ++high;
    if (r.count == kMaxByteRanges) {
      r.count = -1;
      return r;
    }
    r.low[r.count] = static_cast<uchar>(b);
    r.high[r.count] = static_cast<uchar>(high);
    ++r.count;
    b = high + 1;
  }
  return r;
}

const unsigned char* find_in_ranges(const unsigned char* p, const unsigned char* end, const ByteRanges& r) {
  return scan(p, end, r, true);
}

const unsigned char* find_doubled_in_ranges(const unsigned char* p, const unsigned char* end,
                                            const ByteRanges& r) {
  if (r.count <= 0) return end;
  static const DoubledScan widest = [] {
    if (DoubledScan avx2 = avx2_doubled_scan()) return avx2;
#if defined(__SSE2__)
    return &doubled_scan_sse2;
#else
    return static_cast<DoubledScan>(nullptr);
#endif
  }();
  if (widest) p = widest(p, end, r);
  while (p < end && !(in_ranges(*p, r) && p[1] == *p)) ++p;
  return p;
}

const unsigned char* find_char_in_ranges(const unsigned char* p, const unsigned char* end,
                                         const ByteRanges& r) {
  if (r.count <= 0) return end;
  static const CharScan blocks = avx2_char_scan();
  if (blocks) p = blocks(p, end, r);
  while (p < end && !in_ranges(*p, r)) p += is_lead_byte(*p) && p + 1 < end ? 2 : 1;
  return p;
}

const unsigned char* find_run_in_ranges(const unsigned char* p, const unsigned char* end, const ByteRanges& r,
                                        bool kanji, const unsigned char*& run_end, unsigned char* copy) {
  if (r.count <= 0) return end;
  const unsigned char* const from = p;
  static const RunScan blocks = avx2_run_scan();
  if (blocks)
    if (const unsigned char* found = blocks(p, end, r, kanji, run_end, copy)) return found;
  // The block scan copied the bytes before p; the rest of the way is copied here.
  const unsigned char* found = kanji ? find_char_in_ranges(p, end, r) : find_in_ranges(p, end, r);
  if (found >= end) return found;
  if (copy) std::memcpy(copy + (p - from), p, static_cast<size_t>(found - p));
  run_end = skip_ranges(found, end, r);
  return found;
}

const unsigned char* skip_ranges(const unsigned char* p, const unsigned char* end, const ByteRanges& r) {
  return scan(p, end, r, false);
}

}  // namespace regex_internal
