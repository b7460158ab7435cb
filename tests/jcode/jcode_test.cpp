// Detection and conversion of Japanese codes: known byte sequences, every byte pair, round
// trips of every row and cell, and long texts that take the block paths.
#include "jcode/jcode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "jcode/internal.h"

namespace {

using Bytes = std::string;
using jcode_internal::Form;

enum class Op { kToSjis, kJisToSjis, kEucToSjis, kSjisToJis, kSjisToEuc };
const Op kAllOps[] = {Op::kToSjis, Op::kJisToSjis, Op::kEucToSjis, Op::kSjisToJis, Op::kSjisToEuc};

// Each converter in its two forms, by Op: NUL-terminated (in the widest block form) and
// sized (in a given block form).
struct Converter {
  const char* name;
  void (*terminated)(char*);
  size_t (*sized)(const Form&, char*, size_t) noexcept;
};
const Converter& converter(Op op) {
  static const Converter kConverters[] = {
      {"to_sjis", to_sjis, jcode_internal::to_sjis},
      {"jis_to_sjis", jis_to_sjis, jcode_internal::jis_to_sjis},
      {"euc_to_sjis", euc_to_sjis, jcode_internal::euc_to_sjis},
      {"sjis_to_jis", sjis_to_jis, jcode_internal::sjis_to_jis},
      {"sjis_to_euc", sjis_to_euc, jcode_internal::sjis_to_euc},
  };
  return kConverters[static_cast<int>(op)];
}

// Every form this machine runs: byte at a time first, then the block forms.
const std::vector<const Form*>& forms() {
  static const std::vector<const Form*> kForms = [] {
    std::vector<const Form*> all = {&jcode_internal::bytewise_form()};
    for (const Form* form : {jcode_internal::sse2_form(), jcode_internal::avx2_form()}) {
      if (form) all.push_back(form);
    }
    return all;
  }();
  return kForms;
}

const char* op_name(Op op) { return converter(op).name; }

// The buffer a caller must provide, as the join driver sizes it.
size_t capacity(Op op, size_t n) {
  if (op == Op::kSjisToJis) return sjis_to_jis_capacity(n);
  if (op == Op::kSjisToEuc) return sjis_to_euc_capacity(n);
  return n + 1;
}

// Runs the NUL-terminated form in a heap buffer of exactly the required size, so the
// sanitizer catches a byte written too far. The result is taken up to its first NUL, as a
// caller of this form takes it.
Bytes run(Op op, const Bytes& in) {
  std::vector<char> buf(capacity(op, in.size()));
  std::memcpy(buf.data(), in.data(), in.size());
  buf[in.size()] = '\0';
  char* text = buf.data();
  converter(op).terminated(text);
  return Bytes(text);
}

// The sized form in every form; the block forms must give what the byte-at-a-time form
// gives. The result keeps any NUL the arithmetic produced.
Bytes run_sized(Op op, const Bytes& in) {
  Bytes first;
  for (const Form* form : forms()) {
    std::vector<char> buf(capacity(op, in.size()));
    std::memcpy(buf.data(), in.data(), in.size());
    char* text = buf.data();
    const size_t n = converter(op).sized(*form, text, in.size());
    EXPECT_LT(n, buf.size());
    EXPECT_EQ(text[n], '\0');
    const Bytes out(text, n);
    if (form == forms().front()) {
      first = out;
    } else {
      EXPECT_EQ(first, out) << form->name << " " << op_name(op);
    }
  }
  return first;
}

// Detection in every form, which must agree.
int detect(const Bytes& text) {
  const int code = jcode_internal::detect_kanji_code(*forms().front(), text.data(), text.size());
  for (const Form* form : forms()) {
    EXPECT_EQ(jcode_internal::detect_kanji_code(*form, text.data(), text.size()), code) << form->name;
  }
  return code;
}

Bytes up_to_nul(const Bytes& s) { return s.substr(0, s.find('\0')); }

std::string hex(const Bytes& s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02X ", c);
    out += b;
  }
  return out;
}

#define EXPECT_BYTES(expected, actual) EXPECT_EQ(hex(expected), hex(actual))
#define ASSERT_BYTES(expected, actual) ASSERT_EQ(hex(expected), hex(actual))

const Bytes kEnterKanji = "\x1b$B";
const Bytes kEnterAscii = "\x1b(B";
const Bytes kEnterKana = "\x1b(I";

// ---------------------------------------------------------------------------------------
// Detection

struct DetectCase {
  const char* name;
  Bytes text;
  int code;
};

