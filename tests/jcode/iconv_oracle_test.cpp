// The conversions agree with glibc iconv byte for byte: every JIS X 0208 code that glibc's
// EUC-JP and ISO-2022-JP define (rows 1 to 84), every half-width katakana and ASCII, in
// each direction iconv converts, one character at a time and as one long text.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "jcode/jcode.h"

namespace {

using Bytes = std::string;

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The whole input converted, with the closing shift sequence; false when iconv refuses
  // any of it.
  bool Convert(const Bytes& in, Bytes* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> buf(in.size() * 8 + 16);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = buf.data();
    size_t dst_left = buf.size();
    if (iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1) || src_left != 0)
      return false;
    if (iconv(cd_, nullptr, nullptr, &dst, &dst_left) == static_cast<size_t>(-1)) return false;
    out->assign(buf.data(), static_cast<size_t>(dst - buf.data()));
    return true;
  }

 private:
  iconv_t cd_;
};

Bytes ours_sjis_to_euc(const Bytes& in) {
  std::vector<char> buf(sjis_to_euc_capacity(in.size()));
  std::memcpy(buf.data(), in.data(), in.size());
  return Bytes(buf.data(), sjis_to_euc(buf.data(), in.size()));
}
Bytes ours_sjis_to_jis(const Bytes& in) {
  std::vector<char> buf(sjis_to_jis_capacity(in.size()));
  std::memcpy(buf.data(), in.data(), in.size());
  return Bytes(buf.data(), sjis_to_jis(buf.data(), in.size()));
}
Bytes ours_euc_to_sjis(Bytes in) {
  in.resize(euc_to_sjis(in.data(), in.size()));
  return in;
}
Bytes ours_jis_to_sjis(Bytes in) {
  in.resize(jis_to_sjis(in.data(), in.size()));
  return in;
}
Bytes ours_to_sjis(Bytes in) {
  in.resize(to_sjis(in.data(), in.size()));
  return in;
}

std::string hex(const Bytes& s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02X ", c);
    out += b;
  }
  return out;
}

// The peers for each direction. Half-width katakana need ISO-2022-JP-3: glibc's ISO-2022-JP
// has no ESC ( I set and refuses them.
struct Peers {
  Iconv sjis_from_euc{"SJIS", "EUC-JP"};
  Iconv euc_from_sjis{"EUC-JP", "SJIS"};
  Iconv sjis_from_jis{"SJIS", "ISO-2022-JP"};
  Iconv jis_from_sjis{"ISO-2022-JP", "SJIS"};
  Iconv sjis_from_jis3{"SJIS", "ISO-2022-JP-3"};
  Iconv jis3_from_sjis{"ISO-2022-JP-3", "SJIS"};
  Iconv utf8_from_euc{"UTF-8", "EUC-JP"};
  Iconv utf8_from_jis{"UTF-8", "ISO-2022-JP"};

  bool ok() const {
    return sjis_from_euc.ok() && euc_from_sjis.ok() && sjis_from_jis.ok() && jis_from_sjis.ok() &&
           sjis_from_jis3.ok() && jis3_from_sjis.ok() && utf8_from_euc.ok() && utf8_from_jis.ok();
  }
};

#define REQUIRE_PEERS(peers)                                                 \
  if (!(peers).ok()) GTEST_SKIP() << "glibc iconv Japanese modules missing"; \
  static_assert(true)

// Every row and cell that glibc's EUC-JP defines (6879 of them) is defined by its
// ISO-2022-JP too, lies in rows 1 to 84, and converts in all four directions exactly as
// iconv converts it. glibc's SJIS, EUC-JP and ISO-2022-JP tables agree with the row and cell
// arithmetic on every one of these codes, so none is skipped. The cells glibc leaves
// undefined (unassigned cells, rows 9 to 15 and 85 to 94) have no character to compare;
// the round-trip tests cover them.
TEST(IconvOracle, EveryJisX0208Code) {
  Peers peers;
  REQUIRE_PEERS(peers);
  int codes = 0;
  for (int row = 1; row <= 94; ++row) {
    for (int cell = 1; cell <= 94; ++cell) {
      const Bytes euc{char(0xA0 + row), char(0xA0 + cell)};
      const Bytes jis = "\x1b$B" + Bytes{char(0x20 + row), char(0x20 + cell)} + "\x1b(B";
      Bytes utf8_e, utf8_j;
      const bool defined = peers.utf8_from_euc.Convert(euc, &utf8_e);
      ASSERT_EQ(defined, peers.utf8_from_jis.Convert(jis, &utf8_j)) << row << "-" << cell;
      if (!defined) continue;
      ++codes;
      ASSERT_LE(row, 84);

      Bytes expect;
      ASSERT_TRUE(peers.sjis_from_euc.Convert(euc, &expect)) << row << "-" << cell;
      ASSERT_EQ(hex(expect), hex(ours_euc_to_sjis(euc))) << row << "-" << cell;
      const Bytes sjis = expect;
      // Alone, a code whose two bytes are both E0 or above (but not FD, FE first) reads as a
      // Shift_JIS character too, and detection leaves it as it is.
      const unsigned char e1 = euc[0], e2 = euc[1];
      const bool ambiguous = e1 >= 0xE0 && e1 <= 0xFC && e2 >= 0xE0;
      ASSERT_EQ(hex(ambiguous ? euc : sjis), hex(ours_to_sjis(euc))) << row << "-" << cell;

      ASSERT_TRUE(peers.sjis_from_jis.Convert(jis, &expect)) << row << "-" << cell;
      ASSERT_EQ(hex(expect), hex(ours_jis_to_sjis(jis))) << row << "-" << cell;
      ASSERT_EQ(hex(expect), hex(ours_to_sjis(jis))) << row << "-" << cell;

      ASSERT_TRUE(peers.euc_from_sjis.Convert(sjis, &expect)) << row << "-" << cell;
      ASSERT_EQ(hex(expect), hex(ours_sjis_to_euc(sjis))) << row << "-" << cell;

      ASSERT_TRUE(peers.jis_from_sjis.Convert(sjis, &expect)) << row << "-" << cell;
      ASSERT_EQ(hex(expect), hex(ours_sjis_to_jis(sjis))) << row << "-" << cell;
    }
  }
  EXPECT_EQ(codes, 6879);
}

