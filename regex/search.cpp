// Search: where the matcher is started (anchors, leading literals and nodes, the
// set of possible first bytes), the work limits of a search and the public rx_exec.
#include <algorithm>
#include <cstring>
#include <optional>

#include "regex/match.h"

namespace regex_internal {
namespace {

// The start set of the run's pattern as byte ranges, measured once per run.
const ByteRanges& start_ranges(MatchRun& run, const RegexHandle* h) {
  if (!run.start_ranges_known) {
    run.start_ranges = byte_ranges(h->start_bits);
    run.start_ranges_known = true;
  }
  return run.start_ranges;
}

// The literals every match starts with one of, when the pattern leads (past groups
// opening) with an alternation whose alternatives each begin with a literal; measured
// once per run. Null when it does not.
const AlternativesSearch* leading_alternatives(MatchRun& run, const RegexHandle* h) {
  if (!run.alternatives_known) {
    run.alternatives_known = true;
    const uchar* node = h->program + 1;
    for (;;) {
      if (node[0] == OPEN) {
        node += 6;
      } else if (node[0] == BRANCH && !(next_node(node) && next_node(node)[0] == BRANCH)) {
        node += 4;
      } else {
        break;
      }
    }
    AlternativesSearch found;
    for (const uchar* branch = node; branch && branch[0] == BRANCH; branch = next_node(branch)) {
      const uchar* body = branch + 4;
      while (body[0] == OPEN) body += 6;
      if (body[0] != EXACT || !found.add(body + 4, body[3])) return nullptr;
    }
    if (found.count() >= 2) run.alternatives = found;
  }
  return run.alternatives.count() >= 2 ? &run.alternatives : nullptr;
}

// Whether the pattern is an alternation of literals and no more, alone or in group 1,
// without folding: a match is then the first alternative, in order, found whole where
// one of them begins.
bool literals_only(MatchRun& run, const RegexHandle* h) {
  if (run.matcher_only || h->fold || h->group_count > 1 || h->program_length < 9) return false;
  const uchar* top = h->program + 1;
  const uchar* chain = top;
  const uchar* top_end = nullptr;
  if (h->group_count == 1) {
    top_end = next_node(top);
    if (top[0] != BRANCH || !top_end || top_end[0] != END || top[4] != OPEN || node_arg(top + 4) != 1)
      return false;
    chain = next_node(top + 4);
  }
  const uchar* join = nullptr;
  const uchar* branch = chain;
  for (; branch && branch[0] == BRANCH; branch = next_node(branch)) {
    const uchar* body = branch + 4;
    const uchar* after = body[0] == EXACT && body[3] > 0 ? next_node(body) : nullptr;
    if (!after || (join && after != join)) return false;
    join = after;
  }
  if (!join || branch != join) return false;
  const bool ends =
      top_end ? join[0] == CLOSE && node_arg(join) == 1 && next_node(join) == top_end : join[0] == END;
  return ends && leading_alternatives(run, h) != nullptr;
}

// Whether the pattern is one literal; its search is then set up in the run.
bool whole_literal_search(MatchRun& run, const RegexHandle* h) {
  const uchar* exact = run.matcher_only ? nullptr : whole_literal(h);
  if (exact) run.whole_literal.emplace(exact + 4, exact[3], (h->flags & OPT_KANJI) != 0, h->fold != 0);
  return exact != nullptr;
}

// When every match begins with a single-byte character that the next one repeats (a
// group around a one-character node, then a reference to it), the bytes it may be:
// a candidate must be one of them and equal the byte after it. Count 0 when not.
const ByteRanges& doubled_ranges(MatchRun& run, const RegexHandle* h, const uchar* entry) {
  if (run.doubled_known) return run.doubled_ranges;
  run.doubled_known = true;
  if (run.matcher_only || entry[0] != OPEN || !h->start_known) return run.doubled_ranges;
  const unsigned group = node_arg(entry);
  const uchar* node = next_node(entry);
  if (node && node[0] == BRANCH && !(next_node(node) && next_node(node)[0] == BRANCH)) node += 4;
  const uchar* close = node ? next_node(node) : nullptr;
  const uchar* ref = close ? next_node(close) : nullptr;
  if (!ref || close[0] != CLOSE || node_arg(close) != group || ref[0] != BACKREF || node_arg(ref) != group)
    return run.doubled_ranges;
  // These take one byte in either mode; a class takes a double-byte character in k mode.
  const bool single_byte = node[0] == WORD || node[0] == DIGIT || node[0] == SPACE ||
                           (node[0] == CLASS && !(h->flags & OPT_KANJI));
  const ByteRanges& starts = start_ranges(run, h);
  if (single_byte && starts.count > 0) run.doubled_ranges = starts;
  return run.doubled_ranges;
}

// The one-character node of a pattern that is one greedy + of it and no more (no group,
// anchor, alternative or folding), when the node takes each character whole and the
// start set is a few byte ranges, kept in the run; null for others.
const uchar* whole_repeat(MatchRun& run, const RegexHandle* h) {
  const uchar* branch = h->program + 1;
  const uchar* plus = branch + 4;
  const uchar* node = plus + 4;
  const uchar* end = next_node(branch);
  // These never take a lead byte alone, so a run ends on a character boundary.
  const bool whole_chars = node[0] == CLASS || node[0] == WORD || node[0] == DIGIT || node[0] == SPACE;
  if (!run.matcher_only && h->group_count == 0 && !h->fold && h->start_known && branch[0] == BRANCH &&
      plus[0] == PLUS && whole_chars && end && end[0] == END && next_node(plus) == end &&
      start_ranges(run, h).count > 0)
    run.whole_repeat = node;
  return run.whole_repeat;
}

// The leftmost run in [s, end) of a whole_repeat node that takes single bytes only (no
// double-byte class), ending at or after min_end, found whole by the block scan. Each
// match is the greedy run, so no attempt needs the matcher.
bool byte_run_search(const ByteRanges& starts, bool kanji, const uchar*& s, const uchar* end,
                     const uchar* min_end, const uchar*& match_end) {
  while (s < end) {
    s = find_run_in_ranges(s, end, starts, kanji, match_end);
    if (s >= end) return false;
    if (match_end >= min_end) return true;
    s = match_end;  // a shorter run from further on ends at the same place
  }
  return false;
}

// The same for a class of double-byte characters in k mode, character by character.
bool class_run_search(MatchState& ms, const ByteRanges& starts, const uchar* node, const uchar*& s,
                      const uchar* end, const uchar*& match_end) {
  const RegexHandle* h = ms.handle;
  auto char_step = [&](const uchar* p) { return is_lead_byte(*p) && p + 1 < end ? p + 2 : p + 1; };
  while (s < end) {
    // A near start is found sooner one character at a time than by setting up the
    // block scan.
    const uchar* near = s + std::min<ptrdiff_t>(4, end - s);
    while (s < near && !bit_set(h->start_bits, *s)) s = char_step(s);
    if (s >= near) s = find_char_in_ranges(s, end, starts);
    if (s >= end) return false;
    match_end = ms.repeat_end(node, REPEAT_INFINITE, s);
    if (match_end > s && match_end >= ms.min_end) return true;
    // A shorter run from further on ends at the same place, so the run is passed over.
    s = match_end > s ? match_end : char_step(s);
  }
  return false;
}

// The two literals of a pattern that is a literal, a lazy run of . and a literal (the
// run alone in group 1, or no group), in byte mode without folding, set up in the run.
// Null for others.
LazyPair* lazy_pair(MatchRun& run, const RegexHandle* h) {
  const uchar* branch = h->program + 1;
  const uchar* first = branch + 4;
  const uchar* end = h->program_length >= 9 ? next_node(branch) : nullptr;
  if (run.matcher_only || h->fold || (h->flags & OPT_KANJI) || h->group_count > 1 || !end || end[0] != END ||
      branch[0] != BRANCH || first[0] != EXACT || first[3] == 0)
    return nullptr;
  const bool grouped = h->group_count == 1;
  const uchar* node = next_node(first);
  if (grouped) {
    if (!node || node[0] != OPEN || node_arg(node) != 1) return nullptr;
    node = next_node(node);
    // The group's one alternative: its body, and where it joins.
    if (node && node[0] == BRANCH && next_node(node) && next_node(node)[0] == CLOSE) node += 4;
  }
  const uchar* star = node && node[0] == LAZY ? next_node(node) : nullptr;
  if (!star || star[0] != STAR || star[4] != ANY) return nullptr;
  node = next_node(star);
  if (grouped) {
    if (!node || node[0] != CLOSE || node_arg(node) != 1) return nullptr;
    node = next_node(node);
  }
  if (!node || node[0] != EXACT || node[3] == 0 || next_node(node) != end) return nullptr;
  run.lazy_pair.emplace(LazyPair{LiteralSearch(first + 4, first[3], false, false),
                                 LiteralSearch(node + 4, node[3], false, false), grouped});
  return &*run.lazy_pair;
}

// The first place of the pair's second literal at or after from, null when there is
// none. The searches of a run go forward, so one scan serves every first literal up to
// the place it found.
const uchar* next_second(LazyPair& pair, const uchar* from, const uchar* end) {
  const bool known = pair.second_end == end && pair.second_from && from >= pair.second_from &&
                     (!pair.second_at || from <= pair.second_at);
  if (!known) {
    pair.second_from = from;
    pair.second_end = end;
    pair.second_at = pair.second.find(from, end);
  }
  return pair.second_at;
}

// The leftmost match of a lazy pair in [start, end): its first literal, then the second
// at the nearest place from there up to the end of that line (the second may run on
// past the newline). Where the second is missing, a later first literal that ends on
// the same line finds none either, so the search goes on past them.
bool lazy_pair_search(LazyPair& pair, const uchar* start, const uchar* end, const uchar*& match_start,
                      const uchar*& run_end) {
  const int32_t first_length = pair.first.length();
  for (const uchar* from = start;;) {
    const uchar* found = pair.first.find(from, end);
    if (!found) return false;
    const uchar* run_start = found + first_length;
    const uchar* second = next_second(pair, run_start, end);
    if (!second) return false;  // nor after any later first literal
    const auto* newline =
        static_cast<const uchar*>(std::memchr(run_start, '\n', static_cast<size_t>(second - run_start)));
    if (!newline) {
      match_start = found;
      run_end = second;
      return true;
    }
    from = std::max(found + 1, newline + 1 - first_length);
  }
}

// Whether the pattern is ^ under m and no more: every line start is a match.
bool line_starts_only(const MatchRun& run, const RegexHandle* h) {
  if (run.matcher_only || h->group_count != 0 || !(h->flags & OPT_MULTILINE) || h->program_length < 9)
    return false;
  const uchar* branch = h->program + 1;
  const uchar* bol = branch + 4;
  const uchar* end = next_node(branch);
  return branch[0] == BRANCH && (bol[0] == BOL_M || bol[0] == BOL) && end && end[0] == END &&
         next_node(bol) == end;
}

// The first line start in [start, end) at or after start + min_end, the text before
// start ending in prev_char; null when there is none. A newline is never the second
// byte of a character, so this holds in either mode; the end of the text is no line
// start.
const uchar* next_line_start(const uchar* start, const uchar* end, int min_end, uchar prev_char) {
  if (min_end <= 0 && prev_char == '\n') return start;
  const uchar* from = start + (min_end > 1 ? min_end - 1 : 0);
  if (from >= end) return nullptr;
  const auto* newline = static_cast<const uchar*>(std::memchr(from, '\n', static_cast<size_t>(end - from)));
  return newline && newline + 1 < end ? newline + 1 : nullptr;
}

// Where an attempt starts: a program of one alternative goes straight to its body,
// as the step into it changes nothing.
const uchar* first_step(const uchar* program) {
  if (program[0] != BRANCH) return program;
  const uchar* next = next_node(program);
  return next == nullptr || next[0] != BRANCH ? program + 4 : program;
}

// One search's start positions, tried in order until an attempt matches.
class StartSearch {
 public:
  // literal_at: where the leading literal is known to begin, or null.
  StartSearch(MatchState& ms, RegexHandle* h, const uchar* start, const uchar* end, const uchar* from,
              size_t minimum, const uchar* literal_at)
      : ms_(ms),
        h_(h),
        start_(start),
        end_(end),
        s_(from),
        minimum_(minimum),
        kanji_((h->flags & OPT_KANJI) != 0),
        multiline_((h->flags & OPT_MULTILINE) != 0),
        starts_(h->start_known ? start_ranges(*ms.run, h) : ByteRanges{-1, {}, {}}),
        runs_(from),
        literal_at_(literal_at) {
    // The last minimum - 1 bytes cannot start a match.
    const size_t skip = minimum > 0 ? minimum - 1 : 0;
    limit_ = static_cast<size_t>(end - start) > skip ? end - skip : start;
  }

