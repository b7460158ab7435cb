// The matcher's state: a backtracking machine that runs a compiled program over
// Shift_JIS text and records the groups.
//
// The program is interpreted by a backtracking machine whose choice points live in a
// heap stack owned by the call, not on the thread's stack, so the depth of a match
// does not depend on the thread it runs on (a 1 MiB Windows main thread included):
// every alternative, every continuation a repeat may still try, every pass of a
// complex repeat, every look-ahead and every group mark pushes one 64-byte entry, and
// a failure pops entries until one has something left to try. Each entry undoes what
// its step changed, group marks and loop positions included, so no group keeps a value
// from a path that was abandoned. A call gives up with "regexp match too complex"
// after kMatchBudget units of work, or when kMaxBacktrack entries (256 MiB) are open
// at once; a complex repeat's own limit of 32767 passes is reached far below that.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "regex/internal.h"
#include "regex/memo.h"
#include "regex/program.h"

namespace regex_internal {

using uchar = unsigned char;

constexpr bool word_byte_value(unsigned b) {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_';
}
constexpr ByteTable make_word_table() {
  ByteTable t{};
  for (unsigned c = 0; c < 256; ++c) t.v[c] = word_byte_value(c) ? 1 : 0;
  return t;
}
inline constexpr ByteTable kWordBytes = make_word_table();
// One load where four range tests would be: \w runs are the commonest repeats.
inline bool word_byte(unsigned b) { return kWordBytes.v[b & 0xFF] != 0; }
inline bool space_byte(unsigned b) { return b == 0x20 || (b >= 0x09 && b <= 0x0D); }
inline bool digit_byte(unsigned b) { return b >= '0' && b <= '9'; }
// The same sets as byte ranges for the block scan.
inline constexpr ByteRanges kWordRanges{4, {'0', 'A', '_', 'a'}, {'9', 'Z', '_', 'z'}};
inline constexpr ByteRanges kSpaceRanges{2, {0x09, 0x20}, {0x0D, 0x20}};
inline constexpr ByteRanges kDigitRanges{1, {'0'}, {'9'}};

// The first node from node on that is no group mark or empty node: those consume
// nothing and never fail. Null when the sequence ends first.
inline const uchar* past_marks(const uchar* node) {
  while (node && (node[0] == OPEN || node[0] == CLOSE || node[0] == NOTHING)) node = next_node(node);
  return node;
}

struct LoopFrame {
  int32_t group_floor;
  int32_t count;
  uint32_t min, max;
  bool lazy;
  const uchar* body;
  const uchar* after;
  const uchar* last_pos;
  int32_t outer;  // index of the enclosing frame; frame 0 is the dummy
};

enum EntryKind : uint8_t {
  E_BRANCH,        // try the next alternative
  E_GREEDY,        // a greedy simple repeat gives back one more byte
  E_LAZY,          // a lazy simple repeat takes one more byte
  E_LOOP_EXIT,     // a complex repeat is left: its frame goes
  E_OUTER_COUNT,   // after an empty pass: restore the outer count, re-enter the loop
  E_COUNT,         // restore a loop's count
  E_LAZY_LOOP,     // lazy complex repeat: the continuation failed, run one more pass
  E_GREEDY_LOOP,   // greedy complex repeat: the pass failed, try the continuation
  E_GREEDY_AFTER,  // greedy complex repeat: the continuation failed too
  E_AHEAD,         // look-ahead body failed
  E_NAHEAD,        // negative look-ahead body failed: go on
  E_UNDO_OPEN,     // restore a group start and open_high
  E_UNDO_CLOSE,    // restore a group end and last_group
};

struct Entry {
  EntryKind kind;
  bool lazy;             // the invocation's lazy flag (look-ahead)
  uint8_t memo_context;  // of the memo bit set when the entry runs out
  int32_t frame;         // loop frame, or saved group / loop index; E_LAZY: its governed
                         // node's offset in the program
  int32_t a, b;          // counts
  int32_t memo_slot;     // the memo bit's node, 0 for none
  int32_t memo_floor;    // loop frames whose counts are context for the memo bit
  int32_t count_frame;   // lowest loop frame whose count decided a step since the push
  // Lead-byte run memo of a repeat (see LeadRuns): 1 + the distance of the position it
  // was measured at from pos (0: none), and the run. A look-ahead keeps the save stack's
  // top in known_run. Texts stay below 4 GiB, as the saved group positions do.
  uint32_t known_offset;
  uint32_t known_run;
  // A simple repeat's continuation: the byte it must begin with, once looked up.
  int16_t literal_byte;
  const uchar* node;  // the node the entry belongs to, or the continuation
  const uchar* pos;   // position of the step
  const uchar* base;  // repeat scan position
};
constexpr int16_t kLiteralByteUnknown = -2;
constexpr int16_t kNoLiteralByte = -1;
static_assert(sizeof(Entry) <= 64, "a choice point fits one cache line");

// What a greedy simple repeat decides the same way on every attempt, worked out on its
// first attempt.
struct RepeatFacts {
  bool known = false;
  bool keeps_all = false;                 // giving back can never help
  int16_t literal_byte = kNoLiteralByte;  // the continuation's first byte, where it is a literal
};

struct MatchState {
  // Group save stack, 32-bit words.
  uint32_t* save = nullptr;
  size_t save_top = 0;
  size_t save_capacity = 0;

