// The prefilters that pick where the matcher starts: the literal search on a rare byte
// pair and the block scan over a set of byte ranges, in byte mode and in double-byte
// mode, where a find must begin a character.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

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

// The find, and the same search copying the bytes before it into a block of the text's
// size: the copy must hold every byte before the place found.
long find(const std::string& text, const std::string& literal, bool dbcs, bool folded = false) {
  Bytes t(text), l(literal);
  const auto length = static_cast<int32_t>(literal.size());
  const unsigned char* r = folded ? pair_find(t.begin(), t.end(), l.begin(), length, dbcs, true)
                                  : plain_find(t.begin(), t.end(), l.begin(), l.end(), dbcs);
  std::vector<unsigned char> copy(text.size(), 0xEE);
  EXPECT_EQ(LiteralSearch(l.begin(), length, dbcs, folded).find(t.begin(), t.end(), copy.data()), r);
  const size_t before = r ? static_cast<size_t>(r - t.begin()) : 0;
  EXPECT_EQ(std::string(copy.begin(), copy.begin() + before), text.substr(0, before));
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
      {"byte_mode_ignores_lead_bytes", "\x81\x61\x62", "ab", false, 1},
      // 0x82 0x61 is one character: its trail byte is no 'a'.
      {"trail_byte_looks_like_literal", "\x82\x61\x62", "ab", true, -1},
      {"trail_then_real", "\x82\x61xa", "a", true, 3},
      {"trail_byte_5c_7e_range", "\x95\x5c\x5c", "\x5c", true, 2},
      {"odd_lead_run_hides_literal", "\x88\x9f\x88\x9f\x88\x61\x62\x61\x62", "ab", true, 7},
      {"even_lead_run_shows_literal", "\x88\x9f\x88\x9f\x61\x62", "ab", true, 4},
      {"kanji_literal_after_ascii_trail", "\x81\x88\x61\x88\x9f", "\x88\x9f", true, 3},
      {"kanji_literal_on_pair", "\x88\x9f\x88\x9f", "\x9f\x88", true, -1},
      {"folded_either_case", "xERrOR", "error", false, 1, true},
      {"folded_pair_in_second_block", pad15 + pad15 + "Zq", "zQ", false, 30, true},
      {"folded_leaves_kanji_trail", "\x82\x41\x61", "a", true, 2, true},
      {"folded_head_keeps_punctuation", "\x01\x02`ABCDE\x01\x02@abcde", "\x01\x02@abcde", false, 8, true},
      {"last_lane_of_wide_block", std::string(31, '.') + "zq", "zq", false, 31},
      {"first_lane_of_second_wide_block", pad40.substr(0, 32) + "zq" + pad40, "zq", false, 32},
      {"long_run_past_block", std::string(33, '\x81') + "ab" + std::string(2, '\x81') + "ab", "ab", true, 37},
  };
  for (const Case& c : cases) EXPECT_EQ(find(c.text, c.literal, c.dbcs, c.folded), c.expected) << c.name;
}

// Texts of every length up to a few wide blocks, from an alphabet that makes lead runs,
// trail bytes equal to the literal and near misses common.
TEST(PlainFind, AgreesWithCharacterWalk) {
  const unsigned char alphabet[] = {'a', 'b', 'A', 'Q', 'q', 0x81, 0x88, 0x9f, 0x5c, 0x40, 0xe0};
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  const std::string literals[] = {"a", "ab", "Qa", "\x81\x61", "\x88\x9f", "abQab", "aaaaaaaaaaaaaaaaab"};
  for (int round = 0; round < 3000; ++round) {
    std::string text(next() % 200, '\0');
    for (char& ch : text) ch = static_cast<char>(alphabet[next() % sizeof alphabet]);
    const std::string& literal = literals[round % (sizeof literals / sizeof literals[0])];
    for (bool dbcs : {false, true})
      for (bool folded : {false, true})
        ASSERT_EQ(find(text, literal, dbcs, folded), reference_find(text, literal, dbcs, folded))
            << "round " << round << " dbcs " << dbcs << " folded " << folded;
  }
}

