// Compiler: program bytes, hints, errors and limits (what patterns mean is in exec_test.cpp).
#include <gtest/gtest.h>

#include <string>

#include "tests/regex/helpers.h"

namespace {

using namespace regex_internal;
using regex_test::compile;
using regex_test::Compiled;
using regex_test::literal_text;

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const std::string kA = "\x82\xa0";   // あ
const std::string kN = "\x82\xf1";   // ん

TEST(ProgramBytes, SpecifiedExamples) {
  struct Case { const char* name; std::string pattern; uint32_t options; std::string program; };
  const Case cases[] = {
      {"single_letter", "a", 0,
       bytes({0x9C, 12, 10, 0, 0x7F, 14, 6, 0, 1, 'a', 0, 0, 0, 0})},
      {"alternation", "a|bc", 0,
       bytes({0x9C, 12, 10, 0, 0x7F, 14, 18, 0, 1, 'a', 0, 12, 12, 0, 0x7F, 14, 8, 0, 2, 'b', 'c', 0, 0x7F,
              0, 0, 0})},
      {"plus", "x+", 0,
       bytes({0x9C, 12, 14, 0, 0x7F, 17, 10, 0, 0x7F, 14, 0, 0, 1, 'x', 0, 0, 0, 0})},
      {"negated_kana_range", "[^" + kA + "-" + kN + "]", OPT_KANJI,
       bytes({0x9C, 12, 14, 0, 0x7F, 9, 10, 0, 0x83, 0x81, 0x82, 0xA0, 0x82, 0xF1, 0x82, 0, 0, 0})},
      {"non_digit_in_class", "[\\D]", 0,
       bytes({0x9C, 12, 24, 0, 0x7F, 9, 20, 0, 0, 0x81, 0, 0, 0, 0x2F, 0x81, 0, 0x3A, 0, 0xFF, 0x81, 1, 0,
              0xFF, 0xFF, 0x82, 0, 0, 0})},
  };
  for (const Case& c : cases) {
    Compiled r = compile(c.pattern, c.options);
    ASSERT_TRUE(r) << c.name << ": " << r.message;
    EXPECT_EQ(r.program_bytes(), c.program) << c.name << "\n" << r.dump();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(r->program) % 2, 0u) << c.name;
    // Two spare zero bytes follow the program.
    EXPECT_EQ(r->program[r->program_length], 0) << c.name;
    EXPECT_EQ(r->program[r->program_length + 1], 0) << c.name;
  }
}

struct HintCase {
  const char* name;
  std::string pattern;
  uint32_t options;
  const char* first_literal;
  int first_node_op;  // -1: none
  const char* must_literal;
  int must_offset;
  uint8_t anchors;
  bool tail;
  int min_length;
};

