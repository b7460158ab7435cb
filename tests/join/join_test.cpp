// The join core: options, line ends, the text pipeline, separator rules and
// every failure of a join, seen through what it writes and what it reports.
#include "join/join.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if !defined(_WIN32)
#include <iconv.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/support.h"
#if defined(_WIN32)
#include "tests/support/named_pipe.h"
#endif

namespace {

using tavvel_test::FileExists;
using tavvel_test::ReadFile;
using tavvel_test::TempFolder;
using tavvel_test::WriteFile;
namespace fs = std::filesystem;
using Events = std::vector<std::string>;
using namespace std::string_literals;

// Records every report as one line, in order.
class Recorder : public JoinReporter {
 public:
  void CannotOpen(const CString& path, uint32_t error) override {
    Add("open " + std::string(path.View()) + " " + std::to_string(error));
  }
  void Notice(const JoinNotice& notice) override {
    const char* kinds[] = {"no separator", "no table", "command"};
    Add(std::string(kinds[notice.kind]) + " " + std::to_string(notice.error) + " " +
        std::string(notice.message.View()) + (notice.command.IsEmpty() ? "" : " | ") +
        std::string(notice.command.View()));
  }
  void FileFailed(const CFileException& failure) override {
    Add("failed " + std::string(failure.m_strFileName.View()) + " " + std::to_string(failure.m_lOsError));
  }
  void TooLarge(const CString& path) override { Add("too large " + std::string(path.View())); }
  void Replaced(const CString& path, size_t count, size_t first_line) override {
    Add("replaced " + std::string(path.View()) + " " + std::to_string(count) + " line " +
        std::to_string(first_line));
  }
  void Progress(int32_t done, int32_t total, uint64_t bytes) override {
    progress.push_back(std::to_string(done) + "/" + std::to_string(total) + " " + std::to_string(bytes));
  }
  Events Take() { return std::exchange(events, {}); }

  Events events;
  Events progress;

 private:
  void Add(std::string line) { events.push_back(std::move(line)); }
};

// 300 KiB of CR LF lines, and the same with LF line ends: what comes through a pipe.
std::pair<std::string, std::string> PipeLines() {
  std::string text, expected;
  for (int i = 0; text.size() < 300 * 1024; ++i) {
    text += "line " + std::to_string(i) + "\r\n";
    expected += "line " + std::to_string(i) + "\n";
  }
  return {text, expected};
}

class JoinCore : public ::testing::Test {
 protected:
  JoinCore() { options.line_end = LineEnd::kLf; }
  std::string Path(const std::string& name) const { return dir / name; }
  // Creates the files (name, content) and makes them the sources, in order.
  void Sources(const std::vector<std::pair<std::string, std::string>>& files) {
    sources.clear();
    for (const auto& [name, content] : files) {
      WriteFile(Path(name), content);
      sources.emplace_back(Path(name).c_str());
    }
  }
  void Source(const std::string& path) { sources.emplace_back(path.c_str()); }
  JoinResult JoinTo(const std::string& output) {
    report.progress.clear();
    return JoinSources(sources, output.c_str(), options, report);
  }
  // Joins into "out" and returns what it holds.
  std::string Join() {
    last = JoinTo(Path("out"));
    return ReadFile(Path("out"));
  }
  void UseSeparator(const std::string& content) {
    WriteFile(Path("sep"), content);
    options.separator = SeparatorMode::kOn;
    options.separator_path = Path("sep").c_str();
  }
  void UseTable(ReplaceMode mode, const std::string& content) {
    WriteFile(Path("table"), content);
    options.replace_mode = mode;
    options.table_path = Path("table").c_str();
  }

