// The running test program's own path, asked of the system directly (kept
// apart from the framework's headers, which rename some Win32 macros).
#if defined(_WIN32)
#include <windows.h>
#else
#include <filesystem>
#endif

#include <string>
#include <vector>

namespace tavvel_test {

std::string ModulePath() {
#if defined(_WIN32)
  std::vector<char> path(MAX_PATH);
  for (;;) {
    DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::string();
    if (length < path.size()) return std::string(path.data(), length);
    path.resize(path.size() * 2);
  }
#else
  return std::filesystem::read_symlink("/proc/self/exe").string();
#endif
}

}  // namespace tavvel_test
