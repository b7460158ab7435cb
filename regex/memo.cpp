// The failure memo: which nodes hold bits, and the bits themselves.
#include "regex/memo.h"

#include <cstdlib>
#include <cstring>

#include "regex/program.h"

namespace regex_internal {

MemoMode memo_mode_from_environment() {
  static const MemoMode mode = [] {
    const char* value = std::getenv("TAVVEL_REGEX_MEMO");
    if (value && std::strcmp(value, "always") == 0) return MemoMode::kAlways;
    if (value && std::strcmp(value, "never") == 0) return MemoMode::kNever;
    return MemoMode::kAutomatic;
  }();
  return mode;
}

std::unique_ptr<FailureMemo> FailureMemo::create(const RegexHandle* h, const uchar* origin, const uchar* end,
                                                 uint64_t text_generation) {
  const uchar* const program = h->program;
  const uchar* const limit = program + h->program_length;
  const bool multiline = (h->flags & OPT_MULTILINE) != 0;

  auto memo = std::unique_ptr<FailureMemo>(new FailureMemo);
  memo->program_ = program;
  memo->origin_ = origin;
  memo->end_ = end;
  memo->generation_ = text_generation;
  memo->slot_of_.assign(static_cast<size_t>(h->program_length) + 1, 0);
  memo->ahead_plain_.push_back(0);  // slot 0 is "none"

  // Nodes inside the body of a counted complex repeat: [from, to] in memory.
  std::vector<std::pair<const uchar*, const uchar*>> counted;
  bool across = true;
  for (const uchar* n = program + 1; n < limit;) {
    if ((n - program) % 2 == 0) {
      ++n;
      continue;
    }
    // A program that cannot be walked gets no memo; the matcher reports what it meets.
    const int span = node_span(n, limit);
    if (span == 0 || n[0] >= OPCODE_COUNT) return nullptr;
    switch (n[0]) {
      case BACKREF:
        return nullptr;
      case GPOS:
      case BOL_S:
        across = false;
        break;
      case BOL:
      case BOL_M:
        if (!multiline) across = false;
        break;
      case REPEAT_X: {
        const uchar* after = next_node(n);
        if (!after || after - 4 < n || after > limit) return nullptr;
        if (repeat_min(n) > 1 || repeat_max(n) != REPEAT_INFINITE) counted.emplace_back(n + 8, after - 4);
        break;
      }
      default:
        break;
    }
    n += span;
  }
  memo->keeps_across_searches_ = across;

  auto inside_counted = [&](const uchar* n) {
    for (const auto& c : counted)
      if (n >= c.first && n <= c.second) return true;
    return false;
  };
  int32_t slots = 1;
  for (const uchar* n = program + 1; n < limit;) {
    if ((n - program) % 2 == 0) {
      ++n;
      continue;
    }
    const uchar op = n[0];
    const bool choice = op == BRANCH || op == STAR || op == PLUS || op == REPEAT || op == REPEAT_X ||
                        op == REPEAT_LOOP || op == AHEAD || op == NAHEAD;
    if (choice && !inside_counted(n) && slots < 0xFFFF) {
      memo->slot_of_[static_cast<size_t>(n - program)] = static_cast<uint16_t>(slots++);
      bool plain = true;
      if (op == AHEAD) {
        // The body lies between the look-ahead and the NOTHING it links to.
        const uchar* body_end = next_node(n);
        if (!body_end || body_end > limit) return nullptr;
        for (const uchar* b = n + 4; b < body_end;) {
          if ((b - program) % 2 == 0) {
            ++b;
            continue;
          }
          if (b[0] == OPEN || b[0] == CLOSE) plain = false;
          b += node_span(b, limit);
        }
      }
      memo->ahead_plain_.push_back(plain ? 1 : 0);
    }
    n += node_span(n, limit);
  }
  if (slots == 1) return nullptr;
  memo->runs_.resize(static_cast<size_t>(slots));
  memo->pages_per_slot_ = (static_cast<size_t>(end - origin) + kPagePositions) / kPagePositions;
  memo->pages_.resize(static_cast<size_t>(slots) * memo->pages_per_slot_);
  return memo;
}

void FailureMemo::record(int32_t slot, const uchar* p, int context) {
  if (context > 1) return;
  std::unique_ptr<uint64_t[]>& page = pages_[page_index(slot, p)];
  if (!page) page.reset(new uint64_t[2 * kPlaneWords]());
  const size_t bit = offset(p) & (kPagePositions - 1);
  page[(context ? kPlaneWords : 0) + (bit >> 6)] |= uint64_t{1} << (bit & 63);
}

}  // namespace regex_internal