  bool run() {
    if (h_->anchor_flags & ANCHOR_BOL) return anchored();
    if (h_->first_literal && (h_->anchor_flags & ANCHOR_SKIP)) return literal_runs();
    if (h_->first_literal) return leading_literal();
    if (doubled_ranges(*ms_.run, h_, entry_).count > 0) return doubled_starts();
    if (h_->first_node) return leading_node();
    if (const AlternativesSearch* alternatives = leading_alternatives(*ms_.run, h_))
      return alternative_starts(*alternatives);
    if (h_->start_known) return start_set();
    return every_position();
  }

 private:
  // One attempt at pos: the program from its first node, groups cleared.
  bool try_at(const uchar* pos) {
    ms_.input = pos;
    clear_groups();
    ms_.stack.clear();
    ms_.barriers.clear();
    ms_.frames.resize(1);
    ms_.loop = 0;
    ms_.save_top = 0;
    if (entry_ != h_->program + 1) ms_.charge(1);  // the step into the lone alternative
    if (ms_.match_nodes(entry_, pos) && ms_.input >= ms_.min_end) {
      ms_.starts[0] = pos;
      ms_.ends[0] = ms_.input;
      return true;
    }
    dirty_groups_ = std::max(ms_.open_high, *ms_.last_group);
    return false;
  }

