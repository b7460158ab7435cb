// Runs the benchmark searches over a generated 32 MiB Shift_JIS text with this
// engine, PCRE2 (8-bit, no UTF; interpreter and JIT) and Oniguruma (Shift_JIS),
// and prints MB/s and match counts side by side.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <oniguruma.h>
#include <pcre2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "bench/regex/sjis_text.h"
#include "regex/internal.h"

namespace {

using regex_internal::exec_match;
using regex_internal::MatchRun;

struct Result {
  double mb_per_s = 0;
  long matches = -1;
};

Result timed(const std::string& text, const std::function<long()>& run) {
  Result r;
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    r.matches = run();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    best = std::min(best, s);
  }
  r.mb_per_s = static_cast<double>(text.size()) / (1 << 20) / best;
  return r;
}

Result ours(const regex_bench::SearchCase& c, const std::string& text) {
  uint32_t options = c.options;
  char message[RX_MESSAGE_SIZE];
  RegexHandle* h = rx_compile(c.pattern, c.pattern + std::strlen(c.pattern), &options, message);
  if (!h) return {};
  Result r = timed(text, [&] {
    const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = begin + text.size();
    const unsigned char* start = begin;
    MatchRun cache;
    long n = 0;
    int min_end = 0;
    while (start < end && exec_match(h, start, end, begin, min_end, &cache)) {
      ++n;
      min_end = h->match_ends[0] == h->match_starts[0] ? 1 : 0;
      start = h->match_ends[0];
    }
    return n;
  });
  rx_free(h);
  return r;
}

Result pcre2(const regex_bench::SearchCase& c, const std::string& text, bool jit) {
  uint32_t flags = 0;
  if (c.options & OPT_FOLD) flags |= PCRE2_CASELESS;
  if (c.options & OPT_MULTILINE) flags |= PCRE2_MULTILINE;
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(c.pattern), PCRE2_ZERO_TERMINATED, flags, &error,
                                   &offset, nullptr);
  if (!code) return {};
  if (jit && pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) != 0) {
    pcre2_code_free(code);
    return {};
  }
  pcre2_match_data* md = pcre2_match_data_create_from_pattern(code, nullptr);
  Result r = timed(text, [&] {
    long n = 0;
    PCRE2_SIZE start = 0;
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
    while (start < text.size() && pcre2_match(code, subject, text.size(), start, 0, md, nullptr) > 0) {
      ++n;
      const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
      start = ov[1] > ov[0] ? ov[1] : ov[0] + 1;
    }
    return n;
  });
  pcre2_match_data_free(md);
  pcre2_code_free(code);
  return r;
}

Result oniguruma(const regex_bench::SearchCase& c, const std::string& text) {
  OnigOptionType options = ONIG_OPTION_WORD_IS_ASCII | ONIG_OPTION_DIGIT_IS_ASCII | ONIG_OPTION_SPACE_IS_ASCII;
  if (c.options & OPT_FOLD) options |= ONIG_OPTION_IGNORECASE;
  regex_t* reg = nullptr;
  OnigErrorInfo info;
  const auto* pattern = reinterpret_cast<const OnigUChar*>(c.pattern);
  // Ruby syntax: ^ always works at every line, as the multi-line search wants.
  if (onig_new(&reg, pattern, pattern + std::strlen(c.pattern), options, ONIG_ENCODING_SJIS, ONIG_SYNTAX_RUBY,
               &info) != ONIG_NORMAL)
    return {};
  OnigRegion* region = onig_region_new();
  Result r = timed(text, [&] {
    long n = 0;
    const auto* str = reinterpret_cast<const OnigUChar*>(text.data());
    const auto* end = str + text.size();
    const OnigUChar* start = str;
    while (start < end && onig_search(reg, str, end, start, end, region, ONIG_OPTION_NONE) >= 0) {
      ++n;
      const OnigUChar* match_end = str + region->end[0];
      start = match_end > str + region->beg[0] ? match_end : str + region->beg[0] + 1;
    }
    return n;
  });
  onig_region_free(region, 1);
  onig_free(reg);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32;
  OnigEncoding encodings[] = {ONIG_ENCODING_SJIS};
  onig_initialize(encodings, 1);
  const std::string text = regex_bench::make_sjis_text(mib << 20);
  std::printf("%-24s %10s %10s | %10s %10s %10s | %10s %10s | %7s %7s\n", "search", "ours MB/s", "matches",
              "pcre2 MB/s", "jit MB/s", "matches", "onig MB/s", "matches", "/pcre2", "/onig");
  for (const auto& c : regex_bench::kSearches) {
    const Result o = ours(c, text);
    const Result p = pcre2(c, text, false);
    const Result j = pcre2(c, text, true);
    const Result g = oniguruma(c, text);
    std::printf("%-24s %10.1f %10ld | %10.1f %10.1f %10ld | %10.1f %10ld | %7.2f %7.2f\n", c.name, o.mb_per_s,
                o.matches, p.mb_per_s, j.mb_per_s, p.matches, g.mb_per_s, g.matches,
                p.mb_per_s > 0 ? o.mb_per_s / p.mb_per_s : 0.0, g.mb_per_s > 0 ? o.mb_per_s / g.mb_per_s : 0.0);
    std::fflush(stdout);
  }
  onig_end();
  return 0;
}