  TempFolder dir;
  JoinOptions options;
  std::vector<CString> sources;
  Recorder report;
  JoinResult last;
};

// --- options -------------------------------------------------------------------------------

TEST(JoinOptions, ComboIndexesAndBack) {
  // Index i is a combo's i-th item; any other index is no selection, which comes back as -1.
  const LineEnd ends[] = {LineEnd::kCrLf, LineEnd::kCr, LineEnd::kLf};
  const OutputCode codes[] = {OutputCode::kShiftJis, OutputCode::kJis,     OutputCode::kEucJp,
                              OutputCode::kUtf8,     OutputCode::kUtf8Bom, OutputCode::kUtf16LeBom};
  const ReplaceMode modes[] = {ReplaceMode::kNone, ReplaceMode::kPlain, ReplaceMode::kRegex};
  auto in = [](int32_t i, int32_t count) { return i >= 0 && i < count; };
  for (int32_t i = -1; i <= 7; ++i) {
    SCOPED_TRACE(i);
    const JoinOptions o = OptionsFromIndexes({i, i, i, i, i}, "t", "s");
    EXPECT_EQ(o.file_mode, i == 0 ? FileMode::kText : i == 1 ? FileMode::kBinary : FileMode::kUnselected);
    EXPECT_EQ(o.line_end, in(i, 3) ? ends[i] : LineEnd::kUnselected);
    EXPECT_EQ(o.output_code, in(i, 6) ? codes[i] : OutputCode::kUnselected);
    EXPECT_EQ(o.replace_mode, in(i, 3) ? modes[i] : ReplaceMode::kUnselected);
    EXPECT_EQ(o.separator, i == 0   ? SeparatorMode::kOff
                           : i == 1 ? SeparatorMode::kOn
                                    : SeparatorMode::kUnselected);
    EXPECT_EQ(o.table_path, "t");
    EXPECT_EQ(o.separator_path, "s");
    const OptionIndexes back = IndexesOfOptions(o);
    EXPECT_EQ(back.file_mode, in(i, 2) ? i : -1);
    EXPECT_EQ(back.line_end, in(i, 3) ? i : -1);
    EXPECT_EQ(back.output_code, in(i, 6) ? i : -1);
    EXPECT_EQ(back.replace_mode, in(i, 3) ? i : -1);
    EXPECT_EQ(back.separator, in(i, 2) ? i : -1);
  }
}

TEST_F(JoinCore, NoSelectionKeepsTheMeaningOfNotZero) {
  // Binary for the file mode; LF kept; no output code; the table loaded but
  // applied in neither mode; the separator on.
  Sources({{"a", "a\r\n\x82\xa0"}, {"b", "z"}});
  UseTable(ReplaceMode::kUnselected, "a\tb\n");
  options.table_path = Path("absent").c_str();
  UseSeparator("-\r\n");
  options.line_end = LineEnd::kUnselected;
  options.output_code = OutputCode::kUnselected;
  options.separator = SeparatorMode::kUnselected;
  EXPECT_EQ(Join(), "a\n\x82\xa0-\nz");
  EXPECT_EQ(report.Take(), Events{"no table 2 "}) << "the table is looked for";
  options.file_mode = FileMode::kUnselected;
  EXPECT_EQ(Join(), "a\r\n\x82\xa0z");
}

// --- line ends -----------------------------------------------------------------------------

// Every line end becomes one LF and the first NUL ends the text, at every offset of a text
// longer than the 16-byte blocks it is scanned in (a CR LF also split across two blocks).
TEST(NormalizeNewlines, LineEndsAndNulAtEveryOffset) {
  // The last: no trail byte is a CR or LF, so the CR after the lead byte 0x83 is a line end.
  const std::string marks[] = {"\r\n", "\r", std::string("\0", 1), "\r\r\n", "\n\r", "\r\n\r\n", "\x83\r\n"};
  const std::string results[] = {"\n", "\n", "", "\n\n", "\n\n", "\n\n", "\x83\n"};
  for (size_t m = 0; m < std::size(marks); ++m) {
    for (size_t at = 0; at < 40; ++at) {
      std::string buffer(60, 'x');
      buffer.replace(at, marks[m].size(), marks[m]);
      const std::string tail = buffer.substr(at + marks[m].size());
      const std::string expected = buffer.substr(0, at) + results[m] + (m == 2 ? "" : tail);
      std::string terminated = buffer;
      normalize_newlines(terminated.data());
      ASSERT_EQ(std::string(terminated.c_str()), expected) << m << " " << at;
      ASSERT_EQ(normalize_newlines(buffer.data(), buffer.size()), expected.size()) << m << " " << at;
      ASSERT_EQ(std::string(buffer.c_str()), expected) << m << " " << at;
    }
  }
  std::string empty;
  EXPECT_EQ(normalize_newlines(empty.data(), 0), 0u);
}

// --- the text pipeline -------------------------------------------------------------------------

TEST_F(JoinCore, EachTextEndsAtItsFirstNulBinaryKeepsEveryByte) {
  const std::string with_nul("ab\0cd", 5);
  Sources({{"a", with_nul}, {"b", std::string("\0x", 2)}, {"c", "e"}});
  EXPECT_EQ(Join(), "abe");
  options.file_mode = FileMode::kBinary;
  UseSeparator("-");
  EXPECT_EQ(Join(), with_nul + std::string("\0x", 2) + "e") << "no text option applies";
  EXPECT_EQ(last.joined, 3);
  EXPECT_EQ(report.progress, (Events{"1/3 5", "2/3 7", "3/3 8"}));
}

TEST_F(JoinCore, StageOrderShowsInTheOutput) {
  // The table replaces '-' and 'x'; the separator holds both, in EUC-JP bytes
  // that are not brought to Shift_JIS. The table runs on Shift_JIS text.
  UseTable(ReplaceMode::kPlain, "-\t=\nx\tyy\n\x82\xa0\tok\n");
  UseSeparator("-x\xA4\xA2\n");
  Sources({{"a", "-x\n"}, {"b", "\xA4\xA2\xA4\xA4\n"}});  // EUC-JP あい
  EXPECT_EQ(Join(), "=yy\n-x\xA4\xA2\nok\x82\xA2\n");
  // With EUC output the separator's bytes are read as Shift_JIS half-width katakana.
  options.output_code = OutputCode::kEucJp;
  EXPECT_EQ(Join(), "=yy\n-x\x8E\xA4\x8E\xA2\nok\xA4\xA4\n");
  // JIS output closes two-byte mode before every line end, which comes last.
  options.output_code = OutputCode::kJis;
  options.line_end = LineEnd::kCrLf;
  EXPECT_EQ(Join(), "=yy\r\n-x\x1B(I$\"\x1B(B\r\nok\x1B$B$$\x1B(B\r\n");
  EXPECT_EQ(report.Take(), Events{});
}

TEST_F(JoinCore, ANulPutInByTheTableEndsTheConvertedText) {
  UseTable(ReplaceMode::kRegex, "s/b/\\x00/\n");
  Sources({{"a", "abc\n"}});
  for (OutputCode code : {OutputCode::kShiftJis, OutputCode::kJis, OutputCode::kEucJp}) {
    options.output_code = code;
    EXPECT_EQ(Join(), code == OutputCode::kShiftJis ? std::string("a\0c\n", 4) : "a");
  }
}

TEST_F(JoinCore, LineEndAndSeparatorRules) {
  // name, the sources' contents, the separator, the output line end, the output
  const std::tuple<const char*, std::vector<std::string>, std::string, LineEnd, std::string> cases[] = {
      {"between_not_after_the_last", {"A\n", "B\n", "C\n"}, "--\r\n", LineEnd::kLf, "A\n--\nB\n--\nC\n"},
      {"crlf_output", {"A\n", "B\n"}, "--\r\n", LineEnd::kCrLf, "A\r\n--\r\nB\r\n"},
      {"empty_separator_file", {"A\n", "B\n"}, "", LineEnd::kLf, "A\nB\n"},
      {"starting_with_nul", {"A\n", "B\n"}, std::string("\0--", 3), LineEnd::kLf, "A\nB\n"},
      {"empty_source_in_the_middle", {"A\n", "", "C\n"}, "--\n", LineEnd::kLf, "A\n--\n--\nC\n"},
      {"no_final_line_ends", {"one\ntwo", "three"}, "==", LineEnd::kCr, "one\rtwo==three"},
      {"crlf_from_each_line_end", {"a\r\nb\rc\n", "d\r"}, "", LineEnd::kCrLf, "a\r\nb\r\nc\r\nd\r\n"},
      {"cr_from_each_line_end", {"a\r\nb\rc\n", "d\r"}, "", LineEnd::kCr, "a\rb\rc\rd\r"},
      {"lf_from_each_line_end", {"a\r\nb\rc\n", "d\r"}, "", LineEnd::kLf, "a\nb\nc\nd\n"},
      {"single_file", {"A\n"}, "--\n", LineEnd::kLf, "A\n"},
  };
  for (const auto& [name, contents, separator, line_end, expected] : cases) {
    SCOPED_TRACE(name);
    sources.clear();
    for (const std::string& content : contents) {
      WriteFile(Path(std::to_string(sources.size())), content);
      Source(Path(std::to_string(sources.size())));
    }
    UseSeparator(separator);
    options.line_end = line_end;
    EXPECT_EQ(Join(), expected);
  }
  // On without a path, or off with a path: not read, no notice.
  options.separator_path = "";
  EXPECT_EQ(Join(), "A\n");
  Sources({{"a", "A"}, {"b", "B"}});
  options.separator = SeparatorMode::kOff;
  options.separator_path = Path("absent").c_str();
  EXPECT_EQ(Join(), "AB");
  EXPECT_EQ(report.Take(), Events{});
}

TEST_F(JoinCore, SeparatorAndTableAreReadOncePerJoinAfterTheOutputIsCreated) {
  struct Rewriter : Recorder {
    std::string table, sep;
    void Progress(int32_t done, int32_t total, uint64_t bytes) override {
      Recorder::Progress(done, total, bytes);
      WriteFile(table, "a\tc\n");
      WriteFile(sep, "2");
    }
  } rewriter;
  rewriter.table = Path("table");
  rewriter.sep = Path("sep");
  UseTable(ReplaceMode::kPlain, "a\tb\n");
  UseSeparator("1");
  Sources({{"a", "a"}, {"b", "a"}, {"c", "a"}});
  EXPECT_EQ(JoinSources(sources, Path("out").c_str(), options, rewriter).joined, 3);
  EXPECT_EQ(ReadFile(Path("out")), "b1b1b");
  EXPECT_EQ(rewriter.progress, (Events{"1/3 2", "2/3 4", "3/3 5"}));
  EXPECT_EQ(Join(), "c2c2c") << "the next join reads them again";
  // Named as the output, the separator (then the table) is emptied and held open first.
  JoinTo(Path("sep"));
  EXPECT_EQ(ReadFile(Path("sep")), "ccc");
  EXPECT_EQ(report.Take(), Events{"no separator 32 "});
  JoinTo(Path("table"));
  EXPECT_EQ(ReadFile(Path("table")), "acccaccca");
  EXPECT_EQ(report.Take(), Events{"no table 32 "});
}

TEST_F(JoinCore, RegexCommandFailureIsToldOncePerSource) {
  UseTable(ReplaceMode::kRegex, "s/a/b/\nm/x/\ns/b/c/\n");
  Sources({{"a", "aa"}, {"b", "a"}});
  EXPECT_EQ(Join(), "bab");
  EXPECT_EQ(report.Take(), (Events{"command 0 do not start 's' or 'tr' | m/x/",
                                   "command 0 do not start 's' or 'tr' | m/x/"}));
  EXPECT_EQ(last.joined, 2);
}

// --- failures ---------------------------------------------------------------------------------

TEST_F(JoinCore, OutputThatCannotBeOpened) {
  Sources({{"a", "A"}});
  fs::create_directory(Path("folder"));
  const std::pair<std::string, int> outputs[] = {{Path("absent/out"), 3}, {Path("folder"), 5}};
  for (const auto& [output, error] : outputs) {
    SCOPED_TRACE(output);
    options.file_mode = FileMode::kText;
    EXPECT_EQ(JoinTo(output).joined, 0);
    EXPECT_EQ(report.Take(), Events{"open " + output + " " + std::to_string(error)});
    options.file_mode = FileMode::kBinary;
    EXPECT_EQ(JoinTo(output).joined, 0);
    EXPECT_EQ(report.Take(), Events{}) << "binary mode stops silently";
  }
}

TEST_F(JoinCore, SourceThatCannotBeOpenedEndsTheJoinKeepingWhatWasWritten) {
  fs::create_directory(Path("folder"));
  UseSeparator("|");
  Sources({{"a", "A"}, {"b", "B"}});
  Source(Path("absent"));
  WriteFile(Path("c"), "C");
  Source(Path("c"));
  Source(Path("folder"));
  EXPECT_EQ(Join(), "A|B|");
  EXPECT_EQ(last.joined, 2);
  EXPECT_FALSE(last.stopped);
  EXPECT_EQ(report.Take(), Events{"open " + Path("absent") + " 2"});
  EXPECT_EQ(report.progress, (Events{"1/5 2", "2/5 4"}));
  options.file_mode = FileMode::kBinary;
  EXPECT_EQ(Join(), "AB");
  EXPECT_EQ(last.joined, 2);
  EXPECT_EQ(report.Take(), Events{});
  sources.erase(sources.begin() + 2);
  options.file_mode = FileMode::kText;
  EXPECT_EQ(Join(), "A|B|C|");
  EXPECT_EQ(report.Take(), Events{"open " + Path("folder") + " 5"});
}

TEST_F(JoinCore, OutputThatIsASourceIsRefusedBeforeAnythingIsEmptied) {
  Sources({{"a", "A"}, {"b", "B"}});
  std::vector<std::string> outputs = {Path("b"), dir.path() + kPathSeparator + "." + kPathSeparator + "b"};
#if defined(_WIN32)
  outputs.push_back(Path("B"));
#else
  fs::create_symlink(Path("b"), Path("alias"));
  outputs.push_back(Path("alias"));
#endif
  for (FileMode mode : {FileMode::kText, FileMode::kBinary}) {
    options.file_mode = mode;
    for (const std::string& output : outputs) {
      SCOPED_TRACE(output);
      EXPECT_EQ(JoinTo(output).joined, 0);
      EXPECT_EQ(report.Take(), Events{"open " + Path("b") + " 32"});
      EXPECT_EQ(ReadFile(Path("b")), "B");
    }
  }
}

#if !defined(_WIN32)
TEST_F(JoinCore, FullDiskStopsTheJoinAndClosesItsFiles) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  Sources({{"a", "A"}, {"b", "B"}});
  for (FileMode mode : {FileMode::kText, FileMode::kBinary}) {
    options.file_mode = mode;
    const JoinResult result = JoinTo("/dev/full");
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.joined, 0);
    EXPECT_EQ(report.Take(), Events{"failed /dev/full 112"});
    CFile file;
    EXPECT_TRUE(file.Open(Path("a").c_str(), CFile::modeRead | CFile::shareExclusive)) << "closed again";
  }
}

