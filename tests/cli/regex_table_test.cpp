// tavvel-cli -r TABLE over real files: commands in table order, the skipped lines,
// a failing command told once per file, and an empty source.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cli/cli_fixture.h"

namespace {

using Outcome = cli_test::Result;

class RegexTableCli : public cli_test::CliFolderTest {
 protected:
  // tavvel-cli -q -r table [extra...] -o out sources..., in the test's folder.
  Outcome Join(const std::vector<std::string>& sources, const std::vector<std::string>& extra = {"-n", "lf"}) const {
    std::vector<std::string> args = {TAVVEL_CLI, "-q", "-r", "table", "-o", "out"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), sources.begin(), sources.end());
    Outcome run = RunProgram(args.front(), std::vector<std::string>(args.begin() + 1, args.end()));
    run.out = Read("out");
    return run;
  }

  static std::string Told(const std::string& message, const std::string& command) {
    return "tavvel-cli: " + message + ": " + command + " 置換テーブルを通さずに処理を続行します。\n";
  }
};

TEST_F(RegexTableCli, CommandsRunInOrderOverEveryFile) {
  Write("table",
        "# dates to ISO, then tidy\r\n"
        "s/(\\d+)\\/(\\d+)\\/(\\d{4})/$3-$1-$2/g\r\n"
        "\r\n"
        "x\r\n"
        "tr/a-z/A-Z/\r\n"
        "s/\x95\\/\x8e\x9a/gk\r\n");
  Write("one.txt", "due 12/24/2026\r\nnext 1/2/2027\r\n");
  Write("two.txt", "\x95\\ on 7/7/2027\n");
  const Outcome run = Join({"one.txt", "two.txt"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "DUE 2026-12-24\nNEXT 2027-1-2\n\x8e\x9a ON 2027-7-7\n");
}

TEST_F(RegexTableCli, OutputLineEndsComeAfterTheTable) {
  Write("table", "s/\\n/;\\n/g\n");
  Write("a.txt", "a\r\nb\r\n");
  const Outcome run = Join({"a.txt"}, {});  // default CR LF
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "a;\r\nb;\r\n");
}

TEST_F(RegexTableCli, FailingCommandIsToldOncePerFile) {
  Write("table", "s/a/b/g\ns/[a/x/\ns/b/c/g\n");
  Write("one.txt", "aa\n");
  Write("two.txt", "ab\n");
  const Outcome run = Join({"one.txt", "two.txt"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "bb\nbb\n");  // the first command stays, the third never runs
  const std::string told = Told("unmatched [] in regexp", "s/[a/x/");
  EXPECT_EQ(run.err, told + told);
}

TEST_F(RegexTableCli, EmptySourceReportsInvalidTarget) {
  Write("table", "\ns\ns/a/b/\ns/c/d/\n");
  Write("empty.txt", "");
  Write("full.txt", "c");
  const Outcome run = Join({"empty.txt", "full.txt"});
  EXPECT_EQ(run.status, 1);
  // The first command longer than one byte is named; the other file is replaced.
  EXPECT_EQ(run.err, Told("invalid target parameter", "s/a/b/"));
  EXPECT_EQ(run.out, "d");
}

TEST_F(RegexTableCli, CommandsOtherThanSOrTrAreRefused) {
  Write("table", " s/a/b/\n/a/\ns/c/d/\n");
  Write("a.txt", "c");
  const Outcome run = Join({"a.txt"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, Told("do not start 's' or 'tr'", " s/a/b/"));
  EXPECT_EQ(run.out, "c");
}

TEST_F(RegexTableCli, TextEmptiedByACommand) {
  Write("table", "s/.*\\n//g\ns/x/y/\n");
  Write("a.txt", "gone\nalso\n");
  Write("b.txt", "kept x");
  const Outcome run = Join({"a.txt", "b.txt"});
  EXPECT_EQ(run.out, "kept y");
  EXPECT_EQ(run.err, Told("invalid target parameter", "s/x/y/"));
  EXPECT_EQ(run.status, 1);
}

}  // namespace
