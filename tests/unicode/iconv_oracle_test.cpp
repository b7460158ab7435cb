// The mapping agrees with glibc iconv's CP932 both ways: every code page 932 code (one byte,
// and every first byte with every second byte) read, every character U+0001..U+FFFF and a
// sample beyond written, one at a time and as one long text.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <string>
#include <vector>

#include "unicode/unicode.h"

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

  // The whole input converted; false when iconv refuses any of it.
  bool Convert(const Bytes& in, Bytes* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> buf(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = buf.data();
    size_t dst_left = buf.size();
    if (iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1) || src_left != 0)
      return false;
    out->assign(buf.data(), static_cast<size_t>(dst - buf.data()));
    return true;
  }

 private:
  iconv_t cd_;
};

Bytes utf8_of(char32_t cp) {
  if (cp < 0x80) return Bytes(1, static_cast<char>(cp));
  if (cp < 0x800) return {static_cast<char>(0xC0 | cp >> 6), static_cast<char>(0x80 | (cp & 0x3F))};
  if (cp < 0x10000)
    return {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
            static_cast<char>(0x80 | (cp & 0x3F))};
  return {static_cast<char>(0xF0 | cp >> 18), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
          static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
}

ConvertReport to_cp932(UnicodeClass code, const Bytes& in, Bytes* out) {
  std::vector<char> buf(unicode_to_cp932_capacity(in.size()));
  const ConvertReport r = unicode_to_cp932(code, in.data(), in.size(), buf.data(), UNMAPPABLE_GETA);
  out->assign(buf.data(), r.length);
  return r;
}
ConvertReport to_unicode(UnicodeOutput code, const Bytes& in, Bytes* out) {
  std::vector<char> buf(cp932_to_unicode_capacity(in.size()));
  const ConvertReport r = cp932_to_unicode(code, false, in.data(), in.size(), buf.data());
  out->assign(buf.data(), r.length);
  return r;
}

// A first byte (81-9F, E0-FC) and a second byte (40-FC but 7F).
bool is_pair(const Bytes& code) {
  const unsigned char b1 = code[0], b2 = code.size() == 2 ? code[1] : 0;
  return ((b1 >= 0x81 && b1 <= 0x9F) || (b1 >= 0xE0 && b1 <= 0xFC)) && b2 >= 0x40 && b2 <= 0xFC && b2 != 0x7F;
}

// Every code page 932 code: the single bytes, and each byte from 0x80 up followed by every
// second byte from 0x40 up.
std::vector<Bytes> all_codes() {
  std::vector<Bytes> codes;
  for (int b = 0; b < 256; ++b) codes.push_back(Bytes(1, static_cast<char>(b)));
  for (int b1 = 0x80; b1 < 0x100; ++b1)
    for (int b2 = 0x40; b2 < 0x100; ++b2) codes.push_back({static_cast<char>(b1), static_cast<char>(b2)});
  return codes;
}

TEST(IconvOracle, EveryCodeReadAsIconvReadsIt) {
  Iconv to_utf8("UTF-8", "CP932");
  Iconv to_utf16("UTF-16LE", "CP932");
  ASSERT_TRUE(to_utf8.ok() && to_utf16.ok());
  Bytes all, all_utf8, all_utf16;
  size_t characters = 0;
  for (const Bytes& code : all_codes()) {
    Bytes expected, ours;
    // A first byte alone is no character; a pair whose first byte is a character alone is
    // two characters, not one.
    if (code.size() == 2 && to_utf8.Convert(code.substr(0, 1), &expected)) continue;
    const bool known = to_utf8.Convert(code, &expected);
    const ConvertReport r = to_unicode(OUTPUT_UTF8, code, &ours);
    if (known) {
      EXPECT_EQ(ours, expected) << std::hex << static_cast<unsigned char>(code[0]);
      EXPECT_EQ(r.replaced, 0u);
      Bytes wide;
      ASSERT_TRUE(to_utf16.Convert(code, &wide));
      all += code;
      all_utf8 += expected;
      all_utf16 += wide;
      ++characters;
    } else if (is_pair(code)) {
      EXPECT_EQ(ours, "\xEF\xBF\xBD") << "unassigned pair";
      EXPECT_EQ(r.replaced, 1u);
    } else {
      EXPECT_GE(r.replaced, 1u) << "not a character";
    }
  }
  EXPECT_GT(characters, 9000u);
  Bytes ours;
  EXPECT_EQ(to_unicode(OUTPUT_UTF8, all, &ours).replaced, 0u);
  EXPECT_EQ(ours, all_utf8);
  EXPECT_EQ(to_unicode(OUTPUT_UTF16LE, all, &ours).replaced, 0u);
  EXPECT_EQ(ours, all_utf16);
}

TEST(IconvOracle, EveryCharacterWrittenAsIconvWritesIt) {
  Iconv from_utf8("CP932", "UTF-8");
  ASSERT_TRUE(from_utf8.ok());
  Bytes all_utf8, all_utf16, all_cp932;
  size_t characters = 0;
  std::vector<char32_t> points;
  for (char32_t cp = 1; cp < 0x10000; ++cp) {
    if (cp < 0xD800 || cp > 0xDFFF) points.push_back(cp);
  }
  for (char32_t cp = 0x10000; cp < 0x110000; cp += 0x101) points.push_back(cp);
  points.push_back(0x20BB7);
  for (char32_t cp : points) {
    const Bytes utf8 = utf8_of(cp);
    Bytes expected, ours;
    const bool known = from_utf8.Convert(utf8, &expected) && !expected.empty();
    // After a character, so that U+FEFF is not taken for the mark.
    const ConvertReport r = to_cp932(UNICODE_UTF8, "a" + utf8, &ours);
    ours.erase(0, 1);
    if (known) {
      EXPECT_EQ(ours, expected) << std::hex << static_cast<uint32_t>(cp);
      EXPECT_EQ(r.replaced, 0u);
      all_utf8 += utf8;
      all_cp932 += expected;
      if (cp < 0x10000) all_utf16 += {static_cast<char>(cp), static_cast<char>(cp >> 8)};
      ++characters;
    } else {
      EXPECT_EQ(ours, "\x81\xAC") << std::hex << static_cast<uint32_t>(cp);
      EXPECT_EQ(r.replaced, 1u);
    }
  }
  EXPECT_GT(characters, 9000u);
  Bytes ours;
  EXPECT_EQ(to_cp932(UNICODE_UTF8, all_utf8, &ours).replaced, 0u);
  EXPECT_EQ(ours, all_cp932);
  EXPECT_EQ(to_cp932(UNICODE_UTF16LE, all_utf16, &ours).replaced, 0u);
  EXPECT_EQ(ours, all_cp932);
}

}  // namespace
