// Compiler: options, errors and limits (what patterns mean is in exec_test.cpp).
#include <gtest/gtest.h>

#include <string>

#include "tests/regex/helpers.h"

namespace {

using namespace regex_internal;
using regex_test::compile;
using regex_test::Compiled;
using regex_test::repeat;

const std::string kA = "\x82\xa0";  // あ
const std::string kN = "\x82\xf1";  // ん

TEST(Compile, InlineModifiers) {
  struct Case {
    const char* pattern;
    uint32_t options;
  };
  const Case cases[] = {
      {"(?i)a", OPT_FOLD},
      {"(?o)a", OPT_ONCE},
      {"(?g)a", OPT_GLOBAL},
      {"(?m)a", OPT_MULTILINE},
      {"(?s)a", OPT_SINGLELINE},
      {"(?x)a", OPT_EXTENDED},
      {"a(?ix)b", OPT_FOLD | OPT_EXTENDED},
      {"(?)a", 0},
  };
  for (const Case& c : cases) {
    Compiled r = compile(c.pattern);
    ASSERT_TRUE(r) << c.pattern << ": " << r.message;
    EXPECT_EQ(r.options, c.options) << c.pattern;
    EXPECT_EQ(r->flags, 0u) << c.pattern;
  }
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
      // The program is parsed with the final options from the start: here # opens a comment.
      {"unmatched_under_later_x", "(a#)(?x)", 0, "unmatched () in regexp"},
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
      {"min_saturates", "x{4294967297}", 0, "{n,m} count above 32766 in regexp"},
      {"min_does_not_wrap", "x{4294967296,1}", 0, "{n,m} count above 32766 in regexp"},
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
  // Each literal run of 126 bytes takes 132 program bytes: 1 magic + 4 branch + 248 * 132
  // + END 3 = 32744 bytes, and a last run of n bytes takes n + 6 (rounded up to even).
  auto pattern_with = [](int runs, int extra) { return std::string(126 * runs + extra, 'a'); };
  Compiled edge = compile(pattern_with(248, 17));  // a 17-byte run ends the program at 32766
  ASSERT_TRUE(edge) << edge.message;
  EXPECT_EQ(edge->program_length, 32766);
  Compiled over = compile(pattern_with(248, 18));  // 32768 bytes
  EXPECT_FALSE(over);
  EXPECT_EQ(over.message, "too big compile");
}

TEST(Compile, NoStackOverflowOnDeepPatterns) {
  struct Case {
    const char* name;
    std::string pattern;
    bool ok;
  };
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

TEST(Messages, CopyTruncatesTo79Bytes) {
  char buffer[RX_MESSAGE_SIZE + 4];
  std::memset(buffer, '#', sizeof buffer);
  std::string long_text(200, 'm');
  copy_message(buffer, long_text.c_str());
  EXPECT_EQ(std::strlen(buffer), 79u);
  EXPECT_EQ(buffer[80], '#');
}

}  // namespace