const DetectCase kDetectCases[] = {
    {"empty", "", KANJI_UNKNOWN},
    {"ascii", "Hello, world\r\n\t~\\", KANJI_UNKNOWN},
    {"sjis_kanji", "\x88\x9f", KANJI_SJIS},
    {"sjis_after_ascii", "abc\x82\xa0", KANJI_SJIS},
    {"sjis_starting_with_kana_is_euc", "\xb1\x88\x9f", KANJI_EUC},
    {"euc_kanji", "\xb0\xa1", KANJI_EUC},
    {"euc_kana", "\x8e\xb1", KANJI_SJIS},  // 8E is a Shift_JIS first byte
    {"second_byte_a0_or_less", "\xe0\x41", KANJI_SJIS},
    {"second_byte_a0", "\xe0\xa0", KANJI_SJIS},
    {"fe_a1", "\xfe\xa1", KANJI_EUC},
    {"fd_a1", "\xfd\xa1", KANJI_EUC},
    {"scan_moves_one_byte", "\xe0\xe0\xa1", KANJI_EUC},
    {"ambiguous_then_end", "\xe0\xe0", KANJI_SJIS},  // the second E0 meets the NUL
    {"lone_80", "\x80", KANJI_SJIS},
    {"lone_a0", "\xa0", KANJI_SJIS},
    {"lone_ff_at_end", "a\xff", KANJI_SJIS},
    {"ff_chain_ends_on_fe", "\xff\xff\xfe\xa1", KANJI_EUC},
    {"ef_chain_ends_on_kana", "\xef\xef\xb0", KANJI_EUC},
    {"jis_escape", "\x1b$B0!\x1b(B", KANJI_JIS},
    {"jis_escape_at_end", "abc\x1b$", KANJI_JIS},
    {"jis_before_sjis", "\x1b$\x88\x9f", KANJI_JIS},
    {"sjis_before_jis", "\x88\x9f\x1b$B", KANJI_SJIS},
    {"kana_escapes_only", "\x1b(I1\x1b(B", KANJI_UNKNOWN},
    {"esc_then_sjis", "\x1b(B\x88\x9f", KANJI_SJIS},
    {"lone_esc", "\x1b", KANJI_UNKNOWN},
    {"esc_dollar_apart", "\x1b \x24", KANJI_UNKNOWN},
    {"shift_out_in", "\x0e\x31\x0f\x41", KANJI_UNKNOWN},
};

TEST(DetectKanjiCode, Rules) {
  for (const DetectCase& c : kDetectCases) {
    EXPECT_EQ(detect_kanji_code(c.text.c_str()), c.code) << c.name;
    EXPECT_EQ(detect(c.text), c.code) << c.name;
  }
}

// The block scan must find the decisive byte at every offset and not read past the end.
TEST(DetectKanjiCode, DecisiveByteAtEveryOffset) {
  for (const DetectCase& c : kDetectCases) {
    for (size_t prefix = 0; prefix <= 48; ++prefix) {
      const Bytes text = Bytes(prefix, 'a') + c.text;
      EXPECT_EQ(detect(text), c.code) << c.name << " after " << prefix;
    }
  }
}

TEST(DetectKanjiCode, EscapeAndDollarAcrossBlocks) {
  for (size_t at = 0; at < 40; ++at) {
    Bytes text(64, 'x');
    text[at] = '\x1b';
    text[at + 1] = '$';
    EXPECT_EQ(detect(text), KANJI_JIS) << at;
    text[at + 1] = '(';
    EXPECT_EQ(detect(text), KANJI_UNKNOWN) << at;
  }
}

TEST(DetectKanjiCode, FirstNulEndsTheText) {
  const char text[] = "abc\0\x88\x9f";
  EXPECT_EQ(detect_kanji_code(text), KANJI_UNKNOWN);
  EXPECT_EQ(detect(Bytes(text, sizeof text - 1)), KANJI_SJIS);  // sized: the NUL is a byte
}

// ---------------------------------------------------------------------------------------
// Known conversions

struct ConvertCase {
  const char* name;
  Op op;
  Bytes in;
  Bytes out;
};

