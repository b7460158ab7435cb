// Test helpers for the command entry points: commands and subjects in allocations of
// exactly their bytes and the NUL, and the outcome of one call in comparable form.
#pragma once

#include <cstring>
#include <ostream>
#include <string>

#include "regex/regex.h"
#include "tests/regex/helpers.h"

namespace regex_test {

// What one call left: its return, its message and the result text ("(none)" when
// the handle holds none).
struct Outcome {
  int count;
  std::string message;
  std::string result;
  friend bool operator==(const Outcome&, const Outcome&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << "{" << o.count << ", \"" << o.message << "\", \"" << o.result << "\"}";
  }
};

inline const char kNone[] = "(none)";

inline std::string result_of(const RegexHandle* h) {
  if (h == nullptr || h->result_start == nullptr) return kNone;
  return std::string(reinterpret_cast<const char*>(h->result_start), h->result_end - h->result_start);
}

enum class Entry { Subst, Trans };

// Runs one command over subject with a fresh slot and releases the handle.
inline Outcome run_command(const std::string& command, const std::string& subject, Entry entry = Entry::Subst) {
  Bytes cmd(command, true);
  Bytes text(subject, true);
  RegexHandle* slot = nullptr;
  char message[RX_MESSAGE_SIZE];
  std::memset(message, 'x', sizeof message);
  const int n = entry == Entry::Subst ? rx_subst(cmd.cbegin(), text.cbegin(), text.cend(), &slot, message)
                                      : rx_trans(cmd.cbegin(), text.cbegin(), text.cend(), &slot, message);
  Outcome o{n, message, result_of(slot)};
  rx_free(slot);
  return o;
}

inline Outcome subst(const std::string& command, const std::string& subject) {
  return run_command(command, subject, Entry::Subst);
}
inline Outcome trans(const std::string& command, const std::string& subject) {
  return run_command(command, subject, Entry::Trans);
}

}  // namespace regex_test