TEST(Analysis, StartHintsAndRequiredLiteral) {
  const HintCase cases[] = {
      {"fold_after_literal", "a(?i)B", 0, "a", -1, "ab", 0, 0, false, 2},
      {"two_alternatives", "abc|abd", 0, "(none)", -1, "(none)", -1, 0, false, 0},
      {"anchored", "^abc", 0, "abc", -1, "(none)", -1, ANCHOR_BOL, false, 3},
      {"digits_then_literal", "\\d+xyz", 0, "(none)", DIGIT, "xyz", -1, ANCHOR_SKIP, false, 4},
      {"fixed_offset", "ab\\d\\dcdef", 0, "ab", -1, "cdef", 4, 0, false, 8},
      {"literal_then_eol", "abc$", 0, "abc", -1, "(none)", -1, 0, false, 3},
      {"star_literal_eol", "x*abc$", 0, "(none)", -1, "abc", -1, 0, true, 3},
      {"implicit_anchor", ".*foo", 0, "(none)", -1, "foo", -1, ANCHOR_BOL | ANCHOR_IMPLICIT, false, 3},
      {"plus_literal", "a+b", 0, "a", -1, "b", -1, ANCHOR_SKIP, false, 1},
      {"class_repeat_min", "[ab]{3}\\d+c", 0, "(none)", CLASS, "c", -1, 0, false, 5},
      {"group_backref_no_skip", "(a)+\\1", 0, "a", -1, "(none)", -1, 0, false, 0},
      {"group_plus_skip", "(a+)b", 0, "a", -1, "b", -1, ANCHOR_SKIP, false, 1},
      {"class_first", "[0-9]x", 0, "(none)", CLASS, "x", 1, 0, false, 2},
      {"word_boundary_first", "\\bfoo", 0, "(none)", WBOUND, "foo", 0, 0, false, 3},
      {"counted_simple_min", "a{3,5}bc", 0, "a", -1, "bc", -1, 0, false, 2},
      {"equal_lengths_first_wins", "ab.cd", 0, "ab", -1, "(none)", -1, 0, false, 5},
      {"equal_lengths_eol_wins", "ab.cd$", 0, "ab", -1, "cd", 3, 0, true, 5},
      {"gpos_anchor", "\\Gab", 0, "ab", -1, "(none)", -1, ANCHOR_BOL, false, 2},
      {"close_then_eol", "x*(abc)$", 0, "(none)", -1, "abc", -1, 0, true, 3},
      {"negative_look_ahead_unfixes", "a(?!b)cd", 0, "a", -1, "cd", -1, 0, false, 3},
      {"nested_alternation", "x(a|b)yz", 0, "x", -1, "yz", -1, 0, false, 3},
  };
  for (const HintCase& c : cases) {
    Compiled r = compile(c.pattern, c.options);
    ASSERT_TRUE(r) << c.name << ": " << r.message;
    EXPECT_EQ(literal_text(r->first_literal), c.first_literal) << c.name;
    EXPECT_EQ(r->first_node ? int{r->first_node[0]} : -1, c.first_node_op) << c.name;
    EXPECT_EQ(literal_text(r->must_literal), c.must_literal) << c.name;
    EXPECT_EQ(r->must_offset, c.must_offset) << c.name;
    EXPECT_EQ(r->anchor_flags, c.anchors) << c.name;
    if (r->must_literal) {
      EXPECT_EQ((r->must_literal->flags & LB_TAIL) != 0, c.tail) << c.name;
      EXPECT_EQ(r->must_literal->useful, 100) << c.name;
    }
    EXPECT_EQ(r->min_length, c.min_length) << c.name;
  }
}

TEST(Analysis, FoldedLiteralsGetFoldedTables) {
  Compiled r = compile("a(?i)B");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->fold, 1);
  EXPECT_EQ(r.options, OPT_FOLD);  // the caller's word gains the inline bit
  EXPECT_EQ(r->flags, 0u);         // the record keeps the word as passed
  EXPECT_TRUE(r->first_literal->flags & LB_TABLE_FOLDED);
  EXPECT_TRUE(r->must_literal->flags & LB_TABLE_FOLDED);
  Compiled one = compile("a");
  EXPECT_EQ(one->first_literal->flags, LB_SEARCHABLE);  // one byte: marked, no table
}

TEST(Analysis, LongPatternsNeverFakeAFixedOffset) {
  // After a repeat the offset stays unknown, however many literal bytes follow.
  std::string pattern = "x*" + std::string(30100, 'y') + "z";
  Compiled r = compile(pattern);
  ASSERT_TRUE(r) << r.message;
  EXPECT_EQ(r->must_offset, -1);
}

TEST(Analysis, CostScoreSetsExpensive) {
  struct Case { const char* pattern; int expensive; };
  const Case cases[] = {
      {"abc", 0}, {"a*b*", 0}, {"a*b*c", 1}, {"(a)*", 0}, {"((a)*)*", 1},
      {"[^a].", 0}, {"x{2}x{2}", 0}, {"x{2}x{2}x{2}", 1}, {".*.*", 1},
  };
  for (const Case& c : cases) {
    Compiled r = compile(c.pattern);
    ASSERT_TRUE(r) << c.pattern;
    EXPECT_EQ(r->expensive, c.expensive) << c.pattern;
  }
  // Deep nesting of repeats doubles the score many times; it saturates.
  Compiled deep = compile(repeat("(?:", 200) + "a" + repeat(")*", 200));
  ASSERT_TRUE(deep) << deep.message;
  EXPECT_EQ(deep->expensive, 1);
}

