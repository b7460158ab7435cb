// Transliteration: the two lists of a tr command expanded into a table of code
// pairs, and the run of that table over a target.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "regex/internal.h"

namespace regex_internal {
namespace {

using uchar = unsigned char;

constexpr uint16_t kTableEnd = 0xFFFF;
constexpr int kNone = -1;

int hex_value(uchar c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c == 'x') return 0;
  return -1;
}

// The code of the character at p and where the next one starts. A lead byte pairs
// with the byte after it only when that byte lies inside the string.
unsigned take_code(const uchar*& p, const uchar* end, bool kanji) {
  if (kanji && is_lead_byte(*p) && p + 1 < end) {
    const unsigned code = (p[0] << 8) | p[1];
    p += 2;
    return code;
  }
  return *p++;
}

// The pair table under construction: starts with room for 256 entries (128 pairs)
// and grows by 256 entries.
class PairTable {
 public:
  ~PairTable() { std::free(entries_); }
  void add(uint16_t from, uint16_t to) {
    if (used_ + 2 > capacity_) {
      const size_t capacity = capacity_ + 256;
      auto* entries = static_cast<uint16_t*>(rx_realloc(entries_, capacity * sizeof(uint16_t)));
      if (!entries) raise(kMsgOutOfSpaceTrcomp);
      entries_ = entries;
      capacity_ = capacity;
    }
    entries_[used_++] = from;
    entries_[used_++] = to;
  }
  uint16_t* release() {
    uint16_t* entries = entries_;
    entries_ = nullptr;
    return entries;
  }

 private:
  uint16_t* entries_ = nullptr;
  size_t used_ = 0;
  size_t capacity_ = 0;
};

// Makes room for two more bytes and the NUL, doubling so that long outputs cost linear time.
inline void reserve_two(LiteralBuf* buffer) {
  const size_t needed = static_cast<size_t>(buffer->length) + 3;
  if (needed <= static_cast<size_t>(buffer->capacity)) return;
  literal_reserve(buffer, std::max(needed, static_cast<size_t>(buffer->capacity) * 2));
}

}  // namespace

EscapedByte trans_escape(const uchar* at, const uchar* end) {
  const uchar e = *at;
  switch (e) {
    case '0': {
      unsigned value = 0;
      int n = 0;
      while (n < 3 && at + n < end && at[n] >= '0' && at[n] <= '7') value = value * 8 + (at[n++] - '0');
      return {static_cast<uchar>(value & 0xFF), n};
    }
    case 'a': return {0x07, 1};
    case 'e': return {0x1B, 1};
    case 'f': return {0x0C, 1};
    case 'n': return {0x0A, 1};
    case 'r': return {0x0D, 1};
    case 't': return {0x09, 1};
    case 'c': {
      if (at + 1 >= end) return {'c', 1};  // no letter inside the list: the c stands for itself
      uchar x = at[1];
      if (x >= 'a' && x <= 'z') x = static_cast<uchar>(x - 32);
      return {static_cast<uchar>(x ^ 0x40), 2};
    }
    case 'x': {
      unsigned value = 0;
      int n = 0;
      while (n < 2 && at + 1 + n < end && hex_value(at[1 + n]) >= 0) value = value * 16 + hex_value(at[1 + n++]);
      return {static_cast<uchar>(value), 1 + n};
    }
    default:
      return {e, 1};  // '/', digits and every other byte stand for themselves
  }
}

void trans_put(LiteralBuf* buffer, unsigned code) {
  reserve_two(buffer);
  uchar* w = buffer->data + buffer->length;
  if (code < 0x100) {
    w[0] = static_cast<uchar>(code);
    buffer->length += 1;
  } else {
    w[0] = static_cast<uchar>(code >> 8);
    w[1] = static_cast<uchar>(code & 0xFF);
    buffer->length += 2;
  }
  buffer->data[buffer->length] = 0;
}