const ConvertCase kConvertCases[] = {
    // Input normalisation.
    {"ascii_untouched", Op::kToSjis, "plain text\n", "plain text\n"},
    {"sjis_untouched", Op::kToSjis, "\x88\x9f\x82\xa0\n", "\x88\x9f\x82\xa0\n"},
    {"euc_to_sjis", Op::kToSjis, "a\xb0\xa1\x8e\xb1\n", "a\x88\x9f\xb1\n"},
    {"jis_to_sjis", Op::kToSjis, "a\x1b$B0!\x1b(B\n", "a\x88\x9f\n"},
    {"sjis_kana_first_taken_as_euc", Op::kToSjis, "\xb1\x88\x9f", "\x89\x27\x9f"},
    {"shift_out_without_escape_untouched", Op::kToSjis, "\x0e\x31\x0f\x41", "\x0e\x31\x0f\x41"},
    {"empty", Op::kToSjis, "", ""},

    // JIS in.
    {"jis_kanji", Op::kJisToSjis, "\x1b$B0!\x1b(B", "\x88\x9f"},
    {"jis_old_kanji_and_roman", Op::kJisToSjis, "\x1b$@0!\x1b(J\\~", "\x88\x9f\\~"},
    {"jis_first_and_last_row", Op::kJisToSjis, "\x1b$B!!t&\x1b(B", "\x81\x40\xea\xa4"},
    {"jis_odd_and_even_rows", Op::kJisToSjis, "\x1b$B!~\"!\x1b(B", "\x81\x9e\x81\x9f"},
    {"jis_shift_out_in", Op::kJisToSjis, "\x0e\x31\x0f\x41", "\xb1\x41"},
    {"jis_kana_escape", Op::kJisToSjis, "\x1b(I12\x1b(BA", "\xb1\xb2\x41"},
    {"jis_lf_pairs_with_esc", Op::kJisToSjis, "\x1b$B0!\n\x1b(B", "\x88\x9f\x75\x99\x84\xc0"},
    {"jis_control_inside_pair", Op::kJisToSjis, "\x1b$B0\x1b(B", "\x88\x99\x84\xc0"},
    {"jis_unknown_escape_in_kanji", Op::kJisToSjis, "\x1b$B\x1b$A", "\x7e\x43\x41"},
    {"jis_first_byte_at_end", Op::kJisToSjis, "\x1b$B0!0", "\x88\x9f\x30"},
    {"jis_escape_only", Op::kJisToSjis, "\x1b$B", ""},
    {"jis_cut_escape_copied", Op::kJisToSjis, "a\x1b$", "a\x1b$"},
    {"jis_unknown_escape_copied", Op::kJisToSjis, "\x1b$A\x1b", "\x1b$A\x1b"},
    {"jis_unknown_escape_in_long_ascii", Op::kJisToSjis, "\x1b$B0!\x1b(B\x1b(Z0123456789abcdefghij\x1b",
     "\x88\x9f\x1b(Z0123456789abcdefghij\x1b"},
    {"jis_high_bytes_in_ascii", Op::kJisToSjis, "\x88\x9f\xb1", "\x88\x9f\xb1"},
    {"jis_kana_state_adds_80", Op::kJisToSjis, "\x0e\x21\x5f\x60\x0a", "\xa1\xdf\xe0\x8a"},
    {"jis_shrinks_then_moves_ascii", Op::kJisToSjis, "\x1b$B0!\x1b(Babc\x1b$B0!\x1b(Bxyz",
     "\x88\x9f"
     "abc\x88\x9fxyz"},

    // EUC-JP in.
    {"euc_kanji", Op::kEucToSjis, "\xb0\xa1", "\x88\x9f"},
    {"euc_first_and_last", Op::kEucToSjis, "\xa1\xa1\xf4\xa6", "\x81\x40\xea\xa4"},
    {"euc_kana", Op::kEucToSjis, "\x8e\xb1", "\xb1"},
    {"euc_single_shift_takes_any_byte", Op::kEucToSjis, "\x8e\x41", "\x41"},
    {"euc_single_shift_at_end", Op::kEucToSjis, "a\x8e", "a\x8e"},
    {"euc_first_byte_at_end", Op::kEucToSjis, "a\xb0", "a\xb0"},
    {"euc_jisx0212_is_a_pair", Op::kEucToSjis, "\x8f\xa1\xa1", "\x78\x40\xa1"},
    {"euc_second_byte_below_80", Op::kEucToSjis, "\xb1\x41", "\x89\xe0"},
    {"euc_shrinks_then_moves", Op::kEucToSjis,
     "a\x8e\xb1"
     "b\xb0\xa1"
     "c",
     "a\xb1"
     "b\x88\x9f"
     "c"},

    // Shift_JIS to JIS.
    {"to_jis_kanji", Op::kSjisToJis, "\x88\x9f", "\x1b$B0!\x1b(B"},
    {"to_jis_kana", Op::kSjisToJis, "\xb1", "\x1b(I1\x1b(B"},
    {"to_jis_worst_case", Op::kSjisToJis, "\xb1\x41\xb1", "\x1b(I1\x1b(BA\x1b(I1\x1b(B"},
    {"to_jis_first_byte_at_end", Op::kSjisToJis, "a\x88", "a\x1b$B\x88\x1b(B"},
    {"to_jis_line_ends_outside_kanji", Op::kSjisToJis, "\x88\x9f\n\x88\x9f\r\n",
     "\x1b$B0!\x1b(B\n\x1b$B0!\x1b(B\r\n"},
    {"to_jis_kanji_then_kana", Op::kSjisToJis, "\x88\x9f\xb1\x82\xa0", "\x1b$B0!\x1b(I1\x1b$B$\"\x1b(B"},
    {"to_jis_first_and_last_row", Op::kSjisToJis, "\x81\x40\xea\xa4", "\x1b$B!!t&\x1b(B"},
    {"to_jis_a0_is_a_first_byte", Op::kSjisToJis, "\xa0\x0a", "\x1b$B\xdf\xeb\x1b(B"},
    {"to_jis_ascii_untouched", Op::kSjisToJis, "abc\n", "abc\n"},
    {"to_jis_empty", Op::kSjisToJis, "", ""},

    // Shift_JIS to EUC-JP.
    {"to_euc_kanji", Op::kSjisToEuc, "\x88\x9f", "\xb0\xa1"},
    {"to_euc_kana", Op::kSjisToEuc, "\xb1", "\x8e\xb1"},
    {"to_euc_first_byte_at_end", Op::kSjisToEuc, "a\x88", "a\x88"},
    {"to_euc_first_and_last_row", Op::kSjisToEuc, "\x81\x40\xea\xa4", "\xa1\xa1\xf4\xa6"},
    {"to_euc_user_area_wraps", Op::kSjisToEuc, "\xf0\x40", "\xff\xa1"},
    {"to_euc_a0_is_a_first_byte", Op::kSjisToEuc, "\xa0\x0a", "\x5f\x6b"},
    {"to_euc_empty", Op::kSjisToEuc, "", ""},

    // Pairs whose arithmetic gives a NUL keep their bytes, and the text goes on.
    {"to_euc_no_nul_first", Op::kSjisToEuc,
     "\xf0\x9f"
     "a",
     "\xf0\x9f"
     "a"},
    {"to_euc_no_nul_second", Op::kSjisToEuc, "\x88\xfe\x88\x9f", "\x88\xfe\xb0\xa1"},
    {"to_jis_no_nul_second", Op::kSjisToJis, "\x81\x1f\x88\x9f",
     "\x1b$B\x81\x1f"
     "0!\x1b(B"},
    {"from_euc_no_nul_odd", Op::kEucToSjis,
     "\xb1\x61"
     "b",
     "\xb1\x61"
     "b"},
    {"from_euc_no_nul_even", Op::kEucToSjis, "\xb0\x02\xb0\xa1", "\xb0\x02\x88\x9f"},
    {"from_jis_no_nul_first_odd", Op::kJisToSjis,
     "\x1b$B\x9f\x30"
     "0!",
     "\x9f\x30\x88\x9f"},
    {"from_jis_no_nul_first_even", Op::kJisToSjis, "\x1b$B\xa0\x30", "\xa0\x30"},
    {"from_jis_no_nul_second_odd", Op::kJisToSjis, "\x1b$B\x31\xe0", "\x31\xe0"},
    {"from_jis_no_nul_second_even", Op::kJisToSjis, "\x1b$B\x30\x82", "\x30\x82"},
    {"from_jis_no_nul_kana", Op::kJisToSjis,
     "\x0e\x80\x31\x0f"
     "a",
     "\x80\xb1"
     "a"},
};

