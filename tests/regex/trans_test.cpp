// Transliteration: list expansion and escapes, and runs with the
// c, d, s and k flags over single-byte and Shift_JIS text.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/regex/helpers.h"

namespace {

using namespace regex_test;
using regex_internal::LiteralPtr;

std::string expand(const std::string& list) {
  Bytes bytes(list);  // exactly the list's bytes: nothing beyond is readable
  LiteralPtr out(regex_internal::trans_expand(bytes.begin(), bytes.end()));
  return out ? std::string(reinterpret_cast<const char*>(out->data), out->length) : kNone;
}

TEST(TransExpand, RangesEscapesAndLiteralDashes) {
  // Name, list, expansion.
  const std::tuple<const char*, std::string, std::string> cases[] = {
      {"range", "a-e", "abcde"},
      {"two_ranges", "a-cx-z", "abcxyz"},
      {"trailing_dash", "a-", "a-"},
      {"falling_range_is_literal", "z-a", "z-a"},
      {"equal_bounds_are_literal", "a-a", "a-a"},
      {"leading_dash_starts_at_code_one", "-\x03", "\x01\x02\x03"},
      {"escapes", "\\x41\\cA\\012", "A\x01\n"},
      {"named_escapes", "\\n\\t\\r\\f\\e\\a\\/", "\n\t\r\f\x1b\x07/"},
      {"escaped_backslash", "\\\\", "\\"},
      {"escaped_backslash_is_no_lower_bound", "a\\\\-c", "a\\bc"},
      {"escaped_dash_is_a_character", "a\\-c", "a-c"},
      {"escape_as_upper_bound", "a-\\x63", "abc"},
      {"escape_as_lower_bound", "\\x61-c", "abc"},
      {"digits_stand_for_themselves", "\\1\\9", "19"},
      {"backslash_last", "ab\\", "ab\\"},
      {"control_without_letter", "\\c", "c"},
      {"half_width_kana_range", "\xb1-\xb3", "\xb1\xb2\xb3"},
      {"kanji_range", "\x82\x9f-\x82\xa2", "\x82\x9f\x82\xa0\x82\xa1\x82\xa2"},
      {"range_over_255_codes_is_literal", "\\x01-\x82\xa0", "\x01-\x82\xa0"},
      {"lead_byte_last_stands_alone", "ab\x82", "ab\x82"},
      {"dash_then_lead_byte_last_is_a_bound", "a-\x82", "abcdefghijklmnopqrstuvwxyz{|}~\x7f\x80\x81\x82"},
      {"trail_0x5c_is_no_escape", "\x95\\n", "\x95\\n"},
  };
  for (const auto& [name, list, expanded] : cases) EXPECT_EQ(expand(list), expanded) << name;
}

// Name, command, subject, outcome.
TEST(TransApply, FlagsCountAndResult) {
  const std::string a = "\x82\xa0", i = "\x82\xa2", A = "\x83\x41", I = "\x83\x43";
  const std::string mi = "\x82\xdd", ra = "\x82\xe7", MI = "\x83\x7e", YO = "\x83\x88";
  const std::tuple<const char*, const char*, std::string, Outcome> cases[] = {
      {"longer_replacement_ignored", "tr/a/xyz/", "ab", {1, "", "xb"}},
      {"range_of_255_steps", "tr/\\x00-\\xff//d", "a\xff", {2, "", ""}},
      {"more_pairs_than_the_first_room", "tr/\\x01-\\xffabc/X/d", "\x01z\xff", {3, "", "X"}},
      {"complement_ignores_replacement", "tr/a-z/_/c", "a1b2", {2, "", "a1b2"}},
      {"squeeze_replaced", "tr/ab/x/s", "aab", {3, "", "x"}},
      {"squeeze_runs_only", "tr/a/x/s", "aabaa", {4, "", "xbx"}},
      {"squeeze_after_delete", "tr/ab/x/ds", "abba", {4, "", "xx"}},
      {"all_deleted_gives_empty_text", "tr/a-c//d", "abcabc", {6, "", ""}},
      {"half_width_kana", "tr/\xb1-\xdd/a/", "\xb1\xb2x", {2, "", "aax"}},
      // Double-byte characters with k.
      {"hiragana_to_katakana", "tr/\x82\x9f-\x82\xa8/\x83\x40-\x83\x49/k", a + i, {2, "", A + I}},
      // The katakana range holds the unassigned code 0x837F: pairs shift by one from mu on.
      {"raw_codes_before_the_gap", "tr/\x82\x9f-\x82\xf1/\x83\x40-\x83\x93/k", mi, {1, "", MI}},
      {"raw_codes_after_the_gap", "tr/\x82\x9f-\x82\xf1/\x83\x40-\x83\x93/k", ra, {1, "", YO}},
      {"kanji_to_ascii", "tr/\x82\xa0/a/k", a + "x" + a, {2, "", "axa"}},
      {"ascii_to_kanji", "tr/a/\x82\xa0/k", "bab", {1, "", "b" + a + "b"}},
      {"kanji_delete", "tr/\x82\xa0//dk", a + i + a, {2, "", i}},
      {"kanji_complement_delete", "tr/\x82\xa0//cdk", a + "x" + i, {2, "", a}},
      {"kanji_squeeze", "tr/\x82\xa0\x82\xa2/\x83\x41/sk", a + i + a, {3, "", A}},
      {"lead_byte_last_is_a_byte", "tr/\\x82/x/k", "a\x82", {1, "", "ax"}},
      // Without k the lists are expanded the same way but paired and applied bytewise.
      {"bytes_without_k", "tr/\x82\xa0/\x83\x41/", a + "\xa0", {3, "", A + "\x41"}},
  };
  for (const auto& [name, command, subject, outcome] : cases)
    EXPECT_EQ(trans(command, subject), outcome) << name;
}

TEST(TransApply, LongOutputsKeepEveryByte) {
  std::string text(300000, 'a');
  for (size_t i = 0; i < text.size(); i += 7) text[i] = 'b';
  std::string expected;
  for (char c : text) expected += c == 'a' ? std::string("\x82\xa0") : std::string("b");
  EXPECT_EQ(trans("tr/a/\x82\xa0/k", text),
            (Outcome{static_cast<int>(text.size() - (text.size() + 6) / 7), "", expected}));
}

}  // namespace
