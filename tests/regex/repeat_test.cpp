// Simple repeats: runs of a class taken by blocks in byte mode and character by character
// in double-byte mode, and repeats that need no choice point.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/regex/helpers.h"

namespace {

using namespace regex_internal;

// In byte mode a run outside a set ends at its first byte in the set, past the first
// block too; in double-byte mode a character's second byte never ends it.
TEST(SimpleRepeat, RunOutsideASet) {
  const std::string kanji40 = regex_test::repeat("\x88\x9f", 20);
  const std::tuple<const char*, const char*, std::string, uint32_t, const char*> cases[] = {
      {"space_past_first_block", "\\S+", std::string(40, 'x') + " y", 0, "0,40"},
      {"digit_past_first_block", "\\D+", std::string(40, 'x') + "7", 0, "0,40"},
      {"word_in_byte_mode_trail", "\\W+", kanji40 + "\x83\x41", 0, "0,41"},
      {"word_as_second_byte", "\\W+", kanji40 + "\x83\x41" + "a", OPT_KANJI, "0,42"},
      {"space_as_second_byte", "\\S+", kanji40 + "\x83 x", OPT_KANJI, "0,43"},
  };
  for (const auto& [name, pattern, subject, options, expected] : cases)
    EXPECT_EQ(regex_test::match(pattern, subject, options), expected) << name;
}

// A greedy repeat before the end of the match keeps what it took, except in double-byte
// mode where it ends inside a character: a lead byte alone at the end is given back, and
// a repeat that cannot give back fails there.
TEST(SimpleRepeat, BeforeTheEnd) {
  const std::tuple<const char*, const char*, std::string, uint32_t, const char*> cases[] = {
      {"byte_mode_keeps_all", "(\\W+)", "!\x88", 0, "0,2 0,2"},
      {"lone_lead_byte_given_back", "(\\W+)", "!\x88", OPT_KANJI, "0,1 0,1"},
      {"nothing_to_give_back", "\\W{1}", "\x88", OPT_KANJI, "no"},
      {"then_a_group", "^(\\S+) (\\w+)", "ab cd!", 0, "0,5 0,2 3,5"},
  };
  for (const auto& [name, pattern, subject, options, expected] : cases)
    EXPECT_EQ(regex_test::match(pattern, subject, options), expected) << name;
}

}  // namespace
