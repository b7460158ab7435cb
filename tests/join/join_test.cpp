// The join as the user runs it: real temporary files joined through the
// dialog in binary and text mode and compared byte for byte, with the
// separator rules, the order of the text stages, every failure of the join
// and the faults of large, full or unreadable files.
#include "join/join.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "framework/file.h"
#include "tests/support/support.h"
#if defined(_WIN32)
#include "tests/support/named_pipe.h"
#endif

namespace {

using tavvel_test::Banner;
using tavvel_test::DialogTest;
using tavvel_test::FileExists;
using tavvel_test::ListForm;
using tavvel_test::ReadFile;
using tavvel_test::Shown;
using tavvel_test::Stop;
using tavvel_test::Warning;
using tavvel_test::WriteFile;

namespace fs = std::filesystem;

const std::vector<Shown> kNoMessages;

std::string Joined(int n) { return std::to_string(n) + " 個のファイルを結合しました。"; }
Shown CannotOpen(const std::string& path, int error) {
  return Warning("'" + path + "' を開くことができません。(Error:" + std::to_string(error) + ")");
}
Shown CannotOpenSeparator(int error) {
  return Warning("セパレータファイルをオープンできません。(Error:" + std::to_string(error) +
                 ")\nセパレータを挿入せずに処理を続行します。");
}
Shown CannotOpenTable(int error) {
  return Warning("置換テーブルファイルをオープンできません。(Error:" + std::to_string(error) +
                 ")\n置換テーブルを通さずに処理を続行します。");
}
[[maybe_unused]] Shown FailedOn(const std::string& path, const std::string& cause, int error) {
  return Stop("'" + path + "' の処理中にエラーが発生しました。\n" + cause +
              " (Error:" + std::to_string(error) + ")");
}

// --- line ends --------------------------------------------------------------------------

TEST(NormalizeNewlines, TurnsEveryLineEndIntoOneLf) {
  struct Case {
    const char* name;
    std::string in, out;
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"crlf", "a\r\nb", "a\nb"},
      {"lone_cr", "a\rb", "a\nb"},
      {"lf", "a\nb", "a\nb"},
      {"cr_cr", "a\r\rb", "a\n\nb"},
      {"cr_cr_lf", "a\r\r\nb", "a\n\nb"},
      {"lf_cr", "a\n\r", "a\n\n"},
      {"cr_at_end", "a\r", "a\n"},
      {"crlf_crlf", "\r\n\r\n", "\n\n"},
      {"lf_lf_after_cr", "\r\n\n", "\n\n"},
      {"only_cr", "\r", "\n"},
      {"cut_at_nul", std::string("a\r\nb\0c\r\n", 8), "a\nb"},
      {"kanji_untouched", "\x83\x0d\x0a\x82\xa0\r", "\x83\n\x82\xa0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string buffer = c.in;  // the string keeps its NUL after the last byte
    EXPECT_EQ(normalize_newlines(buffer.data(), buffer.size()), c.out.size());
    EXPECT_EQ(std::string(buffer.c_str()), c.out);
    EXPECT_EQ(buffer[c.out.size()], '\0');

    std::string terminated = c.in;
    normalize_newlines(terminated.data());
    EXPECT_EQ(std::string(terminated.c_str()), c.out);
  }
}

// Long lines are scanned 16 bytes at a time: a line end or a NUL at every offset of a
// longer text, a CR LF also split across two blocks.
TEST(NormalizeNewlines, LineEndsAndNulAtEveryOffset) {
  const std::string marks[] = {"\r\n", "\r", "\n", std::string("\0", 1), "\r\r\n"};
  for (const std::string& mark : marks) {
    for (size_t at = 0; at < 40; ++at) {
      for (size_t second = at + mark.size(); second < at + mark.size() + 20; second += 7) {
        std::string in(60, 'x');
        in.replace(at, mark.size(), mark);
        if (second + 2 <= in.size()) in.replace(second, 2, "\r\n");
        // The first NUL ends the text; then every CR LF and every lone CR is one LF.
        std::string expected = in.substr(0, in.find('\0'));
        for (size_t i = 0; (i = expected.find('\r', i)) != std::string::npos; ++i) {
          expected.replace(i, expected.compare(i, 2, "\r\n") == 0 ? 2 : 1, "\n");
        }
        std::string buffer = in;
        ASSERT_EQ(normalize_newlines(buffer.data(), buffer.size()), expected.size()) << at << " " << second;
        ASSERT_EQ(std::string(buffer.c_str()), expected) << at << " " << second;
      }
    }
  }
}

// --- the join through the dialog -----------------------------------------------------------

struct TextOptions {
  int crlf = 2;
  int code = 0;
  int rep_mode = 0;
  std::string rep_file;
  int insert_sep = 0;
  std::string sep_file;
};

class JoinTest : public DialogTest {
 protected:
  void SetUp() override { OpenDialog(); }

