// The literal search: a block scan for two of the literal's bytes at once, chosen as
// the two least likely in text, then a full comparison at each place both agree.
#include <cstring>

#include "regex/internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace regex_internal {
namespace {

// How common a byte is in the text this engine sees (ASCII prose, code and logs, and
// Shift_JIS), on a rough scale: the higher the more common.
constexpr int byte_commonness(unsigned c) {
  if (c == ' ') return 250;
  if (c == 'e' || c == 't' || c == 'a' || c == 'o' || c == 'i' || c == 'n') return 200;
  if (c == 's' || c == 'r' || c == 'h' || c == 'l' || c == 'd') return 180;
  if (c >= 'a' && c <= 'z') return 140;
  // Leads of hiragana, katakana, punctuation, and the most frequent kanji rows.
  if (c == 0x82 || c == 0x83 || c == 0x81) return 190;
  if (c >= '0' && c <= '9') return 120;
  if (c == '\n' || c == '\r' || c == '\t' || c == ',' || c == '.') return 120;
  if (c >= 'A' && c <= 'Z') return 90;
  if (lead_byte_value(c)) return 80;
  // Trail bytes of double-byte characters.
  if (c >= 0x40 && c <= 0xFC) return 60;
  if (c >= 0x21 && c <= 0x7E) return 50;
  return 10;  // control bytes and the rest
}

struct Commonness {
  unsigned char v[256];
};
constexpr Commonness make_commonness() {
  Commonness t{};
  for (unsigned c = 0; c < 256; ++c) t.v[c] = static_cast<unsigned char>(byte_commonness(c));
  return t;
}
constexpr Commonness kCommonness = make_commonness();
static_assert(kCommonness.v[unsigned{' '}] > kCommonness.v[unsigned{'e'}] &&
              kCommonness.v[unsigned{'e'}] > kCommonness.v[unsigned{'q'}] &&
              kCommonness.v[unsigned{'q'}] > kCommonness.v[unsigned{'Q'}] &&
              kCommonness.v[unsigned{'Q'}] > kCommonness.v[0x01]);

bool either(unsigned char x, unsigned char byte, unsigned char other) { return x == byte || x == other; }

template <typename Word>
bool same_word(const unsigned char* a, const unsigned char* b) {
  Word x, y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  return x == y;
}

// Whether the n bytes at a and b agree. Most literals are short: from 4 to 16 bytes two
// loads of a word from each end, which may overlap, cover them without a call.
inline bool same_bytes(const unsigned char* a, const unsigned char* b, int32_t n) {
  if (n >= 4 && n <= 8) return same_word<uint32_t>(a, b) && same_word<uint32_t>(a + n - 4, b + n - 4);
  if (n > 8 && n <= 16) return same_word<uint64_t>(a, b) && same_word<uint64_t>(a + n - 8, b + n - 8);
  return std::memcmp(a, b, static_cast<size_t>(n)) == 0;
}

// The widest pair scan this processor runs, or null for the SSE2 form.
PairScanAvx2 wide_pair_scan() {
  static const PairScanAvx2 scan = avx2_pair_scan();
  return scan;
}

// The literal's first place in [p, last] where it is found whole (with folding, each
// byte in either case) and, with dbcs, a character starts; candidates come in order, so
// runs only moves forward.
class PairScan {
 public:
  PairScan(const unsigned char* big, const unsigned char* little, int32_t length, const PairPlan& plan,
           bool dbcs, bool folded)
      : little_(little), length_(length), dbcs_(dbcs), folded_(folded), runs_(big), plan_(plan) {}

  // With copy, the bytes from p to the place found are copied there too.
  const unsigned char* find(const unsigned char* p, const unsigned char* last, unsigned char* copy) {
    const unsigned char* const from = p;
    const PairBytes& b = plan_.bytes;
    if (PairScanAvx2 scan = wide_pair_scan()) {
      while (const unsigned char* candidate = scan(p, last, b, copy ? copy + (p - from) : nullptr)) {
        if (whole(candidate)) return candidate;
        p = candidate + 1;
      }
    }
    // The block scan copied the bytes before p; the rest of the way is copied here.
    const unsigned char* found = find_narrow(p, last);
    if (found && copy) std::memcpy(copy + (p - from), p, static_cast<size_t>(found - p));
    return found;
  }

