// Compiler: options, errors and limits (what patterns mean is in exec_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/regex/helpers.h"

namespace {

using namespace regex_internal;
using namespace regex_test;

const std::string kA = "\x82\xa0";  // あ
const std::string kN = "\x82\xf1";  // ん

TEST(Compile, InlineModifiers) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"(?i)a", OPT_FOLD},
      {"(?o)a", OPT_ONCE},
      {"(?g)a", OPT_GLOBAL},
      {"(?m)a", OPT_MULTILINE},
      {"(?s)a", OPT_SINGLELINE},
      {"(?x)a", OPT_EXTENDED},
      {"a(?ix)b", OPT_FOLD | OPT_EXTENDED},
      {"(?)a", 0},
  };
  for (const auto& [pattern, options] : cases) {
    Compiled r = compile(pattern);
    ASSERT_TRUE(r) << pattern << ": " << r.message;
    EXPECT_EQ(r.options, options) << pattern;
    EXPECT_EQ(r->flags, 0u) << pattern;
  }
}

// Patterns grouped by the message that refuses them.
TEST(Compile, ErrorCatalogue) {
  const struct {
    const char* message;
    uint32_t options;
    std::vector<std::string> patterns;
  } cases[] = {
      // The program is parsed with the final options from the start: in (a#)(?x) # opens a comment.
      {"unmatched () in regexp", 0, {"(", ")", "(ab|c", "ab)c", "(a#)(?x)"}},
      {"Sequence (?#... not terminated", OPT_EXTENDED, {"[a] (?#x"}},
      {"Sequence (?%c...) not implemented", 0, {"(?$)", "a(?@x)"}},
      {"Sequence (?%c...) not recognized", 0, {"(?q)", "(?i", "(?"}},
      {"Can't do {n,m} with n > m", 0, {"x{2,1}", "(x){5,4}"}},
      {"{n,m} count above 32766 in regexp",
       0,
       {"x{32767}", "x{1,99999999999999}", "x{40000,}", "x{4294967297}", "x{4294967296,1}"}},
      {"nested *?+ in regexp", 0, {"a**", "a*??", "a+{2}"}},
      {"?+* follows nothing", 0, {"*a", "a|+", "(?i)?"}},
      {"trailing \\ in regexp", 0, {"ab\\", "\\", "a\\c"}},
      {"unmatched [] in regexp", 0, {"[abc", "[", "[^", "[a\\", "[\\c"}},
      {"unmatched [] in regexp", OPT_KANJI, {"[\x82"}},
      {"invalid [] range in regexp", 0, {"[z-a]", "[a-\\dz]"}},
      {"invalid [] range in regexp", OPT_KANJI, {"[" + kN + "-" + kA + "]"}},
      {"too big compile", 0, {repeat("(", 501) + repeat(")", 501)}},
  };
  for (const auto& c : cases) {
    for (const std::string& pattern : c.patterns) {
      Compiled r = compile(pattern, c.options);
      EXPECT_FALSE(r) << pattern;
      EXPECT_EQ(r.message, c.message) << pattern;
      EXPECT_EQ(r.options, c.options) << pattern;
    }
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
  // Name, pattern, whether it compiles.
  const std::tuple<const char*, std::string, bool> cases[] = {
      {"many_parens", std::string(100000, '('), false},
      {"many_noncapturing", repeat("(?:", 100000), false},
      {"many_lookahead", repeat("(?=", 100000), false},
      {"many_modifiers", repeat("(?i)", 100000) + "a", true},
      {"nesting_at_limit", repeat("(", 500) + repeat(")", 500), true},
      {"noncapturing_at_limit", repeat("(?:", 500) + "a" + repeat(")", 500), true},
      {"many_comments", repeat("(?#c)", 100000) + "a", true},
  };
  for (const auto& [name, pattern, ok] : cases) {
    Compiled r = compile(pattern);
    EXPECT_EQ(static_cast<bool>(r), ok) << name << ": " << r.message;
    EXPECT_EQ(r.message, ok ? "" : "too big compile") << name;
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
