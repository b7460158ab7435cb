// Replacement tables: field escapes, plain replacement at character
// boundaries, loading a table file and applying it in both modes.
#include "reptable/reptable.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/support.h"

namespace {

using tavvel_test::TempFolder;
using tavvel_test::WriteFile;

// --- unescape_field -----------------------------------------------------------------------

TEST(UnescapeField, ResolvesTheEscapesOfTheTable) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"abc", "abc"}, {"", ""}, {"a\\nb\\tc", "a\nb\tc"}, {"a\\\\b", "a\\b"}, {"\\\\n", "\\n"}, {"\\#x", "#x"},
      {"\\x41\\X4a\\x09\\xff", "AJ\t\xff"}, {"\\x82\\xA0", "\x82\xa0"},
      {"a\\x00b", "a"},                                         // a NUL ends the text
      {"ab\\x4Gcd", "ab"}, {"ab\\x4", "ab"}, {"ab\\x", "ab"},  // and so does a bad or missing digit
      {"a\\qb", "ab"}, {"a\\", "a"},                            // an unknown escape is dropped
      {"\x83\\n", "\x83\\n"}, {"\x83\\\\t", "\x83\\\t"},    // a trail byte 0x5C is no escape
      {"\x83\x41\\t", "\x83\x41\t"},
      {"\xB1\\n", "\xB1\n"},                                   // half-width katakana is one byte
      {"a\x83", "a\x83"}};                                     // a lead byte last
  // clang-format on
  for (const auto& [field, result] : cases) {
    SCOPED_TRACE(field);
    std::string buffer = field;  // exactly its bytes and the NUL
    unescape_field(buffer.data());
    EXPECT_EQ(std::string(buffer.c_str()), result);
  }
}

// --- replace_all_sjis ---------------------------------------------------------------------

// name, source, search, replacement, result, count
using ReplaceCase = std::tuple<const char*, std::string, std::string, std::string, std::string, size_t>;
// clang-format off
const ReplaceCase kReplaceCases[] = {
    {"every_occurrence", "abcabc", "abc", "x", "xx", 2}, {"no_overlap", "aaa", "aa", "b", "ba", 1},
    {"inserted_text_not_searched", "aa", "a", "aa", "aaaa", 2}, {"delete", "xabcx", "abc", "", "xx", 1},
    {"at_the_end", "xab", "ab", "Z", "xZ", 1}, {"no_match", "abc", "d", "x", "abc", 0},
    {"empty_search", "abc", "", "x", "abc", 0},
    {"trail_0x5c_not_matched", "\x83\x5C\\", "\\", "/", "\x83\x5C/", 1},
    {"trail_0x41_not_matched", "\x83\x41", "A", "b", "\x83\x41", 0},
    {"byte_after_a_pair_matches", "\x83\x41\x41", "A", "z", "\x83\x41z", 1},
    {"half_width_kana_is_single", "\xB1\x41", "A", "z", "\xB1z", 1},
    {"kanji_search", "\x82\xa0x\x82\xa0", "\x82\xa0", "-", "-x-", 2},
    {"kanji_across_a_pair_not_matched", "\x82\x82\xa0", "\x82\xa0", "-", "\x82\x82\xa0", 0},
    {"line_end", "a\nb\n", "\n", "<br>\n", "a<br>\nb<br>\n", 2},
};
// clang-format on

TEST(ReplaceAllSjis, MatchesOnlyAtCharacterBoundaries) {
  for (const auto& [name, source, search, replacement, result, count] : kReplaceCases) {
    SCOPED_TRACE(name);
    std::string replaced = "untouched";
    EXPECT_EQ(replace_all_sjis(source, search, replacement, &replaced), count);
    EXPECT_EQ(count == 0 ? source : replaced, result);
  }
}