// A few literals at once, on texts of every length up to a few wide blocks: the first
// place where one of them begins whole on a character, the first in order there, and
// with a copy every byte before it copied.
TEST(AlternativesSearch, AgreesWithCharacterWalk) {
  const std::string pieces[] = {"ab", "a", "Q\x88", "\x88\x9f\x88"};
  AlternativesSearch search;
  for (const std::string& piece : pieces) {
    ASSERT_TRUE(
        search.add(reinterpret_cast<const unsigned char*>(piece.data()), static_cast<int32_t>(piece.size())));
  }
  const unsigned char alphabet[] = {'a', 'b', 'Q', 0x81, 0x88, 0x9f};
  uint32_t seed = 4242;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 2000; ++round) {
    // Mostly bytes of no literal, so that the scan runs past several blocks.
    std::string text(next() % 200, '\0');
    for (char& ch : text) ch = static_cast<char>(next() % 12 ? 'x' : alphabet[next() % sizeof alphabet]);
    const bool dbcs = round % 2 == 1;
    long expected = -1;
    int32_t expected_length = 0;
    for (size_t p = 0; p < text.size() && expected < 0;
         p += dbcs && is_lead_byte(static_cast<unsigned char>(text[p])) && p + 1 < text.size() ? 2 : 1) {
      for (const std::string& piece : pieces) {
        if (text.compare(p, piece.size(), piece) != 0) continue;
        expected = static_cast<long>(p);
        expected_length = static_cast<int32_t>(piece.size());
        break;
      }
    }
    Bytes t(text);
    std::vector<unsigned char> copy(text.size(), 0xEE);
    int32_t length = 0;
    const unsigned char* found = search.find(t.begin(), t.end(), dbcs, &length, copy.data());
    ASSERT_EQ(found ? found - t.begin() : -1, expected) << "round " << round;
    ASSERT_EQ(found ? length : 0, expected_length) << "round " << round;
    const size_t before = found ? static_cast<size_t>(found - t.begin()) : 0;
    ASSERT_EQ(std::string(copy.begin(), copy.begin() + before), text.substr(0, before)) << "round " << round;
  }
}

ByteRanges ranges_of(std::initializer_list<std::pair<int, int>> runs) {
  unsigned char bits[32] = {};
  for (const auto& [low, high] : runs)
    for (int b = low; b <= high; ++b) bits[b >> 3] = static_cast<unsigned char>(bits[b >> 3] | 1 << (b & 7));
  return byte_ranges(bits);
}