TEST(Convert, KnownSequences) {
  for (const ConvertCase& c : kConvertCases) {
    EXPECT_BYTES(c.out, run_sized(c.op, c.in)) << c.name;
    EXPECT_BYTES(c.out, run(c.op, c.in)) << c.name;
  }
}

TEST(Convert, EmptyTextStaysEmpty) {
  for (Op op : kAllOps) {
    EXPECT_EQ(run(op, ""), "") << op_name(op);
    EXPECT_EQ(run_sized(op, ""), "") << op_name(op);
  }
}

TEST(Convert, NulTerminatedFormStopsAtFirstNul) {
  char text[32] = "\x88\x9f";  // then NUL, then bytes that must stay untouched
  text[3] = '\xb1';
  sjis_to_euc(text);
  EXPECT_BYTES(Bytes("\xb0\xa1"), Bytes(text));
}

TEST(Convert, Capacities) {
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  EXPECT_EQ(sjis_to_jis_capacity(0), 4u);
  EXPECT_EQ(sjis_to_jis_capacity(1), 8u);
  EXPECT_EQ(sjis_to_euc_capacity(0), 1u);
  EXPECT_EQ(sjis_to_euc_capacity(3), 7u);
  EXPECT_EQ(sjis_to_jis_capacity((kMax - 4) / 4), (kMax - 4) / 4 * 4 + 4);
  EXPECT_EQ(sjis_to_jis_capacity((kMax - 4) / 4 + 1), 0u);
  EXPECT_EQ(sjis_to_jis_capacity(kMax), 0u);
  EXPECT_EQ(sjis_to_euc_capacity((kMax - 1) / 2), kMax);
  EXPECT_EQ(sjis_to_euc_capacity((kMax - 1) / 2 + 1), 0u);
}

// The growing converters reach their bounds exactly, in buffers of exactly that size.
TEST(Convert, WorstCaseFillsTheBuffer) {
  for (size_t pairs : {1u, 7u, 8u, 9u, 100u, 4097u}) {
    Bytes alternating;
    for (size_t i = 0; i < pairs; ++i)
      alternating +=
          "\xb1"
          "A";
    alternating += "\xb1";
    const Bytes jis = run_sized(Op::kSjisToJis, alternating);
    EXPECT_EQ(jis.size(), 4 * alternating.size() + 3) << pairs;
    EXPECT_BYTES(alternating, run_sized(Op::kJisToSjis, jis)) << pairs;

    const Bytes kana(2 * pairs + 1, '\xb1');
    const Bytes euc = run_sized(Op::kSjisToEuc, kana);
    EXPECT_EQ(euc.size(), 2 * kana.size()) << pairs;
    EXPECT_BYTES(kana, run_sized(Op::kEucToSjis, euc)) << pairs;
  }
}

// ---------------------------------------------------------------------------------------
// Every byte pair

bool is_lead(unsigned char b) { return b >= 0x80 && !(b >= 0xA1 && b <= 0xDF); }
bool is_kana(unsigned char b) { return b >= 0xA1 && b <= 0xDF; }

// Shift_JIS pairs that stand for a JIS X 0208 row and cell (rows 1 to 94).
bool is_sjis_row_cell(unsigned char s1, unsigned char s2) {
  const bool first = (s1 >= 0x81 && s1 <= 0x9F) || (s1 >= 0xE0 && s1 <= 0xEF);
  const bool second = (s2 >= 0x40 && s2 <= 0x7E) || (s2 >= 0x80 && s2 <= 0xFC);
  return first && second;
}