  void Choose(int id, int index) { ASSERT_TRUE(window->SelectComboItem(id, index)) << id; }
  void SetText(const TextOptions& options) {
    Choose(IDC_FILE_MODE, 0);
    Choose(IDC_CRLF, options.crlf);
    Choose(IDC_CHAR_CODE, options.code);
    Choose(IDC_REP_MODE, options.rep_mode);
    if (options.rep_mode != 0) {
      ASSERT_TRUE(window->TypeText(IDC_REP_FILE, options.rep_file.c_str()));
    }
    Choose(IDC_INSERT_SEP, options.insert_sep);
    if (options.insert_sep != 0) {
      ASSERT_TRUE(window->TypeText(IDC_SEP_FILE, options.sep_file.c_str()));
    }
  }
  void SetBinary() { Choose(IDC_FILE_MODE, 1); }
  // Joins into "out" in the folder and returns what was written.
  std::string JoinOut() {
    JoinTo(Out());
    return FileExists(Out()) ? ReadFile(Out()) : "<no output>";
  }
  std::string Out() const { return Path("out"); }
  int RangeUpper() const { return window->Item(IDC_PROGRESS).range_upper; }
};

TEST_F(JoinTest, BinaryCopiesEveryByte) {
  const std::string a("A\r\n\0\x1A\x83", 6), b, c("\xff\x00\r", 3);
  AddNewFiles({{"a", a}, {"b", b}, {"c", c}});
  // Every text option is on, the separator and table files are missing: none of it counts.
  SetText({.crlf = 0,
           .code = 1,
           .rep_mode = 1,
           .rep_file = Path("absent.tbl"),
           .insert_sep = 1,
           .sep_file = Path("absent.sep")});
  SetBinary();
  EXPECT_EQ(JoinOut(), a + b + c);
  EXPECT_EQ(Status(), Joined(3));
  EXPECT_EQ(Progress(), 3);
  EXPECT_EQ(RangeUpper(), 3);
  EXPECT_EQ(TakeMessages(), kNoMessages);
  EXPECT_EQ(host.WaitCursorDepth(), 0);

  // The output is emptied by the next join; the menu command joins too.
  host.AnswerFileDialog({CString(Out().c_str())});
  window->ChooseMenu(ID_FILE_JOIN);
  EXPECT_EQ(ReadFile(Out()), a + b + c);
  // The list, its selection and the options stay as they were.
  EXPECT_EQ(Entries().size(), 3u);
  EXPECT_EQ(ComboSel(IDC_FILE_MODE), 1);
}

#if defined(_WIN32)
TEST_F(JoinTest, NamesThatDifferOnlyInCaseAreOneFile) {
  AddNewFiles({{"Name.TXT", "upper"}, {"name.txt", "lower"}});  // the second write replaces the first
  EXPECT_EQ(Entries(), (std::vector<std::string>{ListForm(Path("name.txt")), ListForm(Path("name.txt"))}));
  SetText({});
  EXPECT_EQ(JoinOut(), "lowerlower");
  SetBinary();
  EXPECT_EQ(JoinOut(), "lowerlower");
  EXPECT_EQ(TakeMessages(), kNoMessages);
}
#else
TEST_F(JoinTest, NamesThatDifferOnlyInCaseAreDifferentFiles) {
  AddNewFiles({{"Name.TXT", "upper"}, {"name.txt", "lower"}});
  EXPECT_EQ(Entries(), (std::vector<std::string>{Path("Name.TXT"), Path("name.txt")}));
  SetText({});
  EXPECT_EQ(JoinOut(), "upperlower");
  SetBinary();
  EXPECT_EQ(JoinOut(), "upperlower");
  EXPECT_EQ(TakeMessages(), kNoMessages);
}
#endif

TEST_F(JoinTest, SaveDialogAsksForAnyFile) {
  AddNewFiles({{"a", "a"}});
  JoinTo(Out());
  ASSERT_EQ(host.FileDialogs().size(), 2u);
  const FileDialogRequest& request = host.FileDialogs()[1];
  EXPECT_FALSE(request.open);
  EXPECT_EQ(request.title, "");
  EXPECT_EQ(request.filter, "すべてのファイル (*.*)|*.*||");
  EXPECT_EQ(request.default_extension, "");
  EXPECT_EQ(request.file_name, "");
  EXPECT_EQ(request.flags, win::kOfnHideReadOnly | win::kOfnOverwritePrompt);
}

TEST_F(JoinTest, CancelledSaveDialogWritesNothing) {
  AddNewFiles({{"a", "a"}});
  JoinTo(Path("first"));
  ASSERT_EQ(Progress(), 1);
  for (int mode : {0, 1}) {
    Choose(IDC_FILE_MODE, mode);
    host.CancelFileDialog();
    ASSERT_TRUE(window->Click(IDC_JOIN));
    EXPECT_EQ(Status(), Banner());
    EXPECT_EQ(Progress(), 0);
    EXPECT_FALSE(FileExists(Out()));
    EXPECT_EQ(TakeMessages(), kNoMessages);
  }
}

TEST_F(JoinTest, TextModeWritesTheChosenLineEnd) {
  AddNewFiles({{"a", "a\r\nb\rc\n"}, {"b", "d\r"}});
  const char* expected[] = {"a\r\nb\r\nc\r\nd\r\n", "a\rb\rc\rd\r", "a\nb\nc\nd\n"};
  for (int crlf = 0; crlf < 3; ++crlf) {
    SCOPED_TRACE(crlf);
    SetText({.crlf = crlf});
    EXPECT_EQ(JoinOut(), expected[crlf]);
    EXPECT_EQ(Status(), Joined(2));
    EXPECT_EQ(Progress(), 2);
  }
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

TEST_F(JoinTest, TextModeStopsEachFileAtItsFirstNul) {
  const std::string with_nul("ab\0cd", 5);
  AddNewFiles({{"a", with_nul}, {"b", std::string("\0x", 2)}, {"c", "e"}});
  SetText({});
  EXPECT_EQ(JoinOut(), "abe");
  SetBinary();
  EXPECT_EQ(JoinOut(), with_nul + std::string("\0x", 2) + "e");
}

TEST_F(JoinTest, SeparatorRules) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> sources;
    std::string separator;
    int crlf;
    std::string expected;
  };
  const Case cases[] = {
      {"between_files_not_after_the_last",
       {{"a", "A\n"}, {"b", "B\n"}, {"c", "C\n"}},
       "----\r\n",
       2,
       "A\n----\nB\n----\nC\n"},
      {"crlf_output",
       {{"a", "A\n"}, {"b", "B\n"}, {"c", "C\n"}},
       "----\r\n",
       0,
       "A\r\n----\r\nB\r\n----\r\nC\r\n"},
      {"empty_separator_file", {{"a", "A\n"}, {"b", "B\n"}}, "", 2, "A\nB\n"},
      {"separator_starting_with_nul", {{"a", "A\n"}, {"b", "B\n"}}, std::string("\0--", 3), 2, "A\nB\n"},
      {"empty_source_in_the_middle", {{"a", "A\n"}, {"b", ""}, {"c", "C\n"}}, "--\n", 2, "A\n--\n--\nC\n"},
      {"no_final_line_ends", {{"a", "one\ntwo"}, {"b", "three"}}, "==", 1, "one\rtwo==three"},
      {"separator_line_ends_normalised", {{"a", "A"}, {"b", "B"}}, "x\ry\r\n", 2, "Ax\ny\nB"},
      {"single_file", {{"a", "A\n"}}, "--\n", 2, "A\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!Entries().empty()) window->ChooseMenu(ID_LIST_DELETE_ALL);
    AddNewFiles(c.sources);
    WriteFile(Path("sep"), c.separator);
    SetText({.crlf = c.crlf, .insert_sep = 1, .sep_file = Path("sep")});
    EXPECT_EQ(JoinOut(), c.expected);
    EXPECT_EQ(Status(), Joined(static_cast<int>(c.sources.size())));
    EXPECT_EQ(TakeMessages(), kNoMessages);
  }
}

TEST_F(JoinTest, SeparatorNeedsBothTheOptionAndThePath) {
  AddNewFiles({{"a", "A"}, {"b", "B"}});
  WriteFile(Path("sep"), "-");
  // On, but no path: no separator and no message.
  SetText({.insert_sep = 1, .sep_file = ""});
  EXPECT_EQ(JoinOut(), "AB");
  // Off, with a path that does not exist: not read, so no message.
  SetText({.insert_sep = 1, .sep_file = Path("absent")});
  Choose(IDC_INSERT_SEP, 0);
  EXPECT_EQ(JoinOut(), "AB");
  EXPECT_EQ(TakeMessages(), kNoMessages);
  // The path typed into the edit is what counts, not the one of the last join.
  Choose(IDC_INSERT_SEP, 1);
  ASSERT_TRUE(window->TypeText(IDC_SEP_FILE, Path("sep").c_str()));
  EXPECT_EQ(JoinOut(), "A-B");
}

TEST_F(JoinTest, MissingSeparatorIsToldOnceAndTheJoinGoesOn) {
  AddNewFiles({{"a", "A"}, {"b", "B"}, {"c", "C"}});
  SetText({.insert_sep = 1, .sep_file = Path("absent")});
  EXPECT_EQ(JoinOut(), "ABC");
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{CannotOpenSeparator(2)});
  EXPECT_EQ(Status(), Joined(3));
  // A folder cannot be opened as a separator file either.
  fs::create_directory(Path("folder"));
  SetText({.insert_sep = 1, .sep_file = Path("folder")});
  EXPECT_EQ(JoinOut(), "ABC");
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{CannotOpenSeparator(5)});
}

