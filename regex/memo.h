// The failure memo: where a path of the matcher has already failed, so that a search
// that keeps coming back to the same node at the same position runs that path once.
// With it a pattern without back-references is matched in time linear in the text
// (for a fixed program), however its repeats and alternatives nest.
//
// A bit stands for (node, position, context). The nodes are those where the matcher
// pushes a choice point: alternations, simple and complex repeats, the passes of a
// complex repeat and look-aheads. A bit is set when the choice point is popped with
// nothing left to try: every path from there failed. The context is how many of the
// innermost complex repeats began their current pass at this very position; such a
// repeat may only leave from there, so a failure seen with a context of k also holds
// for every context above k. Failures are recorded for contexts 0 and 1.
//
// What a failure must not depend on, and how it is kept out:
// - captures: only back-references read them, and those patterns get no memo;
// - the count of a complex repeat: only repeats with a minimum of 0 or 1 and no
//   maximum take part (nodes inside a counted one get no bit); their 32767-pass cap
//   is a count too, so a choice point whose paths met that cap in an enclosing repeat
//   records nothing;
// - where the search began: within one search, never; across the searches of a
//   global run only through \G, \A and ^ outside multi-line mode, so a program with
//   one of those starts each search with an empty memo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "regex/regex.h"

namespace regex_internal {

// Whether the memo may be used: only when a search does more work than its text and
// program explain (automatic), from the first node (always, for tests), or never.
enum class MemoMode : uint8_t { kAutomatic, kAlways, kNever };

// The mode TAVVEL_REGEX_MEMO asks for ("always" or "never"), read once.
MemoMode memo_mode_from_environment();

class FailureMemo {
 public:
  using uchar = unsigned char;

  // A memo for searches of h over text in [origin, end]; null when the program has a
  // back-reference or no node that could hold a bit.
  static std::unique_ptr<FailureMemo> create(const RegexHandle* h, const uchar* origin, const uchar* end,
                                             uint64_t text_generation);

  // Whether a later search of the same run over [start, end] may keep these bits.
  bool serves(const uchar* start, const uchar* end, uint64_t text_generation) const {
    return keeps_across_searches_ && text_generation == generation_ && end == end_ && start >= origin_;
  }

  // The slot of a node, 0 when the node holds no bit.
  int32_t slot(const uchar* node) const { return slot_of_[static_cast<size_t>(node - program_)]; }

  bool failed(int32_t slot, const uchar* p, int context) const {
    const uint64_t* page = pages_[page_index(slot, p)].get();
    if (!page) return false;
    const size_t bit = offset(p) & (kPagePositions - 1);
    const uint64_t mask = uint64_t{1} << (bit & 63);
    return (page[bit >> 6] & mask) || (context >= 1 && (page[kPlaneWords + (bit >> 6)] & mask));
  }
  void record(int32_t slot, const uchar* p, int context);

  // Look-ahead bodies: bit set for "the body fails here" (plane 0) and "the body
  // matches here" (plane 1). A body's result does not depend on the context.
  bool ahead_known(int32_t slot, const uchar* p, bool matches) const {
    const uint64_t* page = pages_[page_index(slot, p)].get();
    if (!page) return false;
    const size_t bit = offset(p) & (kPagePositions - 1);
    return (page[(matches ? kPlaneWords : 0) + (bit >> 6)] >> (bit & 63)) & 1;
  }
  void ahead_record(int32_t slot, const uchar* p, bool matches) { record(slot, p, matches ? 1 : 0); }
  // Whether the look-ahead at slot may skip its body when it is known to match: not
  // when the body sets groups.
  bool ahead_skips_match(int32_t slot) const { return ahead_plain_[static_cast<size_t>(slot)] != 0; }

  // For a greedy simple repeat: positions [low, high] where its continuation is known
  // to fail; high is the end of the run the repeat took. Kept in byte mode only, where
  // whether the continuation is tried at a position does not depend on where the
  // repeat began.
  struct Run {
    const uchar* low = nullptr;
    const uchar* high = nullptr;
  };
  Run& failed_run(int32_t slot) { return runs_[static_cast<size_t>(slot)]; }

 private:
  static constexpr size_t kPagePositions = 4096;
  static constexpr size_t kPlaneWords = kPagePositions / 64;

  size_t offset(const uchar* p) const { return static_cast<size_t>(p - origin_); }
  size_t page_index(int32_t slot, const uchar* p) const {
    return static_cast<size_t>(slot) * pages_per_slot_ + offset(p) / kPagePositions;
  }

  const uchar* program_ = nullptr;
  const uchar* origin_ = nullptr;
  const uchar* end_ = nullptr;
  uint64_t generation_ = 0;
  bool keeps_across_searches_ = false;
  size_t pages_per_slot_ = 0;
  std::vector<uint16_t> slot_of_;                   // by program offset
  std::vector<uint8_t> ahead_plain_;                // by slot
  std::vector<Run> runs_;                           // by slot
  std::vector<std::unique_ptr<uint64_t[]>> pages_;  // slot-major, allocated on first record
};

}  // namespace regex_internal
