// Substitution: the compiled replacement text and the run that replaces the matches
// of a pattern in a target.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "regex/internal.h"

namespace regex_internal {
namespace {

using uchar = unsigned char;

// Group numbers saturate here: a reference to a group beyond any pattern's count
// inserts nothing instead of wrapping to a small or negative number.
constexpr int32_t kGroupCap = INT32_MAX;

struct ListFree {
  void operator()(ReplacementList* list) const noexcept {
    if (!list) return;
    std::free(list->pieces);
    std::free(list->values);
    std::free(list);
  }
};
using ListPtr = std::unique_ptr<ReplacementList, ListFree>;

class ListBuilder {
 public:
  explicit ListBuilder(ListPtr& list) : list_(list) {}

  // Room for a reference, the literal in front of it and a final literal.
  void reserve_for_reference() {
    if (entries_ < list_->count - 2) return;
    const int32_t capacity = list_->count + 10;
    auto* pieces = static_cast<const uchar**>(rx_malloc(sizeof(uchar*) * capacity));
    auto* values = static_cast<int32_t*>(rx_malloc(sizeof(int32_t) * capacity));
    if (!pieces || !values) {
      std::free(pieces);
      std::free(values);
      raise(kMsgPrecompileOutOfSpace);
    }
    std::memcpy(pieces, list_->pieces, sizeof(uchar*) * entries_);
    std::memcpy(values, list_->values, sizeof(int32_t) * entries_);
    std::free(list_->pieces);
    std::free(list_->values);
    list_->pieces = pieces;
    list_->values = values;
    list_->count = capacity;
  }
  void add(const uchar* piece, int32_t value) {
    list_->pieces[entries_] = piece;
    list_->values[entries_] = value;
    ++entries_;
  }
  int32_t entries() const { return entries_; }

 private:
  ListPtr& list_;
  int32_t entries_ = 0;
};

bool is_digit(uchar c) { return c >= '0' && c <= '9'; }

// The decimal number of the digits from p on, saturated; p moves past them.
int32_t read_group_number(const uchar*& p, const uchar* end) {
  int64_t n = 0;
  while (p < end && is_digit(*p)) {
    n = std::min<int64_t>(n * 10 + (*p - '0'), kGroupCap);
    ++p;
  }
  return static_cast<int32_t>(n);
}

// The output of one run; grows geometrically so that long outputs cost linear time.
class Output {
 public:
  ~Output() { std::free(data_); }
  bool init(size_t size) {
    data_ = static_cast<uchar*>(rx_malloc(size));
    size_ = data_ ? size : 0;
    return data_ != nullptr;
  }
  bool append(const uchar* bytes, size_t count) {
    if (count == 0) return true;
    if (used_ + count >= size_ && !grow(used_ + count)) return false;
    std::memcpy(data_ + used_, bytes, count);
    used_ += count;
    return true;
  }
  // Room for count more bytes, written in place and then taken by commit; null when
  // there is no memory for it.
  uchar* room(size_t count) {
    if (used_ + count >= size_ && !grow(used_ + count)) return nullptr;
    return data_ + used_;
  }
  void commit(size_t count) { used_ += count; }
  size_t used() const { return used_; }
  // Terminates the text and gives up the block.
  uchar* finish() {
    if (used_ + 1 > size_ && !grow(used_ + 1)) return nullptr;
    data_[used_] = 0;
    uchar* block = data_;
    data_ = nullptr;
    return block;
  }

