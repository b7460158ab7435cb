// Replacement tables: field escapes, plain replacement at character
// boundaries, loading a table file and applying it in both modes.
#include "reptable/reptable.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/support.h"

namespace {

using tavvel_test::TempFolder;
using tavvel_test::WriteFile;

// --- unescape_field -----------------------------------------------------------------------

TEST(UnescapeField, ResolvesTheEscapesOfTheTable) {
  struct Case {
    const char* name;
    std::string field, result;
  };
  const Case cases[] = {
      {"plain", "abc", "abc"},
      {"empty", "", ""},
      {"newline", "a\\nb", "a\nb"},
      {"tab", "a\\tb", "a\tb"},
      {"backslash", "a\\\\b", "a\\b"},
      {"backslash_then_n", "\\\\n", "\\n"},
      {"hash", "\\#x", "#x"},
      {"hex_lower", "\\x41\\x4a", "AJ"},
      {"hex_upper_x", "\\X4A\\xff", "J\xff"},
      {"hex_high_byte", "\\x82\\xA0", "\x82\xa0"},
      {"hex_nul_ends_the_text", "a\\x00b", "a"},
      {"hex_bad_digit_ends_the_field", "ab\\x4Gcd", "ab"},
      {"hex_at_the_end", "ab\\x", "ab"},
      {"hex_one_digit", "ab\\x4", "ab"},
      {"unknown_escape_dropped", "\\q", ""},
      {"unknown_escape_inside", "a\\qb", "ab"},
      {"backslash_last", "a\\", "a"},
      {"trail_0x5c_is_ordinary", "\x83\\n", "\x83\\n"},
      {"trail_0x5c_then_escape", "\x83\\\\t", "\x83\\\t"},
      {"trail_0x41_then_escape", "\x83\x41\\t", "\x83\x41\t"},
      {"half_width_kana_is_single", "\xB1\\n", "\xB1\n"},
      {"lead_byte_last", "a\x83", "a\x83"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string buffer = c.field;  // exactly its bytes and the NUL
    unescape_field(buffer.data());
    EXPECT_EQ(std::string(buffer.c_str()), c.result);
  }
}

// --- replace_all_sjis ---------------------------------------------------------------------

struct ReplaceCase {
  const char* name;
  std::string source, search, replacement, result;
  size_t count;
};

const ReplaceCase kReplaceCases[] = {
    {"every_occurrence", "abcabc", "abc", "x", "xx", 2},
    {"no_overlap", "aaa", "aa", "b", "ba", 1},
    {"inserted_text_not_searched", "aa", "a", "aa", "aaaa", 2},
    {"delete", "xabcx", "abc", "", "xx", 1},
    {"at_the_end", "xab", "ab", "Z", "xZ", 1},
    {"no_match", "abc", "d", "x", "abc", 0},
    {"empty_search", "abc", "", "x", "abc", 0},
    {"trail_0x5c_not_matched", "\x83\x5C\\", "\\", "/", "\x83\x5C/", 1},
    {"trail_0x41_not_matched", "\x83\x41", "A", "b", "\x83\x41", 0},
    {"byte_after_a_pair_matches", "\x83\x41\x41", "A", "b",
     "\x83\x41"
     "b",
     1},
    {"half_width_kana_is_single", "\xB1\x41", "A", "b",
     "\xB1"
     "b",
     1},
    {"kanji_search", "\x82\xa0x\x82\xa0", "\x82\xa0", "-", "-x-", 2},
    {"kanji_across_a_pair_not_matched", "\x82\x82\xa0", "\x82\xa0", "-", "\x82\x82\xa0", 0},
    {"line_end", "a\nb\n", "\n", "<br>\n", "a<br>\nb<br>\n", 2},
};

TEST(ReplaceAllSjis, MatchesOnlyAtCharacterBoundaries) {
  for (const ReplaceCase& c : kReplaceCases) {
    SCOPED_TRACE(c.name);
    std::string replaced = "untouched";
    EXPECT_EQ(replace_all_sjis(c.source, c.search, c.replacement, &replaced), c.count);
    EXPECT_EQ(c.count == 0 ? c.source : replaced, c.result);
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
    for (const ReplaceCase& c : kReplaceCases) {
      SCOPED_TRACE(c.name);
      std::string replaced;
      EXPECT_EQ(replace_all_sjis(c.source, c.search, c.replacement, &replaced), c.count);
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
  static std::vector<std::pair<std::string, std::string>> Pairs(const ReplaceTable& table) {
    std::vector<std::pair<std::string, std::string>> pairs;
    EXPECT_EQ(table.search.size(), table.replace.size());
    for (size_t i = 0; i < table.search.size(); ++i) {
      pairs.emplace_back(table.search[i].View(), table.replace[i].View());
    }
    return pairs;
  }
  TempFolder dir;
  std::string path = dir / "table";
};

using PairList = std::vector<std::pair<std::string, std::string>>;

TEST_F(TableFile, PlainLinesSplitAtTabRuns) {
  const ReplaceTable table = Load(ReplaceMode::kPlain,
                                  "# a comment\n"
                                  "abc\n"
                                  "\tabc\txyz\n"
                                  "a\t\tb\n"
                                  "a\\tb\tz\n"
                                  "\\#x\ty\n"
                                  " #x\ty\n"
                                  "\n"
                                  "\t\t\n"
                                  "one\ttwo\tthree\r\n"
                                  "\\x41\t\\x4a\n"
                                  "last\tend\x1A"
                                  "after\tctrl-z\n");
  EXPECT_EQ(Pairs(table), (PairList{{"abc", ""},
                                    {"abc", "xyz"},
                                    {"a", "b"},
                                    {"a\tb", "z"},
                                    {"#x", "y"},
                                    {" #x", "y"},
                                    {"", ""},
                                    {"", ""},
                                    {"one", "two"},
                                    {"A", "J"},
                                    {"last", "end"}}));
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

TEST(ApplyReplaceTable, RegexCommandsRunInTableOrder) {
  struct Case {
    const char* name;
    std::vector<CString> commands;
    std::string text, result;
  };
  const Case cases[] = {
      {"first_match", {"s/a/b/"}, "aaa", "baa"},
      {"global", {"s/a/b/g"}, "aaa", "bbb"},
      {"each_on_the_text_before_it", {"s/a/b/g", "s/b/c/g"}, "abba", "cccc"},
      {"transliteration", {"tr/a-z/A-Z/"}, "Hello", "HELLO"},
      {"groups", {"s/(\\w+)@(\\w+)/$2 at $1/g"}, "me@here you@there", "here at me there at you"},
      {"empty_and_one_byte_lines_skipped", {"", "x", "s", "s/a/b/"}, "a", "b"},
      {"no_match_changes_nothing", {"s/q/x/", "s/a/b/"}, "a", "b"},
      {"empty_pattern_and_list_are_not_run", {"s//x/", "tr//x/", "s/a/b/"}, "a", "b"},
      {"kanji_codes", {"tr/\x82\x9f-\x82\xf1/\x83\x40-\x83\x93/k"}, "\x82\xdd\x82\xe7", "\x83\x7e\x83\x88"},
      {"kanji_trail_0x5c", {"s/\x95\\/x/gk"}, "\x95\\\x83\\", "x\x83\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string failure;
    EXPECT_EQ(Apply({ReplaceMode::kRegex, c.commands, {}}, c.text, &failure), c.result);
    EXPECT_EQ(failure, "");
  }
  std::string source, expected;
  for (int i = 0; i < 50000; ++i) {
    source += "a,\x82\xa0;";
    expected += "a, \x82\xa0;";
  }
  EXPECT_EQ(Apply({ReplaceMode::kRegex, {"s/,/, /g"}, {}}, source), expected) << "long results kept whole";
}

TEST(ApplyReplaceTable, FailingCommandStopsTheRestOfTheTable) {
  struct Case {
    const char* name;
    std::vector<CString> commands;
    std::string text, result, failure;
  };
  const Case cases[] = {
      {"third_of_four",
       {"s/a/b/", "s/c/d/", "s/(/x/", "s/b/z/"},
       "ac",
       "bd",
       "unmatched () in regexp | s/(/x/"},
      {"match_command", {"s/a/b/", "m/b/", "s/b/c/"}, "a", "b", "do not start 's' or 'tr' | m/b/"},
      {"leading_space", {" s/a/b/", "s/a/c/"}, "a", "a", "do not start 's' or 'tr' |  s/a/b/"},
      {"missing_delimiter", {"tr/a-z/A-Z", "s/a/c/"}, "a", "a", "unmatch separater | tr/a-z/A-Z"},
      {"text_emptied_then_next_command",
       {"s/.*//", "s/a/b/"},
       "abc",
       "",
       "invalid target parameter | s/a/b/"},
      {"empty_text", {"", "x", "s/a/b/", "s/c/d/"}, "", "", "invalid target parameter | s/a/b/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string failure;
    EXPECT_EQ(Apply({ReplaceMode::kRegex, c.commands, {}}, c.text, &failure), c.result);
    EXPECT_EQ(failure, c.failure);
  }
}

}  // namespace
