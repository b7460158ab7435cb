// Replacement tables: field escapes, plain replacement on Shift_JIS character
// boundaries whatever the locale, the table file as the dialog loads it, and
// the browse button.
#include "reptable/reptable.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <clocale>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "tests/support/support.h"

namespace {

using tavvel_test::DialogTest;
using tavvel_test::ReadFile;
using tavvel_test::Shown;
using tavvel_test::Warning;
using tavvel_test::WriteFile;

const std::vector<Shown> kNoMessages;

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
    std::string path = "A\x83\x41";
    EXPECT_EQ(LowerAsciiPath(path.data()), 1);
    EXPECT_EQ(path, "a\x83\x41");
  }
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_GT(tried, 1) << "no locale besides C to try";
}

// --- the table through the dialog ---------------------------------------------------------------

class TableTest : public DialogTest {
 protected:
  void SetUp() override {
    OpenDialog();
    WriteFile(Path("source"), "");
    AddFiles({Path("source")});
  }
  // Text mode with LF output and the given table; joins and returns the output.
  std::string JoinWith(int rep_mode, const std::string& table_path) {
    EXPECT_TRUE(window->SelectComboItem(IDC_CRLF, 2));
    EXPECT_TRUE(window->SelectComboItem(IDC_REP_MODE, rep_mode));
    EXPECT_TRUE(window->TypeText(IDC_REP_FILE, table_path.c_str()));
    last_ = table_path;
    last_mode_ = rep_mode;
    JoinTo(Path("out"));
    return ReadFile(Path("out"));
  }
  ReplaceTable Load(ReplaceMode mode) const {
    ReplaceTable table;
    uint32_t error = 0;
    LoadReplaceTable(last_.c_str(), mode, &table, &error);
    return table;
  }
  std::vector<std::pair<std::string, std::string>> Pairs() const {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (last_mode_ == 0) return pairs;
    ReplaceTable table = Load(ReplaceMode::kPlain);
    EXPECT_EQ(table.search.size(), table.replace.size());
    for (size_t i = 0; i < table.search.size(); ++i) {
      pairs.emplace_back(table.search[i].View(), table.replace[i].View());
    }
    return pairs;
  }
  std::vector<std::string> Commands() const {
    std::vector<std::string> lines;
    for (const CString& line : Load(ReplaceMode::kRegex).search) lines.emplace_back(line.View());
    return lines;
  }
  std::string last_;
  int last_mode_ = 0;
};

using Pair = std::pair<std::string, std::string>;