// Every one- and two-byte text, alone and after a prefix that puts it at the end of a
// longer text: both forms agree (up to the first NUL), stay within their bounds and keep
// the layout of escape sequences and single shifts that the byte classes decide.
const Bytes kKanjiRun = [] {
  Bytes s;
  for (int i = 0; i < 20; ++i) s += "\x88\x9f";
  return s;
}();
const Bytes kEucRun = [] {
  Bytes s;
  for (int i = 0; i < 20; ++i) s += "\xb0\xa1";
  return s;
}();
const Bytes kJisRun(40, '0');

TEST(Convert, EveryBytePair) {
  const Bytes prefixes[] = {"x", Bytes(21, 'a'), Bytes(37, 'a')};
  for (int a = 1; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const unsigned char b1 = static_cast<unsigned char>(a), b2 = static_cast<unsigned char>(b);
      const Bytes pair = b ? Bytes{char(b1), char(b2)} : Bytes{char(b1)};
      for (Op op : kAllOps) {
        const Bytes sized = run_sized(op, pair);
        ASSERT_EQ(up_to_nul(sized), run(op, pair)) << op_name(op) << " " << hex(pair);
        if (b) {
          ASSERT_EQ(sized.find('\0'), Bytes::npos) << op_name(op) << " " << hex(pair);
        }
        if (op == Op::kSjisToJis) {
          ASSERT_LE(sized.size(), 4 * pair.size() + 3);
        } else if (op == Op::kSjisToEuc) {
          ASSERT_LE(sized.size(), 2 * pair.size());
        } else {
          ASSERT_LE(sized.size(), pair.size());
        }
        // An ASCII prefix decides nothing, is left alone by every converter and keeps JIS
        // in ASCII state: the pair converts as it does alone.
        for (const Bytes& prefix : prefixes) {
          ASSERT_EQ(run_sized(op, prefix + pair), prefix + sized) << op_name(op) << " " << hex(pair);
        }
      }

      // Layout of the growing converters, by the classes of the two bytes.
      const Bytes jis = run_sized(Op::kSjisToJis, pair);
      const Bytes euc = run_sized(Op::kSjisToEuc, pair);
      if (is_lead(b1)) {
        const Bytes body = b ? jis.substr(3, 2) : pair;
        ASSERT_EQ(jis, kEnterKanji + body + kEnterAscii) << hex(pair);
        ASSERT_EQ(euc.size(), pair.size() == 2 ? 2u : 1u) << hex(pair);
        if (!b) {
          ASSERT_EQ(euc, pair);
        }
      } else if (is_kana(b1)) {
        ASSERT_EQ(jis.substr(0, 4), kEnterKana + char(b1 - 0x80)) << hex(pair);
        ASSERT_EQ(euc.substr(0, 2), (Bytes{'\x8e', char(b1)})) << hex(pair);
      } else {
        ASSERT_EQ(jis.substr(0, 1), Bytes{char(b1)}) << hex(pair);
        ASSERT_EQ(euc.substr(0, 1), Bytes{char(b1)}) << hex(pair);
      }

      // Input converters: an ASCII first byte is copied; a first byte at the end is kept.
      const Bytes from_euc = run_sized(Op::kEucToSjis, pair);
      if (b1 < 0x80) {
        ASSERT_EQ(from_euc.substr(0, 1), Bytes{char(b1)});
      } else if (!b) {
        ASSERT_EQ(from_euc, pair);
      } else if (b1 == 0x8E) {
        ASSERT_EQ(from_euc, Bytes{char(b2)});
      } else {
        ASSERT_EQ(from_euc.size(), 2u);
      }
      // In two-byte state every byte but a leading SO or SI belongs to a pair or ends the text.
      if (b1 != 0x0E && b1 != 0x0F) {
        ASSERT_EQ(run_sized(Op::kJisToSjis, kEnterKanji + pair).size(), pair.size()) << hex(pair);
      }

      // After 40 bytes of kanji, which go through whole blocks, the pair is converted as it
      // is alone (in JIS, in two-byte state).
      ASSERT_EQ(run_sized(Op::kSjisToEuc, kKanjiRun + pair), run_sized(Op::kSjisToEuc, kKanjiRun) + euc)
          << hex(pair);
      ASSERT_EQ(run_sized(Op::kEucToSjis, kEucRun + pair), run_sized(Op::kEucToSjis, kEucRun) + from_euc)
          << hex(pair);
      ASSERT_EQ(
          run_sized(Op::kJisToSjis, kEnterKanji + kJisRun + pair),
          run_sized(Op::kJisToSjis, kEnterKanji + kJisRun) + run_sized(Op::kJisToSjis, kEnterKanji + pair))
          << hex(pair);
    }
  }
}

