// A user at the main dialog, for scenarios that run unchanged against the
// headless backend and against the real Windows dialog, so that the two
// cannot drift apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ShownMessage {
  std::string text;
  unsigned icon;  // the MB_ICON* bits
};

struct AskedFileDialog {
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
  // The ini file's content after the program has ended ("" when absent).
  virtual std::string IniContent() = 0;
  // The ini file's path as the program derived it.
  virtual std::string IniPath() = 0;
  // A folder for the scenario's files; paths end without a separator.
  virtual std::string TempFolder() = 0;
  virtual char Separator() = 0;
  // Makes a folder (relative to TempFolder) and returns its full path.
  virtual std::string MakeFolder(const std::string& relative) = 0;
  // How the list shows a path: lowered where paths ignore case.
  virtual std::string ListForm(const std::string& path) = 0;

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
};

struct Scenario {
  const char* name;
  void (*run)(DialogDriver& user);
};

// Every scenario, in a fixed order.
const std::vector<Scenario>& AllScenarios();
