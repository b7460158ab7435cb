// The prefilters that pick where the matcher starts: the literal search on a rare byte
// pair, in byte mode and in double-byte mode, where a find must begin a character.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/regex/helpers.h"

namespace {

using namespace regex_internal;
using regex_test::Bytes;

bool same_at(const std::string& text, size_t p, const std::string& literal, bool folded) {
  for (size_t i = 0; i < literal.size(); ++i) {
    const auto x = static_cast<unsigned char>(text[p + i]), y = static_cast<unsigned char>(literal[i]);
    if (x != y && !(folded && fold_case.v[x] == y)) return false;
  }
  return true;
}

// The first place at or after 0 where literal is found whole (with folded, each byte in
// either case) and a character starts, walking the text one character at a time; -1 when none.
long reference_find(const std::string& text, const std::string& literal, bool dbcs, bool folded) {
  for (size_t p = 0; p + literal.size() <= text.size();) {
    if (same_at(text, p, literal, folded)) return static_cast<long>(p);
    p += (dbcs && is_lead_byte(static_cast<unsigned char>(text[p])) && p + 1 < text.size()) ? 2 : 1;
  }
  return -1;
}

long find(const std::string& text, const std::string& literal, bool dbcs, bool folded = false) {
  Bytes t(text), l(literal);
  const unsigned char* r =
      folded ? pair_find(t.begin(), t.end(), l.begin(), static_cast<int32_t>(literal.size()), dbcs, true)
             : plain_find(t.begin(), t.end(), l.begin(), l.end(), dbcs);
  return r ? r - t.begin() : -1;
}

TEST(PlainFind, FindsFirstWholeLiteralOnACharacter) {
  const std::string pad15(15, '.'), pad40(40, '.');
  struct Case {
    const char* name;
    std::string text, literal;
    bool dbcs;
    long expected;
    bool folded = false;
  };
  const Case cases[] = {
      {"one_byte", "xyzq", "q", false, 3},
      {"empty_literal", "abc", "", false, 0},
      {"longer_than_text", "ab", "abc", false, -1},
      {"pair_agrees_rest_differs", "eXror error", "error", false, 6},
      {"first_lane_of_block", pad15 + "zq..", "zq", false, 15},
      {"across_block_edge", pad15 + ".zq", "zq", false, 16},
      {"ends_the_text", pad40 + "QZ", "QZ", false, 40},
      {"one_short_of_the_end", pad40 + "Q", "QZ", false, -1},
      {"byte_mode_ignores_lead_bytes",
       "\x81"
       "ab",
       "ab", false, 1},
      // 0x82 0x61 is one character: its trail byte is no 'a'.
      {"trail_byte_looks_like_literal",
       "\x82"
       "ab",
       "ab", true, -1},
      {"trail_then_real",
       "\x82"
       "a"
       "xa",
       "a", true, 3},
      {"trail_byte_5c_7e_range", "\x95\x5c\x5c", "\x5c", true, 2},
      {"odd_lead_run_hides_literal",
       "\x88\x9f\x88\x9f\x88"
       "ab"
       "ab",
       "ab", true, 7},
      {"even_lead_run_shows_literal",
       "\x88\x9f\x88\x9f"
       "ab",
       "ab", true, 4},
      {"kanji_literal_after_ascii_trail",
       "\x81\x88"
       "a"
       "\x88\x9f",
       "\x88\x9f", true, 3},
      {"kanji_literal_on_pair", "\x88\x9f\x88\x9f", "\x9f\x88", true, -1},
      {"folded_either_case", "xERrOR", "error", false, 1, true},
      {"folded_pair_in_second_block", pad15 + pad15 + "Zq", "zQ", false, 30, true},
      {"folded_leaves_kanji_trail",
       "\x82"
       "A"
       "a",
       "a", true, 2, true},
      {"long_run_past_block", std::string(33, '\x81') + "ab" + std::string(2, '\x81') + "ab", "ab", true, 37},
  };
  for (const Case& c : cases) EXPECT_EQ(find(c.text, c.literal, c.dbcs, c.folded), c.expected) << c.name;
}

// Texts of every length up to a few blocks, from an alphabet that makes lead runs,
// trail bytes equal to the literal and near misses common.
TEST(PlainFind, AgreesWithCharacterWalk) {
  const unsigned char alphabet[] = {'a', 'b', 'A', 'Q', 'q', 0x81, 0x88, 0x9f, 0x5c, 0x40, 0xe0};
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  const std::string literals[] = {"a",
                                  "ab",
                                  "Qa",
                                  "\x81"
                                  "a",
                                  "\x88\x9f",
                                  "abQab",
                                  "aaaaaaaaaaaaaaaaab"};
  for (int round = 0; round < 3000; ++round) {
    std::string text(next() % 70, '\0');
    for (char& ch : text) ch = static_cast<char>(alphabet[next() % sizeof alphabet]);
    const std::string& literal = literals[round % (sizeof literals / sizeof literals[0])];
    for (bool dbcs : {false, true})
      for (bool folded : {false, true})
        ASSERT_EQ(find(text, literal, dbcs, folded), reference_find(text, literal, dbcs, folded))
            << "round " << round << " dbcs " << dbcs << " folded " << folded;
  }
}

}  // namespace
