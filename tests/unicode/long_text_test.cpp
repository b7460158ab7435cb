// Classing texts longer than the first bytes that classing looks at before the rest: the
// answer is the one the whole text gives, wherever those first bytes end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unicode/unicode.h"

namespace {

using namespace std::string_literals;

// `lead` ASCII bytes, then あ (E3 81 82) up to at least `size` bytes, then `tail`; the byte at
// `at` (when not npos) replaced by `put`.
std::vector<char> text(size_t lead, size_t size, const std::string& tail = "", size_t at = std::string::npos,
                       char put = 0) {
  std::string t(lead, 'a');
  while (t.size() < size) t += "\xE3\x81\x82";
  t += tail;
  if (at != std::string::npos) t[at] = put;
  return {t.begin(), t.end()};
}

TEST(ClassifyText, LongTextsAsAWhole) {
  struct Case {
    const char* name;
    std::vector<char> bytes;
    UnicodeClass code;
  };
  const Case cases[] = {
      // 4096 falls on each byte of a character in turn
      {"valid, cut at a first byte", text(1, 9000), UNICODE_UTF8},
      {"valid, cut at a second byte", text(0, 9000), UNICODE_UTF8},
      {"valid, cut at a third byte", text(2, 9000), UNICODE_UTF8},
      {"a lead cut short early", text(0, 9000, "", 30, 'x'), UNICODE_NONE},
      {"a NUL before an early fault", text(0, 9000, "", 3, '\0'), UNICODE_UTF8},
      {"an ASCII start ended by a NUL", text(40, 9000, "", 10, '\0'), UNICODE_NONE},
      {"a fault past the first bytes", text(0, 9000, "\xFF"), UNICODE_NONE},
      {"a fault after the NUL", text(0, 9000, "\0\xFF"s), UNICODE_UTF8},
      {"a fault after 2 KiB blocks", text(0, 9000, "", 6000, '\x82'), UNICODE_NONE},
      {"cut short at the very end", text(0, 9000, "\xE3\x81"), UNICODE_NONE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classify_text(c.bytes.data(), c.bytes.size()).code, c.code) << c.name;
  }
}

}  // namespace
