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

enum Opcode : unsigned char {
  END = 0,
  BOL = 1,
  BOL_M = 2,
  BOL_S = 3,
  EOL = 4,
  EOL_M = 5,
  EOL_S = 6,
  ANY = 7,
  ANY_S = 8,
  CLASS = 9,
  REPEAT = 10,
  REPEAT_X = 11,
  BRANCH = 12,
  BACK = 13,
  EXACT = 14,
  NOTHING = 15,
  STAR = 16,
  PLUS = 17,
  WORD = 18,
  NWORD = 19,
  WBOUND = 20,
  NWBOUND = 21,
  SPACE = 22,
  NSPACE = 23,
  DIGIT = 24,
  NDIGIT = 25,
  BACKREF = 26,
  OPEN = 27,
  CLOSE = 28,
  LAZY = 29,
  GPOS = 30,
  AHEAD = 31,
  NAHEAD = 32,
  SUCCEED = 33,
  REPEAT_LOOP = 34,
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
