// Every allocation of the engine failing in turn, while commands compile, match,
// substitute and transliterate: a call either does all it does with memory to spare or
// reports the lack of memory with no result, and leaves nothing allocated (the leak check
// of the asan build).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

#include "regex/internal.h"
#include "tests/regex/helpers.h"

namespace regex_test {
namespace {

using regex_internal::allocation_failure_pending;
using regex_internal::fail_allocation_after;

const std::set<std::string> kMemoryMessages = {
    "lack of memory",      "out of space savepvn", "out of space regexp",
    "out of space startp", "out of space endp",    "precompile out of space",
    "match out of space",  "out of space buf",     "out of space trcomp",
};

TEST(AllocationFailure, EveryAllocationOfACommand) {
  const std::tuple<const char*, std::string, std::string, Entry> cases[] = {
      {"groups_swapped_globally", "s/(\\w+)-(\\d+)/$2:$1/g", repeat("abc-12 ", 300), Entry::Subst},
      {"deep_backtracking", "m/((?:a|b)*)c/", repeat("ab", 3000) + "c", Entry::Subst},
      {"many_references", "s/(x)/" + repeat("$1$&", 30) + "/g", repeat("x-", 50), Entry::Subst},
      // Shift_JIS: 漢字, あ-ん, ア-ン, あいう.
      {"classes_folded_kanji", "s/(?i)[a-f0-9]+|\x8a\xbf\x8e\x9a/#/gk",
       repeat("DEADbeef \x8a\xbf\x8e\x9a ", 100), Entry::Subst},
      {"transliteration_kanji", "tr/a-z\x82\xa0-\x82\xf1/A-Z\x83\x41-\x83\x93/k",
       repeat("abc \x82\xa0\x82\xa2\x82\xa4 ", 100), Entry::Trans},
      {"transliteration_delete", "tr/a-c//d", repeat("abcd", 200), Entry::Trans},
  };
  for (const auto& [name, command, subject, entry] : cases) {
    SCOPED_TRACE(name);
    const Outcome baseline = run_command(command, subject, entry);
    ASSERT_GE(baseline.count, 0) << baseline;
    int failures = 0;
    for (long n = 0;; ++n) {
      fail_allocation_after(n);
      const Outcome o = run_command(command, subject, entry);
      const bool reached = !allocation_failure_pending();
      fail_allocation_after(-1);
      if (!reached) {
        EXPECT_EQ(o, baseline) << "with allocations to spare";
        break;
      }
      ++failures;
      // -1, or 0 where the output buffer could not be had.
      EXPECT_LE(o.count, 0) << "allocation " << n << ": " << o;
      EXPECT_TRUE(kMemoryMessages.count(o.message)) << "allocation " << n << ": " << o;
      EXPECT_EQ(o.result, kNone) << "allocation " << n;
    }
    EXPECT_GT(failures, 0);
  }
}

}  // namespace
}  // namespace regex_test
