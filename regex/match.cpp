// Matcher: the steps of the backtracking machine and how it backtracks.
#include "regex/match.h"

#include <cstring>

namespace regex_internal {

void MatchState::out_of_work() {
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

void MatchState::push_groups(int32_t floor) {
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

void MatchState::pop_groups() {
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

namespace {

// Runs up to this long (a word, a number, a field of a line) are walked a byte at a
// time: sooner than setting up the block scan.
constexpr ptrdiff_t kNearRun = 48;

// The end of the run of bytes from q that in accepts, r holding the same set: the first
// bytes one at a time, the rest by the block scan.
template <typename In>
const uchar* skip_run(const uchar* q, const uchar* limit, In in, const ByteRanges& r) {
  for (const uchar* near = q + std::min(kNearRun, limit - q); q < near; ++q)
    if (!in(*q)) return q;
  return q < limit ? skip_ranges(q, limit, r) : q;
}

// The same for a run of bytes outside the set: it ends at the first byte in it.
template <typename In>
const uchar* skip_run_outside(const uchar* q, const uchar* limit, In in, const ByteRanges& r) {
  for (const uchar* near = q + std::min(kNearRun, limit - q); q < near; ++q)
    if (in(*q)) return q;
  return q < limit ? find_in_ranges(q, limit, r) : q;
}

}  // namespace

size_t MatchState::count_repeat(const uchar* o, uint32_t max, const uchar* q) {
  const uchar* const end = repeat_end(o, max, q);
  // A class test per character costs about a node visit; plain byte tests less.
  charge(static_cast<int64_t>((end - q) >> (o[0] == CLASS ? 0 : 3)));
  return static_cast<size_t>(end - q);
}

const uchar* MatchState::repeat_end(const uchar* o, uint32_t max, const uchar* q) const {
  const uchar* limit = text_end;
  if (max != REPEAT_INFINITE && static_cast<ptrdiff_t>(max) < text_end - q) limit = q + max;
  auto pass_char = [&](const uchar* p) {
    return (kanji && is_lead_byte(*p) && p + 1 < text_end) ? p + 2 : p + 1;
  };
  switch (o[0]) {
    case ANY:
      if (!kanji) {
        const void* newline = std::memchr(q, '\n', static_cast<size_t>(limit - q));
        q = newline ? static_cast<const uchar*>(newline) : limit;
        break;
      }
      while (q < limit && *q != '\n') q = pass_char(q);
      break;
    case ANY_S:
      q = limit;
      break;
    case CLASS: {
      const ClassTables::Entry* entry = class_entry_for(handle, o);
      const bool block_scan = entry && entry->run.count > 0;
      auto single = [&](uchar c) { return !(kanji && is_lead_byte(c)) && bit_set(entry->bits, c); };
      while (q < limit) {
        if (kanji && is_lead_byte(*q)) {
          if (q + 1 >= limit || !class_contains(static_cast<unsigned>(*q) << 8 | q[1], o + 3)) break;
          q += 2;
          continue;
        }
        if (entry ? !bit_set(entry->bits, *q) : !class_contains(*q, o + 3)) break;
        // The bytes the class takes one at a time go by blocks; a lead byte stops the scan.
        q = block_scan ? skip_run(q + 1, limit, single, entry->run) : q + 1;
      }
      break;
    }
    case EXACT:
      while (q < limit && *q == o[4]) ++q;
      break;
    case WORD:
      q = skip_run(q, limit, word_byte, kWordRanges);
      break;
    case SPACE:
      q = skip_run(q, limit, space_byte, kSpaceRanges);
      break;
    case DIGIT:
      q = skip_run(q, limit, digit_byte, kDigitRanges);
      break;
    // In double-byte mode a character's second byte may be one of the set's bytes, so
    // the block scan serves byte mode only; the loops then find q already at the end.
    case NWORD:
      if (!kanji) q = skip_run_outside(q, limit, word_byte, kWordRanges);
      while (q < limit && !word_byte(*q)) q = pass_char(q);
      break;
    case NSPACE:
      if (!kanji) q = skip_run_outside(q, limit, space_byte, kSpaceRanges);
      while (q < limit && !space_byte(*q)) q = pass_char(q);
      break;
    case NDIGIT:
      if (!kanji) q = skip_run_outside(q, limit, digit_byte, kDigitRanges);
      while (q < limit && !digit_byte(*q)) q = pass_char(q);
      break;
    default:
      break;
  }
  return q;
}

// Whether the continuation, past nodes that match empty without a choice, is a
// literal whose first byte the one-character node o never takes as a character of its
// own. Every position a greedy repeat could give back holds a character o took, so
// there the literal cannot start: the repeat keeps all it took.
bool MatchState::never_before_literal(const uchar* o, const uchar* next) const {
  next = past_marks(next);
  if (next == nullptr || next[0] != EXACT) return false;
  const uchar c = next[4];
  if (kanji && is_lead_byte(c)) return false;
  switch (o[0]) {
    case ANY:
      return c == '\n';
    case EXACT:
      return o[4] != c;
    case CLASS: {
      const uchar* bits = class_bits_for(handle, o);
      return !(bits ? bit_set(bits, c) : class_contains(c, o + 3) != 0);
    }
    case WORD:
      return !word_byte(c);
    case NWORD:
      return word_byte(c);
    case SPACE:
      return !space_byte(c);
    case NSPACE:
      return space_byte(c);
    case DIGIT:
      return !digit_byte(c);
    case NDIGIT:
      return digit_byte(c);
    default:
      return false;  // ANY_S takes every byte
  }
}

namespace {

// The byte a continuation must begin with, where it begins with a literal past group
// marks; kNoLiteralByte else.
int16_t first_literal_byte(const uchar* next) {
  const uchar* cont = past_marks(next);
  return cont && cont[0] == EXACT && cont[3] > 0 ? cont[4] : kNoLiteralByte;
}

}  // namespace

const RepeatFacts& MatchState::learn_repeat_facts(const uchar* node, const uchar* operand,
                                                  const uchar* next) {
  if (facts_handle != handle) {
    repeat_facts.assign(static_cast<size_t>(handle->program_length), RepeatFacts{});
    facts_handle = handle;
  }
  RepeatFacts& f = repeat_facts[static_cast<size_t>(node - handle->program)];
  f.known = true;
  // Before an end-of-line anchor that ends the pattern, or a literal whose first byte
  // the repeat cannot take, giving back cannot help. Nor when the match ends right after
  // it: the first END reached is the match, and in byte mode nothing can stop the
  // continuation on the way.
  const bool line_end_ends = op_kind(next[0]) == EOL && (!multiline || next[0] == EOL_S) && next_node(next) &&
                             next_node(next)[0] == END;
  f.keeps_all = line_end_ends || never_before_literal(operand, next) || (!kanji && ends_match(next));
  f.literal_byte = first_literal_byte(next);
  return f;
}

// Whether next, past group marks and empty nodes, ends the whole match.
bool MatchState::ends_match(const uchar* next) {
  next = past_marks(next);
  return next != nullptr && next[0] == END;
}

// Whether a simple repeat's continuation is worth running at q: never inside a
// double-byte character, and only where the continuation's first literal byte is.
bool MatchState::worth_trying(Entry& e, const uchar* q) {
  if (e.literal_byte == kLiteralByteUnknown) e.literal_byte = first_literal_byte(e.node);
  if (e.literal_byte != kNoLiteralByte && *q != e.literal_byte) return false;
  if (!kanji) return true;
  // The same measure as char_position(e.pos, q), remembering the last lead-byte run
  // in the entry, so that backing off or moving on byte by byte stays linear.
  const uchar* known_pos = e.known_offset ? e.pos + (e.known_offset - 1) : nullptr;
  size_t run;
  if (known_pos && q >= known_pos) {
    const uchar* s = q;
    while (s > known_pos && is_lead_byte(s[-1])) --s;
    run = s == known_pos ? e.known_run + static_cast<size_t>(q - known_pos) : static_cast<size_t>(q - s);
  } else if (known_pos && static_cast<size_t>(known_pos - q) <= e.known_run) {
    run = e.known_run - static_cast<size_t>(known_pos - q);
  } else {
    const uchar* s = q;
    while (s > e.pos && is_lead_byte(s[-1])) --s;
    run = static_cast<size_t>(q - s);
  }
  e.known_offset = static_cast<uint32_t>(q - e.pos) + 1;
  e.known_run = static_cast<uint32_t>(run);
  return (run & 1) == 0;
}

// The first place after from, up to the end of from's line, where the literal node
// after a lazy . begins (it may run on past the newline); null when there is none.
// line_end receives the end of from's line. A miss holds for every later start on the
// same line, so it is remembered for the rest of the search.
const uchar* MatchState::find_lazy_literal(const uchar* literal, const uchar* from, const uchar*& line_end) {
  if (lazy_literal_node == literal && from >= lazy_miss_from && from < lazy_miss_line_end) {
    line_end = lazy_miss_line_end;
    return nullptr;
  }
  line_end = from < text_end
                 ? static_cast<const uchar*>(std::memchr(from, '\n', static_cast<size_t>(text_end - from)))
                 : from;
  if (line_end == nullptr) line_end = text_end;
  if (line_end <= from) return nullptr;
  const int32_t length = literal[3];
  const uchar* search_end = text_end - line_end > length ? line_end + length : text_end;
  if (lazy_literal_node != literal) {
    lazy_literal.emplace(literal + 4, length, false, false);
    lazy_literal_node = literal;
    lazy_miss_line_end = nullptr;
  }
  const uchar* found = lazy_literal->find(from + 1, search_end);
  if (!found) {
    lazy_miss_from = from;
    lazy_miss_line_end = line_end;
  }
  return found;
}

// A greedy simple repeat gives back bytes until the continuation is worth trying
// where it stops: that place, or null when the repeat is down to its minimum.
const uchar* MatchState::give_back(Entry& e) {
  // e.a: bytes the repeat currently takes; e.b: its minimum; e.base: the end of the
  // run it took. The continuation has failed at every position from pos + a to the
  // run's end.
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
    if (worth_trying(e, e.pos + e.a)) return e.pos + e.a;
  }
  return nullptr;
}

// A lazy simple repeat takes characters until the continuation is worth trying where
// it stops: that place, or null when the repeat can take no more.
const uchar* MatchState::take_more(Entry& e) {
  // e.base: next start; e.a: k; e.b: max.
  const uchar* literal = past_marks(e.node);
  if (!kanji && handle->program[e.frame] == ANY && literal && literal[0] == EXACT && literal[3] > 0 &&
      e.b == REPEAT_INFINITE) {
    // Byte by byte, the repeat would stop at each place up to the line's end, and the
    // continuation fail at once wherever the literal is not whole: go to the first
    // place where it is (it may run on past the newline).
    const uchar* line_end = nullptr;
    const uchar* q = find_lazy_literal(literal, e.base, line_end);
    if (line_end <= e.base) return nullptr;
    const uchar* stop = q ? q : line_end;
    charge(stop - e.base);
    e.a += static_cast<int32_t>(stop - e.base);
    e.base = stop;
    return q;
  }
  for (;;) {
    if (count_repeat(handle->program + e.frame, 1, e.base) == 0) return nullptr;
    ++e.a;
    ++e.base;
    if (!(static_cast<uint32_t>(e.a) <= static_cast<uint32_t>(e.b) || (e.b == REPEAT_INFINITE && e.a > 0)))
      return nullptr;
    charge(1);
    if (worth_trying(e, e.base)) return e.base;
  }
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
      case E_GREEDY:
      case E_LAZY:
        if (const uchar* q = e.kind == E_GREEDY ? give_back(e) : take_more(e)) {
          node = e.node;
          p = q;
          lazy = false;
          return true;
        }
        break;
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

// Nodes that match at most one way here: anchors, characters, literals,
// back-references and group marks.
// A reference: the text its group took, again at p (an empty or unset group's text
// is empty or fails).
inline bool MatchState::match_reference(const uchar* node, const uchar*& p) {
  const int32_t n = static_cast<int32_t>(node_arg(node));
  if (n > group_total) return false;
  const uchar* s = starts[n];
  const uchar* e = ends[n];
  if (s == nullptr || e == nullptr) return false;
  if (s == e) return true;
  const ptrdiff_t length = e - s;
  if (length < 0 || *p != *s || text_end - p < length || std::memcmp(p, s, length) != 0) return false;
  charge(length >> 3);
  p += length;
  return true;
}

inline bool MatchState::match_step(const uchar* node, const uchar*& p) {
  const uchar op = node[0];
  const uchar b = *p;
  bool ok = true;
  switch (op) {
    case BOL:
    case BOL_M:
      if (p == line_start)
        ok = prev_char == '\n';
      else
        ok = (b != 0 || p < text_end) && p[-1] == '\n';
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
      if (b == '\n' || (b == 0 && p >= text_end))
        ok = false;
      else
        p = step_char(p);
      break;
    case ANY_S:
      if (b == 0 && p >= text_end)
        ok = false;
      else
        p = step_char(p);
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
      if (!in || (code == 0 && p >= text_end))
        ok = false;
      else
        p = q + 1;
      break;
    }
    case EXACT: {
      const int length = node[3];
      // The first byte is compared already.
      if (b != node[4] || text_end - p < length ||
          (length > 1 && std::memcmp(p + 1, node + 5, length - 1) != 0))
        ok = false;
      else
        p += length;
      break;
    }
    case WORD:
      if (!word_byte(b))
        ok = false;
      else
        ++p;
      break;
    case NWORD:
      if ((b == 0 && p >= text_end) || word_byte(b))
        ok = false;
      else
        p = step_char(p);
      break;
    case SPACE:
      if (!space_byte(b))
        ok = false;
      else
        ++p;
      break;
    case NSPACE:
      if (b == 0 || space_byte(b))
        ok = false;
      else
        p = step_char(p);
      break;
    case DIGIT:
      if (!digit_byte(b))
        ok = false;
      else
        ++p;
      break;
    case NDIGIT:
      if ((b == 0 && p >= text_end) || digit_byte(b))
        ok = false;
      else
        p = step_char(p);
      break;
    case WBOUND:
    case NWBOUND: {
      const bool before = word_byte(p == line_start ? prev_char : p[-1]);
      const bool here = word_byte(b);
      ok = op == WBOUND ? before != here : before == here;
      break;
    }
    case BACKREF:
      ok = match_reference(node, p);
      break;
    case OPEN: {
      const int32_t n = static_cast<int32_t>(node_arg(node));
      if (n < 1 || n > group_total) raise(kMsgMemoryCorruption);
      if (undo_needed()) {
        Entry& e = push(E_UNDO_OPEN);
        e.a = n;
        e.base = starts[n];
        e.b = open_high;
      }
      starts[n] = p;
      open_high = std::max(open_high, n);
      break;
    }
    case CLOSE: {
      const int32_t n = static_cast<int32_t>(node_arg(node));
      if (n < 1 || n > group_total) raise(kMsgMemoryCorruption);
      if (undo_needed()) {
        Entry& e = push(E_UNDO_CLOSE);
        e.a = n;
        e.base = ends[n];
        e.b = *last_group;
      }
      ends[n] = p;
      *last_group = std::max(*last_group, n);
      break;
    }
    default:
      raise(kMsgMemoryCorruption);
  }
  return ok;
}

// A look-ahead body has reached its end: its choice points go. A positive one keeps
// the groups it set (undone if the match later backtracks past it); a negative one
// fails, and its groups are undone at once.
bool MatchState::look_ahead_matched(const uchar*& p, const uchar*& next, bool& lazy) {
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
    return false;
  }
  p = e.pos;
  lazy = e.lazy;
  next = next_node(e.node);
  return true;
}

// An alternation: a choice point when there is more than one alternative.
inline bool MatchState::enter_branch(const uchar* node, const uchar*& p, const uchar*& next, bool& lazy) {
  if (next == nullptr || next[0] != BRANCH) {
    next = node + 4;
  } else {
    int32_t slot;
    uint8_t context;
    if (memo_failed(node, p, loop, slot, context)) {
      return false;
    }
    Entry& e = push(E_BRANCH);
    set_memo(e, slot, context);
    e.node = node;
    e.pos = p;
    e.a = *last_group;
    next = node + 4;
    lazy = false;
  }
  return true;
}

// A look-ahead: its body runs with a barrier below its choice points.
bool MatchState::enter_look_ahead(const uchar* node, const uchar*& p, const uchar*& next, bool& lazy) {
  const uchar op = node[0];
  const int32_t slot = memo ? memo->slot(node) : 0;
  if (slot && memo->ahead_known(slot, p, false)) {  // the body fails here
    return op == NAHEAD;
  }
  if (slot && memo->ahead_known(slot, p, true) && (op == NAHEAD || memo->ahead_skips_match(slot))) {
    return op == AHEAD;
  }
  Entry& e = push(op == AHEAD ? E_AHEAD : E_NAHEAD);
  set_memo(e, slot, 0);
  e.node = node;
  e.pos = p;
  e.lazy = lazy;
  e.frame = loop;
  e.b = static_cast<int32_t>(frames.size());
  e.known_run = static_cast<uint32_t>(save_top);
  barriers.push_back(stack.size() - 1);
  next = node + 4;
  lazy = false;
  return true;
}

// A simple repeat: counted by count_repeat, then backed off (greedy) or extended
// (lazy) one byte at a time by its choice point.
inline bool MatchState::enter_simple_repeat(const uchar* node, const uchar*& p, const uchar*& next,
                                            bool& lazy) {
  const uchar op = node[0];
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
    return false;
  }
  if (was_lazy) {
    const uchar* at = p;
    if (min > 0) {
      const size_t counted = count_repeat(operand, min, p);
      if (counted < min) {
        return false;
      }
      at = p + counted;
    }
    if (!(min <= max || (max == REPEAT_INFINITE && min > 0))) {
      return false;
    }
    Entry& e = push(E_LAZY);
    set_memo(e, slot, context);
    e.node = next;
    e.pos = p;
    e.base = p + min;
    e.a = static_cast<int32_t>(min);
    e.b = static_cast<int32_t>(max);
    e.frame = static_cast<int32_t>(operand - handle->program);
    e.known_offset = 0;
    if (worth_trying(e, at)) {
      p = at;
      return true;  // go on with the continuation
    }
    return false;  // the entry takes the next byte
  }
  const RepeatFacts& facts = repeat_facts_for(node, operand, next);
  size_t n = count_repeat(operand, max, p);
  if (n > min && facts.keeps_all) min = static_cast<uint32_t>(n);
  if (n < min) {
    return false;
  }
  if (n == min && slot == 0) {
    // Nothing to give back and no failure to remember: no choice point.
    Entry probe;
    probe.literal_byte = facts.literal_byte;
    probe.node = next;
    probe.pos = p;
    probe.known_offset = 0;
    if (!worth_trying(probe, p + n)) return false;
    p += n;
    return true;
  }
  Entry& e = push(E_GREEDY);
  set_memo(e, slot, context);
  e.literal_byte = facts.literal_byte;
  e.node = next;
  e.pos = p;
  e.base = p + n;
  e.a = static_cast<int32_t>(n);
  e.b = static_cast<int32_t>(min);
  e.known_offset = 0;
  if (slot && !kanji) {
    // The continuation may be known to fail from some way below the run's end.
    const FailureMemo::Run& known = memo->failed_run(slot);
    if (known.high == p + n && known.low <= p + n) {
      e.a = static_cast<int32_t>(std::max<ptrdiff_t>(known.low - p, e.b));
      return false;
    }
  }
  if (worth_trying(e, p + n)) {
    p = p + n;
    return true;
  }
  return false;  // the entry backs off
}

// A complex repeat: a loop frame, then the REPEAT_LOOP that ends its body decides.
bool MatchState::enter_complex_repeat(const uchar* node, const uchar*& p, const uchar*& next, bool& lazy) {
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
    return false;
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
  return true;
}

// The end of a pass of the innermost complex repeat: another pass, or what follows.
bool MatchState::end_pass(const uchar* node, const uchar*& p, const uchar*& next, bool& lazy) {
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
    return false;
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
  return true;
}

// Runs the program from node at p; true when the top-level END is reached.
bool MatchState::match_nodes(const uchar* node, const uchar* p) {
  bool lazy = false;
  for (;;) {
    if (node == nullptr) raise(kMsgCorruptPointers);
    charge(1);
    const uchar* next = next_node(node);
    bool ok = true;  // false: fail
    switch (node[0]) {
      case END:
      case SUCCEED:
        if (barriers.empty()) {
          input = p;
          return true;
        }
        ok = look_ahead_matched(p, next, lazy);
        break;
      case LAZY:
        lazy = true;
        break;
      case NOTHING:
      case BACK:
        break;
      case BRANCH:
        ok = enter_branch(node, p, next, lazy);
        break;
      case AHEAD:
      case NAHEAD:
        ok = enter_look_ahead(node, p, next, lazy);
        break;
      case REPEAT:
      case STAR:
      case PLUS:
        ok = enter_simple_repeat(node, p, next, lazy);
        break;
      case REPEAT_X:
        ok = enter_complex_repeat(node, p, next, lazy);
        break;
      case REPEAT_LOOP:
        ok = end_pass(node, p, next, lazy);
        break;
      default:
        ok = match_step(node, p);
    }
    if (ok) {
      if (next == nullptr) raise(kMsgCorruptPointers);
      node = next;
      continue;
    }
    if (!backtrack(node, p, lazy)) return false;
  }
}

}  // namespace regex_internal
