// Matcher throughput: every match of ten searches over a generated Shift_JIS text,
// found as a global substitution finds them.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "bench/regex/sjis_text.h"
#include "regex/internal.h"

namespace {

using namespace regex_internal;

const std::string& text() {
  static const std::string t = regex_bench::make_sjis_text(8u << 20);
  return t;
}

// Counts the matches of one search from start to end of the text.
long count_matches(RegexHandle* h, const std::string& t, MatchRun& cache) {
  const auto* begin = reinterpret_cast<const unsigned char*>(t.data());
  const auto* end = begin + t.size();
  const unsigned char* start = begin;
  long matches = 0;
  int min_end = 0;
  while (start < end && exec_match(h, start, end, begin, min_end, &cache)) {
    ++matches;
    min_end = h->match_ends[0] == h->match_starts[0] ? 1 : 0;
    start = h->match_ends[0];
  }
  return matches;
}

void BM_Search(benchmark::State& state) {
  const regex_bench::SearchCase& c = regex_bench::kSearches[state.range(0)];
  state.SetLabel(c.name);
  uint32_t options = c.options;
  char message[RX_MESSAGE_SIZE];
  HandlePtr h(rx_compile(c.pattern, c.pattern + std::strlen(c.pattern), &options, message));
  if (!h) {
    state.SkipWithError(message);
    return;
  }
  long matches = 0;
  for (auto _ : state) {
    MatchRun cache;
    matches = count_matches(h.get(), text(), cache);
    benchmark::DoNotOptimize(matches);
  }
  state.counters["matches"] = static_cast<double>(matches);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text().size()));
}
BENCHMARK(BM_Search)->DenseRange(0, std::size(regex_bench::kSearches) - 1)->Unit(benchmark::kMillisecond);

// An ordinary global substitution over 16 MiB through the command entry point.
void BM_GlobalSubstitution16MiB(benchmark::State& state) {
  static const std::string big = regex_bench::make_sjis_text(16u << 20);
  const char* commands[] = {"s/apple/APPLE/g", "s/[0-9]+/#/g", "s/\x95\xcf\x8a\xb7/X/gk"};
  const char* command = commands[state.range(0)];
  state.SetLabel(command);
  char message[RX_MESSAGE_SIZE];
  for (auto _ : state) {
    RegexHandle* slot = nullptr;
    const int n = rx_subst(command, big.data(), big.data() + big.size(), &slot, message);
    if (message[0]) state.SkipWithError(message);
    benchmark::DoNotOptimize(n);
    state.counters["replaced"] = n;
    rx_free(slot);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(big.size()));
}
BENCHMARK(BM_GlobalSubstitution16MiB)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// A case-insensitive global run with a match at every byte: the text is folded once
// per run, so the time grows linearly with the text.
void BM_FoldedRunEveryByte(benchmark::State& state) {
  const std::string text(static_cast<size_t>(state.range(0)), 'A');
  char message[RX_MESSAGE_SIZE];
  uint32_t options = OPT_FOLD;
  const char* pattern = "a";
  HandlePtr h(rx_compile(pattern, pattern + 1, &options, message));
  for (auto _ : state) {
    MatchRun cache;
    benchmark::DoNotOptimize(count_matches(h.get(), text, cache));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_FoldedRunEveryByte)->Arg(1 << 18)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Runaway commands over one line of 20,000 and 80,000 bytes: with the failure memo the
// time grows with the text, so four times the text should take about four times as
// long. Blocks of 999 repeated characters closed by a failing or a passing byte.
void BM_RunawayLine(benchmark::State& state) {
  struct Case {
    const char* command;
    char repeated;
    const char *fail, *pass;
  };
  static const Case cases[] = {
      {"s/(a|aa)*c/X/g", 'a', "b", "c"},           {"s/(a*)*b/X/g", 'a', "c", "b"},
      {"s/^(a|a)*$/X/mg", 'a', "b\n", "\n"},       {"s/(x+x+)+y/Z/g", 'x', "a", "y"},
      {"s/(\\w+\\s?)*$/X/g", 0, nullptr, nullptr},
  };
  const Case& c = cases[state.range(0)];
  const size_t size = static_cast<size_t>(state.range(1));
  std::string line;
  while (line.size() < size) {
    if (c.repeated == 0)
      line += "abcd ";
    else
      line += std::string(999, c.repeated) + (line.size() / 1000 % 2 ? c.pass : c.fail);
  }
  if (c.repeated == 0) line.back() = '!';
  state.SetLabel(c.command);
  char message[RX_MESSAGE_SIZE];
  for (auto _ : state) {
    RegexHandle* slot = nullptr;
    const int n = rx_subst(c.command, line.data(), line.data() + line.size(), &slot, message);
    if (message[0]) state.SkipWithError(message);
    benchmark::DoNotOptimize(n);
    rx_free(slot);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_RunawayLine)->ArgsProduct({{0, 1, 2, 3, 4}, {20000, 80000}})->Unit(benchmark::kMillisecond);

}  // namespace