// Lowers a soft resource limit for one test.
class Limit {
 public:
  Limit(int resource, rlim_t bytes) : resource_(resource) {
    ::getrlimit(resource_, &saved_);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    ::setrlimit(resource_, &limited);
  }
  ~Limit() { ::setrlimit(resource_, &saved_); }

 private:
  int resource_;
  rlimit saved_{};
};

TEST_F(JoinCore, WriteFailureKeepsWhatWasWritten) {
  const std::string a(600, 'a'), b(600, 'b');
  Sources({{"a", a}, {"b", b}});
  ::signal(SIGXFSZ, SIG_IGN);
  for (FileMode mode : {FileMode::kText, FileMode::kBinary}) {
    options.file_mode = mode;
    {
      Limit limit(RLIMIT_FSIZE, 1000);
      last = JoinTo(Path("out"));
    }
    EXPECT_EQ(report.Take(), Events{"failed " + Path("out") + " 223"});
    EXPECT_EQ(ReadFile(Path("out")), a + b.substr(0, 400));
    EXPECT_TRUE(last.stopped);
    EXPECT_EQ(report.progress, Events{"1/2 600"});
  }
}

TEST_F(JoinCore, ReadFailureNamesTheSource) {
  // Reading a process's memory at address 0 fails with an I/O error.
  int probe = ::open("/proc/self/mem", O_RDONLY);
  char byte;
  const bool fails = probe >= 0 && ::pread(probe, &byte, 1, 0) < 0 && errno == EIO;
  if (probe >= 0) ::close(probe);
  if (!fails) GTEST_SKIP() << "no unreadable /proc/self/mem here";
  Sources({{"a", "A"}});
  Source("/proc/self/mem");
  options.file_mode = FileMode::kBinary;
  EXPECT_EQ(Join(), "A");
  EXPECT_EQ(report.Take(), Events{"failed /proc/self/mem 30"});
}

