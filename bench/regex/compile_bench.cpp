// Compile time of realistic table patterns.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "regex/regex.h"

namespace {

struct Pattern {
  const char* name;
  std::string text;
  uint32_t options;
};

const Pattern kPatterns[] = {
    {"literal", "Copyright", 0},
    {"date", "([0-9]{4})-([0-9]{2})-([0-9]{2})", 0},
    {"words", "\\b(\\w+)\\s+\\1\\b", OPT_FOLD},
    {"html_tag", "<(/?)([a-zA-Z][a-zA-Z0-9]*)[^>]*>", 0},
    {"kanji_class", "[\x82\x9f-\x82\xf1]+(\x81\x41|\x81\x42)", OPT_KANJI},
    {"alternation", "(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun)day", 0},
    {"email", "[\\w.+-]+@[\\w-]+(\\.[\\w-]+)+", 0},
    {"long_literal", std::string(200, 'x') + "(y|z)*", 0},
};

void BM_Compile(benchmark::State& state) {
  const Pattern& p = kPatterns[state.range(0)];
  state.SetLabel(p.name);
  char message[RX_MESSAGE_SIZE];
  for (auto _ : state) {
    uint32_t options = p.options;
    RegexHandle* h = rx_compile(p.text.data(), p.text.data() + p.text.size(), &options, message);
    benchmark::DoNotOptimize(h);
    if (!h) state.SkipWithError(message);
    rx_free(h);
  }
}
BENCHMARK(BM_Compile)->DenseRange(0, sizeof kPatterns / sizeof kPatterns[0] - 1);

}  // namespace
