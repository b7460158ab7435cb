// Detection and conversion of Japanese codes: known byte sequences, every byte pair, round
// trips of every row and cell, and long texts that take the block paths. Every conversion
// runs in every form (see convert.h).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <tuple>

#include "tests/jcode/convert.h"

namespace jcode_test {
namespace {

#define EXPECT_BYTES(expected, actual) EXPECT_EQ(hex(expected), hex(actual))
#define ASSERT_BYTES(expected, actual) ASSERT_EQ(hex(expected), hex(actual))

const Bytes kEnterKanji = "\x1b$B";
const Bytes kEnterAscii = "\x1b(B";

bool is_lead(unsigned char b) { return b >= 0x80 && !(b >= 0xA1 && b <= 0xDF); }

// Shift_JIS pairs that stand for a JIS X 0208 row and cell (rows 1 to 94).
bool is_sjis_row_cell(unsigned char s1, unsigned char s2) {
  const bool first = (s1 >= 0x81 && s1 <= 0x9F) || (s1 >= 0xE0 && s1 <= 0xEF);
  const bool second = (s2 >= 0x40 && s2 <= 0x7E) || (s2 >= 0x80 && s2 <= 0xFC);
  return first && second;
}

// ---------------------------------------------------------------------------------------
// Detection

// Texts grouped by the code they are taken for. A0 after E0..FF decides Shift_JIS before a
// following A1 could decide EUC-JP; FE and FD decide EUC-JP before E0 41 could decide
// Shift_JIS, FC does not; 8E is a Shift_JIS first byte; ESC $ is JIS even cut short.
const struct {
  int code;
  std::vector<Bytes> texts;
} kDetectCases[] = {
    {KANJI_UNKNOWN, {"", "Hello, world\r\n\t~\\", "\x1b(I1\x1b(B", "\x1b", "\x1b \x24", "\x0e\x31\x0f\x41"}},
    {KANJI_SJIS,
     {"\x88\x9f", "\x8e\xb1", "\xe0\x41", "\xe0\xa0\xa1", "\xfc\xe0\x41", "\xe0\xe0", "\x80", "\x9f\xdf",
      "\x88\x9f\x1b$B", "\x1b(B\x88\x9f"}},
    {KANJI_EUC,
     {"\xb1\x88\x9f", "\xb0\xa1", "\xe0\xa1", "\xfe\xe0\x41", "\xfd\xe0\x41", "\xe0\xe0\xa1", "\xdf\x41",
      "\xff\xff\xfe\xa1"}},
    {KANJI_JIS, {"\x1b$B0!\x1b(B", "abc\x1b$", "\x1b$\x88\x9f"}},
};

// At every offset, so that the block scan meets the decisive byte in every lane and at the
// end of the text.
TEST(DetectKanjiCode, DecisiveByteAtEveryOffset) {
  for (const auto& [code, texts] : kDetectCases) {
    for (const Bytes& text : texts) {
      EXPECT_EQ(detect_kanji_code(text.c_str()), code) << hex(text);
      for (size_t prefix = 0; prefix <= 70; ++prefix)
        EXPECT_EQ(detect(Bytes(prefix, 'a') + text), code) << hex(text) << " after " << prefix;
    }
  }
}

TEST(DetectKanjiCode, FirstNulEndsTheText) {
  const char text[] = "abc\0\x88\x9f";
  EXPECT_EQ(detect_kanji_code(text), KANJI_UNKNOWN);
  EXPECT_EQ(detect(Bytes(text, sizeof text - 1)), KANJI_SJIS);  // sized: the NUL is a byte
}

// Known conversions: each converter with its input and output pairs. A pair whose arithmetic
// would give a NUL keeps its bytes, and the text goes on.
const struct {
  Op op;
  std::vector<std::pair<Bytes, Bytes>> cases;
} kConvertCases[] = {
    // Input normalisation: a text that begins with a half-width katakana is taken for EUC-JP.
    {Op::kToSjis,
     {{"plain text\n", "plain text\n"},
      {"\x88\x9f\x82\xa0\n", "\x88\x9f\x82\xa0\n"},
      {"a\xb0\xa1\x8e\xb1\n", "a\x88\x9f\xb1\n"},
      {"a\x1b$B0!\x1b(B\n", "a\x88\x9f\n"},
      {"\xb1\x88\x9f", "\x89\x27\x9f"},
      {"\x0e\x31\x0f\x41", "\x0e\x31\x0f\x41"}}},
    // JIS in: old kanji and roman sets, shifts, escapes cut short or unknown, a line end or
    // an escape inside a pair, and the katakana set adding 80 (no NUL out of 80).
    {Op::kJisToSjis,
     {{"\x1b$@0!\x1b(J\\~", "\x88\x9f\\~"},
      {"\x1b$B!~\"!\x1b(B", "\x81\x9e\x81\x9f"},
      {"\x0e\x31\x0f\x41", "\xb1\x41"},
      {"\x1b(I12\x1b(BA", "\xb1\xb2\x41"},
      {"\x1b$B0!\n\x1b(B", "\x88\x9f\x75\x99\x84\xc0"},
      {"\x1b$B0\x1b(B", "\x88\x99\x84\xc0"},
      {"\x1b$B\x1b$A", "\x7e\x43\x41"},
      {"\x1b$B0!0", "\x88\x9f\x30"},
      {"\x1b$B", ""},
      {"a\x1b$", "a\x1b$"},
      {"\x1b$A\x1b", "\x1b$A\x1b"},
      {"\x88\x9f\xb1", "\x88\x9f\xb1"},
      {"\x0e\x21\x5f\x60\x0a", "\xa1\xdf\xe0\x8a"},
      {"\x1b$B0!\x1b(B\x1b(Z0123456789abcdefghij\x1b", "\x88\x9f\x1b(Z0123456789abcdefghij\x1b"},
      {"\x1b$B0!\x1b(Bxyz\x1b$B0!\x1b(Bxyz", "\x88\x9fxyz\x88\x9fxyz"},
      {"\x1b$B\x9f\x30\x30!", "\x9f\x30\x88\x9f"},
      {"\x1b$B\xa0\x30", "\xa0\x30"},
      {"\x1b$B\x31\xe0", "\x31\xe0"},
      {"\x1b$B\x30\x82", "\x30\x82"},
      {"\x0e\x80\x31\x0fz", "\x80\xb1z"}}},
    // EUC-JP in: 8E takes any byte, a pair or 8E cut short at the end, JIS X 0212 read as a pair.
    {Op::kEucToSjis,
     {{"\x8e\x41", "\x41"},
      {"a\x8e", "a\x8e"},
      {"a\xb0", "a\xb0"},
      {"\x8f\xa1\xa1", "\x78\x40\xa1"},
      {"\xb1\x41", "\x89\xe0"},
      {"x\x8e\xb1y\xb0\xa1z", "x\xb1y\x88\x9fz"},
      {"\xb1\x61z", "\xb1\x61z"},
      {"\xb0\x02\xb0\xa1", "\xb0\x02\x88\x9f"}}},
    // Shift_JIS to JIS and to EUC-JP: line ends outside the kanji set, A0 taken for a first byte.
    // Code page 932's own characters: an IBM extension as the same character's code in JIS X 0208
    // (FA 54), NEC row 13 (FA 4A) or the NEC-selected rows (FA 40, FC 4B); a user-defined
    // character (F0 to F9) as 〓. A pair with another trail byte keeps its arithmetic.
    {Op::kSjisToJis,
     {{"\xb1", "\x1b(I1\x1b(B"},
      {"\xb1\x41\xb1", "\x1b(I1\x1b(BA\x1b(I1\x1b(B"},
      {"a\x88", "a\x1b$B\x88\x1b(B"},
      {"\x88\x9f\n\x88\x9f\r\n", "\x1b$B0!\x1b(B\n\x1b$B0!\x1b(B\r\n"},
      {"\x88\x9f\xb1\x82\xa0", "\x1b$B0!\x1b(I1\x1b$B$\"\x1b(B"},
      {"\xa0\x0a", "\x1b$B\xdf\xeb\x1b(B"},
      {"abc\n", "abc\n"},
      {"\xfc\x4b", "\x1b$B|n\x1b(B"},
      {"\xf9\x7e", "\x1b$B\".\x1b(B"},
      {"\x81\x1f\x88\x9f", "\x1b$B\x81\x1f\x30!\x1b(B"}}},
    {Op::kSjisToEuc,
     {{"a\x88", "a\x88"},
      {"\xa0\x0a", "\x5f\x6b"},
      {"\xfa\x54\xfa\x4a\xfa\x40", "\xa2\xcc\xad\xb5\xfc\xf1"},
      {"\xf0\x40\xf9\xfc", "\xa2\xae\xa2\xae"},
      {"\xf0\x3f\xf0\x7f", "\xff\xa0\xff\xdf"},
      {"\xf0\xfdz", "\xf0\xfdz"},
      {"\x88\xfe\x88\x9f", "\x88\xfe\xb0\xa1"}}},
};

TEST(Convert, KnownSequences) {
  for (const auto& [op, cases] : kConvertCases) {
    for (const auto& [in, out] : cases) {
      EXPECT_BYTES(out, run_sized(op, in)) << op_name(op) << " " << hex(in);
      EXPECT_BYTES(out, run(op, in)) << op_name(op) << " " << hex(in);
    }
  }
  for (Op op : kAllOps) EXPECT_EQ(run_sized(op, ""), "") << op_name(op);
}

TEST(Convert, NulTerminatedFormStopsAtFirstNul) {
  char text[32] = "\x88\x9f";  // then NUL, then bytes that must stay untouched
  text[3] = '\xb1';
  sjis_to_euc(text);
  EXPECT_BYTES(Bytes("\xb0\xa1"), Bytes(text));
}

TEST(Convert, Capacities) {
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  EXPECT_EQ(sjis_to_jis_capacity(1), 8u);
  EXPECT_EQ(sjis_to_euc_capacity(3), 7u);
  EXPECT_EQ(sjis_to_jis_capacity((kMax - 4) / 4), kMax - 3);
  EXPECT_EQ(sjis_to_euc_capacity((kMax - 1) / 2), kMax);
  // Past the largest text a buffer can hold, whatever the size wraps around to.
  for (size_t n : {(kMax - 4) / 4 + 1, (kMax - 4) / 4 + 2, kMax}) EXPECT_EQ(sjis_to_jis_capacity(n), 0u) << n;
  for (size_t n : {(kMax - 1) / 2 + 1, kMax}) EXPECT_EQ(sjis_to_euc_capacity(n), 0u) << n;
}

// The growing converters reach their bounds exactly, in buffers of exactly that size.
TEST(Convert, WorstCaseFillsTheBuffer) {
  for (size_t pairs : {1u, 8u, 9u, 100u, 4097u}) {
    Bytes alternating;
    for (size_t i = 0; i < pairs; ++i) alternating += "\xb1\x41";
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
// Every byte pair, alone and where blocks meet it

// Runs of characters that go through whole blocks before the pair.
Bytes repeat(const Bytes& unit, size_t times) {
  Bytes s;
  for (size_t i = 0; i < times; ++i) s += unit;
  return s;
}

TEST(Convert, EveryBytePair) {
  const Bytes prefixes[] = {"x", Bytes(21, 'a'), Bytes(37, 'a')};
  const Bytes kanji = repeat("\x88\x9f", 40), euc_kanji = repeat("\xb0\xa1", 40), jis_kanji(80, '0');
  for (int a = 1; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const unsigned char b1 = static_cast<unsigned char>(a);
      const Bytes pair = b ? Bytes{char(b1), char(b)} : Bytes{char(b1)};
      for (Op op : kAllOps) {
        const Bytes sized = run_sized(op, pair);
        ASSERT_EQ(sized.substr(0, sized.find('\0')), run(op, pair)) << op_name(op) << " " << hex(pair);
        if (b) {
          ASSERT_EQ(sized.find('\0'), Bytes::npos) << op_name(op) << " " << hex(pair);
        }
        const size_t bound = op == Op::kSjisToJis   ? 4 * pair.size() + 3
                             : op == Op::kSjisToEuc ? 2 * pair.size()
                                                    : pair.size();
        ASSERT_LE(sized.size(), bound) << op_name(op) << " " << hex(pair);
        // An ASCII prefix decides nothing, is left alone by every converter and keeps JIS
        // in ASCII state: the pair converts as it does alone.
        for (const Bytes& prefix : prefixes) {
          ASSERT_EQ(run_sized(op, prefix + pair), prefix + sized) << op_name(op) << " " << hex(pair);
        }
      }
      // A double-byte character stands inside ESC $ B ... ESC ( B.
      if (is_lead(b1)) {
        const Bytes jis = run_sized(Op::kSjisToJis, pair);
        ASSERT_EQ(jis, kEnterKanji + (b ? jis.substr(3, 2) : pair) + kEnterAscii) << hex(pair);
      }
      // After 80 bytes of pairs, which go through whole blocks, the pair is converted as it
      // is alone (in JIS, in two-byte state).
      ASSERT_EQ(run_sized(Op::kSjisToEuc, kanji + pair),
                run_sized(Op::kSjisToEuc, kanji) + run_sized(Op::kSjisToEuc, pair))
          << hex(pair);
      ASSERT_EQ(run_sized(Op::kEucToSjis, euc_kanji + pair),
                run_sized(Op::kEucToSjis, euc_kanji) + run_sized(Op::kEucToSjis, pair))
          << hex(pair);
      ASSERT_EQ(
          run_sized(Op::kJisToSjis, kEnterKanji + jis_kanji + pair),
          run_sized(Op::kJisToSjis, kEnterKanji + jis_kanji) + run_sized(Op::kJisToSjis, kEnterKanji + pair))
          << hex(pair);
    }
  }
}

// Every JIS X 0208 row and cell survives the trip from Shift_JIS through EUC-JP and through
// JIS and back, in both directions, also after a long ASCII line.
TEST(Convert, EveryRowAndCellRoundTrips) {
  for (int row = 1; row <= 94; ++row) {
    for (int cell = 1; cell <= 94; ++cell) {
      const Bytes euc{char(0xA0 + row), char(0xA0 + cell)};
      const Bytes jis = kEnterKanji + Bytes{char(0x20 + row), char(0x20 + cell)} + kEnterAscii;
      const Bytes sjis = run_sized(Op::kEucToSjis, euc);
      ASSERT_EQ(hex(sjis), hex(run_sized(Op::kJisToSjis, jis))) << row << "-" << cell;
      ASSERT_TRUE(is_sjis_row_cell(sjis[0], sjis[1])) << row << "-" << cell;
      ASSERT_EQ(hex(run_sized(Op::kSjisToEuc, sjis)), hex(euc));
      ASSERT_EQ(hex(run_sized(Op::kSjisToJis, sjis)), hex(jis));
      ASSERT_EQ(hex(run_sized(Op::kToSjis, jis)), hex(sjis));
      const Bytes line = Bytes(40, 'a') + sjis + "\n";
      ASSERT_EQ(run_sized(Op::kEucToSjis, run_sized(Op::kSjisToEuc, line)), line);
      ASSERT_EQ(run_sized(Op::kJisToSjis, run_sized(Op::kSjisToJis, line)), line);
    }
  }
}

// A user-defined character is counted, with the line of the first, wherever the blocks meet
// it; other characters from F0 up are not.
TEST(Convert, UserDefinedCharactersAreCounted) {
  using Sized = size_t (*)(const Form&, char*, size_t, KanjiLoss*) noexcept;
  const Op ops[] = {Op::kSjisToEuc, Op::kSjisToJis};
  const Sized convert[] = {jcode_internal::sjis_to_euc, jcode_internal::sjis_to_jis};
  const Bytes lost = "\xf5\x40\n\n\xfa\x40\xf0\xfc\xf9\x9f\xf0\x7f\xfc\xfc\n";
  for (size_t before : {0u, 1u, 31u, 33u, 63u, 70u}) {
    const Bytes text = Bytes(before, 'a') + "\n" + repeat("\x88\x9f", before) + "\n" + lost;
    for (int i : {0, 1}) {
      for (const Form* form : forms()) {
        std::vector<char> buf(capacity(ops[i], text.size()));
        std::memcpy(buf.data(), text.data(), text.size());
        KanjiLoss loss{99, 99};
        convert[i](*form, buf.data(), text.size(), &loss);
        EXPECT_EQ(loss.count, 3u) << form->name << " " << op_name(ops[i]) << " after " << before;
        EXPECT_EQ(loss.first_line, 3u) << form->name << " " << op_name(ops[i]) << " after " << before;
      }
    }
  }
  KanjiLoss none{99, 99};
  char text[16] = "\xfa\x40\n";
  sjis_to_euc(text, 3, &none);
  EXPECT_EQ(none.count, 0u);
  EXPECT_EQ(none.first_line, 0u);
}

// ---------------------------------------------------------------------------------------
// Long texts: runs long enough for the block paths, at every alignment, checked against
// the same characters converted one at a time.

enum class Kind { kAscii, kLf, kKana, kKanji, kOddPair };

struct Token {
  Kind kind;
  Bytes sjis;
};

// Characters in runs of one kind, so that blocks of pairs and of ASCII occur and break at
// every position. Odd pairs are a first byte outside the standard range or a second byte
// outside the trail range: the arithmetic still applies.
std::vector<Token> random_tokens(uint32_t seed, size_t count) {
  std::mt19937 rng(seed);
  const auto in = [&rng](int low, int high) { return static_cast<char>(low + rng() % (high - low + 1)); };
  const char odd_leads[] = "\x80\xa0\xf0\xfc\xfd\xff\x85\xe5";
  std::vector<Token> tokens;
  while (tokens.size() < count) {
    const Kind kind = static_cast<Kind>(rng() % 5);
    for (size_t left = 1 + rng() % 40; left > 0; --left) {
      Bytes c = kind == Kind::kAscii   ? Bytes{in(0x20, 0x7E)}
                : kind == Kind::kLf    ? Bytes("\n")
                : kind == Kind::kKana  ? Bytes{in(0xA1, 0xDF)}
                : kind == Kind::kKanji ? Bytes{in(0x81, 0x9F), rng() % 2 ? in(0x40, 0x7E) : in(0x80, 0xFC)}
                                       : Bytes{odd_leads[rng() % 8], in(1, 255)};
      tokens.push_back({kind, c});
    }
  }
  return tokens;
}

// Each converter on a long text gives what its characters give one at a time: Shift_JIS
// to EUC-JP and to JIS (with an escape wherever the set changes), and back from the EUC-JP
// and JIS so made.
TEST(LongText, IsCharacterByCharacter) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    Bytes sjis, to_euc, euc, jis, from_euc, from_jis;
    Kind state = Kind::kAscii;  // kAscii, kKana or kKanji: the set in force
    for (const Token& t : random_tokens(seed, 600)) {
      sjis += t.sjis;
      to_euc += run_sized(Op::kSjisToEuc, t.sjis);
      // An odd pair's EUC-JP may not read back as one pair: its own bytes make an odd EUC pair.
      const Bytes e = t.kind == Kind::kOddPair ? t.sjis : run_sized(Op::kSjisToEuc, t.sjis);
      euc += e;
      from_euc += run_sized(Op::kEucToSjis, e);
      const Bytes alone = run_sized(Op::kSjisToJis, t.sjis);  // escape, bytes, ESC ( B
      from_jis += run_sized(Op::kJisToSjis, alone);
      const Kind set = t.kind == Kind::kLf ? Kind::kAscii : t.kind == Kind::kOddPair ? Kind::kKanji : t.kind;
      if (set == Kind::kAscii) {
        if (state != Kind::kAscii) jis += kEnterAscii;
        jis += alone;
      } else {
        if (state != set) jis += alone.substr(0, 3);
        jis += alone.substr(3, alone.size() - 6);
      }
      state = set;
    }
    if (state != Kind::kAscii) jis += kEnterAscii;
    ASSERT_BYTES(to_euc, run_sized(Op::kSjisToEuc, sjis)) << seed;
    ASSERT_BYTES(jis, run_sized(Op::kSjisToJis, sjis)) << seed;
    ASSERT_BYTES(from_euc, run_sized(Op::kEucToSjis, euc)) << seed;
    ASSERT_BYTES(from_jis, run_sized(Op::kJisToSjis, jis)) << seed;
  }
}

// JIS segments of every kind one after another, with control bytes where a pair's second
// byte stands: the text converts as its segments do alone.
TEST(LongText, JisIsSegmentBySegment) {
  const Bytes controls[] = {kEnterKanji, "\x1b$@", kEnterAscii, "\x1b(J", "\x1b(I", "\x0e", "\x0f"};
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    Bytes jis, expected;
    for (int segment = 0; segment < 60; ++segment) {
      const Bytes& control = controls[rng() % 7];
      const bool kanji = control[0] == '\x1b' && control[1] == '$';
      Bytes seg = control;
      for (size_t i = 0, length = rng() % 70; i < length; ++i) {
        unsigned char b;
        do {
          b = static_cast<unsigned char>(1 + rng() % 255);
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

// Shift_JIS to EUC-JP works in place up to the first half-width katakana and moves the rest
// ahead of the writer, by a part of its length, and on when the katakana use that up: long
// texts from none to nothing but katakana, spread evenly or gathered at the end, with pairs
// cut by every block edge.
TEST(LongText, KatakanaDensities) {
  for (size_t per_thousand : {0u, 1u, 10u, 32u, 40u, 100u, 500u, 999u, 1000u}) {
    for (bool gathered : {false, true}) {
      for (size_t odd : {0u, 1u}) {
        const size_t chars = 20000;
        const size_t kana = chars * per_thousand / 1000;
        Bytes sjis(odd, 'a'), euc(odd, 'a');
        for (size_t i = 0; i < chars; ++i) {
          const bool is_kana =
              gathered ? i >= chars - kana : (i * per_thousand) % 1000 + per_thousand >= 1000;
          const char k = static_cast<char>(0xA1 + i % 0x3F);
          sjis += is_kana ? Bytes{k} : Bytes("\x88\x9f");
          euc += is_kana ? Bytes{'\x8e', k} : Bytes("\xb0\xa1");
        }
        ASSERT_BYTES(euc, run_sized(Op::kSjisToEuc, sjis)) << per_thousand << " " << gathered << " " << odd;
      }
    }
  }
}

// In ASCII state an ESC that starts no known sequence is a byte like any other, at every
// offset of a long text: the text comes out as it went in.
TEST(LongText, StrayEscapesInAsciiState) {
  for (const Bytes stray : {"\x1b", "\x1b(", "\x1b(Z", "\x1b$A", "\x1b$b"}) {
    for (size_t at = 0; at < 70; ++at) {
      const Bytes text = Bytes(at, 'a') + stray + Bytes(70, 'b');
      ASSERT_BYTES(text, run_sized(Op::kJisToSjis, text)) << hex(stray) << " at " << at;
    }
  }
}

// A pair whose arithmetic gives a NUL, at every position of a long run of pairs that go
// through whole blocks, keeps its bytes (as the known sequences show one at a time), and
// nothing after it is lost.
TEST(LongText, NoNulFromPairsInsideBlocks) {
  // Converter, a prefix that puts the text in the state the pairs need, a pair that would give
  // a NUL, a pair that converts normally.
  const std::tuple<Op, Bytes, Bytes, Bytes> cases[] = {
      {Op::kSjisToEuc, "", "\xf0\xfd", "\x88\x9f"},    {Op::kSjisToEuc, "", "\x88\xfe", "\x88\x9f"},
      {Op::kSjisToJis, "", "\x81\x1f", "\x88\x9f"},    {Op::kEucToSjis, "", "\xb1\x61", "\xb0\xa1"},
      {Op::kEucToSjis, "", "\xb0\x02", "\xb0\xa1"},    {Op::kJisToSjis, kEnterKanji, "\x9f\x30", "0!"},
      {Op::kJisToSjis, kEnterKanji, "\x31\xe0", "0!"},
  };
  constexpr size_t kPairs = 70;  // two 32-byte blocks and a tail
  for (const auto& [op, prefix, pair, plain] : cases) {
    for (const Bytes& shift : {Bytes(), Bytes(op == Op::kJisToSjis ? "" : "a")}) {
      for (size_t at = 0; at < kPairs; ++at) {
        Bytes text = shift + prefix;
        for (size_t i = 0; i < kPairs; ++i) text += i == at ? pair : plain;
        const Bytes out = run_sized(op, text);
        ASSERT_EQ(out.find('\0'), Bytes::npos) << op_name(op) << " " << hex(pair) << " at " << at;
        ASSERT_EQ(out.size(), text.size() + (op == Op::kSjisToJis ? 6 : op == Op::kJisToSjis ? -3 : 0));
      }
    }
  }
}

}  // namespace
}  // namespace jcode_test