TEST_F(JoinCore, MemoryRunningOutInAStageNamesTheFile) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than a limit would leave";
#endif
  // 32 MiB of UTF-16 line ends are read whole; decoding them whole (as for
  // EUC-JP output) needs a second buffer larger than that, which the limit
  // leaves no room for.
  constexpr size_t kSize = size_t{32} << 20;
  std::string lines(kSize, '\0');
  for (size_t i = 0; i < kSize; i += 2) lines[i] = '\n';
  Sources({{"a", "A"}, {"lines", "\xFF\xFE" + lines}});
  options.line_end = LineEnd::kCrLf;
  options.output_code = OutputCode::kEucJp;
  size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  if (pages == 0) GTEST_SKIP() << "no /proc/self/statm here";
  const size_t in_use = pages * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  {
    Limit limit(RLIMIT_AS, in_use + kSize * 5 / 2);
    last = JoinTo(Path("out"));
  }
  EXPECT_EQ(report.Take(), Events{"too large " + Path("lines")});
  EXPECT_TRUE(last.stopped);
  EXPECT_EQ(ReadFile(Path("out")), "A");
  EXPECT_EQ(Join().size(), 1 + kSize) << "with the memory back the join goes through";
}

TEST_F(JoinCore, SourcesThatReportNoSizeAreReadWhole) {
  // A pipe reports no size; what comes through it is joined all the same.
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  const auto [text, expected] = PipeLines();
  Sources({{"a", "A\n"}});
  Source(Path("fifo"));
  for (FileMode mode : {FileMode::kText, FileMode::kBinary}) {
    options.file_mode = mode;
    std::thread writer([&] { std::ofstream(Path("fifo"), std::ios::binary) << text; });
    const std::string output = Join();
    // Should the join not have opened the pipe, the writer is let go.
    int release = ::open(Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    writer.join();
    if (release >= 0) ::close(release);
    EXPECT_EQ(output, "A\n" + (mode == FileMode::kText ? expected : text));
  }
  // Files of /proc report no size either, as a separator too.
  const std::string version = ReadFile("/proc/version");
  if (version.empty()) return;
  Sources({{"a", "A\n"}, {"b", "B"}});
  options.file_mode = FileMode::kText;
  options.separator = SeparatorMode::kOn;
  options.separator_path = "/proc/version";
  EXPECT_EQ(Join(), "A\n" + version + "B");
}

#else
TEST_F(JoinCore, PipeSourcesAreReadWhole) {
  // A named pipe reports no size; what comes through it is joined all the same.
  const auto [text, expected] = PipeLines();
  for (FileMode mode : {FileMode::kText, FileMode::kBinary}) {
    tavvel_test::NamedPipeSource pipe(text);
    Sources({{"a", "A\n"}});
    Source(pipe.path());
    options.file_mode = mode;
    const std::string output = Join();
    EXPECT_EQ(report.Take(), Events{});
    EXPECT_TRUE(output == "A\n" + (mode == FileMode::kText ? expected : text)) << output.size() << " bytes";
  }
}

#endif

TEST_F(JoinCore, BinarySourceOver4GiBIsStreamedWhole) {
  // A sparse file of 4 GiB + 3 bytes costs no disk; it is joined into the
  // null device, and the bytes written are counted as the join goes.
  const uint64_t big = (uint64_t{1} << 32) + 3;
  {
    CFile file;
    ASSERT_TRUE(file.Open(Path("big").c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary));
    ASSERT_EQ(file.Seek(static_cast<int64_t>(big - 1), CFile::begin), big - 1);
    file.Write("E", 1);
  }
  sources = {Path("big").c_str()};
  WriteFile(Path("tail"), "tail");
  Source(Path("tail"));
  options.file_mode = FileMode::kBinary;
#if defined(_WIN32)
  EXPECT_EQ(JoinTo("NUL").joined, 2);
#else
  EXPECT_EQ(JoinTo("/dev/null").joined, 2);
#endif
  EXPECT_EQ(report.Take(), Events{});
  EXPECT_EQ(report.progress, (Events{"1/2 " + std::to_string(big), "2/2 " + std::to_string(big + 4)}));
}

// --- texts longer than a window --------------------------------------------------------------

// Converted and written a window at a time, a long one in segments of 8 MiB in two halves at
// once, a text comes out as the whole text converted at once would, up to its first NUL,
// with the characters lost counted over all parts and the line of the first counted across
// windows.
TEST_F(JoinCore, LongTextsAsIfWhole) {
  // Lines of 37 bytes (30000 are over 1 MiB, 250000 over 8 MiB): kana, kanji and ASCII; a
  // lone byte or a NUL at the start of the lines given.
  const auto lines = [](int count, int lone_at, int also_at, int nul_at) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
      text += std::string(i == lone_at || i == also_at ? "\xFF" : i == nul_at ? std::string(1, '\0') : "") +
              "\x82\xA0\x88\x9F text " + std::string(25, '\x83') + "\x40\n";
    }
    return text;
  };
  std::string no_cut = "x";  // and 100 KiB of kanji: nowhere a window may end
  for (int i = 0; i < 50 * 1024; ++i) no_cut += "\x88\x9F";
  options.input_code = InputCode::kShiftJis;
  options.output_code = OutputCode::kUtf8Bom;
  options.line_end = LineEnd::kCrLf;
  const struct {
    std::string text;
    int lost, line;
  } cases[] = {{lines(30000, 25000, 0, 0), 1, 25000},   {lines(30000, 2500, 25000, 0), 2, 2500},
               {lines(30000, 2500, 0, 25000), 1, 2500},  {lines(30000, 25000, 0, 2500), 0, 0},
               {lines(250000, 240000, 0, 0), 1, 240000}, {lines(250000, 240000, 0, 100000), 0, 0},
               {no_cut + "\x82", 1, 1}};
  for (const auto& [text, lost, line] : cases) {
    std::string crlf;
    for (char c : text.substr(0, text.find('\0'))) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::vector<char> whole(cp932_to_unicode_capacity(crlf.size()));
    Sources({{"in", text}});
    EXPECT_TRUE(
        Join() ==
        std::string(whole.data(),
                    cp932_to_unicode(OUTPUT_UTF8, true, crlf.data(), crlf.size(), whole.data()).length));
    EXPECT_EQ(report.Take(), lost == 0 ? Events{}
                                       : Events{"replaced " + Path("in") + " " + std::to_string(lost) + " line " +
                                                std::to_string(line)});
  }
}

