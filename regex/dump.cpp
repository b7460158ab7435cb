// Program lister: one line per node, for tests and debugging.
#include <cstdio>

#include "regex/program.h"

namespace regex_internal {

int node_span(const unsigned char* node, const unsigned char* limit) {
  if (limit - node < 3) return 0;
  const unsigned char op = node[0];
  int span = 3 + operand_length(op);
  if (op == EXACT) {
    if (limit - node < 4) return 0;
    span = 3 + 1 + node[3] + 1;
  } else if (op == CLASS) {
    const unsigned char* p = node + 4;
    for (;;) {
      if (p >= limit) return 0;
      if (*p == CLASS_END) break;
      p += *p == CLASS_SINGLE ? 3 : *p == CLASS_RANGE ? 5 : 1;
    }
    span = static_cast<int>(p + 1 - node);
  }
  return span <= limit - node ? span : 0;
}

namespace {

void append_code(std::string& out, unsigned code) {
  char buf[8];
  std::snprintf(buf, sizeof buf, code > 0xFF ? "%04x" : "%02x", code);
  out += buf;
}

}  // namespace

std::string dump_program(const unsigned char* program, int length) {
  std::string out;
  if (program == nullptr || length < 1) return out;
  const unsigned char* const limit = program + length;
  const unsigned char* node = program + 1;
  char buf[64];
  while (node < limit) {
    if ((node - program) % 2 == 0) {
      if (*node != PAD_BYTE) out += "?? missing pad\n";
      ++node;
      continue;
    }
    const unsigned char op = *node;
    const int span = node_span(node, limit);
    std::snprintf(buf, sizeof buf, "%d ", static_cast<int>(node - program));
    out += buf;
    if (op >= OPCODE_COUNT || span == 0) {
      std::snprintf(buf, sizeof buf, "?? %u\n", op);
      out += buf;
      break;
    }
    out += kOpcodeName[op];
    switch (op) {
      case EXACT:
        out += " \"";
        for (int i = 0; i < node[3]; ++i) {
          const unsigned char c = node[4 + i];
          if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
          } else {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
          }
        }
        out += '"';
        break;
      case CLASS: {
        out += node[3] == CLASS_NEGATED ? " ^[" : " [";
        bool first = true;
        for (const unsigned char* p = node + 4; *p != CLASS_END;) {
          if (!first) out += ' ';
          first = false;
          if (*p == CLASS_SINGLE) {
            append_code(out, read16be(p + 1));
            p += 3;
          } else if (*p == CLASS_RANGE) {
            append_code(out, read16be(p + 1));
            out += '-';
            append_code(out, read16be(p + 3));
            p += 5;
          } else {
            out += "??";
            p += 1;
          }
        }
        out += ']';
        break;
      }
      case REPEAT:
      case REPEAT_X:
        if (repeat_max(node) == REPEAT_INFINITE) std::snprintf(buf, sizeof buf, " {%u,}", repeat_min(node));
        else std::snprintf(buf, sizeof buf, " {%u,%u}", repeat_min(node), repeat_max(node));
        out += buf;
        break;
      case BACKREF:
      case OPEN:
      case CLOSE:
        std::snprintf(buf, sizeof buf, " %u", node_arg(node));
        out += buf;
        break;
      default:
        break;
    }
    if (node_link(node) != 0) {
      std::snprintf(buf, sizeof buf, " ->%d", static_cast<int>(node - program) + node_link(node));
      out += buf;
    }
    out += '\n';
    node += span;
  }
  return out;
}

}  // namespace regex_internal
