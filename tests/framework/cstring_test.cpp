// CString: the buffer protocol, replace-all, formatting and large texts.
#include "framework/cstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

namespace {

TEST(CStringReplace, ReplacesEveryOccurrence) {
  // name, text, old text, new text, result, count
  // clang-format off
  const std::tuple<const char*, const char*, const char*, const char*, const char*, size_t> cases[] = {
      {"lf_to_crlf", "a\nb\n", "\n", "\r\n", "a\r\nb\r\n", 2}, {"lf_to_cr", "\n\n", "\n", "\r", "\r\r", 2},
      {"inserted_text_not_searched_again", "aa", "a", "aa", "aaaa", 2},
      {"left_to_right_without_overlap", "aaa", "aa", "b", "ba", 1}, {"to_nothing", "xaxbx", "x", "", "ab", 3},
      {"no_match", "abc", "d", "e", "abc", 0}, {"empty_search_does_nothing", "abc", "", "e", "abc", 0},
      {"search_longer_than_text", "ab", "abc", "x", "ab", 0},
      {"bytes_not_characters", "\x83\\a", "\\", "/", "\x83/a", 1},
  };
  // clang-format on
  for (const auto& [name, original, old_text, new_text, result, count] : cases) {
    SCOPED_TRACE(name);
    CString text(original);
    EXPECT_EQ(text.Replace(old_text, new_text), count);
    EXPECT_EQ(text.View(), result);
    EXPECT_EQ(std::strlen(text.GetString()), text.GetLength());
  }
}

// A reader fills the buffer piece by piece, asking for the room of a whole file before it
// releases: what it wrote moves with the text, also into memory of its own.
TEST(CStringBuffer, BytesWrittenBeforeReleaseSurviveGrowth) {
  const size_t size = (size_t{9} << 20) + 7;
  CString text;
  std::memcpy(text.GetBuffer(3), "abc", 3);
  char* buffer = text.GetBuffer(size);
  std::memset(buffer + 3, 'x', size - 3);
  text.ReleaseBuffer(static_cast<std::ptrdiff_t>(size));
  text += "\n";
  CString copy = text;
  ASSERT_EQ(copy.GetLength(), size + 1);
  EXPECT_EQ(copy.View().substr(0, 4), "abcx");
  EXPECT_EQ(copy.Replace("\n", "\r\n"), 1u);
  EXPECT_EQ(copy.View().substr(size - 1), "x\r\n");
  CString moved = std::move(copy);
  EXPECT_EQ(moved.GetLength(), size + 2);
}

TEST(CStringBuffer, ReleaseTakesTheGivenLengthOrTheFirstNul) {
  CString text("hello");
  text.GetBuffer(5)[2] = '\0';
  text.ReleaseBuffer();
  EXPECT_EQ(text.View(), "he");
  std::memcpy(text.GetBuffer(4), "w\0yz", 4);
  text.ReleaseBuffer(4);
  EXPECT_EQ(text.View(), std::string_view("w\0yz", 4));
  CString empty(static_cast<const char*>(nullptr));
  EXPECT_EQ(empty.GetBuffer(0)[0], '\0');
  empty.ReleaseBuffer();
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(CStringAssign, FromAPartOfItself) {
  CString text("abcdef");
  text = text.GetString() + 2;
  EXPECT_EQ(text.View(), "cdef");
  text += text.GetString() + 1;
  EXPECT_EQ(text.View(), "cdefdef");
}

TEST(CStringFormat, FormatsPastAnyFixedBufferAndFinds) {
  CString text;
  text.Format("%ld files, %s", 12L, std::string(5000, 'z').c_str());
  EXPECT_EQ(text.GetLength(), 5010u);
  EXPECT_EQ(text.Find("z"), 10);
  EXPECT_EQ(text.Find("z", 5009), 5009);
  EXPECT_EQ(text.Find("z", 5010), -1);
  EXPECT_EQ(text.Find("x"), -1);
}

}  // namespace
