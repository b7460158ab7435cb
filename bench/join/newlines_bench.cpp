// Throughput of line-end normalisation (MB/s of input) on text with CR LF,
// LF and CR line ends. Each iteration copies the input into the work buffer
// first, since the text is rewritten in place; BM_CopyOnly measures that.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "join/join.h"

namespace {

// Lines of 20 to 80 bytes of Shift_JIS-like text ending in the given line end.
std::string text_with(const char* line_end, size_t size) {
  std::mt19937 rng(7);
  std::string text;
  text.reserve(size + 128);
  while (text.size() < size) {
    int length = 20 + static_cast<int>(rng() % 61);
    for (int i = 0; i < length; i += 2) {
      text += static_cast<char>(0x88 + rng() % 0x18);
      text += static_cast<char>(0x40 + rng() % 0x3F);
    }
    text += line_end;
  }
  return text;
}

void Run(benchmark::State& state, const std::string& input, bool normalize) {
  std::string buffer(input.size() + 1, '\0');
  for (auto _ : state) {
    std::memcpy(buffer.data(), input.data(), input.size() + 1);
    if (normalize) normalize_newlines(buffer.data(), input.size());
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

constexpr size_t kSize = size_t{16} << 20;

void BM_CopyOnly(benchmark::State& state) { Run(state, text_with("\r\n", kSize), false); }
void BM_NormalizeCrLf(benchmark::State& state) { Run(state, text_with("\r\n", kSize), true); }
void BM_NormalizeLf(benchmark::State& state) { Run(state, text_with("\n", kSize), true); }
void BM_NormalizeCr(benchmark::State& state) { Run(state, text_with("\r", kSize), true); }

BENCHMARK(BM_CopyOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalizeCrLf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalizeLf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalizeCr)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
