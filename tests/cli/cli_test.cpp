// tavvel-cli as other programs call it: options, exit status, the one-line
// messages on standard error, "-o -", sorting, sources that are missing or
// are folders, and what is kept when the output fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using tavvel_test::ReadFile;

const char kCli[] = TAVVEL_CLI;

struct Result {
  int status = -1;  // the exit status, or 128 + the signal
  std::string out, err;
};

class CliTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir / name; }
  void Write(const std::string& name, const std::string& bytes) const {
    tavvel_test::WriteFile(Path(name), bytes);
  }
  std::string Read(const std::string& name) const { return ReadFile(Path(name)); }
  bool Exists(const std::string& name) const { return tavvel_test::FileExists(Path(name)); }

  // Runs the program with args in the test's folder; standard input is empty, standard output and error
  // are collected. On a terminal, standard error is a pseudo-terminal (status -1 when there is none).
  // during, if given, runs while the program does.
  Result Run(const std::vector<std::string>& args, const std::string& program = kCli, bool terminal = false,
             const std::function<void(pid_t)>& during = nullptr) const {
    const std::string out = Path(".stdout"), err = Path(".stderr");
    int master = -1;
    std::fflush(nullptr);  // or the child writes the test's own pending output again
    const pid_t child = terminal ? ::forkpty(&master, nullptr, nullptr, nullptr) : ::fork();
    if (child == 0) {
      if (!std::freopen("/dev/null", "r", stdin) || !std::freopen(out.c_str(), stdout_mode, stdout) ||
          (!terminal && !std::freopen(err.c_str(), "w", stderr)) || ::chdir(dir.path().c_str()) != 0)
        ::_exit(125);
      std::vector<char*> argv = {const_cast<char*>(program.c_str())};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(126);
    }
    if (child > 0 && during) during(child);
    Result result;
    char buffer[4096];
    for (ssize_t got; master >= 0 && (got = ::read(master, buffer, sizeof buffer)) > 0;)
      result.err.append(buffer, static_cast<size_t>(got));
    if (master >= 0) ::close(master);
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child)
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFile(out);
    if (!terminal) result.err = ReadFile(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return result;
  }

  tavvel_test::TempFolder dir;
  const char* stdout_mode = "w";  // "a": standard output keeps what .stdout holds, as after >>
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Joined(int n) { return "tavvel-cli: " + std::to_string(n) + " 個のファイルを結合しました。"; }

// --- usage -----------------------------------------------------------------------------

TEST_F(CliTest, HelpAndVersion) {
  for (const char* help : {"--help", "-h"}) {
    SCOPED_TRACE(help);
    Result r = Run({help});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char* line : {
             "tavvel-cli [options] -o OUTPUT SOURCE...",
             "  -o, --output FILE         output file; \"-\" writes to standard output\n",
             "  -b, --binary              binary mode (FileMode 1); default: text mode\n",
             "  -n, --newline crlf|cr|lf  output line end (CRLF 0|1|2), default crlf\n",
             "  -c, --code CODE           output code: sjis|jis|euc|utf8|utf8-bom|utf16le\n",
             "      --input-code CODE     take every source as auto|sjis|euc|jis|utf8|utf16le|\n",
             "      --unmappable geta|ncr what a character Shift_JIS lacks becomes on input:\n",
             "      --guess               print each SOURCE's code and line ends; join nothing\n",
             "  -p, --plain TABLE         plain replacement table (RepMode 1, RepFile)\n",
             "  -r, --regex TABLE         regex replacement table (RepMode 2, RepFile)\n",
             "  -s, --separator FILE      insert the separator file (InsertSep 1, SepFile)\n",
             "      --sort asc|desc       sort the list before joining\n",
             "  -q, --quiet               no progress and no status line\n",
             "  -h, --help                usage; --version: the version\n",
         }) {
      EXPECT_NE(r.out.find(line), std::string::npos) << line;
    }
  }
}

