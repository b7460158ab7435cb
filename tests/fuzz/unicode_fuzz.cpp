// Fuzz target: every form of the Unicode decoders, encoders and the UTF-8 check against the
// byte-at-a-time form, on the same bytes, each output in a buffer of exactly the stated
// capacity. The first input byte picks the conversion (or classing and decoding in one); the
// rest is the text.
#include <cstdint>
#include <cstring>
#include <vector>

#include "unicode/internal.h"
#include "unicode/unicode.h"

namespace {

using unicode_internal::Form;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

struct Output {
  std::vector<char> bytes;
  ConvertReport report;
};

// The conversion `choice` picks, in the given form.
Output run(const Form& form, unsigned choice, const std::vector<char>& text) {
  const size_t n = text.size();
  Output out;
  if ((choice & 0x30) == 0x30) {
    out.bytes.resize(unicode_to_cp932_capacity(n));
    const DecodedText d = form.classify_and_decode(text.data(), n, out.bytes.data(), UNMAPPABLE_GETA);
    const TextClass apart = classify_text(text.data(), n);
    check(d.text_class.code == apart.code && d.text_class.mark_length == apart.mark_length);
    out.report = d.report;
    if (d.text_class.code == UNICODE_NONE) {
      check(d.report.length == 0 && d.report.replaced == 0);
    } else {
      check(out.report.length < out.bytes.size() && out.bytes[out.report.length] == '\0');
    }
  } else if (choice & 1) {
    const auto code = static_cast<UnicodeClass>(1 + (choice >> 1) % 3);
    const Unmappable mode = (choice & 8) ? UNMAPPABLE_NCR : UNMAPPABLE_GETA;
    out.bytes.resize(unicode_to_cp932_capacity(n));
    out.report = form.unicode_to_cp932(code, text.data(), n, out.bytes.data(), mode);
    check(out.report.length < out.bytes.size() && out.bytes[out.report.length] == '\0');
  } else {
    const UnicodeOutput code = (choice & 2) ? OUTPUT_UTF16LE : OUTPUT_UTF8;
    out.bytes.resize(cp932_to_unicode_capacity(n));
    out.report = form.cp932_to_unicode(code, (choice & 4) != 0, text.data(), n, out.bytes.data());
    check(out.report.length < out.bytes.size());
    // What comes out as UTF-8 is valid UTF-8.
    if (code == OUTPUT_UTF8) {
      check(unicode_internal::bytewise_form().is_valid_utf8(out.bytes.data(), out.report.length, nullptr));
    }
  }
  check((out.report.replaced == 0) == (out.report.first_line == 0));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned choice = data[0];
  // The text in a buffer of its own length, so a read past it is caught.
  const std::vector<char> text(data + 1, data + size);
  const Form& reference = unicode_internal::bytewise_form();
  const bool valid = reference.is_valid_utf8(text.data(), text.size(), nullptr);
  const Output expected = run(reference, choice, text);
  // Text classed valid UTF-8 without a mark decodes unchecked as it does checked; any other text
  // too is decoded unchecked, to show that nothing is read or written out of bounds and that no
  // character makes more than two bytes.
  const bool checked = valid && (text.empty() || std::memchr(text.data(), 0, text.size()) == nullptr) &&
                       !(text.size() >= 3 && std::memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0);
  std::vector<char> decoded(unicode_to_cp932_capacity(text.size()));
  const ConvertReport whole =
      reference.unicode_to_cp932(UNICODE_UTF8, text.data(), text.size(), decoded.data(), UNMAPPABLE_GETA);
  for (const Form* form : {&reference, unicode_internal::sse2_form(), unicode_internal::avx2_form()}) {
    if (form == nullptr) continue;
    std::vector<char> out(decoded.size());
    const ConvertReport r = form->valid_utf8_to_cp932(text.data(), text.size(), out.data());
    check(r.length <= 2 * text.size() && out[r.length] == '\0');
    if (checked) {
      check(r.length == whole.length && r.replaced == whole.replaced && r.first_line == whole.first_line);
      check(std::memcmp(out.data(), decoded.data(), r.length) == 0);
    }
  }
  for (const Form* form : {unicode_internal::sse2_form(), unicode_internal::avx2_form()}) {
    if (form == nullptr) continue;
    bool has_nul = false;
    check(form->is_valid_utf8(text.data(), text.size(), &has_nul) == valid);
    check(!valid || has_nul == (!text.empty() && std::memchr(text.data(), 0, text.size()) != nullptr));
    const Output got = run(*form, choice, text);
    check(got.report.length == expected.report.length && got.report.replaced == expected.report.replaced &&
          got.report.first_line == expected.report.first_line);
    check(std::memcmp(got.bytes.data(), expected.bytes.data(), got.report.length) == 0);
  }
  return 0;
}
