// Literal buffers, literal searches and the Shift_JIS boundary test.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/regex/helpers.h"

namespace {

using namespace regex_internal;
using regex_test::Bytes;

const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

// Offset of the first find of literal in subject, or -1. table: -1 none built, 0 plain, 1 folded.
long find(const std::string& literal, int table, bool tail, const std::string& subject, bool multiline,
          bool dbcs) {
  LiteralPtr b(literal_new(U(""), 0));
  literal_set(b.get(), U(literal.data()), static_cast<int32_t>(literal.size()));
  if (table >= 0) literal_build_table(b.get(), table == 1);
  if (tail) b->flags |= LB_TAIL;
  Bytes s(subject, true);
  const unsigned char* r = literal_find(s.begin(), s.end(), b.get(), multiline, dbcs);
  return r ? r - s.begin() : -1;
}

TEST(LiteralFind, Cases) {
  const std::string k256(256, 'k');
  // Name, literal, table, tail rule, subject, multi-line, double-byte, offset.
  const std::tuple<const char*, std::string, int, bool, std::string, bool, bool, long> cases[] = {
      {"trail_byte_in_byte_mode", "ab", 0, false, "\x82\x61\x62", false, false, 1},
      {"trail_byte_refused_in_kanji_mode", "ab", 0, false, "\x82\x61\x62", false, true, -1},
      {"after_the_pair_in_kanji_mode", "ab", 0, false, "\x82\x61\x62\x61\x62", false, true, 3},
      {"after_a_lead_run_in_byte_mode", "ab", 0, false, "\x82\x82\x61\x62", false, false, 2},
      // Literals too long for the skip table, or without one, are scanned plainly.
      {"long_literal", k256, 0, false, "zz" + k256, false, false, 2},
      {"long_literal_cut_short", k256, 0, false, k256.substr(1), false, false, -1},
      {"no_table", "cd", -1, false, "abcd", false, false, 2},
      {"empty_literal", "", -1, false, "abcd", false, false, 0},
      // Tail mode: only at the end of the text or before its last newline.
      {"tail_before_last_newline", "ab", 0, true, "xxab\n", false, false, 2},
      {"tail_at_end", "ab", 0, true, "xxab", false, false, 2},
      {"tail_not_before_a_byte", "ab", 0, true, "xxabx", false, false, -1},
      {"tail_not_at_the_start", "ab", 0, true, "abxx", false, false, -1},
      {"tail_text_too_short", "ab", 0, true, "a", false, false, -1},
      {"tail_bytes_in_byte_mode", "ab", 0, true, "\x82\x61\x62", false, false, 1},
      {"tail_not_on_a_trail_byte", "ab", 0, true, "\x82\x61\x62", false, true, -1},
      {"multiline_ignores_the_tail_rule", "ab", 0, true, "abxx", true, false, 0},
      {"tail_folded", "ab", 1, true, "abxAB\n", false, false, 3},
      {"tail_folded_mixed_case", "ab", 1, true, "xAb", false, false, 1},
      {"tail_folded_not_before_a_byte", "ab", 1, true, "abx", false, false, -1},
  };
  for (const auto& [name, literal, table, tail, subject, multiline, dbcs, expected] : cases)
    EXPECT_EQ(find(literal, table, tail, subject, multiline, dbcs), expected) << name;
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
