// Regex engine internals shared by its source files: the failure that unwinds to an
// entry point, the Shift_JIS tables, literal buffers and the compile state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "regex/memo.h"
#include "regex/messages.h"
#include "regex/regex.h"

namespace regex_internal {

// A failure carries one of the constants in messages.h; entry points catch it.
struct Failure {
  const char* text;
};
[[noreturn]] inline void raise(const char* text) { throw Failure{text}; }

// Copies text into an RX_MESSAGE_SIZE buffer, truncating to 79 bytes plus NUL.
void copy_message(char* message, const char* text) noexcept;

// The one place where an entry point turns a failure into its message: the message
// is emptied, body runs, and a Failure leaves its text, a failed allocation
// out_of_memory and anything else "fatal error" in the message; the entry then
// returns failed (read after body ran, so that body may change it).
template <typename Result, typename Body>
Result guard_entry(char* message, const Result& failed, const char* out_of_memory, Body body) noexcept {
  if (message) message[0] = '\0';
  try {
    return body();
  } catch (const Failure& f) {
    copy_message(message, f.text);
  } catch (const std::bad_alloc&) {
    copy_message(message, out_of_memory);
  } catch (...) {
    copy_message(message, kMsgFatal);
  }
  return failed;
}

constexpr bool lead_byte_value(unsigned c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

struct ByteTable {
  unsigned char v[256];
};
constexpr ByteTable make_lead_table() {
  ByteTable t{};
  for (unsigned c = 0; c < 256; ++c) t.v[c] = lead_byte_value(c) ? 1 : 0;
  return t;
}
constexpr ByteTable make_fold_table() {
  ByteTable t{};
  for (unsigned c = 0; c < 256; ++c) {
    unsigned f = c;
    if (c >= 'A' && c <= 'Z') f = c + 32;
    if (c >= 'a' && c <= 'z') f = c - 32;
    t.v[c] = static_cast<unsigned char>(f);
  }
  return t;
}
inline constexpr ByteTable kLeadBytes = make_lead_table();
// Swaps the case of ASCII letters; every other byte maps to itself.
inline constexpr ByteTable fold_case = make_fold_table();

constexpr int count_lead_bytes() {
  int n = 0;
  for (unsigned c = 0; c < 256; ++c) n += kLeadBytes.v[c];
  return n;
}
static_assert(count_lead_bytes() == 31 + 29 && !kLeadBytes.v[0x80] && kLeadBytes.v[0x81] &&
              kLeadBytes.v[0x9F] && !kLeadBytes.v[0xA0] && kLeadBytes.v[0xE0] && kLeadBytes.v[0xFC] &&
              !kLeadBytes.v[0xFD]);
static_assert(fold_case.v[unsigned{'A'}] == 'a' && fold_case.v[unsigned{'z'}] == 'Z' &&
              fold_case.v[unsigned{'@'}] == '@' && fold_case.v[unsigned{'['}] == '[' &&
              fold_case.v[0xC1] == 0xC1);

inline bool is_lead_byte(unsigned char c) { return kLeadBytes.v[c] != 0; }
inline unsigned char lower_ascii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// 0: a single-byte character starts at pos; 1: a double-byte character starts there;
// 2: pos is the second byte of a double-byte character. 0 when either pointer is null.
int char_position(const unsigned char* start, const unsigned char* pos);

// char_position answers for positions at or after floor, remembering the run of lead
// bytes it last measured: a sequence of queries that moves forward, or backward
// within what it has seen, costs time linear in the bytes passed.
class LeadRuns {
 public:
  explicit LeadRuns(const unsigned char* floor) : floor_(floor) {}
  int position(const unsigned char* pos) {
    return (lead_run_before(pos) & 1) ? 2 : (is_lead_byte(*pos) ? 1 : 0);
  }
  // True when pos is the second byte of a double-byte character.
  bool inside(const unsigned char* pos) { return (lead_run_before(pos) & 1) != 0; }

 private:
  // Number of lead bytes immediately before pos, not counting bytes before floor.
  size_t lead_run_before(const unsigned char* pos) {
    size_t run;
    if (known_ && pos >= known_pos_) {
      const unsigned char* p = pos;
      while (p > known_pos_ && is_lead_byte(p[-1])) --p;
      run =
          p == known_pos_ ? known_run_ + static_cast<size_t>(pos - known_pos_) : static_cast<size_t>(pos - p);
    } else if (known_ && static_cast<size_t>(known_pos_ - pos) <= known_run_) {
      run = known_run_ - static_cast<size_t>(known_pos_ - pos);
    } else {
      const unsigned char* p = pos;
      while (p > floor_ && is_lead_byte(p[-1])) --p;
      run = static_cast<size_t>(pos - p);
    }
    known_ = true;
    known_pos_ = pos;
    known_run_ = run;
    return run;
  }
  const unsigned char* floor_;
  const unsigned char* known_pos_ = nullptr;
  size_t known_run_ = 0;
  bool known_ = false;
};

// The engine's heap blocks, released with free. A test can make one allocation fail:
// after fail_allocation_after(n), the (n + 1)th allocation from then returns null; a
// negative n fails none. allocation_failure_pending() tells whether it has not come yet.
void* rx_malloc(size_t size) noexcept;
void* rx_calloc(size_t count, size_t size) noexcept;
void* rx_realloc(void* block, size_t size) noexcept;
void fail_allocation_after(long n) noexcept;
bool allocation_failure_pending() noexcept;

// A malloc'ed copy of count bytes followed by 0x00.
unsigned char* copy_bytes(const unsigned char* source, size_t count);

// A set of byte values held as at most kMaxByteRanges ranges, so that a block compare
// tests many bytes at once; count is -1 when the set needs more ranges.
constexpr int kMaxByteRanges = 4;
struct ByteRanges {
  int8_t count;
  unsigned char low[kMaxByteRanges], high[kMaxByteRanges];
};
// The ranges of the bytes whose bit is set in a 256-bit map.
ByteRanges byte_ranges(const unsigned char* bits);
// The first byte in [p, end) inside the set (find) or outside it (skip); end when none.
// The set must be usable (count >= 0).
const unsigned char* find_in_ranges(const unsigned char* p, const unsigned char* end, const ByteRanges& r);
const unsigned char* skip_ranges(const unsigned char* p, const unsigned char* end, const ByteRanges& r);
// The AVX2 block scan, or null where it is not built or the processor lacks AVX2. It
// returns the first hit or the start of the last partial block.
using RangeScan = const unsigned char* (*)(const unsigned char*, const unsigned char*, const ByteRanges&,
                                           bool);
RangeScan avx2_range_scan();
// The first byte in [p, end) inside the set whose next byte is the same byte; end when
// none. The byte at end is read; the set must be usable.
const unsigned char* find_doubled_in_ranges(const unsigned char* p, const unsigned char* end,
                                            const ByteRanges& r);
// Its AVX2 block scan (null as avx2_range_scan), which stops short of the last partial block.
using DoubledScan = const unsigned char* (*)(const unsigned char*, const unsigned char*, const ByteRanges&);
DoubledScan avx2_doubled_scan();
// The first character start in [p, end) whose byte is inside the set; end when none.
// Characters are Shift_JIS counted from p, which must begin one: a lead byte and the
// byte after it are one character (a lead byte just before end counts as one alone).
// The set must be usable.
const unsigned char* find_char_in_ranges(const unsigned char* p, const unsigned char* end,
                                         const ByteRanges& r);
// Its AVX2 block scan (null as avx2_range_scan): the first hit, or the first character
// start after the last whole block of 64 bytes it looked at.
using CharScan = const unsigned char* (*)(const unsigned char*, const unsigned char*, const ByteRanges&);
CharScan avx2_char_scan();
// The first run of bytes inside the set in [p, end) that begins a character (counted
// from p with kanji), and in run_end where it ends: the first byte outside the set, or
// end. end when there is none. With kanji the set must hold no lead-byte value, so that
// every byte of a run begins a character. With copy, the bytes from p to the run are
// also copied there, in the same pass (what is copied when there is no run is
// unspecified); copy must have room for the bytes from p to end.
const unsigned char* find_run_in_ranges(const unsigned char* p, const unsigned char* end, const ByteRanges& r,
                                        bool kanji, const unsigned char*& run_end,
                                        unsigned char* copy = nullptr);
// Its AVX2 block scan (null as avx2_range_scan): the run's start, or null with p at the
// first character start after the last whole block of 64 bytes it looked at. With
// copy, the bytes from p on entry up to the run, or up to p, are stored there.
using RunScan = const unsigned char* (*)(const unsigned char*& p, const unsigned char* end,
                                         const ByteRanges& r, bool kanji, const unsigned char*& run_end,
                                         unsigned char* copy);
RunScan avx2_run_scan();
// Two bytes of a literal at their offsets, each in either of two forms (the same byte
// twice without folding).
struct PairBytes {
  int32_t first_offset, second_offset;
  unsigned char first, first_other, second, second_other;
};
// The AVX2 scan for places where both bytes agree, or null as above. It looks at whole
// blocks of 32 places from p while they end at or before last: the first place found,
// or null with p at the first place it did not look at. With copy, each block it looks
// at is also stored there, at the same distance from copy as from p on entry: the
// bytes up to the place found, or up to p, are then copied.
using PairScanAvx2 = const unsigned char* (*)(const unsigned char*& p, const unsigned char* last,
                                              const PairBytes& bytes, unsigned char* copy);
PairScanAvx2 avx2_pair_scan();
// A few literals' pairs at once (no folding): a place where any literal's two bytes
// agree. Its AVX2 scan, or null as above, looks at whole blocks of 32 places from p
// while every load stays before end: the first place found, or null with p at the
// first place it did not look at. With copy, the blocks it looks at are stored there
// as with the pair scan.
struct PairSet {
  static constexpr int kMax = 8;
  int count;
  int32_t reach;  // the farthest second offset
  int32_t first_offset[kMax], second_offset[kMax];
  unsigned char first[kMax], second[kMax];
};
using PairSetScanAvx2 = const unsigned char* (*)(const unsigned char*& p, const unsigned char* end,
                                                 const PairSet& set, unsigned char* copy);
PairSetScanAvx2 avx2_pair_set_scan();

// Literal buffer flags.
constexpr uint32_t LB_SEARCHABLE = 8;
constexpr uint32_t LB_TABLE = 0x80000000u;
constexpr uint32_t LB_TABLE_FOLDED = 0x40000000u;
constexpr uint32_t LB_TAIL = 0x20000000u;

}  // namespace regex_internal

// A growable byte string; the text is followed by 0x00 and, with LB_TABLE, by a
// 256-byte skip table in the same block.
struct LiteralBuf {
  uint32_t flags;
  unsigned char* data;
  int32_t length;
  int32_t capacity;
  int32_t useful;
};

// The compiled replacement of a substitution: one block holding the two arrays'
// owners and the text area; the arrays are separate blocks.
struct ReplacementList {
  int32_t count;
  const unsigned char** pieces;
  int32_t* values;
  unsigned char text[];
};

// For each CLASS node of a program, in program order, the single-byte codes it accepts.
struct ClassTables {
  int32_t count;
  struct Entry {
    int32_t offset;  // of the CLASS node in the program
    unsigned char bits[32];
    // The bytes a repeat of the class takes one at a time, for the block scan: the
    // bitmap's, without lead bytes in double-byte mode (those begin a character of two).
    regex_internal::ByteRanges run;
  } entries[];
};

namespace regex_internal {

inline bool bit_set(const unsigned char* bits, unsigned b) { return (bits[b >> 3] >> (b & 7)) & 1; }

// The tables of the CLASS node at node, or null when the handle has none.
const ClassTables::Entry* class_entry_for(const RegexHandle* h, const unsigned char* node);
// The bitmap of the CLASS node at node, or null when the handle has none.
const unsigned char* class_bits_for(const RegexHandle* h, const unsigned char* node);

// Fills class_tables, start_known and start_bits of a freshly compiled handle.
void build_match_tables(RegexHandle* h);

LiteralBuf* literal_new(const unsigned char* bytes, int32_t count);
void literal_free(LiteralBuf* buffer) noexcept;
void literal_reserve(LiteralBuf* buffer, size_t request);
void literal_set(LiteralBuf* buffer, const unsigned char* bytes, int32_t count);
int32_t literal_append(LiteralBuf* buffer, const unsigned char* bytes, int32_t count);
void literal_copy(LiteralBuf* destination, const LiteralBuf* source);
void literal_mark(LiteralBuf* buffer);
void literal_build_table(LiteralBuf* buffer, bool fold);
const unsigned char* literal_find(const unsigned char* big, const unsigned char* bigend,
                                  const LiteralBuf* little, bool multiline, bool dbcs);
// Whether literal_find looks for the literal with the pair search (folded: with both
// cases of each letter), which a LiteralSearch set up once can then do.
bool literal_by_pair(const LiteralBuf* little, bool multiline, bool& folded);
// The offsets in a literal of its two bytes least likely in text, first < second
// (both 0 for a literal of one byte).
struct RarePair {
  int32_t first;
  int32_t second;
};
RarePair rare_pair(const unsigned char* literal, int32_t length);
// The first place at or after big where the literal of length bytes begins (with folded,
// each byte in either case) and, with dbcs, a character begins (counting from big).
const unsigned char* pair_find(const unsigned char* big, const unsigned char* bigend,
                               const unsigned char* little, int32_t length, bool dbcs, bool folded);
// What a literal's search works out once: its rare pair, the pair's bytes in either
// case, and with folding its first eight bytes as they compare (bit 0x20 set at each
// letter, where both cases agree).
struct PairPlan {
  PairPlan(const unsigned char* literal, int32_t length, bool folded);
  RarePair pair;
  PairBytes bytes;
  uint64_t head = 0, head_case = 0;  // literals of eight bytes or more
};
// pair_find for one literal searched many times: its plan is made once.
class LiteralSearch {
 public:
  LiteralSearch(const unsigned char* literal, int32_t length, bool dbcs, bool folded);
  // With copy, the bytes from big to the place found are also copied there, in the same
  // pass as the search (what is copied when nothing is found is unspecified); copy must
  // have room for the bytes from big to bigend.
  const unsigned char* find(const unsigned char* big, const unsigned char* bigend,
                            unsigned char* copy = nullptr) const;
  int32_t length() const { return length_; }

