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

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out, err;
};

class RegexTableCli : public ::testing::Test {
 protected:
  RegexTableCli() {
    std::string pattern = (fs::temp_directory_path() / "tavvel_rx_cli_XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
  }
  ~RegexTableCli() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // tavvel-cli -q -r table [extra...] -o out sources..., in the test's folder.
  Outcome Join(const std::vector<std::string>& sources, const std::vector<std::string>& extra = {"-n", "lf"}) const {
    std::vector<std::string> args = {TAVVEL_CLI, "-q", "-r", "table", "-o", "out"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), sources.begin(), sources.end());
    const std::string out_path = Path(".stdout"), err_path = Path(".stderr");
    pid_t child = ::fork();
    if (child == 0) {
      int in = ::open("/dev/null", O_RDONLY);
      int out = ::open(out_path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
      int err = ::open(err_path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
      if (in < 0 || out < 0 || err < 0 || ::chdir(folder_.c_str()) != 0) ::_exit(125);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(126);
    }
    Outcome run;
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child) run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = Read(Path("out"));
    run.err = Read(err_path);
    return run;
  }

  static std::string Told(const std::string& message, const std::string& command) {
    return "tavvel-cli: " + message + ": " + command + " 置換テーブルを通さずに処理を続行します。\n";
  }

  std::string folder_;
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