  int32_t group_total = 0;
  int32_t open_high = 0;
  const uchar* input = nullptr;
  const uchar* line_start = nullptr;
  const uchar* text_end = nullptr;
  const uchar* origin = nullptr;  // first byte of the text the positions point into
  const uchar** starts = nullptr;
  const uchar** ends = nullptr;
  int32_t* last_group = nullptr;
  const uchar* min_end = nullptr;
  uchar prev_char = 0;
  const RegexHandle* handle = nullptr;
  bool multiline = false;
  bool kanji = false;
  int32_t loop = 0;

  std::vector<LoopFrame> frames;
  std::vector<Entry> stack;
  std::vector<size_t> barriers;  // stack indices of the open look-aheads
  // By each simple repeat's offset in the handle's program, made on first use.
  std::vector<RepeatFacts> repeat_facts;
  const RegexHandle* facts_handle = nullptr;
  // The search for the literal after a lazy .*?, set up once for its node, and the
  // place from which it was last missed up to the line's end (reset by each search).
  std::optional<LiteralSearch> lazy_literal;
  const uchar* lazy_literal_node = nullptr;
  const uchar* lazy_miss_from = nullptr;
  const uchar* lazy_miss_line_end = nullptr;

  // Work: work_left runs down to the next check; reserve is the rest of the budget.
  int64_t work_left = kMatchBudget;
  int64_t reserve = 0;
  FailureMemo* memo = nullptr;
  MatchRun* run = nullptr;       // owns the memo
  uint64_t text_generation = 0;  // of the text the positions point into
  bool memo_possible = false;

  ~MatchState() { std::free(save); }

  void charge(int64_t units) {
    work_left -= units;
    if (work_left < 0) out_of_work();
  }

  // More work than the text and program explain: from here on failures are
  // remembered, and the budget grows with the text. Without a memo, or past the
  // whole budget, the search gives up.
  void out_of_work();
  void start_memo() {
    run->memo = FailureMemo::create(handle, origin, text_end, text_generation);
    memo = run->memo.get();
  }
  // Work a search with the memo may do beyond the budget: linear in the text.
  int64_t memo_allowance() const { return 256 * static_cast<int64_t>(text_end - origin + 1); }

  // Whether a group set now must be restored on backtracking: with no choice point
  // left a failure ends the attempt, and the next attempt clears the groups.
  bool undo_needed() const { return !stack.empty(); }

  [[gnu::always_inline]] Entry& push(EntryKind kind) {
    if (stack.size() >= kMaxBacktrack) raise(kMsgTooComplex);
    stack.emplace_back();
    Entry& e = stack.back();
    e.kind = kind;
    e.literal_byte = kLiteralByteUnknown;
    e.memo_floor = static_cast<int32_t>(frames.size());
    e.count_frame = INT32_MAX;
    return e;
  }

  // The memo context at p: how many of the innermost loops from frame on began their
  // current pass at p (counted up to 2, past which nothing is recorded).
  uint8_t memo_context(const uchar* p, int32_t frame) const {
    uint8_t k = 0;
    for (int32_t i = frame; i != 0 && k < 2 && frames[i].last_pos == p; i = frames[i].outer) ++k;
    return k;
  }
  // Whether the memo holds a failure for node at p; context receives the context.
  bool memo_failed(const uchar* node, const uchar* p, int32_t frame, int32_t& slot, uint8_t& context) const {
    slot = memo ? memo->slot(node) : 0;
    context = 0;
    if (slot == 0) return false;
    context = memo_context(p, frame);
    return memo->failed(slot, p, context);
  }
  static void set_memo(Entry& e, int32_t slot, uint8_t context) {
    e.memo_slot = slot;
    e.memo_context = context;
  }

