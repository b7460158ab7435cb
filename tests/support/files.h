// Test helpers for anything that touches files: a temporary folder and
// whole-file reads and writes, for the Linux build and the Windows build.
#pragma once

#include <string>
#include <string_view>

namespace tavvel_test {

// A fresh folder under the system's temporary folder, removed with everything
// in it at the end of the test.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // A path in the folder; '/' in name stands for the platform's separator.
  std::string operator/(std::string_view name) const;
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);
// Whether anything (a file, a folder, a link even if dangling) has this name.
bool FileExists(const std::string& path);

}  // namespace tavvel_test
