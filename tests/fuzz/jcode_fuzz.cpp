// Fuzz target: every code converter against the byte-at-a-time build of the same code
// (names prefixed with reference_), on the same bytes: the wide blocks, their hand-overs
// and the moves of the growing converters must give exactly what one byte at a time gives.
// The first input byte picks the converter; the rest is the text.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "jcode/jcode.h"

int reference_detect_kanji_code(const char* text, size_t n) noexcept;
size_t reference_to_sjis(char* text, size_t n) noexcept;
size_t reference_jis_to_sjis(char* text, size_t n) noexcept;
size_t reference_euc_to_sjis(char* text, size_t n) noexcept;
size_t reference_sjis_to_jis(char* text, size_t n) noexcept;
size_t reference_sjis_to_euc(char* text, size_t n) noexcept;

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

using Convert = size_t (*)(char*, size_t) noexcept;

// Runs a converter in a buffer of exactly `capacity` bytes, so that a byte written past it
// is caught.
std::string run(Convert convert, const std::string& text, size_t capacity) {
  std::vector<char> buffer(capacity);
  std::memcpy(buffer.data(), text.data(), text.size());
  const size_t n = convert(buffer.data(), text.size());
  check(n < capacity && buffer[n] == '\0');
  return std::string(buffer.data(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t n = text.size();
  struct Pair {
    Convert fast, reference;
    size_t capacity;
  };
  const Pair pairs[] = {
      {to_sjis, reference_to_sjis, n + 1},
      {jis_to_sjis, reference_jis_to_sjis, n + 1},
      {euc_to_sjis, reference_euc_to_sjis, n + 1},
      {sjis_to_jis, reference_sjis_to_jis, sjis_to_jis_capacity(n)},
      {sjis_to_euc, reference_sjis_to_euc, sjis_to_euc_capacity(n)},
  };
  const Pair& pair = pairs[data[0] % 5];
  const std::string fast = run(pair.fast, text, pair.capacity);
  check(fast == run(pair.reference, text, pair.capacity));
  check(detect_kanji_code(text.data(), n) == reference_detect_kanji_code(text.data(), n));
  // No NUL comes out that was not in the input.
  if (text.find('\0') == std::string::npos) check(fast.find('\0') == std::string::npos);
  return 0;
}
