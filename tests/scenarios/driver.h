// A user at the main dialog, for scenarios that run unchanged against the
// headless backend and against the real Windows dialog, so that the two
// cannot drift apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/ports.h"
#include "tests/support/files.h"

struct ShownMessage {
  std::string text;
  unsigned icon;  // the MB_ICON* bits
};

struct AskedFileDialog {
  explicit AskedFileDialog(const FileDialogRequest& r)
      : open(r.open),
        title(r.title.View()),
        filter(r.filter.View()),
        default_extension(r.default_extension.View()),
        file_name(r.file_name.View()),
        flags(r.flags),
        buffer_size(r.buffer_size) {}
  bool open;
  std::string title, filter, default_extension, file_name;
  uint32_t flags;
  size_t buffer_size;
};

class DialogDriver {
 public:
  virtual ~DialogDriver() = default;

  // --- the program --------------------------------------------------------
  // Starts the program with this ini file content ("" for none) and shows
  // the main dialog.
  virtual void Start(const std::string& ini_content) = 0;
  // Whether the main dialog is still open.
  virtual bool Running() = 0;
  // The ini file's path as the program derived it.
  virtual std::string IniPath() = 0;
  // The ini file's content after the program has ended ("" when absent).
  std::string IniContent();
  // A path in the scenario's folder, which is removed at the end; '/' in name stands for the
  // platform's separator.
  std::string PathIn(const std::string& name) const { return folder_ / name; }
  // How the list shows a path: lowered where paths ignore case.
  static std::string ListForm(std::string path);

  // --- the user -----------------------------------------------------------
  virtual bool Click(int id) = 0;
  virtual void Menu(unsigned id) = 0;
  virtual bool SelectCombo(int id, int index) = 0;
  virtual void TypeText(int id, const std::string& text) = 0;
  virtual void ToggleSelection(int index) = 0;
  virtual void DoubleClick(int index) = 0;
  virtual void Drop(const std::vector<std::string>& names) = 0;
  virtual void SystemCommand(unsigned command) = 0;
  virtual void PressEscape() = 0;

  // --- the desktop's answers and records ------------------------------------
  virtual void AnswerFileDialog(const std::vector<std::string>& paths) = 0;
  virtual void CancelFileDialog() = 0;
  virtual void AnswerShellExecute(intptr_t result, uint32_t error) = 0;
  virtual std::vector<ShownMessage> TakeMessages() = 0;
  virtual std::vector<AskedFileDialog> TakeFileDialogs() = 0;
  // Template ids of the modal dialogs opened besides the main one.
  virtual std::vector<unsigned> TakeModals() = 0;

  // --- what the user sees ---------------------------------------------------
  virtual std::vector<std::string> ListItems() = 0;
  virtual std::vector<int> Selection() = 0;
  virtual int HorizontalExtent() = 0;
  virtual int ComboSelection(int id) = 0;
  virtual bool Enabled(int id) = 0;
  virtual std::string Text(int id) = 0;
  virtual int ProgressPosition() = 0;
  virtual std::vector<std::string> SystemMenuItems() = 0;

 protected:
  tavvel_test::TempFolder folder_;
};

struct Scenario {
  const char* name;
  const char* ini;  // the ini file the program starts with; nullptr: the scenario starts it
  void (*run)(DialogDriver& user);
};
// Starts the program as the scenario asks, runs it, and ends the program if it still runs.
void RunScenario(DialogDriver& user, const Scenario& scenario);

// Every scenario, in a fixed order.
const std::vector<Scenario>& AllScenarios();