  // A failed attempt leaves no group set above open_high (starts) or last_group (ends):
  // every OPEN and CLOSE raises its mark and every undo restores value and mark
  // together. So only groups up to the higher mark are cleared, all of them on a
  // search's first attempt. Stores one by one: a call per array costs more than the
  // one or two groups a pattern usually has.
  void clear_groups() {
    *ms_.last_group = 0;
    ms_.open_high = 0;
    if (h_->group_count == 0) return;
    const uchar** starts = ms_.starts;
    const uchar** ends = ms_.ends;
    for (int32_t g = dirty_groups_; g >= 0; --g) {
      starts[g] = nullptr;
      ends[g] = nullptr;
      asm("" ::: "memory");  // keeps the loop from becoming two memset calls
    }
    dirty_groups_ = 0;
  }

  const uchar* char_step(const uchar* p) const {
    return (kanji_ && is_lead_byte(*p) && p + 1 < end_) ? p + 2 : p + 1;
  }

  // At the start, and with multi-line mode or an implied anchor after every newline.
  bool anchored() {
    if (try_at(start_)) return true;
    if (!multiline_ && !(h_->anchor_flags & ANCHOR_IMPLICIT)) return false;
    const uchar* s = s_ > start_ ? s_ - 1 : s_;
    if (h_->first_literal) {
      // Every match begins with the literal just after a newline: the two are searched
      // for together, sooner than trying every line. A newline is never the second byte
      // of a character, so the place after it begins one in either mode.
      const LiteralSearch& literal = line_literal_search();
      for (const uchar* f = s; f + 1 < limit_; ++f) {
        f = literal.find(f, end_);
        if (!f || f + 1 >= limit_) return false;
        if (try_at(f + 1)) return true;
      }
      return false;
    }
    while (s < limit_) {
      const auto* newline = static_cast<const uchar*>(std::memchr(s, '\n', static_cast<size_t>(limit_ - s)));
      if (newline == nullptr) return false;
      s = newline + 1;
      if (s >= limit_) return false;
      if (try_at(s)) return true;
    }
    return false;
  }