TEST_F(JoinTest, StageOrderShowsInTheOutput) {
  // The table replaces '-' and 'x'; the separator holds both, in EUC-JP bytes
  // that are not brought to Shift_JIS.
  WriteFile(Path("table"), "-\t=\nx\tyy\n");
  WriteFile(Path("sep"), "-x\xA4\xA2\n");
  AddNewFiles({{"a", "-x\n"}, {"b", "\xA4\xA2\n"}});  // b is EUC-JP: it becomes Shift_JIS 82 A0
  SetText({.crlf = 2,
           .code = 0,
           .rep_mode = 1,
           .rep_file = Path("table"),
           .insert_sep = 1,
           .sep_file = Path("sep")});
  // The separator follows the replaced text and is neither replaced nor converted on input.
  EXPECT_EQ(JoinOut(), "=yy\n-x\xA4\xA2\n\x82\xA0\n");

  // With EUC output the separator's bytes are read as Shift_JIS half-width katakana.
  Choose(IDC_CHAR_CODE, 2);
  EXPECT_EQ(JoinOut(), "=yy\n-x\x8E\xA4\x8E\xA2\n\xA4\xA2\n");

  // JIS output closes two-byte mode before every line end.
  Choose(IDC_CHAR_CODE, 1);
  Choose(IDC_CRLF, 0);
  EXPECT_EQ(JoinOut(), "=yy\r\n-x\x1B(I$\"\x1B(B\r\n\x1B$B$\"\x1B(B\r\n");
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

TEST_F(JoinTest, InputCodesBecomeShiftJis) {
  AddNewFiles({{"jis", "\x1B$B0!\x1B(B\n"}, {"euc", "\xB0\xA1\x8E\xB1\n"}, {"sjis", "\x88\x9F\xB1\n"}});
  SetText({.crlf = 2, .code = 0});
  EXPECT_EQ(JoinOut(), "\x88\x9F\n\x88\x9F\xB1\n\x88\x9F\xB1\n");
  Choose(IDC_CHAR_CODE, 2);
  EXPECT_EQ(JoinOut(), "\xB0\xA1\n\xB0\xA1\x8E\xB1\n\xB0\xA1\x8E\xB1\n");
}

TEST_F(JoinTest, SeparatorAndTableAreReadOncePerJoin) {
  WriteFile(Path("table"), "a\tb\n");
  WriteFile(Path("sep"), "1");
  struct Rewriter : JoinReporter {
    std::string table_path, sep_path;
    std::vector<int> done;
    std::vector<uint64_t> written;
    void CannotOpen(const CString&, uint32_t) override { ADD_FAILURE(); }
    void Notice(const JoinNotice&) override { ADD_FAILURE(); }
    void FileFailed(const CFileException&) override { ADD_FAILURE(); }
    void TooLarge(const CString&) override { ADD_FAILURE(); }
    void Progress(int32_t files, int32_t total, uint64_t bytes) override {
      done.push_back(files);
      written.push_back(bytes);
      EXPECT_EQ(total, 3);
      WriteFile(table_path, "a\tc\n");
      WriteFile(sep_path, "2");
    }
  } report;
  report.table_path = Path("table");
  report.sep_path = Path("sep");
  for (const char* name : {"a", "b", "c"}) WriteFile(Path(name), "a");
  JoinOptions options;
  options.line_end = LineEnd::kLf;
  options.replace_mode = ReplaceMode::kPlain;
  options.table_path = Path("table").c_str();
  options.separator = SeparatorMode::kOn;
  options.separator_path = Path("sep").c_str();
  std::vector<CString> sources{Path("a").c_str(), Path("b").c_str(), Path("c").c_str()};
  EXPECT_EQ(JoinSources(sources, Path("out").c_str(), options, report).joined, 3);
  EXPECT_EQ(ReadFile(Path("out")), "b1b1b");
  EXPECT_EQ(report.done, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(report.written, (std::vector<uint64_t>{2, 4, 5}));
  JoinSources(sources, Path("out").c_str(), options, report);
  EXPECT_EQ(ReadFile(Path("out")), "c2c2c") << "the next join reads them again";
}

TEST_F(JoinTest, OutputIsCreatedBeforeTheSeparatorAndTableAreRead) {
  // The user names the separator file (or the table) as the output: it is
  // emptied and held open first, so it cannot be read.
  WriteFile(Path("sep"), "---");
  WriteFile(Path("table"), "A\tZ\n");
  AddNewFiles({{"a", "A"}, {"b", "B"}});
  SetText({.rep_mode = 1, .rep_file = Path("table"), .insert_sep = 1, .sep_file = Path("sep")});
  JoinTo(Path("sep"));
  EXPECT_EQ(ReadFile(Path("sep")), "ZB");
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{CannotOpenSeparator(32)});
  // Now the separator file holds that output and is read; the table is the output.
  JoinTo(Path("table"));
  EXPECT_EQ(ReadFile(Path("table")), "AZBB");
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{CannotOpenTable(32)});
  EXPECT_EQ(Status(), Joined(2));
}

