// Test helpers: patterns, commands and subjects in allocations of exactly their length, so
// the sanitizer catches a read one byte too far, and the outcome of a call in comparable form.
#pragma once

#include <cstring>
#include <memory>
#include <ostream>
#include <string>

#include "regex/internal.h"
#include "regex/program.h"
#include "regex/regex.h"

namespace regex_test {

// A byte buffer of exactly the given bytes (no terminator), or with one NUL after them.
class Bytes {
 public:
  explicit Bytes(const std::string& s, bool terminate = false)
      : size_(s.size()), data_(new unsigned char[s.size() + (terminate ? 1 : 0)]) {
    if (!s.empty()) std::memcpy(data_.get(), s.data(), s.size());
    if (terminate) data_[s.size()] = 0;
  }
  const unsigned char* begin() const { return data_.get(); }
  const unsigned char* end() const { return data_.get() + size_; }
  const char* cbegin() const { return reinterpret_cast<const char*>(begin()); }
  const char* cend() const { return reinterpret_cast<const char*>(end()); }

 private:
  size_t size_;
  std::unique_ptr<unsigned char[]> data_;
};

struct Compiled {
  regex_internal::HandlePtr handle;
  std::string message;
  uint32_t options = 0;
  RegexHandle* operator->() const { return handle.get(); }
  explicit operator bool() const { return handle != nullptr; }
};

inline Compiled compile(const std::string& pattern, uint32_t options = 0) {
  Bytes bytes(pattern);
  Compiled c;
  char message[RX_MESSAGE_SIZE];
  std::memset(message, 'x', sizeof message);
  c.options = options;
  c.handle.reset(rx_compile(bytes.cbegin(), bytes.cend(), &c.options, message));
  c.message = message;
  return c;
}

// "start,end" per group, "-" for a group that did not take part; "no" or the message.
inline std::string describe(const Compiled& c, const Bytes& text, int found, const char* message) {
  if (message[0]) return std::string("error: ") + message;
  if (!found) return "no";
  std::string out;
  for (int g = 0; g <= c->group_count; ++g) {
    if (g) out += ' ';
    if (c->match_ends[g] == nullptr)
      out += "-";
    else
      out += std::to_string(c->match_starts[g] - text.begin()) + "," +
             std::to_string(c->match_ends[g] - text.begin());
  }
  return out;
}

inline std::string match(const std::string& pattern, const std::string& subject, uint32_t options = 0,
                         size_t start = 0, int min_end = 0) {
  Compiled c = compile(pattern, options);
  if (!c) return "compile: " + c.message;
  Bytes text(subject, true);
  char message[RX_MESSAGE_SIZE];
  const int found =
      rx_exec(c.handle.get(), text.cbegin() + start, text.cend(), text.cbegin(), min_end, message);
  return describe(c, text, found, message);
}

inline std::string repeat(const std::string& s, int times) {
  std::string out;
  out.reserve(s.size() * times);
  for (int i = 0; i < times; ++i) out += s;
  return out;
}

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
inline Outcome run_command(const std::string& command, const std::string& subject,
                           Entry entry = Entry::Subst) {
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