 private:
  // The SSE2 form, where the wide scan is missing, and the tail of the wide scan.
  const unsigned char* find_narrow(const unsigned char* p, const unsigned char* last) {
    const PairBytes& b = plan_.bytes;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(static_cast<char>(b.first));
    const __m128i first_other = _mm_set1_epi8(static_cast<char>(b.first_other));
    const __m128i second = _mm_set1_epi8(static_cast<char>(b.second));
    const __m128i second_other = _mm_set1_epi8(static_cast<char>(b.second_other));
    // Every candidate of a block lies at or before last, so both loads stay inside the text.
    for (; last - p >= 15; p += 16) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + b.first_offset));
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + b.second_offset));
      const __m128i hits =
          _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(x, first), _mm_cmpeq_epi8(x, first_other)),
                        _mm_or_si128(_mm_cmpeq_epi8(y, second), _mm_cmpeq_epi8(y, second_other)));
      for (auto lanes = static_cast<uint32_t>(_mm_movemask_epi8(hits)); lanes != 0; lanes &= lanes - 1) {
        const unsigned char* candidate = p + __builtin_ctz(lanes);
        if (whole(candidate)) return candidate;
      }
    }
#endif
    return find_bytewise(p, last);
  }

  // The portable form, and the tail of the block form: memchr on the rarer byte where
  // it has one case.
  const unsigned char* find_bytewise(const unsigned char* p, const unsigned char* last) {
    const PairBytes& b = plan_.bytes;
    for (; p <= last; ++p) {
      if (b.first == b.first_other) {
        const auto* hit = static_cast<const unsigned char*>(
            std::memchr(p + b.first_offset, b.first, static_cast<size_t>(last - p) + 1));
        if (!hit) return nullptr;
        p = hit - b.first_offset;
      }
      if (either(p[b.first_offset], b.first, b.first_other) &&
          either(p[b.second_offset], b.second, b.second_other) && whole(p))
        return p;
    }
    return nullptr;
  }

  bool whole(const unsigned char* candidate) {
    const bool same = folded_ ? same_folded(candidate) : same_bytes(candidate, little_, length_);
    return same && !(dbcs_ && runs_.inside(candidate));
  }

  // Each text byte equals the literal's or is its other case.
  bool same_folded(const unsigned char* candidate) const {
    int32_t i = 0;
    if (length_ >= 8) {
      uint64_t head;
      std::memcpy(&head, candidate, 8);
      if ((head | plan_.head_case) != plan_.head) return false;
      i = 8;
    }
    for (; i < length_; ++i)
      if (candidate[i] != little_[i] && fold_case.v[candidate[i]] != little_[i]) return false;
    return true;
  }

  const unsigned char* little_;
  int32_t length_;
  bool dbcs_;
  bool folded_;
  LeadRuns runs_;
  const PairPlan& plan_;
};

}  // namespace

RarePair rare_pair(const unsigned char* literal, int32_t length) {
  RarePair pair{0, 0};
  if (length <= 1) return pair;
  // The rarest byte, then the rarest at another offset; among equals the later one,
  // whose bytes a failed candidate has not yet read.
  int32_t rarest = 0;
  for (int32_t i = 1; i < length; ++i)
    if (kCommonness.v[literal[i]] <= kCommonness.v[literal[rarest]]) rarest = i;
  int32_t other = rarest == 0 ? 1 : 0;
  for (int32_t i = 0; i < length; ++i)
    if (i != rarest && kCommonness.v[literal[i]] <= kCommonness.v[literal[other]]) other = i;
  pair.first = rarest < other ? rarest : other;
  pair.second = rarest < other ? other : rarest;
  return pair;
}

const unsigned char* plain_find(const unsigned char* big, const unsigned char* bigend,
                                const unsigned char* little, const unsigned char* lend, bool dbcs) {
  return pair_find(big, bigend, little, static_cast<int32_t>(lend - little), dbcs, false);
}

const unsigned char* pair_find(const unsigned char* big, const unsigned char* bigend,
                               const unsigned char* little, int32_t length, bool dbcs, bool folded) {
  return LiteralSearch(little, length, dbcs, folded).find(big, bigend);
}

