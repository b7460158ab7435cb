// The conversions in the widest form the machine has, and the buffer layouts of the growing
// converters, which every form shares.
#include "jcode/jcode.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

#include "jcode/internal.h"

namespace jcode_internal {

const Form& widest_form() {
  static const Form& widest = avx2_form() ? *avx2_form() : sse2_form() ? *sse2_form() : bytewise_form();
  return widest;
}

// The writer never passes the reader: every control sequence shrinks to nothing and every
// byte or pair is replaced by as many bytes.
size_t jis_to_sjis(const Form& form, char* text, size_t n) noexcept {
  u8* const p = reinterpret_cast<u8*>(text);
  u8* const w = form.jis_to_sjis(p, p + n, p);
  *w = '\0';
  return static_cast<size_t>(w - p);
}

// In place as well: a pair gives a pair, 8E and its byte give one byte.
size_t euc_to_sjis(const Form& form, char* text, size_t n) noexcept {
  u8* const p = reinterpret_cast<u8*>(text);
  u8* const w = form.euc_to_sjis(p, p + n, p);
  *w = '\0';
  return static_cast<size_t>(w - p);
}

namespace {

// The report of a conversion's losses; the output up to the first holds its line's LFs.
void report(const Loss& loss, const u8* p, KanjiLoss* to) {
  if (to == nullptr) return;
  to->count = loss.count;
  to->first_line = loss.count == 0 ? 0 : 1 + static_cast<size_t>(std::count(p, loss.first, '\n'));
}

}  // namespace

// At most four bytes out per byte in (an escape sequence and a byte; an escape sequence and
// a pair for two bytes), then ESC ( B: 4n + 3 and the NUL. With the unread text at the end
// of the 4n + 4 byte buffer, the writer starts 3n + 3 bytes behind the reader and loses at
// most three bytes of that lead per byte read. The leading bytes that nothing changes stay
// where they are.
size_t sjis_to_jis(const Form& form, char* text, size_t n, KanjiLoss* lost) noexcept {
  u8* const p = reinterpret_cast<u8*>(text);
  const size_t head = form.quiet_run(p, n);
  u8* w = p + head;
  Loss loss;
  if (head < n) {
    const size_t rest = n - head;
    u8* const source = p + (4 * n + 3 - rest);
    std::memmove(source, p + head, rest);
    w = form.sjis_to_jis(source, source + rest, w, loss);
  }
  *w = '\0';
  report(loss, p, lost);
  return static_cast<size_t>(w - p);
}

// At most two bytes out per byte in (half-width katakana; pairs and ASCII keep their length).
// Up to the first half-width katakana the text keeps its length and converts in place. The
// rest then moves ahead of the writer, by a thirty-second of it at first: text seldom holds
// more katakana than that, and the memory beyond is never touched. Should the lead run out,
// what is left moves on by twice as much, at most to the end of the 2n + 1 byte buffer,
// where the writer is behind the reader by at least the bytes left to read: that lead
// always lasts.
size_t sjis_to_euc(const Form& form, char* text, size_t n, KanjiLoss* lost) noexcept {
  u8* const p = reinterpret_cast<u8*>(text);
  u8* const start = p + form.quiet_run(p, n);
  Loss loss;
  const Progress done = form.sjis_to_euc_in_place(start, p + n, start, loss);
  const u8* r = done.r;
  u8* w = done.w;
  size_t left = static_cast<size_t>(p + n - r);
  size_t gap = left / 32 + 128;
  while (left > 0) {
    const size_t at = std::min(static_cast<size_t>(w - p) + gap, 2 * n - left);
    std::memmove(p + at, r, left);
    const Progress next = form.sjis_to_euc_growing(p + at, p + at + left, w, loss);
    left = static_cast<size_t>(p + at + left - next.r);
    r = next.r;
    w = next.w;
    gap = std::min(2 * gap, n);
  }
  *w = '\0';
  report(loss, p, lost);
  return static_cast<size_t>(w - p);
}

size_t sjis_to_jis(const Form& form, char* text, size_t n) noexcept {
  return sjis_to_jis(form, text, n, nullptr);
}
size_t sjis_to_euc(const Form& form, char* text, size_t n) noexcept {
  return sjis_to_euc(form, text, n, nullptr);
}

}  // namespace jcode_internal

using jcode_internal::widest_form;

size_t jis_to_sjis(char* text, size_t n) noexcept {
  return jcode_internal::jis_to_sjis(widest_form(), text, n);
}
void jis_to_sjis(char* text) noexcept { jis_to_sjis(text, std::strlen(text)); }

size_t euc_to_sjis(char* text, size_t n) noexcept {
  return jcode_internal::euc_to_sjis(widest_form(), text, n);
}
void euc_to_sjis(char* text) noexcept { euc_to_sjis(text, std::strlen(text)); }

size_t sjis_to_jis(char* text, size_t n, KanjiLoss* loss) noexcept {
  return jcode_internal::sjis_to_jis(widest_form(), text, n, loss);
}
size_t sjis_to_jis(char* text, size_t n) noexcept { return sjis_to_jis(text, n, nullptr); }
void sjis_to_jis(char* text) noexcept { sjis_to_jis(text, std::strlen(text)); }

size_t sjis_to_euc(char* text, size_t n, KanjiLoss* loss) noexcept {
  return jcode_internal::sjis_to_euc(widest_form(), text, n, loss);
}
size_t sjis_to_euc(char* text, size_t n) noexcept { return sjis_to_euc(text, n, nullptr); }
void sjis_to_euc(char* text) noexcept { sjis_to_euc(text, std::strlen(text)); }

size_t sjis_to_jis_capacity(size_t n) noexcept {
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  return n > (kMax - 4) / 4 ? 0 : 4 * n + 4;
}

size_t sjis_to_euc_capacity(size_t n) noexcept {
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  return n > (kMax - 1) / 2 ? 0 : 2 * n + 1;
}