// A Shift_JIS source goes out a window at a time with its line ends brought to LF as in the
// whole: a CR LF across the end of a window is one line end, and the first NUL ends the text.
TEST_F(JoinCore, ShiftJisSourcesAsIfWhole) {
  const std::string head(64 * 1024 - 1, 'a'), body(70 * 1024, 'c');
  Sources({{"in", head + "\r\n\x82\xA0\rb\r\n" + body + '\0' + body + "d\r\n"}, {"next", "e\r\n"}});
  EXPECT_TRUE(Join() == head + "\n\x82\xA0\nb\n" + body + "e\n");
}

// Unicode sources decoded a window at a time, a long one in two halves at once: as the whole
// decoded at once, its line ends brought to LF, up to the first U+0000; replaced characters
// counted over both halves, the line of the first over the windows before it.
TEST_F(JoinCore, UnicodeSourcesAsIfWhole) {
  const auto to_unicode = [](UnicodeOutput code, const std::string& sjis) {
    std::vector<char> buffer(cp932_to_unicode_capacity(sjis.size()));
    return std::string(buffer.data(),
                       cp932_to_unicode(code, code == OUTPUT_UTF16LE, sjis.data(), sjis.size(), buffer.data()).length);
  };
  // Lines with CR LF, 100000 over 1 MiB of UTF-8, 650000 over 8 MiB; an emoji in place of
  // each '?'.
  for (const std::vector<int>& emoji_lines :
       {std::vector<int>{80000}, std::vector<int>{30000, 80000}, std::vector<int>{640000}}) {
    std::string sjis, lf;
    for (int i = 1; i <= (emoji_lines.back() > 100000 ? 650000 : 100000); ++i) {
      const bool emoji = std::find(emoji_lines.begin(), emoji_lines.end(), i) != emoji_lines.end();
      sjis += std::string(emoji ? "?" : "") + "\x82\xA0\x88\x9F text\r\n";
      lf += std::string(emoji ? "\x81\xAC" : "") + "\x82\xA0\x88\x9F text\n";
    }
    std::string utf8;
    for (char c : to_unicode(OUTPUT_UTF8, sjis)) utf8 += c == '?' ? std::string("\xF0\x9F\x98\x80") : std::string(1, c);
    Sources({{"utf8", utf8 + '\0' + utf8}});
    EXPECT_TRUE(Join() == lf);
    EXPECT_EQ(report.Take(), Events{"replaced " + Path("utf8") + " " + std::to_string(emoji_lines.size()) +
                                    " line " + std::to_string(emoji_lines[0])});
  }
  std::string sjis, lf;
  for (int i = 1; i <= 100000; ++i) sjis += "\x82\xA0\x88\x9F text\r\n", lf += "\x82\xA0\x88\x9F text\n";
  Sources({{"utf16le", to_unicode(OUTPUT_UTF16LE, sjis)}});
  EXPECT_TRUE(Join() == lf);
  EXPECT_EQ(report.Take(), Events{});
}