TEST(ReplaceAllSjis, CodePage932WhateverTheLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
#if defined(_WIN32)
  const char* const locales[] = {"C", ".932", "Japanese_Japan.932", ".1252", ".65001"};
#else
  const char* const locales[] = {"C", "C.UTF-8", "ja_JP.UTF-8", "ja_JP.eucJP", "ja_JP.SJIS"};
#endif
  int tried = 0;
  for (const char* locale : locales) {
    if (std::setlocale(LC_ALL, locale) == nullptr) continue;
    ++tried;
    SCOPED_TRACE(locale);
    for (const auto& [name, source, search, replacement, result, count] : kReplaceCases) {
      SCOPED_TRACE(name);
      std::string replaced;
      EXPECT_EQ(replace_all_sjis(source, search, replacement, &replaced), count);
    }
    std::string field = "\x83\\n";
    unescape_field(field.data());
    EXPECT_EQ(field, "\x83\\n");
  }
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_GT(tried, 1) << "no locale besides C to try";
}

// --- loading ------------------------------------------------------------------------------------

class TableFile : public ::testing::Test {
 protected:
  ReplaceTable Load(ReplaceMode mode, const std::string& content) {
    WriteFile(path, content);
    ReplaceTable table;
    uint32_t error = 99;
    EXPECT_TRUE(LoadReplaceTable(path.c_str(), mode, &table, &error));
    EXPECT_EQ(table.mode, mode);
    return table;
  }
  // The pairs as "search>replace", joined by '|'.
  static std::string Pairs(const ReplaceTable& table) {
    EXPECT_EQ(table.search.size(), table.replace.size());
    std::string pairs;
    for (size_t i = 0; i < table.search.size(); ++i) {
      pairs +=
          (i ? "|" : "") + std::string(table.search[i].View()) + ">" + std::string(table.replace[i].View());
    }
    return pairs;
  }
  TempFolder dir;
  std::string path = dir / "table";
};

TEST_F(TableFile, PlainLinesSplitAtTabRuns) {
  const ReplaceTable table = Load(ReplaceMode::kPlain,
                                  "# a comment\nabc\n\tabc\txyz\na\t\tb\na\\tb\tz\n"
                                  "\\#x\ty\n #x\ty\n\n\t\t\none\ttwo\tthree\r\n"
                                  "\\x41\t\\x4a\nlast\tend\x1A"
                                  "after\tctrl-z\n");
  EXPECT_EQ(Pairs(table), "abc>|abc>xyz|a>b|a\tb>z|#x>y| #x>y|>|>|one>two|A>J|last>end");
}

TEST_F(TableFile, RegexLinesAreKeptWholeOtherModesReadNothing) {
  const std::string content = "s/a/b/\n\n#c\n tr/x\\t/y/\r\n\\#\n";
  const ReplaceTable regex = Load(ReplaceMode::kRegex, content);
  EXPECT_EQ(std::vector<CString>(regex.search), (std::vector<CString>{"s/a/b/", "", " tr/x\\t/y/", "\\#"}));
  EXPECT_TRUE(regex.replace.empty());
  for (ReplaceMode mode : {ReplaceMode::kNone, ReplaceMode::kUnselected}) {
    EXPECT_TRUE(Load(mode, content).search.empty());
  }
}

TEST_F(TableFile, UnicodeTablesAreDecodedAndTheirReplacedCharactersCounted) {
  for (ReplaceMode mode : {ReplaceMode::kPlain, ReplaceMode::kRegex}) {
    WriteFile(path, "\xEF\xBB\xBF\xE3\x81\x82\t\xF0\x9F\x98\x80\n");  // あ, an emoji
    ReplaceTable table;
    uint32_t error = 0;
    ConvertReport replaced{9, 9, 9};
    ASSERT_TRUE(LoadReplaceTable(path.c_str(), mode, &table, &error, UNMAPPABLE_GETA, &replaced));
    ASSERT_EQ(table.search.size(), 1u);
    EXPECT_EQ(table.search[0], mode == ReplaceMode::kPlain ? "\x82\xa0" : "\x82\xa0\t\x81\xac");
    EXPECT_EQ(replaced.replaced, 1u);
    EXPECT_EQ(replaced.first_line, 1u);
  }
}