PairPlan::PairPlan(const unsigned char* literal, int32_t length, bool folded)
    : pair(rare_pair(literal, length)) {
  auto other = [&](unsigned char c) { return folded ? fold_case.v[c] : c; };
  const unsigned char first = length > 0 ? literal[pair.first] : 0,
                      second = length > 0 ? literal[pair.second] : 0;
  bytes = PairBytes{pair.first, pair.second, first, other(first), second, other(second)};
  if (folded && length >= 8) {
    unsigned char cased[8], bits[8];
    for (int i = 0; i < 8; ++i) {
      bits[i] = literal[i] != fold_case.v[literal[i]] ? 0x20 : 0;
      cased[i] = static_cast<unsigned char>(literal[i] | bits[i]);
    }
    std::memcpy(&head, cased, 8);
    std::memcpy(&head_case, bits, 8);
  }
}

LiteralSearch::LiteralSearch(const unsigned char* literal, int32_t length, bool dbcs, bool folded)
    : literal_(literal), length_(length), plan_(literal, length, folded), dbcs_(dbcs), folded_(folded) {}

const unsigned char* LiteralSearch::find(const unsigned char* big, const unsigned char* bigend,
                                         unsigned char* copy) const {
  if (length_ <= 0) return big;
  if (bigend - big < length_) return nullptr;
  // A candidate counts only where a character starts, counting from big.
  PairScan scan(big, literal_, length_, plan_, dbcs_, folded_);
  return scan.find(big, bigend - length_, copy);
}

bool AlternativesSearch::add(const unsigned char* literal, int32_t length) {
  if (count_ == kMaxLiterals || length <= 0) return false;
  const RarePair pair = rare_pair(literal, length);
  pairs_.first_offset[count_] = pair.first;
  pairs_.second_offset[count_] = pair.second;
  pairs_.first[count_] = literal[pair.first];
  pairs_.second[count_] = literal[pair.second];
  literals_[count_++] = Literal{literal, length, pair};
  if (pair.second > reach_) reach_ = pair.second;
  pairs_.count = count_;
  pairs_.reach = reach_;
  return true;
}

int32_t AlternativesSearch::length_at(const unsigned char* p, const unsigned char* bigend) const {
  for (int i = 0; i < count_; ++i) {
    const Literal& l = literals_[i];
    if (bigend - p >= l.length && same_bytes(p, l.bytes, l.length)) return l.length;
  }
  return 0;
}

const unsigned char* AlternativesSearch::find(const unsigned char* big, const unsigned char* bigend,
                                              bool dbcs, int32_t* length, unsigned char* copy) const {
  LeadRuns runs(big);
  // Whether a literal is found whole at the candidate, on a character.
  auto whole_at = [&](const unsigned char* candidate) {
    const int32_t n = length_at(candidate, bigend);
    if (n == 0 || (dbcs && runs.inside(candidate))) return false;
    if (length) *length = n;
    return true;
  };
  const unsigned char* p = big;
  if (PairSetScanAvx2 scan = avx2_pair_set_scan()) {
    while (const unsigned char* candidate = scan(p, bigend, pairs_, copy ? copy + (p - big) : nullptr)) {
      if (whole_at(candidate)) return candidate;
      p = candidate + 1;
    }
  }
  // The block scan copied the bytes before p; the rest of the way is copied here.
  const unsigned char* const copied = p;
  const unsigned char* found = nullptr;
#if defined(__SSE2__)
  __m128i first[kMaxLiterals], second[kMaxLiterals];
  for (int i = 0; i < count_; ++i) {
    first[i] = _mm_set1_epi8(static_cast<char>(literals_[i].bytes[literals_[i].pair.first]));
    second[i] = _mm_set1_epi8(static_cast<char>(literals_[i].bytes[literals_[i].pair.second]));
  }
  // Both loads of every literal stay inside the text.
  for (; !found && bigend - p >= 16 + reach_; p += 16) {
    __m128i hits = _mm_setzero_si128();
    for (int i = 0; i < count_; ++i) {
      const RarePair& pair = literals_[i].pair;
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pair.first));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pair.second));
      hits = _mm_or_si128(hits, _mm_and_si128(_mm_cmpeq_epi8(a, first[i]), _mm_cmpeq_epi8(b, second[i])));
    }
    for (auto lanes = static_cast<uint32_t>(_mm_movemask_epi8(hits)); lanes != 0; lanes &= lanes - 1) {
      const unsigned char* candidate = p + __builtin_ctz(lanes);
      if (whole_at(candidate)) {
        found = candidate;
        break;
      }
    }
  }
#endif
  for (; !found && p < bigend; ++p)
    if (whole_at(p)) found = p;
  if (found && copy) std::memcpy(copy + (copied - big), copied, static_cast<size_t>(found - copied));
  return found;
}

}  // namespace regex_internal
