// Texts longer than a window, decoded and written a window at a time: they come out as the
// whole text converted at once would, with the line of a loss counted across windows.
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

// Unicode sources decoded a window at a time: as the whole decoded at once, its line ends
// brought to LF, up to the first U+0000; the line of a replaced character counted over the
// windows before it.
TEST(OutputWindows, UnicodeSourcesAsIfWhole) {
  std::string sjis;  // 10000 lines, CR LF, the emoji on line 8000
  for (int i = 1; i <= 10000; ++i) sjis += std::string(i == 8000 ? "?" : "") + "\x82\xA0\x88\x9F text\r\n";
  std::vector<char> buffer(cp932_to_unicode_capacity(sjis.size()));
  const std::string utf8(
      buffer.data(), cp932_to_unicode(OUTPUT_UTF8, false, sjis.data(), sjis.size(), buffer.data()).length);
  const std::string utf16(
      buffer.data(), cp932_to_unicode(OUTPUT_UTF16LE, true, sjis.data(), sjis.size(), buffer.data()).length);
  const size_t emoji = utf8.find('?');
  const std::string with_emoji = utf8.substr(0, emoji) + "\xF0\x9F\x98\x80" + utf8.substr(emoji + 1);
  std::string lf = sjis;
  for (size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
  const size_t geta = lf.find('?');
  const struct {
    const char* name;
    std::string text, out, losses;
  } kCases[] = {
      {"utf8", with_emoji + std::string(1, '\0') + utf8,
       lf.substr(0, geta) + "\x81\xAC" + lf.substr(geta + 1), "1 line 8000"},
      {"utf16le", utf16, lf, ""},
  };
  for (const auto& c : kCases) {
    TempFolder dir;
    WriteFile(dir / "in", c.text);
    JoinOptions options;
    options.line_end = LineEnd::kLf;
    LossRecorder report;
    JoinSources({CString((dir / "in").c_str())}, CString((dir / "out").c_str()), options, report);
    EXPECT_TRUE(ReadFile(dir / "out") == c.out) << c.name;
    EXPECT_EQ(report.losses,
              c.losses.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.losses})
        << c.name;
  }
}

}  // namespace