TEST_F(JoinTest, OutOfRangeOptionsFromTheIni) {
  // -1 in a combo: binary for FileMode, LF left alone for CRLF, no output
  // conversion for CharCode, the table loaded but not applied for RepMode,
  // the separator on for InsertSep.
  WriteFile(Path("table"), "a\tb\n");
  WriteFile(Path("sep"), "-\r\n");
  WriteIni("[Settings]\r\nFileMode=0\r\nCRLF=-1\r\nCharCode=7\r\nRepMode=9\r\nInsertSep=-1\r\nRepFile=" +
           Path("table") + "\r\nSepFile=" + Path("sep") + "\r\n");
  OpenDialog();
  AddNewFiles({{"a", "a\r\n\x82\xa0"}, {"b", "a"}});
  EXPECT_EQ(JoinOut(), "a\n\x82\xa0-\na");
  EXPECT_EQ(TakeMessages(), kNoMessages);
  // A table that is missing is still looked for.
  ASSERT_TRUE(window->TypeText(IDC_REP_FILE, Path("absent").c_str()));
  EXPECT_EQ(JoinOut(), "a\n\x82\xa0-\na");
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{CannotOpenTable(2)});

  WriteIni("[Settings]\r\nFileMode=5\r\nCRLF=0\r\nInsertSep=1\r\nSepFile=" + Path("sep") + "\r\n");
  OpenDialog();
  AddFiles({Path("a"), Path("b")});
  EXPECT_EQ(JoinOut(),
            "a\r\n\x82\xa0"
            "a")
      << "FileMode -1 joins in binary";
}