TEST(IconvOracle, EveryHalfWidthKatakana) {
  Peers peers;
  REQUIRE_PEERS(peers);
  for (int k = 0xA1; k <= 0xDF; ++k) {
    const Bytes sjis{char(k)};
    const Bytes euc{'\x8e', char(k)};
    Bytes expect;
    ASSERT_TRUE(peers.euc_from_sjis.Convert(sjis, &expect)) << k;
    EXPECT_EQ(hex(expect), hex(ours_sjis_to_euc(sjis)));
    ASSERT_TRUE(peers.sjis_from_euc.Convert(euc, &expect)) << k;
    EXPECT_EQ(hex(expect), hex(ours_euc_to_sjis(euc)));
    ASSERT_TRUE(peers.jis3_from_sjis.Convert(sjis, &expect)) << k;
    EXPECT_EQ(hex(expect), hex(ours_sjis_to_jis(sjis)));
    const Bytes jis = ours_sjis_to_jis(sjis);
    ASSERT_TRUE(peers.sjis_from_jis3.Convert(jis, &expect)) << k;
    EXPECT_EQ(hex(expect), hex(ours_jis_to_sjis(jis)));
  }
}

// Printable ASCII, TAB and the line ends. glibc's SJIS reads 5C and 7E as YEN SIGN and
// OVERLINE, which its ISO-2022-JP writes in the JIS X 0201 Roman set (ESC ( J); the
// converters keep every byte below 0x80 as ASCII, so those two are left out of the JIS
// direction only.
TEST(IconvOracle, Ascii) {
  Peers peers;
  REQUIRE_PEERS(peers);
  Bytes ascii = "\t\n\r";
  for (int c = 0x20; c < 0x7F; ++c) ascii += char(c);
  Bytes expect;
  ASSERT_TRUE(peers.euc_from_sjis.Convert(ascii, &expect));
  EXPECT_EQ(hex(expect), hex(ours_sjis_to_euc(ascii)));
  ASSERT_TRUE(peers.sjis_from_euc.Convert(ascii, &expect));
  EXPECT_EQ(hex(expect), hex(ours_euc_to_sjis(ascii)));

  Bytes jis_ascii;
  for (char c : ascii) {
    if (c != '\\' && c != '~') jis_ascii += c;
  }
  ASSERT_TRUE(peers.jis_from_sjis.Convert(jis_ascii, &expect));
  EXPECT_EQ(hex(expect), hex(ours_sjis_to_jis(jis_ascii)));
  ASSERT_TRUE(peers.sjis_from_jis.Convert(jis_ascii, &expect));
  EXPECT_EQ(hex(expect), hex(ours_jis_to_sjis(jis_ascii)));
}

// All codes in one text, in lines mixed with ASCII, so that the block paths meet real
// characters at every alignment.
TEST(IconvOracle, WholeTextOfEveryCode) {
  Peers peers;
  REQUIRE_PEERS(peers);
  Bytes euc;
  int column = 0;
  for (int row = 1; row <= 84; ++row) {
    for (int cell = 1; cell <= 94; ++cell) {
      const Bytes code{char(0xA0 + row), char(0xA0 + cell)};
      Bytes utf8;
      if (!peers.utf8_from_euc.Convert(code, &utf8)) continue;
      euc += code;
      if (++column % 37 == 0) euc += " ok, line " + std::to_string(column) + "\n";
      if (column % 53 == 0) euc += "\x8e\xb1\x8e\xdf";
    }
  }
  Bytes sjis, expect;
  ASSERT_TRUE(peers.sjis_from_euc.Convert(euc, &sjis));
  ASSERT_EQ(hex(sjis), hex(ours_euc_to_sjis(euc)));
  ASSERT_EQ(hex(sjis), hex(ours_to_sjis(euc)));
  ASSERT_TRUE(peers.euc_from_sjis.Convert(sjis, &expect));
  ASSERT_EQ(hex(expect), hex(ours_sjis_to_euc(sjis)));
  ASSERT_TRUE(peers.jis3_from_sjis.Convert(sjis, &expect));
  const Bytes jis = ours_sjis_to_jis(sjis);
  ASSERT_EQ(hex(expect), hex(jis));
  ASSERT_TRUE(peers.sjis_from_jis3.Convert(jis, &expect));
  ASSERT_EQ(hex(expect), hex(ours_jis_to_sjis(jis)));
  ASSERT_EQ(hex(expect), hex(ours_to_sjis(jis)));
}

}  // namespace
