// Fuzz target: the literal search on a rare byte pair against a walk over the text one
// character at a time, in byte mode and in double-byte mode, both directly and through
// a literal buffer with its table; and the block scans over a set of byte ranges (a byte
// in it; out of it; in it and repeated at once; a run of it) against a byte walk, the
// scans for a character starting with a byte in it and for a run of such characters
// against a character walk; and the search for
// any of a few literals against the character walk.
// The first byte picks the literal's length (low five bits), the mode (bit 5), folding
// (bit 6) and the range scan (bit 7, the literal's bytes then being range bounds in
// pairs; with bit 6 as well, alternatives split at '|'); the literal and then the text
// follow.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "regex/internal.h"

namespace {

using namespace regex_internal;

bool same_at(const unsigned char* s, const unsigned char* literal, size_t length, bool folded) {
  for (size_t i = 0; i < length; ++i)
    if (s[i] != literal[i] && !(folded && fold_case.v[s[i]] == literal[i])) return false;
  return true;
}

const unsigned char* walk_find(const unsigned char* text, size_t size, const unsigned char* literal,
                               size_t length, bool dbcs, bool folded = false) {
  for (size_t p = 0; p + length <= size;) {
    if (same_at(text + p, literal, length, folded)) return text + p;
    p += (dbcs && is_lead_byte(text[p]) && p + 1 < size) ? 2 : 1;
  }
  return nullptr;
}

// The first byte from p outside the set.
const unsigned char* out_from(const unsigned char* p, const unsigned char* end, const unsigned char* bits) {
  while (p < end && bit_set(bits, *p)) ++p;
  return p;
}

// The range scans from the first starts against a byte walk over the same set.
void check_range_scans(const unsigned char* bounds, size_t length, const unsigned char* begin,
                       const unsigned char* end) {
  unsigned char bits[32] = {};
  for (size_t i = 0; i + 1 < length; i += 2)
    for (unsigned b = bounds[i]; b <= bounds[i + 1]; ++b)
      bits[b >> 3] |= static_cast<unsigned char>(1u << (b & 7));
  const ByteRanges r = byte_ranges(bits);
  if (r.count < 0) return;
  unsigned char single_bits[32];
  std::memcpy(single_bits, bits, sizeof single_bits);
  for (unsigned b = 0; b < 256; ++b)
    if (is_lead_byte(static_cast<unsigned char>(b)))
      single_bits[b >> 3] &= static_cast<unsigned char>(~(1u << (b & 7)));
  const ByteRanges single = byte_ranges(single_bits);
  // The first starts cover every alignment of the blocks to the text's end.
  for (const unsigned char* p = begin; p <= end && p - begin <= 64; ++p) {
    const unsigned char *in = p, *out = p;
    while (in < end && !bit_set(bits, *in)) ++in;
    while (out < end && bit_set(bits, *out)) ++out;
    if (find_in_ranges(p, end, r) != in || skip_ranges(p, end, r) != out) std::abort();
    const unsigned char* at_char = p;
    while (at_char < end && !bit_set(bits, *at_char))
      at_char += is_lead_byte(*at_char) && at_char + 1 < end ? 2 : 1;
    if (find_char_in_ranges(p, end, r) != at_char) std::abort();
    const unsigned char* run_end = nullptr;
    if (find_run_in_ranges(p, end, r, false, run_end) != in ||
        (in < end && run_end != out_from(in, end, bits)))
      std::abort();
    // In double-byte mode over a set without lead-byte values: the run from the first
    // character start in it.
    if (single.count >= 0) {
      const unsigned char* first = p;
      while (first < end && !bit_set(single_bits, *first))
        first += is_lead_byte(*first) && first + 1 < end ? 2 : 1;
      const unsigned char* found = find_run_in_ranges(p, end, single, true, run_end);
      if (found != first || (first < end && run_end != out_from(first, end, single_bits))) std::abort();
      // The same scan copying the bytes before the run into a block of the exact room.
      std::unique_ptr<unsigned char[]> copy(new unsigned char[end > p ? end - p : 1]);
      if (find_run_in_ranges(p, end, single, true, run_end, copy.get()) != first) std::abort();
      if (first < end && std::memcmp(copy.get(), p, static_cast<size_t>(first - p)) != 0) std::abort();
    }
    const unsigned char* doubled = p;
    while (doubled < end && !(bit_set(bits, *doubled) && doubled[1] == *doubled)) ++doubled;
    if (find_doubled_in_ranges(p, end, r) != doubled) std::abort();
  }
}

// The search for any of the alternatives against the first place the character walk
// finds one of them.
void check_alternatives(const unsigned char* literal, size_t length, const unsigned char* begin,
                        const unsigned char* end, bool dbcs) {
  AlternativesSearch search;
  std::vector<std::string> pieces;
  for (size_t i = 0, piece = 0; i <= length; ++i) {
    if (i < length && literal[i] != '|') continue;
    if (i > piece && !search.add(literal + piece, static_cast<int32_t>(i - piece))) return;
    if (i > piece) pieces.emplace_back(reinterpret_cast<const char*>(literal) + piece, i - piece);
    piece = i + 1;
  }
  const size_t size = static_cast<size_t>(end - begin);
  const unsigned char* expected = nullptr;
  for (size_t p = 0; p < size && !expected; p += (dbcs && is_lead_byte(begin[p]) && p + 1 < size) ? 2 : 1)
    for (const std::string& piece : pieces)
      if (p + piece.size() <= size && std::memcmp(begin + p, piece.data(), piece.size()) == 0)
        expected = begin + p;
  if (search.find(begin, end, dbcs) != expected) std::abort();
  // The same search copying the bytes before the find into a block of the text's size.
  std::unique_ptr<unsigned char[]> copy(new unsigned char[size > 0 ? size : 1]);
  if (search.find(begin, end, dbcs, nullptr, copy.get()) != expected) std::abort();
  if (expected && std::memcmp(copy.get(), begin, static_cast<size_t>(expected - begin)) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t length = data[0] & 0x1F;
  const bool dbcs = (data[0] & 0x20) != 0;
  const bool folded = (data[0] & 0x40) != 0;
  if (size < 1 + length) return 0;
  // Copies of exact size, so that a read past either end is caught.
  std::unique_ptr<unsigned char[]> literal(new unsigned char[length + 1]);
  std::memcpy(literal.get(), data + 1, length);
  const size_t text_size = size - 1 - length;
  std::unique_ptr<unsigned char[]> text(new unsigned char[text_size + 1]);
  std::memcpy(text.get(), data + 1 + length, text_size);
  text[text_size] = 0;  // read by the doubled scan, as the engine's texts end in one
  const unsigned char* const begin = text.get();
  const unsigned char* const end = begin + text_size;
  if ((data[0] & 0xC0) == 0xC0) {
    check_alternatives(literal.get(), length, begin, end, dbcs);
    return 0;
  }
  if (data[0] & 0x80) {
    check_range_scans(literal.get(), length, begin, end);
    return 0;
  }

  const unsigned char* expected = walk_find(begin, text_size, literal.get(), length, dbcs);
  if (plain_find(begin, end, literal.get(), literal.get() + length, dbcs) != expected) std::abort();
  // The same search copying the bytes before the find into a block of the text's size.
  const unsigned char* found_folded = walk_find(begin, text_size, literal.get(), length, dbcs, folded);
  std::unique_ptr<unsigned char[]> copy(new unsigned char[text_size > 0 ? text_size : 1]);
  const LiteralSearch search(literal.get(), static_cast<int32_t>(length), dbcs, folded);
  if (search.find(begin, end, copy.get()) != found_folded) std::abort();
  if (found_folded && std::memcmp(copy.get(), begin, static_cast<size_t>(found_folded - begin)) != 0)
    std::abort();
  // A literal buffer with its table (an empty literal would be measured as a C string).
  if (length == 0) return 0;
  try {
    LiteralPtr buffer(literal_new(literal.get(), static_cast<int32_t>(length)));
    literal_build_table(buffer.get(), folded);
    if (literal_find(begin, end, buffer.get(), false, dbcs) != found_folded) std::abort();
  } catch (const Failure&) {
    // Out of memory in the buffer: nothing to compare.
  }
  return 0;
}