// A long text is checked in two halves at once, and still classed whole: UTF-8 where a byte
// from 0x80 up first comes in the second half, not UTF-8 where only the second half is wrong.
TEST_F(JoinCore, LongTextsAreClassedWhole) {
  std::string ascii, kana_utf8, kana_sjis;  // 1.2 MB, 0.8 MB, 0.6 MB
  for (int i = 0; i < 150000; ++i) ascii += "abcdefg\n";
  for (int i = 0; i < 200000; ++i) kana_utf8 += "\xE3\x81\x82\n", kana_sjis += "\x82\xA0\n";
  Sources({{"late", ascii + kana_utf8}});
  EXPECT_TRUE(Join() == ascii + kana_sjis);
  Sources({{"wrong", kana_utf8 + kana_utf8 + "\xFF"}});
  EXPECT_TRUE(Join() == kana_utf8 + kana_utf8 + "\xFF");
}

// --- Unicode at the edges --------------------------------------------------------------------

#if !defined(_WIN32)
// glibc iconv as the oracle: the whole text converted, with the shift state closed.
std::string Iconv(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "iconv_open failed";
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  const bool ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1) &&
                  iconv(cd, nullptr, nullptr, &dst, &dst_left) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) return "iconv failed";
  out.resize(out.size() - dst_left);
  return out;
}