// Every Shift_JIS row and cell survives the trip through EUC-JP and through JIS, also as the
// last character of a text and after a long ASCII line.
TEST(Convert, RowCellRoundTripsFromShiftJis) {
  int count = 0;
  for (int a = 0x81; a <= 0xEF; ++a) {
    for (int b = 0x40; b <= 0xFC; ++b) {
      const unsigned char s1 = static_cast<unsigned char>(a), s2 = static_cast<unsigned char>(b);
      if (!is_sjis_row_cell(s1, s2)) continue;
      ++count;
      const Bytes sjis{char(s1), char(s2)};
      const Bytes euc = run_sized(Op::kSjisToEuc, sjis);
      ASSERT_EQ(euc.size(), 2u);
      ASSERT_GE(static_cast<unsigned char>(euc[0]), 0xA1) << hex(sjis);
      ASSERT_GE(static_cast<unsigned char>(euc[1]), 0xA1) << hex(sjis);
      ASSERT_EQ(hex(run_sized(Op::kEucToSjis, euc)), hex(sjis));
      const Bytes jis = run_sized(Op::kSjisToJis, sjis);
      ASSERT_EQ(jis.size(), 8u);
      ASSERT_EQ(static_cast<unsigned char>(jis[3]) ^ 0x80, static_cast<unsigned char>(euc[0])) << hex(sjis);
      ASSERT_EQ(static_cast<unsigned char>(jis[4]) ^ 0x80, static_cast<unsigned char>(euc[1])) << hex(sjis);
      ASSERT_EQ(hex(run_sized(Op::kJisToSjis, jis)), hex(sjis));
      ASSERT_EQ(hex(run_sized(Op::kToSjis, jis)), hex(sjis));
      const Bytes line = "line " + sjis + "\n";
      ASSERT_EQ(run_sized(Op::kEucToSjis, run_sized(Op::kSjisToEuc, line)), line);
      ASSERT_EQ(run_sized(Op::kJisToSjis, run_sized(Op::kSjisToJis, line)), line);
    }
  }
  EXPECT_EQ(count, 94 * 94);
}

// Every EUC-JP and JIS row and cell comes back from Shift_JIS unchanged.
TEST(Convert, RowCellRoundTripsToShiftJis) {
  for (int row = 1; row <= 94; ++row) {
    for (int cell = 1; cell <= 94; ++cell) {
      const Bytes euc{char(0xA0 + row), char(0xA0 + cell)};
      const Bytes jis = kEnterKanji + Bytes{char(0x20 + row), char(0x20 + cell)} + kEnterAscii;
      const Bytes from_euc = run_sized(Op::kEucToSjis, euc);
      const Bytes from_jis = run_sized(Op::kJisToSjis, jis);
      ASSERT_EQ(hex(from_euc), hex(from_jis)) << row << "-" << cell;
      ASSERT_TRUE(is_sjis_row_cell(from_euc[0], from_euc[1])) << row << "-" << cell;
      ASSERT_EQ(hex(run_sized(Op::kSjisToEuc, from_euc)), hex(euc));
      ASSERT_EQ(hex(run_sized(Op::kSjisToJis, from_jis)), hex(jis));
    }
  }
}

TEST(Convert, HalfWidthKatakanaRoundTrips) {
  for (int k = 0xA1; k <= 0xDF; ++k) {
    const Bytes sjis{char(k)};
    EXPECT_BYTES(Bytes("\x8e") + char(k), run(Op::kSjisToEuc, sjis));
    EXPECT_BYTES(kEnterKana + char(k - 0x80) + kEnterAscii, run(Op::kSjisToJis, sjis));
    EXPECT_BYTES(sjis, run(Op::kEucToSjis, run(Op::kSjisToEuc, sjis)));
    EXPECT_BYTES(sjis, run(Op::kJisToSjis, run(Op::kSjisToJis, sjis)));
    EXPECT_BYTES(sjis, run(Op::kJisToSjis, Bytes("\x0e") + char(k - 0x80) + "\x0f"));
  }
}

// ---------------------------------------------------------------------------------------
// Long texts: runs long enough for the block paths, at every alignment, checked against
// the same characters converted one at a time.

enum class Kind { kAscii, kLf, kKana, kKanji, kOddPair };

struct Token {
  Kind kind;
  Bytes sjis;
};

Bytes i_to_kana(size_t i) { return Bytes{static_cast<char>(0xA1 + i % 0x3F)}; }

// Characters in runs of one kind, so that blocks of pairs and of ASCII occur and break at
// every position. Odd pairs are a first byte outside the standard range or a second byte
// outside the trail range: the arithmetic still applies.
std::vector<Token> random_tokens(uint32_t seed, size_t count) {
  std::mt19937 rng(seed);
  std::vector<Token> tokens;
  Kind kind = Kind::kAscii;
  size_t left = 0;
  while (tokens.size() < count) {
    if (left == 0) {
      kind = static_cast<Kind>(rng() % 5);
      left = 1 + rng() % 24;
    }
    --left;
    Token t{kind, {}};
    switch (kind) {
      case Kind::kAscii:
        t.sjis = Bytes{char(0x20 + rng() % 0x5F)};
        break;
      case Kind::kLf:
        t.sjis = "\n";
        break;
      case Kind::kKana:
        t.sjis = Bytes{char(0xA1 + rng() % 0x3F)};
        break;
      case Kind::kKanji: {
        unsigned char s1, s2;
        do {
          s1 = static_cast<unsigned char>(0x81 + rng() % 0x6F);
          s2 = static_cast<unsigned char>(0x40 + rng() % 0xBD);
        } while (!is_sjis_row_cell(s1, s2));
        t.sjis = Bytes{char(s1), char(s2)};
        break;
      }
      case Kind::kOddPair: {
        const unsigned char leads[] = {0x80, 0xA0, 0xF0, 0xFC, 0xFD, 0xFF, 0x85, 0xE5};
        unsigned char s2 = static_cast<unsigned char>(1 + rng() % 255);
        t.sjis = Bytes{char(leads[rng() % 8]), char(s2)};
        break;
      }
    }
    tokens.push_back(t);
  }
  return tokens;
}