 private:
  const unsigned char* literal_;
  int32_t length_;
  PairPlan plan_;
  bool dbcs_;
  bool folded_;
};
// The first place where any of a few literals begins whole (and, with dbcs, a character
// begins, counting from big): one block scan tests every literal's rare pair at once.
class AlternativesSearch {
 public:
  static constexpr int kMaxLiterals = 8;
  AlternativesSearch() = default;
  // False (and the search unchanged) when there are too many or an empty one.
  bool add(const unsigned char* literal, int32_t length);
  int count() const { return count_; }
  // With length, the length of the first literal, in the order added, found there. With
  // copy, the bytes from big to the place found are copied there as LiteralSearch does.
  const unsigned char* find(const unsigned char* big, const unsigned char* bigend, bool dbcs,
                            int32_t* length = nullptr, unsigned char* copy = nullptr) const;

 private:
  struct Literal {
    const unsigned char* bytes;
    int32_t length;
    RarePair pair;
  };
  // The length of the first literal, in the order added, found whole at p; 0 when none is.
  int32_t length_at(const unsigned char* p, const unsigned char* bigend) const;
  Literal literals_[kMaxLiterals];
  int count_ = 0;
  int32_t reach_ = 0;  // the farthest pair offset of any literal
  PairSet pairs_{};    // the same pairs for the wide scan
};
// The first place at or after big where [little, lend) begins whole and, with dbcs, a
// character begins (counting from big); found by a block search on the rare pair.
const unsigned char* plain_find(const unsigned char* big, const unsigned char* bigend,
                                const unsigned char* little, const unsigned char* lend, bool dbcs);

struct LiteralFree {
  void operator()(LiteralBuf* b) const noexcept { literal_free(b); }
};
using LiteralPtr = std::unique_ptr<LiteralBuf, LiteralFree>;

struct HandleFree {
  void operator()(RegexHandle* h) const noexcept { rx_free(h); }
};
using HandlePtr = std::unique_ptr<RegexHandle, HandleFree>;

// State of one compile, shared by the driver, the parser and the emission layer.
struct CompileState {
  const unsigned char* cursor;
  const unsigned char* end;
  int32_t group_next;
  unsigned char* emit_pos;  // kSizing while counting
  int32_t size;
  int32_t cost;
  int32_t saw_backref;
  uint32_t options;
  unsigned char class_bits[32];
  RegexHandle* record;
  unsigned char* pattern_copy;
  uint32_t multiline;
  uint32_t kanji;
  unsigned char* program;  // start of the program being written (second pass)
  unsigned char* limit;    // one past the last byte the first pass counted
  int32_t depth;           // groups open around the parser's position
};

// Parses the whole pattern in the current pass (sizing or emitting).
void parse_pattern(CompileState& cs);

// Nested groups deeper than this are refused: it bounds the parser's recursion.
constexpr int32_t kMaxGroupDepth = 500;

}  // namespace regex_internal

namespace regex_internal {

// Emission layer. Every routine works in both passes: while sizing, emit_pos holds
// the sizing marker, nodes returned are that marker and only `size` changes.
bool sizing(const CompileState& cs);
void emit_byte(CompileState& cs, unsigned char b);
unsigned char* emit_node(CompileState& cs, unsigned char op);
unsigned char* emit_arg_node(CompileState& cs, unsigned char op, unsigned n);
void insert_node(CompileState& cs, unsigned char op, unsigned char* at);
void link_tail(CompileState& cs, unsigned char* from, unsigned char* to);
void link_branch_tail(CompileState& cs, unsigned char* node, unsigned char* to);
unsigned char* next_node(CompileState& cs, unsigned char* node);

// The cost score only matters up to 10; it saturates far above that.
constexpr int32_t kCostCap = 1 << 20;
inline void cost_add(CompileState& cs, int32_t n) {
  cs.cost = cs.cost + n > kCostCap ? kCostCap : cs.cost + n;
}
inline void cost_set(CompileState& cs, int64_t v) {
  cs.cost = v > kCostCap ? kCostCap : static_cast<int32_t>(v);
}

}  // namespace regex_internal

namespace regex_internal {

// Work one call of the matcher may do before it gives up with "regexp match too
// complex": node visits, choice points revisited, characters tested against a class
// and 8-byte steps of other repeat scans and back-reference compares. About three
// seconds on an idle 2-core machine of 2026, seven under heavy load. Fuzzing builds
// set a smaller one, so that runaway inputs end quickly under the sanitizers; the
// matcher stops the same way at any budget.
#ifndef TAVVEL_MATCH_BUDGET
#define TAVVEL_MATCH_BUDGET 600000000
#endif
constexpr int64_t kMatchBudget = TAVVEL_MATCH_BUDGET;
// Choice points the matcher may hold at once before giving up the same way.
constexpr size_t kMaxBacktrack = 4u << 20;

// The case-folded copy of a subject, kept across the calls of one run over the same
// text (a global substitution), so that the text is folded once, not once per match.
// The text must not change while the cache is in use.
struct FoldCache {
  unsigned char* copy = nullptr;  // folded bytes of [origin, end] with the NUL
  const unsigned char* origin = nullptr;
  const unsigned char* end = nullptr;
  const unsigned char* boundary = nullptr;  // a character start of the copy's alignment
  bool kanji = false;
  uint64_t generation = 0;  // counts the copies made, so that a new copy is told apart
  FoldCache() = default;
  FoldCache(const FoldCache&) = delete;
  FoldCache& operator=(const FoldCache&) = delete;
  ~FoldCache();
};

// The folded text for [start, end] (its NUL included); from the cache when the cache
// holds the same text at the same character alignment, else a new copy in the cache.
const unsigned char* folded_text(const unsigned char* start, const unsigned char* end, bool kanji,
                                 FoldCache* cache);

// A pattern of a literal, a lazy run of any characters but a newline (in group 1 or in
// no group) and a literal, in byte mode without folding: the two literals' searches.
struct LazyPair {
  LiteralSearch first, second;
  bool grouped;  // the run is group 1
  // The last search for the second literal: from where, to which end, and what it
  // found (null: nothing).
  const unsigned char* second_from = nullptr;
  const unsigned char* second_end = nullptr;
  const unsigned char* second_at = nullptr;
};

// The searches that bypass the matcher, each for one shape of pattern.
enum class Bypass : int8_t {
  kUnknown,
  kNone,
  kWholeLiteral,
  kLineStarts,
  kWholeRepeat,
  kLiterals,
  kLazyPair
};

// What the searches of one run of one handle over one text (a global substitution)
// hand on to each other: the folded copy, the matcher's stacks, the failure memo, the
// search that bypasses the matcher and what it was set up with.
struct MatchRun {
  FoldCache fold;
  Bypass bypass = Bypass::kUnknown;  // of the run's pattern, once known
  void* scratch = nullptr;           // the matcher's state and stacks (a MatchState)
  std::unique_ptr<FailureMemo> memo;
  MemoMode memo_mode = memo_mode_from_environment();
  // Every search runs the matcher, none of the searches that bypass it (a whole literal,
  // a whole repeat, a repeated character), so tests can hold those against it.
  bool matcher_only = false;
  ByteRanges start_ranges{};  // of the handle's start set, once start_ranges_known
  bool start_ranges_known = false;
  AlternativesSearch alternatives;  // the literals every match starts with one of, once known
  bool alternatives_known = false;
  std::optional<LiteralSearch> whole_literal;      // the pattern's search when it is one literal
  std::optional<LiteralSearch> first_literal;      // the handle's leading literal's search, once used
  std::optional<LiteralSearch> must_literal;       // the required literal's pair search, once used
  const LiteralBuf* must_literal_of = nullptr;     // the literal it was set up for
  const unsigned char* first_node_bits = nullptr;  // the leading class node's bitmap, once known
  bool first_node_bits_known = false;
  const unsigned char* whole_repeat = nullptr;  // the pattern's node when it is one + of it
  ByteRanges doubled_ranges{};  // the bytes of a leading character that repeats, count 0 for none
  bool doubled_known = false;
  std::optional<LazyPair> lazy_pair;  // the pattern's two literals when it is such a pair
  // A newline and the leading literal, and their search: under m a match of ^ and the
  // literal begins just after such a place.
  std::basic_string<unsigned char> line_literal_bytes;
  std::optional<LiteralSearch> line_literal;
  MatchRun() = default;
  MatchRun(const MatchRun&) = delete;
  MatchRun& operator=(const MatchRun&) = delete;
  ~MatchRun();
};

// rx_exec without the message: raises a Failure on an internal error. With a run, a
// search reuses what the previous search of the run left (null: a run of one search).
int exec_match(RegexHandle* handle, const unsigned char* start, const unsigned char* end,
               const unsigned char* base, int min_end, MatchRun* run, int64_t budget = kMatchBudget);

// The EXACT node of a pattern that is one literal and no more (no group, anchor or
// alternative) and is found in the text as it stands: without folding, or folded in
// byte mode. Else null.
const unsigned char* whole_literal(const RegexHandle* handle);

// When the run's search, once chosen, is for whole runs of one node that takes single
// bytes only, the set of those bytes: each match is one run of them, found by the block
// scan. Else null.
const ByteRanges* byte_run_ranges(MatchRun& run, const RegexHandle* handle);
// Group 1 of a match found without the matcher: from start to end, and the last group set.
void set_group_one(RegexHandle* handle, const unsigned char* start, const unsigned char* end);

}  // namespace regex_internal

namespace regex_internal {

// Substitution: the compiled replacement (null: insert the raw text, OPT_VERBATIM set)
// and one run over a target whose end byte is 0x00.
ReplacementList* replace_compile(RegexHandle* handle, const unsigned char* start, const unsigned char* end);
// Failures raise, after setting failed to the count the entry point then returns: 0,
// or the replacements made before a later search of a global run failed.
int subst_run(RegexHandle* handle, const unsigned char* target_start, const unsigned char* target_end,
              int& failed);

// Transliteration. Codes are single bytes, or lead * 256 + trail.
constexpr uint16_t TRANS_SAME = 0xFFFF;
constexpr uint16_t TRANS_DELETE = 0xFFFE;
struct EscapedByte {
  unsigned char value;
  int consumed;
};
LiteralBuf* trans_expand(const unsigned char* start, const unsigned char* end);
EscapedByte trans_escape(const unsigned char* at, const unsigned char* end);
RegexHandle* trans_compile(const unsigned char* search_start, const unsigned char* search_end,
                           const unsigned char* replace_start, const unsigned char* replace_end,
                           uint32_t* options, char* message);
int trans_apply(RegexHandle* handle, const unsigned char* target_start, const unsigned char* target_end,
                char* message);
void trans_put(LiteralBuf* buffer, unsigned code);

}  // namespace regex_internal
