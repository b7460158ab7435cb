// Substitution: the replacement text's escapes and references, and single and global
// runs over targets.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/regex/helpers.h"

namespace {

using namespace regex_test;

// Name, command, subject, outcome.
TEST(SubstRun, Outcomes) {
  const std::tuple<const char*, std::string, std::string, Outcome> cases[] = {
      // What the replacement inserts: groups, escapes, the caller's bytes.
      {"absent_group_inserts_nothing", "s/(a)(b)?/$2-$1/", "a", {1, "", "-a"}},
      {"every_digit_of_a_reference", "s/(a)/<$12><\\101>/", "ab", {1, "", "<><>b"}},
      {"many_references", "s/(a)(b)/" + repeat("-$2$1", 40) + "/", "ab", {1, "", repeat("-ba", 40)}},
      {"hex_and_control", "s/a/\\x41\\cA\\ca\\c[\\c?/", "a", {1, "", "A\x01\x01\x1b\x7f"}},
      {"hex_x_counts_as_zero", "s/a/\\xx1\\xfg/", "a", {1, "", "\x01\x0fg"}},
      {"hex_without_digits_is_nul", "s/a/\\xq/", "a", {1, "", std::string("\0q", 2)}},
      {"named_escapes", "s/a/\\n\\t\\r\\f\\e\\a/", "xa", {1, "", "x\n\t\r\f\x1b\x07"}},
      {"escaped_specials", "s/a/\\$\\&\\\\\\/\\q/", "a", {1, "", "$&\\/q"}},
      {"octal_has_three_digits_counting_zero", "s/a/\\0101/", "a", {1, "", "\x08\x31"}},
      {"octal_stops_after_three_digits", "s/a/\\0777/", "a", {1, "", "?7"}},
      {"dollar_zero_is_dropped", "s/a/$0\\n/", "a", {1, "", "0\n"}},
      {"lone_dollar_at_the_end_kept", "s/a/\\nx$/", "a", {1, "", "\nx$"}},
      {"control_without_letter_inserts_nothing", "s/b/a\\n\\c/", "b", {1, "", "a\n"}},
      {"huge_group_number_inserts_nothing", "s/(a)/<$4294967296>/", "ab", {1, "", "<>b"}},
      {"group_number_past_int_max_inserts_nothing", "s/(a)/<$2147483648>/", "ab", {1, "", "<>b"}},
      {"group_zero_by_wrapping_never_happens", "s/(a)/<$4294967296$1>/", "ab", {1, "", "<a>b"}},
      {"one_byte_replacement", "s/a/$/", "a", {1, "", "$"}},
      {"kanji_with_trail_0x5c_copied", "s/a/\x95\\/", "a", {1, "", "\x95\\"}},
      {"kanji_with_trail_0x5c_and_group", "s/(a)/\x95\\$1/", "a", {1, "", "\x95\\a"}},
      {"kanji_with_trail_0x24_copied", "s/(a)/\x83$1/", "a", {1, "", "\x83$1"}},
      {"no_match_no_result", "s/a/b/", "xyz", {0, "", kNone}},
      {"whole_text_to_nothing", "s/.*//", "abc", {1, "", kNone}},
      {"fold_inserts_the_callers_bytes", "s/a(b)/<$1>/i", "xABy", {1, "", "x<B>y"}},
      // Global runs and empty matches.
      {"empty_matches_between_characters", "s/x*/-/g", "abc", {4, "", "-a-b-c-"}},
      {"no_empty_match_at_the_end_once_reached", "s/x*/-/g", "xxx", {1, "", "-"}},
      {"empty_match_after_a_match", "s/b*/-/g", "abc", {4, "", "-a--c-"}},
      {"kanji_never_splits", "s/x*/-/gk", "\x82\xa0\x82\xa2", {3, "", "-\x82\xa0-\x82\xa2-"}},
      {"lazy_pairs_one_after_another", "s/a(.*?)b/[$1]/g", "axbyab\nazb", {3, "", "[x]y[]\n[z]"}},
      {"alternation_groups_one_after_another", "s/(ab|c)/<$1>/g", "xabcab", {3, "", "x<ab><c><ab>"}},
      {"byte_runs_to_the_last_byte", "s/[0-9]+/#/g", "a12b3", {2, "", "a#b#"}},
      {"word_runs_skip_second_bytes",
       "s/\\w+/W/gk",
       "\x82\x61"
       "ab\x82\x61",
       {1, "", "\x82\x61W\x82\x61"}},
      // Each character, then an empty match where none follows: more matches than bytes.
      {"gpos_run_counts_past_the_length", "s/(\\G\\w)*|/-/g", "ab c", {5, "", "--- --"}},
      {"bytes_without_k", "s/x*/-/g", "\x82\xa0", {3, "", "-\x82-\xa0-"}},
      {"kanji_no_match_on_a_trail_byte", "s/a+/X/gk", "a\x82\x61\x61\x62", {2, "", "X\x82\x61Xb"}},
      {"required_literal_after_a_lead_byte_value", "s/.ab/X/", "z\x81\x61\x62", {1, "", "zX"}},
      {"required_literal_not_inside_a_character_with_k", "s/.ab/X/k", "z\x81\x61\x62", {0, "", kNone}},
      {"anchor_without_m_only_at_the_start", "s/^a/x/g", "a\na", {1, "", "x\na"}},
      {"anchor_with_m_at_every_line", "s/^a/x/gm", "a\na", {2, "", "x\nx"}},
      {"text_start_only_once", "s/\\Aa/x/g", "aa", {1, "", "xa"}},
      {"gpos_continues_where_the_last_ended", "s/\\Ga/x/g", "aaba", {2, "", "xxba"}},
      {"every_byte_deleted", "s/.//g", "abc", {3, "", kNone}},
      {"lookahead_empty_matches", "s/(?=b)/^/g", "abab", {2, "", "a^ba^b"}},
  };
  for (const auto& [name, command, subject, outcome] : cases)
    EXPECT_EQ(subst(command, subject), outcome) << name;
}

TEST(SubstRun, LongOutputsKeepEveryByte) {
  // Outputs far beyond the first block (the target, an eighth more, and the replacement)
  // grow without loss.
  const std::string commas(200000, ',');
  std::string expected;
  for (size_t i = 0; i < commas.size(); ++i) expected += ", ";
  EXPECT_EQ(subst("s/,/, /g", commas), (Outcome{200000, "", expected}));
  const std::string wide(1000, 'a');
  EXPECT_EQ(subst("s/a/" + std::string(300, 'b') + "/g", wide).result, std::string(300000, 'b'));
}

// Runaway commands over long lines: blocks of 999 repeated characters, each closed by a
// byte that makes the pattern fail (even blocks) or match (odd blocks). Without the
// failure memo every failing block takes exponential time; the answers are perl's.
TEST(SubstRun, RunawayCommandsAnswerOverLongLines) {
  // Command, block body, the byte that fails a block, the one that passes it, what a passing
  // block becomes.
  const std::tuple<const char*, std::string, const char*, const char*, const char*> cases[] = {
      {"s/(a|aa)*c/X/", std::string(999, 'a'), "b", "c", "X"},
      {"s/(a*)*b/X/", std::string(999, 'a'), "c", "b", "X"},
      {"s/^(a|a)*$/X/m", std::string(998, 'a'), "b\n", "\n", "X\n"},
      {"s/(x+x+)+y/Z/", std::string(999, 'x'), "a", "y", "Z"},
  };
  for (const int size : {20000, 80000}) {
    for (const auto& [command, body, fail, pass, replaced] : cases) {
      std::string subject, once, global;
      for (int block = 0; block < size / 1000; ++block) {
        const std::string tail = block % 2 ? pass : fail;
        subject += body + tail;
        global += block % 2 ? std::string(replaced) : body + tail;
        once += block == 1 ? std::string(replaced) : body + tail;
      }
      SCOPED_TRACE(std::string(command) + " over " + std::to_string(subject.size()) + " bytes");
      EXPECT_EQ(subst(command, subject), (Outcome{1, "", once}));
      EXPECT_EQ(subst(std::string(command) + "g", subject), (Outcome{size / 2000, "", global}));
    }
    // Words up to a closing byte that is not the end: the only match is the empty one
    // at the end of the text.
    std::string words;
    while (words.size() + 5 < static_cast<size_t>(size)) words += "abcd ";
    words += "abcd!";
    SCOPED_TRACE("words over " + std::to_string(words.size()) + " bytes");
    EXPECT_EQ(subst("s/(\\w+\\s?)*$/X/", words), (Outcome{1, "", words + "X"}));
    EXPECT_EQ(subst("s/(\\w+\\s?)*$/X/g", words), (Outcome{1, "", words + "X"}));
  }
}

}  // namespace