TEST(LongText, ShiftJisToEucIsCharacterByCharacter) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    Bytes sjis, expected;
    for (const Token& t : random_tokens(seed, 600)) {
      sjis += t.sjis;
      expected += run_sized(Op::kSjisToEuc, t.sjis);
    }
    ASSERT_BYTES(expected, run_sized(Op::kSjisToEuc, sjis)) << seed;
  }
}

// Shift_JIS to EUC-JP works in place up to the first half-width katakana and moves the
// rest out of the way from there: the switch at every position, near both ends.
TEST(LongText, KatakanaAtEveryPosition) {
  const Bytes kanji = "\x88\x9f";
  for (size_t before = 0; before < 40; ++before) {
    for (size_t after : {0u, 1u, 7u, 8u, 9u, 20u}) {
      Bytes sjis, euc;
      for (size_t i = 0; i < before; ++i) {
        sjis += kanji;
        euc += "\xb0\xa1";
      }
      sjis += i_to_kana(before);
      euc += Bytes("\x8e") + i_to_kana(before);
      for (size_t i = 0; i < after; ++i) {
        sjis += (i % 3 ? kanji : Bytes("a"));
        euc += (i % 3 ? Bytes("\xb0\xa1") : Bytes("a"));
      }
      ASSERT_BYTES(euc, run_sized(Op::kSjisToEuc, sjis)) << before << " " << after;
      ASSERT_BYTES(euc, run(Op::kSjisToEuc, sjis)) << before << " " << after;
    }
  }
}

// The text after the first katakana moves ahead of the writer by a part of its length, and
// on when the katakana use that up: long texts from none to nothing but katakana, the
// katakana spread evenly or gathered at the end, each with pairs cut by every block edge.
TEST(LongText, KatakanaDensities) {
  for (size_t per_thousand : {0u, 10u, 31u, 32u, 40u, 100u, 500u, 999u, 1000u}) {
    for (bool gathered : {false, true}) {
      for (size_t odd : {0u, 1u}) {
        const size_t chars = 20000;
        const size_t kana = chars * per_thousand / 1000;
        Bytes sjis(odd, 'a'), euc(odd, 'a');
        for (size_t i = 0; i < chars; ++i) {
          const bool is_kana =
              gathered ? i >= chars - kana : (i * per_thousand) % 1000 + per_thousand >= 1000;
          if (is_kana) {
            sjis += i_to_kana(i);
            euc += Bytes("\x8e") + i_to_kana(i);
          } else {
            sjis += "\x88\x9f";
            euc += "\xb0\xa1";
          }
        }
        ASSERT_BYTES(euc, run_sized(Op::kSjisToEuc, sjis)) << per_thousand << " " << gathered << " " << odd;
      }
    }
  }
}

TEST(LongText, ShiftJisToJisIsCharacterByCharacter) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    Bytes sjis, expected;
    Kind state = Kind::kAscii;  // kAscii, kKana or kKanji: the set in force
    for (const Token& t : random_tokens(seed, 600)) {
      sjis += t.sjis;
      const Bytes alone = run_sized(Op::kSjisToJis, t.sjis);
      const Kind set = t.kind == Kind::kLf ? Kind::kAscii : t.kind == Kind::kOddPair ? Kind::kKanji : t.kind;
      if (set == Kind::kAscii) {
        if (state != Kind::kAscii) expected += kEnterAscii;
        expected += alone;
      } else {
        // Alone it is the escape, its bytes and ESC ( B.
        if (state != set) expected += alone.substr(0, 3);
        expected += alone.substr(3, alone.size() - 6);
      }
      state = set;
    }
    if (state != Kind::kAscii) expected += kEnterAscii;
    ASSERT_BYTES(expected, run_sized(Op::kSjisToJis, sjis)) << seed;
  }
}

TEST(LongText, EucToShiftJisIsCharacterByCharacter) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    Bytes euc, expected;
    for (const Token& t : random_tokens(seed, 600)) {
      Bytes c;
      switch (t.kind) {
        case Kind::kAscii:
        case Kind::kLf:
          c = t.sjis;
          break;
        case Kind::kKana:
          c = Bytes{'\x8e', t.sjis[0]};
          break;
        case Kind::kKanji:
          c = Bytes{char(0xA1 + rng() % 94), char(0xA1 + rng() % 94)};
          break;
        case Kind::kOddPair: {  // any first byte but 8E, any second byte but NUL
          const unsigned char e1 = static_cast<unsigned char>(0x80 + rng() % 0x80);
          c = Bytes{char(e1 == 0x8E ? 0x8F : e1), char(1 + rng() % 255)};
          break;
        }
      }
      euc += c;
      expected += run_sized(Op::kEucToSjis, c);
    }
    ASSERT_BYTES(expected, run_sized(Op::kEucToSjis, euc)) << seed;
  }
}

