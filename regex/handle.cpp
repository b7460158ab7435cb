// Releasing a handle and everything it owns.
#include <cstdlib>

#include "regex/internal.h"

void rx_free(RegexHandle* handle) noexcept {
  using namespace regex_internal;
  if (handle == nullptr) return;
  std::free(handle->command_start);
  std::free(handle->result_start);
  std::free(handle->pattern_copy);
  std::free(handle->subject_copy);
  literal_free(handle->must_literal);
  literal_free(handle->first_literal);
  if (handle->replacement) {
    std::free(handle->replacement->pieces);
    std::free(handle->replacement->values);
    std::free(handle->replacement);
  }
  std::free(handle->trans_table);
  std::free(handle->class_tables);
  std::free(handle->match_starts);
  std::free(handle->match_ends);
  std::free(handle);
}
