// The conversions agree with glibc iconv byte for byte, in every form: every JIS X 0208 code
// that glibc's EUC-JP and ISO-2022-JP define (rows 1 to 84), every half-width katakana and
// ASCII, in each direction iconv converts, one character at a time and as one long text.
#include <gtest/gtest.h>
#include <iconv.h>

#include <map>
#include <memory>
#include <utility>

#include "tests/jcode/convert.h"

namespace jcode_test {
namespace {

// The whole input converted by iconv, with the closing shift sequence; false when iconv
// refuses any of it or lacks the codes.
bool iconv_convert(const char* to, const char* from, const Bytes& in, Bytes* out) {
  struct Close {
    void operator()(void* cd) const { iconv_close(cd); }
  };
  static std::map<std::pair<std::string, std::string>, std::unique_ptr<void, Close>> opened;  // for the run
  auto& slot = opened[{to, from}];
  if (!slot) {
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    slot.reset(cd);
  }
  const iconv_t cd = slot.get();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::vector<char> buf(in.size() * 8 + 16);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = buf.data();
  size_t dst_left = buf.size();
  const bool ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1) && src_left == 0 &&
                  iconv(cd, nullptr, nullptr, &dst, &dst_left) != static_cast<size_t>(-1);
  out->assign(buf.data(), static_cast<size_t>(dst - buf.data()));
  return ok;
}

// Half-width katakana need ISO-2022-JP-3: glibc's ISO-2022-JP has no ESC ( I set.
struct Direction {
  Op op;
  const char* to;
  const char* from;
};
constexpr Direction kDirections[] = {{Op::kEucToSjis, "SJIS", "EUC-JP"},
                                     {Op::kSjisToEuc, "EUC-JP", "SJIS"},
                                     {Op::kJisToSjis, "SJIS", "ISO-2022-JP-3"},
                                     {Op::kSjisToJis, "ISO-2022-JP-3", "SJIS"}};

// Each direction on `sjis` and on what iconv makes of it, compared with iconv.
void expect_as_iconv(const Bytes& sjis, const Bytes& what) {
  Bytes euc, jis, expect;
  ASSERT_TRUE(iconv_convert("EUC-JP", "SJIS", sjis, &euc)) << what;
  ASSERT_TRUE(iconv_convert("ISO-2022-JP-3", "SJIS", sjis, &jis)) << what;
  for (const Direction& d : kDirections) {
    const Bytes& in = d.op == Op::kEucToSjis ? euc : d.op == Op::kJisToSjis ? jis : sjis;
    ASSERT_TRUE(iconv_convert(d.to, d.from, in, &expect)) << what;
    ASSERT_EQ(hex(expect), hex(run_sized(d.op, in))) << op_name(d.op) << " " << what;
  }
  // Detection brings back JIS with two-byte characters, and EUC-JP unless its first byte
  // reads as Shift_JIS: 8E, or E0 to FC before a byte from E0 up.
  const bool has_kanji = jis.find("\x1b$") != Bytes::npos;
  ASSERT_EQ(hex(has_kanji ? sjis : jis), hex(run_sized(Op::kToSjis, jis))) << what;
  const unsigned char e1 = euc[0], e2 = euc.size() > 1 ? euc[1] : 0;
  const bool read_as_sjis = e1 == 0x8E || (e1 >= 0xE0 && e1 <= 0xFC && e2 >= 0xE0);
  ASSERT_EQ(hex(read_as_sjis ? euc : sjis), hex(run_sized(Op::kToSjis, euc))) << what;
}

bool iconv_ready() {
  Bytes out;
  return iconv_convert("SJIS", "EUC-JP", "a", &out) && iconv_convert("ISO-2022-JP-3", "SJIS", "a", &out);
}
#define REQUIRE_ICONV() \
  if (!iconv_ready()) GTEST_SKIP() << "glibc iconv Japanese modules missing"

// Every row and cell that glibc's EUC-JP defines (6879 of them, all in rows 1 to 84). The
// cells glibc leaves undefined have no character to compare; the round-trip test covers them.
TEST(IconvOracle, EveryJisX0208Code) {
  REQUIRE_ICONV();
  int codes = 0;
  for (int row = 1; row <= 94; ++row) {
    for (int cell = 1; cell <= 94; ++cell) {
      Bytes sjis;
      if (!iconv_convert("SJIS", "EUC-JP", Bytes{char(0xA0 + row), char(0xA0 + cell)}, &sjis)) continue;
      ++codes;
      expect_as_iconv(sjis, std::to_string(row) + "-" + std::to_string(cell));
    }
  }
  EXPECT_EQ(codes, 6879);
}

// Half-width katakana, TAB, the line ends and printable ASCII. glibc's SJIS reads 5C and 7E
// as YEN SIGN and OVERLINE, which its ISO-2022-JP writes in another set: the converters keep
// every byte below 0x80 as ASCII, so those two are left out.
TEST(IconvOracle, KatakanaAndAscii) {
  REQUIRE_ICONV();
  for (int k = 0xA1; k <= 0xDF; ++k) expect_as_iconv(Bytes{char(k)}, hex(Bytes{char(k)}));
  Bytes ascii = "\t\n\r";
  for (int c = 0x20; c < 0x7F; ++c) {
    if (c != '\\' && c != '~') ascii += char(c);
  }
  expect_as_iconv(ascii, "ascii");
}

// All codes in one text, in lines mixed with ASCII and katakana, so that the block paths meet
// real characters at every alignment.
TEST(IconvOracle, WholeTextOfEveryCode) {
  REQUIRE_ICONV();
  Bytes euc;
  int column = 0;
  for (int row = 1; row <= 84; ++row) {
    for (int cell = 1; cell <= 94; ++cell) {
      const Bytes code{char(0xA0 + row), char(0xA0 + cell)};
      Bytes sjis;
      if (!iconv_convert("SJIS", "EUC-JP", code, &sjis)) continue;
      euc += code;
      if (++column % 37 == 0) euc += " ok, line " + std::to_string(column) + "\n";
      if (column % 53 == 0) euc += "\x8e\xb1\x8e\xdf";
    }
  }
  Bytes sjis;
  ASSERT_TRUE(iconv_convert("SJIS", "EUC-JP", euc, &sjis));
  expect_as_iconv(sjis, "whole text");
}

}  // namespace
}  // namespace jcode_test
