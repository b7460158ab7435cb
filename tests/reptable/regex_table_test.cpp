// The regex replacement mode through the dialog: commands in table order, the skip
// rules, a failing command that stops the rest of the table for one file only, and
// the texts a command can leave (changed, unchanged, empty).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/app.h"
#include "tests/support/support.h"

namespace {

using tavvel_test::DialogTest;
using tavvel_test::ReadFile;
using tavvel_test::Shown;
using tavvel_test::Warning;
using tavvel_test::WriteFile;

const std::vector<Shown> kNoMessages;

// The warning of a failed command: the engine's message, then the command.
Shown Failed(const std::string& message, const std::string& command) {
  return Warning(message + ": " + command + "\n置換テーブルを通さずに処理を続行します。");
}

class RegexTableTest : public DialogTest {
 protected:
  void SetUp() override { OpenDialog(); }
  // Joins the sources (created in this order) in text mode with LF output and the table.
  std::string Join(const std::string& table, const std::vector<std::string>& sources) {
    WriteFile(Path("table"), table);
    std::vector<std::string> paths;
    for (size_t i = 0; i < sources.size(); ++i) {
      paths.push_back(Path("source" + std::to_string(i)));
      WriteFile(paths.back(), sources[i]);
    }
    AddFiles(paths);
    EXPECT_TRUE(window->SelectComboItem(IDC_CRLF, 2));
    EXPECT_TRUE(window->SelectComboItem(IDC_REP_MODE, 2));
    EXPECT_TRUE(window->TypeText(IDC_REP_FILE, Path("table").c_str()));
    JoinTo(Path("out"));
    return ReadFile(Path("out"));
  }
};

TEST_F(RegexTableTest, CommandsRunInTableOrder) {
  struct Case {
    const char* name;
    std::string table, source, output;
  };
  const Case cases[] = {
      {"first_match", "s/a/b/\n", "aaa", "baa"},
      {"global", "s/a/b/g\n", "aaa", "bbb"},
      {"each_on_the_text_before_it", "s/a/b/g\ns/b/c/g\n", "abba", "cccc"},
      {"transliteration", "tr/a-z/A-Z/\n", "Hello", "HELLO"},
      {"groups", "s/(\\w+)@(\\w+)/$2 at $1/g\n", "me@here you@there", "here at me there at you"},
      {"line_ends_are_lf", "s/$/;/mg\n", "a\r\nb", "a;\nb;"},
      {"comments_empty_and_one_byte_lines_skipped", "# s/a/x/\n\nx\ns\ns/a/b/\n", "a", "b"},
      {"no_match_changes_nothing", "s/q/x/\ns/a/b/\n", "a", "b"},
      {"empty_pattern_and_list_are_not_run", "s//x/\ntr//x/\ns/a/b/\n", "a", "b"},
      {"kanji_codes", "tr/\x82\x9f-\x82\xf1/\x83\x40-\x83\x93/k\n", "\x82\xdd\x82\xe7", "\x83\x7e\x83\x88"},
      {"kanji_trail_0x5c", "s/\x95\\/x/gk\n", "\x95\\\x83\\", "x\x83\\"},
      {"crlf_table_lines", "s/a/b/\r\ns/b/c/\r\n", "a", "c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Join(c.table, {c.source}), c.output);
    EXPECT_EQ(TakeMessages(), kNoMessages);
    dialog->m_listFiles.ResetContent();
  }
}

TEST_F(RegexTableTest, FailingCommandStopsTheRestOfTheTable) {
  struct Case {
    const char* name;
    std::string table, source, output;
    Shown shown;
  };
  const Case cases[] = {
      {"third_of_four", "s/a/b/\ns/c/d/\ns/(/x/\ns/b/z/\n", "ac", "bd", Failed("unmatched () in regexp", "s/(/x/")},
      {"match_command", "s/a/b/\nm/b/\ns/b/c/\n", "a", "b", Failed("do not start 's' or 'tr'", "m/b/")},
      {"leading_space", " s/a/b/\ns/a/c/\n", "a", "a", Failed("do not start 's' or 'tr'", " s/a/b/")},
      {"missing_delimiter", "tr/a-z/A-Z\ns/a/c/\n", "a", "a", Failed("unmatch separater", "tr/a-z/A-Z")},
      {"text_emptied_then_next_command", "s/.*//\ns/a/b/\n", "abc", "", Failed("invalid target parameter", "s/a/b/")},
      {"empty_source", "\nx\ns/a/b/\ns/c/d/\n", "", "", Failed("invalid target parameter", "s/a/b/")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Join(c.table, {c.source}), c.output);
    EXPECT_EQ(TakeMessages(), std::vector<Shown>{c.shown});
    dialog->m_listFiles.ResetContent();
  }
}

TEST_F(RegexTableTest, EveryFileStartsTheTableAgain) {
  // The failing command is told once per file; the next file still gets every command.
  const std::string out = Join("s/a/b/g\ns/x(/y/\ns/b/c/g\n", {"aa\n", "ab\n", "q\n"});
  EXPECT_EQ(out, "bb\nbb\nq\n");
  const Shown failed = Failed("unmatched () in regexp", "s/x(/y/");
  EXPECT_EQ(TakeMessages(), (std::vector<Shown>{failed, failed, failed}));
  // An empty file among others: only it reports, the others are replaced.
  dialog->m_listFiles.ResetContent();
  EXPECT_EQ(Join("s/a/b/\n", {"a", "", "a"}), "bb");
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{Failed("invalid target parameter", "s/a/b/")});
}

TEST_F(RegexTableTest, LongResultsAreKeptWhole) {
  std::string source, expected;
  for (int i = 0; i < 50000; ++i) {
    source += "a,\x82\xa0;";
    expected += "a, \x82\xa0;";
  }
  EXPECT_EQ(Join("s/,/, /g\n", {source}), expected);
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

}  // namespace
