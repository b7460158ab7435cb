// Temporary folders and whole files for the tests.
#include "tests/support/files.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "framework/os.h"

namespace tavvel_test {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  const fs::path base = fs::temp_directory_path();
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "tavvel_test_%08x", static_cast<unsigned>(random()));
    std::error_code error;
    // Only the call that made the folder gets true: two tests never share one.
    if (fs::create_directory(base / name, error)) {
      m_path = (base / name).string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

std::string TempFolder::operator/(std::string_view name) const {
  std::string path = m_path + kPathSeparator + std::string(name);
  std::replace(path.end() - static_cast<std::ptrdiff_t>(name.size()), path.end(), '/', kPathSeparator);
  return path;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
#if defined(_WIN32)
  return GetFileAttributesOf(path.c_str()) != kInvalidFileAttributes;
#else
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
#endif
}

}  // namespace tavvel_test