 private:
  bool grow(size_t needed) {
    if (needed > SIZE_MAX / 2 - 256) return false;
    const size_t size = std::max(size_ * 2, needed + 256);
    auto* block = static_cast<uchar*>(rx_realloc(data_, size));
    if (!block) return false;
    data_ = block;
    size_ = size;
    return true;
  }
  uchar* data_ = nullptr;
  size_t size_ = 0;
  size_t used_ = 0;
};

bool append_replacement(Output& out, const RegexHandle* h) {
  if (h->flags & OPT_VERBATIM) {
    return out.append(h->replacement_start, static_cast<size_t>(h->replacement_end - h->replacement_start));
  }
  const ReplacementList* list = h->replacement;
  for (int32_t i = 0; i < list->count; ++i) {
    if (list->pieces[i]) {
      if (!out.append(list->pieces[i], static_cast<size_t>(list->values[i]))) return false;
      continue;
    }
    const int32_t n = list->values[i];
    if (n < 0 || n > h->group_count) continue;
    const uchar* s = h->match_starts[n];
    const uchar* e = h->match_ends[n];
    if (s && e && s < e && !out.append(s, static_cast<size_t>(e - s))) return false;
  }
  return true;
}

// A global run from its first match on, where find_next(from, copy, match_end) finds
// each next match, a match that is never empty, and copies the bytes before it into
// copy as it passes them: the text is read once. Returns the count of matches; p ends
// past the last.
template <typename FindNext>
int copying_run(RegexHandle* h, Output& out, const uchar*& p, const uchar* end, FindNext find_next) {
  if (!out.append(p, static_cast<size_t>(h->match_starts[0] - p))) raise(kMsgOutOfSpaceBuf);
  int count = 0;
  for (;;) {
    if (!append_replacement(out, h)) raise(kMsgOutOfSpaceBuf);
    ++count;
    p = h->match_ends[0];
    uchar* copy = out.room(static_cast<size_t>(end - p));
    if (!copy) raise(kMsgOutOfSpaceBuf);
    const uchar* match_end = nullptr;
    const uchar* found = find_next(p, copy, match_end);
    if (!found) return count;
    out.commit(static_cast<size_t>(found - p));
    h->match_starts[0] = found;
    h->match_ends[0] = match_end;
  }
}

// A run that searches for each next match from where the last one ended, from the
// first match on. Returns the count of matches; p ends past the last. A failed later
// search ends the run with its message in error.
int search_run(RegexHandle* h, MatchRun& run, Output& out, const uchar*& p, const uchar* target_start,
               const uchar* target_end, const char*& error) {
  const size_t L = static_cast<size_t>(target_end - target_start);
  int count = 0;
  for (size_t passes = 1;; ++passes) {
    const uchar* match_start = h->match_starts[0];
    const uchar* match_end = h->match_ends[0];
    if (!out.append(p, static_cast<size_t>(match_start - p)) || !append_replacement(out, h)) {
      raise(kMsgOutOfSpaceBuf);
    }
    p = match_end;
    ++count;
    if (!(h->flags & OPT_GLOBAL)) return count;
    // After an empty match the next one must end past it, or the run would stand still.
    const int min_end = match_start == match_end ? 1 : 0;
    try {
      if (!exec_match(h, p, target_end, target_start, min_end, &run)) return count;
    } catch (const Failure& f) {
      error = f.text;
      return count;
    }
    if (passes > L + 10) raise(kMsgSubstLoop);
  }
}

}  // namespace

ReplacementList* replace_compile(RegexHandle* handle, const uchar* start, const uchar* end) {
  handle->flags |= OPT_VERBATIM;
  if (start == nullptr || end - start < 2) return nullptr;
  const size_t length = static_cast<size_t>(end - start);
  ListPtr list(static_cast<ReplacementList*>(rx_calloc(1, sizeof(ReplacementList) + length + 4)));
  if (!list) raise(kMsgPrecompileOutOfSpace);
  list->count = 20;
  list->pieces = static_cast<const uchar**>(rx_malloc(sizeof(uchar*) * 20));
  list->values = static_cast<int32_t*>(rx_malloc(sizeof(int32_t) * 20));
  if (!list->pieces || !list->values) raise(kMsgPrecompileOutOfSpace);

  ListBuilder builder(list);
  uchar* w = list->text;
  uchar* ps = w;
  bool special = false;
  auto reference = [&](int32_t group) {
    builder.reserve_for_reference();
    if (w > ps) builder.add(ps, static_cast<int32_t>(w - ps));
    builder.add(nullptr, group);
    ps = w;
    special = true;
  };

  const uchar* p = start;
  while (p < end) {
    const uchar c = *p;
    if (c != '\\' && c != '$') {
      *w++ = c;
      ++p;
      // The second byte of a double-byte character is never an escape.
      if (is_lead_byte(c) && p < end) *w++ = *p++;
      continue;
    }
    if (p + 1 >= end) {  // a lone \ or $ at the end stays as it is
      *w++ = c;
      ++p;
      continue;
    }
    const uchar e = p[1];
    if (c == '$') {
      if (e >= '1' && e <= '9') {
        p += 1;
        reference(read_group_number(p, end));
      } else if (e == '&') {
        p += 2;
        reference(0);
      } else {
        ++p;  // the $ is dropped; the byte after it is taken as it comes
      }
      continue;
    }
    special = true;
    if (e >= '1' && e <= '9') {
      p += 1;
      reference(read_group_number(p, end));
      continue;
    }
    if (e == 'c' && p + 2 >= end) {  // \c without its letter inserts nothing
      p += 2;
      continue;
    }
    const EscapedByte b = trans_escape(p + 1, end);
    *w++ = b.value;
    p += 1 + b.consumed;
  }

  if (!special) return nullptr;
  if (w > ps) builder.add(ps, static_cast<int32_t>(w - ps));
  list->count = builder.entries();
  handle->flags &= ~OPT_VERBATIM;
  return list.release();
}

int subst_run(RegexHandle* h, const uchar* target_start, const uchar* target_end, int& failed) {
  const size_t L = static_cast<size_t>(target_end - target_start);
  const size_t R = static_cast<size_t>(h->replacement_end - h->replacement_start);
  MatchRun run;
  if (!exec_match(h, target_start, target_end, target_start, 0, &run)) return 0;

  // Room for an output an eighth longer than the text: an output that grows a little
  // needs no second block, and pages it never writes cost nothing.
  Output out;
  if (R > SIZE_MAX / 4 || L > SIZE_MAX / 4 || !out.init(R + L + L / 8 + 256)) raise(kMsgOutOfSpaceBuf);
  const uchar* p = target_start;
  const char* error = nullptr;  // a later search failed: the run ends there
  const bool global = (h->flags & OPT_GLOBAL) != 0;
  const bool kanji = (h->flags & OPT_KANJI) != 0;
  const ByteRanges* bytes = global ? byte_run_ranges(run, h) : nullptr;
  int count;
  if (global && run.bypass == Bypass::kWholeLiteral) {
    const LiteralSearch& literal = *run.whole_literal;
    count = copying_run(h, out, p, target_end, [&](const uchar* from, uchar* copy, const uchar*& match_end) {
      const uchar* found = literal.find(from, target_end, copy);
      if (found) match_end = found + literal.length();
      return found;
    });
  } else if (bytes) {
    count = copying_run(h, out, p, target_end, [&](const uchar* from, uchar* copy, const uchar*& match_end) {
      const uchar* found = find_run_in_ranges(from, target_end, *bytes, kanji, match_end, copy);
      return found < target_end ? found : nullptr;
    });
  } else if (global && run.bypass == Bypass::kLiterals) {
    count = copying_run(h, out, p, target_end, [&](const uchar* from, uchar* copy, const uchar*& match_end) {
      int32_t length = 0;
      const uchar* found = run.alternatives.find(from, target_end, kanji, &length, copy);
      if (!found) return found;
      match_end = found + length;
      if (h->group_count == 1) set_group_one(h, found, match_end);
      return found;
    });
  } else {
    count = search_run(h, run, out, p, target_start, target_end, error);
  }
  if (!out.append(p, static_cast<size_t>(target_end - p))) raise(kMsgOutOfSpaceBuf);
  if (out.used() > 0) {  // else every byte was replaced by nothing: no result text
    const size_t used = out.used();
    uchar* text = out.finish();
    if (!text) raise(kMsgOutOfSpaceBuf);
    h->result_start = text;
    h->result_end = text + used;
  }
  if (error) {
    // The replacements made so far stay in the result; the count goes with the message.
    failed = count;
    raise(error);
  }
  return count;
}

}  // namespace regex_internal
