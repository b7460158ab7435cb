// CString: the buffer protocol, replace-all, formatting and large texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/cstring.h"

namespace {

struct ReplaceCase {
  const char* name;
  const char* text;
  const char* old_text;
  const char* new_text;
  const char* result;
  size_t count;
};

const ReplaceCase kReplaceCases[] = {
    {"lf_to_crlf", "a\nb\n", "\n", "\r\n", "a\r\nb\r\n", 2},
    {"lf_to_cr", "\n\n", "\n", "\r", "\r\r", 2},
    {"inserted_text_not_searched_again", "aa", "a", "aa", "aaaa", 2},
    {"left_to_right_without_overlap", "aaa", "aa", "b", "ba", 1},
    {"to_nothing", "xaxbx", "x", "", "ab", 3},
    {"no_match", "abc", "d", "e", "abc", 0},
    {"empty_search_does_nothing", "abc", "", "e", "abc", 0},
    {"search_longer_than_text", "ab", "abc", "x", "ab", 0},
    {"bytes_not_characters", "\x83\x5c" "a", "\x5c", "/", "\x83/a", 1},
};

class CStringReplace : public testing::TestWithParam<ReplaceCase> {};

TEST_P(CStringReplace, ReplacesEveryOccurrence) {
  const ReplaceCase& c = GetParam();
  CString text(c.text);
  EXPECT_EQ(text.Replace(c.old_text, c.new_text), c.count);
  EXPECT_EQ(text.View(), c.result);
  EXPECT_EQ(std::strlen(text.GetString()), text.GetLength());
}

INSTANTIATE_TEST_SUITE_P(Cases, CStringReplace, testing::ValuesIn(kReplaceCases),
                         [](const testing::TestParamInfo<ReplaceCase>& info) { return info.param.name; });

TEST(CStringBuffer, BytesWrittenBeforeReleaseSurviveGrowth) {
  // A reader fills the buffer piece by piece, asking for more room before it
  // releases: what it wrote must move with the text.
  CString text;
  char* buffer = text.GetBuffer(3);
  std::memcpy(buffer, "abc", 3);
  buffer = text.GetBuffer(100000);
  std::memcpy(buffer + 3, "def", 3);
  buffer[6] = '\0';
  text.ReleaseBuffer();
  EXPECT_EQ(text.View(), "abcdef");
}

TEST(CStringBuffer, ReleaseTakesTheGivenLengthOrTheFirstNul) {
  CString text("hello");
  char* buffer = text.GetBuffer(5);
  buffer[2] = '\0';
  text.ReleaseBuffer();
  EXPECT_EQ(text.View(), "he");
  buffer = text.GetBuffer(4);
  std::memcpy(buffer, "w\0yz", 4);
  text.ReleaseBuffer(4);
  EXPECT_EQ(text.GetLength(), 4u);
  EXPECT_EQ(text.View(), std::string_view("w\0yz", 4));
}

TEST(CStringBuffer, EmptyStringsAreTerminated) {
  CString empty;
  EXPECT_STREQ(empty.GetString(), "");
  char* buffer = empty.GetBuffer(0);
  EXPECT_EQ(buffer[0], '\0');
  empty.ReleaseBuffer();
  EXPECT_TRUE(empty.IsEmpty());
  CString from_null(static_cast<const char*>(nullptr));
  EXPECT_TRUE(from_null.IsEmpty());
}

TEST(CStringLarge, WholeFileTextsGrowAndCopy) {
  // Texts of several MiB take the memory path of whole files.
  const size_t size = (size_t{9} << 20) + 7;
  CString text;
  char* buffer = text.GetBuffer(size);
  for (size_t i = 0; i < size; ++i) buffer[i] = static_cast<char>('a' + i % 26);
  text.ReleaseBuffer(static_cast<std::ptrdiff_t>(size));
  text += "\n";
  CString copy = text;
  ASSERT_EQ(copy.GetLength(), size + 1);
  EXPECT_EQ(copy.GetAt(size - 1), static_cast<char>('a' + (size - 1) % 26));
  EXPECT_EQ(copy.Replace("\n", "\r\n"), 1u);
  EXPECT_EQ(copy.GetLength(), size + 2);
  EXPECT_EQ(copy.View().substr(size), "\r\n");
  CString moved = std::move(copy);
  EXPECT_EQ(moved.GetLength(), size + 2);
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