TEST(Compile, EmptyPatternReturnsBareRecord) {
  Compiled r = compile("", OPT_KANJI | OPT_GLOBAL);
  ASSERT_TRUE(r) << r.message;
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r->pattern_length, 0);
  EXPECT_EQ(r->flags, OPT_KANJI | OPT_GLOBAL);
  EXPECT_EQ(r->program_length, 0);
  EXPECT_EQ(r->program[0], 0);
  EXPECT_EQ(r->match_starts, nullptr);
  EXPECT_EQ(r->pattern_copy, nullptr);
}

TEST(Compile, RecordFields) {
  Compiled r = compile("(a)(b(c))", OPT_MULTILINE);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->group_count, 3);
  EXPECT_EQ(r->pattern_length, 9);
  EXPECT_STREQ(reinterpret_cast<char*>(r->pattern_copy), "(a)(b(c))");
  for (int g = 0; g <= 3; ++g) {
    EXPECT_EQ(r->match_starts[g], nullptr);
    EXPECT_EQ(r->match_ends[g], nullptr);
  }
  EXPECT_EQ(r->flags, OPT_MULTILINE);
  EXPECT_EQ(r->result_start, nullptr);
  EXPECT_EQ(r->command_start, nullptr);
  EXPECT_EQ(r->replacement, nullptr);
  EXPECT_EQ(r->trans_table, nullptr);
}

TEST(Compile, InlineModifiers) {
  struct Case { const char* pattern; uint32_t options; };
  const Case cases[] = {
      {"(?i)a", OPT_FOLD}, {"(?o)a", OPT_ONCE}, {"(?g)a", OPT_GLOBAL}, {"(?m)a", OPT_MULTILINE},
      {"(?s)a", OPT_SINGLELINE}, {"(?x)a", OPT_EXTENDED}, {"a(?ix)b", OPT_FOLD | OPT_EXTENDED}, {"(?)a", 0},
  };
  for (const Case& c : cases) {
    Compiled r = compile(c.pattern);
    ASSERT_TRUE(r) << c.pattern << ": " << r.message;
    EXPECT_EQ(r.options, c.options) << c.pattern;
    EXPECT_EQ(r->flags, 0u) << c.pattern;
  }
}

TEST(Compile, SecondPassStartsWithFinalOptions) {
  Compiled r = compile("(a#)(?x)");
  EXPECT_FALSE(r);
  EXPECT_EQ(r.message, "unmatched () in regexp");
  EXPECT_EQ(r.options, 0u);  // untouched on failure
}

TEST(Compile, ClassesBeforeFoldModifierAreSizedExactly) {
  // Each class gains a lower-case partner only once the modifier is known.
  Compiled many = compile(repeat("[A-Z]", 2000) + "(?i)");
  ASSERT_TRUE(many) << many.message;
  EXPECT_EQ(many->program_length, 1 + 4 + 2000 * 16 + 3);
  Compiled again = compile(repeat("[A-Z]", 2000) + "(?i)" + "(?x) # (?s)");
  ASSERT_TRUE(again) << again.message;
}

struct ErrorCase {
  const char* name;
  std::string pattern;
  uint32_t options;
  const char* message;
};

