// Helpers of the framework tests: a temporary folder and whole-file bytes.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace framework_test {

// A fresh folder under the system's temporary folder, removed with all it
// holds at the end of the test.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    for (;;) {
      std::filesystem::path candidate = std::filesystem::temp_directory_path() / ("tavvel_framework_" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) {
        m_path = candidate.string();
        return;
      }
    }
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string operator/(const std::string& name) const { return m_path + "/" + name; }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace framework_test
