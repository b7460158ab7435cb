// A named pipe served by a test on Windows from its own thread.
#include "tests/support/named_pipe.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace tavvel_test {

namespace {

std::string UniquePipeName() {
  std::random_device random;
  char name[64];
  std::snprintf(name, sizeof name, "\\\\.\\pipe\\tavvel-test-%08x%08x", static_cast<unsigned>(random()),
                static_cast<unsigned>(random()));
  return name;
}

}  // namespace

struct NamedPipeSource::State {
  std::string path;
  std::string bytes;
  std::atomic<bool> stop{false};
  std::atomic<int> listening{0};  // instances open for a client that has not come
  std::mutex mutex;
  std::vector<std::thread> servers;

  // Opens an instance for one more client, served on a thread of its own.
  void Listen() {
    HANDLE pipe = ::CreateNamedPipeA(path.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                     PIPE_UNLIMITED_INSTANCES, 1 << 16, 1 << 16, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return;
    ++listening;
    std::lock_guard<std::mutex> lock(mutex);
    servers.emplace_back([this, pipe] {
      // A client may also have come, or come and gone, before the wait.
      ::ConnectNamedPipe(pipe, nullptr);
      if (!stop) Listen();  // the next client finds an instance waiting
      --listening;
      if (!stop) Serve(pipe);
      ::CloseHandle(pipe);
    });
  }

  // Writes the bytes to the client; one that has gone makes the writes fail
  // at once. The caller closes the pipe (closing, not disconnecting, lets the
  // reader take what is still in it before it sees the end).
  void Serve(HANDLE pipe) const {
    for (size_t sent = 0; sent < bytes.size();) {
      DWORD put = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - sent, 1 << 16));
      if (!::WriteFile(pipe, bytes.data() + sent, chunk, &put, nullptr)) break;
      sent += put;
    }
  }
};

// Every client gets an instance of its own, with two waiting from the start:
// the join looks at a source (its identity) before it reads it, and the reader
// must never meet the instance that the look has just left.
NamedPipeSource::NamedPipeSource(std::string bytes)
    : m_path(UniquePipeName()), m_state(std::make_unique<State>()) {
  m_state->path = m_path;
  m_state->bytes = std::move(bytes);
  m_state->Listen();
  m_state->Listen();
}

NamedPipeSource::~NamedPipeSource() {
  State& state = *m_state;
  state.stop = true;
  while (state.listening > 0) {
    // A client that connects and leaves at once lets a waiting instance go.
    HANDLE client = ::CreateFileA(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (client != INVALID_HANDLE_VALUE) ::CloseHandle(client);
    ::Sleep(1);
  }
  std::lock_guard<std::mutex> lock(state.mutex);
  for (std::thread& server : state.servers) server.join();
}

}  // namespace tavvel_test