  // A leading literal whose first byte repeats: after a failed attempt the rest of the
  // run of that byte is passed over.
  bool literal_runs() {
    const uchar f0 = h_->first_literal->data[0];
    const uchar* s = s_;
    while (s < end_) {
      if (*s != f0) {
        s = kanji_ ? char_step(s) : s + 1;
        continue;
      }
      if (try_at(s)) return true;
      s = char_step(s);
      while (s < end_ && *s == f0) s = char_step(s);
      // In double-byte mode the next attempt starts on a character, never inside one.
      if (s < end_) s = kanji_ ? char_step(s) : s + 1;
    }
    return false;
  }

  // The search for the leading literal, set up once per run.
  const LiteralSearch& first_literal_search() {
    MatchRun& run = *ms_.run;
    if (!run.first_literal)
      run.first_literal.emplace(h_->first_literal->data, h_->first_literal->length, kanji_, false);
    return *run.first_literal;
  }

  // The search for a newline and the leading literal, set up once per run.
  const LiteralSearch& line_literal_search() {
    MatchRun& run = *ms_.run;
    if (!run.line_literal) {
      const LiteralBuf* first = h_->first_literal;
      run.line_literal_bytes.assign(1, '\n');
      run.line_literal_bytes.append(first->data, static_cast<size_t>(first->length));
      run.line_literal.emplace(run.line_literal_bytes.data(), first->length + 1, false, false);
    }
    return *run.line_literal;
  }