TEST_F(TableTest, PlainLinesSplitAtTabRuns) {
  WriteFile(Path("table"),
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
            "\\x4G\tq\n"
            "ab\\x\t\\q\n"
            "last\tend");
  JoinWith(1, Path("table"));
  EXPECT_EQ(Pairs(), (std::vector<Pair>{{"abc", ""},
                                        {"abc", "xyz"},
                                        {"a", "b"},
                                        {"a\tb", "z"},
                                        {"#x", "y"},
                                        {" #x", "y"},
                                        {"", ""},
                                        {"", ""},
                                        {"one", "two"},
                                        {"A", "J"},
                                        {"", "q"},
                                        {"ab", ""},
                                        {"last", "end"}}));
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

TEST_F(TableTest, CtrlZEndsTheTable) {
  WriteFile(Path("table"), "a\tb\r\nc\x1A\td\ne\tf\n");
  JoinWith(1, Path("table"));
  EXPECT_EQ(Pairs(), (std::vector<Pair>{{"a", "b"}, {"c", ""}}));
}

TEST_F(TableTest, RegexLinesAreKeptWhole) {
  WriteFile(Path("table"), "s/a/b/\n\n#c\n tr/x\\t/y/\r\n\\#\n");
  JoinWith(2, Path("table"));
  EXPECT_EQ(Commands(), (std::vector<std::string>{"s/a/b/", "", " tr/x\\t/y/", "\\#"}));
  EXPECT_EQ(Load(ReplaceMode::kRegex).replace.size(), 0u);
  TakeMessages();  // what running these commands shows is the regex mode's own matter
}

TEST_F(TableTest, EachJoinLoadsTheTableAfresh) {
  WriteFile(Path("table"), "a\tb\n");
  JoinWith(1, Path("table"));
  EXPECT_EQ(Pairs(), (std::vector<Pair>{{"a", "b"}}));
  WriteFile(Path("empty"), "");
  JoinWith(1, Path("empty"));
  EXPECT_TRUE(Pairs().empty());
  JoinWith(1, Path("table"));
  EXPECT_EQ(Pairs(), (std::vector<Pair>{{"a", "b"}}));
  // Switched off, the table of the last join stays, unused.
  WriteFile(Path("source"), "a");
  EXPECT_TRUE(window->SelectComboItem(IDC_REP_MODE, 0));
  JoinTo(Path("out"));
  EXPECT_EQ(ReadFile(Path("out")), "a");
  EXPECT_EQ(Pairs(), (std::vector<Pair>{{"a", "b"}}));
}

TEST_F(TableTest, PlainReplacementThroughTheJoin) {
  struct Case {
    const char* name;
    std::string table, source, output;
  };
  const Case cases[] = {
      {"rules_chain_in_table_order", "a\tb\nb\tc\n", "abba", "cccc"},
      {"line_without_tab_deletes", "abc\n", "xabcxabc", "xx"},
      {"empty_search_skipped", "\\q\tX\n\tY\n", "q", "q"},
      {"line_ends_match_backslash_n", "\\n\t<br>\\n\n", "a\r\nb\rc", "a<br>\nb<br>\nc"},
      {"trail_byte_backslash_untouched", "\\\\\t/\n", "\x83\x5C\\", "\x83\x5C/"},
      {"kanji_pairs", "\x82\xa0\t\x82\xa2\n", "\x82\xa0\x82\xa0", "\x82\xa2\x82\xa2"},
      {"after_input_conversion", "\x88\x9F\tX\n", "\x1B$B0!\x1B(B", "X"},
      {"comments_only", "#a\tb\n# x\n", "ab", "ab"},
      {"empty_table", "", "ab", "ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(Path("table"), c.table);
    WriteFile(Path("source"), c.source);
    EXPECT_EQ(JoinWith(1, Path("table")), c.output);
    EXPECT_EQ(TakeMessages(), kNoMessages);
  }
}

TEST_F(TableTest, MissingTableIsToldOncePerJoin) {
  WriteFile(Path("source"), "a");
  WriteFile(Path("second"), "a");
  AddFiles({Path("second")});
  EXPECT_EQ(JoinWith(1, Path("absent")), "aa");
  const Shown missing = Warning(
      "置換テーブルファイルをオープンできません。(Error:2)\n置換テーブルを通さずに処理を続行します。");
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{missing});
  EXPECT_EQ(JoinWith(1, Path("absent")), "aa");
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{missing});
  EXPECT_TRUE(Pairs().empty());
  // Off, the path is not even looked at.
  EXPECT_TRUE(window->SelectComboItem(IDC_REP_MODE, 0));
  JoinTo(Path("out"));
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

// The address-space limit is POSIX's.
#if !defined(_WIN32)
TEST_F(TableTest, TableTooLargeForMemoryIsNamed) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than a limit would leave";
#endif
  // One line of 64 MiB cannot be held under a limit of 40 MiB more than in use.
  constexpr size_t kSize = size_t{64} << 20;
  WriteFile(Path("source"), "a");
  WriteFile(Path("table"), std::string(kSize, 'x'));
  EXPECT_TRUE(window->SelectComboItem(IDC_REP_MODE, 1));
  EXPECT_TRUE(window->TypeText(IDC_REP_FILE, Path("table").c_str()));
  size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  if (pages == 0) GTEST_SKIP() << "no /proc/self/statm here";
  rlimit saved{};
  ::getrlimit(RLIMIT_AS, &saved);
  rlimit limited = saved;
  limited.rlim_cur = pages * static_cast<size_t>(::sysconf(_SC_PAGESIZE)) + (size_t{40} << 20);
  ::setrlimit(RLIMIT_AS, &limited);
  JoinTo(Path("out"));
  ::setrlimit(RLIMIT_AS, &saved);
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{tavvel_test::Stop("'" + Path("table") +
                                                                 "' は大きすぎるため処理できません。")});
  EXPECT_EQ(ReadFile(Path("out")), "") << "the output was created before the table was read";
}
#endif

TEST_F(TableTest, BrowsePutsTheChosenPathIntoTheEdit) {
  ASSERT_TRUE(window->SelectComboItem(IDC_REP_MODE, 1));
  ASSERT_TRUE(window->TypeText(IDC_REP_FILE, "/typed/Table.tbl"));
  host.AnswerFileDialog({CString("/Chosen/Table.DIC")});
  ASSERT_TRUE(window->Click(IDC_BROWSE_REP));
  ASSERT_EQ(host.FileDialogs().size(), 2u);
  const FileDialogRequest& request = host.FileDialogs()[1];
  EXPECT_TRUE(request.open);
  EXPECT_EQ(request.title, "置換テーブルの選択");
  EXPECT_EQ(request.filter,
            "置換テーブル ファイル (*.txt;*.tbl;*.dic)|*.txt;*.tbl;*.dic|すべてのファイル (*.*)|*.*||");
  EXPECT_EQ(request.default_extension, "txt");
  EXPECT_EQ(request.file_name, "/typed/Table.tbl");
  EXPECT_EQ(request.flags, win::kOfnHideReadOnly | win::kOfnOverwritePrompt);
  EXPECT_EQ(Text(IDC_REP_FILE), "/Chosen/Table.DIC");
  EXPECT_EQ(dialog->m_strRepFile, "/Chosen/Table.DIC");

  host.CancelFileDialog();
  ASSERT_TRUE(window->Click(IDC_BROWSE_REP));
  EXPECT_EQ(Text(IDC_REP_FILE), "/Chosen/Table.DIC");
  EXPECT_EQ(Text(IDC_SEP_FILE), "");
  EXPECT_EQ(ComboSel(IDC_REP_MODE), 1);
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

}  // namespace
