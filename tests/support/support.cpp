// Test helpers shared by the dialog-level tests.
#include "tests/support/support.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "app/messages.h"

namespace tavvel_test {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "tavvel_test_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
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
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
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