TEST(Compile, ErrorCatalogue) {
  const ErrorCase cases[] = {
      {"open_paren", "(", 0, "unmatched () in regexp"},
      {"close_paren", ")", 0, "unmatched () in regexp"},
      {"unclosed_group", "(ab|c", 0, "unmatched () in regexp"},
      {"stray_close", "ab)c", 0, "unmatched () in regexp"},
      {"comment_unterminated", "[a] (?#x", OPT_EXTENDED, "Sequence (?#... not terminated"},
      {"not_implemented_dollar", "(?$)", 0, "Sequence (?%c...) not implemented"},
      {"not_implemented_at", "a(?@x)", 0, "Sequence (?%c...) not implemented"},
      {"not_recognized", "(?q)", 0, "Sequence (?%c...) not recognized"},
      {"modifier_unclosed", "(?i", 0, "Sequence (?%c...) not recognized"},
      {"question_at_end", "(?", 0, "Sequence (?%c...) not recognized"},
      {"bad_count", "x{2,1}", 0, "Can't do {n,m} with n > m"},
      {"bad_count_group", "(x){5,4}", 0, "Can't do {n,m} with n > m"},
      {"count_too_big", "x{32767}", 0, "{n,m} count above 32766 in regexp"},
      {"max_too_big", "x{1,99999999999999}", 0, "{n,m} count above 32766 in regexp"},
      {"min_too_big_open", "x{40000,}", 0, "{n,m} count above 32766 in regexp"},
      {"nested_star", "a**", 0, "nested *?+ in regexp"},
      {"nested_after_lazy", "a*??", 0, "nested *?+ in regexp"},
      {"nested_count", "a+{2}", 0, "nested *?+ in regexp"},
      {"follows_nothing", "*a", 0, "?+* follows nothing"},
      {"follows_bar", "a|+", 0, "?+* follows nothing"},
      {"follows_modifier", "(?i)?", 0, "?+* follows nothing"},
      {"trailing_backslash", "ab\\", 0, "trailing \\ in regexp"},
      {"lone_backslash", "\\", 0, "trailing \\ in regexp"},
      {"control_at_end", "a\\c", 0, "trailing \\ in regexp"},
      {"unmatched_bracket", "[abc", 0, "unmatched [] in regexp"},
      {"bracket_only", "[", 0, "unmatched [] in regexp"},
      {"negated_only", "[^", 0, "unmatched [] in regexp"},
      {"escape_at_class_end", "[a\\", 0, "unmatched [] in regexp"},
      {"control_at_class_end", "[\\c", 0, "unmatched [] in regexp"},
      {"kanji_lead_at_class_end", "[\x82", OPT_KANJI, "unmatched [] in regexp"},
      {"reversed_range", "[z-a]", 0, "invalid [] range in regexp"},
      {"range_after_set", "[a-\\dz]", 0, "invalid [] range in regexp"},
      {"kanji_reversed", "[" + kN + "-" + kA + "]", OPT_KANJI, "invalid [] range in regexp"},
      {"too_deep", repeat("(", 501) + repeat(")", 501), 0, "too big compile"},
  };
  for (const ErrorCase& c : cases) {
    Compiled r = compile(c.pattern, c.options);
    EXPECT_FALSE(r) << c.name;
    EXPECT_EQ(r.message, c.message) << c.name;
    EXPECT_EQ(r.options, c.options) << c.name;
  }
}

TEST(Compile, NullArguments) {
  char message[RX_MESSAGE_SIZE];
  uint32_t options = 0;
  EXPECT_EQ(rx_compile(nullptr, nullptr, &options, message), nullptr);
  EXPECT_STREQ(message, "NULL argument");
  const char* p = "a";
  EXPECT_EQ(rx_compile(p, p + 1, nullptr, message), nullptr);
  EXPECT_STREQ(message, "NULL argument");
  EXPECT_EQ(rx_compile(p + 1, p, &options, message), nullptr);
  EXPECT_STREQ(message, "fatal error");
}

TEST(Compile, ProgramSizeLimit) {
  // Each literal run of 126 bytes takes 132 program bytes.
  auto pattern_with = [](int runs, int extra) { return std::string(126 * runs + extra, 'a'); };
  // 1 magic + 4 branch + 248 * 132 + END 3 = 32744 bytes; one more run goes past 32766.
  Compiled fits = compile(pattern_with(248, 0));
  ASSERT_TRUE(fits) << fits.message;
  EXPECT_EQ(fits->program_length, 1 + 4 + 248 * 132 + 3);
  Compiled fits_more = compile(pattern_with(248, 12));  // + 12 + 6 bytes: 32762
  ASSERT_TRUE(fits_more) << fits_more.message;
  EXPECT_EQ(fits_more->program_length, 32762);
  Compiled edge = compile(pattern_with(248, 17));  // a 17-byte run ends the program at 32766
  ASSERT_TRUE(edge) << edge.message;
  EXPECT_EQ(edge->program_length, 32766);
  Compiled over = compile(pattern_with(248, 18));  // 32768 bytes
  EXPECT_FALSE(over);
  EXPECT_EQ(over.message, "too big compile");
}

