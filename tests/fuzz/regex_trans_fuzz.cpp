// Fuzz target: runs fuzzed transliterations over fuzzed targets through rx_trans and
// checks the count, the result text and the lengths the flags promise.
#include <cstdint>
#include <cstring>
#include <string>

#include "regex/regex.h"
#include "tests/fuzz/command_input.h"
#include "tests/fuzz/program_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace regex_fuzz;
  static const char* const kPrefixes[] = {"tr/", "tr/", "tr/", "tr#", "tr", "s/", ""};
  CommandInput in;
  if (!split_input(data, size, kPrefixes, 7, in)) return 0;

  RegexHandle* slot = nullptr;
  char message[RX_MESSAGE_SIZE];
  const int n = rx_trans(in.command.get(), in.target_begin(), in.target_end(), &slot, message);
  check(std::strlen(message) <= 40);
  check(n >= -1 && n <= static_cast<int>(in.target_length));
  if (n >= 0) {
    // A transliteration that ran always leaves a text, possibly empty.
    check(message[0] == '\0' && slot != nullptr && (slot->flags & OPT_TRANS) && slot->result_start != nullptr);
    check(slot->result_end[0] == '\0');
    const size_t length = static_cast<size_t>(slot->result_end - slot->result_start);
    const uint32_t flags = slot->flags;
    if (!(flags & (OPT_DELETE | OPT_SQUEEZE))) {
      // Nothing is removed: one byte per byte without k, never fewer bytes with it.
      if (!(flags & OPT_KANJI)) check(length == in.target_length);
      else check(length >= in.target_length / 2 && length <= 2 * in.target_length);
    } else {
      check(length <= 2 * in.target_length);
    }
    if (!(flags & OPT_KANJI) && n == 0 && !(flags & OPT_COMPLEMENT))
      check(std::memcmp(slot->result_start, in.target.get(), in.target_length) == 0 && length == in.target_length);
    const std::string first = result_bytes(slot);
    RegexHandle* const kept = slot;
    const int n2 = rx_trans(nullptr, in.target_begin(), in.target_end(), &slot, message);
    check(n2 == n && slot == kept && result_bytes(slot) == first);
  } else if (slot != nullptr) {
    check(!(slot->flags & OPT_TRANS) || message[0] != '\0');
  }
  rx_free(slot);
  return 0;
}