  bool leading_literal() {
    const LiteralSearch& literal = first_literal_search();
    for (const uchar* s = s_;;) {
      if (s != literal_at_) s = literal.find(s, end_);
      if (!s) return false;
      if (try_at(s)) return true;
      s = char_step(s);
      if (s >= end_) return false;
    }
  }

  // Only where a start byte is followed by the same byte. Such a byte is never a lead
  // byte, so in k mode the next character starts right after it.
  bool doubled_starts() {
    const ByteRanges& doubled = ms_.run->doubled_ranges;
    for (const uchar* s = s_;; ++s) {
      s = find_doubled_in_ranges(s, limit_, doubled);
      if (s >= limit_) return false;
      if (kanji_ && runs_.inside(s)) continue;  // the second byte of a character
      if (try_at(s)) return true;
    }
  }

  // Only where one of the leading alternatives' literals begins.
  bool alternative_starts(const AlternativesSearch& alternatives) {
    for (const uchar* s = s_;;) {
      s = alternatives.find(s, end_, kanji_);
      if (!s) return false;
      if (try_at(s)) return true;
      s = char_step(s);
      if (s >= end_) return false;
    }
  }

  // The first character start at or after s (a character start below limit_) whose
  // byte a match may begin with, found by the block scan over the start set; when none
  // is, the first character start at or after limit_.
  [[gnu::always_inline]] const uchar* next_start(const uchar* s) {
    // A near start is found sooner byte by byte than by setting up the block scan.
    for (int i = 0; i < 16; ++i) {
      if (s >= limit_ || bit_set(h_->start_bits, *s)) return s;
      s = char_step(s);
    }
    s = kanji_ ? find_char_in_ranges(s, limit_, starts_) : find_in_ranges(s, limit_, starts_);
    if (s >= limit_) return kanji_ && limit_ < end_ && runs_.inside(limit_) ? limit_ + 1 : limit_;
    return s;
  }

  // Positions where test holds; with ANCHOR_SKIP only the first of each run.
  template <typename Test>
  bool scan(Test test) {
    const bool every = !(h_->anchor_flags & ANCHOR_SKIP);
    if (starts_.count >= 0) {
      for (const uchar* s = s_;;) {
        s = next_start(s);
        if (s >= limit_) return false;
        if (!test(s)) {
          s = char_step(s);
          continue;
        }
        if (try_at(s)) return true;
        s = char_step(s);
        if (!every)
          while (s < limit_ && test(s)) s = char_step(s);
      }
    }
    bool fresh = true;
    for (const uchar* s = s_; s < limit_; s = char_step(s)) {
      if (test(s)) {
        if (fresh && try_at(s)) return true;
        fresh = every;
      } else {
        fresh = true;
      }
    }
    return false;
  }

  bool leading_node() {
    const uchar* fn = h_->first_node;
    switch (fn[0]) {
      case CLASS: {
        MatchRun& run = *ms_.run;
        if (!run.first_node_bits_known) {
          run.first_node_bits = class_bits_for(h_, fn);
          run.first_node_bits_known = true;
        }
        const uchar* bits = run.first_node_bits;
        return scan([&](const uchar* q) {
          if (kanji_ && is_lead_byte(*q) && q + 1 < limit_)
            return class_contains(static_cast<unsigned>(*q) << 8 | q[1], fn + 3) != 0;
          return bits ? bit_set(bits, *q) : class_contains(*q, fn + 3) != 0;
        });
      }
      case WORD:
        return scan([](const uchar* q) { return word_byte(*q); });
      case SPACE:
        return scan([](const uchar* q) { return space_byte(*q); });
      case DIGIT:
        return scan([](const uchar* q) { return digit_byte(*q); });
      case NWORD:
        return scan([](const uchar* q) { return !word_byte(*q); });
      case NSPACE:
        return scan([](const uchar* q) { return !space_byte(*q); });
      case NDIGIT:
        return scan([](const uchar* q) { return !digit_byte(*q); });
      case WBOUND:
      case NWBOUND:
        return word_boundaries(fn[0] == WBOUND);
      default:
        return false;
    }
  }

