// Pattern parser: recursive descent over the pattern bytes, emitting through the
// emission layer so that the same code sizes the program and then writes it.
#include <algorithm>
#include <cstring>

#include "regex/internal.h"
#include "regex/program.h"

namespace regex_internal {
namespace {

constexpr int SIMPLE = 1;
constexpr int TRY_AGAIN = 2;

// Decimal reads stop growing here: far above every count and group number allowed.
constexpr uint32_t kNumberCap = 1000000;

struct Result {
  unsigned char* node;  // null: no node
  int flags;
};

enum GroupKind { TOP, CAPTURE, NONCAPTURE, AHEAD_GROUP, NAHEAD_GROUP };

bool is_space(unsigned c) { return c == 0x20 || (c >= 0x09 && c <= 0x0D); }
bool is_digit(unsigned c) { return c >= '0' && c <= '9'; }
bool is_upper(unsigned c) { return c >= 'A' && c <= 'Z'; }
bool is_word(unsigned c) { return is_digit(c) || is_upper(c) || (c >= 'a' && c <= 'z') || c == '_'; }
bool extended(const CompileState& cs) { return (cs.options & OPT_EXTENDED) != 0; }

bool at_comment(const CompileState& cs, const unsigned char* p) {
  return cs.end - p >= 3 && p[0] == '(' && p[1] == '?' && p[2] == '#';
}

// Extended-mode white space and # comments at the cursor.
bool skip_extended_once(CompileState& cs) {
  const unsigned char* p = cs.cursor;
  if (!extended(cs) || p >= cs.end) return false;
  if (is_space(*p)) {
    cs.cursor = p + 1;
    return true;
  }
  if (*p == '#') {
    while (p < cs.end && *p != '\n') ++p;
    cs.cursor = p < cs.end ? p + 1 : p;
    return true;
  }
  return false;
}

// Comments and extended white space at the cursor; an unterminated (?# runs to the end.
void skip_fill(CompileState& cs) {
  for (;;) {
    if (at_comment(cs, cs.cursor)) {
      const unsigned char* p = cs.cursor + 3;
      while (p < cs.end && *p != ')') ++p;
      cs.cursor = p < cs.end ? p + 1 : p;
      continue;
    }
    if (!skip_extended_once(cs)) return;
  }
}

const unsigned char* advance(CompileState& cs) {
  const unsigned char* old = cs.cursor;
  if (cs.cursor < cs.end) ++cs.cursor;
  skip_fill(cs);
  return old;
}

uint32_t read_decimal(const unsigned char*& p, const unsigned char* end) {
  uint32_t n = 0;
  while (p < end && is_digit(*p)) {
    n = std::min<uint32_t>(n * 10 + (*p - '0'), kNumberCap);
    ++p;
  }
  return n;
}

bool is_counted_quantifier(const unsigned char* p, const unsigned char* end) {
  if (p >= end || *p != '{') return false;
  ++p;
  if (p >= end || !is_digit(*p)) return false;
  while (p < end && is_digit(*p)) ++p;
  if (p < end && *p == ',') {
    ++p;
    while (p < end && is_digit(*p)) ++p;
  }
  return p < end && *p == '}';
}

bool quantifier_at(const CompileState& cs, const unsigned char* p) {
  if (p >= cs.end) return false;
  return *p == '*' || *p == '+' || *p == '?' || is_counted_quantifier(p, cs.end);
}

struct Scan {
  unsigned value;
  int consumed;
};

Scan scan_octal(const unsigned char* p, const unsigned char* end, int most) {
  Scan s{0, 0};
  while (s.consumed < most && p + s.consumed < end && p[s.consumed] >= '0' && p[s.consumed] <= '7')
    s.value = s.value * 8 + (p[s.consumed++] - '0');
  return s;
}

Scan scan_hex(const unsigned char* p, const unsigned char* end, int most) {
  Scan s{0, 0};
  while (s.consumed < most && p + s.consumed < end) {
    unsigned c = p[s.consumed], d;
    if (is_digit(c)) d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c == 'x') d = 0;
    else break;
    s.value = s.value * 16 + d;
    ++s.consumed;
  }
  return s;
}

unsigned control_char(unsigned c) {
  if (c >= 'a' && c <= 'z') c -= 32;
  return c ^ 0x40;
}

bool apply_modifier(CompileState& cs, unsigned char letter) {
  switch (letter) {
    case 'i': cs.options |= OPT_FOLD; return true;
    case 'o': cs.options |= OPT_ONCE; return true;
    case 'g': cs.options |= OPT_GLOBAL; return true;
    case 'm': cs.options |= OPT_MULTILINE; return true;
    case 's': cs.options |= OPT_SINGLELINE; return true;
    case 'x': cs.options |= OPT_EXTENDED; return true;
    default: return false;
  }
}

Result parse_branch(CompileState& cs);
Result parse_group(CompileState& cs, bool paren);

// ---- classes ----

void add_class_code(CompileState& cs, unsigned code) {
  emit_byte(cs, CLASS_SINGLE);
  emit_byte(cs, static_cast<unsigned char>(code >> 8));
  emit_byte(cs, static_cast<unsigned char>(code));
}

void add_class_range(CompileState& cs, unsigned low, unsigned high) {
  emit_byte(cs, CLASS_RANGE);
  emit_byte(cs, static_cast<unsigned char>(low >> 8));
  emit_byte(cs, static_cast<unsigned char>(low));
  emit_byte(cs, static_cast<unsigned char>(high >> 8));
  emit_byte(cs, static_cast<unsigned char>(high));
}

void add_class_bits(CompileState& cs) {
  auto bit = [&](unsigned c) { return (cs.class_bits[c >> 3] >> (c & 7)) & 1; };
  for (unsigned c = 0; c < 256;) {
    if (!bit(c)) {
      ++c;
      continue;
    }
    unsigned last = c;
    while (last + 1 < 256 && bit(last + 1)) ++last;
    if (last == c) add_class_code(cs, c);
    else add_class_range(cs, c, last);
    c = last + 1;
  }
}

template <typename Pred>
void set_class_bits(CompileState& cs, Pred member) {
  std::memset(cs.class_bits, 0, sizeof cs.class_bits);
  for (unsigned c = 0; c < 256; ++c)
    if (member(c)) cs.class_bits[c >> 3] |= static_cast<unsigned char>(1u << (c & 7));
}

constexpr unsigned kNoRange = 0x10000;  // no range pending
constexpr unsigned kSetRange = 0xFFFF;  // a set escape interrupted a range: nothing may follow

Result parse_class(CompileState& cs) {
  unsigned char* node = emit_node(cs, CLASS);
  unsigned char flag = 0x00;
  if (cs.cursor < cs.end && *cs.cursor == '^') {
    ++cs.cursor;
    cost_add(cs, 1);
    flag = CLASS_NEGATED;
  }
  emit_byte(cs, flag);
  const bool fold = (cs.options & OPT_FOLD) != 0;
  unsigned pending = kNoRange;
  bool first = true;
  while (cs.cursor < cs.end && (first || *cs.cursor != ']')) {
    first = false;
    unsigned code = *cs.cursor++;
    if (cs.kanji && is_lead_byte(static_cast<unsigned char>(code)) && cs.cursor < cs.end)
      code = code << 8 | *cs.cursor++;
    if (code == '\\') {
      // An escape needs its letter, and the class its ']', inside the pattern.
      if (cs.cursor >= cs.end) raise(kMsgUnmatchedBracket);
      unsigned e = *cs.cursor++;
      bool set = true;
      switch (e) {
        case 'd': add_class_range(cs, 0x30, 0x39); break;
        case 'D':
          add_class_range(cs, 0x00, 0x2F);
          add_class_range(cs, 0x3A, 0xFF);
          add_class_range(cs, 0x0100, 0xFFFF);
          break;
        case 'w': set_class_bits(cs, is_word); add_class_bits(cs); break;
        case 'W':
          set_class_bits(cs, [](unsigned c) { return !is_word(c); });
          add_class_bits(cs);
          add_class_range(cs, 0x0100, 0xFFFF);
          break;
        case 's': set_class_bits(cs, is_space); add_class_bits(cs); break;
        case 'S':
          set_class_bits(cs, [](unsigned c) { return !is_space(c); });
          add_class_bits(cs);
          add_class_range(cs, 0x0100, 0xFFFF);
          break;
        default: set = false; break;
      }
      if (set) {
        if (pending != kNoRange) pending = kSetRange;
        continue;
      }
      switch (e) {
        case 'a': code = 7; break;
        case 'b': code = 8; break;
        case 'e': code = 27; break;
        case 'f': code = 12; break;
        case 'n': code = 10; break;
        case 'r': code = 13; break;
        case 't': code = 9; break;
        case 'c':
          if (cs.cursor >= cs.end) raise(kMsgUnmatchedBracket);
          code = control_char(*cs.cursor++);
          break;
        case 'x': {
          Scan s = scan_hex(cs.cursor, cs.end, 2);
          cs.cursor += s.consumed;
          code = s.value;
          break;
        }
        default:
          if (is_digit(e)) {
            Scan s = scan_octal(cs.cursor - 1, cs.end, 3);
            cs.cursor += s.consumed - 1;  // 8 and 9 consume nothing: read again as a member
            code = s.value;
          } else {
            code = e;
          }
          break;
      }
    }
    if (pending != kNoRange) {
      unsigned a = pending;
      pending = kNoRange;
      if (code < a) raise(kMsgBadRange);
      if (code == a) add_class_code(cs, a);
      else add_class_range(cs, a, code);
      if (fold && a < 0x80 && is_upper(a)) {
        if (code == a) add_class_code(cs, lower_ascii(static_cast<unsigned char>(a)));
        else add_class_range(cs, lower_ascii(static_cast<unsigned char>(a)),
                             code < 0x80 ? lower_ascii(static_cast<unsigned char>(code)) : code);
      }
      continue;
    }
    if (cs.cursor < cs.end && *cs.cursor == '-' && cs.cursor + 1 < cs.end && cs.cursor[1] != ']') {
      ++cs.cursor;
      pending = code;
      continue;
    }
    add_class_code(cs, code);
    if (fold && code < 0x80 && is_upper(code)) add_class_code(cs, lower_ascii(static_cast<unsigned char>(code)));
  }
  if (cs.cursor >= cs.end || *cs.cursor != ']') raise(kMsgUnmatchedBracket);
  ++cs.cursor;
  emit_byte(cs, CLASS_END);
  return {node, SIMPLE};
}

// ---- literal runs ----

Result parse_literal_run(CompileState& cs) {
  unsigned char* node = emit_node(cs, EXACT);
  unsigned char* length_at = sizing(cs) ? nullptr : cs.emit_pos;
  emit_byte(cs, 0);
  const bool fold = (cs.options & OPT_FOLD) != 0;
  const unsigned char* p = cs.cursor;
  const unsigned char* const end = cs.end;
  int len = 0;
  while (p < end && len < 126) {
    const unsigned char* oldp = p;
    unsigned b = *p;
    if (std::strchr("$().[^|", static_cast<int>(b)) && b != 0) break;
    if (b == '\\') {
      if (p + 1 >= end) raise(kMsgTrailingBackslash);
      unsigned e = p[1];
      p += 2;
      bool ends = false;
      switch (e) {
        case 'n': b = 10; break;
        case 'r': b = 13; break;
        case 't': b = 9; break;
        case 'f': b = 12; break;
        case 'e': b = 27; break;
        case 'a': b = 7; break;
        case 'x': {
          Scan s = scan_hex(p, end, 2);
          p += s.consumed;
          b = s.value;
          break;
        }
        case 'c':
          // The control letter must be inside the pattern.
          if (p >= end) raise(kMsgTrailingBackslash);
          b = control_char(*p++);
          break;
        case '0': {
          Scan s = scan_octal(p - 1, end, 3);
          p += s.consumed - 1;
          b = s.value & 0xFF;
          break;
        }
        case 'A': case 'B': case 'D': case 'G': case 'S': case 'W': case 'Z':
        case 'b': case 'd': case 's': case 'w':
          ends = true;
          break;
        default:
          if (e >= '1' && e <= '9') {
            const unsigned char* q = p - 1;
            uint32_t n = read_decimal(q, end);
            if (p < end && is_digit(*p) && n >= static_cast<uint32_t>(cs.group_next)) {
              Scan s = scan_octal(p - 1, end, 3);
              p += s.consumed - 1;
              b = s.value & 0xFF;
            } else {
              ends = true;  // a back-reference follows
            }
          } else {
            b = e;
          }
          break;
      }
      if (ends) {
        p = oldp;
        break;
      }
    } else if (extended(cs) && b == '#') {
      while (p < end && *p != '\n') ++p;
      if (p < end) ++p;
      continue;
    } else if (extended(cs) && is_space(b)) {
      ++p;
      continue;
    } else {
      ++p;
    }
    if (fold && b < 0x80 && is_upper(b)) b += 32;
    if (cs.kanji && is_lead_byte(static_cast<unsigned char>(b)) && p < end && *p != 0) {
      unsigned char t = *p;
      if (quantifier_at(cs, p + 1)) {
        if (len > 0) {
          p = oldp;
        } else {
          emit_byte(cs, static_cast<unsigned char>(b));
          emit_byte(cs, t);
          len = 2;
          p += 1;
        }
        break;
      }
      emit_byte(cs, static_cast<unsigned char>(b));
      emit_byte(cs, t);
      len += 2;
      p += 1;
      continue;
    }
    if (quantifier_at(cs, p)) {
      if (len > 0) {
        p = oldp;
      } else {
        emit_byte(cs, static_cast<unsigned char>(b));
        len = 1;
      }
      break;
    }
    emit_byte(cs, static_cast<unsigned char>(b));
    len += 1;
  }
  // Every caller has a character to read here; an empty literal would match only at NUL.
  if (len == 0) raise(kMsgFatal);
  if (length_at) *length_at = static_cast<unsigned char>(len);
  emit_byte(cs, 0);
  cs.cursor = p;
  skip_fill(cs);
  return {node, len == 1 ? SIMPLE : 0};
}

// ---- atoms, pieces, branches, groups ----

Result parse_atom(CompileState& cs) {
  for (;;) {
    while (skip_extended_once(cs)) {
    }
    // Nothing left of this alternative (the end, or a modifier group just before it).
    if (cs.cursor >= cs.end) return {nullptr, TRY_AGAIN};
    const bool multi = (cs.options & OPT_MULTILINE) != 0;
    const bool single = (cs.options & OPT_SINGLELINE) != 0;
    switch (*cs.cursor) {
      case '^':
        advance(cs);
        return {emit_node(cs, multi ? BOL_M : single ? BOL_S : BOL), 0};
      case '$':
        advance(cs);
        return {emit_node(cs, multi ? EOL_M : single ? EOL_S : EOL), 0};
      case '.':
        advance(cs);
        cost_add(cs, 1);
        return {emit_node(cs, single ? ANY_S : ANY), SIMPLE};
      case '[':
        ++cs.cursor;
        return parse_class(cs);
      case '(': {
        advance(cs);
        Result r = parse_group(cs, true);
        if (r.node) return r;
        continue;
      }
      case '|':
      case ')':
        return {nullptr, TRY_AGAIN};
      case '*':
      case '+':
      case '?':
        raise(kMsgFollowsNothing);
      case '\\': {
        if (cs.cursor + 1 >= cs.end) raise(kMsgTrailingBackslash);
        unsigned char op = 0;
        switch (cs.cursor[1]) {
          case 'A': op = BOL_S; break;
          case 'Z': op = EOL_S; break;
          case 'G': op = GPOS; break;
          case 'b': op = WBOUND; break;
          case 'B': op = NWBOUND; break;
          case 'w': op = WORD; break;
          case 'W': op = NWORD; break;
          case 's': op = SPACE; break;
          case 'S': op = NSPACE; break;
          case 'd': op = DIGIT; break;
          case 'D': op = NDIGIT; break;
          default: break;
        }
        if (op) {
          ++cs.cursor;
          advance(cs);
          return {emit_node(cs, op), SIMPLE};
        }
        unsigned char e = cs.cursor[1];
        if (e >= '1' && e <= '9') {
          const unsigned char* p = cs.cursor + 1;
          uint32_t n = read_decimal(p, cs.end);
          if (n <= 9 || n < static_cast<uint32_t>(cs.group_next)) {
            cs.saw_backref = 1;
            unsigned char* node = emit_arg_node(cs, BACKREF, n);
            cs.cursor = p;
            return {node, 0};
          }
        }
        return parse_literal_run(cs);
      }
      default:
        return parse_literal_run(cs);
    }
  }
}

Result parse_piece(CompileState& cs) {
  Result atom = parse_atom(cs);
  if (!atom.node) return atom;
  if (at_comment(cs, cs.cursor)) {
    const unsigned char* p = cs.cursor + 3;
    while (p < cs.end && *p != ')') ++p;
    if (p >= cs.end) {
      cs.cursor = p;
      return atom;
    }
    cs.cursor = p;
    advance(cs);
  }
  if (cs.cursor >= cs.end) return atom;
  uint32_t min = 0, max = REPEAT_INFINITE;
  unsigned char q = *cs.cursor;
  if (q == '*' || q == '+' || q == '?') {
    advance(cs);
    if (q == '+') min = 1;
    if (q == '?') max = 1;
  } else if (is_counted_quantifier(cs.cursor, cs.end)) {
    const unsigned char* p = cs.cursor + 1;
    min = read_decimal(p, cs.end);
    if (*p == ',') {
      ++p;
      const bool digits = p < cs.end && is_digit(*p);
      const bool zero = p < cs.end && *p == '0';
      max = read_decimal(p, cs.end);
      if (max == 0 && !zero) {
        max = REPEAT_INFINITE;
      } else if (!digits) {
        max = REPEAT_INFINITE;
      } else if (max > REPEAT_INFINITE - 1) {
        raise(kMsgCountTooBig);
      }
    } else {
      max = min;
      if (max > REPEAT_INFINITE - 1) raise(kMsgCountTooBig);
    }
    if (min > REPEAT_INFINITE - 1) raise(kMsgCountTooBig);
    cs.cursor = p;  // at the '}'
    advance(cs);
    q = '{';
  } else {
    return atom;
  }
  unsigned char* node = atom.node;
  const bool simple = (atom.flags & SIMPLE) != 0;
  if (simple && q == '*') {
    insert_node(cs, STAR, node);
    cost_add(cs, 4);
  } else if (simple && q == '+') {
    insert_node(cs, PLUS, node);
    cost_add(cs, 3);
  } else {
    if (max != 0 && max < min) raise(kMsgBadCount);
    if (simple) {
      cost_set(cs, int64_t{cs.cost} + cs.cost / 2 + 2);
      insert_node(cs, REPEAT, node);
    } else {
      cost_set(cs, 2 * int64_t{cs.cost} + 4);
      link_tail(cs, node, emit_node(cs, REPEAT_LOOP));
      insert_node(cs, REPEAT_X, node);
    }
    if (!sizing(cs)) {
      write16(node + 3, min);
      write16(node + 5, max);
    }
    if (!simple) link_tail(cs, node, emit_node(cs, NOTHING));
  }
  if (cs.cursor < cs.end && *cs.cursor == '?') {
    advance(cs);
    insert_node(cs, LAZY, node);
    if (!sizing(cs)) link_tail(cs, node, node + 4);
  }
  if (quantifier_at(cs, cs.cursor)) raise(kMsgNested);
  return {node, 0};
}

Result parse_branch(CompileState& cs) {
  unsigned char* branch = emit_node(cs, BRANCH);
  skip_fill(cs);
  unsigned char* previous = nullptr;
  while (cs.cursor < cs.end && *cs.cursor != '|' && *cs.cursor != ')') {
    Result piece = parse_piece(cs);
    if (!piece.node) continue;
    if (previous) {
      cost_add(cs, 1);
      link_tail(cs, previous, piece.node);
    }
    previous = piece.node;
  }
  if (!previous) emit_node(cs, NOTHING);
  return {branch, 0};
}

Result parse_group(CompileState& cs, bool paren) {
  GroupKind kind = paren ? CAPTURE : TOP;
  unsigned char* open = nullptr;
  unsigned number = 0;
  if (paren && cs.cursor < cs.end && *cs.cursor == '?') {
    const unsigned char* p = cs.cursor + 1;
    unsigned char c = p < cs.end ? *p : 0;
    if (p < cs.end && c == ':') kind = NONCAPTURE;
    else if (p < cs.end && c == '=') kind = AHEAD_GROUP;
    else if (p < cs.end && c == '!') kind = NAHEAD_GROUP;
    else if (p < cs.end && c == '#') {
      const unsigned char* q = p + 1;
      while (q < cs.end && *q != ')') ++q;
      if (q >= cs.end) raise(kMsgCommentOpen);
      cs.cursor = q;
      advance(cs);
      return {nullptr, TRY_AGAIN};
    } else if (p < cs.end && (c == '$' || c == '@')) {
      raise(kMsgNotImplemented);
    } else {
      while (p < cs.end && apply_modifier(cs, *p)) ++p;
      if (p >= cs.end || *p != ')') raise(kMsgNotRecognized);
      cs.cursor = p;
      advance(cs);
      return {nullptr, TRY_AGAIN};
    }
    cs.cursor = p + 1;
  }
  if (paren && ++cs.depth > kMaxGroupDepth) raise(kMsgTooBig);
  if (kind == CAPTURE) {
    number = static_cast<unsigned>(cs.group_next++);
    open = emit_arg_node(cs, OPEN, number);
  }
  Result branch = parse_branch(cs);
  unsigned char* start = branch.node;
  if (open) {
    link_tail(cs, open, branch.node);
    start = open;
  }
  while (cs.cursor < cs.end && *cs.cursor == '|') {
    advance(cs);
    Result next = parse_branch(cs);
    link_tail(cs, start, next.node);
  }
  unsigned char* closing;
  switch (kind) {
    case TOP: closing = emit_node(cs, END); break;
    case CAPTURE: closing = emit_arg_node(cs, CLOSE, number); break;
    case NONCAPTURE: closing = emit_node(cs, NOTHING); break;
    default: closing = emit_node(cs, SUCCEED); break;
  }
  link_tail(cs, start, closing);
  for (unsigned char* n = start; n; n = next_node(cs, n)) link_branch_tail(cs, n, closing);
  if (kind == AHEAD_GROUP || kind == NAHEAD_GROUP) {
    insert_node(cs, kind == AHEAD_GROUP ? AHEAD : NAHEAD, start);
    link_tail(cs, start, emit_node(cs, NOTHING));
  }
  if (paren) {
    if (cs.cursor >= cs.end || *cs.cursor != ')') raise(kMsgUnmatchedParen);
    advance(cs);
    --cs.depth;
  } else if (cs.cursor < cs.end) {
    raise(kMsgUnmatchedParen);
  }
  return {start, 0};
}

}  // namespace

void parse_pattern(CompileState& cs) { parse_group(cs, false); }

}  // namespace regex_internal
