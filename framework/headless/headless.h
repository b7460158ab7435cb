// The headless backend: windows whose controls live in memory, and a host
// that plays the user and the desktop. Tests drive the real dialog classes
// through it. The layouts come from the program's resources (SetResources).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "framework/resources.h"
#include "framework/window.h"

namespace headless {

// List box text is measured in a fixed-width model: every byte is
// kCharWidth pixels wide (a double-byte character twice that), and the
// average character width is kCharWidth.
inline constexpr int kCharWidth = 6;

struct Control {
  ControlKind kind = ControlKind::kStatic;
  CString text;
  bool enabled = true;
  std::vector<CString> items;   // list and combo boxes
  std::vector<bool> selected;   // list boxes
  int current = -1;             // combo selection
  int caret = 0;                // list box caret (focus rectangle)
  int horizontal_extent = 0;
  size_t limit = 30000;         // edit text limit in bytes
  int range_lower = 0, range_upper = 100, position = 0;  // progress bar
};

struct SystemMenuItem {
  unsigned flags;
  unsigned id;
  CString text;
};

class HeadlessWindow : public WindowPort {
 public:
  HeadlessWindow(CDialog& dialog, const DialogTemplate& layout);

  // --- the user -------------------------------------------------------------
  // Each returns false when the control is missing or disabled (the user
  // cannot reach it), and then does nothing.
  bool Click(int id);
  bool ChooseMenu(unsigned id);          // menu bar command
  bool SelectComboItem(int id, int index);
  bool TypeText(int id, const char* text);
  bool ToggleSelection(int index);       // a click on a list entry
  bool DoubleClick(int index);           // a double-click on a list entry
  void Drop(const std::vector<CString>& names);
  void SystemCommand(unsigned command);  // system menu and caption buttons
  void PressEscape() { dialog_.Dispatch(win::kIdCancel); }
  void SetIconic(bool iconic) { iconic_ = iconic; }
  void Paint() { dialog_.DispatchPaint(); }
  HICON QueryDragIcon() { return dialog_.DispatchQueryDragIcon(); }

  // --- what the user sees ---------------------------------------------------
  const Control& Item(int id) const;
  std::vector<CString> ListItems(int id) const { return Item(id).items; }
  std::vector<int> SelectedIndexes(int id) const;
  const std::vector<SystemMenuItem>& SystemMenu() const { return system_menu_; }
  HICON Icon(bool big) const { return big ? big_icon_ : small_icon_; }
  bool AcceptsDrops() const { return accepts_drops_; }
  bool Ended() const { return result_.has_value(); }
  int Result() const { return result_.value_or(0); }
  int ActivateCount() const { return activations_; }
  // Where the minimised icon was last drawn, or nothing.
  std::optional<std::pair<int, int>> IconPaintedAt() const { return icon_painted_at_; }
  const DialogTemplate& Layout() const { return layout_; }

  // --- WindowPort -----------------------------------------------------------
  bool HasItem(int id) const override { return controls_.count(id) != 0; }
  intptr_t SendItemMessage(int id, unsigned message, uintptr_t wparam, intptr_t lparam) override;
  CString GetItemText(int id) const override { return Item(id).text; }
  void SetItemText(int id, const char* text) override { Mutable(id).text = text; }
  void EnableItem(int id, bool enable) override { Mutable(id).enabled = enable; }
  bool IsItemEnabled(int id) const override { return Item(id).enabled; }
  std::unique_ptr<TextMeasure> MeasureItemText(int id) override;
  bool HasSystemMenu() const override { return layout_.system_menu; }
  void AppendSystemMenu(unsigned flags, unsigned id, const char* text) override {
    system_menu_.push_back({flags, id, text ? text : ""});
  }
  void SetIcon(HICON icon, bool big) override { (big ? big_icon_ : small_icon_) = icon; }
  void DragAcceptFiles(bool accept) override { accepts_drops_ = accept; }
  void SetActiveWindow() override { ++activations_; }
  bool IsIconic() const override { return iconic_; }
  void DefaultSysCommand(unsigned command, intptr_t lparam) override;
  void PaintIcon(HICON icon) override;
  void DefaultPaint() override {}
  void EndDialog(int result) override { result_ = result; }

