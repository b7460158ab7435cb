// Substitution and transliteration over large texts: long outputs, many matches,
// and a table of commands over Shift_JIS text as the replacement mode runs it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "regex/regex.h"

namespace {

// Japanese prose in Shift_JIS with ASCII dates and numbers, about 100 bytes a line.
std::string sjis_text(size_t bytes) {
  const std::string lines[] = {
      "\x93\x8c\x8b\x9e\x82\xcc\x89\xef\x8b\x63\x82\xcd 2026/12/07 \x82\xc9\x8a\x4a\x82\xa9\x82\xea\x82\xdc\x82"
      "\xb5\x82\xbd\x81\x42\x8e\x51\x89\xc1\x8e\xd2\x82\xcd 128 \x90\x6c\x81\x42\n",
      "\x91\xe5\x8d\xe3\x82\xa9\x82\xe7\x82\xcc\x95\xf1\x8d\x90: Report 7/1/2027, total=3,456,789 yen.\n",
      "\x83\x5c\x83\x74\x83\x67\x83\x45\x83\x46\x83\x41\x82\xcc\x90\xdd\x92\xe8\x82\xf0\x8a\x6d\x94\x46\x82\xb5"
      "\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42 see http://example.jp/a?b=c\n",
  };
  std::string text;
  for (size_t i = 0; text.size() < bytes; ++i) text += lines[i % 3];
  return text;
}

int run(const char* command, const std::string& text, bool trans, RegexHandle** slot, char* message) {
  const char* s = text.data();
  return trans ? rx_trans(command, s, s + text.size(), slot, message)
               : rx_subst(command, s, s + text.size(), slot, message);
}

void BM_GlobalCommas(benchmark::State& state) {
  const std::string text(static_cast<size_t>(state.range(0)), ',');
  char message[RX_MESSAGE_SIZE];
  RegexHandle* slot = nullptr;
  for (auto _ : state) {
    const int n = run("s/,/, /g", text, false, &slot, message);
    if (n != state.range(0)) state.SkipWithError("wrong count");
  }
  rx_free(slot);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_GlobalCommas)->Arg(200000)->Arg(2000000)->Unit(benchmark::kMillisecond);

void BM_TransUpper(benchmark::State& state) {
  std::string text;
  while (text.size() < static_cast<size_t>(state.range(0))) text += "the quick brown fox 0123 ";
  text.resize(static_cast<size_t>(state.range(0)));
  char message[RX_MESSAGE_SIZE];
  RegexHandle* slot = nullptr;
  for (auto _ : state) benchmark::DoNotOptimize(run("tr/a-z/A-Z/", text, true, &slot, message));
  rx_free(slot);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_TransUpper)->Arg(800000)->Arg(8000000)->Unit(benchmark::kMillisecond);

// One command over 4 MB of Shift_JIS text, as the replacement mode runs it: a fresh
// handle per call.
struct Command {
  const char* name;
  const char* text;
  bool trans;
};
const Command kCommands[] = {
    {"kanji_literal", "s/\x93\x8c\x8b\x9e/\x96\xbc\x8c\xc3\x89\xae/gk", false},
    {"dates", "s/(\\d+)\\/(\\d+)\\/(\\d{4})/$3-$1-$2/g", false},
    {"digit_groups", "s/(\\d),(\\d\\d\\d)/$1$2/g", false},
    {"line_ends", "s/\\n/\\r\\n/g", false},
    {"kanji_class", "s/[\x82\x9f-\x82\xf1]+/<$&>/gk", false},
    {"fold_word", "s/report/REPORT/gi", false},
    {"katakana", "tr/\x83\x40-\x83\x93/\x82\x9f-\x82\xf1/k", true},
};

void BM_TableCommand(benchmark::State& state) {
  const Command& c = kCommands[state.range(0)];
  state.SetLabel(c.name);
  const std::string text = sjis_text(4 << 20);
  char message[RX_MESSAGE_SIZE];
  for (auto _ : state) {
    RegexHandle* slot = nullptr;
    const int n = run(c.text, text, c.trans, &slot, message);
    if (n <= 0 || message[0]) state.SkipWithError(message[0] ? message : "no match");
    rx_free(slot);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_TableCommand)->DenseRange(0, sizeof kCommands / sizeof kCommands[0] - 1)->Unit(benchmark::kMillisecond);

}  // namespace
