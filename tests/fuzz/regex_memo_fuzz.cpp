// Fuzz target: runs a fuzzed pattern over a fuzzed subject as a global run three times:
// with the matcher at every start, once with the failure memo on from the first step and
// once without it, and with the searches that bypass the matcher; and checks that all
// find the same matches with the same groups. Where the plain search gives up, the
// comparison ends: the memo may answer there.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "tests/fuzz/program_check.h"

namespace {

using namespace regex_internal;

constexpr int64_t kFuzzBudget = 200000;

struct Search {
  RegexHandle* handle;
  MatchRun run;
  Search(RegexHandle* h, MemoMode mode, bool matcher_only) : handle(h) {
    run.memo_mode = mode;
    run.matcher_only = matcher_only;
  }
  ~Search() { rx_free(handle); }

  // "no", "error", or the group offsets from begin of the next match from start.
  std::string next(const unsigned char* start, const unsigned char* end, const unsigned char* begin,
                   int min_end) {
    try {
      if (!exec_match(handle, start, end, begin, min_end, &run, kFuzzBudget)) return "no";
    } catch (const Failure&) {
      return "error";
    }
    std::string out;
    for (int g = 0; g <= handle->group_count; ++g) {
      if (handle->match_ends[g] == nullptr) {
        out += "- ";
        continue;
      }
      out += std::to_string(handle->match_starts[g] - begin) + "," +
             std::to_string(handle->match_ends[g] - begin) + " ";
    }
    return out;
  }
};

RegexHandle* compile(const char* pattern, size_t length, uint32_t options) {
  char message[RX_MESSAGE_SIZE];
  RegexHandle* h = rx_compile(pattern, pattern + length, &options, message);
  if (h && h->pattern_length == 0) {
    rx_free(h);
    return nullptr;
  }
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint32_t options = regex_fuzz::options_from(data[0]);
  const size_t pattern_length = std::min<size_t>(data[1], size - 2),
               subject_length = size - 2 - pattern_length;
  const auto pattern = regex_fuzz::exact_copy<char>(data + 2, pattern_length, false);
  const auto subject = regex_fuzz::exact_copy<unsigned char>(data + 2 + pattern_length, subject_length, true);

  RegexHandle* plain_handle = compile(pattern.get(), pattern_length, options);
  if (plain_handle == nullptr) return 0;
  Search plain(plain_handle, MemoMode::kNever, true);
  Search memo(compile(pattern.get(), pattern_length, options), MemoMode::kAlways, true);
  Search bypass(compile(pattern.get(), pattern_length, options), MemoMode::kNever, false);
  regex_fuzz::check(memo.handle != nullptr && bypass.handle != nullptr);

  const unsigned char* begin = subject.get();
  const unsigned char* end = begin + subject_length;
  const unsigned char* start = begin;
  int min_end = 0;
  for (int matches = 0; start < end && matches < 64; ++matches) {
    const std::string expected = plain.next(start, end, begin, min_end);
    if (expected == "error") break;
    regex_fuzz::check(memo.next(start, end, begin, min_end) == expected);
    regex_fuzz::check(bypass.next(start, end, begin, min_end) == expected);
    if (expected == "no") break;
    const unsigned char* match_start = plain.handle->match_starts[0];
    start = plain.handle->match_ends[0];
    min_end = match_start == start ? 1 : 0;
  }
  return 0;
}
