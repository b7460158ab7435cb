// Test helpers of the dialog-level tests: the main dialog opened on the
// headless host with its ini file in a temporary folder (tests/support/files.h).
// The same helpers serve the Linux build and the Windows build run under Wine.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/app.h"
#include "framework/headless/headless.h"
#include "framework/os.h"
#include "tests/support/files.h"
#include "texts/messages.h"

namespace tavvel_test {

// How the source list shows a path: lowered where names ignore case.
std::string ListForm(std::string path);
// Full path of the running test program.
inline std::string ModulePath() { return std::string(GetModuleFileName().View()); }

// A message box as the user saw it.
struct Shown {
  std::string text;
  unsigned icon;
  friend bool operator==(const Shown&, const Shown&) = default;
};
void PrintTo(const Shown& shown, std::ostream* os);
inline Shown Stop(std::string text) { return {std::move(text), win::kMbIconStop}; }
inline Shown Warning(std::string text) { return {std::move(text), win::kMbIconExclamation}; }

// The fixture of every dialog test: an application object whose profile is
// "tavvel.ini" in the test's folder, the headless host, and the main dialog
// once OpenDialog has run its initialisation.
class DialogTest : public ::testing::Test {
 protected:
  DialogTest();
  ~DialogTest() override;

  // Writes the ini file before the dialog opens.
  void WriteIni(std::string_view text) { WriteFile(ini_path, text); }
  void OpenDialog();

  // --- the user ---
  // Chooses paths in the Open dialog of the add button.
  void AddFiles(const std::vector<std::string>& paths);
  // Names the output in the Save dialog of the join button.
  void JoinTo(const std::string& output);
  void Select(const std::vector<int>& indexes);

  // --- what the user sees ---
  std::vector<std::string> Entries() const;
  std::vector<int> Selection() const { return window->SelectedIndexes(IDC_FILE_LIST); }
  std::string Status() const { return std::string(window->GetItemText(IDC_STATUS).View()); }
  int Progress() const { return window->Item(IDC_PROGRESS).position; }
  int ComboSel(int id) const { return window->Item(id).current; }
  std::string Text(int id) const { return std::string(window->GetItemText(id).View()); }
  // The message boxes shown since the last call.
  std::vector<Shown> TakeMessages();

  std::string Path(std::string_view name) const { return dir / name; }

  TempFolder dir;
  std::string ini_path;
  headless::HeadlessHost host;
  CWinApp app;
  std::unique_ptr<CJoinDlg> dialog;
  std::unique_ptr<headless::HeadlessWindow> window;
};

// The banner the status line shows after a reset.
inline std::string Banner() { return msg::kBanner; }

}  // namespace tavvel_test
