// Lane masks of 16- and 32-byte blocks (bit i for lane i) and the writers that follow them,
// shared by the block forms of every width.
#pragma once

#include <cstdint>
#include <cstring>

#include "jcode/bytewise.h"

namespace jcode_internal {

inline int low_bit(uint32_t mask) { return __builtin_ctz(mask); }

// The mask of lanes 0 to n - 1, n up to 32.
inline uint32_t low_lanes(int n) { return n >= 32 ? ~0u : (1u << n) - 1; }

// Lanes that begin a pair, given the lanes whose byte begins a pair whenever it begins a
// character. A byte that cannot begin a pair always ends a character (it is a single
// character or a second byte), so every run of pair-beginning bytes starts a character, and
// within a run every other byte is a first byte.
inline uint32_t pair_firsts(uint32_t pairable) {
  const uint32_t run_starts = pairable & ~(pairable << 1);
  const uint32_t even_starts = run_starts & 0x55555555u;
  // Adding a run's start bit carries through the run and clears it.
  const uint32_t even_runs = pairable & ~(pairable + even_starts);
  return (even_runs & 0x55555555u) | (pairable & ~even_runs & 0xAAAAAAAAu);
}

// Where a block of `width` bytes at r ends, or the text if sooner.
inline const u8* block_or_end(const u8* r, const u8* end, int width) {
  return end - r > width ? r + width : end;
}

// Copies n bytes, n below 32, in at most two overlapping moves.
inline void copy_short(u8* to, const u8* from, int n) {
  if (n >= 16) {
    std::memcpy(to, from, 16);
    std::memcpy(to + n - 16, from + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else {
    for (int i = 0; i < n; ++i) to[i] = from[i];
  }
}

// Writes a converted block of kWidth bytes (read from `block`, which has kWidth more bytes
// after it) to w, with an escape sequence wherever the character set changes: lanes in
// `pairs` hold two-byte characters, lanes in `kana` half-width katakana, the rest ASCII.
// Lane 0 compares with `state`, which ends as the set of the last lane. Segments are copied
// kWidth bytes wide, each copy's tail written over by what follows. Returns the end of the
// output.
template <int kWidth>
inline u8* put_jis_block(u8* w, const u8* block, uint32_t pairs, uint32_t kana, JisState& state) {
  const uint32_t ascii = ~(pairs | kana) & low_lanes(kWidth);
  // Lanes whose set differs from the lane before.
  const uint32_t changes = ((ascii ^ ((ascii << 1) | (state == JisState::kAscii))) |
                            (pairs ^ ((pairs << 1) | (state == JisState::kKanji))) |
                            (kana ^ ((kana << 1) | (state == JisState::kKana)))) &
                           low_lanes(kWidth);
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

}  // namespace jcode_internal
