// Fuzz target: compiles arbitrary bytes as a pattern under arbitrary options and
// checks the structure of the program it gets.
#include <cstdint>
#include <cstring>
#include <memory>

#include "tests/fuzz/program_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t options = regex_fuzz::options_from(data[0]);
  const size_t length = size - 1;
  const auto pattern = regex_fuzz::exact_copy<char>(data + 1, length, false);
  char message[RX_MESSAGE_SIZE];
  uint32_t inout = options;
  RegexHandle* h = rx_compile(pattern.get(), pattern.get() + length, &inout, message);
  if (h == nullptr) {
    regex_fuzz::check(message[0] != '\0' && std::strlen(message) <= 40);
    regex_fuzz::check(inout == options);
    return 0;
  }
  regex_fuzz::check(message[0] == '\0' && (inout & options) == options && h->flags == options);
  regex_fuzz::check_program(h);
  (void)regex_internal::dump_program(h->program, h->program_length);
  rx_free(h);
  return 0;
}