#if !defined(_WIN32)
TEST_F(JoinTest, SourcesThatReportNoSizeAreReadWhole) {
  // A pipe reports no size; what comes through it is joined all the same,
  // in text mode as in binary mode.
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  std::string text, expected_text;
  for (int i = 0; text.size() < 300 * 1024; ++i) {
    text += "line " + std::to_string(i) + "\r\n";
    expected_text += "line " + std::to_string(i) + "\n";
  }
  WriteFile(Path("a"), "A\n");
  AddFiles({Path("a"), Path("fifo")});
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    std::thread writer([&] {
      int fd = ::open(Path("fifo").c_str(), O_WRONLY);
      if (fd < 0) return;
      for (size_t done = 0; done < text.size();) {
        ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put <= 0) break;
        done += static_cast<size_t>(put);
      }
      ::close(fd);
    });
    if (mode == 0) {
      SetText({.crlf = 2});
    } else {
      SetBinary();
    }
    std::string output = JoinOut();
    // Should the join not have opened the pipe, the writer is let go.
    int release = ::open(Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    writer.join();
    if (release >= 0) ::close(release);
    EXPECT_EQ(output, "A\n" + (mode == 0 ? expected_text : text));
    EXPECT_EQ(Status(), Joined(2));
  }

  // Files of /proc report no size either, as a source and as a separator.
  if (FileExists("/proc/version")) {
    const std::string version = ReadFile("/proc/version");
    ASSERT_FALSE(version.empty());
    AddFiles({"/proc/version"});
    SetText({.crlf = 2, .insert_sep = 1, .sep_file = "/proc/version"});
    Select({1});
    window->ChooseMenu(ID_LIST_DELETE);
    EXPECT_EQ(JoinOut(), "A\n" + version + version) << "a, the separator, /proc/version";
  }
  EXPECT_EQ(TakeMessages(), kNoMessages);
}
#endif

#if defined(_WIN32)
TEST_F(JoinTest, PipeSourcesAreReadWhole) {
  // A named pipe reports no size; what comes through it is joined all the
  // same, in text mode as in binary mode.
  std::string text, expected_text;
  for (int i = 0; text.size() < 300 * 1024; ++i) {
    text += "line " + std::to_string(i) + "\r\n";
    expected_text += "line " + std::to_string(i) + "\n";
  }
  WriteFile(Path("a"), "A\n");
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    tavvel_test::NamedPipeSource pipe(text);
    if (!Entries().empty()) window->ChooseMenu(ID_LIST_DELETE_ALL);
    AddFiles({Path("a"), pipe.path()});
    if (mode == 0) {
      SetText({.crlf = 2});
    } else {
      SetBinary();
    }
    // A new output each time, which no source can be.
    const std::string output = Path("out" + std::to_string(mode));
    JoinTo(output);
    EXPECT_EQ(TakeMessages(), kNoMessages);
    const std::string joined = ReadFile(output);
    EXPECT_TRUE(joined == "A\n" + (mode == 0 ? expected_text : text)) << joined.size() << " bytes";
    EXPECT_EQ(Status(), Joined(2));
  }
}

