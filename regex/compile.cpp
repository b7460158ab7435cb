// Pattern compiler: the two-pass driver, the emission layer both passes share and
// the analysis that leaves start and required-literal hints for the matcher.
#include <cstdlib>
#include <cstring>

#include "regex/internal.h"
#include "regex/program.h"

namespace regex_internal {
namespace {

// Never a real emission address: the emission layer only compares against it.
unsigned char sizing_marker_byte;
unsigned char* const kSizing = &sizing_marker_byte;

// The largest program is 32766 bytes.
constexpr int32_t kProgramLimit = 32767;

void count(CompileState& cs, int32_t n) {
  cs.size += n;
  if (cs.size >= kProgramLimit) raise(kMsgTooBig);
}

// The second pass never writes more than the first counted.
void room_for(const CompileState& cs, size_t n) {
  if (n > static_cast<size_t>(cs.limit - cs.emit_pos)) raise(kMsgFatal);
}

}  // namespace

bool sizing(const CompileState& cs) { return cs.emit_pos == kSizing; }

void emit_byte(CompileState& cs, unsigned char b) {
  if (sizing(cs)) {
    count(cs, 1);
    return;
  }
  room_for(cs, 1);
  *cs.emit_pos++ = b;
}

namespace {

unsigned char* emit_header(CompileState& cs, unsigned char op, int bytes) {
  if (sizing(cs)) {
    count(cs, (cs.size % 2 == 0 ? 1 : 0) + bytes);
    return kSizing;
  }
  if ((cs.emit_pos - cs.program) % 2 == 0) {
    room_for(cs, 1);
    *cs.emit_pos++ = PAD_BYTE;
  }
  room_for(cs, bytes);
  unsigned char* node = cs.emit_pos;
  node[0] = op;
  node[1] = node[2] = 0;
  cs.emit_pos += bytes;
  return node;
}

}  // namespace

unsigned char* emit_node(CompileState& cs, unsigned char op) { return emit_header(cs, op, 3); }

unsigned char* emit_arg_node(CompileState& cs, unsigned char op, unsigned n) {
  unsigned char* node = emit_header(cs, op, 5);
  if (!sizing(cs)) write16(node + 3, n);
  return node;
}

void insert_node(CompileState& cs, unsigned char op, unsigned char* at) {
  const int32_t width = op_kind(op) == REPEAT ? 8 : 4;
  if (sizing(cs)) {
    count(cs, width);
    return;
  }
  if (at < cs.program || at > cs.emit_pos) raise(kMsgFatal);
  room_for(cs, width);
  std::memmove(at + width, at, cs.emit_pos - at);
  cs.emit_pos += width;
  at[0] = op;
  at[1] = at[2] = 0;
  if (width == 8) std::memset(at + 3, 0, 4);
  at[width - 1] = PAD_BYTE;
}

unsigned char* next_node(CompileState& cs, unsigned char* node) {
  if (node == nullptr || node == kSizing) return nullptr;
  int link = node_link(node);
  return link == 0 ? nullptr : node + link;
}

void link_tail(CompileState& cs, unsigned char* from, unsigned char* to) {
  if (sizing(cs) || from == nullptr || to == nullptr) return;
  unsigned char* last = from;
  for (unsigned char* n; (n = next_node(cs, last)) != nullptr;) last = n;
  const ptrdiff_t distance = to - last;
  if (distance < INT16_MIN || distance > INT16_MAX) raise(kMsgFatal);
  write16(last + 1, static_cast<uint16_t>(static_cast<int16_t>(distance)));
}

void link_branch_tail(CompileState& cs, unsigned char* node, unsigned char* to) {
  if (sizing(cs) || node == nullptr) return;
  if (op_kind(node[0]) == BRANCH) link_tail(cs, node + 4, to);
}

namespace {

// Offsets that are not fixed stay far below zero whatever a pattern adds to them.
constexpr int32_t kUnfixed = -1000000;

void keep_longer(LiteralBuf* current, LiteralBuf* longest, int32_t current_offset, int32_t& best_offset) {
  if (current->length > longest->length) {
    literal_copy(longest, current);
    best_offset = current_offset;
  }
  literal_set(current, nullptr, 0);
}

// Fills first_literal, first_node, anchor_flags, must_literal, must_offset and
// min_length from a program whose top level has one alternative.
void analyse(CompileState& cs, RegexHandle* h) {
  const unsigned char* const start = h->program + 5;
  const bool fold = h->fold != 0;

  // Leading nodes every match begins with.
  const unsigned char* first = start;
  bool saw_open = false, saw_plus = false;
  for (;;) {
    const unsigned char op = first[0];
    if (op == OPEN) {
      saw_open = true;
      first += 6;
    } else if (op == BRANCH && !(next_node(first) && next_node(first)[0] == BRANCH)) {
      first += 4;
    } else if (op == PLUS) {
      saw_plus = true;
      first += 4;
    } else if (op == LAZY) {
      first += 4;
    } else if ((op == REPEAT || op == REPEAT_X) && repeat_min(first) > 0) {
      first += 8;
    } else {
      break;
    }
  }
  for (;;) {
    const unsigned char op = first[0];
    if (op == EXACT) {
      const int32_t length = first[3];
      if (length > 0) {
        h->first_literal = literal_new(first + 4, length);
        if (length > 1 || fold) literal_build_table(h->first_literal, fold);
        else literal_mark(h->first_literal);
      }
    } else if (op == CLASS || op == WORD || op == NWORD || op == SPACE || op == NSPACE || op == DIGIT ||
               op == NDIGIT || op == WBOUND || op == NWBOUND) {
      h->first_node = first;
    } else if (op_kind(op) == BOL) {
      h->anchor_flags |= ANCHOR_BOL;
      first += 4;
      continue;
    } else if (op == STAR && op_kind(first[4]) == ANY && !(h->anchor_flags & ANCHOR_BOL)) {
      h->anchor_flags |= ANCHOR_BOL | ANCHOR_IMPLICIT;
      first += 4;
      continue;
    }
    break;
  }
  if (saw_plus && (!saw_open || !cs.saw_backref)) h->anchor_flags |= ANCHOR_SKIP;

  // The longest literal every match contains.
  LiteralPtr current(literal_new(reinterpret_cast<const unsigned char*>(""), 0));
  LiteralPtr longest(literal_new(reinterpret_cast<const unsigned char*>(""), 0));
  int32_t run_len = 0, offset = 0, current_offset = 0, best_offset = 0, min_len = 0;
  const unsigned char* node = start;
  while (node && node[0] != END) {
    const unsigned char op = node[0];
    const unsigned char* after = next_node(node);
    if (op == BRANCH) {
      if (after && after[0] == BRANCH) {
        offset = kUnfixed;
        while (after && after[0] == BRANCH) after = next_node(after);
        node = after;
      } else {
        node = node + 4;
      }
      continue;
    }
    if (op == NAHEAD) {
      offset = kUnfixed;
    } else if (op == EXACT) {
      const int32_t length = node[3];
      first = node;
      const unsigned char* scan = node;
      while (next_node(scan) && next_node(scan)[0] == CLOSE) scan = next_node(scan);
      after = next_node(scan);
      min_len += length;
      if (offset - current_offset == run_len) {
        literal_append(current.get(), node + 4, length);
        run_len += length;
        offset += length;
        first = after;
      } else if (length >= run_len + (offset >= 0 ? 1 : 0)) {
        literal_set(current.get(), node + 4, length);
        run_len = length;
        current_offset = offset;
        offset += length;
        first = after;
      } else {
        offset += length;
      }
    } else if (is_variable(op)) {
      run_len = 0;
      offset = kUnfixed;
      keep_longer(current.get(), longest.get(), current_offset, best_offset);
      if (op == PLUS && is_one_char(node[4])) min_len += 1;
      if (op_kind(op) == REPEAT && is_one_char(node[8])) min_len += static_cast<int32_t>(repeat_min(node));
    } else if (is_one_char(op)) {
      offset += 1;
      min_len += 1;
      run_len = 0;
      keep_longer(current.get(), longest.get(), current_offset, best_offset);
    }
    node = after;
  }
  const bool eol_after = first && op_kind(first[0]) == EOL;
  if (current->length + (eol_after ? 1 : 0) > longest->length) {
    literal_copy(longest.get(), current.get());
    best_offset = current_offset;
  } else {
    literal_set(current.get(), nullptr, 0);
  }
  const bool multiline = (cs.multiline) != 0, kanji = cs.kanji != 0;
  if (longest->length > 0 &&
      (!h->first_literal ||
       !literal_find(h->first_literal->data, h->first_literal->data + h->first_literal->length, longest.get(),
                     multiline, kanji))) {
    LiteralBuf* must = longest.release();
    h->must_literal = must;
    h->must_offset = best_offset < 0 ? -1 : best_offset;
    must->flags = 0;
    if (must->length > 1 || fold || eol_after) literal_build_table(must, fold);
    else literal_mark(must);
    must->useful = 100;
    if (eol_after && current->length > 0) must->flags |= LB_TAIL;
  }
  h->min_length = min_len;
}

void size_pass(CompileState& cs, const unsigned char* pattern, uint32_t options) {
  cs.cursor = pattern;
  cs.group_next = 1;
  cs.emit_pos = kSizing;
  cs.size = 0;
  cs.cost = 0;
  cs.options = options;
  cs.depth = 0;
  emit_byte(cs, PROGRAM_MAGIC);
  parse_pattern(cs);
}

struct FreeBytes {
  void operator()(unsigned char* p) const noexcept { std::free(p); }
};

RegexHandle* compile(const unsigned char* pattern, const unsigned char* pattern_end, uint32_t* options) {
  if (pattern == nullptr || pattern_end == nullptr || options == nullptr) raise(kMsgNullArgument);
  if (pattern_end < pattern) raise(kMsgFatal);
  const uint32_t caller = *options;
  std::unique_ptr<unsigned char, FreeBytes> copy;
  if (pattern < pattern_end) copy.reset(copy_bytes(pattern, pattern_end - pattern));

  CompileState cs{};
  cs.end = pattern_end;
  cs.multiline = caller & OPT_MULTILINE;
  cs.kanji = caller & OPT_KANJI;
  size_pass(cs, pattern, caller);
  // The written program is parsed with every inline modifier in force from the start;
  // count it that way too, or a class before an (?i) would outgrow its count.
  for (uint32_t started = caller; cs.options != started;) {
    started = cs.options;
    size_pass(cs, pattern, started);
  }
  const int32_t size = cs.size;

  auto* raw = static_cast<RegexHandle*>(rx_calloc(1, sizeof(RegexHandle) + size + 2));
  if (!raw) raise(kMsgOutOfSpaceRegexp);
  HandlePtr record(raw);
  record->pattern_length = static_cast<int32_t>(pattern_end - pattern);
  if (pattern == pattern_end) {
    record->flags = caller;
    return record.release();
  }
  record->pattern_copy = copy.release();

  cs.record = raw;
  cs.cost = 0;
  cs.program = raw->program;
  cs.emit_pos = raw->program;
  cs.limit = raw->program + size;
  cs.cursor = pattern;
  cs.group_next = 1;
  cs.depth = 0;
  emit_byte(cs, PROGRAM_MAGIC);
  parse_pattern(cs);
  raw->program_length = static_cast<int32_t>(cs.emit_pos - raw->program);

  raw->flags = caller;
  raw->first_literal = nullptr;
  raw->first_node = nullptr;
  raw->must_literal = nullptr;
  raw->must_offset = -1;
  raw->anchor_flags = 0;
  raw->fold = (cs.options & OPT_FOLD) ? 1 : 0;
  raw->expensive = cs.cost >= 10 ? 1 : 0;
  const unsigned char* after_branch = next_node(raw->program + 1);
  if (after_branch && after_branch[0] == END) analyse(cs, raw);
  raw->group_count = cs.group_next - 1;
  build_match_tables(raw);

  raw->match_starts = static_cast<const unsigned char**>(rx_calloc(cs.group_next, sizeof(unsigned char*)));
  if (!raw->match_starts) raise(kMsgOutOfSpaceStartp);
  raw->match_ends = static_cast<const unsigned char**>(rx_calloc(cs.group_next, sizeof(unsigned char*)));
  if (!raw->match_ends) raise(kMsgOutOfSpaceEndp);
  *options = cs.options;
  return record.release();
}

}  // namespace
}  // namespace regex_internal

RegexHandle* rx_compile(const char* pattern, const char* pattern_end, uint32_t* options, char* message) noexcept {
  using namespace regex_internal;
  return guard_entry<RegexHandle*>(message, nullptr, kMsgFatal, [&] {
    return compile(reinterpret_cast<const unsigned char*>(pattern),
                   reinterpret_cast<const unsigned char*>(pattern_end), options);
  });
}
