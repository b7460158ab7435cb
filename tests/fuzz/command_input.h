// The input layout shared by the command fuzz targets: a command (after an optional
// kind prefix) and a target, each in an allocation of exactly its bytes and the NUL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace regex_fuzz {

// Longer targets only make the matcher's worst cases slower, not the code paths richer.
constexpr size_t kMaxTarget = 96;

struct CommandInput {
  std::unique_ptr<char[]> command;
  std::unique_ptr<char[]> target;
  size_t target_length = 0;
  const char* target_begin() const { return target.get(); }
  const char* target_end() const { return target.get() + target_length; }
};

// data[0] picks a prefix from prefixes (count entries), data[1] the command's length;
// the rest of the input is the target.
inline bool split_input(const uint8_t* data, size_t size, const char* const* prefixes, size_t count,
                        CommandInput& in) {
  if (size < 2) return false;
  const std::string prefix = prefixes[data[0] % count];
  const size_t rest = size - 2;
  const size_t length = rest == 0 ? 0 : data[1] % (rest + 1);
  const size_t target_length = rest - length;
  if (target_length > kMaxTarget) return false;
  in.command.reset(new char[prefix.size() + length + 1]);
  std::memcpy(in.command.get(), prefix.data(), prefix.size());
  std::memcpy(in.command.get() + prefix.size(), data + 2, length);
  in.command[prefix.size() + length] = '\0';
  in.target.reset(new char[target_length + 1]);
  std::memcpy(in.target.get(), data + 2 + length, target_length);
  in.target[target_length] = '\0';
  in.target_length = target_length;
  return true;
}

inline std::string result_bytes(const RegexHandle* h) {
  if (h == nullptr || h->result_start == nullptr) return std::string("(none)");
  return std::string(reinterpret_cast<const char*>(h->result_start), h->result_end - h->result_start);
}

}  // namespace regex_fuzz
