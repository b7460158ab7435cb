// Classing, decoding to code page 932, encoding back, and guessing, on known byte sequences.
// Texts sit in buffers of exactly their length and outputs in buffers of exactly the stated
// capacity, so the sanitizer catches a byte too far.
#include "unicode/unicode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::string;
using namespace std::string_literals;

constexpr const char* kGeta = "\x81\xAC";

struct Decoded {
  Bytes text;
  ConvertReport report;
};
Decoded decode(UnicodeClass code, const Bytes& in, Unmappable mode = UNMAPPABLE_GETA) {
  const std::vector<char> input(in.begin(), in.end());
  std::vector<char> out(unicode_to_cp932_capacity(in.size()));
  const ConvertReport r = unicode_to_cp932(code, input.data(), input.size(), out.data(), mode);
  EXPECT_LT(r.length, out.size());
  EXPECT_EQ(out[r.length], '\0');
  return {Bytes(out.data(), r.length), r};
}

Decoded encode(UnicodeOutput code, bool mark, const Bytes& in) {
  const std::vector<char> input(in.begin(), in.end());
  std::vector<char> out(cp932_to_unicode_capacity(in.size()));
  const ConvertReport r = cp932_to_unicode(code, mark, input.data(), input.size(), out.data());
  const size_t terminator = code == OUTPUT_UTF16LE ? 2 : 1;
  EXPECT_LE(r.length + terminator, out.size());
  EXPECT_EQ(Bytes(out.data() + r.length, terminator), Bytes(terminator, '\0'));
  return {Bytes(out.data(), r.length), r};
}

