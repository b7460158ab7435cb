// Fuzz target: runs fuzzed commands (substitutions and matches mostly) over fuzzed
// targets through rx_subst, twice with the same slot and once without a command, and
// checks the result conventions and that a reused handle gives the same answer.
#include <cstdint>
#include <cstring>
#include <string>

#include "regex/regex.h"
#include "tests/fuzz/command_input.h"
#include "tests/fuzz/program_check.h"

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
  check(n >= -1 && n <= static_cast<int>(in.target_length) + 1);
  if (in.target_length == 0) check(n == -1 && std::strcmp(message, "invalid target parameter") == 0);
  if (slot) {
    check(slot->result_start == nullptr || slot->result_end[0] == '\0');
    check(slot->result_start == nullptr || slot->result_end > slot->result_start);
    if (message[0] == '\0' && (slot->flags & OPT_SUBST) && !(slot->flags & OPT_GLOBAL)) check(n <= 1);
    if (n == 0 && message[0] == '\0') check(slot->result_start == nullptr);
    if (slot->pattern_length > 0) check_program(slot);
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
