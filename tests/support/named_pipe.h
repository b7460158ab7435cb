// A named pipe served by a test on Windows: a source that reports no size.
#pragma once

#include <memory>
#include <string>

namespace tavvel_test {

// Serves the bytes to every client, each on an instance of its own: a client
// that leaves early (one that only looked at the pipe) takes nothing from the
// next.
class NamedPipeSource {
 public:
  explicit NamedPipeSource(std::string bytes);
  ~NamedPipeSource();
  NamedPipeSource(const NamedPipeSource&) = delete;
  NamedPipeSource& operator=(const NamedPipeSource&) = delete;

  const std::string& path() const { return m_path; }

 private:
  struct State;
  std::string m_path;
  std::unique_ptr<State> m_state;
};

}  // namespace tavvel_test
