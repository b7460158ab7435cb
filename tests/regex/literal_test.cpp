// Literal buffers, literal searches and the Shift_JIS boundary test.
#include <gtest/gtest.h>

#include <string>

#include "tests/regex/helpers.h"

namespace {

using namespace regex_internal;
using regex_test::Bytes;

const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

LiteralPtr make_literal(const std::string& text) {
  LiteralPtr b(literal_new(U(""), 0));
  literal_set(b.get(), U(text.data()), static_cast<int32_t>(text.size()));
  return b;
}

// Offset of the match in subject, or -1.
long find(const std::string& subject, const LiteralBuf* little, bool multiline = false, bool dbcs = false) {
  Bytes s(subject, true);
  const unsigned char* r = literal_find(s.begin(), s.end(), little, multiline, dbcs);
  return r ? r - s.begin() : -1;
}

TEST(LiteralFind, OnlyDoubleByteModeRefusesATrailByte) {
  LiteralPtr ab = make_literal("ab");
  literal_build_table(ab.get(), false);
  EXPECT_EQ(find("\x82\x61\x62", ab.get(), false, false), 1);
  EXPECT_EQ(find("\x82\x61\x62", ab.get(), false, true), -1);
  EXPECT_EQ(find("\x82\x61\x62\x61\x62", ab.get(), false, true), 3);
  EXPECT_EQ(find("\x82\x82\x61\x62", ab.get()), 2);
}

TEST(LiteralFind, LongLiteralFallsBackToPlainScan) {
  std::string lit(256, 'k');
  LiteralPtr b = make_literal(lit);
  literal_build_table(b.get(), false);
  EXPECT_EQ(find("zz" + lit, b.get()), 2);
  EXPECT_EQ(find(lit.substr(1), b.get()), -1);
  LiteralPtr unmarked = make_literal("cd");
  EXPECT_EQ(find("abcd", unmarked.get()), 2);
  LiteralPtr empty = make_literal("");
  EXPECT_EQ(find("abcd", empty.get()), 0);
}

TEST(LiteralFind, TailMode) {
  LiteralPtr ab = make_literal("ab");
  literal_build_table(ab.get(), false);
  ab->flags |= LB_TAIL;
  EXPECT_EQ(find("xxab\n", ab.get()), 2);
  EXPECT_EQ(find("xxab", ab.get()), 2);
  EXPECT_EQ(find("xxabx", ab.get()), -1);
  EXPECT_EQ(find("abxx", ab.get()), -1);
  EXPECT_EQ(find("a", ab.get()), -1);
  EXPECT_EQ(find("\x82\x61\x62", ab.get()),
            1);  // bytes, in byte mode
  EXPECT_EQ(find("\x82\x61\x62", ab.get(), false, true),
            -1);  // not on a trail byte in double-byte mode
  // Multi-line searches ignore the tail rule.
  EXPECT_EQ(find("abxx", ab.get(), true), 0);

  LiteralPtr folded = make_literal("ab");
  literal_build_table(folded.get(), true);
  folded->flags |= LB_TAIL;
  EXPECT_EQ(find("abxAB\n", folded.get()), 3);
  EXPECT_EQ(find("xAb", folded.get()), 1);
  EXPECT_EQ(find("abx", folded.get()), -1);
}

// Two measures of where a byte stands (alone, first or second of a pair) that must agree:
// char_position, counting lead bytes back, and the lead runs remembered across queries.
TEST(LeadRuns, AgreesWithCharPositionInAnyOrder) {
  // Bytes drawn mostly from the lead-byte ranges, so that runs are long.
  const unsigned char pool[] = {0x81, 0x88, 0x9f, 0xe0, 0xfc, 0x41, 0x5c, 0xa0, 0x0a, 0x82};
  uint32_t state = 7;
  for (int round = 0; round < 50; ++round) {
    std::string text;
    for (int i = 0; i < 200; ++i) {
      state = state * 1103515245u + 12345u;
      text += static_cast<char>(pool[(state >> 16) % (round % 2 ? 5 : 10)]);
    }
    Bytes b(text, true);
    for (int floor : {0, 3}) {
      LeadRuns forward(b.begin() + floor), backward(b.begin() + floor), jumping(b.begin() + floor);
      for (size_t i = floor; i < text.size(); ++i)
        ASSERT_EQ(forward.position(b.begin() + i), char_position(b.begin() + floor, b.begin() + i)) << i;
      for (size_t i = text.size(); i-- > static_cast<size_t>(floor);)
        ASSERT_EQ(backward.position(b.begin() + i), char_position(b.begin() + floor, b.begin() + i)) << i;
      for (size_t i = floor; i < text.size(); i += 1 + (i * 7) % 13)
        ASSERT_EQ(jumping.position(b.begin() + i), char_position(b.begin() + floor, b.begin() + i)) << i;
    }
  }
  EXPECT_EQ(char_position(nullptr, U("a")), 0);
  EXPECT_EQ(char_position(U("a"), nullptr), 0);
}

}  // namespace
