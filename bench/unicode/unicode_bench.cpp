// Throughput of UTF-8 validation and of the conversions between Unicode and code page 932 on
// typical Japanese text (bytes/s of input).
#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "unicode/unicode.h"

namespace {

using Bytes = std::string;

// Shift_JIS prose: lines of 20 to 70 characters, runs of hiragana, kanji and katakana with
// punctuation and now and then an ASCII word or number, each line ending in CR LF.
Bytes typical_cp932(size_t size) {
  std::mt19937 rng(2026);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto add_pair = [](Bytes& s, int s1, int s2) {
    s += static_cast<char>(s1);
    s += static_cast<char>(s2);
  };
  Bytes text;
  text.reserve(size + 256);
  while (text.size() < size) {
    const int chars = 20 + pick(51);
    for (int c = 0; c < chars;) {
      const int kind = pick(100);
      const int run = 1 + pick(5);
      for (int i = 0; i < run; ++i, ++c) {
        if (kind < 45) {
          add_pair(text, 0x82, 0x9F + pick(83));  // hiragana
        } else if (kind < 75) {
          int s2 = 0x40 + pick(0xBD);  // kanji, rows 17 to 46
          if (s2 == 0x7F) s2 = 0x80;
          add_pair(text, 0x89 + pick(0x0F), s2);
        } else if (kind < 85) {
          add_pair(text, 0x83, 0x40 + pick(0x3F));  // katakana
        } else if (kind < 90) {
          add_pair(text, 0x81, 0x41 + pick(2));  // 、。
          break;
        } else {
          text += static_cast<char>(pick(3) ? 'a' + pick(26) : '0' + pick(10));  // ASCII word
        }
      }
      if (kind >= 90) text += ' ';
    }
    text += "\r\n";
  }
  return text;
}

// The text in code page 932 (kind 0), UTF-8 (1) and UTF-16LE (2), of about `size` bytes in
// code page 932; made once per size.
const Bytes& sample(int kind, size_t size) {
  static std::map<std::pair<int, size_t>, Bytes> samples;
  Bytes& text = samples[{kind, size}];
  if (text.empty()) {
    if (kind == 0) {
      text = typical_cp932(size);
    } else {
      const Bytes& in = sample(0, size);
      std::vector<char> out(cp932_to_unicode_capacity(in.size()));
      const UnicodeOutput code = kind == 1 ? OUTPUT_UTF8 : OUTPUT_UTF16LE;
      text.assign(out.data(), cp932_to_unicode(code, false, in.data(), in.size(), out.data()).length);
    }
  }
  return text;
}
const Bytes& cp932_text(const benchmark::State& state) {
  return sample(0, static_cast<size_t>(state.range(0)));
}
const Bytes& utf8_text(const benchmark::State& state) {
  return sample(1, static_cast<size_t>(state.range(0)));
}
const Bytes& utf16_text(const benchmark::State& state) {
  return sample(2, static_cast<size_t>(state.range(0)));
}

void BM_ValidateUtf8(benchmark::State& state) {
  const Bytes& in = utf8_text(state);
  for (auto _ : state) benchmark::DoNotOptimize(is_valid_utf8(in.data(), in.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(BM_ValidateUtf8)->Arg(64 << 10)->Arg(8 << 20);

// Classing a UTF-8 text without a mark: the NUL search and the validation.
void BM_ClassifyUtf8(benchmark::State& state) {
  const Bytes& in = utf8_text(state);
  for (auto _ : state) benchmark::DoNotOptimize(classify_text(in.data(), in.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(BM_ClassifyUtf8)->Arg(64 << 10)->Arg(8 << 20);

void decode(benchmark::State& state, UnicodeClass code, const Bytes& in) {
  std::vector<char> out(unicode_to_cp932_capacity(in.size()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(unicode_to_cp932(code, in.data(), in.size(), out.data(), UNMAPPABLE_GETA));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
void BM_Utf8ToCp932(benchmark::State& state) { decode(state, UNICODE_UTF8, utf8_text(state)); }
void BM_Utf16LeToCp932(benchmark::State& state) { decode(state, UNICODE_UTF16LE, utf16_text(state)); }
BENCHMARK(BM_Utf8ToCp932)->Arg(64 << 10)->Arg(8 << 20);
BENCHMARK(BM_Utf16LeToCp932)->Arg(64 << 10)->Arg(8 << 20);

// Decoding UTF-8 that classing has found valid, as the join does with such a source.
void BM_ValidUtf8ToCp932(benchmark::State& state) {
  const Bytes& in = utf8_text(state);
  std::vector<char> out(unicode_to_cp932_capacity(in.size()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(valid_utf8_to_cp932(in.data(), in.size(), out.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(BM_ValidUtf8ToCp932)->Arg(64 << 10)->Arg(8 << 20);

// Classing and decoding a UTF-8 text without a mark in one.
void BM_ClassifyAndDecodeUtf8(benchmark::State& state) {
  const Bytes& in = utf8_text(state);
  std::vector<char> out(unicode_to_cp932_capacity(in.size()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(classify_and_decode(in.data(), in.size(), out.data(), UNMAPPABLE_GETA));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(BM_ClassifyAndDecodeUtf8)->Arg(64 << 10)->Arg(8 << 20);

void encode(benchmark::State& state, UnicodeOutput code) {
  const Bytes& in = cp932_text(state);
  std::vector<char> out(cp932_to_unicode_capacity(in.size()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(cp932_to_unicode(code, true, in.data(), in.size(), out.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
void BM_Cp932ToUtf8(benchmark::State& state) { encode(state, OUTPUT_UTF8); }
void BM_Cp932ToUtf16Le(benchmark::State& state) { encode(state, OUTPUT_UTF16LE); }
BENCHMARK(BM_Cp932ToUtf8)->Arg(64 << 10)->Arg(8 << 20);
BENCHMARK(BM_Cp932ToUtf16Le)->Arg(64 << 10)->Arg(8 << 20);

}  // namespace

BENCHMARK_MAIN();