LiteralBuf* trans_expand(const uchar* start, const uchar* end) {
  LiteralPtr out(literal_new(nullptr, 0));
  unsigned last = 0;
  const uchar* p = start;
  while (p < end) {
    const uchar c = *p;
    if (c != '\\' && c != '-') {
      if (is_lead_byte(c) && p + 1 < end) {
        last = (c << 8) | p[1];
        trans_put(out.get(), last);
        p += 2;
      } else {
        last = c;
        trans_put(out.get(), c);
        ++p;
      }
      continue;
    }
    if (p + 1 >= end) {  // a \ or - that ends the list is itself
      trans_put(out.get(), c);
      break;
    }
    if (c == '\\') {
      if (p[1] == '\\') {
        trans_put(out.get(), '\\');
        p += 2;
        continue;
      }
      const EscapedByte b = trans_escape(p + 1, end);
      last = b.value;
      trans_put(out.get(), b.value);
      p += 1 + b.consumed;
      continue;
    }
    // A range: the upper bound follows the '-'.
    const uchar* q = p + 1;
    unsigned hi;
    const uchar* bound_end;
    if (is_lead_byte(*q) && q + 1 < end) {
      hi = (q[0] << 8) | q[1];
      bound_end = q + 2;
    } else if (*q == '\\' && q + 1 < end) {
      const EscapedByte b = trans_escape(q + 1, end);
      hi = b.value;
      bound_end = q + 1 + b.consumed;
    } else {
      hi = *q;
      bound_end = q + 1;
    }
    const unsigned lo = last;
    if (lo < hi && hi - lo <= 255) {
      for (unsigned code = lo + 1; code <= hi; ++code) trans_put(out.get(), code);
      last = hi;
    } else {
      // Bounds that do not rise, or too far apart: the text is taken as written.
      for (const uchar* b = p; b < bound_end; ++b) trans_put(out.get(), *b);
    }
    p = bound_end;
  }
  return out.release();
}

RegexHandle* trans_compile(const uchar* search_start, const uchar* search_end, const uchar* replace_start,
                           const uchar* replace_end, uint32_t* options, char* message) {
  if (search_start == nullptr || search_end <= search_start) return nullptr;
  HandlePtr record(static_cast<RegexHandle*>(rx_calloc(1, sizeof(RegexHandle))));
  if (!record) {
    copy_message(message, kMsgOutOfSpaceTrcomp);
    return nullptr;
  }
  record->flags = *options | OPT_TRANS;
  const bool kanji = (record->flags & OPT_KANJI) != 0;
  const bool delete_rest = (record->flags & OPT_DELETE) != 0;

  LiteralPtr search(trans_expand(search_start, search_end));
  LiteralPtr replace(replace_start && replace_end > replace_start ? trans_expand(replace_start, replace_end)
                                                                   : literal_new(nullptr, 0));
  const uchar* s = search->data;
  const uchar* s_end = s + search->length;
  const uchar* r = replace->data;
  const uchar* r_end = r + replace->length;
  PairTable table;
  unsigned prev = TRANS_SAME;
  while (s < s_end) {
    const unsigned from = take_code(s, s_end, kanji);
    unsigned to;
    if (r < r_end) {
      to = take_code(r, r_end, kanji);
      prev = to;
    } else {
      // The last replacement character repeats; with d the rest is deleted.
      to = delete_rest ? TRANS_DELETE : prev;
    }
    table.add(static_cast<uint16_t>(from), static_cast<uint16_t>(to));
  }
  table.add(kTableEnd, kTableEnd);
  record->trans_table = table.release();
  return record.release();
}

int trans_apply(RegexHandle* handle, const uchar* target_start, const uchar* target_end, char* message) {
  if (target_start == nullptr || target_end <= target_start) return 0;
  const uint32_t flags = handle->flags;
  const bool kanji = (flags & OPT_KANJI) != 0;
  const bool complement = (flags & OPT_COMPLEMENT) != 0;
  const bool squeeze = (flags & OPT_SQUEEZE) != 0;
  const uint16_t* table = handle->trans_table;

  // The first pair of each code, so that a lookup costs one step; a duplicate in
  // the search list never replaces the pair before it.
  std::vector<int32_t> first(kanji ? 0x10000 : 0x100, kNone);
  for (int32_t i = 0; table[2 * i] != kTableEnd; ++i) {
    const uint16_t from = table[2 * i];
    if (from < first.size() && first[from] == kNone) first[from] = i;
  }

  const size_t length = static_cast<size_t>(target_end - target_start);
  LiteralPtr out(literal_new(nullptr, 0));
  literal_reserve(out.get(), length + 1);
  int count = 0;
  int last = kNone;
  const uchar* p = target_start;
  while (p < target_end) {
    const unsigned x = take_code(p, target_end, kanji);
    const int32_t pair = first[x];
    bool found;
    unsigned t = TRANS_SAME;
    if (!complement) {
      found = pair != kNone;
      if (found) t = table[2 * pair + 1];
    } else {
      found = pair == kNone;
      t = (flags & OPT_DELETE) ? TRANS_DELETE : TRANS_SAME;
    }
    if (!found) {
      trans_put(out.get(), x);
      last = static_cast<int>(x);
      continue;
    }
    ++count;
    if (t != TRANS_DELETE) {
      const unsigned v = t == TRANS_SAME ? x : t;
      if (!squeeze || static_cast<int>(v) != last) trans_put(out.get(), v);
    }
    last = static_cast<int>(t == TRANS_SAME || t == TRANS_DELETE ? x : t);
  }
  LiteralBuf* buffer = out.get();
  handle->result_start = buffer->data;
  handle->result_end = buffer->data + buffer->length;
  buffer->data = nullptr;
  (void)message;
  return count;
}

}  // namespace regex_internal