 private:
  Control& Mutable(int id);
  intptr_t ListMessage(Control& list, unsigned message, uintptr_t wparam, intptr_t lparam);

  CDialog& dialog_;
  const DialogTemplate& layout_;
  std::map<int, Control> controls_;
  std::vector<SystemMenuItem> system_menu_;
  HICON big_icon_ = nullptr, small_icon_ = nullptr;
  bool accepts_drops_ = false;
  bool iconic_ = false;
  int activations_ = 0;
  std::optional<std::pair<int, int>> icon_painted_at_;
  std::optional<int> result_;
};

struct MessageRecord {
  CString text;
  unsigned type;
  unsigned Icon() const { return type & win::kMbIconMask; }
};

struct ShellRecord {
  CString verb, file;
  int show;
};

class HeadlessHost : public HostPort {
 public:
  // What the user does while a modal dialog of a template is open; without
  // one the dialog is closed with OK at once (an about box read and closed).
  using ModalScript = std::function<void(HeadlessWindow&)>;
  void OnModal(unsigned template_id, ModalScript script) { scripts_[template_id] = std::move(script); }

  // Opens a dialog without running it: the test then plays the user.
  std::unique_ptr<HeadlessWindow> Open(CDialog& dialog);

  // Answers for the next file dialogs, in order; with none left the user cancels.
  void AnswerFileDialog(std::vector<CString> paths) { answers_.push_back(std::move(paths)); }
  void CancelFileDialog() { answers_.push_back(std::nullopt); }
  // Called for every message box as it is shown.
  void OnMessage(std::function<void(const MessageRecord&)> sink) { message_sink_ = std::move(sink); }
  // The result ShellExecute gives (> 32 success) and the last error on failure.
  void AnswerShellExecute(intptr_t result, uint32_t error) { shell_result_ = result; shell_error_ = error; }

  const std::vector<MessageRecord>& Messages() const { return messages_; }
  const std::vector<FileDialogRequest>& FileDialogs() const { return file_dialogs_; }
  const std::vector<unsigned>& ModalsRun() const { return modals_run_; }
  const std::vector<ShellRecord>& ShellRequests() const { return shell_requests_; }
  int WaitCursorDepth() const { return wait_depth_; }
  int WaitCursorShown() const { return wait_shown_; }
  void ClearMessages() { messages_.clear(); }

  // --- HostPort -------------------------------------------------------------
  int RunModal(CDialog& dialog, unsigned template_id, CWnd* parent) override;
  int MessageBox(CWnd* owner, const char* text, unsigned type) override;
  bool RunFileDialog(CWnd* owner, const FileDialogRequest& request, std::vector<CString>* paths) override;
  void BeginWaitCursor() override {
    ++wait_depth_;
    ++wait_shown_;
  }
  void EndWaitCursor() override { --wait_depth_; }
  CString LoadString(unsigned id) override;
  HICON LoadIcon(unsigned id) override;
  intptr_t ShellExecute(CWnd* owner, const char* verb, const char* file, const char* parameters,
                        const char* directory, int show) override;

 private:
  std::map<unsigned, ModalScript> scripts_;
  std::deque<std::optional<std::vector<CString>>> answers_;
  std::function<void(const MessageRecord&)> message_sink_;
  std::vector<MessageRecord> messages_;
  std::vector<FileDialogRequest> file_dialogs_;
  std::vector<unsigned> modals_run_;
  std::vector<ShellRecord> shell_requests_;
  intptr_t shell_result_ = 2;
  uint32_t shell_error_ = 2;
  int wait_depth_ = 0;
  int wait_shown_ = 0;
};

}  // namespace headless
