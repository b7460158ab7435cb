// Matcher: runs a compiled program over Shift_JIS text and records the groups.
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
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "regex/internal.h"
#include "regex/memo.h"
#include "regex/program.h"

namespace regex_internal {

namespace {

using uchar = unsigned char;

bool word_byte(unsigned b) {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_';
}
bool space_byte(unsigned b) { return b == 0x20 || (b >= 0x09 && b <= 0x0D); }
bool digit_byte(unsigned b) { return b >= '0' && b <= '9'; }

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
  E_BRANCH,         // try the next alternative
  E_GREEDY,         // a greedy simple repeat gives back one more byte
  E_LAZY,           // a lazy simple repeat takes one more byte
  E_LOOP_EXIT,      // a complex repeat is left: its frame goes
  E_OUTER_COUNT,    // after an empty pass: restore the outer count, re-enter the loop
  E_COUNT,          // restore a loop's count
  E_LAZY_LOOP,      // lazy complex repeat: the continuation failed, run one more pass
  E_GREEDY_LOOP,    // greedy complex repeat: the pass failed, try the continuation
  E_GREEDY_AFTER,   // greedy complex repeat: the continuation failed too
  E_AHEAD,          // look-ahead body failed
  E_NAHEAD,         // negative look-ahead body failed: go on
  E_UNDO_OPEN,      // restore a group start and open_high
  E_UNDO_CLOSE,     // restore a group end and last_group
};

struct Entry {
  EntryKind kind;
  bool lazy;             // the invocation's lazy flag (look-ahead)
  uint8_t memo_context;  // of the memo bit set when the entry runs out
  int32_t frame;         // loop frame, or saved group / loop index
  int32_t a, b;          // counts
  int32_t memo_slot;     // the memo bit's node, 0 for none
  int32_t memo_floor;    // loop frames whose counts are context for the memo bit
  int32_t count_frame;   // lowest loop frame whose count decided a step since the push
  const uchar* node;    // the node the entry belongs to, or the continuation
  const uchar* pos;     // position of the step
  const uchar* base;    // repeat scan position
  const uchar* operand; // governed node of a simple repeat
  const uchar* known_pos;  // lead-byte run memo of a repeat (see LeadRuns)
  size_t known_run;
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
  void out_of_work() {
    if (memo_possible && memo == nullptr) {
      memo_possible = false;
      start_memo();
      if (memo) {
        work_left += reserve + memo_allowance();
        reserve = 0;
        if (work_left >= 0) return;
      }
    }
    if (reserve > 0) {
      work_left += reserve;
      reserve = 0;
      if (work_left >= 0) return;
    }
    raise(kMsgTooComplex);
  }

  void start_memo() {
    run->memo = FailureMemo::create(handle, origin, text_end, text_generation);
    memo = run->memo.get();
  }
  // Work a search with the memo may do beyond the budget: linear in the text.
  int64_t memo_allowance() const { return 256 * static_cast<int64_t>(text_end - origin + 1); }