TEST_F(JoinCore, MixedSourcesMatchIconvInEveryOutputCode) {
  const std::string text = "日本語の文章です。漢字とかな、カタカナ。\nＡＢＣ全角と ABC 半角\n";
  // The text in each code the join reads; every one must come out as the same text.
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> files = {
      {"utf8", text}, {"utf8bom", "\xEF\xBB\xBF" + text},
      {"utf16le", "\xFF\xFE" + Iconv("UTF-16LE", "UTF-8", text)},
      {"utf16be", "\xFE\xFF" + Iconv("UTF-16BE", "UTF-8", text)}, {"sjis", Iconv("CP932", "UTF-8", text)},
      {"euc", Iconv("EUC-JP", "UTF-8", text)}, {"jis", Iconv("ISO-2022-JP", "UTF-8", text)},
  };
  const std::tuple<OutputCode, const char*, const char*> kCodes[] = {
      {OutputCode::kShiftJis, "CP932", ""}, {OutputCode::kEucJp, "EUC-JP", ""},
      {OutputCode::kJis, "ISO-2022-JP", ""}, {OutputCode::kUtf8, "UTF-8", ""},
      {OutputCode::kUtf8Bom, "UTF-8", "\xEF\xBB\xBF"}, {OutputCode::kUtf16LeBom, "UTF-16LE", "\xFF\xFE"},
  };
  // clang-format on
  Sources(files);
  for (const auto& [code, iconv_name, mark] : kCodes) {
    SCOPED_TRACE(iconv_name);
    options.output_code = code;
    std::string expected = mark;  // once, at the start, never between sources
    for (size_t i = 0; i < files.size(); ++i) expected += Iconv(iconv_name, "UTF-8", text);
    EXPECT_EQ(Join(), expected);
    EXPECT_EQ(report.Take(), Events{});
  }
}

