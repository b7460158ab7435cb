// Classing, decoding to code page 932, encoding back, counting lines and guessing, on known
// byte sequences. Every conversion runs in each form the machine has. Texts sit in buffers of
// exactly their length and outputs in buffers of exactly the stated capacity, so the sanitizer
// catches a byte too far.
#include "unicode/unicode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "unicode/internal.h"

namespace {

using Bytes = std::string;
using namespace std::string_literals;
using unicode_internal::Form;

constexpr const char* kGeta = "\x81\xAC";

std::vector<const Form*> forms() {
  std::vector<const Form*> all{&unicode_internal::bytewise_form()};
  for (const Form* form : {unicode_internal::sse2_form(), unicode_internal::avx2_form()}) {
    if (form != nullptr) all.push_back(form);
  }
  return all;
}

Bytes repeat(const Bytes& s, int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// Each conversion the forms offer: decoding (from) and encoding (to).
enum Conversion {
  FROM_UTF8,
  FROM_UTF8_NCR,
  FROM_UTF16LE,
  FROM_UTF16BE,
  FROM_UTF16BE_NCR,
  FROM_NONE,
  TO_UTF8,
  TO_UTF8_MARK,
  TO_UTF16LE,
  TO_UTF16LE_MARK
};

struct Converted {
  Bytes text;
  ConvertReport report;
};
Converted convert(const Form& form, Conversion conversion, const Bytes& in) {
  const std::vector<char> input(in.begin(), in.end());
  if (conversion < TO_UTF8) {
    static constexpr UnicodeClass kCodes[] = {UNICODE_UTF8,    UNICODE_UTF8,    UNICODE_UTF16LE,
                                              UNICODE_UTF16BE, UNICODE_UTF16BE, UNICODE_NONE};
    const Unmappable mode =
        conversion == FROM_UTF8_NCR || conversion == FROM_UTF16BE_NCR ? UNMAPPABLE_NCR : UNMAPPABLE_GETA;
    std::vector<char> out(unicode_to_cp932_capacity(in.size()));
    const ConvertReport r =
        form.unicode_to_cp932(kCodes[conversion], input.data(), input.size(), out.data(), mode);
    EXPECT_LT(r.length, out.size());
    EXPECT_EQ(out[r.length], '\0');
    return {Bytes(out.data(), r.length), r};
  }
  const UnicodeOutput code = conversion >= TO_UTF16LE ? OUTPUT_UTF16LE : OUTPUT_UTF8;
  const bool mark = conversion == TO_UTF8_MARK || conversion == TO_UTF16LE_MARK;
  std::vector<char> out(cp932_to_unicode_capacity(in.size()));
  const ConvertReport r = form.cp932_to_unicode(code, mark, input.data(), input.size(), out.data());
  const size_t terminator = code == OUTPUT_UTF16LE ? 2 : 1;
  EXPECT_LE(r.length + terminator, out.size());
  EXPECT_EQ(Bytes(out.data() + r.length, terminator), Bytes(terminator, '\0'));
  return {Bytes(out.data(), r.length), r};
}

// The decoding of each Unicode class.
constexpr Conversion kDecodings[] = {FROM_NONE, FROM_UTF8, FROM_UTF16LE, FROM_UTF16BE};

// Name, text, class, length of the mark.
const std::tuple<const char*, Bytes, UnicodeClass, size_t> kClassCases[] = {
    {"utf8_mark", "\xEF\xBB\xBF\x61", UNICODE_UTF8, 3},
    {"utf8_mark_alone", "\xEF\xBB\xBF", UNICODE_UTF8, 3},
    {"utf8_mark_cut_short", "\xEF\xBB", UNICODE_NONE, 0},
    {"utf16le_mark", "\xFF\xFE\x61\0"s, UNICODE_UTF16LE, 2},
    {"utf16be_mark", "\xFE\xFF\0a"s, UNICODE_UTF16BE, 2},
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
    {"cut_short_two", "\xE3\x81\x82\xC3", UNICODE_NONE, 0},
    {"cut_short_three", "\xE3\x81\x82\xE3\x81", UNICODE_NONE, 0},
    {"cut_short_four", "\xE3\x81\x82\xF0\x9F\x98", UNICODE_NONE, 0},
    {"high_byte_only_after_nul", "abc\0\xE3\x81\x82"s, UNICODE_NONE, 0},
    {"invalid_only_after_nul", "\xE3\x81\x82\0\xFF"s, UNICODE_UTF8, 0},
    {"valid_past_a_chunk", repeat("\xE3\x81\x82", 6000), UNICODE_UTF8, 0},
    {"invalid_past_a_chunk", repeat("\xE3\x81\x82", 6000) + "\xFF", UNICODE_NONE, 0},
};

// Each form classes and decodes in one as classify_text and unicode_to_cp932 do apart.
TEST(ClassifyText, MarksAndValidUtf8) {
  for (const auto& [name, bytes, code, mark] : kClassCases) {
    const std::vector<char> text(bytes.begin(), bytes.end());
    const TextClass cls = classify_text(text.data(), text.size());
    EXPECT_EQ(std::make_pair(cls.code, cls.mark_length), std::make_pair(code, mark)) << name;
    const Converted apart =
        convert(*forms().back(), code == UNICODE_NONE ? FROM_NONE : kDecodings[code], bytes);
    for (const Form* form : forms()) {
      std::vector<char> out(unicode_to_cp932_capacity(text.size()));
      const DecodedText d = form->classify_and_decode(text.data(), text.size(), out.data(), UNMAPPABLE_GETA);
      EXPECT_EQ(std::tuple(d.text_class.code, d.text_class.mark_length, Bytes(out.data(), d.report.length)),
                std::tuple(code, mark, apart.text))
          << form->name << " " << name;
    }
  }
}

// Every sequence at every offset across two 32-byte blocks, and at the very end, so each
// block boundary and each tail length is met.
TEST(IsValidUtf8, SequencesAtEveryOffset) {
  const std::pair<bool, std::vector<Bytes>> kSequences[] = {
      {true, {"\xC2\x80", "\xE3\x81\x82", "\xF0\x9F\x98\x80", "\xEF\xBF\xBF"}},
      {false,
       {"\xC0\x80", "\xE0\x80\x80", "\xED\xBF\xBF", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\x80",
        "\xC3", "\xE3\x81", "\xE3\x81\x82\x82", "\xF0\x9F\x98\x80\x80"}},
  };
  for (const Form* form : forms()) {
    for (const auto& [valid, sequences] : kSequences) {
      for (const Bytes& sequence : sequences) {
        for (size_t at = 0; at < 70; ++at) {
          // A NUL is valid, and told apart where it stands, in a block or in the tail.
          for (const Bytes& after : {Bytes(), Bytes("b"), Bytes(40, 'b'), Bytes(39, 'b') + '\0'}) {
            const Bytes text = Bytes(at, 'a') + sequence + after;
            const std::vector<char> buf(text.begin(), text.end());
            bool has_nul = false;
            EXPECT_EQ(form->is_valid_utf8(buf.data(), buf.size(), &has_nul), valid)
                << form->name << " " << at << " " << after.size();
            if (valid) {
              EXPECT_EQ(has_nul, after.find('\0') != Bytes::npos) << form->name << " " << at;
            }
          }
        }
      }
    }
    EXPECT_TRUE(form->is_valid_utf8("", 0, nullptr)) << form->name;
  }
}

const Bytes kLine = "abcdefghijklmnopqrstuvwxyz0123456789 ";
// Name, conversion, input, output, characters replaced, line of the first.
const std::tuple<const char*, Conversion, Bytes, Bytes, size_t, size_t> kConvertCases[] = {
    {"kanji_kana_ascii", FROM_UTF8, "a\xE3\x81\x82\xE7\xBA\x8A\r\n", "a\x82\xA0\xFA\x5C\r\n", 0, 0},
    {"mark_dropped", FROM_UTF8, "\xEF\xBB\xBF\x61", "a", 0, 0},
    {"second_mark_is_a_character", FROM_UTF8, "\xEF\xBB\xBF\xEF\xBB\xBF", kGeta, 1, 1},
    {"emoji_geta", FROM_UTF8, "a\n\xF0\x9F\x98\x80", "a\n\x81\xAC", 1, 2},
    {"emoji_ncr", FROM_UTF8_NCR, "\xF0\xA0\xAE\xB7" + kLine, "&#x20BB7;" + kLine, 1, 1},
    {"ncr_four_digits", FROM_UTF8_NCR, "\xC3\xA9", "&#x00E9;", 1, 1},
    {"invalid_is_geta_in_ncr_mode", FROM_UTF8_NCR, "\xEF\xBB\xBF\xFF", kGeta, 1, 1},
    {"cut_short_counts_once", FROM_UTF8, "\xE3\x81\x61", "\x81\xAC\x61", 1, 1},
    {"cut_short_at_end", FROM_UTF8, "a\xF0\x9F\x98", "a\x81\xAC", 1, 1},
    {"stray_bytes_each", FROM_UTF8, "\x80\xBF", repeat(kGeta, 2), 2, 1},
    {"overlong_per_byte", FROM_UTF8, "\xC0\xAF", repeat(kGeta, 2), 2, 1},
    {"overlong_three_per_byte", FROM_UTF8, "\xEF\xBB\xBF\xE0\x81\x81\x61", repeat(kGeta, 3) + "a", 3, 1},
    {"surrogate_bytes", FROM_UTF8, "\xED\xA0\x80", repeat(kGeta, 3), 3, 1},
    {"line_of_first", FROM_UTF8, "a\r\nb\rc\nd\xF0\x9F\x98\x80\n\xF0\x9F\x98\x80",
     "a\r\nb\rc\nd\x81\xAC\n\x81\xAC", 2, 4},
    {"cr_before_it", FROM_UTF8, "a\r\xF0\x9F\x98\x80", "a\r\x81\xAC", 1, 2},
    {"nul_ends_utf8", FROM_UTF8, "a\0\xF0\x9F\x98\x80"s, "a", 0, 0},
    {"widest_utf8_fits", FROM_UTF8_NCR, repeat("\xC4\x80", 40), repeat("&#x0100;", 40), 40, 1},
    // Long texts take the block roads, with a replacement far in and its line counted over them.
    {"utf8_long", FROM_UTF8, repeat(kLine + "\xE3\x81\x82\xE4\xBA\x9C\r\n", 9) + "\xF0\x9F\x98\x80" + kLine,
     repeat(kLine + "\x82\xA0\x88\x9F\r\n", 9) + kGeta + kLine, 1, 10},
    // Past the first chunk that is checked at once, a character across its end.
    {"utf8_past_a_chunk", FROM_UTF8, repeat("\xE3\x81\x82", 6000) + "\xFF", repeat("\x82\xA0", 6000) + kGeta,
     1, 1},
    {"utf16le_crlf", FROM_UTF16LE, "\xFF\xFE\x61\0\r\0\n\0\x42\x30"s, "a\r\n\x82\xA0", 0, 0},
    {"utf16be", FROM_UTF16BE, "\xFE\xFF\x30\x42\0a"s, "\x82\xA0\x61", 0, 0},
    {"utf16_nul_ends", FROM_UTF16LE, "a\0\0\0b\0"s, "a", 0, 0},
    {"utf16_nul_byte_is_not_the_end", FROM_UTF16LE, "\x00\x4E\x61\0"s, "\x88\xEA\x61", 0, 0},
    {"utf16_pair_counts_once", FROM_UTF16LE, "\x3D\xD8\x00\xDE\x61\0"s, "\x81\xAC\x61", 1, 1},
    {"utf16_pair_ncr", FROM_UTF16BE_NCR, "\xD8\x42\xDF\xB7"s, "&#x20BB7;", 1, 1},
    {"utf16_lone_high", FROM_UTF16LE, "\x3D\xD8\x61\0"s, "\x81\xAC\x61", 1, 1},
    {"utf16_lone_low", FROM_UTF16LE, "a\0\n\0\x00\xDE"s, "a\n\x81\xAC", 1, 2},
    {"utf16_high_at_end", FROM_UTF16LE, "\x3D\xD8"s, kGeta, 1, 1},
    {"utf16_odd_byte", FROM_UTF16LE, "a\0b"s, "a\x81\xAC", 1, 1},
    {"widest_utf16_fits", FROM_UTF16BE_NCR, repeat("\x01\x00"s, 40), repeat("&#x0100;", 40), 40, 1},
    {"not_unicode", FROM_NONE, "abc", "", 0, 0},
    {"empty", FROM_UTF8, "", "", 0, 0},
    {"utf8_mark", TO_UTF8_MARK, "a", "\xEF\xBB\xBF\x61", 0, 0},
    {"utf16_mark_and_crlf", TO_UTF16LE_MARK, "a\r\n\x81\x60", "\xFF\xFE\x61\0\r\0\n\0\x5E\xFF"s, 0, 0},
    {"utf16_without_mark", TO_UTF16LE, "\xB1", "\x71\xFF", 0, 0},
    {"nul_is_a_character", TO_UTF8, "a\0b"s, "a\0b"s, 0, 0},
    {"never_a_character", TO_UTF8, "\x80\xA0\xFD\xFE\xFF", repeat("\xEF\xBF\xBD", 5), 5, 1},
    {"unassigned_pair_once", TO_UTF16LE, "\x85\x40\x61", "\xFD\xFF\x61\0"s, 1, 1},
    {"first_byte_keeps_its_lf", TO_UTF8, "\x81\n\x81", "\xEF\xBF\xBD\n\xEF\xBF\xBD", 2, 1},
    {"first_byte_at_end", TO_UTF8, "a\r\nb\rc\n\x82", "a\r\nb\rc\n\xEF\xBF\xBD", 1, 4},
    {"empty_with_mark", TO_UTF16LE_MARK, "", "\xFF\xFE", 0, 0},
    {"widest_utf8_output_fits", TO_UTF8_MARK, repeat("\xB1", 40), "\xEF\xBB\xBF" + repeat("\xEF\xBD\xB1", 40),
     0, 0},
    {"sjis_long", TO_UTF8, repeat(kLine + "\x82\xA0\r\n", 9) + "\xFF" + kLine,
     repeat(kLine + "\xE3\x81\x82\r\n", 9) + "\xEF\xBF\xBD" + kLine, 1, 10},
    {"ascii_long", TO_UTF16LE, kLine + kLine,
     [] {
       Bytes wide;
       for (char c : kLine + kLine) wide += Bytes{c, '\0'};
       return wide;
     }(),
     0, 0},
};

TEST(Conversions, Cases) {
  for (const Form* form : forms()) {
    for (const auto& [name, conversion, in, out, replaced, first_line] : kConvertCases) {
      const Converted d = convert(*form, conversion, in);
      EXPECT_EQ(std::tie(d.text, d.report.replaced, d.report.first_line), std::tie(out, replaced, first_line))
          << form->name << " " << name;
    }
  }
}

// UTF-16 through its block road and back, cut by a zero unit in the middle of a block.
TEST(Conversions, Utf16RoundTripEndsAtZeroUnit) {
  const Bytes sjis = repeat(kLine + "\x82\xA0\x88\x9F\r\n", 9) + kLine;
  for (const Form* form : forms()) {
    const Bytes utf16 = convert(*form, TO_UTF16LE_MARK, sjis).text;
    EXPECT_EQ(convert(*form, FROM_UTF16LE, utf16).text, sjis) << form->name;
    const Bytes cut = utf16.substr(0, 100) + "\0\0"s + utf16.substr(100);
    EXPECT_EQ(convert(*form, FROM_UTF16LE, cut).text, kLine + "\x82\xA0\x88\x9F\r\nabcdefgh") << form->name;
  }
}

TEST(Capacities, FitOrZero) {
  EXPECT_EQ(unicode_to_cp932_capacity(0), 1u);
  EXPECT_EQ(unicode_to_cp932_capacity(SIZE_MAX / 4), SIZE_MAX / 4 * 4 + 1);
  EXPECT_EQ(unicode_to_cp932_capacity(SIZE_MAX / 4 + 1), 0u);
  EXPECT_EQ(cp932_to_unicode_capacity(0), 4u);
  EXPECT_EQ(cp932_to_unicode_capacity((SIZE_MAX - 4) / 3), (SIZE_MAX - 4) / 3 * 3 + 4);
  EXPECT_EQ(cp932_to_unicode_capacity((SIZE_MAX - 4) / 3 + 1), 0u);
}

// CR LF once, lone CR and lone LF once each, also where a pair straddles 16-byte blocks and
// past the point where the per-lane counts are summed.
TEST(CountLineEnds, KindsAndBlockEdges) {
  const std::pair<Bytes, size_t> kCases[] = {
      {"", 0},
      {"a\r\nb\rc\nd\r", 4},
      {"\n\r", 2},
      {Bytes(15, 'a') + "\r\n" + Bytes(15, 'a') + "\r", 2},
      {Bytes(16, '\r') + Bytes(16, '\n'), 31},
      {repeat("\r\n", 3000) + "\n", 3001},
  };
  for (const auto& [text, lines] : kCases)
    EXPECT_EQ(count_line_ends(text.data(), text.size()), lines) << text.size();
}

// Where a text may be cut into parts decoded one after another, and where it ends.
TEST(DecodingInParts, CutsAndLengths) {
  // Class, text, where a part may end, where it is cut.
  const std::tuple<UnicodeClass, Bytes, size_t, size_t> kCuts[] = {
      {UNICODE_UTF8, "a\xE3\x81\x82\x62", 2, 4},              // inside a character
      {UNICODE_UTF8, "a\r\nb", 2, 3},                         // inside CR LF
      {UNICODE_UTF8, "a\xEF\xBB\xBF\xEF\xBB\xBF\x62", 1, 7},  // before U+FEFF
      {UNICODE_UTF8, "ab", 1, 1},
      {UNICODE_UTF8, "ab", 5, 2},
      {UNICODE_UTF16LE, "a\0\r\0\n\0b\0"s, 3, 6},             // rounded to a unit, then past CR LF
      {UNICODE_UTF16LE, "a\0\x3D\xD8\x00\xDE\x62\0"s, 4, 6},  // inside a pair
      {UNICODE_UTF16BE, "\0a\xFE\xFF\0b"s, 2, 4},             // before U+FEFF
      {UNICODE_UTF16BE, "\0a\0"s, 2, 3},                      // an odd byte stays with the last part
  };
  for (const auto& [code, text, at, cut] : kCuts)
    EXPECT_EQ(unicode_cut(code, text.data(), text.size(), at), cut) << text;
  const std::tuple<UnicodeClass, Bytes, size_t> kLengths[] = {
      {UNICODE_UTF8, "ab\0c"s, 2},
      {UNICODE_UTF8, "ab", 2},
      {UNICODE_UTF16LE, "\0\x4E\x4E\0\0\0"s, 4},  // a zero byte, low or high, is not a zero unit
      {UNICODE_UTF16BE, "\0a\0"s, 3},
  };
  for (const auto& [code, text, length] : kLengths)
    EXPECT_EQ(unicode_text_length(code, text.data(), text.size()), length) << text;
}

const std::tuple<Bytes, const char*, const char*> kGuessCases[] = {
    {"abc", "ASCII", "NONE"},
    {"a\r\nb\r\n", "ASCII", "CRLF"},
    {"a\rb\r", "ASCII", "CR"},
    {"a\r\nb\n", "ASCII", "MIXED"},
    {"\x82\xA0\n", "Shift_JIS", "LF"},
    {"\xA4\xA2\r", "EUC-JP", "CR"},
    {"\x1B$B\x30\x21\x1B(B\r\n", "ISO-2022-JP", "CRLF"},
    {"\xE3\x81\x82\n", "UTF-8", "LF"},
    {"\xEF\xBB\xBF\x61\r\n", "UTF-8 (BOM)", "CRLF"},
    {"\xFF\xFE\x61\0\r\0\n\0"s, "UTF-16LE", "CRLF"},
    {"\xFE\xFF\0\r\0\0\0\n"s, "UTF-16BE", "CR"},  // ends at the zero unit
    {"a\n\0\r"s, "ASCII", "LF"},                  // line ends after the NUL left out
};

TEST(GuessText, CodesAndLineEnds) {
  for (const auto& [bytes, code, line_ends] : kGuessCases) {
    const std::vector<char> text(bytes.begin(), bytes.end());
    const TextGuess g = guess_text(text.data(), text.size());
    EXPECT_STREQ(guessed_code_name(g.code), code) << bytes;
    EXPECT_STREQ(line_ends_name(g.line_ends), line_ends) << bytes;
  }
  EXPECT_STREQ(guessed_code_name(static_cast<GuessedCode>(8)), "");
  EXPECT_STREQ(line_ends_name(static_cast<LineEnds>(-1)), "");
}

}  // namespace