  Entry& push(EntryKind kind) {
    if (stack.size() >= kMaxBacktrack) raise(kMsgTooComplex);
    stack.emplace_back();
    Entry& e = stack.back();
    e.kind = kind;
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
    if (stack.size() >= 2) {
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

  void push_groups(int32_t floor) {
    const int32_t k = std::max(open_high - floor, 0);
    const size_t need = 3 * static_cast<size_t>(k) + 5;
    if (save_top + need > save_capacity) {
      size_t capacity = save_capacity;
      while (save_top + need > capacity) capacity = capacity * 3 / 2 ? capacity * 3 / 2 : 128;
      auto* grown = static_cast<uint32_t*>(rx_realloc(save, capacity * sizeof(uint32_t)));
      if (!grown) raise(kMsgLackOfMemory);
      save = grown;
      save_capacity = capacity;
    }
    for (int32_t g = open_high; g > floor; --g) {
      save_word(encode(ends[g]));
      save_word(encode(starts[g]));
      save_word(static_cast<uint32_t>(g));
    }
    save_word(static_cast<uint32_t>(open_high));
    save_word(static_cast<uint32_t>(*last_group));
    save_word(encode(input));
    save_word(3 * static_cast<uint32_t>(k) + 3);
    save_word(21);
  }

  void pop_groups() {
    if (restore_word() != 21) raise(kMsgMemoryCorruption);
    const uint32_t m = restore_word();
    if (m < 3 || m % 3 != 0) raise(kMsgMemoryCorruption);
    restore_word();  // the saved position is not used
    *last_group = static_cast<int32_t>(restore_word());
    open_high = static_cast<int32_t>(restore_word());
    for (uint32_t i = 0; i < (m - 3) / 3; ++i) {
      const uint32_t g = restore_word();
      const uchar* start = decode(restore_word());
      const uchar* end = decode(restore_word());
      if (g < 1 || static_cast<int32_t>(g) > group_total) raise(kMsgMemoryCorruption);
      starts[g] = start;
      if (static_cast<int32_t>(g) <= *last_group) ends[g] = end;
    }
    for (int32_t g = *last_group + 1; g <= group_total; ++g) {
      ends[g] = nullptr;
      if (g > open_high) starts[g] = nullptr;
    }
  }

  // How far the one-character node O matches repeatedly from q, in bytes.
  size_t count_repeat(const uchar* o, uint32_t max, const uchar* q) {
    const uchar* const from = q;
    const uchar* limit = text_end;
    if (max != REPEAT_INFINITE && static_cast<ptrdiff_t>(max) < text_end - q) limit = q + max;
    auto pass_char = [&](const uchar* p) {
      return (kanji && is_lead_byte(*p) && p + 1 < text_end) ? p + 2 : p + 1;
    };
    switch (o[0]) {
      case ANY:
        while (q < limit && *q != '\n') q = pass_char(q);
        break;
      case ANY_S:
        q = limit;
        break;
      case CLASS: {
        const uchar* bits = class_bits_for(handle, o);
        while (q < limit) {
          if (kanji && is_lead_byte(*q)) {
            if (q + 1 >= limit || !class_contains(static_cast<unsigned>(*q) << 8 | q[1], o + 3)) break;
            q += 2;
            continue;
          }
          if (bits ? !bit_set(bits, *q) : !class_contains(*q, o + 3)) break;
          ++q;
        }
        break;
      }
      case EXACT:
        while (q < limit && *q == o[4]) ++q;
        break;
      case WORD:
        while (q < limit && word_byte(*q)) ++q;
        break;
      case SPACE:
        while (q < limit && space_byte(*q)) ++q;
        break;
      case DIGIT:
        while (q < limit && digit_byte(*q)) ++q;
        break;
      case NWORD:
        while (q < limit && !word_byte(*q)) q = pass_char(q);
        break;
      case NSPACE:
        while (q < limit && !space_byte(*q)) q = pass_char(q);
        break;
      case NDIGIT:
        while (q < limit && !digit_byte(*q)) q = pass_char(q);
        break;
      default:
        break;
    }
    // A class test per character costs about a node visit; plain byte tests less.
    charge(static_cast<int64_t>((q - from) >> (o[0] == CLASS ? 0 : 3)));
    return static_cast<size_t>(q - from);
  }

  bool match_nodes(const uchar* node, const uchar* p);
  bool worth_trying(Entry& e, const uchar* q);
  bool backtrack(const uchar*& node, const uchar*& p, bool& lazy);
};

// Whether a simple repeat's continuation is worth running at q: never inside a
// double-byte character, and only where the continuation's first literal byte is.
bool MatchState::worth_trying(Entry& e, const uchar* q) {
  const uchar* cont = e.node;
  if (cont[0] == EXACT && *q != cont[4]) return false;
  if (!kanji) return true;
  // The same measure as char_position(e.pos, q), remembering the last lead-byte run
  // in the entry, so that backing off or moving on byte by byte stays linear.
  size_t run;
  if (e.known_pos && q >= e.known_pos) {
    const uchar* s = q;
    while (s > e.known_pos && is_lead_byte(s[-1])) --s;
    run = s == e.known_pos ? e.known_run + static_cast<size_t>(q - e.known_pos) : static_cast<size_t>(q - s);
  } else if (e.known_pos && static_cast<size_t>(e.known_pos - q) <= e.known_run) {
    run = e.known_run - static_cast<size_t>(e.known_pos - q);
  } else {
    const uchar* s = q;
    while (s > e.pos && is_lead_byte(s[-1])) --s;
    run = static_cast<size_t>(q - s);
  }
  e.known_pos = q;
  e.known_run = run;
  return (run & 1) == 0;
}

// Pops choice points until one has something left to try; false when none has.
bool MatchState::backtrack(const uchar*& node, const uchar*& p, bool& lazy) {
  while (!stack.empty()) {
    charge(1);
    Entry& e = stack.back();
    switch (e.kind) {
      case E_BRANCH: {
        for (int32_t g = *last_group; g > e.a; --g) ends[g] = nullptr;
        *last_group = e.a;
        const uchar* next = next_node(e.node);
        if (next == nullptr || next[0] != BRANCH) break;
        e.node = next;
        node = next + 4;
        p = e.pos;
        lazy = false;
        return true;
      }
      case E_GREEDY: {
        // e.a: bytes the repeat currently takes; e.b: its minimum; e.base: the end of
        // the run it took. The continuation has failed at every position from
        // pos + a to the run's end.
        FailureMemo::Run* known = nullptr;
        if (e.memo_slot && memo && !kanji) {
          known = &memo->failed_run(e.memo_slot);
          if (e.count_frame >= e.memo_floor && (e.a > 0 || e.memo_context == 0)) {
            if (known->high != e.base || known->low > e.pos + e.a) known->low = e.pos + e.a;
            known->high = e.base;
          }
        }
        while (e.a > e.b) {
          --e.a;
          if (known && known->high == e.base && known->low <= e.pos + e.a) {
            e.a = static_cast<int32_t>(std::max<ptrdiff_t>(known->low - e.pos, e.b));
            continue;
          }
          charge(1);
          if (worth_trying(e, e.pos + e.a)) {
            node = e.node;
            p = e.pos + e.a;
            lazy = false;
            return true;
          }
        }
        break;
      }
      case E_LAZY: {
        // e.base: next start; e.a: k; e.b: max.
        for (;;) {
          if (count_repeat(e.operand, 1, e.base) == 0) break;
          ++e.a;
          ++e.base;
          if (!(static_cast<uint32_t>(e.a) <= static_cast<uint32_t>(e.b) ||
                (e.b == REPEAT_INFINITE && e.a > 0)))
            break;
          charge(1);
          if (worth_trying(e, e.base)) {
            node = e.node;
            p = e.base;
            lazy = false;
            return true;
          }
        }
        break;
      }
      case E_LOOP_EXIT:
        loop = frames[e.frame].outer;
        frames.resize(e.frame);
        break;
      case E_OUTER_COUNT:
        frames[frames[e.frame].outer].count = e.a;
        loop = e.frame;
        break;
      case E_COUNT:
        frames[e.frame].count = e.a;
        frames[e.frame].last_pos = e.base;
        break;
      case E_LAZY_LOOP: {
        LoopFrame& f = frames[e.frame];
        frames[f.outer].count = e.a;
        loop = e.frame;
        const int32_t n = e.b;
        if (static_cast<uint32_t>(n) >= f.max) {
          e.count_frame = std::min(e.count_frame, e.frame);
          break;
        }
        e.kind = E_COUNT;
        e.a = n - 1;
        e.base = f.last_pos;
        f.count = n;
        f.last_pos = e.pos;
        node = f.body;
        p = e.pos;
        lazy = false;
        return true;
      }
      case E_GREEDY_LOOP: {
        LoopFrame& f = frames[e.frame];
        pop_groups();
        input = e.pos;
        f.last_pos = e.base;
        e.kind = E_GREEDY_AFTER;
        e.a = frames[f.outer].count;
        loop = f.outer;
        node = f.after;
        p = e.pos;
        lazy = false;
        return true;
      }
      case E_GREEDY_AFTER: {
        LoopFrame& f = frames[e.frame];
        frames[f.outer].count = e.a;
        loop = e.frame;
        f.count = e.b - 1;
        f.last_pos = e.base;
        break;
      }
      case E_UNDO_OPEN:
        starts[e.a] = e.base;
        open_high = e.b;
        break;
      case E_UNDO_CLOSE:
        ends[e.a] = e.base;
        *last_group = e.b;
        break;
      case E_AHEAD:
        barriers.pop_back();
        break;
      case E_NAHEAD: {
        barriers.pop_back();
        node = next_node(e.node);
        p = e.pos;
        lazy = e.lazy;
        retire(e);
        stack.pop_back();
        if (node == nullptr) raise(kMsgCorruptPointers);
        return true;
      }
    }
    retire(e);
    stack.pop_back();
  }
  return false;
}

// Runs the program from node at p; true when the top-level END is reached (input
// then holds the end of the match).
bool MatchState::match_nodes(const uchar* node, const uchar* p) {
  bool lazy = false;
  for (;;) {
    if (node == nullptr) raise(kMsgCorruptPointers);
    charge(1);
    const uchar op = node[0];
    const uchar b = *p;
    const uchar* next = next_node(node);
    bool ok = true;  // false: fail
    switch (op) {
      case END:
      case SUCCEED: {
        if (barriers.empty()) {
          input = p;
          return true;
        }
        // A look-ahead body has matched: its choice points go. A positive one keeps
        // the groups it set (undone if the match later backtracks past it); a
        // negative one fails, and its groups are undone at once.
        const size_t at = barriers.back();
        barriers.pop_back();
        const Entry e = stack[at];
        if (e.memo_slot && memo) memo->ahead_record(e.memo_slot, e.pos, true);
        size_t keep = at;
        if (e.kind == E_NAHEAD) {
          for (size_t i = stack.size(); i-- > at + 1;) {
            const Entry& u = stack[i];
            if (u.kind == E_UNDO_OPEN) {
              starts[u.a] = u.base;
              open_high = u.b;
            } else if (u.kind == E_UNDO_CLOSE) {
              ends[u.a] = u.base;
              *last_group = u.b;
            }
          }
        } else {
          for (size_t i = at + 1; i < stack.size(); ++i)
            if (stack[i].kind == E_UNDO_OPEN || stack[i].kind == E_UNDO_CLOSE) stack[keep++] = stack[i];
        }
        stack.resize(keep);
        frames.resize(static_cast<size_t>(e.b));
        save_top = e.known_run;
        loop = e.frame;
        if (e.kind == E_NAHEAD) {
          ok = false;
          break;
        }
        p = e.pos;
        lazy = e.lazy;
        next = next_node(e.node);
        break;
      }
      case BOL:
      case BOL_M:
        if (p == line_start) ok = prev_char == '\n';
        else ok = (b != 0 || p < text_end) && p[-1] == '\n';
        break;
      case BOL_S:
        ok = p == line_start && prev_char == '\n';
        break;
      case GPOS:
        ok = p == line_start;
        break;
      case EOL:
      case EOL_M:
      case EOL_S: {
        const bool single = op == EOL_S || (op == EOL && !multiline);
        ok = b == '\n' || (b == 0 && p >= text_end);
        if (single) ok = ok && text_end - p <= 1;
        break;
      }
      case ANY:
        if (b == '\n' || (b == 0 && p >= text_end)) ok = false;
        else p = step_char(p);
        break;
      case ANY_S:
        if (b == 0 && p >= text_end) ok = false;
        else p = step_char(p);
        break;
      case CLASS: {
        unsigned code = b;
        const uchar* q = p;
        if (kanji && is_lead_byte(b) && p[1] != 0) {
          code = code << 8 | p[1];
          q = p + 1;
        }
        const uchar* bits = code < 256 ? class_bits_for(handle, node) : nullptr;
        const bool in = bits ? bit_set(bits, code) : class_contains(code, node + 3) != 0;
        if (!in || (code == 0 && p >= text_end)) ok = false;
        else p = q + 1;
        break;
      }
      case EXACT: {
        const int length = node[3];
        if (b != node[4] || text_end - p < length || std::memcmp(p, node + 4, length) != 0) ok = false;
        else p += length;
        break;
      }
      case WORD:
        if (!word_byte(b)) ok = false;
        else ++p;
        break;
      case NWORD:
        if ((b == 0 && p >= text_end) || word_byte(b)) ok = false;
        else p = step_char(p);
        break;
      case SPACE:
        if (!space_byte(b)) ok = false;
        else ++p;
        break;
      case NSPACE:
        if (b == 0 || space_byte(b)) ok = false;
        else p = step_char(p);
        break;
      case DIGIT:
        if (!digit_byte(b)) ok = false;
        else ++p;
        break;
      case NDIGIT:
        if ((b == 0 && p >= text_end) || digit_byte(b)) ok = false;
        else p = step_char(p);
        break;
      case WBOUND:
      case NWBOUND: {
        const bool before = word_byte(p == line_start ? prev_char : p[-1]);
        const bool here = word_byte(b);
        ok = op == WBOUND ? before != here : before == here;
        break;
      }
      case BACKREF: {
        const int32_t n = static_cast<int32_t>(node_arg(node));
        if (n > group_total) {
          ok = false;
          break;
        }
        const uchar* s = starts[n];
        const uchar* e = ends[n];
        if (s == nullptr || e == nullptr) {
          ok = false;
        } else if (s != e) {
          const ptrdiff_t length = e - s;
          if (length < 0 || b != *s || text_end - p < length || std::memcmp(p, s, length) != 0) {
            ok = false;
          } else {
            charge(length >> 3);
            p += length;
          }
        }
        break;
      }
      case OPEN: {
        const int32_t n = static_cast<int32_t>(node_arg(node));
        if (n < 1 || n > group_total) raise(kMsgMemoryCorruption);
        Entry& e = push(E_UNDO_OPEN);
        e.a = n;
        e.base = starts[n];
        e.b = open_high;
        starts[n] = p;
        open_high = std::max(open_high, n);
        break;
      }
      case CLOSE: {
        const int32_t n = static_cast<int32_t>(node_arg(node));
        if (n < 1 || n > group_total) raise(kMsgMemoryCorruption);
        Entry& e = push(E_UNDO_CLOSE);
        e.a = n;
        e.base = ends[n];
        e.b = *last_group;
        ends[n] = p;
        *last_group = std::max(*last_group, n);
        break;
      }
      case LAZY:
        lazy = true;
        break;
      case NOTHING:
      case BACK:
        break;
      case BRANCH:
        if (next == nullptr || next[0] != BRANCH) {
          next = node + 4;
        } else {
          int32_t slot;
          uint8_t context;
          if (memo_failed(node, p, loop, slot, context)) {
            ok = false;
            break;
          }
          Entry& e = push(E_BRANCH);
          set_memo(e, slot, context);
          e.node = node;
          e.pos = p;
          e.a = *last_group;
          next = node + 4;
          lazy = false;
        }
        break;
      case AHEAD:
      case NAHEAD: {
        const int32_t slot = memo ? memo->slot(node) : 0;
        if (slot && memo->ahead_known(slot, p, false)) {  // the body fails here
          ok = op == NAHEAD;
          break;
        }
        if (slot && memo->ahead_known(slot, p, true) && (op == NAHEAD || memo->ahead_skips_match(slot))) {
          ok = op == AHEAD;
          break;
        }
        Entry& e = push(op == AHEAD ? E_AHEAD : E_NAHEAD);
        set_memo(e, slot, 0);
        e.node = node;
        e.pos = p;
        e.lazy = lazy;
        e.frame = loop;
        e.b = static_cast<int32_t>(frames.size());
        e.known_run = save_top;
        barriers.push_back(stack.size() - 1);
        next = node + 4;
        lazy = false;
        break;
      }
      case REPEAT:
      case STAR:
      case PLUS: {
        uint32_t min = 0, max = REPEAT_INFINITE;
        const uchar* operand = node + 4;
        if (op == REPEAT) {
          min = repeat_min(node);
          max = repeat_max(node);
          operand = node + 8;
        } else if (op == PLUS) {
          min = 1;
        }
        if (next == nullptr) raise(kMsgCorruptPointers);
        const bool was_lazy = lazy;
        lazy = false;
        int32_t slot;
        uint8_t context;
        if (memo_failed(node, p, loop, slot, context)) {
          ok = false;
          break;
        }
        if (was_lazy) {
          const uchar* at = p;
          if (min > 0) {
            const size_t counted = count_repeat(operand, min, p);
            if (counted < min) {
              ok = false;
              break;
            }
            at = p + counted;
          }
          if (!(min <= max || (max == REPEAT_INFINITE && min > 0))) {
            ok = false;
            break;
          }
          Entry& e = push(E_LAZY);
          set_memo(e, slot, context);
          e.node = next;
          e.pos = p;
          e.base = p + min;
          e.a = static_cast<int32_t>(min);
          e.b = static_cast<int32_t>(max);
          e.operand = operand;
          e.known_pos = nullptr;
          if (worth_trying(e, at)) {
            p = at;
            break;  // go on with the continuation
          }
          ok = false;  // the entry takes the next byte
          break;
        }
        size_t n = count_repeat(operand, max, p);
        // Before an end-of-line anchor that ends the pattern, giving back cannot help.
        if (n > min && op_kind(next[0]) == EOL && (!multiline || next[0] == EOL_S) && next_node(next) &&
            next_node(next)[0] == END)
          min = static_cast<uint32_t>(n);
        if (n < min) {
          ok = false;
          break;
        }
        Entry& e = push(E_GREEDY);
        set_memo(e, slot, context);
        e.node = next;
        e.pos = p;
        e.base = p + n;
        e.a = static_cast<int32_t>(n);
        e.b = static_cast<int32_t>(min);
        e.known_pos = nullptr;
        if (slot && !kanji) {
          // The continuation may be known to fail from some way below the run's end.
          const FailureMemo::Run& known = memo->failed_run(slot);
          if (known.high == p + n && known.low <= p + n) {
            e.a = static_cast<int32_t>(std::max<ptrdiff_t>(known.low - p, e.b));
            ok = false;
            break;
          }
        }
        if (worth_trying(e, p + n)) {
          p = p + n;
          break;
        }
        ok = false;  // the entry backs off
        break;
      }
      case REPEAT_X: {
        if (next == nullptr) raise(kMsgCorruptPointers);
        LoopFrame f;
        f.group_floor = *last_group;
        f.count = -1;
        f.min = repeat_min(node);
        f.max = repeat_max(node);
        f.lazy = lazy;
        f.body = node + 8;
        f.after = next;
        f.last_pos = nullptr;
        f.outer = loop;
        if (f.after[-4] != REPEAT_LOOP) raise(kMsgCorruptPointers);
        int32_t slot;
        uint8_t context;
        if (memo_failed(node, p, loop, slot, context)) {
          ok = false;
          break;
        }
        frames.push_back(f);
        loop = static_cast<int32_t>(frames.size() - 1);
        Entry& e = push(E_LOOP_EXIT);
        set_memo(e, slot, context);
        e.memo_floor = loop;  // the new loop's own count is no context
        e.pos = p;
        e.frame = loop;
        lazy = false;
        next = f.after - 4;  // the REPEAT_LOOP that ends the body
        break;
      }
      case REPEAT_LOOP: {
        const int32_t index = loop;
        if (index == 0) raise(kMsgCorruptPointers);
        LoopFrame& f = frames[index];
        const int32_t n = f.count + 1;
        input = p;
        lazy = false;
        int32_t slot = 0;
        uint8_t context = 0;
        if (p == f.last_pos) {
          Entry& e = push(E_OUTER_COUNT);
          e.frame = index;
          e.a = frames[f.outer].count;
          loop = f.outer;
          next = f.after;
        } else if (static_cast<uint32_t>(n) < f.min) {
          Entry& e = push(E_COUNT);
          e.frame = index;
          e.a = n - 1;
          e.base = f.last_pos;
          count_decided(index);
          f.count = n;
          f.last_pos = p;
          next = f.body;
        } else if (memo_failed(node, p, f.outer, slot, context)) {
          ok = false;
        } else if (f.lazy) {
          Entry& e = push(E_LAZY_LOOP);
          set_memo(e, slot, context);
          e.frame = index;
          e.a = frames[f.outer].count;
          e.b = n;
          e.pos = p;
          loop = f.outer;
          next = f.after;
        } else if (static_cast<uint32_t>(n) < f.max) {
          push_groups(f.group_floor);
          Entry& e = push(E_GREEDY_LOOP);
          set_memo(e, slot, context);
          e.frame = index;
          e.b = n;
          e.pos = p;
          e.base = f.last_pos;
          f.count = n;
          f.last_pos = p;
          next = f.body;
        } else {
          Entry& e = push(E_GREEDY_AFTER);
          e.frame = index;
          e.a = frames[f.outer].count;
          e.b = n;
          e.pos = p;
          e.base = f.last_pos;
          count_decided(index);
          loop = f.outer;
          next = f.after;
        }
        break;
      }
      default:
        raise(kMsgMemoryCorruption);
    }
    if (ok) {
      if (next == nullptr) raise(kMsgCorruptPointers);
      node = next;
      continue;
    }
    if (!backtrack(node, p, lazy)) return false;
  }
}

// The allocations of a MatchState, handed from one call of a run to the next.
struct Scratch {
  std::vector<LoopFrame> frames;
  std::vector<Entry> stack;
  std::vector<size_t> barriers;
  uint32_t* save = nullptr;
  size_t save_capacity = 0;
  ~Scratch() { std::free(save); }
};

// Lends the run's scratch to a MatchState for one call and takes it back after.
class ScratchLoan {
 public:
  ScratchLoan(MatchState& ms, MatchRun* run) : ms_(ms), cache_(run) {
    if (!cache_->scratch) cache_->scratch = new Scratch;
    auto* s = static_cast<Scratch*>(cache_->scratch);
    ms_.frames.swap(s->frames);
    ms_.stack.swap(s->stack);
    ms_.barriers.swap(s->barriers);
    std::swap(ms_.save, s->save);
    std::swap(ms_.save_capacity, s->save_capacity);
  }
  ~ScratchLoan() {
    auto* s = static_cast<Scratch*>(cache_->scratch);
    ms_.frames.clear();
    ms_.stack.clear();
    ms_.barriers.clear();
    ms_.frames.swap(s->frames);
    ms_.stack.swap(s->stack);
    ms_.barriers.swap(s->barriers);
    std::swap(ms_.save, s->save);
    std::swap(ms_.save_capacity, s->save_capacity);
  }

 private:
  MatchState& ms_;
  MatchRun* cache_;
};

struct TryContext {
  MatchState& ms;
  RegexHandle* h;
  const uchar* program_start;

  bool try_at(const uchar* pos) {
    ms.input = pos;
    *ms.last_group = 0;
    ms.open_high = 0;
    if (h->group_count > 0) {
      for (int32_t g = 0; g <= h->group_count; ++g) {
        ms.starts[g] = nullptr;
        ms.ends[g] = nullptr;
      }
    }
    ms.stack.clear();
    ms.barriers.clear();
    ms.frames.resize(1);
    ms.loop = 0;
    ms.save_top = 0;
    if (ms.match_nodes(program_start, pos) && ms.input >= ms.min_end) {
      ms.starts[0] = pos;
      ms.ends[0] = ms.input;
      return true;
    }
    return false;
  }
};

void fold_range(uchar* p, const uchar* end, bool kanji) {
  if (!kanji) {
    // Branch-free, so that the compiler can do many bytes at a time.
    for (; p < end; ++p) *p = static_cast<uchar>(*p + ((static_cast<unsigned>(*p) - 'A' < 26u) << 5));
    return;
  }
  while (p < end) {
    if (kanji && is_lead_byte(*p) && p + 1 < end) {
      p += 2;
      continue;
    }
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<uchar>(*p + 32);
    ++p;
  }
}

// The folded text for [start, end]; from the cache when its alignment allows.
const uchar* folded_text(const uchar* start, const uchar* end, bool kanji, FoldCache* cache) {
  if (cache->copy && cache->end == end && cache->kanji == kanji && cache->origin <= start) {
    const uchar* b = cache->boundary;
    if (!kanji) return cache->copy + (start - cache->origin);
    if (b <= start) {
      while (b < start) b = (is_lead_byte(*b) && b + 1 < end) ? b + 2 : b + 1;
      if (b == start) {
        cache->boundary = start;
        return cache->copy + (start - cache->origin);
      }
    }
  }
  const size_t length = static_cast<size_t>(end - start) + 1;
  auto* copy = static_cast<uchar*>(rx_malloc(length));
  if (!copy) raise(kMsgLackOfMemory);
  std::memcpy(copy, start, length);
  fold_range(copy, copy + (end - start), kanji);
  std::free(cache->copy);
  cache->copy = copy;
  cache->origin = start;
  cache->end = end;
  cache->boundary = start;
  cache->kanji = kanji;
  ++cache->generation;
  return copy;
}

// Sets the memo and the work limits of a search over [start, end]: a memo that an
// earlier search of the run left is kept when it still holds; otherwise the search
// runs without one until it has done more work than its text and program explain.
void plan_work(MatchState& ms, MatchRun& run, const uchar* start, const uchar* end, int64_t budget) {
  const RegexHandle* h = ms.handle;
  ms.run = &run;
  ms.text_generation = h->fold ? run.fold.generation : 0;
  if (run.memo && !run.memo->serves(start, end, ms.text_generation)) run.memo.reset();
  ms.memo = run.memo.get();
  ms.work_left = budget;
  ms.reserve = 0;
  if (ms.memo) {
    ms.work_left += ms.memo_allowance();
  } else if (run.memo_mode == MemoMode::kAlways) {
    ms.start_memo();
    if (ms.memo) ms.work_left += ms.memo_allowance();
  } else if (run.memo_mode == MemoMode::kAutomatic) {
    ms.memo_possible = true;
    const int64_t explained = 16 * (static_cast<int64_t>(end - start) + h->program_length) + 1024;
    if (explained < budget) {
      ms.work_left = explained;
      ms.reserve = budget - explained;
    }
  }
}

}  // namespace

FoldCache::~FoldCache() { std::free(copy); }

MatchRun::~MatchRun() { delete static_cast<Scratch*>(scratch); }

int exec_match(RegexHandle* h, const uchar* start, const uchar* end, const uchar* base, int min_end,
               MatchRun* run, int64_t budget) {
  if (h == nullptr || start == nullptr || end == nullptr || start >= end) return 0;
  MatchRun single;  // the run of a search that has none
  if (run == nullptr) run = &single;
  MatchState ms;
  ScratchLoan loan(ms, run);
  const bool multiline = (h->flags & OPT_MULTILINE) != 0;
  const bool kanji = (h->flags & OPT_KANJI) != 0;
  ms.multiline = multiline;
  ms.kanji = kanji;
  if (start == base || base == nullptr) {
    ms.prev_char = '\n';
  } else {
    ms.prev_char = start[-1];
    if (!multiline && ms.prev_char == '\n') ms.prev_char = 0;
  }
  ms.group_total = h->group_count;
  ms.handle = h;
  if (h->program_length < 1 || h->program[0] != PROGRAM_MAGIC) raise(kMsgCorruptProgram);

  const uchar* const caller_start = start;
  if (h->fold) {
    const uchar* folded = folded_text(start, end, kanji, &run->fold);
    end = folded + (end - start);
    start = folded;
  }

  const uchar* s = start;
  size_t minimum = 0;
  LiteralBuf* must = h->must_literal;
  if (must && (!(h->anchor_flags & ANCHOR_BOL) || (multiline && h->must_offset >= 0))) {
    const uchar* f = literal_find(start, end, must, multiline, kanji);
    if (!f) {
      ++must->useful;
      return 0;
    }
    if (h->must_offset >= 0) {
      s = f - start > h->must_offset ? f - h->must_offset : start;
      minimum = static_cast<size_t>(h->must_offset) + must->length;
    } else {
      bool dropped = false;
      if (!h->expensive && --must->useful < 0) {
        literal_free(must);
        h->must_literal = nullptr;
        dropped = true;
      }
      if (!dropped) minimum = static_cast<size_t>(must->length);
    }
  }
  if (kanji && char_position(start, s) == 2) s = start;

  ms.line_start = start;
  ms.text_end = end;
  ms.origin = start;
  ms.min_end = start + min_end;
  ms.starts = h->match_starts;
  ms.ends = h->match_ends;
  ms.last_group = &h->last_group;
  plan_work(ms, *run, start, end, budget);
  ms.frames.clear();
  ms.frames.push_back(LoopFrame{0, 0, 0, 0, false, nullptr, nullptr, nullptr, 0});
  TryContext t{ms, h, h->program + 1};

  auto char_step = [&](const uchar* p) { return (kanji && is_lead_byte(*p) && p + 1 < end) ? p + 2 : p + 1; };
  const size_t skip = minimum > 0 ? minimum - 1 : 0;
  const uchar* limit = static_cast<size_t>(end - start) > skip ? end - skip : start;
  bool found = false;

  if (h->anchor_flags & ANCHOR_BOL) {
    found = t.try_at(start);
    if (!found && (multiline || (h->anchor_flags & ANCHOR_IMPLICIT))) {
      if (s > start) --s;
      while (s < limit) {
        const uchar c = *s++;
        if (c == '\n') {
          if (s >= limit) break;
          if ((found = t.try_at(s))) break;
        }
      }
    }
  } else if (h->first_literal && (h->anchor_flags & ANCHOR_SKIP)) {
    const uchar f0 = h->first_literal->data[0];
    while (s < end) {
      if (*s != f0) {
        s = kanji ? char_step(s) : s + 1;
        continue;
      }
      if ((found = t.try_at(s))) break;
      s = char_step(s);
      while (s < end && *s == f0) s = char_step(s);
      // In double-byte mode the next attempt starts on a character, never inside one.
      if (s < end) s = kanji ? char_step(s) : s + 1;
    }
  } else if (h->first_literal) {
    const uchar* text = h->first_literal->data;
    for (;;) {
      s = plain_find(s, end, text, text + h->first_literal->length, kanji);
      if (!s) break;
      if ((found = t.try_at(s))) break;
      s = char_step(s);
      if (s >= end) break;
    }
  } else if (h->first_node) {
    const uchar* fn = h->first_node;
    const bool every = !(h->anchor_flags & ANCHOR_SKIP);
    auto scan = [&](auto test) {
      bool ok = true;
      while (s < limit) {
        if (test(s)) {
          if (ok && (found = t.try_at(s))) return;
          ok = every;
        } else {
          ok = true;
        }
        s = char_step(s);
      }
    };
    switch (fn[0]) {
      case CLASS: {
        const uchar* bits = class_bits_for(h, fn);
        scan([&](const uchar* q) {
          if (kanji && is_lead_byte(*q) && q + 1 < limit) return class_contains(static_cast<unsigned>(*q) << 8 | q[1], fn + 3) != 0;
          return bits ? bit_set(bits, *q) : class_contains(*q, fn + 3) != 0;
        });
        break;
      }
      case WORD: scan([&](const uchar* q) { return word_byte(*q); }); break;
      case SPACE: scan([&](const uchar* q) { return space_byte(*q); }); break;
      case DIGIT: scan([&](const uchar* q) { return digit_byte(*q); }); break;
      case NWORD: scan([&](const uchar* q) { return !word_byte(*q); }); break;
      case NSPACE: scan([&](const uchar* q) { return !space_byte(*q); }); break;
      case NDIGIT: scan([&](const uchar* q) { return !digit_byte(*q); }); break;
      case WBOUND:
      case NWBOUND: {
        const bool wbound = fn[0] == WBOUND;
        const uchar* lim = limit;
        if (minimum > 0 && lim > s) --lim;
        bool word = word_byte(s == start ? ms.prev_char : s[-1]);
        while (s < lim && !found) {
          const bool here = word_byte(*s);
          if (here != word) {
            word = !word;
            if (wbound) found = t.try_at(s);
          } else if (!wbound) {
            found = t.try_at(s);
          }
          if (!found) s = char_step(s);
        }
        if (!found && (minimum > 0 || (wbound ? word : !word)) && s <= end) found = t.try_at(s);
        break;
      }
      default:
        break;
    }
  } else if (h->start_known && !kanji) {
    // Only where a match can start: the byte must be one it can begin with.
    for (;;) {
      while (s < limit && !bit_set(h->start_bits, *s)) ++s;
      if ((found = t.try_at(s))) break;
      if (s < limit) ++s;
      else break;
    }
  } else if (h->start_known) {
    for (;;) {
      while (s < limit && !bit_set(h->start_bits, *s)) s = char_step(s);
      if ((found = t.try_at(s))) break;
      const uchar* u = (is_lead_byte(*s) && s + 1 < end) ? s + 1 : s;
      if (u < limit) s = u + 1;
      else break;
    }
  } else {
    for (;;) {
      if ((found = t.try_at(s))) break;
      const uchar* u = (kanji && is_lead_byte(*s) && s + 1 < end) ? s + 1 : s;
      if (u < limit) s = u + 1;
      else break;
    }
  }
  if (!found) return 0;

  h->subject_begin = base;
  h->subject_end = caller_start + (end - start);
  if (h->fold) {
    for (int32_t g = 0; g <= h->group_count; ++g) {
      if (h->match_ends[g] == nullptr) continue;
      if (h->match_starts[g]) h->match_starts[g] = caller_start + (h->match_starts[g] - start);
      h->match_ends[g] = caller_start + (h->match_ends[g] - start);
    }
  }
  return 1;
}

}  // namespace regex_internal

int rx_exec(RegexHandle* handle, const char* start, const char* end, const char* base, int min_end,
            char* message) noexcept {
  using namespace regex_internal;
  if (message) message[0] = '\0';
  try {
    return exec_match(handle, reinterpret_cast<const unsigned char*>(start),
                      reinterpret_cast<const unsigned char*>(end), reinterpret_cast<const unsigned char*>(base),
                      min_end, nullptr);
  } catch (const Failure& f) {
    copy_message(message, f.text);
  } catch (const std::bad_alloc&) {
    copy_message(message, kMsgLackOfMemory);
  } catch (...) {
    copy_message(message, kMsgFatal);
  }
  return 0;
}
