// Literal buffers, literal searches and the Shift_JIS boundary test.
#include <gtest/gtest.h>

#include <cctype>
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

TEST(CharPosition, CountsLeadBytesBack) {
  struct Case { const char* name; std::string text; size_t pos; int expected; };
  const Case cases[] = {
      {"trail_of_a", "\x82\xa0", 1, 2},
      {"lead_of_a", "\x82\xa0", 0, 1},
      {"ascii_after_ascii", "ab", 1, 0},
      {"ascii_after_pair", "\x82\xa0x", 2, 0},
      {"trail_equal_to_lead_range", "\x88\x9f\x88\x9f", 2, 1},
      {"second_of_lead_run", "\x88\x9f\x88\x9f", 3, 2},
      {"trail_byte_5c", "\x95\x5c", 1, 2},
      {"ascii_trail_after_odd_run", "\x81\x81\x81\x61", 3, 2},
      {"ascii_after_even_run", "\x81\x81\x61", 2, 0},
  };
  for (const Case& c : cases) {
    Bytes b(c.text, true);
    EXPECT_EQ(char_position(b.begin(), b.begin() + c.pos), c.expected) << c.name;
  }
  EXPECT_EQ(char_position(nullptr, U("a")), 0);
  EXPECT_EQ(char_position(U("a"), nullptr), 0);
}

TEST(LiteralBuf, NewWithZeroCountReadsToNul) {
  LiteralPtr b(literal_new(U("abc\0def"), 0));
  EXPECT_EQ(b->length, 3);
  LiteralPtr c(literal_new(U("ab\0cd"), 5));
  EXPECT_EQ(c->length, 5);
  EXPECT_EQ(c->data[2], 0);
  EXPECT_EQ(c->data[5], 0);
}

// Every skip distance is used somewhere: the table search finds what a plain search finds,
// folded or not, in texts drawn from the literal's own letters.
TEST(LiteralFind, TableSearchAgreesWithPlainSearch) {
  uint32_t state = 11;
  const std::string literals[] = {"abcab", "ab", "aab", "cba", std::string(255, 'a')};
  for (const std::string& lit : literals) {
    for (bool folded : {false, true}) {
      LiteralPtr b = make_literal(lit);
      literal_build_table(b.get(), folded);
      ASSERT_TRUE(b->flags & LB_TABLE) << lit;
      for (int round = 0; round < 200; ++round) {
        std::string text;
        for (int i = 0; i < 40 + round % 300; ++i) {
          state = state * 1103515245u + 12345u;
          text += "abcAB"[(state >> 16) % (folded ? 5 : 3)];
        }
        std::string lower = text;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const size_t at = (folded ? lower : text).find(lit);
        ASSERT_EQ(find(text, b.get()), at == std::string::npos ? -1 : static_cast<long>(at))
            << lit << " in " << text;
      }
    }
  }
}

TEST(LiteralFind, TableSearch) {
  LiteralPtr ab = make_literal("ab");
  literal_build_table(ab.get(), false);
  EXPECT_EQ(find("xxab", ab.get()), 2);
  EXPECT_EQ(find("ab", ab.get()), 0);
  EXPECT_EQ(find("a", ab.get()), -1);
  EXPECT_EQ(find("xxaxbab", ab.get()), 5);
  // An occurrence that starts on a trail byte is refused in double-byte mode only.
  EXPECT_EQ(find("\x82" "ab", ab.get(), false, false), 1);
  EXPECT_EQ(find("\x82" "ab", ab.get(), false, true), -1);
  EXPECT_EQ(find("\x82" "ab" "ab", ab.get(), false, true), 3);
  EXPECT_EQ(find("\x82\x82" "ab", ab.get()), 2);
}

TEST(LiteralFind, FoldedTableMatchesBothCases) {
  LiteralPtr abc = make_literal("abc");
  literal_build_table(abc.get(), true);
  EXPECT_EQ(find("xxABC", abc.get()), 2);
  EXPECT_EQ(find("xxaBc", abc.get()), 2);
  EXPECT_EQ(find("xxabd", abc.get()), -1);
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
  EXPECT_EQ(find("\x82" "ab", ab.get()), 1);  // bytes, in byte mode
  EXPECT_EQ(find("\x82" "ab", ab.get(), false, true), -1);  // not on a trail byte in double-byte mode
  // Multi-line searches ignore the tail rule.
  EXPECT_EQ(find("abxx", ab.get(), true), 0);

  LiteralPtr folded = make_literal("ab");
  literal_build_table(folded.get(), true);
  folded->flags |= LB_TAIL;
  EXPECT_EQ(find("abxAB\n", folded.get()), 3);
  EXPECT_EQ(find("xAb", folded.get()), 1);
  EXPECT_EQ(find("abx", folded.get()), -1);
}

TEST(PlainFind, DoubleByteSkipsTrailBytes) {
  Bytes s("\x82\x61\x61", true);
  EXPECT_EQ(plain_find(s.begin(), s.end(), U("a"), U("a") + 1, true) - s.begin(), 2);
  EXPECT_EQ(plain_find(s.begin(), s.end(), U("a"), U("a") + 1, false) - s.begin(), 1);
  EXPECT_EQ(plain_find(s.begin(), s.end(), U(""), U(""), true), s.begin());
  EXPECT_EQ(plain_find(s.begin(), s.end(), U("aaaa"), U("aaaa") + 4, false), nullptr);
  Bytes t("xyzxyz", true);
  EXPECT_EQ(plain_find(t.begin(), t.end(), U("yz"), U("yz") + 2, false) - t.begin(), 1);
  EXPECT_EQ(plain_find(t.begin(), t.end(), U("zq"), U("zq") + 2, false), nullptr);
}

TEST(CopyBytes, AppendsNul) {
  unsigned char* c = copy_bytes(U("ab\0c"), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(c), 5), std::string("ab\0c\0", 5));
  std::free(c);
}

}  // namespace

namespace {

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
}

TEST(PlainFind, DoubleByteOverLongLeadRuns) {
  // 0x88 0x9F repeated: every byte is a lead byte; 'A' after an odd run is a trail byte.
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "\x88\x9f";
  text += "\x88" "A" "A";
  Bytes b(text, true);
  const unsigned char* found = plain_find(b.begin(), b.end(), U("A"), U("A") + 1, true);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found - b.begin(), 2002);
  EXPECT_EQ(plain_find(b.begin() + 1, b.end(), U("A"), U("A") + 1, true) - b.begin(), 2001);
}

}  // namespace
