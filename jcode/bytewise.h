// The byte arithmetic of the conversions and their one-character steps, shared by the
// byte-at-a-time form and the block forms (which take these steps where a block cannot be
// converted whole, and finish with the byte-at-a-time loops).
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "jcode/ibm_table.h"
#include "jcode/internal.h"

namespace jcode_internal {

constexpr u8 kEsc = 0x1B;
constexpr u8 kShiftOut = 0x0E;  // SO: half-width katakana
constexpr u8 kShiftIn = 0x0F;   // SI: ASCII
constexpr u8 kSingleShift2 = 0x8E;

enum class JisState { kAscii, kKanji, kKana };
// The escape sequences the JIS writer emits, by the state they select, padded to four bytes.
inline constexpr u8 kEscapes[3][4] = {{kEsc, '(', 'B', 0}, {kEsc, '$', 'B', 0}, {kEsc, '(', 'I', 0}};

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

// Tables of the formulas above, indexed by unsigned byte; the byte-at-a-time steps use these.
template <typename F>
constexpr std::array<u8, 256> make_table(F f) {
  std::array<u8, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = f(static_cast<u8>(i));
  return t;
}
// [0] for second bytes below 0x9F, [1] for the rest.
inline constexpr std::array<u8, 256> kJisFirst[2] = {make_table([](u8 b) { return jis_first(b, 0x00); }),
                                                     make_table([](u8 b) { return jis_first(b, 0x9F); })};
inline constexpr std::array<u8, 256> kJisSecond = make_table(jis_second);
inline constexpr std::array<u8, 256> kSjisFirstFromJis = make_table(sjis_first_from_jis);
// [0] after an even first byte, [1] after an odd one.
inline constexpr std::array<u8, 256> kSjisSecondFromJis[2] = {
    make_table([](u8 b) { return sjis_second_from_jis(0, b); }),
    make_table([](u8 b) { return sjis_second_from_jis(1, b); })};
inline constexpr std::array<u8, 256> kSjisFirstFromEuc = make_table(sjis_first_from_euc);
inline constexpr std::array<u8, 256> kSjisSecondFromEuc[2] = {
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

// Code page 932's own characters, first bytes from F0 up with a trail byte (40 to FC but
// 7F), before the EUC-JP and JIS arithmetic: a user-defined character (F0 to F9) becomes 〓
// and is counted, its output going to w; an IBM extension (FA 40 to FC 4B) becomes the code
// of the same character that those codes hold. Other pairs stay as they are.
constexpr u8 kFirstOwn = 0xF0;
inline void replace_own_character(u8& s1, u8& s2, Loss& loss, const u8* w) {
  if (s2 < 0x40 || s2 > 0xFC || s2 == 0x7F) return;
  if (s1 <= 0xF9) {
    if (loss.count++ == 0) loss.first = w;
    s1 = 0x81;
    s2 = 0xAC;
    return;
  }
  const unsigned index = (s1 - 0xFA) * 188u + s2 - 0x40 - (s2 > 0x7F);
  if (index < std::size(kIbmExtensions)) {
    s1 = static_cast<u8>(kIbmExtensions[index] >> 8);
    s2 = static_cast<u8>(kIbmExtensions[index]);
  }
}

inline u8* put_escape(u8* w, JisState state) {
  std::memcpy(w, kEscapes[static_cast<int>(state)], 3);
  return w + 3;
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

// Whether a growing converter must stop for its caller to widen the writer's lead: the lead
// may not cover `need` bytes more and is less than the bytes left to read.
inline bool lead_short(const u8* r, const u8* end, const u8* w, std::ptrdiff_t need) {
  return r - w < need && r - w < end - r;
}

// One JIS character at r in `state`, where no control begins.
inline u8* step_jis_to_sjis(const u8*& r, const u8* end, u8* w, JisState state) {
  const u8 b = *r;
  if (state == JisState::kAscii) {
    *w++ = b;  // bytes from 0x80 up are copied too
    ++r;
  } else if (state == JisState::kKana) {
    *w++ = b == 0x80 ? b : static_cast<u8>(b + 0x80);  // no NUL out of 80
    ++r;
  } else if (end - r < 2) {  // a first byte without its second stands alone and ends the text
    *w++ = b;
    ++r;
  } else {
    const u8 j2 = r[1];
    w = put_pair(w, kSjisFirstFromJis[b], kSjisSecondFromJis[b & 1][j2], b, j2);
    r += 2;
  }
  return w;
}

// One EUC-JP character: a pair gives a pair, 8E and its byte give one byte.
inline u8* step_euc_to_sjis(const u8*& r, const u8* end, u8* w) {
  const u8 b = *r;
  if (b < 0x80 || end - r < 2) {
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
  return w;
}

// One Shift_JIS character to JIS, with the escape sequence its set needs.
inline u8* step_sjis_to_jis(const u8*& r, const u8* end, u8* w, JisState& state, Loss& loss) {
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
  } else if (end - r < 2) {
    *w++ = b;
    ++r;
  } else {
    u8 s1 = b, s2 = r[1];
    if (s1 >= kFirstOwn) replace_own_character(s1, s2, loss, w);
    w = put_pair(w, kJisFirst[s2 >= 0x9F][s1], kJisSecond[s2], s1, s2);
    r += 2;
  }
  return w;
}

// One Shift_JIS character to EUC-JP; false, with nothing done, for a katakana in place.
template <bool kInPlace>
inline bool step_sjis_to_euc(const u8*& r, const u8* end, u8*& w, Loss& loss) {
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
    u8 s1 = b, s2 = r[1];
    if (s1 >= kFirstOwn) replace_own_character(s1, s2, loss, w);
    w = put_pair(w, kJisFirst[s2 >= 0x9F][s1] ^ 0x80, kJisSecond[s2] ^ 0x80, s1, s2);
    r += 2;
  }
  return true;
}

// The byte-at-a-time loops from a given state; the block forms finish with them.
size_t bytewise_quiet_run(const u8* p, size_t n);
u8* bytewise_jis_to_sjis(const u8* r, const u8* end, u8* w, JisState state);
u8* bytewise_euc_to_sjis(const u8* r, const u8* end, u8* w);
u8* bytewise_sjis_to_jis(const u8* r, const u8* end, u8* w, JisState state, Loss& loss);
template <bool kInPlace>
Progress bytewise_sjis_to_euc(const u8* r, const u8* end, u8* w, Loss& loss);

}  // namespace jcode_internal
