// Fuzz target: every block form of the code converters against the byte-at-a-time form, on
// the same bytes: the wide blocks, their hand-overs and the moves of the growing converters
// must give exactly what one byte at a time gives, with the same count of lost characters. The first input
// byte picks the converter; the rest is the text.
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "jcode/internal.h"
#include "jcode/jcode.h"

namespace {

using jcode_internal::Form;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// Every converter with the report of the output converters; the others report nothing.
using Convert = size_t (*)(const Form&, char*, size_t, KanjiLoss*);

// The text, the count of lost characters and the line of the first.
using Result = std::tuple<std::string, size_t, size_t>;

// Runs a converter in a buffer of exactly `capacity` bytes, so that a byte written past it
// is caught.
Result run(Convert convert, const Form& form, const std::string& text, size_t capacity) {
  std::vector<char> buffer(capacity);
  std::memcpy(buffer.data(), text.data(), text.size());
  KanjiLoss loss{0, 0};
  const size_t n = convert(form, buffer.data(), text.size(), &loss);
  check(n < capacity && buffer[n] == '\0');
  return {std::string(buffer.data(), n), loss.count, loss.first_line};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t n = text.size();
  struct Converter {
    Convert convert;
    size_t capacity;
  };
  const Converter converters[] = {
      {[](const Form& f, char* t, size_t n, KanjiLoss*) { return jcode_internal::to_sjis(f, t, n); }, n + 1},
      {[](const Form& f, char* t, size_t n, KanjiLoss*) { return jcode_internal::jis_to_sjis(f, t, n); },
       n + 1},
      {[](const Form& f, char* t, size_t n, KanjiLoss*) { return jcode_internal::euc_to_sjis(f, t, n); },
       n + 1},
      {[](const Form& f, char* t, size_t n, KanjiLoss* l) { return jcode_internal::sjis_to_jis(f, t, n, l); },
       sjis_to_jis_capacity(n)},
      {[](const Form& f, char* t, size_t n, KanjiLoss* l) { return jcode_internal::sjis_to_euc(f, t, n, l); },
       sjis_to_euc_capacity(n)},
  };
  const Converter& converter = converters[data[0] % 5];
  const Form& reference = jcode_internal::bytewise_form();
  const Result expected = run(converter.convert, reference, text, converter.capacity);
  const int code = jcode_internal::detect_kanji_code(reference, text.data(), n);
  for (const Form* form : {jcode_internal::sse2_form(), jcode_internal::avx2_form()}) {
    if (form == nullptr) continue;
    check(run(converter.convert, *form, text, converter.capacity) == expected);
    check(jcode_internal::detect_kanji_code(*form, text.data(), n) == code);
  }
  // No NUL comes out that was not in the input.
  if (text.find('\0') == std::string::npos) check(std::get<0>(expected).find('\0') == std::string::npos);
  return 0;
}
