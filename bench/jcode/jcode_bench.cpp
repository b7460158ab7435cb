// Throughput of code detection and conversion on typical Japanese text (MB/s of input).
// Every iteration first copies the input into the work buffer, as the converters work in
// place; BM_CopyOnly measures that copy alone.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "jcode/jcode.h"

namespace {

using Bytes = std::string;

// Shift_JIS prose: lines of 20 to 70 characters made of runs of kanji, hiragana and
// katakana with punctuation, now and then an ASCII word or number and (unless left out) a
// few half-width katakana, each line ending in LF. About 90% of the bytes are double-byte
// characters.
Bytes typical_sjis(size_t size, bool half_width = true) {
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
          int s2 = 0x40 + pick(0xBD);  // kanji, rows 16 to 47
          if (s2 == 0x7F) s2 = 0x80;
          add_pair(text, 0x88 + pick(0x18), s2);
        } else if (kind < 83) {
          add_pair(text, 0x83, 0x40 + pick(0x3F));  // katakana
        } else if (kind < 88) {
          add_pair(text, 0x81, 0x41 + pick(2));  // 、。
          break;
        } else if (kind < 97) {
          text += static_cast<char>(pick(3) ? 'a' + pick(26) : '0' + pick(10));  // ASCII word
        } else if (half_width) {
          text += static_cast<char>(0xB1 + pick(0x2D));  // half-width katakana
        } else {
          add_pair(text, 0x83, 0x40 + pick(0x3F));
        }
      }
      if (kind >= 88 && kind < 97) text += ' ';
    }
    text += '\n';
  }
  return text;
}

Bytes ascii_text(size_t size) {
  Bytes text;
  while (text.size() < size) text += "The quick brown fox jumps over the lazy dog, 0123456789.\n";
  return text;
}

const Bytes& sjis_input(size_t size) {
  static Bytes text;
  if (text.size() != size) text = typical_sjis(size);
  return text;
}

size_t jis_capacity(size_t n) { return sjis_to_jis_capacity(n); }
size_t euc_capacity(size_t n) { return sjis_to_euc_capacity(n); }
size_t same_capacity(size_t n) { return n + 1; }

Bytes convert_once(const Bytes& in, size_t (*convert)(char*, size_t), size_t (*capacity)(size_t)) {
  std::vector<char> buf(capacity(in.size()));
  std::memcpy(buf.data(), in.data(), in.size());
  return Bytes(buf.data(), convert(buf.data(), in.size()));
}

// Runs `convert` over `in` in a buffer of `capacity(in.size())` bytes.
void run(benchmark::State& state, const Bytes& in, size_t (*convert)(char*, size_t),
         size_t (*capacity)(size_t)) {
  std::vector<char> buf(capacity(in.size()));
  size_t out = 0;
  for (auto _ : state) {
    std::memcpy(buf.data(), in.data(), in.size());
    out = convert(buf.data(), in.size());
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
  state.counters["out_ratio"] = static_cast<double>(out) / static_cast<double>(in.size());
}

size_t copy_only(char*, size_t n) { return n; }

void BM_CopyOnly(benchmark::State& state) {
  run(state, sjis_input(state.range(0)), copy_only, same_capacity);
}

void BM_SjisToEuc(benchmark::State& state) {
  run(state, sjis_input(state.range(0)), sjis_to_euc, euc_capacity);
}

void BM_SjisToJis(benchmark::State& state) {
  run(state, sjis_input(state.range(0)), sjis_to_jis, jis_capacity);
}

void BM_EucToSjis(benchmark::State& state) {
  const Bytes euc = convert_once(sjis_input(state.range(0)), sjis_to_euc, euc_capacity);
  run(state, euc, euc_to_sjis, same_capacity);
}

void BM_JisToSjis(benchmark::State& state) {
  const Bytes jis = convert_once(sjis_input(state.range(0)), sjis_to_jis, jis_capacity);
  run(state, jis, jis_to_sjis, same_capacity);
}

// Detection and input normalisation as the join runs them on every source.
void BM_ToSjisOnEuc(benchmark::State& state) {
  const Bytes euc = convert_once(sjis_input(state.range(0)), sjis_to_euc, euc_capacity);
  run(state, euc, to_sjis, same_capacity);
}

void BM_ToSjisOnJis(benchmark::State& state) {
  const Bytes jis = convert_once(sjis_input(state.range(0)), sjis_to_jis, jis_capacity);
  run(state, jis, to_sjis, same_capacity);
}

void BM_ToSjisOnSjis(benchmark::State& state) {
  run(state, sjis_input(state.range(0)), to_sjis, same_capacity);
}

// Without half-width katakana the text keeps its length and converts in place.
void BM_SjisToEucNoHalfWidth(benchmark::State& state) {
  run(state, typical_sjis(state.range(0), false), sjis_to_euc, euc_capacity);
}

// Detection has to read all of a text that holds no decisive byte.
void BM_DetectAscii(benchmark::State& state) {
  const Bytes text = ascii_text(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(detect_kanji_code(text.data(), text.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

// ASCII-only text through the output converters: the prefix that nothing changes.
void BM_SjisToEucAscii(benchmark::State& state) {
  run(state, ascii_text(state.range(0)), sjis_to_euc, euc_capacity);
}

constexpr int64_t kSmall = 64 << 10;
constexpr int64_t kLarge = 8 << 20;

BENCHMARK(BM_CopyOnly)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_SjisToEuc)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_SjisToEucNoHalfWidth)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_SjisToJis)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_EucToSjis)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_JisToSjis)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_ToSjisOnEuc)->Arg(kLarge);
BENCHMARK(BM_ToSjisOnJis)->Arg(kLarge);
BENCHMARK(BM_ToSjisOnSjis)->Arg(kLarge);
BENCHMARK(BM_DetectAscii)->Arg(kLarge);
BENCHMARK(BM_SjisToEucAscii)->Arg(kLarge);

}  // namespace

BENCHMARK_MAIN();