Bytes repeat(const Bytes& s, int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

struct ClassCase {
  const char* name;
  Bytes text;
  UnicodeClass code;
  size_t mark;
};
const ClassCase kClassCases[] = {
    {"utf8_mark",
     "\xEF\xBB\xBF"
     "abc",
     UNICODE_UTF8, 3},
    {"utf8_mark_alone", "\xEF\xBB\xBF", UNICODE_UTF8, 3},
    {"utf8_mark_cut_short", "\xEF\xBB", UNICODE_NONE, 0},
    {"utf16le_mark",
     "\xFF\xFE"
     "a\0"s,
     UNICODE_UTF16LE, 2},
    {"utf16be_mark",
     "\xFE\xFF"
     "\0a"s,
     UNICODE_UTF16BE, 2},
    {"utf16_without_mark", "a\0b\0"s, UNICODE_NONE, 0},
    {"empty", "", UNICODE_NONE, 0},
    {"ascii_only", "plain text\r\n", UNICODE_NONE, 0},
    {"shift_jis", "\x82\xA0\x82\xA2", UNICODE_NONE, 0},
    {"two_bytes_lowest", "\xC2\x80", UNICODE_UTF8, 0},
    {"three_bytes_lowest", "\xE0\xA0\x80", UNICODE_UTF8, 0},
    {"four_bytes_lowest", "\xF0\x90\x80\x80", UNICODE_UTF8, 0},
    {"highest", "\xF4\x8F\xBF\xBF", UNICODE_UTF8, 0},
    {"below_surrogates", "\xED\x9F\xBF", UNICODE_UTF8, 0},
    {"overlong_two", "\xC1\xBF", UNICODE_NONE, 0},
    {"overlong_three", "\xE0\x9F\xBF", UNICODE_NONE, 0},
    {"overlong_four", "\xF0\x8F\xBF\xBF", UNICODE_NONE, 0},
    {"surrogate", "\xED\xA0\x80", UNICODE_NONE, 0},
    {"above_10ffff", "\xF4\x90\x80\x80", UNICODE_NONE, 0},
    {"lead_f5", "\xF5\x80\x80\x80", UNICODE_NONE, 0},
    {"lone_continuation", "a\x80", UNICODE_NONE, 0},
    {"cut_short_two",
     "\xE3\x81\x82"
     "\xC3",
     UNICODE_NONE, 0},
    {"cut_short_three",
     "\xE3\x81\x82"
     "\xE3\x81",
     UNICODE_NONE, 0},
    {"cut_short_four",
     "\xE3\x81\x82"
     "\xF0\x9F\x98",
     UNICODE_NONE, 0},
    {"high_byte_only_after_nul", "abc\0\xE3\x81\x82"s, UNICODE_NONE, 0},
    {"invalid_only_after_nul", "\xE3\x81\x82\0\xFF"s, UNICODE_UTF8, 0},
};

TEST(ClassifyText, MarksAndValidUtf8) {
  for (const ClassCase& c : kClassCases) {
    const std::vector<char> text(c.text.begin(), c.text.end());
    const TextClass cls = classify_text(text.data(), text.size());
    EXPECT_EQ(cls.code, c.code) << c.name;
    EXPECT_EQ(cls.mark_length, c.mark) << c.name;
  }
}

// Every sequence at every offset across two 32-byte blocks, and at the very end, so each
// block boundary and each tail length is met.
TEST(IsValidUtf8, SequencesAtEveryOffset) {
  struct Seq {
    Bytes bytes;
    bool valid;
  };
  const Seq kSeqs[] = {
      {"\xC2\x80", true},
      {"\xE3\x81\x82", true},
      {"\xF0\x9F\x98\x80", true},
      {"\xEF\xBF\xBF", true},
      {"\xC0\x80", false},
      {"\xE0\x80\x80", false},
      {"\xED\xBF\xBF", false},
      {"\xF4\x90\x80\x80", false},
      {"\xF8\x88\x80\x80\x80", false},
      {"\x80", false},
      {"\xC3", false},
      {"\xE3\x81", false},
      {"\xE3\x81\x82\x82", false},
      {"\xF0\x9F\x98\x80\x80", false},
  };
  for (const Seq& s : kSeqs) {
    for (size_t at = 0; at < 70; ++at) {
      for (size_t after : {size_t{0}, size_t{1}, size_t{40}}) {
        const Bytes text = Bytes(at, 'a') + s.bytes + Bytes(after, 'b');
        const std::vector<char> buf(text.begin(), text.end());
        EXPECT_EQ(is_valid_utf8(buf.data(), buf.size()), s.valid) << at << " " << after;
      }
    }
  }
  EXPECT_TRUE(is_valid_utf8("", 0));
}

struct DecodeCase {
  const char* name;
  UnicodeClass code;
  Bytes in;
  Unmappable mode;
  Bytes out;
  size_t replaced, first_line;
};
const DecodeCase kDecodeCases[] = {
    {"kanji_kana_ascii", UNICODE_UTF8, "a\xE3\x81\x82\xE7\xBA\x8A\r\n", UNMAPPABLE_GETA,
     "a\x82\xA0\xFA\x5C\r\n", 0, 0},
    {"mark_dropped", UNICODE_UTF8,
     "\xEF\xBB\xBF"
     "a",
     UNMAPPABLE_GETA, "a", 0, 0},
    {"second_mark_is_a_character", UNICODE_UTF8, "\xEF\xBB\xBF\xEF\xBB\xBF", UNMAPPABLE_GETA, kGeta, 1, 1},
    {"half_width_katakana", UNICODE_UTF8, "\xEF\xBD\xB1", UNMAPPABLE_GETA, "\xB1", 0, 0},
    {"emoji_geta", UNICODE_UTF8, "a\n\xF0\x9F\x98\x80", UNMAPPABLE_GETA, "a\n\x81\xAC", 1, 2},
    {"emoji_ncr", UNICODE_UTF8, "\xF0\xA0\xAE\xB7", UNMAPPABLE_NCR, "&#x20BB7;", 1, 1},
    {"ncr_four_digits", UNICODE_UTF8, "\xC3\xA9", UNMAPPABLE_NCR, "&#x00E9;", 1, 1},
    {"invalid_is_geta_in_ncr_mode", UNICODE_UTF8, "\xEF\xBB\xBF\xFF", UNMAPPABLE_NCR, kGeta, 1, 1},
    {"cut_short_counts_once", UNICODE_UTF8,
     "\xE3\x81"
     "a",
     UNMAPPABLE_GETA,
     "\x81\xAC"
     "a",
     1, 1},
    {"cut_short_at_end", UNICODE_UTF8, "a\xF0\x9F\x98", UNMAPPABLE_GETA, "a\x81\xAC", 1, 1},
    {"stray_bytes_each", UNICODE_UTF8, "\x80\xBF", UNMAPPABLE_GETA, "\x81\xAC\x81\xAC", 2, 1},
    {"overlong_per_byte", UNICODE_UTF8, "\xC0\xAF", UNMAPPABLE_GETA, "\x81\xAC\x81\xAC", 2, 1},
    {"overlong_three_per_byte", UNICODE_UTF8,
     "\xEF\xBB\xBF\xE0\x81\x81"
     "a",
     UNMAPPABLE_GETA, repeat(kGeta, 3) + "a", 3, 1},
    {"surrogate_bytes", UNICODE_UTF8, "\xED\xA0\x80", UNMAPPABLE_GETA, "\x81\xAC\x81\xAC\x81\xAC", 3, 1},
    {"line_of_first", UNICODE_UTF8, "a\r\nb\rc\nd\xF0\x9F\x98\x80\n\xF0\x9F\x98\x80", UNMAPPABLE_GETA,
     "a\r\nb\rc\nd\x81\xAC\n\x81\xAC", 2, 4},
    {"cr_before_it", UNICODE_UTF8, "a\r\xF0\x9F\x98\x80", UNMAPPABLE_GETA, "a\r\x81\xAC", 1, 2},
    {"nul_ends_utf8", UNICODE_UTF8, "a\0\xF0\x9F\x98\x80"s, UNMAPPABLE_GETA, "a", 0, 0},
    {"utf16le_crlf", UNICODE_UTF16LE,
     "\xFF\xFE"
     "a\0\r\0\n\0\x42\x30"s,
     UNMAPPABLE_GETA, "a\r\n\x82\xA0", 0, 0},
    {"utf16be", UNICODE_UTF16BE,
     "\xFE\xFF"
     "\x30\x42\0a"s,
     UNMAPPABLE_GETA,
     "\x82\xA0"
     "a",
     0, 0},
    {"utf16_nul_ends", UNICODE_UTF16LE, "a\0\0\0b\0"s, UNMAPPABLE_GETA, "a", 0, 0},
    {"utf16_nul_byte_is_not_the_end", UNICODE_UTF16LE,
     "\x00\x4E"
     "a\0"s,
     UNMAPPABLE_GETA,
     "\x88\xEA"
     "a",
     0, 0},
    {"utf16_pair_counts_once", UNICODE_UTF16LE,
     "\x3D\xD8\x00\xDE"
     "a\0"s,
     UNMAPPABLE_GETA,
     "\x81\xAC"
     "a",
     1, 1},
    {"utf16_pair_ncr", UNICODE_UTF16BE, "\xD8\x42\xDF\xB7"s, UNMAPPABLE_NCR, "&#x20BB7;", 1, 1},
    {"utf16_lone_high", UNICODE_UTF16LE,
     "\x3D\xD8"
     "a\0"s,
     UNMAPPABLE_GETA,
     "\x81\xAC"
     "a",
     1, 1},
    {"utf16_lone_low", UNICODE_UTF16LE, "a\0\n\0\x00\xDE"s, UNMAPPABLE_GETA, "a\n\x81\xAC", 1, 2},
    {"utf16_high_at_end", UNICODE_UTF16LE, "\x3D\xD8"s, UNMAPPABLE_GETA, kGeta, 1, 1},
    {"utf16_odd_byte", UNICODE_UTF16LE, "a\0b"s, UNMAPPABLE_GETA, "a\x81\xAC", 1, 1},
    {"not_unicode", UNICODE_NONE, "abc", UNMAPPABLE_GETA, "", 0, 0},
    {"empty", UNICODE_UTF8, "", UNMAPPABLE_GETA, "", 0, 0},
};

TEST(UnicodeToCp932, Cases) {
  for (const DecodeCase& c : kDecodeCases) {
    const Decoded d = decode(c.code, c.in, c.mode);
    EXPECT_EQ(d.text, c.out) << c.name;
    EXPECT_EQ(d.report.replaced, c.replaced) << c.name;
    EXPECT_EQ(d.report.first_line, c.first_line) << c.name;
  }
}

// Long texts take the block paths: ASCII runs across blocks, and a replacement far in with
// its line counted over them.
TEST(UnicodeToCp932, LongTexts) {
  const Bytes line = "abcdefghijklmnopqrstuvwxyz0123456789 ";
  const Bytes utf8 = repeat(line + "\xE3\x81\x82\xE4\xBA\x9C\r\n", 9) + "\xF0\x9F\x98\x80" + line;
  const Bytes sjis = repeat(line + "\x82\xA0\x88\x9F\r\n", 9) + kGeta + line;
  const Decoded d8 = decode(UNICODE_UTF8, utf8);
  EXPECT_EQ(d8.text, sjis);
  EXPECT_EQ(d8.report.replaced, 1u);
  EXPECT_EQ(d8.report.first_line, 10u);

  const Decoded e = encode(OUTPUT_UTF16LE, true, repeat(line + "\x82\xA0\x88\x9F\r\n", 9) + line);
  const Decoded d16 = decode(UNICODE_UTF16LE, e.text);
  EXPECT_EQ(d16.text, repeat(line + "\x82\xA0\x88\x9F\r\n", 9) + line);
  EXPECT_EQ(d16.report.replaced, 0u);
  const Decoded cut = decode(UNICODE_UTF16LE, e.text.substr(0, 100) + "\0\0"s + e.text.substr(100));
  EXPECT_EQ(cut.text, line + "\x82\xA0\x88\x9F\r\nabcdefgh");
}

TEST(Capacities, FitOrZero) {
  EXPECT_EQ(unicode_to_cp932_capacity(0), 1u);
  EXPECT_EQ(unicode_to_cp932_capacity(10), 41u);
  EXPECT_EQ(unicode_to_cp932_capacity(SIZE_MAX / 4), SIZE_MAX / 4 * 4 + 1);
  EXPECT_EQ(unicode_to_cp932_capacity(SIZE_MAX / 4 + 1), 0u);
  EXPECT_EQ(cp932_to_unicode_capacity(0), 4u);
  EXPECT_EQ(cp932_to_unicode_capacity((SIZE_MAX - 4) / 3), (SIZE_MAX - 4) / 3 * 3 + 4);
  EXPECT_EQ(cp932_to_unicode_capacity((SIZE_MAX - 4) / 3 + 1), 0u);
}

// The widest outputs fill the stated capacity exactly less the terminator's spare room.
TEST(Capacities, WidestOutputsFit) {
  EXPECT_EQ(decode(UNICODE_UTF8, repeat("\xC4\x80", 40), UNMAPPABLE_NCR).text, repeat("&#x0100;", 40));
  EXPECT_EQ(decode(UNICODE_UTF16LE, repeat("\x00\x01"s, 40), UNMAPPABLE_NCR).text, repeat("&#x0100;", 40));
  EXPECT_EQ(encode(OUTPUT_UTF8, true, repeat("\xB1", 40)).text, "\xEF\xBB\xBF" + repeat("\xEF\xBD\xB1", 40));
}

struct EncodeCase {
  const char* name;
  UnicodeOutput code;
  bool mark;
  Bytes in, out;
  size_t replaced, first_line;
};
const EncodeCase kEncodeCases[] = {
    {"wave_dash_is_fullwidth_tilde", OUTPUT_UTF8, false, "\x81\x60", "\xEF\xBD\x9E", 0, 0},
    {"utf8_mark", OUTPUT_UTF8, true, "a",
     "\xEF\xBB\xBF"
     "a",
     0, 0},
    {"utf16_mark_and_crlf", OUTPUT_UTF16LE, true, "a\r\n\x81\x60",
     "\xFF\xFE"
     "a\0\r\0\n\0\x5E\xFF"s,
     0, 0},
    {"utf16_without_mark", OUTPUT_UTF16LE, false, "\xB1", "\x71\xFF", 0, 0},
    {"two_byte_utf8", OUTPUT_UTF8, false, "\x81\x98", "\xC2\xA7", 0, 0},
    {"nul_is_a_character", OUTPUT_UTF8, false, "a\0b"s, "a\0b"s, 0, 0},
    {"never_a_character", OUTPUT_UTF8, false, "\x80\xA0\xFD\xFE\xFF", repeat("\xEF\xBF\xBD", 5), 5, 1},
    {"unassigned_pair_once", OUTPUT_UTF16LE, false,
     "\x85\x40"
     "a",
     "\xFD\xFF"
     "a\0"s,
     1, 1},
    {"first_byte_keeps_its_lf", OUTPUT_UTF8, false, "\x81\n\x81", "\xEF\xBF\xBD\n\xEF\xBF\xBD", 2, 1},
    {"first_byte_at_end", OUTPUT_UTF8, false, "a\r\nb\rc\n\x82", "a\r\nb\rc\n\xEF\xBF\xBD", 1, 4},
    {"empty_with_mark", OUTPUT_UTF16LE, true, "", "\xFF\xFE", 0, 0},
};

TEST(Cp932ToUnicode, Cases) {
  for (const EncodeCase& c : kEncodeCases) {
    const Decoded e = encode(c.code, c.mark, c.in);
    EXPECT_EQ(e.text, c.out) << c.name;
    EXPECT_EQ(e.report.replaced, c.replaced) << c.name;
    EXPECT_EQ(e.report.first_line, c.first_line) << c.name;
  }
}

TEST(Cp932ToUnicode, LongTexts) {
  const Bytes line = "abcdefghijklmnopqrstuvwxyz0123456789 ";
  const Bytes sjis = repeat(line + "\x82\xA0\r\n", 9) + "\xFF" + line;
  const Decoded u8 = encode(OUTPUT_UTF8, false, sjis);
  EXPECT_EQ(u8.text, repeat(line + "\xE3\x81\x82\r\n", 9) + "\xEF\xBF\xBD" + line);
  EXPECT_EQ(u8.report.first_line, 10u);
  Bytes wide;
  for (char c : line) wide += Bytes{c, '\0'};
  EXPECT_EQ(encode(OUTPUT_UTF16LE, false, line + line).text, wide + wide);
}

struct GuessCase {
  const char* name;
  Bytes text;
  const char* code;
  const char* line_ends;
};
const GuessCase kGuessCases[] = {
    {"ascii_none", "abc", "ASCII", "NONE"},
    {"ascii_crlf", "a\r\nb\r\n", "ASCII", "CRLF"},
    {"cr", "a\rb\r", "ASCII", "CR"},
    {"mixed", "a\r\nb\n", "ASCII", "MIXED"},
    {"shift_jis_lf", "\x82\xA0\n", "Shift_JIS", "LF"},
    {"euc", "\xA4\xA2\r", "EUC-JP", "CR"},
    {"jis", "\x1B$B\x30\x21\x1B(B\r\n", "ISO-2022-JP", "CRLF"},
    {"utf8", "\xE3\x81\x82\n", "UTF-8", "LF"},
    {"utf8_mark",
     "\xEF\xBB\xBF"
     "a\r\n",
     "UTF-8 (BOM)", "CRLF"},
    {"utf16le",
     "\xFF\xFE"
     "a\0\r\0\n\0"s,
     "UTF-16LE", "CRLF"},
    {"utf16be_ends_at_zero_unit", "\xFE\xFF\0\r\0\0\0\n"s, "UTF-16BE", "CR"},
    {"line_ends_after_nul_ignored", "a\n\0\r"s, "ASCII", "LF"},
};

TEST(GuessText, CodesAndLineEnds) {
  for (const GuessCase& c : kGuessCases) {
    const std::vector<char> text(c.text.begin(), c.text.end());
    const TextGuess g = guess_text(text.data(), text.size());
    EXPECT_STREQ(guessed_code_name(g.code), c.code) << c.name;
    EXPECT_STREQ(line_ends_name(g.line_ends), c.line_ends) << c.name;
  }
  EXPECT_STREQ(guessed_code_name(static_cast<GuessedCode>(8)), "");
  EXPECT_STREQ(line_ends_name(static_cast<LineEnds>(-1)), "");
}

}  // namespace