TEST_F(TableFile, FileThatCannotBeOpenedGivesItsErrorAndAnEmptyTable) {
  ReplaceTable table{ReplaceMode::kPlain, {"old"}, {"rule"}};
  uint32_t error = 0;
  EXPECT_FALSE(LoadReplaceTable((dir / "absent").c_str(), ReplaceMode::kPlain, &table, &error));
  EXPECT_EQ(error, 2u);
  EXPECT_TRUE(table.search.empty());
  EXPECT_TRUE(table.replace.empty());
}

// --- applying -----------------------------------------------------------------------------------

std::string Apply(const ReplaceTable& table, const std::string& text, std::string* failure = nullptr) {
  CString result(text);
  CommandFailure failed;
  const bool ok = ApplyReplaceTable(table, result, &failed);
  EXPECT_EQ(ok, failed.message.IsEmpty());
  if (failure != nullptr)
    *failure = ok ? "" : std::string(failed.message.View()) + " | " + std::string(failed.command.View());
  return std::string(result.View());
}

TEST(ApplyReplaceTable, PlainRulesChainInTableOrder) {
  const ReplaceTable table{ReplaceMode::kPlain, {"a", "", "b", "\x83\x5c"}, {"b", "x", "c", "!"}};
  EXPECT_EQ(Apply(table, "abca\x83\x5c"), "cccc!");
  EXPECT_EQ(Apply({ReplaceMode::kUnselected, {"a"}, {"b"}}, "a"), "a") << "no mode applies";
}

// A failing command is told and stops the rest of the table.
TEST(ApplyReplaceTable, RegexCommandsRunInTableOrderUpToAFailure) {
  // name, commands, text, result, failure
  // clang-format off
  const std::tuple<const char*, std::vector<CString>, std::string, std::string, std::string> cases[] = {
      {"each_on_the_text_before_it", {"s/a/b/g", "s/b/c/g"}, "abba", "cccc", ""},
      {"empty_and_one_byte_lines_skipped", {"", "x", "s", "s/a/b/"}, "a", "b", ""},
      {"no_match_changes_nothing", {"s/q/x/", "s/a/b/"}, "a", "b", ""},
      {"empty_pattern_and_list_are_not_run", {"s//x/", "tr//x/", "s/a/b/"}, "a", "b", ""},
      {"kanji_codes", {"tr/\x82\x9f-\x82\xf1/\x83\x40-\x83\x93/k"}, "\x82\xdd\x82\xe7", "\x83\x7e\x83\x88", ""},
      {"kanji_trail_0x5c", {"s/\x95\\/x/gk"}, "\x95\\\x83\\", "x\x83\\", ""},
      {"third_of_four", {"s/a/b/", "s/c/d/", "s/(/x/", "s/b/z/"}, "ac", "bd", "unmatched () in regexp | s/(/x/"},
      {"match_command", {"s/a/b/", "m/b/", "s/b/c/"}, "a", "b", "do not start 's' or 'tr' | m/b/"},
      {"t_without_r", {"t/a/b/"}, "a", "a", "do not start 's' or 'tr' | t/a/b/"},
      {"leading_space", {" s/a/b/", "s/a/c/"}, "a", "a", "do not start 's' or 'tr' |  s/a/b/"},
      {"missing_delimiter", {"tr/a-z/A-Z", "s/a/c/"}, "a", "a", "unmatch separater | tr/a-z/A-Z"},
      {"text_emptied_then_next_command", {"s/.*//", "s/a/b/"}, "abc", "", "invalid target parameter | s/a/b/"},
      {"empty_text", {"", "x", "s/a/b/", "s/c/d/"}, "", "", "invalid target parameter | s/a/b/"},
  };
  // clang-format on
  for (const auto& [name, commands, text, result, failure] : cases) {
    SCOPED_TRACE(name);
    std::string failed;
    EXPECT_EQ(Apply({ReplaceMode::kRegex, commands, {}}, text, &failed), result);
    EXPECT_EQ(failed, failure);
  }
  std::string source, expected;
  for (int i = 0; i < 50000; ++i) {
    source += "a,\x82\xa0;";
    expected += "a, \x82\xa0;";
  }
  EXPECT_EQ(Apply({ReplaceMode::kRegex, {"s/,/, /g"}, {}}, source), expected) << "long results kept whole";
}

}  // namespace