TEST(LongText, JisToShiftJisIsSegmentBySegment) {
  const Bytes controls[] = {kEnterKanji, "\x1b$@", kEnterAscii, "\x1b(J", kEnterKana, "\x0e", "\x0f"};
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    Bytes jis, expected;
    for (int segment = 0; segment < 60; ++segment) {
      const Bytes& control = controls[rng() % 7];
      const bool kanji = control[0] == '\x1b' && control[1] == '$';
      const size_t length = rng() % 40;
      Bytes seg = control;
      for (size_t i = 0; i < length; ++i) {
        unsigned char b;
        do {
          b = static_cast<unsigned char>(1 + rng() % 255);
          // Inside kanji, a control may stand as a second byte but not as a first.
        } while ((b == 0x1B || b == 0x0E || b == 0x0F) && (!kanji || i % 2 == 0));
        seg += char(b);
      }
      if (kanji && seg.size() % 2 == 0) seg += 'x';  // whole pairs only, or the next control pairs up
      jis += seg;
      expected += run_sized(Op::kJisToSjis, seg);
    }
    ASSERT_BYTES(expected, run_sized(Op::kJisToSjis, jis)) << seed;
  }
}

// In ASCII state an ESC that starts no known sequence is a byte like any other, at every
// offset of a long text: the text comes out as it went in.
TEST(LongText, StrayEscapesInAsciiState) {
  for (const Bytes stray : {"\x1b", "\x1b(", "\x1b(Z", "\x1b$A", "\x1b$b"}) {
    for (size_t at = 0; at < 40; ++at) {
      const Bytes text = Bytes(at, 'a') + stray + Bytes(40, 'b');
      ASSERT_BYTES(text, run_sized(Op::kJisToSjis, text)) << hex(stray) << " at " << at;
    }
  }
}

// Pairs whose arithmetic gives a NUL, inside long runs of pairs that go through whole
// blocks, at every position: they keep their bytes and nothing after them is lost.
TEST(LongText, NoNulFromPairsInsideBlocks) {
  struct Case {
    Op op;
    Bytes prefix;  // puts the text in the state the pairs need
    Bytes pair;    // a pair that would give a NUL
    Bytes plain;   // a pair that converts normally
  };
  const Case cases[] = {
      {Op::kSjisToEuc, "", "\xf0\x9f", "\x88\x9f"},    {Op::kSjisToEuc, "", "\x88\xfe", "\x88\x9f"},
      {Op::kSjisToJis, "", "\x81\x1f", "\x88\x9f"},    {Op::kEucToSjis, "", "\xb1\x61", "\xb0\xa1"},
      {Op::kEucToSjis, "", "\xb0\x02", "\xb0\xa1"},    {Op::kJisToSjis, kEnterKanji, "\x9f\x30", "0!"},
      {Op::kJisToSjis, kEnterKanji, "\x31\xe0", "0!"},
  };
  // Enough pairs for two 32-byte blocks and a tail: a pair in the second block meets a text
  // already in two-byte state.
  constexpr size_t kPairs = 70;
  for (const Case& c : cases) {
    const Bytes plain_out = run_sized(c.op, c.prefix + c.plain);
    // One ASCII byte in front puts the pairs at odd offsets, where blocks cut them.
    for (const Bytes& shift : {Bytes(), Bytes(c.op == Op::kJisToSjis ? "" : "a")}) {
      for (size_t at = 0; at < kPairs; ++at) {
        Bytes text = shift + c.prefix;
        for (size_t i = 0; i < kPairs; ++i) text += i == at ? c.pair : c.plain;
        const Bytes out = run_sized(c.op, text);
        ASSERT_EQ(out.find('\0'), Bytes::npos) << op_name(c.op) << " " << hex(c.pair) << " at " << at;
        ASSERT_EQ(run(c.op, text), out) << op_name(c.op) << " " << hex(c.pair) << " at " << at;
        // Every pair but the odd one converts as it does alone; the odd one is kept.
        Bytes body;
        for (size_t i = 0; i < kPairs; ++i) {
          body += i == at ? c.pair : (c.op == Op::kSjisToJis ? plain_out.substr(3, 2) : plain_out);
        }
        const Bytes expected = shift + (c.op == Op::kSjisToJis ? kEnterKanji + body + kEnterAscii : body);
        ASSERT_BYTES(expected, out) << op_name(c.op) << " at " << at << " after " << shift.size();
      }
    }
  }
}

TEST(LongText, ValidTextRoundTrips) {
  for (uint32_t seed = 100; seed < 120; ++seed) {
    Bytes sjis;
    for (const Token& t : random_tokens(seed, 2000)) {
      if (t.kind != Kind::kOddPair) sjis += t.sjis;
    }
    const Bytes euc = run_sized(Op::kSjisToEuc, sjis);
    const Bytes jis = run_sized(Op::kSjisToJis, sjis);
    ASSERT_BYTES(sjis, run_sized(Op::kEucToSjis, euc)) << seed;
    ASSERT_BYTES(sjis, run_sized(Op::kJisToSjis, jis)) << seed;
    ASSERT_BYTES(sjis, run(Op::kJisToSjis, jis)) << seed;
    if (detect_kanji_code(euc.c_str()) == KANJI_EUC) {
      ASSERT_BYTES(sjis, run(Op::kToSjis, euc)) << seed;
    }
    if (detect_kanji_code(jis.c_str()) == KANJI_JIS) {
      ASSERT_BYTES(sjis, run(Op::kToSjis, jis)) << seed;
    }
  }
}

}  // namespace
