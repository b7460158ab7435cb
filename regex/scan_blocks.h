// The block form of the byte-set scan, written once for every vector width: a Block
// type (load, splat, mask, le, |, -) is in scope where this file is included.
// No include guard: each width's file includes it once inside its own namespace.

// The first byte in [p, end) whose membership in the N ranges equals member; bytes
// past the last whole block are left to the caller (the result is then >= end - width).
// With kDoubled a byte counts only when the byte after it is the same (the byte at end
// is read then).
template <typename Block, int N, bool kDoubled>
const unsigned char* scan_n_ranges_blocks(const unsigned char* p, const unsigned char* end,
                                          const ByteRanges& r, bool member) {
  Block low[N], span[N];
  for (int i = 0; i < N; ++i) {
    low[i] = Block::splat(r.low[i]);
    span[i] = Block::splat(static_cast<unsigned char>(r.high[i] - r.low[i]));
  }
  const uint32_t flip = member ? 0 : Block::kAllLanes;
  for (; end - p >= Block::kWidth; p += Block::kWidth) {
    const Block x = Block::load(p);
    // x is in [low, high] when x - low (wrapping) is at most high - low.
    Block in = le(x - low[0], span[0]);
    for (int i = 1; i < N; ++i) in = in | le(x - low[i], span[i]);
    uint32_t hits = in.mask() ^ flip;
    if (kDoubled && hits != 0) hits &= eq(x, Block::load(p + 1)).mask();
    if (hits != 0) return p + __builtin_ctz(hits);
  }
  return p;
}

// Calls scan with the number of ranges (1 to 4) as a constant, so that each count has
// its own unrolled block loop.
template <typename Scan>
auto with_range_count(int count, Scan scan) {
  switch (count) {
    case 1:
      return scan(std::integral_constant<int, 1>{});
    case 2:
      return scan(std::integral_constant<int, 2>{});
    case 3:
      return scan(std::integral_constant<int, 3>{});
    default:
      return scan(std::integral_constant<int, 4>{});
  }
}

template <typename Block, bool kDoubled = false>
const unsigned char* scan_ranges_blocks(const unsigned char* p, const unsigned char* end, const ByteRanges& r,
                                        bool member) {
  return with_range_count(r.count, [&](auto n) {
    return scan_n_ranges_blocks<Block, decltype(n)::value, kDoubled>(p, end, r, member);
  });
}