  // The top entry is done: every path from it failed. Its memo bit is set unless a
  // loop count from its context decided a step on the way; the entry below inherits
  // that mark.
  void retire(const Entry& e) {
    if (e.memo_slot && memo && e.count_frame >= e.memo_floor) {
      if (e.kind == E_AHEAD || e.kind == E_NAHEAD)
        memo->ahead_record(e.memo_slot, e.pos, false);
      else
        memo->record(e.memo_slot, e.pos, e.memo_context);
    }
    if (e.count_frame != INT32_MAX && stack.size() >= 2) {
      Entry& below = stack[stack.size() - 2];
      below.count_frame = std::min(below.count_frame, e.count_frame);
    }
  }
  // A step decided by the count of loop frame: entries from before it depend on it.
  void count_decided(int32_t frame) {
    if (!stack.empty()) stack.back().count_frame = std::min(stack.back().count_frame, frame);
  }

  // One character forward from p, never past text_end.
  const uchar* step_char(const uchar* p) const {
    return (kanji && is_lead_byte(*p) && p[1] != 0 && p + 1 < text_end) ? p + 2 : p + 1;
  }

  uint32_t encode(const uchar* p) const { return p ? static_cast<uint32_t>(p - origin) + 1 : 0; }
  const uchar* decode(uint32_t v) const { return v ? origin + (v - 1) : nullptr; }

  void save_word(uint32_t w) { save[save_top++] = w; }
  uint32_t restore_word() {
    if (save_top == 0) raise(kMsgMemoryCorruption);
    return save[--save_top];
  }

  // Saves the groups above floor before a pass of a complex repeat; pop_groups
  // restores them when the pass fails.
  void push_groups(int32_t floor);
  void pop_groups();
  // How far the one-character node o matches repeatedly from q, in bytes (at most
  // max, unless max is unbounded).
  size_t count_repeat(const uchar* o, uint32_t max, const uchar* q);
  // Where that run ends, the work not counted.
  const uchar* repeat_end(const uchar* o, uint32_t max, const uchar* q) const;

  // Runs the program from node at p; true when the top-level END is reached (input
  // then holds the end of the match).
  bool match_nodes(const uchar* node, const uchar* p);

 private:
  bool worth_trying(Entry& e, const uchar* q);
  bool never_before_literal(const uchar* o, const uchar* next) const;
  const RepeatFacts& repeat_facts_for(const uchar* node, const uchar* operand, const uchar* next) {
    if (facts_handle == handle) {
      const RepeatFacts& f = repeat_facts[static_cast<size_t>(node - handle->program)];
      if (f.known) return f;
    }
    return learn_repeat_facts(node, operand, next);
  }
  const RepeatFacts& learn_repeat_facts(const uchar* node, const uchar* operand, const uchar* next);
  static bool ends_match(const uchar* next);
  bool backtrack(const uchar*& node, const uchar*& p, bool& lazy);
  const uchar* give_back(Entry& e);
  bool match_reference(const uchar* node, const uchar*& p);
  const uchar* take_more(Entry& e);
  const uchar* find_lazy_literal(const uchar* literal, const uchar* from, const uchar*& line_end);
  // The steps of match_nodes: each returns false when the node fails at p, and may
  // move p on, choose the next node and clear the lazy flag. The frequent ones are
  // inlined into the interpreter loop, which keeps its position in a register.
  [[gnu::always_inline]] inline bool match_step(const uchar* node, const uchar*& p);
  bool look_ahead_matched(const uchar*& p, const uchar*& next, bool& lazy);
  [[gnu::always_inline]] inline bool enter_branch(const uchar* node, const uchar*& p, const uchar*& next,
                                                  bool& lazy);
  bool enter_look_ahead(const uchar* node, const uchar*& p, const uchar*& next, bool& lazy);
  [[gnu::always_inline]] inline bool enter_simple_repeat(const uchar* node, const uchar*& p,
                                                         const uchar*& next, bool& lazy);
  bool enter_complex_repeat(const uchar* node, const uchar*& p, const uchar*& next, bool& lazy);
  bool end_pass(const uchar* node, const uchar*& p, const uchar*& next, bool& lazy);
};

}  // namespace regex_internal