TEST_F(JoinTest, BinarySourceOver4GiBIsStreamedWhole) {
  // A sparse file of 4 GiB + 3 bytes (under Wine it costs no disk), joined
  // into the null device; the bytes written are counted as the join goes.
  const uint64_t big = (uint64_t{1} << 32) + 3;
  {
    CFile file;
    ASSERT_TRUE(file.Open(Path("big").c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary));
    file.Write("BEG", 3);
    ASSERT_EQ(file.Seek(static_cast<int64_t>(big - 3), CFile::begin), big - 3);
    file.Write("END", 3);
  }
  WriteFile(Path("tail"), "tail");
  AddFiles({Path("big"), Path("tail")});
  SetBinary();
  std::vector<uint64_t> written;
  dialog->SetProgressObserver([&](int32_t, int32_t, uint64_t bytes) { written.push_back(bytes); });
  JoinTo("NUL");
  dialog->SetProgressObserver(nullptr);
  EXPECT_EQ(TakeMessages(), kNoMessages);
  EXPECT_EQ(written, (std::vector<uint64_t>{big, big + 4}));
  EXPECT_EQ(Status(), Joined(2));
}
#endif

// --- failures -------------------------------------------------------------------------------

TEST_F(JoinTest, OutputThatCannotBeOpened) {
  AddNewFiles({{"a", "A"}});
  fs::create_directory(Path("folder"));
  struct Case {
    const char* name;
    std::string output;
    int error;
  };
  const Case cases[] = {{"missing_folder", Path("absent/out"), 3}, {"a_folder", Path("folder"), 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetText({});
    JoinTo(c.output);
    EXPECT_EQ(TakeMessages(), std::vector<Shown>{CannotOpen(c.output, c.error)});
    EXPECT_EQ(Status(), Joined(0));
    EXPECT_EQ(Progress(), 0);
    SetBinary();
    JoinTo(c.output);
    EXPECT_EQ(TakeMessages(), kNoMessages) << "binary mode stops silently";
    EXPECT_EQ(Status(), Joined(0));
  }
}

TEST_F(JoinTest, SourceThatCannotBeOpenedEndsTheJoinKeepingWhatWasWritten) {
  fs::create_directory(Path("folder"));
  WriteFile(Path("sep"), "|");
  AddNewFiles({{"a", "A"}, {"b", "B"}});
  AddFiles({Path("absent"), Path("c"), Path("folder")});
  WriteFile(Path("c"), "C");
  SetText({.insert_sep = 1, .sep_file = Path("sep")});
  EXPECT_EQ(JoinOut(), "A|B|");
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{CannotOpen(ListForm(Path("absent")), 2)});
  EXPECT_EQ(Status(), Joined(2));
  EXPECT_EQ(Progress(), 2);
  EXPECT_EQ(RangeUpper(), 5);

  SetBinary();
  EXPECT_EQ(JoinOut(), "AB");
  EXPECT_EQ(TakeMessages(), kNoMessages);
  EXPECT_EQ(Status(), Joined(2));

  // A folder in the list stops the join the same way (access denied).
  Select({2});
  window->ChooseMenu(ID_LIST_DELETE);
  SetText({});
  EXPECT_EQ(JoinOut(), "ABC");
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{CannotOpen(ListForm(Path("folder")), 5)});
  EXPECT_EQ(Status(), Joined(3));
}

TEST_F(JoinTest, FilesHeldOpenByAnotherProgramAreInUse) {
  // Another program holds a source, then the output, open without sharing.
  AddNewFiles({{"a", "A"}, {"b", "B"}, {"c", "C"}});
  WriteFile(Path("held"), "kept");
  {
    CFile other;
    ASSERT_TRUE(other.Open(Path("b").c_str(), CFile::modeRead | CFile::shareExclusive));
    SetText({});
    EXPECT_EQ(JoinOut(), "A");
    EXPECT_EQ(TakeMessages(), std::vector<Shown>{CannotOpen(ListForm(Path("b")), 32)});
    EXPECT_EQ(Status(), Joined(1));
    SetBinary();
    EXPECT_EQ(JoinOut(), "A");
    EXPECT_EQ(TakeMessages(), kNoMessages) << "binary mode stops silently";
    EXPECT_EQ(Status(), Joined(1));
  }
  {
    CFile other;
    ASSERT_TRUE(other.Open(Path("held").c_str(), CFile::modeReadWrite | CFile::shareExclusive));
    for (int mode : {0, 1}) {
      SCOPED_TRACE(mode);
      Choose(IDC_FILE_MODE, mode);
      JoinTo(Path("held"));
      EXPECT_EQ(TakeMessages(), mode == 0 ? std::vector<Shown>{CannotOpen(Path("held"), 32)} : kNoMessages);
      EXPECT_EQ(Status(), Joined(0));
    }
  }
  EXPECT_EQ(ReadFile(Path("held")), "kept") << "a file in use is not emptied";
  // Let go, both are joined again.
  SetText({});
  EXPECT_EQ(JoinOut(), "ABC");
  JoinTo(Path("held"));
  EXPECT_EQ(ReadFile(Path("held")), "ABC");
}