  // Where the word-ness of the bytes changes (\b) or does not (\B).
  bool word_boundaries(bool wbound) {
    const uchar* s = s_;
    const uchar* lim = limit_;
    if (minimum_ > 0 && lim > s) --lim;
    bool word = word_byte(s == start_ ? ms_.prev_char : s[-1]);
    for (; s < lim; s = char_step(s)) {
      const bool here = word_byte(*s);
      if (here != word) {
        word = !word;
        if (wbound && try_at(s)) return true;
      } else if (!wbound && try_at(s)) {
        return true;
      }
    }
    return (minimum_ > 0 || (wbound ? word : !word)) && s <= end_ && try_at(s);
  }

  // Only where a match can start: the byte must be one it can begin with.
  bool start_set() {
    const uchar* s = s_;
    if (starts_.count >= 0) {
      for (;;) {
        s = next_start(s);
        if (try_at(s)) return true;
        const uchar* u = (kanji_ && is_lead_byte(*s) && s + 1 < end_) ? s + 1 : s;
        if (u >= limit_) return false;
        s = u + 1;
      }
    }
    if (!kanji_) {
      for (;;) {
        while (s < limit_ && !bit_set(h_->start_bits, *s)) ++s;
        if (try_at(s)) return true;
        if (s >= limit_) return false;
        ++s;
      }
    }
    for (;;) {
      while (s < limit_ && !bit_set(h_->start_bits, *s)) s = char_step(s);
      if (try_at(s)) return true;
      const uchar* u = (is_lead_byte(*s) && s + 1 < end_) ? s + 1 : s;
      if (u >= limit_) return false;
      s = u + 1;
    }
  }

  bool every_position() {
    for (const uchar* s = s_;;) {
      if (try_at(s)) return true;
      const uchar* u = (kanji_ && is_lead_byte(*s) && s + 1 < end_) ? s + 1 : s;
      if (u >= limit_) return false;
      s = u + 1;
    }
  }

