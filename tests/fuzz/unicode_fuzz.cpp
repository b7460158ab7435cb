// Fuzz target: the Unicode decoders, encoders and the UTF-8 check against the byte-at-a-time
// build of the same code (names prefixed with reference_), on the same bytes, each output in
// a buffer of exactly the stated capacity. The first input byte picks the conversion; the rest
// is the text.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "unicode/unicode.h"

TextClass reference_classify_text(const char* text, size_t n) noexcept;
bool reference_is_valid_utf8(const char* text, size_t n) noexcept;
ConvertReport reference_unicode_to_cp932(UnicodeClass code, const char* in, size_t n, char* out,
                                         Unmappable mode) noexcept;
ConvertReport reference_cp932_to_unicode(UnicodeOutput code, bool with_mark, const char* in, size_t n,
                                         char* out) noexcept;

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

bool same(const ConvertReport& a, const ConvertReport& b) {
  return a.length == b.length && a.replaced == b.replaced && a.first_line == b.first_line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned choice = data[0];
  // The text in a buffer of its own length, so a read past it is caught.
  const std::vector<char> text(data + 1, data + size);
  const size_t n = text.size();

  const TextClass cls = classify_text(text.data(), n);
  const TextClass ref = reference_classify_text(text.data(), n);
  check(cls.code == ref.code && cls.mark_length == ref.mark_length);
  check(is_valid_utf8(text.data(), n) == reference_is_valid_utf8(text.data(), n));

  if (choice & 1) {
    const UnicodeClass code = static_cast<UnicodeClass>(1 + (choice >> 1) % 3);
    const Unmappable mode = (choice & 8) ? UNMAPPABLE_NCR : UNMAPPABLE_GETA;
    const size_t capacity = unicode_to_cp932_capacity(n);
    std::vector<char> fast(capacity), slow(capacity);
    const ConvertReport a = unicode_to_cp932(code, text.data(), n, fast.data(), mode);
    const ConvertReport b = reference_unicode_to_cp932(code, text.data(), n, slow.data(), mode);
    check(same(a, b) && a.length < capacity && fast[a.length] == '\0');
    check(std::memcmp(fast.data(), slow.data(), a.length) == 0);
    check((a.replaced == 0) == (a.first_line == 0));
  } else {
    const UnicodeOutput code = (choice & 2) ? OUTPUT_UTF16LE : OUTPUT_UTF8;
    const bool mark = (choice & 4) != 0;
    const size_t capacity = cp932_to_unicode_capacity(n);
    std::vector<char> fast(capacity), slow(capacity);
    const ConvertReport a = cp932_to_unicode(code, mark, text.data(), n, fast.data());
    const ConvertReport b = reference_cp932_to_unicode(code, mark, text.data(), n, slow.data());
    check(same(a, b) && a.length < capacity);
    check(std::memcmp(fast.data(), slow.data(), a.length) == 0);
    // What comes out as UTF-8 is valid UTF-8.
    if (code == OUTPUT_UTF8) check(reference_is_valid_utf8(fast.data(), a.length));
  }
  return 0;
}
