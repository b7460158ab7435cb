// Test helpers shared by the dialog-level tests.
#include "tests/support/support.h"

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

#include "texts/messages.h"

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
  return m_path + kPathSeparator + NativePath(std::string(name));
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

std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', kPathSeparator);
  return path;
}

std::string ListForm(std::string path) {
  if (kPathsIgnoreCase) LowerAsciiPath(path.data());
  return path;
}

std::vector<std::string> ListForms(const std::vector<std::string>& paths) {
  std::vector<std::string> forms;
  for (const std::string& path : paths) forms.push_back(ListForm(path));
  return forms;
}

void PrintTo(const Shown& shown, std::ostream* os) {
  const char* icon = shown.icon == win::kMbIconStop          ? "stop"
                     : shown.icon == win::kMbIconExclamation ? "exclamation"
                                                             : "other";
  *os << "{\"" << shown.text << "\", " << icon << "}";
}

DialogTest::DialogTest() : ini_path(dir / "tavvel.ini") {
  SetHost(&host);
  app.SetProfileName(ini_path.c_str());
}

DialogTest::~DialogTest() {
  window.reset();
  dialog.reset();
  SetHost(nullptr);
}

void DialogTest::OpenDialog() {
  dialog = std::make_unique<CJoinDlg>();
  app.m_pMainWnd = dialog.get();
  window = host.Open(*dialog);
}

void DialogTest::AddFiles(const std::vector<std::string>& paths) {
  std::vector<CString> answer;
  for (const std::string& path : paths) answer.emplace_back(path.c_str());
  host.AnswerFileDialog(answer);
  ASSERT_TRUE(window->Click(IDC_ADD));
}

void DialogTest::AddNewFiles(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<std::string> paths;
  for (const auto& [name, content] : files) {
    WriteFile(Path(name), content);
    paths.push_back(Path(name));
  }
  AddFiles(paths);
}

void DialogTest::JoinTo(const std::string& output) {
  host.AnswerFileDialog({CString(output.c_str())});
  ASSERT_TRUE(window->Click(IDC_JOIN));
}

void DialogTest::Select(const std::vector<int>& indexes) {
  for (int index : indexes) ASSERT_TRUE(window->ToggleSelection(index));
}

std::vector<std::string> DialogTest::Entries() const {
  std::vector<std::string> entries;
  for (const CString& item : window->ListItems(IDC_FILE_LIST)) entries.emplace_back(item.View());
  return entries;
}

std::vector<Shown> DialogTest::TakeMessages() {
  std::vector<Shown> shown;
  for (const headless::MessageRecord& record : host.Messages()) {
    shown.push_back({std::string(record.text.View()), record.Icon()});
  }
  host.ClearMessages();
  return shown;
}

std::string Banner() { return msg::kBanner; }

}  // namespace tavvel_test