TEST_F(JoinTest, OutputThatIsAnEntryIsRefusedBeforeAnythingIsEmptied) {
  AddNewFiles({{"a", "A"}, {"b", "B"}, {"c", "C"}});
  // Other spellings of the same file: through a link, or in capitals where
  // names ignore case.
  std::vector<std::string> outputs = {Path("b"), dir.path() + kPathSeparator + "." + kPathSeparator + "b"};
#if defined(_WIN32)
  outputs.push_back(Path("B"));
#else
  fs::create_symlink(Path("b"), Path("alias"));
  outputs.push_back(Path("alias"));
#endif
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    Choose(IDC_FILE_MODE, mode);
    for (const std::string& output : outputs) {
      SCOPED_TRACE(output);
      JoinTo(output);
      EXPECT_EQ(TakeMessages(), std::vector<Shown>{CannotOpen(ListForm(Path("b")), 32)});
      EXPECT_EQ(Status(), Joined(0));
      EXPECT_EQ(Progress(), 0);
      EXPECT_EQ(ReadFile(Path("b")), "B");
    }
  }
  EXPECT_FALSE(FileExists(Out()));
}

TEST_F(JoinTest, SourceTooLargeForMemoryIsRefusedByName) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer ends the process on an allocation it cannot serve";
#endif
  // Only where the system refuses an allocation larger than memory and swap
  // (Windows always does; Linux unless it overcommits).
  constexpr uint64_t kHuge = uint64_t{1} << 40;
  if (void* granted = std::malloc(static_cast<size_t>(kHuge))) {
    std::free(granted);
    GTEST_SKIP() << "memory overcommitted";
  }
  AddNewFiles({{"a", "A"}, {"huge", ""}});
  try {
    CFile huge;
    ASSERT_TRUE(huge.Open(Path("huge").c_str(), CFile::modeWrite | CFile::typeBinary));
    huge.Seek(static_cast<int64_t>(kHuge - 1), CFile::begin);
    huge.Write("", 1);
  } catch (const CFileException&) {
    GTEST_SKIP() << "no sparse 1 TiB file here";
  }
  SetText({});
  JoinTo(Out());
  EXPECT_EQ(TakeMessages(),
            std::vector<Shown>{Stop("'" + ListForm(Path("huge")) + "' は大きすぎるため処理できません。")});
  EXPECT_EQ(ReadFile(Out()), "A");
  EXPECT_EQ(Status(), Banner());
}

// POSIX devices, limits and memory: /dev/full, file-size and address-space
// limits, /proc, sparse files and pipes named by descriptor.
#if !defined(_WIN32)
TEST_F(JoinTest, FullDiskStopsWithTheFileAndCause) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  AddNewFiles({{"a", "A"}, {"b", "B"}});
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    Choose(IDC_FILE_MODE, mode);
    JoinTo("/dev/full");
    EXPECT_EQ(TakeMessages(),
              std::vector<Shown>{FailedOn("/dev/full", "ディスクの空き容量が不足しています", 112)});
    EXPECT_EQ(Status(), Banner()) << "no count after a failed join";
    EXPECT_EQ(host.WaitCursorDepth(), 0);
    // The files were closed: each can be opened without sharing again.
    for (const char* name : {"a", "b"}) {
      CFile file;
      EXPECT_TRUE(file.Open(Path(name).c_str(), CFile::modeRead | CFile::shareExclusive)) << name;
    }
    CFile device;
    EXPECT_TRUE(device.Open("/dev/full", CFile::modeWrite | CFile::shareExclusive));
  }
  // And the next join works.
  Choose(IDC_FILE_MODE, 0);
  EXPECT_EQ(JoinOut(), "AB");
}

// Lowers the soft file-size limit for one test, so that a write past it fails
// with EFBIG instead of a signal.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

TEST_F(JoinTest, WriteFailureKeepsWhatWasWritten) {
  const std::string a(600, 'a'), b(600, 'b');
  AddNewFiles({{"a", a}, {"b", b}});
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    Choose(IDC_FILE_MODE, mode);
    {
      FileSizeLimit limit(1000);
      JoinTo(Out());
    }
    EXPECT_EQ(TakeMessages(), std::vector<Shown>{FailedOn(Out(), "不明なエラーが発生しました", 223)});
    EXPECT_EQ(ReadFile(Out()), a + b.substr(0, 400));
    EXPECT_EQ(Status(), Banner());
    EXPECT_EQ(Progress(), 1);
  }
}

TEST_F(JoinTest, ReadFailureNamesTheSource) {
  // Reading a process's memory at address 0 fails with an I/O error.
  int probe = ::open("/proc/self/mem", O_RDONLY);
  char byte;
  const bool fails = probe >= 0 && ::pread(probe, &byte, 1, 0) < 0 && errno == EIO;
  if (probe >= 0) ::close(probe);
  if (!fails) GTEST_SKIP() << "no unreadable /proc/self/mem here";
  AddNewFiles({{"a", "A"}});
  AddFiles({"/proc/self/mem"});
  SetBinary();
  JoinTo(Out());
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{FailedOn("/proc/self/mem", "入出力エラーが発生しました", 30)});
  EXPECT_EQ(ReadFile(Out()), "A");
  EXPECT_EQ(Status(), Banner());
}

