// Structural checks of a compiled program, shared by the fuzz targets: every node
// sits at an odd offset, pads are 0x7F, opcodes are known, links land on nodes.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "regex/internal.h"
#include "regex/program.h"

namespace regex_fuzz {

inline void check(bool ok) {
  if (!ok) __builtin_trap();
}

// The options a fuzz input's first byte sets, one bit each.
inline uint32_t options_from(uint8_t bits) {
  const uint32_t option_bits[] = {OPT_FOLD, OPT_MULTILINE, OPT_SINGLELINE, OPT_KANJI, OPT_EXTENDED};
  uint32_t options = 0;
  for (int i = 0; i < 5; ++i)
    if (bits & (1u << i)) options |= option_bits[i];
  return options;
}

// A copy in an allocation of exactly its bytes (and a NUL after them when asked), so that a
// read past either end is caught.
template <typename Char>
std::unique_ptr<Char[]> exact_copy(const uint8_t* data, size_t length, bool terminate) {
  std::unique_ptr<Char[]> copy(new Char[length + (terminate ? 1 : 0)]);
  std::memcpy(copy.get(), data, length);
  if (terminate) copy[length] = 0;
  return copy;
}

inline void check_program(const RegexHandle* h) {
  using namespace regex_internal;
  if (h->pattern_length == 0) {
    check(h->program_length == 0 && h->match_starts == nullptr);
    return;
  }
  const int length = h->program_length;
  const unsigned char* program = h->program;
  check(length >= 12 && length <= 32766 && program[0] == PROGRAM_MAGIC);
  check(program[length] == 0 && program[length + 1] == 0);
  std::vector<char> is_node(length + 1, 0);
  const unsigned char* limit = program + length;
  const unsigned char* node = program + 1;
  int ends = 0;
  while (node < limit) {
    const long offset = node - program;
    if (offset % 2 == 0) {
      check(*node == PAD_BYTE);
      ++node;
      continue;
    }
    check(*node < OPCODE_COUNT && *node != BACK);
    const int span = node_span(node, limit);
    check(span > 0);
    if (*node == END) ++ends;
    if (*node == EXACT) check(node[3] >= 1 && node[3] <= 127);
    if (*node == CLASS) check(node[3] == 0 || node[3] == CLASS_NEGATED);
    if (*node == OPEN || *node == CLOSE)
      check(node_arg(node) >= 1 && static_cast<int>(node_arg(node)) <= h->group_count);
    is_node[offset] = 1;
    node += span;
  }
  check(ends == 1 && program[length - 3] == END);
  for (int offset = 1; offset < length; ++offset) {
    const int link = is_node[offset] ? node_link(program + offset) : 0;
    check(link == 0 || (link > 0 && offset + link < length && is_node[offset + link]));
  }
  // The top-level chain reaches END.
  const unsigned char* n = program + 1;
  int steps = 0;
  while (n[0] != END) {
    n = next_node(n);
    check(n != nullptr && ++steps < length);
  }
  if (h->first_node) check(is_node[h->first_node - program]);
  if (h->must_literal) check(h->must_literal->length > 0 && h->must_offset >= -1);
  check(h->match_starts != nullptr && h->match_ends != nullptr);
}

}  // namespace regex_fuzz
