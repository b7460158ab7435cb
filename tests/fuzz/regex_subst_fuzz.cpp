// Fuzz target: runs fuzzed commands (substitutions and matches mostly) over fuzzed
// targets through rx_subst, twice with the same slot and once without a command, and
// checks the result conventions and that a reused handle gives the same answer; a
// command whose pattern is one literal against a character-by-character walk, and
// every command whose replacement goes in as written against the matcher alone.
#include <cstdint>
#include <cstring>
#include <string>

#include "regex/internal.h"
#include "regex/regex.h"
#include "tests/fuzz/command_input.h"
#include "tests/fuzz/program_check.h"

namespace {

// The result of a substitution whose pattern is one literal and whose replacement is
// inserted as written: the literal's places, found walking the target a character at a
// time, replaced in turn.
void check_literal_run(const RegexHandle* h, const regex_fuzz::CommandInput& in, int n) {
  using namespace regex_internal;
  const unsigned char* exact = whole_literal(h);
  if (!exact || !(h->flags & OPT_SUBST) || !(h->flags & OPT_VERBATIM)) return;
  const auto* t = reinterpret_cast<const unsigned char*>(in.target_begin());
  const size_t length = in.target_length, literal_length = exact[3];
  const bool kanji = (h->flags & OPT_KANJI) != 0;
  auto same_at = [&](size_t p) {
    for (size_t i = 0; i < literal_length; ++i) {
      const unsigned char x = t[p + i], y = exact[4 + i];
      if (x != y && !(h->fold && fold_case.v[x] == y)) return false;
    }
    return true;
  };
  std::string out;
  int count = 0;
  size_t p = 0, copied = 0;
  while (p + literal_length <= length) {
    if (!same_at(p)) {
      p += kanji && is_lead_byte(t[p]) && p + 1 < length ? 2 : 1;
      continue;
    }
    out.append(in.target_begin() + copied, p - copied);
    out.append(reinterpret_cast<const char*>(h->replacement_start),
               h->replacement_end - h->replacement_start);
    p += literal_length;
    copied = p;
    ++count;
    if (!(h->flags & OPT_GLOBAL)) break;
  }
  out.append(in.target_begin() + copied, length - copied);
  regex_fuzz::check(n == count);
  regex_fuzz::check(regex_fuzz::result_bytes(h) == (count == 0 || out.empty() ? std::string("(none)") : out));
}

// The result of a substitution whose replacement is inserted as written, against one
// built from searches by the matcher alone, repeated as a global run repeats them: the
// searches that bypass the matcher, and the runs that copy the text while they search,
// must give the same bytes.
void check_matcher_run(RegexHandle* h, const regex_fuzz::CommandInput& in, int n) {
  using namespace regex_internal;
  if (!(h->flags & OPT_SUBST) || !(h->flags & OPT_VERBATIM)) return;
  const auto* begin = reinterpret_cast<const unsigned char*>(in.target_begin());
  const unsigned char* const end = begin + in.target_length;
  auto bytes = [](const unsigned char* from, const unsigned char* to) {
    return std::string(reinterpret_cast<const char*>(from), static_cast<size_t>(to - from));
  };
  MatchRun run;
  run.matcher_only = true;
  std::string out;
  int count = 0;
  const unsigned char* p = begin;
  try {
    int min_end = 0;
    while (exec_match(h, p, end, begin, min_end, &run)) {
      const unsigned char *start = h->match_starts[0], *stop = h->match_ends[0];
      out += bytes(p, start) + bytes(h->replacement_start, h->replacement_end);
      p = stop;
      ++count;
      if (!(h->flags & OPT_GLOBAL)) break;
      min_end = start == stop ? 1 : 0;  // the next match must end past an empty one
    }
  } catch (const Failure&) {
    return;  // the matcher alone ran out of work: nothing to compare
  }
  out += bytes(p, end);
  regex_fuzz::check(n == count);
  regex_fuzz::check(regex_fuzz::result_bytes(h) == (count == 0 || out.empty() ? std::string("(none)") : out));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace regex_fuzz;
  static const char* const kPrefixes[] = {"s/", "s/", "s/", "s#", "m/", "/", "tr/", ""};
  CommandInput in;
  if (!split_input(data, size, kPrefixes, 8, in)) return 0;

  RegexHandle* slot = nullptr;
  char message[RX_MESSAGE_SIZE];
  const int n = rx_subst(in.command.get(), in.target_begin(), in.target_end(), &slot, message);
  const std::string first = result_bytes(slot);
  check(std::strlen(message) <= 40);
  // At most one match that takes bytes per byte, and one empty match per place.
  check(n >= -1 && n <= 2 * static_cast<int>(in.target_length) + 1);
  if (in.target_length == 0) check(n == -1 && std::strcmp(message, "invalid target parameter") == 0);
  if (slot) {
    check(slot->result_start == nullptr || slot->result_end[0] == '\0');
    check(slot->result_start == nullptr || slot->result_end > slot->result_start);
    if (message[0] == '\0' && (slot->flags & OPT_SUBST) && !(slot->flags & OPT_GLOBAL)) check(n <= 1);
    if (n == 0 && message[0] == '\0') check(slot->result_start == nullptr);
    if (slot->pattern_length > 0) check_program(slot);
    if (message[0] == '\0') {
      check_literal_run(slot, in, n);
      check_matcher_run(slot, in, n);
    }
  }

  // The same command again reuses the handle and gives the same answer; so does no command.
  RegexHandle* const kept = slot;
  char again[RX_MESSAGE_SIZE];
  const int n2 = rx_subst(in.command.get(), in.target_begin(), in.target_end(), &slot, again);
  if (kept && n >= 0 && message[0] == '\0' && in.command[0] != '\0') {
    check(slot == kept && n2 == n && result_bytes(slot) == first && again[0] == '\0');
    const int n3 = rx_subst(nullptr, in.target_begin(), in.target_end(), &slot, again);
    check(n3 == n && result_bytes(slot) == first);
  }
  rx_free(slot);
  return 0;
}