// Lowers the soft address-space limit for one test.
class AddressSpaceLimit {
 public:
  explicit AddressSpaceLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_AS, &saved_);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_AS, &limited);
  }
  ~AddressSpaceLimit() { ::setrlimit(RLIMIT_AS, &saved_); }

 private:
  rlimit saved_{};
};

TEST_F(JoinTest, MemoryRunningOutInAStageNamesTheFile) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than a limit would leave";
#endif
  // 32 MiB of line ends are read whole; turning them into CR LF needs a second
  // buffer of twice that size, which the limit leaves no room for.
  constexpr size_t kSize = size_t{32} << 20;
  WriteFile(Path("a"), "A");
  WriteFile(Path("lines"), std::string(kSize, '\n'));
  AddFiles({Path("a"), Path("lines")});
  SetText({.crlf = 0});
  size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  if (pages == 0) GTEST_SKIP() << "no /proc/self/statm here";
  const size_t in_use = pages * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  {
    AddressSpaceLimit limit(in_use + kSize * 5 / 2);
    JoinTo(Out());
  }
  EXPECT_EQ(TakeMessages(),
            std::vector<Shown>{Stop("'" + Path("lines") + "' は大きすぎるため処理できません。")});
  EXPECT_EQ(ReadFile(Out()), "A");
  EXPECT_EQ(Status(), Banner());
  // With the memory back the same join goes through.
  EXPECT_EQ(JoinOut().size(), 1 + 2 * kSize);
}

TEST_F(JoinTest, BinarySourceOver4GiBIsStreamedWhole) {
  // A sparse file of 4 GiB + 3 bytes costs no disk; the output is a pipe
  // whose bytes are counted as they arrive.
  if (!FileExists("/proc/self/fd")) GTEST_SKIP() << "no /proc here";
  const uint64_t big = (uint64_t{1} << 32) + 3;
  {
    int fd = ::open(Path("big").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "BEG", 3, 0), 3);
    ASSERT_EQ(::pwrite(fd, "END", 3, static_cast<off_t>(big - 3)), 3);
    ::close(fd);
  }
  WriteFile(Path("tail"), "tail");
  AddFiles({Path("big"), Path("tail")});
  SetBinary();

  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  ::fcntl(pipe_ends[1], F_SETPIPE_SZ, 1 << 20);  // fewer round trips; the default size works too
  uint64_t total = 0;
  std::string head, last;
  std::thread reader([&] {
    std::vector<char> buffer(1 << 20);
    for (ssize_t got; (got = ::read(pipe_ends[0], buffer.data(), buffer.size())) > 0;) {
      if (head.size() < 3) head.append(buffer.data(), static_cast<size_t>(std::min<ssize_t>(got, 3)));
      last.append(buffer.data() + std::max<ssize_t>(0, got - 7),
                  static_cast<size_t>(std::min<ssize_t>(got, 7)));
      if (last.size() > 7) last.erase(0, last.size() - 7);
      total += static_cast<uint64_t>(got);
    }
  });
  JoinTo("/proc/self/fd/" + std::to_string(pipe_ends[1]));
  ::close(pipe_ends[1]);
  reader.join();
  ::close(pipe_ends[0]);
  EXPECT_EQ(TakeMessages(), kNoMessages);
  EXPECT_EQ(total, big + 4);
  EXPECT_EQ(head, "BEG");
  EXPECT_EQ(last, "ENDtail");
  EXPECT_EQ(Status(), Joined(2));
}
#endif

// --- browsing for the separator ----------------------------------------------------------

TEST_F(JoinTest, BrowseSeparatorPutsTheChosenPathIntoTheEdit) {
  SetText({.insert_sep = 1, .sep_file = "/typed/Sep.TXT"});
  host.AnswerFileDialog({CString("/Chosen/Sep.TXT")});
  ASSERT_TRUE(window->Click(IDC_BROWSE_SEP));
  ASSERT_EQ(host.FileDialogs().size(), 1u);
  const FileDialogRequest& request = host.FileDialogs()[0];
  EXPECT_TRUE(request.open);
  EXPECT_EQ(request.title, "セパレータの選択");
  EXPECT_EQ(request.filter, "セパレータ ファイル (*.txt)|*.txt|すべてのファイル (*.*)|*.*||");
  EXPECT_EQ(request.default_extension, "txt");
  EXPECT_EQ(request.file_name, "/typed/Sep.TXT") << "the text in the edit, not the last saved one";
  EXPECT_EQ(request.flags, win::kOfnHideReadOnly | win::kOfnOverwritePrompt);
  EXPECT_EQ(Text(IDC_SEP_FILE), "/Chosen/Sep.TXT") << "as returned, case kept";
  EXPECT_EQ(Status(), Banner());

  host.CancelFileDialog();
  ASSERT_TRUE(window->Click(IDC_BROWSE_SEP));
  EXPECT_EQ(Text(IDC_SEP_FILE), "/Chosen/Sep.TXT");
  EXPECT_EQ(Text(IDC_REP_FILE), "");
  EXPECT_EQ(ComboSel(IDC_INSERT_SEP), 1);
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

}  // namespace