TEST(Compile, NoStackOverflowOnDeepPatterns) {
  struct Case { const char* name; std::string pattern; bool ok; };
  const Case cases[] = {
      {"many_parens", std::string(100000, '('), false},
      {"many_noncapturing", repeat("(?:", 100000), false},
      {"many_lookahead", repeat("(?=", 100000), false},
      {"many_modifiers", repeat("(?i)", 100000) + "a", true},
      {"nesting_at_limit", repeat("(", 500) + repeat(")", 500), true},
      {"noncapturing_at_limit", repeat("(?:", 500) + "a" + repeat(")", 500), true},
      {"many_comments", repeat("(?#c)", 100000) + "a", true},
  };
  for (const Case& c : cases) {
    Compiled r = compile(c.pattern);
    EXPECT_EQ(static_cast<bool>(r), c.ok) << c.name << ": " << r.message;
    if (!c.ok) {
      EXPECT_EQ(r.message, "too big compile") << c.name;
    }
  }
}

TEST(Compile, DecimalReadsSaturate) {
  Compiled big_min = compile("x{4294967297}");
  EXPECT_EQ(big_min.message, "{n,m} count above 32766 in regexp");
  Compiled wrap = compile("x{4294967296,1}");
  EXPECT_EQ(wrap.message, "{n,m} count above 32766 in regexp");
  Compiled at_limit = compile("x{32766,}");
  ASSERT_TRUE(at_limit) << at_limit.message;
  EXPECT_EQ(repeat_min(at_limit->program + 5), 32766u);
  EXPECT_EQ(repeat_max(at_limit->program + 5), 32767u);
}

TEST(Compile, PatternEndIsNeverRead) {
  // Every pattern lives in an allocation of exactly its length (see helpers.h);
  // these end on a byte whose handling looks one further.
  const char* endings[] = {"\\", "\\c", "\\x", "\\x4", "\\0", "\\01", "(?", "x{", "x{1", "x{1,", "[\\",
                           "\\1", "\\12", "a\\", "(", "[", "[a-", "(?#", "#", "\\\x82"};
  for (const char* e : endings) {
    for (uint32_t options : {0u, OPT_KANJI, OPT_EXTENDED | OPT_FOLD}) {
      Compiled r = compile(e, options);
      if (r) {
        EXPECT_EQ(r.message, "") << e;
      } else {
        EXPECT_NE(r.message, "") << e;
      }
    }
  }
}

TEST(Messages, CopyTruncatesTo79Bytes) {
  char buffer[RX_MESSAGE_SIZE + 4];
  std::memset(buffer, '#', sizeof buffer);
  std::string long_text(200, 'm');
  copy_message(buffer, long_text.c_str());
  EXPECT_EQ(std::strlen(buffer), 79u);
  EXPECT_EQ(buffer[80], '#');
}

}  // namespace

namespace {

TEST(MatchTables, StartBytes) {
  struct Case { const char* pattern; uint32_t options; bool known; const char* bytes; };
  const Case cases[] = {
      {"apple|banana|cherry", 0, true, "abc"},
      {"(?:x|y)?z", 0, true, "xyz"},
      {"a*b", 0, true, "ab"},
      {"(ab)+c", 0, true, "a"},
      {"(?:ab)*c", 0, true, "ac"},
      {"\\bfoo|\\d", 0, true, "0123456789f"},
      {"(?=x)y", 0, true, "y"},
      {"ABC", OPT_FOLD, true, "a"},
      {"x*", 0, false, ""},
      {"a|", 0, false, ""},
      {"(a)\\1", 0, true, "a"},
      {"\\1a", 0, false, ""},
      {"$", 0, false, ""},
  };
  for (const Case& c : cases) {
    Compiled r = compile(c.pattern, c.options);
    ASSERT_TRUE(r) << c.pattern;
    EXPECT_EQ(r->start_known != 0, c.known) << c.pattern;
    if (!c.known) continue;
    std::string got;
    for (int b = 0; b < 256; ++b)
      if (bit_set(r->start_bits, static_cast<unsigned>(b))) got += static_cast<char>(b);
    EXPECT_EQ(got, c.bytes) << c.pattern;
  }
}

}  // namespace
