// Matcher: anchors, kanji mode, folding, groups, repeats, depth, budget and memo.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/regex/helpers.h"

namespace {

using namespace regex_internal;
using namespace regex_test;

const std::string kA = "\x82\xa0";      // あ
const std::string kI = "\x82\xa2";      // い
const std::string kFullB = "\x82\x61";  // Ｂ: its trail byte is 'a'
const std::string kAsia = "\x88\x9f";   // 亜: its trail byte is a lead byte

struct MatchCase {
  const char* name;
  std::string pattern;
  std::string subject;
  uint32_t options;
  const char* expected;
  int min_end = 0;
};

TEST(Exec, EarlyReturns) {
  Compiled c = compile("x*");
  Bytes text("abc", true);
  char message[RX_MESSAGE_SIZE] = "junk";
  // start = end: nothing is tried, not even for a pattern that matches empty.
  EXPECT_EQ(rx_exec(c.handle.get(), text.cend(), text.cend(), text.cbegin(), 0, message), 0);
  EXPECT_STREQ(message, "");
  EXPECT_EQ(rx_exec(nullptr, text.cbegin(), text.cend(), text.cbegin(), 0, message), 0);
  EXPECT_EQ(rx_exec(c.handle.get(), nullptr, text.cend(), text.cbegin(), 0, message), 0);
  EXPECT_STREQ(message, "");
}

// What perl shares in the ASCII subset is compared with perl in oracle_test.cpp; these
// rows hold what it leaves out: kanji mode, NUL bytes, the pattern syntax perl reads
// differently, and the rules that differ on purpose.
TEST(Exec, Matches) {
  const MatchCase cases[] = {
      // Anchors and line modes.
      {"bol_start", "^a", "a\na", 0, "0,1"},
      {"bol_not_after_newline_when_anchored", "^b", "a\nb", 0, "no"},
      {"bol_unanchored_tests_byte_before", "x|^b", "a\nb", 0, "2,3"},
      {"bol_never_at_end", "x|^", "a\n", OPT_MULTILINE, "0,0"},
      {"singleline_dot", "a.b", "a\nb", OPT_SINGLELINE, "0,3"},
      {"singleline_dot_not_past_the_end", "a.", "xa", OPT_SINGLELINE, "no"},
      {"implicit_anchor_after_newline", ".*b", "xx\nab", 0, "3,5"},
      // Kanji mode: a lead byte and its trail byte are one character.
      {"dot_takes_both_bytes", ".", kA, OPT_KANJI, "0,2"},
      {"dot_one_byte_without_kanji", ".", kA, 0, "0,1"},
      {"counted_dot_passes_its_limit", ".{1}", kA, OPT_KANJI, "0,2"},
      {"class_two_bytes_count_two", "[" + kA + kI + "]{2}", kA + kI, OPT_KANJI, "0,2"},
      {"class_one_byte_limit", "[" + kA + kI + "]{1}", kA, OPT_KANJI, "no"},
      {"class_optional_is_empty", "[" + kA + kI + "]?", kA, OPT_KANJI, "0,0"},
      {"lazy_tries_char_starts", ".*?x", kA + kI + "x", OPT_KANJI, "0,5"},
      {"class_range", "[" + kA + "-" + kI + "]+", "x" + kA + kI + "y", OPT_KANJI, "1,5"},
      {"negated_class_takes_pair", "[^a]", kA, OPT_KANJI, "0,2"},
      {"literal_not_on_trail_byte", "a", kFullB + "a", OPT_KANJI, "2,3"},
      {"literal_on_trail_byte_without_kanji", "a", kFullB + "a", 0, "1,2"},
      {"nword_takes_pair", "\\W", kA, OPT_KANJI, "0,2"},
      {"word_never_kanji", "\\w+", kA + "ab", OPT_KANJI, "2,4"},
      {"trail_5c_not_escape", "\x95\x5cn", "\x95\x5cn", OPT_KANJI, "0,3"},
      {"first_node_char_starts", "[a]", kFullB + "a", OPT_KANJI, "2,3"},
      {"double_byte_class_starts_a_match", "[" + kA + "-" + kI + "]|z", "x" + kI, OPT_KANJI, "1,3"},
      // No attempt starts on a trail byte, with each start strategy: a run before a literal,
      // the first literal without skip, the first node, the general loop.
      {"run_not_from_trail", "a+b", "a" + kFullB + "ab", OPT_KANJI, "3,5"},
      {"run_from_trail_without_kanji", "a+b", "a" + kFullB + "ab", 0, "2,5"},
      {"first_literal_not_on_trail", "ab", kFullB + "bab", OPT_KANJI, "3,5"},
      {"first_node_not_on_trail", "[a]b", kFullB + "bab", OPT_KANJI, "3,5"},
      {"general_loop_not_on_trail", "(?:a)b", kFullB + "bab", OPT_KANJI, "3,5"},
      {"word_run_after_pair", "\\w+b", kFullB + "bab", OPT_KANJI, "2,5"},
      {"word_run_not_from_trail", "\\w+b", "a" + kFullB + "ab", OPT_KANJI, "3,5"},
      // Case folding.
      {"trail_byte_folded_without_kanji", "\x82\x61", "\x82\x41", OPT_FOLD, "0,2"},
      {"trail_byte_kept_with_kanji", "\x82\x61", "\x82\x41", OPT_FOLD | OPT_KANJI, "no"},
      {"kanji_then_letter", kA + "b", kA + "B", OPT_FOLD | OPT_KANJI, "0,3"},
      {"kanji_mode_folds_the_whole_alphabet", "az", kA + "AZ", OPT_FOLD | OPT_KANJI, "2,4"},
      {"inline_modifier", "a(?i)B", "xAb", 0, "1,3"},
      // How the parser reads escapes, classes, comments and modifiers, seen in what matches.
      {"space_escape_takes_every_blank", "a\\s+b", "a\t\n\x0b\f\r b", 0, "0,8"},
      {"literal_escapes", "\\n\\r\\t\\f\\e\\a\\cA\\cz\\c[\\x41\\0101\\/\\101",
       "\n\r\t\f\x1b\x07\x01\x1a\x1b\x41\x08\x31/A", 0, "0,14"},
      {"octal_ten_without_groups", "\\10", "a\x08", 0, "1,2"},
      {"hex_x_counts_as_zero", "\\xx1", "x1\x01", 0, "2,3"},
      {"huge_backref_is_octal_text", "\\4294967297", "\"94967297", 0, "0,9"},
      {"brace_not_quantifier", "x{,3}", "xx{,3}", 0, "1,6"},
      {"double_byte_before_quantifier", "x" + kA + "+", "x" + kA + kA + "x", OPT_KANJI, "0,5"},
      {"extended_space_hides_star", "a *", "aa*", OPT_EXTENDED, "1,3"},
      {"comment_before_star", "a(?#c)*", "aaa", OPT_EXTENDED, "0,3"},
      {"comment_after_run", "ab(?#c)*", "abab", OPT_EXTENDED, "0,4"},
      {"extended_comment", "a # note\nb", "ab", OPT_EXTENDED, "0,2"},
      {"unterminated_comment", "a(?#abc", "a", 0, "0,1"},
      {"trail_byte_without_kanji", "\x95\x5cn", "\x95\n", 0, "0,2"},
      {"nul_inside_pattern", std::string("a\0b", 3), std::string("a\0b", 3), 0, "0,3"},
      {"kanji_lead_at_pattern_end", "ab\x82", "ab\x82", OPT_KANJI, "0,3"},
      {"modifier_acts_on_whole_pattern", "a$(?m)", "xa\nb", 0, "1,2"},
      {"modifier_before_bar", "a(?i)|b", "B", 0, "0,1"},
      {"modifier_at_group_end", "(a(?i))", "A", 0, "0,1 0,1"},
      {"modifier_after_class", "[A-Z](?i)", "q", 0, "0,1"},
      {"extended_trailing_comment", "a(?x)[b]#c", "ab#c", 0, "0,2"},
      {"extended_trailing_space", "[a] ", "a ", OPT_EXTENDED, "0,1"},
      {"class_bracket_first", "[]a]+", "x]a]", 0, "1,4"},
      {"class_dash_last", "[a-]+", "x-a-", 0, "1,4"},
      {"class_dash_first", "[-a]+", "x-a-", 0, "1,4"},
      {"class_upper_single_folded", "[Q]", "q", OPT_FOLD, "0,1"},
      {"class_set_ends_range", "[a-\\d]+", "a-59", 0, "2,4"},
      {"class_space", "[\\s]+", "x\t\n\x0b\f\r y", 0, "1,7"},
      {"class_non_word", "[\\W]+", "a-" + kA + "b", OPT_KANJI, "1,4"},
      {"class_non_space", "[\\S]+", " " + kA + "x ", OPT_KANJI, "1,4"},
      {"class_escapes", "[\\n\\t\\x41\\cA\\101\\8]+", std::string("-\n\tA\x01\08-", 8), 0, "1,7"},
      {"class_kanji_trail_5d_not_bracket", "[\x83\x5d]", "\x83\x5d", OPT_KANJI, "0,2"},
      {"class_bytes_without_kanji", "[\x83\x5d]", "\x83", 0, "no"},
      // Groups and back-references.
      {"last_iteration", "(a|b)*c", "abac", 0, "0,4 2,3"},
      {"backref_reaches_the_end_folded", "(a)\\1", "aA", OPT_FOLD, "0,2 0,1"},
      {"backref_after_a_run_tried_at_each_start", "(a+)\\1b", "aaab", 0, "1,4 1,2"},
      {"backref_missing_group", "(a)\\2", "aa", 0, "no"},
      {"backref_no_groups", "\\1", "a", 0, "no"},
      {"backref_unset_group", "(x)?a\\1", "a", 0, "no"},
      {"abandoned_alternative", "(a)x|ay", "ay", 0, "0,2 -"},
      {"lazy_loop_keeps_whole_groups", ".(.*)*?[\\w]", "b b", 0, "0,3 1,2"},
      {"lookahead_capture_kept", "(?=(a))a", "a", 0, "0,1 0,1"},
      {"negative_lookahead_capture_dropped", "(?!(a)b)a", "ac", 0, "0,1 -"},
      // Repeats.
      {"simple_max_zero", "x{2,0}", "xxx", 0, "no"},
      {"complex_max_zero", "(x){2,0}", "xxx", 0, "0,2 1,2"},
      {"complex_exact", "(?:ab){2}", "ababab", 0, "0,4"},
      {"complex_min", "(?:ab){2,}", "ab abab", 0, "3,7"},
      {"star_hint", "a*b", "aaac aab", 0, "5,8"},
      {"eol_does_not_give_back", "a\\s*$", "a \n", 0, "0,3"},
      {"eol_then_newline", "a\\s*$\\n", "a\n", 0, "0,2"},
      {"empty_pass_ends_loop", "(?:a*)*b", "aab", 0, "0,3"},
      {"empty_pass_after_backtrack", "(?:.*)*[x]", "bbbbbbbbbb", 0, "no"},
      // A run outside a set ends at its first byte in the set, past the first block too; in
      // kanji mode a character's second byte never ends it.
      {"nonspace_past_first_block", "\\S+", std::string(40, 'x') + " y", 0, "0,40"},
      {"nondigit_past_first_block", "\\D+", std::string(40, 'x') + "7", 0, "0,40"},
      {"nonword_over_trail_in_byte_mode", "\\W+", repeat(kAsia, 20) + "\x83\x41", 0, "0,41"},
      {"nonword_takes_word_trail", "\\W+", repeat(kAsia, 20) + "\x83\x41" + "a", OPT_KANJI, "0,42"},
      {"nonspace_takes_space_trail", "\\S+", repeat(kAsia, 20) + "\x83 x", OPT_KANJI, "0,43"},
      // A greedy repeat before the end keeps what it took, but a lead byte alone at the end
      // in kanji mode, which it gives back; one that cannot give back fails there.
      {"repeat_at_end_keeps_all", "(\\W+)", "!\x88", 0, "0,2 0,2"},
      {"lone_lead_byte_given_back", "(\\W+)", "!\x88", OPT_KANJI, "0,1 0,1"},
      {"nothing_to_give_back", "\\W{1}", "\x88", OPT_KANJI, "no"},
      {"repeat_then_a_group", "^(\\S+) (\\w+)", "ab cd!", 0, "0,5 0,2 3,5"},
      {"nul_is_not_space", "\\S", std::string("\0", 1), 0, "no"},
      {"nonspace_runs_over_nul", "a\\S+", std::string("a\0\0b", 4), 0, "0,4"},
      {"nonword_runs_over_nul", "a\\W+", std::string("a\0-", 3), 0, "0,3"},
      // Look-ahead.
      {"backtracks_past", "(?=(\\w+))\\w*x", "ab x", 0, "3,4 3,4"},
      {"in_loop", "(?:(?=a)\\w)+", "aab", 0, "0,2"},
      {"nested_look_ahead", "(?=a(?!b))a.", "abac", 0, "2,4"},
      // A minimum end: an empty match before it is not taken.
      {"min_end_skips_empty_match", "x*", "abc", 0, "1,1", 1},
      {"min_end_at_text_end", "x*", "a", 0, "1,1", 1},
      {"min_end_inside_a_match", "a*", "aab", 0, "0,2", 1},
  };
  for (const MatchCase& c : cases)
    EXPECT_EQ(match(c.pattern, c.subject, c.options, 0, c.min_end), c.expected)
        << c.name << ": /" << c.pattern << "/";
}

TEST(Exec, FoldCacheGivesTheSameMatches) {
  // A global run with the cache must find what separate calls find.
  const std::string subject = "xA" + kA + "aQ" + kFullB + "Ab" + "\x81\x41" + "aa";
  for (uint32_t options : {OPT_FOLD, OPT_FOLD | OPT_KANJI}) {
    for (const char* pattern : {"a", "a+", "b|a", ".", "\x81\x61"}) {
      Compiled plain = compile(pattern, options);
      Compiled cached = compile(pattern, options);
      Bytes text(subject, true);
      MatchRun cache;
      for (size_t s = 0; s < subject.size(); ++s) {
        char message[RX_MESSAGE_SIZE];
        const int a = rx_exec(plain.handle.get(), text.cbegin() + s, text.cend(), text.cbegin(), 0, message);
        const int b = exec_match(cached.handle.get(), text.begin() + s, text.end(), text.begin(), 0, &cache);
        ASSERT_EQ(a, b) << pattern << " at " << s;
        if (a) {
          EXPECT_EQ(describe(plain, text, a, ""), describe(cached, text, b, "")) << pattern;
        }
      }
    }
  }
}

TEST(Exec, CorruptPrograms) {
  Bytes text("abc", true);
  char message[RX_MESSAGE_SIZE];
  auto run = [&](const Compiled& c) {
    return rx_exec(c.handle.get(), text.cbegin(), text.cend(), text.cbegin(), 0, message);
  };
  Compiled bad_magic = compile("a"), bad_opcode = compile("a"), bad_link = compile("ab");
  bad_magic->program[0] = 0;
  bad_opcode->program[5] = 40;
  bad_link->program[6] = bad_link->program[7] = 0;  // the EXACT's link
  const std::pair<const Compiled*, const char*> cases[] = {
      {&bad_magic, "corrupted regexp program"},
      {&bad_opcode, "regexp memory corruption"},
      {&bad_link, "corrupted regexp pointers"},
  };
  for (const auto& [compiled, expected] : cases) {
    EXPECT_EQ(run(*compiled), 0) << expected;
    EXPECT_STREQ(message, expected);
  }
  // The handle stays usable.
  bad_link->program[6] = 8;
  EXPECT_EQ(run(bad_link), 1);
  EXPECT_STREQ(message, "");
  EXPECT_EQ(run(compile("")), 0);
  EXPECT_STREQ(message, "corrupted regexp program");
}

// Deep matches: every depth the program's limits allow, on the heap.
TEST(ExecDepth, LongComplexRepeats) {
  const std::string ab = repeat("ab", 16000);
  const MatchCase cases[] = {
      {"kanji_dot_loop", "^(?:.)*$", repeat(kA, 32000), OPT_KANJI, "0,64000"},
      {"group_pairs", "(ab)*x", ab + "x", 0, "0,32001 31998,32000"},
      {"alternation_loop", "(?:a|b)*c", ab + "c", 0, "0,32001"},
      {"lazy_alternation_loop", "(a|b)*?c", ab + "c", 0, "0,32001 31999,32000"},
      {"nested_loops", "(?:(?:ab)*c)*d", repeat(repeat("ab", 100) + "c", 150) + "d", 0, "0,30151"},
      {"consecutive_loops", "(?:a|b)*(?:c|d)*e", ab + repeat("cd", 16000) + "e", 0, "0,64001"},
      {"lookahead_per_pass", "(?:(?=[ab])[ab])*c", ab + "c", 0, "0,32001"},
      // A complex repeat makes at most 32767 passes: the match starts 32767 characters before the c.
      {"pass_cap_keeps_the_last", "(?:a|b)*c", repeat("ab", 16500) + "c", 0, "233,33001"},
      {"count_above_the_cap", "(?:a|b){0,40000}", "ab", 0, "compile: {n,m} count above 32766 in regexp"},
  };
  for (const MatchCase& c : cases) EXPECT_EQ(match(c.pattern, c.subject, c.options), c.expected) << c.name;
}

TEST(ExecBudget, RunawaysAnswerUnlessTheyReadCaptures) {
  // Exponential backtracking: without back-references the failure memo answers well
  // within a small budget; with one the search ends with the message.
  const MatchCase cases[] = {
      {"nested_star", "(a*)*b", repeat("a", 30) + "\nb", 0, "31,32 31,31"},
      {"overlapping_alternatives", "(a|aa)*c", repeat("a", 60) + "\nc", 0, "61,62 -"},
      {"optional_run", repeat("a?", 30) + repeat("a", 30), repeat("a", 30), 0, "0,30"},
      {"words_to_end", "(\\w+\\s?)*$", repeat("word ", 12) + "!", 0, "61,61 -"},
      {"lazy_words",
       "(?:\\w+?\\s?"
       "?)*?!\\d",
       repeat("word ", 12) + "!", 0, "no"},
      {"look_ahead_per_pass", "(?:(?=\\w)\\w+)*!\\d", repeat("word", 12) + "!", 0, "no"},
      {"nested_star_reference", "(a*)*b\\1", repeat("a", 30) + "\nb", 0, nullptr},
      {"alternatives_reference", "(a|aa)*c\\1", repeat("a", 60) + "\nc", 0, nullptr},
  };
  for (const MatchCase& c : cases) {
    Compiled compiled = compile(c.pattern);
    ASSERT_TRUE(compiled) << c.name;
    Bytes text(c.subject, true);
    try {
      const int found =
          exec_match(compiled.handle.get(), text.begin(), text.end(), text.begin(), 0, nullptr, 2000000);
      char none[RX_MESSAGE_SIZE] = "";
      EXPECT_EQ(describe(compiled, text, found, none), c.expected ? c.expected : "too complex") << c.name;
    } catch (const Failure& f) {
      EXPECT_EQ(c.expected, nullptr) << c.name;
      EXPECT_STREQ(f.text, kMsgTooComplex) << c.name;
    }
  }
}

TEST(ExecBudget, EntryPointReportsTheMessage) {
  // The whole budget: a few seconds of work; too slow to repeat under the sanitizers,
  // which run the small-budget cases above.
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "full budget skipped under AddressSanitizer";
#endif
  Compiled runaway = compile("(a*)*b\\1");
  Bytes text(repeat("a", 28) + "\nb", true);
  char message[RX_MESSAGE_SIZE];
  EXPECT_EQ(rx_exec(runaway.handle.get(), text.cbegin(), text.cend(), text.cbegin(), 0, message), 0);
  EXPECT_STREQ(message, "regexp match too complex");
}

TEST(ExecMemo, KeptAcrossSearchesOnlyWhereTheStartCannotMatter) {
  // Where a search begins changes what \G, \A and ^ outside multi-line mode match;
  // a program with a back-reference gets no memo at all.
  // Pattern, options, whether the memo serves another start (-1: no memo).
  const std::tuple<const char*, uint32_t, int> cases[] = {
      {"(a|b)*c", 0, 1},    {"^(a|b)*$", OPT_MULTILINE, 1},   {"\\b(a|b)*\\b", 0, 1}, {"^(a|b)*c", 0, 0},
      {"\\A(a|b)*c", 0, 0}, {"\\G(a|b)*c", OPT_MULTILINE, 0}, {"(a|b)*c\\1", 0, -1},
  };
  Bytes text("abababc", true);
  for (const auto& [pattern, options, expected] : cases) {
    Compiled compiled = compile(pattern, options);
    ASSERT_TRUE(compiled) << pattern;
    auto memo = FailureMemo::create(compiled.handle.get(), text.begin(), text.end(), 0);
    if (expected < 0) {
      EXPECT_EQ(memo, nullptr) << pattern;
      continue;
    }
    ASSERT_NE(memo, nullptr) << pattern;
    EXPECT_EQ(memo->serves(text.begin() + 2, text.end(), 0), expected == 1) << pattern;
    EXPECT_FALSE(memo->serves(text.begin() + 2, text.end(), 1)) << pattern;  // another copy of the text
  }
}

}  // namespace