TEST_F(CliTest, UsageErrorsNameTheBadArgument) {
  Write("a", "A");
  using Args = std::vector<std::string>;
  // name, arguments, what the first line of the message must hold
  // clang-format off
  const std::tuple<const char*, Args, std::string> cases[] = {
      {"nothing", {}, "no output file given"}, {"no_sources", {"-o", "out"}, "no source files given"},
      {"empty_output", {"-o", "", "a"}, "no output file given"},
      {"unknown_short", {"-x", "-o", "out", "a"}, "'-x'"},
      {"unknown_short_in_a_group", {"-bx", "-o", "out", "a"}, "'-x'"},
      {"unknown_long", {"--bogus", "-o", "out", "a"}, "'--bogus'"},
      {"newline_value", {"-n", "unix", "-o", "out", "a"}, "'unix' for --newline"},
      {"code_value", {"--code=utf-8", "-o", "out", "a"}, "'utf-8' for --code"},
      {"input_code_value", {"--input-code", "utf16", "-o", "out", "a"}, "'utf16' for --input-code"},
      {"unmappable_value", {"--unmappable=drop", "-o", "out", "a"}, "'drop' for --unmappable"},
      {"guess_without_sources", {"--guess"}, "no source files given"},
      {"sort_value", {"--sort", "up", "-o", "out", "a"}, "'up' for --sort"},
      {"two_tables", {"-p", "t", "-r", "t", "-o", "out", "a"}, "only one replacement table"},
      {"output_without_value", {"a", "-o"}, "'-o' needs a value"},
      {"long_output_without_value", {"a", "--output"}, "'--output' needs a value"},
      {"separator_without_value", {"-o", "out", "a", "-s"}, "'-s' needs a value"},
      {"empty_separator_path", {"-s", "", "-o", "out", "a"}, "empty path for -s"},
      {"empty_table_path", {"--plain=", "-o", "out", "a"}, "empty path for -p"},
      {"output_path_too_long", {"-o", std::string(260, 'o'), "a"}, "-o longer than 259 bytes: '" + std::string(260, 'o')},
      {"separator_path_too_long", {"-s", std::string(261, 's'), "-o", "out", "a"}, "'" + std::string(261, 's') + "'"},
      {"plain_path_too_long", {"-p", std::string(261, 'p'), "-o", "out", "a"}, "-p longer than 260"},
      {"regex_path_too_long", {"-r", std::string(261, 'r'), "-o", "out", "a"}, "-r longer than 260"},
  };
  // clang-format on
  for (const auto& [name, args, names] : cases) {
    SCOPED_TRACE(name);
    Result r = Run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    std::vector<std::string> lines = Lines(r.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("tavvel-cli: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(names), std::string::npos) << lines[0];
    EXPECT_FALSE(Exists("out"));
  }
}

// --- joining ---------------------------------------------------------------------------

TEST_F(CliTest, JoinsTellTheirStatusOnStandardError) {
  // clang-format off
  for (const auto& [name, bytes] : std::initializer_list<std::pair<const char*, std::string>>{
           {"t1", "a\r\nb\n"}, {"t2", "c\rd"}, {"A", "A"}, {"B", "B"}, {"C", "C"}, {"z", "z"},
           {"u", "a\n\xF0\x9F\x98\x80\n"}, {"e", "\xA4\xA2"}, {"u8", "\xE3\x81\x82"},  // あ in EUC-JP, UTF-8
           {"nul", std::string("A\0\r\n", 4)}, {"u16", std::string("\xFF\xFE" "a\0\r\0\n\0", 8)},
           {"euc", "\xA4\xA2\xA4\xA4\n"}, {"mixed", "a\r\nb\n"}, {"tree/b", "b"}, {"tree/a", "a"},
           {"tree/sub/c", "c"}}) {
    // clang-format on
    fs::create_directories(fs::path(Path(name)).parent_path());
    Write(name, bytes);
  }
  const std::string replaced =
      "tavvel-cli: 'u' の 1 文字はシフトJISで表せないため「〓」に置き換えました。(最初は 2 行目)\n";
  const std::string long_name = std::string(200, 'd') + "/" + std::string(100, 'f');
  const std::string huge_name(70000, 'h');  // larger than the Open dialog's whole buffer
  const auto too_long = [](const std::string& name) {
    return "tavvel-cli: '" + name + "' はパスが長すぎるため追加できません。(259 バイトまで)\n";
  };
  const std::string absent = "tavvel-cli: 'absent' を開くことができません。(Error:2)\n";
  const std::string no_sep_no_table =
      "tavvel-cli: セパレータファイルをオープンできません。(Error:2) "
      "セパレータを挿入せずに処理を続行します。\n"
      "tavvel-cli: 置換テーブルファイルをオープンできません。(Error:2) "
      "置換テーブルを通さずに処理を続行します。\n";
  const std::string empty_list = "tavvel-cli: リストが空です。\n";
  using Args = std::vector<std::string>;
  const std::string guessed = "u16: UTF-16LE (CRLF)\neuc: EUC-JP (LF)\nmixed: ASCII (MIXED)\n";
  // name, arguments, exit status, standard error, standard output, what "out" holds after the run
  // clang-format off
  const std::tuple<const char*, Args, int, std::string, std::string, std::optional<std::string>> cases[] = {
      {"version", {"--version"}, 0, "", "tavvel-cli 1.0.0.3\n", {}},
      {"guess_joins_nothing", {"--guess", "u16", "euc", "mixed", "absent"}, 1, absent, guessed, {}},
      {"guess_all_found", {"--guess", "mixed"}, 0, "", "mixed: ASCII (MIXED)\n", {}},
      {"output_dash_binary", {"-b", "-o", "-", "nul", "B"}, 0, Joined(2) + "\n", std::string("A\0\r\nB", 5), {}},
      {"output_dash_text", {"-n", "lf", "-o", "-", "nul", "B"}, 0, Joined(2) + "\n", "AB", {}},
      {"defaults", {"-o", "out", "t1", "t2"}, 0, Joined(2) + "\n", "", "a\r\nb\r\nc\r\nd"},
      {"quiet_has_no_status_line", {"-q", "-o", "out", "t2", "t1"}, 0, "", "", "c\r\nda\r\nb\r\n"},
      {"missing_source_stops_there", {"-o", "out", "A", "absent", "C"}, 1, absent + Joined(1) + "\n", "", "A"},
      // Binary mode stops without a message, but the join did stop.
      {"binary_missing_source", {"-b", "-q", "-o", "out", "absent", "A"}, 1, "", "", ""},
      {"one_line_each", {"-s", "absent.sep", "-p", "absent.tbl", "-o", "out", "A", "B"}, 1, no_sep_no_table + Joined(2) + "\n", "", "AB"},
      {"long_path_refused", {"-o", "out", long_name, "A"}, 1, too_long(long_name) + Joined(1) + "\n", "", "A"},
      {"nothing_left", {"-q", "-o", "out", long_name}, 1, too_long(long_name) + empty_list, "", {}},
      {"huge_name_refused_in_place", {"-q", "-o", "out", "A", huge_name, "B"}, 1, too_long(huge_name), "", "AB"},
      {"replaced_exits_one", {"-q", "-n", "lf", "--unmappable", "geta", "-o", "out", "u", "B"}, 1, replaced, "", "a\n\x81\xac\nB"},
      {"ncr", {"-q", "-n", "lf", "--unmappable", "ncr", "-o", "out", "u", "B"}, 1, replaced, "", "a\n&#x1F600;\nB"},
      {"input_code_auto", {"-q", "--input-code", "auto", "-o", "out", "e", "u8"}, 0, "", "", "\x82\xa0\x82\xa0"},
      {"input_code_sjis", {"-q", "--input-code", "sjis", "-o", "out", "e", "u8"}, 0, "", "", "\xA4\xA2\xE3\x81\x82"},
      {"sort_asc_walks_folders", {"-q", "--sort", "asc", "-o", "out", "z", "tree"}, 0, "", "", "abcz"},
      {"sort_desc", {"-q", "--sort", "desc", "-o", "out", "tree", "z"}, 0, "", "", "zcba"},
      // Without sorting a folder's files stand where the folder was named.
      {"unsorted_folder_in_place", {"-q", "-o", "out", "z", "tree/sub", "z"}, 0, "", "", "zcz"},
  };
  // clang-format on
  for (const auto& [name, args, status, err, out, output] : cases) {
    SCOPED_TRACE(name);
    const Result r = Run(args);
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(r.err, err);
    if (output) {
      EXPECT_EQ(Read("out"), *output);
    }
  }
  EXPECT_FALSE(Exists("-")) << "no file is created for standard output";
  // A source named "-" is a file like any other.
  Write("-", "dash");
  const Result r = Run({"-q", "-b", "-o", "-", "-", "B"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "dashB");
  EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, StandardOutputKeepsWhatItHolds) {
  Write("a", "A");
  stdout_mode = "a";
  for (const char* mode : {"-b", "-q"}) {
    Write(".stdout", "before\n");
    EXPECT_EQ(Run({"-q", mode, "-o", "-", "a"}).out, "before\nA") << mode;
  }
}

TEST_F(CliTest, OptionsBecomeTheDialogsOptions) {
  Write("a", "\x82\xa0\r\n-");
  Write("b", "x\n");
  Write("sep", "==\n");
  Write("table", "-\t+\n");
  // name, options, output
  // clang-format off
  const std::tuple<const char*, std::vector<std::string>, std::string> cases[] = {
      {"binary", {"-b", "-n", "lf", "-s", "sep"}, "\x82\xa0\r\n-x\n"},
      {"binary_long", {"--binary"}, "\x82\xa0\r\n-x\n"}, {"lf", {"-n", "lf"}, "\x82\xa0\n-x\n"},
      {"cr", {"--newline", "cr"}, "\x82\xa0\r-x\r"}, {"crlf", {"--newline=crlf"}, "\x82\xa0\r\n-x\r\n"},
      {"euc", {"-n", "lf", "-c", "euc"}, "\xa4\xa2\n-x\n"},
      {"jis", {"-n", "lf", "--code", "jis"}, "\x1b$B$\"\x1b(B\n-x\n"},
      {"sjis", {"-n", "lf", "-c", "sjis"}, "\x82\xa0\n-x\n"},
      {"utf8", {"-n", "lf", "-c", "utf8"}, "\xE3\x81\x82\n-x\n"},
      {"utf8_bom", {"-n", "lf", "-c", "utf8-bom"}, "\xEF\xBB\xBF\xE3\x81\x82\n-x\n"},
      {"utf16le", {"-n", "lf", "-c", "utf16le"}, std::string("\xFF\xFE\x42\x30\n\0-\0x\0\n\0", 12)},
      {"separator", {"-n", "lf", "-s", "sep"}, "\x82\xa0\n-==\nx\n"},
      {"plain_table", {"-n", "lf", "--plain", "table", "--separator", "sep"}, "\x82\xa0\n+==\nx\n"},
  };
  // clang-format on
  for (const auto& [name, options, output] : cases) {
    SCOPED_TRACE(name);
    std::vector<std::string> args = options;
    args.insert(args.end(), {"-q", "-o", "out", "a", "b"});
    Result r = Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Read("out"), output);
  }
}

TEST_F(CliTest, FullDiskIsReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  Write("a", "A");
  for (const char* mode : {"-b", "--newline=lf"}) {
    SCOPED_TRACE(mode);
    Result r = Run({mode, "-q", "-o", "/dev/full", "a"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err),
              std::vector<std::string>{"tavvel-cli: '/dev/full' の処理中にエラーが発生しました。 "
                                       "ディスクの空き容量が不足しています (Error:112)"});
  }
}

TEST_F(CliTest, NeitherReadsNorWritesAnIni) {
  // A copy of the program with an ini beside it that asks for binary mode.
  const std::string copy = Path("tavvel-cli");
  fs::copy_file(kCli, copy);
  const std::string ini = "[Settings]\r\nFileMode=1\r\nCRLF=2\r\n";
  Write("tavvel-cli.ini", ini);
  Write("a", "a\r\n");
  Result r = Run({"-q", "-o", "out", "a"}, copy);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Read("out"), "a\r\n");
  EXPECT_EQ(Read("tavvel-cli.ini"), ini);
  r = Run({"-q", "-n", "lf", "-o", "out", "a"}, copy);
  EXPECT_EQ(Read("out"), "a\n");
  EXPECT_EQ(Read("tavvel-cli.ini"), ini);
}

TEST_F(CliTest, ProgressOnATerminal) {
  Write("a", "a");
  Write("b", "b");
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet);
    const Result r = Run({quiet ? "-q" : "--newline=crlf", "-o", "out", "a", "b"}, kCli, true);
    if (r.status == -1) GTEST_SKIP() << "no pseudo-terminal here";
    EXPECT_EQ(r.status, 0);
    if (quiet) {
      EXPECT_EQ(r.err, "");
    } else {
      for (const std::string& part :
           {std::string("\r["), std::string("1/2 files"), std::string("2/2 files"), Joined(2)})
        EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
    }
    EXPECT_EQ(Read("out"), "ab");
  }
}

// Another program that cuts a source short while the join reads it through its mapping raises
// SIGBUS in the reader: the join stops with a message, not killed by the signal.
TEST_F(CliTest, SourceCutShortStopsTheJoinWithAMessage) {
  ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
  const Result r = Run({"-q", "-o", "out", "pipe"}, kCli, false, [this](pid_t child) {
    const int writer = ::open(Path("pipe").c_str(), O_WRONLY);  // returns once the join reads the source
    ::kill(child, SIGBUS);
    ::close(writer);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(
      r.err,
      "tavvel-cli: 読み込み中のファイルがほかのプログラムによって短くされたため、結合を中止しました。\n");
}

}  // namespace
