// Runs the code converters in every form this machine has (byte at a time, 16- and 32-byte
// blocks) for the jcode tests: each result is the byte-at-a-time one, and every block form
// must give the same bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jcode/internal.h"
#include "jcode/jcode.h"

namespace jcode_test {

using Bytes = std::string;
using jcode_internal::Form;

enum class Op { kToSjis, kJisToSjis, kEucToSjis, kSjisToJis, kSjisToEuc };
inline constexpr Op kAllOps[] = {Op::kToSjis, Op::kJisToSjis, Op::kEucToSjis, Op::kSjisToJis, Op::kSjisToEuc};

// Each converter in its two forms: NUL-terminated (as jcode.h runs it) and sized, in a
// given form.
struct Converter {
  const char* name;
  void (*terminated)(char*);
  size_t (*sized)(const Form&, char*, size_t) noexcept;
};
inline const Converter& converter(Op op) {
  static const Converter kConverters[] = {
      {"to_sjis", to_sjis, jcode_internal::to_sjis},
      {"jis_to_sjis", jis_to_sjis, jcode_internal::jis_to_sjis},
      {"euc_to_sjis", euc_to_sjis, jcode_internal::euc_to_sjis},
      {"sjis_to_jis", sjis_to_jis, jcode_internal::sjis_to_jis},
      {"sjis_to_euc", sjis_to_euc, jcode_internal::sjis_to_euc},
  };
  return kConverters[static_cast<int>(op)];
}
inline const char* op_name(Op op) { return converter(op).name; }

// Byte at a time first, then the block forms.
inline const std::vector<const Form*>& forms() {
  static const std::vector<const Form*> kForms = [] {
    std::vector<const Form*> all = {&jcode_internal::bytewise_form()};
    for (const Form* form : {jcode_internal::sse2_form(), jcode_internal::avx2_form()}) {
      if (form) all.push_back(form);
    }
    return all;
  }();
  return kForms;
}

inline std::string hex(const Bytes& s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02X ", c);
    out += b;
  }
  return out;
}

// The buffer a caller must provide, as the join driver sizes it.
inline size_t capacity(Op op, size_t n) {
  if (op == Op::kSjisToJis) return sjis_to_jis_capacity(n);
  if (op == Op::kSjisToEuc) return sjis_to_euc_capacity(n);
  return n + 1;
}

// The NUL-terminated form, in a heap buffer of exactly the required size, so the sanitizer
// catches a byte written too far; the result is taken up to its first NUL.
inline Bytes run(Op op, const Bytes& in) {
  std::vector<char> buf(capacity(op, in.size()));
  std::memcpy(buf.data(), in.data(), in.size());
  buf[in.size()] = '\0';
  converter(op).terminated(buf.data());
  return Bytes(buf.data());
}

// The sized form in every form; the result keeps any NUL the arithmetic produced.
inline Bytes run_sized(Op op, const Bytes& in) {
  Bytes first;
  for (const Form* form : forms()) {
    std::vector<char> buf(capacity(op, in.size()));
    std::memcpy(buf.data(), in.data(), in.size());
    const size_t n = converter(op).sized(*form, buf.data(), in.size());
    EXPECT_LT(n, buf.size());
    EXPECT_EQ(buf[n], '\0');
    const Bytes out(buf.data(), n);
    if (form == forms().front()) {
      first = out;
    } else if (out != first) {
      ADD_FAILURE() << form->name << " " << op_name(op) << " gives " << hex(out) << "\n  byte at a time "
                    << hex(first) << "\n  on " << hex(in);
    }
  }
  return first;
}

// Detection in every form.
inline int detect(const Bytes& text) {
  const int code = jcode_internal::detect_kanji_code(*forms().front(), text.data(), text.size());
  for (const Form* form : forms()) {
    EXPECT_EQ(jcode_internal::detect_kanji_code(*form, text.data(), text.size()), code) << form->name;
  }
  return code;
}

}  // namespace jcode_test
