// Fuzz target: compiles a fuzzed pattern and runs it over a fuzzed subject, in
// single-byte and double-byte mode, and checks the groups it reports.
#include <cstdint>
#include <cstring>
#include <memory>

#include "tests/fuzz/program_check.h"

namespace {

using namespace regex_internal;

// Small enough to keep runaway inputs quick; the matcher stops the same way at any budget.
constexpr int64_t kFuzzBudget = 200000;

int run(RegexHandle* h, const unsigned char* start, const unsigned char* end, const unsigned char* base,
        MatchRun* cache) {
  try {
    return exec_match(h, start, end, base, 0, cache, kFuzzBudget);
  } catch (const Failure& f) {
    regex_fuzz::check(f.text != nullptr && std::strlen(f.text) <= 40);
    return -1;
  }
}

void check_groups(const RegexHandle* h, const unsigned char* start, const unsigned char* end) {
  regex_fuzz::check(h->match_starts[0] != nullptr && h->match_ends[0] != nullptr);
  regex_fuzz::check(h->match_starts[0] >= start && h->match_ends[0] <= end);
  for (int g = 0; g <= h->group_count; ++g) {
    if (h->match_ends[g] == nullptr) continue;
    regex_fuzz::check(h->match_starts[g] != nullptr);
    regex_fuzz::check(h->match_starts[g] >= start && h->match_starts[g] <= h->match_ends[g] &&
                      h->match_ends[g] <= end);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint32_t options = regex_fuzz::options_from(data[0]);
  const size_t pattern_length = std::min<size_t>(data[1], size - 2),
               subject_length = size - 2 - pattern_length;
  const auto pattern = regex_fuzz::exact_copy<char>(data + 2, pattern_length, false);
  const auto subject = regex_fuzz::exact_copy<unsigned char>(data + 2 + pattern_length, subject_length, true);

  char message[RX_MESSAGE_SIZE];
  uint32_t inout = options;
  RegexHandle* h = rx_compile(pattern.get(), pattern.get() + pattern_length, &inout, message);
  if (h == nullptr || h->pattern_length == 0) {
    rx_free(h);
    return 0;
  }
  regex_fuzz::check_program(h);
  const unsigned char* begin = subject.get();
  const unsigned char* end = begin + subject_length;
  // A whole-text search, then a global run with the fold cache; where both report a
  // match at the same start they must agree.
  const int first = run(h, begin, end, begin, nullptr);
  if (first == 1) check_groups(h, begin, end);
  MatchRun cache;
  const unsigned char* start = begin;
  for (int matches = 0; start < end && matches < 64; ++matches) {
    const int found = run(h, start, end, begin, &cache);
    if (found != 1) break;
    check_groups(h, start, end);
    const unsigned char* next = h->match_ends[0];
    start = next > start ? next : start + 1;
  }
  rx_free(h);
  return 0;
}
