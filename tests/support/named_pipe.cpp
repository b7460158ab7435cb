// A named pipe served by a test on Windows from its own thread.
#include "tests/support/named_pipe.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <thread>

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
  HANDLE pipe = INVALID_HANDLE_VALUE;
  std::string bytes;
  std::atomic<bool> done{false};
  std::atomic<bool> stop{false};
  std::thread server;
};

NamedPipeSource::NamedPipeSource(std::string bytes)
    : m_path(UniquePipeName()), m_state(std::make_unique<State>()) {
  State& state = *m_state;
  state.bytes = std::move(bytes);
  state.pipe = ::CreateNamedPipeA(m_path.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                  1 << 16, 1 << 16, 0, nullptr);
  if (state.pipe == INVALID_HANDLE_VALUE) {
    state.done = true;
    return;
  }
  state.server = std::thread([&state] {
    while (!state.stop &&
           (::ConnectNamedPipe(state.pipe, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED)) {
      size_t sent = 0;
      while (sent < state.bytes.size()) {
        DWORD put = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(state.bytes.size() - sent, 1 << 16));
        if (!::WriteFile(state.pipe, state.bytes.data() + sent, chunk, &put, nullptr)) break;
        sent += put;
      }
      if (sent == state.bytes.size()) {
        // Closing (not disconnecting) lets the reader take what is still
        // in the pipe before it sees the end.
        ::CloseHandle(state.pipe);
        state.pipe = INVALID_HANDLE_VALUE;
        break;
      }
      ::DisconnectNamedPipe(state.pipe);
    }
    state.done = true;
  });
}

NamedPipeSource::~NamedPipeSource() {
  State& state = *m_state;
  state.stop = true;
  while (!state.done) {
    // A client that connects and leaves at once lets a server thread waiting for one go on.
    HANDLE client = ::CreateFileA(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (client != INVALID_HANDLE_VALUE) ::CloseHandle(client);
    ::Sleep(1);
  }
  if (state.server.joinable()) state.server.join();
  if (state.pipe != INVALID_HANDLE_VALUE) ::CloseHandle(state.pipe);
}

}  // namespace tavvel_test
