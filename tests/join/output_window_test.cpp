// Texts longer than the output edge's window: written a window at a time, they come out as
// the whole text converted at once would, with the line of a loss counted across windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "join/join.h"
#include "tests/support/files.h"

namespace {

using tavvel_test::ReadFile;
using tavvel_test::TempFolder;
using tavvel_test::WriteFile;

struct LossRecorder : JoinReporter {
  void CannotOpen(const CString&, uint32_t) override { ADD_FAILURE(); }
  void Notice(const JoinNotice&) override { ADD_FAILURE(); }
  void FileFailed(const CFileException&) override { ADD_FAILURE(); }
  void TooLarge(const CString&) override { ADD_FAILURE(); }
  void Replaced(const CString&, size_t count, size_t first_line) override {
    losses.push_back(std::to_string(count) + " line " + std::to_string(first_line));
  }
  void Progress(int32_t, int32_t, uint64_t) override {}
  std::vector<std::string> losses;
};

// The whole Shift_JIS text (line ends LF) with CR LF line ends, in UTF-8 with its mark.
std::string WholeAsUtf8(const std::string& text) {
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::vector<char> out(cp932_to_unicode_capacity(crlf.size()));
  return std::string(out.data(),
                     cp932_to_unicode(OUTPUT_UTF8, true, crlf.data(), crlf.size(), out.data()).length);
}

TEST(OutputWindows, LongTextsAsIfWhole) {
  std::string lines;  // 3000 lines of 63 bytes: kana, kanji and ASCII, a lone byte on line 2500
  for (int i = 1; i <= 3000; ++i)
    lines +=
        std::string(i == 2500 ? "\xFF" : "") + "\x82\xA0\x88\x9F text " + std::string(25, '\x83') + "\x40\n";
  std::string no_cut = "x";  // and 100 KiB of kanji: nowhere a window may end
  for (int i = 0; i < 50 * 1024; ++i) no_cut += "\x88\x9F";
  const struct {
    const char* name;
    std::string text, losses;
  } kCases[] = {
      {"lines", lines, "1 line 2500"},
      {"no_place_to_cut", no_cut + "\x82", "1 line 1"},
  };
  for (const auto& c : kCases) {
    TempFolder dir;
    WriteFile(dir / "in", c.text);
    JoinOptions options;
    options.input_code = InputCode::kShiftJis;
    options.output_code = OutputCode::kUtf8Bom;
    LossRecorder report;
    JoinSources({CString((dir / "in").c_str())}, CString((dir / "out").c_str()), options, report);
    EXPECT_TRUE(ReadFile(dir / "out") == WholeAsUtf8(c.text)) << c.name;
    EXPECT_EQ(report.losses, std::vector<std::string>{c.losses}) << c.name;
  }
}

}  // namespace
