// Test helpers shared by the dialog-level tests.
#include "tests/support/support.h"

namespace tavvel_test {

std::string ListForm(std::string path) {
  if (kPathsIgnoreCase) LowerAsciiPath(path.data());
  return path;
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

}  // namespace tavvel_test