TEST_F(JoinCore, Utf16OutputEncodesTheOutputLineEnds) {
  Sources({{"a", "x\n\x82\xa0"}, {"b", "\xFF\xFEz\0\r\0\n\0"s}});
  options.output_code = OutputCode::kUtf16LeBom;
  options.line_end = LineEnd::kCrLf;
  EXPECT_EQ(Join(), "\xFF\xFEx\0\r\0\n\0\x42\x30z\0\r\0\n\0"s);
}

TEST_F(JoinCore, ReplacedCharactersAreReportedAfterTheirFile) {
  // Input: an emoji on line 2 and 𠮷 on line 3 of a UTF-8 source; an unpaired surrogate in UTF-16.
  Sources({{"u8", "a\nb😀\n𠮷\n"}, {"u16", "\xFF\xFE\x00\xD8x\0"s}, {"plain", "ok"}});
  EXPECT_EQ(Join(), "a\nb\x81\xac\n\x81\xac\n\x81\xacxok");
  EXPECT_EQ(report.Take(),
            (Events{"replaced " + Path("u8") + " 2 line 2", "replaced " + Path("u16") + " 1 line 1"}));

  options.unmappable = UNMAPPABLE_NCR;
  Sources({{"u8", "b😀\n"}});
  EXPECT_EQ(Join(), "b&#x1F600;\n");
  EXPECT_EQ(report.Take(), (Events{"replaced " + Path("u8") + " 1 line 1"}));

  // Output: a user-defined character in EUC-JP, a byte that is no character in UTF-8.
  options.output_code = OutputCode::kEucJp;
  Sources({{"s", "a\n\xF0\x40"}});
  EXPECT_EQ(Join(), "a\n\xA2\xAE");
  EXPECT_EQ(report.Take(), (Events{"replaced " + Path("s") + " 1 line 2"}));
  options.output_code = OutputCode::kUtf8;
  Sources({{"s", "\x80z"}});
  EXPECT_EQ(Join(), "\xEF\xBF\xBDz");
  EXPECT_EQ(report.Take(), (Events{"replaced " + Path("s") + " 1 line 1"}));

  // A Unicode separator and table apply to Shift_JIS sources; they are named when they are loaded.
  options.output_code = OutputCode::kShiftJis;
  options.unmappable = UNMAPPABLE_GETA;
  Sources({{"a", "x\x82\xa0"}, {"b", "y"}});
  UseSeparator("\xEF\xBB\xBF-😀-");
  UseTable(ReplaceMode::kPlain, "\xEF\xBB\xBFあ\t😀\n");
  EXPECT_EQ(Join(), "x\x81\xac-\x81\xac-y");
  EXPECT_EQ(report.Take(),
            (Events{"replaced " + Path("sep") + " 1 line 1", "replaced " + Path("table") + " 1 line 1"}));
}

TEST_F(JoinCore, ForcedInputCodeSkipsClassing) {
  const std::string utf8 = "\xE3\x81\x82";  // あ in UTF-8
  // clang-format off
  const std::tuple<InputCode, std::string, std::string> kCases[] = {
      {InputCode::kAuto, utf8, "\x82\xa0"},
      // Decoded half-width katakana, which the detection would take for EUC-JP, stays.
      {InputCode::kAuto, "\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3\xEF\xBD\xB4", "\xB1\xB2\xB3\xB4"},
      {InputCode::kShiftJis, utf8, utf8},
      {InputCode::kShiftJis, "\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8", "\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8"},
      {InputCode::kEucJp, "\xA4\xA2", "\x82\xa0"}, {InputCode::kJis, "\x1B$B$\"\x1B(B", "\x82\xa0"},
      {InputCode::kUtf8, "\xEF\xBB\xBFz", "z"}, {InputCode::kUtf16Le, "\x42\x30"s, "\x82\xa0"},
      {InputCode::kUtf16Be, "\xFE\xFF\x30\x42"s, "\x82\xa0"},
  };
  // clang-format on
  for (const auto& [code, source, joined] : kCases) {
    SCOPED_TRACE(static_cast<int>(code));
    options.input_code = code;
    Sources({{"a", source}});
    EXPECT_EQ(Join(), joined);
  }
  // With EUC-JP output a decoded text goes through the stages whole: still no detection.
  options.input_code = InputCode::kAuto;
  options.output_code = OutputCode::kEucJp;
  Sources({{"a", "\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3\xEF\xBD\xB4"}});
  EXPECT_EQ(Join(), "\x8E\xB1\x8E\xB2\x8E\xB3\x8E\xB4");
}
#endif

}  // namespace
