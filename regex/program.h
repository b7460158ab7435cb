// Compiled program format: opcodes, their kinds, the node header and operand layout,
// shared by the compiler, the matcher and the lister.
#pragma once

#include <cstdint>
#include <string>

namespace regex_internal {

constexpr unsigned char PROGRAM_MAGIC = 0x9C;
constexpr unsigned char PAD_BYTE = 0x7F;

// Class operand item markers and flags.
constexpr unsigned char CLASS_SINGLE = 0x80;
constexpr unsigned char CLASS_RANGE = 0x81;
constexpr unsigned char CLASS_END = 0x82;
constexpr unsigned char CLASS_NEGATED = 0x83;

// A repeat maximum of this value means unbounded.
constexpr int REPEAT_INFINITE = 32767;

// Every node starts with a 3-byte header: the opcode, then a signed 16-bit
// little-endian link to the next node in sequence (0: none). Operands follow at +3;
// the node after the header starts at +4 unless noted. "Continue" means go on with
// the node the link points to.
enum Opcode : unsigned char {
  END = 0,           // the whole pattern has matched
  BOL = 1,           // ^: a line start (at the subject start when the byte before it is a newline)
  BOL_M = 2,         // ^ in multi-line mode: the same test as BOL
  BOL_S = 3,         // ^ in single-line mode, \A: only at the subject start
  EOL = 4,           // $: as EOL_M in multi-line mode, else as EOL_S
  EOL_M = 5,         // $ in multi-line mode: before any newline or at the end
  EOL_S = 6,         // $ in single-line mode, \Z: at the end or before a final newline
  ANY = 7,           // .: one character but a newline
  ANY_S = 8,         // . in single-line mode: any one character
  CLASS = 9,         // [...]: +3 flag (0x00, or CLASS_NEGATED), +4 items up to CLASS_END
  REPEAT = 10,       // ? and {n,m} on a simple atom: +3 min, +5 max (16-bit), +8 the node
  REPEAT_X = 11,     // any quantifier on another atom: +3 min, +5 max, +8 the body, which
                     // ends in REPEAT_LOOP; links to a NOTHING after that
  BRANCH = 12,       // one alternative, starting at +4; links to the next BRANCH or the join
  BACK = 13,         // matches empty (never emitted)
  EXACT = 14,        // a literal: +3 length L (0..127), +4 the L bytes, then 0x00
  NOTHING = 15,      // matches empty: group ends, empty alternatives, loop exits
  STAR = 16,         // * on a simple atom: the node at +4, zero or more times
  PLUS = 17,         // + on a simple atom: the node at +4, one or more times
  WORD = 18,         // \w: one ASCII letter, digit or _
  NWORD = 19,        // \W: any other character
  WBOUND = 20,       // \b: word bytes differ on the two sides
  NWBOUND = 21,      // \B: they do not
  SPACE = 22,        // \s: one white-space byte
  NSPACE = 23,       // \S: any other character
  DIGIT = 24,        // \d: one digit 0-9
  NDIGIT = 25,       // \D: any other character
  BACKREF = 26,      // \n: +3 group number (16-bit); the group's text again; next node at +6
  OPEN = 27,         // (: +3 group number; records the group's start; next node at +6
  CLOSE = 28,        // ): +3 group number; records the group's end; next node at +6
  LAZY = 29,         // ? after a quantifier: the quantifier node it links to is non-greedy
  GPOS = 30,         // \G: where the previous match of a global run ended
  AHEAD = 31,        // (?=...): the body at +4 must match here; consumes nothing
  NAHEAD = 32,       // (?!...): the body at +4 must not match here
  SUCCEED = 33,      // the end of a look-ahead body: the body has matched
  REPEAT_LOOP = 34,  // the end of a REPEAT_X body: one pass done, decide whether to loop
  OPCODE_COUNT = 35,
};

// The kind of each opcode, named by the opcode that stands for the group.
inline constexpr unsigned char kOpcodeKind[OPCODE_COUNT] = {
    END,     BOL,     BOL,     BOL,    EOL,     EOL,     EOL,         ANY,   ANY,
    CLASS,   REPEAT,  REPEAT,  BRANCH, BACK,    EXACT,   NOTHING,     STAR,  PLUS,
    WORD,    NWORD,   WBOUND,  NWBOUND, SPACE,  NSPACE,  DIGIT,       NDIGIT, BACKREF,
    OPEN,    CLOSE,   LAZY,    BOL,    BRANCH,  BRANCH,  END,         REPEAT_LOOP,
};

inline constexpr const char* kOpcodeName[OPCODE_COUNT] = {
    "END",     "BOL",     "BOL_M",  "BOL_S",   "EOL",     "EOL_M",   "EOL_S",
    "ANY",     "ANY_S",   "CLASS",  "REPEAT",  "REPEAT_X", "BRANCH", "BACK",
    "EXACT",   "NOTHING", "STAR",   "PLUS",    "WORD",    "NWORD",   "WBOUND",
    "NWBOUND", "SPACE",   "NSPACE", "DIGIT",   "NDIGIT",  "BACKREF", "OPEN",
    "CLOSE",   "LAZY",    "GPOS",   "AHEAD",   "NAHEAD",  "SUCCEED", "REPEAT_LOOP",
};

// Both tables have one entry per opcode: a missing one would be zero (END, or null).
constexpr bool opcode_tables_complete() {
  for (int op = 0; op < OPCODE_COUNT; ++op) {
    if (kOpcodeName[op] == nullptr) return false;
    const unsigned char kind = kOpcodeKind[op];
    if (kind >= OPCODE_COUNT || kOpcodeKind[kind] != kind) return false;  // a kind stands for itself
  }
  return kOpcodeKind[END] == END && kOpcodeKind[REPEAT_LOOP] == REPEAT_LOOP && kOpcodeKind[SUCCEED] == END &&
         kOpcodeKind[GPOS] == BOL && kOpcodeKind[AHEAD] == BRANCH && kOpcodeKind[NAHEAD] == BRANCH;
}
static_assert(opcode_tables_complete());

inline unsigned char op_kind(unsigned char op) { return op < OPCODE_COUNT ? kOpcodeKind[op] : op; }

// One-character set: nodes that match exactly one character.
inline bool is_one_char(unsigned char op) {
  switch (op) {
    case ANY: case ANY_S: case CLASS: case WORD: case NWORD:
    case SPACE: case NSPACE: case DIGIT: case NDIGIT:
      return true;
    default:
      return false;
  }
}

// Variable set: nodes whose width varies.
inline bool is_variable(unsigned char op) {
  switch (op) {
    case BRANCH: case BACK: case STAR: case PLUS: case REPEAT:
    case REPEAT_X: case BACKREF: case REPEAT_LOOP:
      return true;
    default:
      return false;
  }
}

// Bytes of operand between a node's opcode + 4 and the node it governs.
inline int operand_length(unsigned char op) {
  switch (op) {
    case REPEAT: case REPEAT_X: return 4;
    case BACKREF: case OPEN: case CLOSE: return 2;
    default: return 0;
  }
}

inline unsigned read16(const unsigned char* p) { return p[0] | (p[1] << 8); }
inline void write16(unsigned char* p, unsigned v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

// Class codes are written high byte first.
inline unsigned read16be(const unsigned char* p) { return (p[0] << 8) | p[1]; }

inline int node_link(const unsigned char* node) {
  return static_cast<int16_t>(static_cast<uint16_t>(read16(node + 1)));
}

// The node the link points to, or null when the link is 0.
inline const unsigned char* next_node(const unsigned char* node) {
  int link = node_link(node);
  return link == 0 ? nullptr : node + link;
}

inline unsigned node_arg(const unsigned char* node) { return read16(node + 3); }        // group number
inline unsigned repeat_min(const unsigned char* node) { return read16(node + 3); }
inline unsigned repeat_max(const unsigned char* node) { return read16(node + 5); }

// Whether a class operand (its flag byte first) accepts the character code.
inline int class_contains(unsigned code, const unsigned char* operand) {
  const bool negated = operand[0] == CLASS_NEGATED;
  for (const unsigned char* p = operand + 1;;) {
    if (*p == CLASS_END) return negated ? 1 : 0;
    if (*p == CLASS_SINGLE) {
      if (code == read16be(p + 1)) return negated ? 0 : 1;
      p += 3;
    } else if (*p == CLASS_RANGE) {
      if (code >= read16be(p + 1) && code <= read16be(p + 3)) return negated ? 0 : 1;
      p += 5;
    } else {
      ++p;
    }
  }
}

// Bytes a node occupies up to its padding, or 0 when its operand runs past limit.
int node_span(const unsigned char* node, const unsigned char* limit);

// One line per node in memory order: offset, opcode name, operand, link target.
std::string dump_program(const unsigned char* program, int length);

}  // namespace regex_internal