  MatchState& ms_;
  RegexHandle* h_;
  const uchar* start_;
  const uchar* end_;
  const uchar* s_;  // the first position worth trying
  const uchar* limit_;
  size_t minimum_;
  bool kanji_;
  bool multiline_;
  ByteRanges starts_;                       // the start set for the block scan; count -1: scan byte by byte
  LeadRuns runs_;                           // whether a byte found by the scan begins a character
  const uchar* literal_at_;                 // where the leading literal is known to begin, or null
  int32_t dirty_groups_ = h_->group_count;  // groups the last attempt may have left set
  const uchar* entry_ = first_step(h_->program + 1);
};

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
  ms.memo_possible = false;
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

// The required literal: a text without it cannot match (null: give up at once).
// Otherwise the first position worth trying, and in minimum the bytes every match
// spans from its start at least.
const uchar* check_required_literal(RegexHandle* h, MatchRun& run, const uchar* start, const uchar* end,
                                    size_t& minimum) {
  const bool multiline = (h->flags & OPT_MULTILINE) != 0;
  const bool kanji = (h->flags & OPT_KANJI) != 0;
  const uchar* s = start;
  LiteralBuf* must = h->must_literal;
  if (must && (!(h->anchor_flags & ANCHOR_BOL) || (multiline && h->must_offset >= 0))) {
    bool folded;
    if (run.must_literal_of != must && literal_by_pair(must, multiline, folded)) {
      run.must_literal.emplace(must->data, must->length, kanji, folded);
      run.must_literal_of = must;
    }
    const uchar* f = run.must_literal_of == must ? run.must_literal->find(start, end)
                                                 : literal_find(start, end, must, multiline, kanji);
    if (!f) {
      ++must->useful;
      return nullptr;
    }
    if (h->must_offset >= 0) {
      s = f - start > h->must_offset ? f - h->must_offset : start;
      minimum = static_cast<size_t>(h->must_offset) + must->length;
    } else if (!h->expensive && --must->useful < 0) {
      literal_free(must);
      h->must_literal = nullptr;
    } else {
      minimum = static_cast<size_t>(must->length);
    }
  }
  if (kanji && char_position(start, s) == 2) s = start;
  return s;
}

// Where the required-literal check has already found the leading literal: the
// required literal begins every match and the leading one is its start, so it begins
// at the first position worth trying (the check runs for every pattern without ^).
// Null when not known.
const uchar* leading_literal_at(const RegexHandle* h, const uchar* from) {
  const LiteralBuf* must = h->must_literal;
  const LiteralBuf* first = h->first_literal;
  if (!must || !first || h->fold || h->must_offset != 0 || (h->anchor_flags & ANCHOR_BOL) ||
      first->length > must->length || std::memcmp(first->data, must->data, first->length) != 0)
    return nullptr;
  return from;
}

// Records a match found without the matcher (a pattern without groups) and returns 1.
int found_without_matcher(RegexHandle* h, const uchar* base, const uchar* end, const uchar* match_start,
                          const uchar* match_end) {
  h->last_group = 0;
  h->match_starts[0] = match_start;
  h->match_ends[0] = match_end;
  h->subject_begin = base;
  h->subject_end = end;
  return 1;
}

}  // namespace

MatchRun::~MatchRun() { delete static_cast<MatchState*>(scratch); }

const uchar* whole_literal(const RegexHandle* h) {
  if (h->group_count != 0 || h->program_length < 9) return nullptr;
  if (h->fold && (h->flags & OPT_KANJI)) return nullptr;
  const uchar* branch = h->program + 1;
  const uchar* exact = branch + 4;
  const uchar* end = next_node(branch);
  if (branch[0] != BRANCH || exact[0] != EXACT || exact[3] == 0 || !end || end[0] != END ||
      next_node(exact) != end)
    return nullptr;
  if (h->fold)
    for (int i = 0; i < exact[3]; ++i)
      if (exact[4 + i] >= 'A' && exact[4 + i] <= 'Z') return nullptr;  // never matched in folded text
  return exact;
}

namespace {

// The search that bypasses the matcher for the pattern's shape, if any.
Bypass find_bypass(MatchRun& run, const RegexHandle* h) {
  if (whole_literal_search(run, h)) return Bypass::kWholeLiteral;
  if (line_starts_only(run, h)) return Bypass::kLineStarts;
  if (whole_repeat(run, h)) return Bypass::kWholeRepeat;
  if (literals_only(run, h)) return Bypass::kLiterals;
  if (lazy_pair(run, h)) return Bypass::kLazyPair;
  return Bypass::kNone;
}

// What ^ and \b see before start: a newline at the subject's start; without m, a
// newline before start is no line end for ^.
uchar char_before(const RegexHandle* h, const uchar* start, const uchar* base) {
  if (start == base || base == nullptr) return '\n';
  const uchar c = start[-1];
  return !(h->flags & OPT_MULTILINE) && c == '\n' ? 0 : c;
}

// The matcher's state for a search from start. It, its stacks included, serves every
// search of the run: each search sets what it reads before it reads it.
MatchState& state_for(MatchRun& run, const RegexHandle* h, const uchar* start, const uchar* base) {
  if (!run.scratch) run.scratch = new MatchState;
  MatchState& ms = *static_cast<MatchState*>(run.scratch);
  ms.multiline = (h->flags & OPT_MULTILINE) != 0;
  ms.kanji = (h->flags & OPT_KANJI) != 0;
  ms.prev_char = char_before(h, start, base);
  ms.group_total = h->group_count;
  ms.handle = h;
  return ms;
}

// The search that runs the matcher, apart from the searches that bypass it, so that
// theirs stays a short call.
[[gnu::noinline]] int search_by_matcher(RegexHandle* h, MatchState& ms, MatchRun* run, const uchar* start,
                                        const uchar* end, const uchar* base, int min_end, int64_t budget) {
  const bool kanji = ms.kanji;
  const uchar* const caller_start = start;
  if (h->fold) {
    const uchar* folded = folded_text(start, end, kanji, &run->fold);
    end = folded + (end - start);
    start = folded;
  }
  size_t minimum = 0;
  const uchar* from = check_required_literal(h, *run, start, end, minimum);
  if (from == nullptr) return 0;

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
  ms.lazy_miss_line_end = nullptr;  // a folded copy may sit elsewhere in the next search
  if (!StartSearch(ms, h, start, end, from, minimum, leading_literal_at(h, from)).run()) return 0;

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

}  // namespace

void set_group_one(RegexHandle* h, const uchar* start, const uchar* end) {
  h->match_starts[1] = start;
  h->match_ends[1] = end;
  h->last_group = 1;
}

const ByteRanges* byte_run_ranges(MatchRun& run, const RegexHandle* h) {
  // In k mode a class may take double-byte characters: its runs go character by character.
  if (run.bypass != Bypass::kWholeRepeat || (run.whole_repeat[0] == CLASS && (h->flags & OPT_KANJI)))
    return nullptr;
  return &start_ranges(run, h);
}

int exec_match(RegexHandle* h, const uchar* start, const uchar* end, const uchar* base, int min_end,
               MatchRun* run, int64_t budget) {
  if (h == nullptr || start == nullptr || end == nullptr || start >= end) return 0;
  if (run == nullptr) {  // a search of its own; set up only here, as a run costs to clear
    MatchRun single;
    return exec_match(h, start, end, base, min_end, &single, budget);
  }
  if (h->program_length < 1 || h->program[0] != PROGRAM_MAGIC) raise(kMsgCorruptProgram);
  if (run->bypass == Bypass::kUnknown) run->bypass = find_bypass(*run, h);
  const bool kanji = (h->flags & OPT_KANJI) != 0;
  switch (run->bypass) {
    case Bypass::kWholeLiteral: {
      // Found in the text as it stands (with folding each byte in either case): no
      // folded copy, no matcher.
      const LiteralSearch& literal = *run->whole_literal;
      const uchar* found = literal.find(start, end);
      if (!found) return 0;
      return found_without_matcher(h, base, end, found, found + literal.length());
    }
    case Bypass::kLineStarts: {
      const uchar* found = next_line_start(start, end, min_end, char_before(h, start, base));
      if (!found) return 0;
      return found_without_matcher(h, base, end, found, found);
    }
    case Bypass::kWholeRepeat: {
      const uchar* found = start;
      const uchar* found_end = nullptr;
      if (const ByteRanges* bytes = byte_run_ranges(*run, h)) {
        if (!byte_run_search(*bytes, kanji, found, end, start + min_end, found_end)) return 0;
      } else {
        MatchState& ms = state_for(*run, h, start, base);
        ms.text_end = end;
        ms.min_end = start + min_end;
        if (!class_run_search(ms, start_ranges(*run, h), run->whole_repeat, found, end, found_end)) return 0;
      }
      return found_without_matcher(h, base, end, found, found_end);
    }
    // Neither an alternative literal's matches nor a pair's are ever empty: min_end 1
    // holds for every one of them.
    case Bypass::kLiterals: {
      if (min_end > 1) break;
      int32_t length = 0;
      const uchar* found = run->alternatives.find(start, end, kanji, &length);
      if (!found) return 0;
      const uchar* found_end = found + length;
      found_without_matcher(h, base, end, found, found_end);
      if (h->group_count == 1) set_group_one(h, found, found_end);
      return 1;
    }
    case Bypass::kLazyPair: {
      if (min_end > 1) break;
      LazyPair& pair = *run->lazy_pair;
      const uchar* found = nullptr;
      const uchar* run_end = nullptr;
      if (!lazy_pair_search(pair, start, end, found, run_end)) return 0;
      found_without_matcher(h, base, end, found, run_end + pair.second.length());
      if (pair.grouped) set_group_one(h, found + pair.first.length(), run_end);
      return 1;
    }
    default:
      break;
  }
  return search_by_matcher(h, state_for(*run, h, start, base), run, start, end, base, min_end, budget);
}

}  // namespace regex_internal

int rx_exec(RegexHandle* handle, const char* start, const char* end, const char* base, int min_end,
            char* message) noexcept {
  using namespace regex_internal;
  return guard_entry(message, 0, kMsgLackOfMemory, [&] {
    return exec_match(handle, reinterpret_cast<const unsigned char*>(start),
                      reinterpret_cast<const unsigned char*>(end),
                      reinterpret_cast<const unsigned char*>(base), min_end, nullptr);
  });
}