TEST(ByteRanges, FromBitmap) {
  // Name, ranges, their count, the first low and the last high bound.
  const std::tuple<const char*, ByteRanges, int, int, int> cases[] = {
      {"empty", ranges_of({}), 0, -1, -1},
      {"every_byte", ranges_of({{0, 255}}), 1, 0, 255},
      {"edges_apart", ranges_of({{0, 0}, {255, 255}}), 2, 0, 255},
      {"adjacent_runs_join", ranges_of({{'a', 'm'}, {'n', 'z'}}), 1, 'a', 'z'},
      {"four_runs", ranges_of({{'0', '9'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'}}), 4, '0', 'z'},
      {"five_runs_too_many", ranges_of({{1, 1}, {3, 3}, {5, 5}, {7, 7}, {9, 9}}), -1, -1, -1},
  };
  for (const auto& [name, r, count, first_low, last_high] : cases) {
    EXPECT_EQ(r.count, count) << name;
    if (r.count > 0) {
      EXPECT_EQ(r.low[0], first_low) << name;
      EXPECT_EQ(r.high[r.count - 1], last_high) << name;
    }
  }
}

// find_run_in_ranges, once as it is and once copying the bytes it passes into a block
// of the exact room: both find the same run, and the copy holds every byte before it.
const unsigned char* find_run(const unsigned char* p, const unsigned char* end, const ByteRanges& r,
                              bool kanji, const unsigned char*& run_end) {
  const unsigned char* found = find_run_in_ranges(p, end, r, kanji, run_end);
  std::vector<unsigned char> copy(static_cast<size_t>(end - p), 0xEE);
  const unsigned char* copied_end = nullptr;
  EXPECT_EQ(find_run_in_ranges(p, end, r, kanji, copied_end, copy.data()), found);
  EXPECT_TRUE(found >= end || (copied_end == run_end && std::equal(p, found, copy.begin())));
  return found;
}

// The empty set: no byte is in it, so every scan for one finds nothing, however many
// blocks it looks at (the text's bytes are zeros, the bounds of no range).
TEST(ByteRanges, EmptySetFindsNothing) {
  const ByteRanges none = ranges_of({});
  const Bytes t(std::string(150, '\0'));
  const unsigned char* run_end = nullptr;
  EXPECT_EQ(find_in_ranges(t.begin(), t.end(), none), t.end());
  EXPECT_EQ(skip_ranges(t.begin(), t.end(), none), t.begin());
  EXPECT_EQ(find_char_in_ranges(t.begin(), t.end(), none), t.end());
  for (bool kanji : {false, true})
    EXPECT_EQ(find_run_in_ranges(t.begin(), t.end(), none, kanji, run_end), t.end());
}

// Texts of every length past three blocks of 64 bytes, sets of one to four ranges with
// the edge values 0x00 and 0xFF and texts full of lead-byte values: the scans agree with
// a byte walk from every start (a run of the set ending where the skip ends), and the
// character scan with a character walk.
TEST(ByteRanges, ScansAgreeWithByteWalk) {
  uint32_t seed = 777;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  const unsigned char values[] = {0x00, 0x01, '0', '9', 'A', 'z', 0x7F, 0x80, 0x81, 0xFE, 0xFF};
  for (int round = 0; round < 400; ++round) {
    unsigned char bits[32] = {};
    for (unsigned i = 0, n = 1 + next() % 4; i < n; ++i) {
      unsigned low = values[next() % sizeof values], high = values[next() % sizeof values];
      if (low > high) std::swap(low, high);
      for (unsigned b = low; b <= high; ++b)
        bits[b >> 3] = static_cast<unsigned char>(bits[b >> 3] | 1 << (b & 7));
    }
    const ByteRanges r = byte_ranges(bits);
    if (r.count < 0) continue;
    std::string text(next() % 200, '\0');
    // Mostly outside the set, so that the scans run past several blocks; some bytes twice.
    for (char& ch : text) ch = static_cast<char>(next() % 8 ? values[next() % sizeof values] + 2 : next());
    for (size_t i = 1; i < text.size(); ++i)
      if (next() % 6 == 0) text[i] = text[i - 1];
    Bytes t(text);
    for (size_t from = 0; from <= text.size(); ++from) {
      const unsigned char* p = t.begin() + from;
      const unsigned char *in = p, *out = p;
      while (in < t.end() && !bit_set(bits, *in)) ++in;
      while (out < t.end() && bit_set(bits, *out)) ++out;
      ASSERT_EQ(find_in_ranges(p, t.end(), r), in) << "round " << round << " from " << from;
      ASSERT_EQ(skip_ranges(p, t.end(), r), out) << "round " << round << " from " << from;
      const unsigned char* at_char = p;
      while (at_char < t.end() && !bit_set(bits, *at_char))
        at_char += is_lead_byte(*at_char) && at_char + 1 < t.end() ? 2 : 1;
      ASSERT_EQ(find_char_in_ranges(p, t.end(), r), at_char) << "round " << round << " from " << from;
      const unsigned char* run_end = nullptr;
      ASSERT_EQ(find_run(p, t.end(), r, false, run_end), in) << "round " << round << " from " << from;
      if (in < t.end()) {
        ASSERT_EQ(run_end, skip_ranges(in, t.end(), r)) << "round " << round << " from " << from;
      }
    }
    // The doubled scan reads the terminator after the last byte.
    Bytes terminated(text, true);
    for (size_t from = 0; from <= text.size(); ++from) {
      const unsigned char* p = terminated.begin() + from;
      const unsigned char* doubled = p;
      while (doubled < terminated.end() && !(bit_set(bits, *doubled) && doubled[1] == *doubled)) ++doubled;
      ASSERT_EQ(find_doubled_in_ranges(p, terminated.end(), r), doubled)
          << "round " << round << " from " << from;
    }
  }
}

// Runs of lead-byte values of every length, ending at every place across the first
// blocks of 64 bytes, then two bytes of the set, inside a block or after the last: the
// first is a character start after a run of even length, else the second byte of the
// run's last character; the run of the set ends at the byte after them.
TEST(ByteRanges, CharacterScanPairsLeadRunsAcrossBlocks) {
  const ByteRanges r = ranges_of({{'a', 'a'}});
  for (size_t pad = 0; pad < 70; ++pad) {
    for (size_t run = 0; run < 140; ++run) {
      const std::string text = std::string(pad, 'x') + std::string(run, '\x88') + "aax";
      Bytes t(text);
      const size_t expected = pad + run + (run % 2);
      ASSERT_EQ(find_char_in_ranges(t.begin(), t.end(), r) - t.begin(), static_cast<long>(expected))
          << "pad " << pad << " run " << run;
      const unsigned char* run_end = nullptr;
      ASSERT_EQ(find_run(t.begin(), t.end(), r, true, run_end) - t.begin(), static_cast<long>(expected))
          << "pad " << pad << " run " << run;
      ASSERT_EQ(run_end - t.begin(), static_cast<long>(text.size() - 1)) << "pad " << pad << " run " << run;
    }
  }
}

// "g,e" of the first match, or "no".
std::string first_match(const char* pattern, const std::string& subject, uint32_t options) {
  regex_test::Compiled c = regex_test::compile(pattern, options);
  Bytes text(subject, true);
  char message[RX_MESSAGE_SIZE];
  if (!c || rx_exec(c.handle.get(), text.cbegin(), text.cend(), text.cbegin(), 0, message) != 1) return "no";
  return std::to_string(c->match_starts[0] - text.begin()) + "," +
         std::to_string(c->match_ends[0] - text.begin());
}

// A repeat inside a pattern walks the first bytes of its run one at a time and the rest
// by the block scan: runs of every kind, well past the walked bytes, end where the set
// does.
TEST(ByteRanges, MatcherRunsEndWhereTheSetEnds) {
  const std::string a100(100, 'a');
  const std::tuple<const char*, std::string, const char*> cases[] = {
      {"\\w+!", a100 + "!", "0,101"},
      {"\\d+x", std::string(100, '7') + "x", "0,101"},
      {"\\s+x", std::string(100, ' ') + "x", "0,101"},
      {"[a-c]+!", std::string(100, 'b') + "!", "0,101"},
      {"\\W+x", std::string(100, '-') + "x", "0,101"},
      {"\\S+ ", a100 + " ", "0,101"},
      {"\\D+1", a100 + "1", "0,101"},
      {"\\w+!", a100 + "-!", "no"},
  };
  for (const auto& [pattern, subject, expected] : cases)
    EXPECT_EQ(first_match(pattern, subject, 0), expected) << pattern;
}

// A start found by the block scan (past the first bytes, which go one at a time) counts
// in double-byte mode only where a character begins, and a class repeat's scan stops at
// a lead byte.
TEST(ByteRanges, KanjiStartsBeginACharacter) {
  std::string kanji;  // 24 characters of two bytes, no start byte among them
  for (int i = 0; i < 24; ++i) kanji += "\x88\x9f";
  const std::tuple<const char*, const char*, std::string, const char*> cases[] = {
      {"trail_byte_looks_like_start", "[a-z]+", kanji + "\x88\x61\x62", "50,51"},
      {"trail_5c_looks_like_start", "[\\\\]", kanji + "\x95\x5c\x5c", "50,51"},
      {"odd_lead_run_hides_start", "[a-z]", kanji + "\x88\x88\x88\x61\x62", "52,53"},
      {"even_lead_run_shows_start", "[a-z]", kanji + "\x88\x88\x61", "50,51"},
      {"lead_inside_a_character", "[\x82\x9f-\x82\xf1]", kanji + "\x88\x82\x82\xa0", "50,52"},
      {"word_start_on_trail", "\\w+", kanji + "\x83\x41z", "50,51"},
      {"repeat_stops_at_lead", "[a-z]+", kanji + std::string(20, 'a') + "\x82\x61", "48,68"},
      {"negated_repeat_takes_pairs", "[^x]+", kanji + std::string(20, 'a') + "\x88xx", "0,70"},
      {"repeat_into_kanji_class", "[a-z\x82\x9f-\x82\xf1]+",
       kanji + std::string(20, 'a') + "\x82\xa0\x62\x88\x9f", "48,71"},
  };
  for (const auto& [name, pattern, subject, expected] : cases)
    EXPECT_EQ(first_match(pattern, subject, OPT_KANJI), expected) << name;
}

// The searches that skip ahead: a lazy . before a literal goes straight to the next
// place of the literal's first byte, never past the line's end; a case-insensitive
// byte-mode literal is found in the text as it stands (ASCII letters in either case,
// every other byte as it is); under m, ^ and a literal are tried only where the
// literal follows a newline, every such place in order; a leading alternation of
// literals is tried only where one of them begins (in double-byte mode a character),
// its alternatives still in order; a group around a single-byte character followed by
// a reference to it is tried only where a byte repeats at once, on a character.
TEST(SkippingSearches, FindTheFirstMatch) {
  const uint32_t m = OPT_MULTILINE;
  const std::tuple<const char*, const char*, std::string, uint32_t, const char*> cases[] = {
      {"nearest_literal", "b(.*?)e", "bxxexe", 0, "0,4"},
      {"far_literal", "b.*?e", "b" + std::string(40, 'x') + "e", 0, "0,42"},
      {"not_past_newline", "b.*?e", "bxx\nbe", 0, "4,6"},
      {"miss_holds_to_line_end", "b.*?e", "bxbx\nbxe", 0, "5,8"},
      {"miss_from_later_start", "(?:a.*?e)*a.*?e!", "ae-ae!", 0, "0,6"},
      {"literal_is_newline", "b.*?\n", "bxx\nb", 0, "0,4"},
      {"literal_at_text_end", "b.*?e", "bxxxe", 0, "0,5"},
      {"first_byte_then_rest_fails", "b.*?ef", "beeef", 0, "0,5"},
      {"no_literal", "b.*?q", "bxxx", 0, "no"},
      {"group_marks_before_literal", "b(.*?)(e)", "bxyeze", 0, "0,4"},
      {"lazy_minimum", "b.{2,}?e", "beeee", 0, "0,4"},
      {"mixed_case_text", "function", "xFuNcTiOn", OPT_FOLD, "1,9"},
      {"upper_pattern", "FUNCTION", "function", OPT_FOLD, "0,8"},
      {"punctuation_is_no_letter", "a@", "A`a@", OPT_FOLD, "2,4"},
      {"trail_byte_in_byte_mode", "a", "\x82\x41", OPT_FOLD, "1,2"},
      {"trail_byte_in_kanji_mode", "a", "\x82\x41\x61", OPT_FOLD | OPT_KANJI, "2,3"},
      {"text_start", "^join", "join", m, "0,4"},
      {"first_line_after_newline", "^join", "\njoin", m, "1,5"},
      {"mid_line_skipped", "^join", "a join\njoin", m, "7,11"},
      {"never_at_line_start", "^join", "xjoin\nxjoin", m, "no"},
      {"rest_fails_then_next_line", "^join!", "join\njoin!", m, "5,10"},
      {"newline_after_lead_byte", "^join", "\x88\njoin", m | OPT_KANJI, "2,6"},
      {"one_byte_line_literal", "^j", "ajx\njy", m, "4,5"},
      {"leftmost_alternative", "(apple|banana|cherry)", "xxcherry apple", 0, "2,8"},
      {"alternatives_in_order", "(ab|abc)", "xabc", 0, "1,3"},
      {"rest_fails_then_next", "(ab|cd)x", "ab cdx", 0, "3,6"},
      {"alternative_not_a_literal", "(ab|c+)", "xcab", 0, "1,2"},
      {"alternatives_folded", "(apple|pear)", "xPEAR", OPT_FOLD, "1,5"},
      {"alternative_as_trail_byte", "(ab|qq)",
       std::string(40, '.') +
           "\x82"
           "ab" +
           std::string(20, '.') + "ab",
       OPT_KANJI, "63,65"},
      {"alternative_after_odd_lead_run", "(ab|cd)",
       std::string(20, '.') +
           "\x88\x9f\x88"
           "abab" +
           std::string(20, '.'),
       OPT_KANJI, "25,27"},
      {"doubled_word", "(\\w)\\1", "ab-ccd", 0, "3,5"},
      {"doubled_class", "([a-c])\\1", std::string(40, 'd') + "bb", 0, "40,42"},
      {"doubled_folded", "(\\w)\\1", "xaA", OPT_FOLD, "1,3"},
      {"doubled_on_trail_byte", "(\\w)\\1", std::string(40, '.') + "\x83\x41\x41\x41", OPT_KANJI, "42,44"},
      {"doubled_after_odd_lead_run", "(\\w)\\1", std::string(40, '.') + "\x88\x88\x88\x61\x61\x61", OPT_KANJI,
       "44,46"},
      {"doubled_kanji_class_not_single", "([\x82\x9f-\x82\xf1])\\1", "\x82\xa0\x82\xa0", OPT_KANJI, "0,4"},
      {"alternative_in_byte_mode", "(ab|cd)",
       "\x88\x9f\x88"
       "abab",
       0, "3,5"},
  };
  for (const auto& [name, pattern, subject, options, expected] : cases)
    EXPECT_EQ(first_match(pattern, subject, options), expected) << name;
}

// Which search a pattern's shape gets: the shapes that bypass the matcher are each
// recognised, and near shapes that one of them would answer wrongly are not.
TEST(SkippingSearches, ShapesChooseTheirSearch) {
  const uint32_t m = OPT_MULTILINE, k = OPT_KANJI;
  const std::tuple<const char*, uint32_t, Bypass> cases[] = {
      {"Tavvel", 0, Bypass::kWholeLiteral}, {"^", m, Bypass::kLineStarts},
      {"\\w+", 0, Bypass::kWholeRepeat},    {"\\d+", 0, Bypass::kWholeRepeat},
      {"\\s+", 0, Bypass::kWholeRepeat},    {"[a-c]+", k, Bypass::kWholeRepeat},
      {"\\S+", 0, Bypass::kNone},  // takes a lead byte alone
      {"\\w*", 0, Bypass::kNone},  // may be empty
      {"(ab|cd)", 0, Bypass::kLiterals},    {"ab|cd", 0, Bypass::kLiterals},
      {"ab(.*?)cd", 0, Bypass::kLazyPair},  {"ab.*?cd", 0, Bypass::kLazyPair},
      {"ab(.*?)(cd)", 0, Bypass::kNone},    {"ab(.*?)cd", k, Bypass::kNone},
      {"a(b)c", 0, Bypass::kNone},
  };
  for (const auto& [pattern, options, expected] : cases) {
    regex_test::Compiled c = regex_test::compile(pattern, options);
    ASSERT_TRUE(c) << pattern;
    const Bytes text(std::string("x"), true);
    MatchRun run;
    exec_match(c.handle.get(), text.begin(), text.end(), text.begin(), 0, &run);
    EXPECT_EQ(run.bypass, expected) << pattern;
  }
}

// Patterns answered without the matcher: one + of a character node matches the whole
// run from the first character it takes; ^ under m matches at each line start but the
// text's end; a literal, a lazy . run and a literal match from the first literal to the
// nearest second one on its line, and a line without the second is passed over; an
// alternation of literals matches the first alternative that begins where one does. A
// match that ends before min_end is passed over.
TEST(SkippingSearches, WithoutTheMatcher) {
  const uint32_t m = OPT_MULTILINE;
  const std::tuple<const char*, const char*, std::string, uint32_t, size_t, int, const char*> cases[] = {
      {"first_run", "[0-9]+", "ab12 345", 0, 0, 0, "2,4"},
      {"min_end_within_first_run", "[0-9]+", "ab12 345", 0, 0, 4, "2,4"},
      {"first_run_ends_too_soon", "[0-9]+", "ab12 345", 0, 0, 5, "5,8"},
      {"no_run_long_enough", "\\d+", "1 2", 0, 0, 4, "no"},
      {"lead_byte_of_a_character_outside", "[\x82\x9f-\x82\xf1]+", "\x82\x40\x82\xa0\x82\xa2", OPT_KANJI, 0,
       0, "2,6"},
      {"kanji_class_run_ends_too_soon", "[\x82\x9f-\x82\xf1]+", "\x82\xa0 \x82\xa0\x82\xa2", OPT_KANJI, 0, 3,
       "3,7"},
      {"line_start_at_start", "^", "a\nb\ncd", m, 0, 0, "0,0"},
      {"start_inside_a_line", "^", "a\nb\ncd", m, 1, 0, "2,2"},
      {"start_after_newline", "^", "a\nb\ncd", m, 2, 0, "2,2"},
      {"min_end_skips_a_line", "^", "a\nb\ncd", m, 0, 3, "4,4"},
      {"min_end_on_a_line_start", "^", "a\nb\ncd", m, 0, 2, "2,2"},
      {"text_end_is_no_line_start", "^", "ab\n", m, 0, 1, "no"},
      {"line_literal_from_inside_a_line", "^join", "join\njoin", m, 1, 0, "5,9"},
      {"line_literal_at_start_after_newline", "^join", "x\njoin", m, 2, 0, "2,6"},
      {"line_literal_at_start_on_newline", "^join", "x\njoin", m, 1, 0, "2,6"},
      {"pair_group_is_the_run", "ab(.*?)cd", "xabyycdcd", 0, 0, 0, "1,7 3,5"},
      {"pair_empty_run", "ab(.*?)cd", "abcd", 0, 0, 0, "0,4 2,2"},
      {"pair_line_without_second", "ab.*?cd", "abab\nabcd", 0, 0, 0, "5,9"},
      {"pair_next_first_spans_the_newline", "q\nq.*?z", "q\nqxq\nqz", 0, 0, 0, "4,8"},
      {"pair_second_runs_past_newline", "a.*?\nb", "axx\nb", 0, 0, 0, "0,5"},
      {"pair_not_in_kanji_mode", "ab(.*?)cd",
       "ab\x82"
       "cdcd",
       OPT_KANJI, 0, 0, "0,7 2,5"},
      {"pair_ending_too_soon", "ab.*?cd", "abcdcd", 0, 0, 5, "no"},
      {"alternative_first_in_order", "(ab|abc)", "xabc", 0, 0, 0, "1,3 1,3"},
      {"alternative_later_in_order_first_in_text", "(cd|ab)", "xxabcd", 0, 0, 0, "2,4 2,4"},
      {"alternatives_without_group", "abc|ab", "xabc", 0, 0, 0, "1,4"},
      {"alternative_after_a_trail_byte", "(ab|qq)",
       "\x82"
       "abab",
       OPT_KANJI, 0, 0, "3,5 3,5"},
  };
  for (const auto& [name, pattern, subject, options, start, min_end, expected] : cases)
    EXPECT_EQ(regex_test::match(pattern, subject, options, start, min_end), expected) << name;
}

// Each search starts with no group set: a group of the last match that this one leaves
// out inserts nothing.
TEST(SkippingSearches, GroupsOfTheLastMatchDoNotLeak) {
  const struct {
    const char* command;
    const char* subject;
    const char* expected;
  } cases[] = {
      {"s/(a)|b/[$1]/g", "ab", "[a][]"},
      {"s/x(a)?y|z/[$1]/g", "xayz", "[a][]"},
      {"s/(a)(b)?c|d/<$2>/g", "abcd", "<b><>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(regex_test::subst(c.command, c.subject).result, c.expected) << c.command;
}

}  // namespace
