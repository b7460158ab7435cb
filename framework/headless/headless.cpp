// The headless backend: windows whose controls live in memory.
#include "framework/headless/headless.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "framework/file.h"

namespace headless {

namespace {

class FixedWidthMeasure : public TextMeasure {
 public:
  int AverageCharWidth() override { return kCharWidth; }
  int TextWidth(const char* text, size_t length) override { return static_cast<int>(length) * kCharWidth; }
};

class NameDrop : public DropFiles {
 public:
  explicit NameDrop(const std::vector<CString>& names) : names_(names) {}
  unsigned Count() override { return static_cast<unsigned>(names_.size()); }
  CString Name(unsigned index) override { return index < names_.size() ? names_[index] : CString(); }
  void Finish() override { finished_ = true; }
  bool Finished() const { return finished_; }

 private:
  const std::vector<CString>& names_;
  bool finished_ = false;
};

}  // namespace

// --- the window ---------------------------------------------------------------

HeadlessWindow::HeadlessWindow(CDialog& dialog, const DialogTemplate& layout) : dialog_(dialog), layout_(layout) {
  for (const ControlTemplate& control : layout.controls) {
    if (control.id < 0) continue;
    Control& c = controls_[control.id];
    c.kind = control.kind;
    c.text = control.text;
    for (const char* item : control.items) c.items.emplace_back(item);
  }
}

const Control& HeadlessWindow::Item(int id) const {
  auto found = controls_.find(id);
  if (found == controls_.end()) throw std::out_of_range("no control with this id");
  return found->second;
}

Control& HeadlessWindow::Mutable(int id) { return const_cast<Control&>(Item(id)); }

std::vector<int> HeadlessWindow::SelectedIndexes(int id) const {
  std::vector<int> indexes;
  const Control& list = Item(id);
  for (size_t i = 0; i < list.selected.size(); ++i) {
    if (list.selected[i]) indexes.push_back(static_cast<int>(i));
  }
  return indexes;
}

intptr_t HeadlessWindow::SendItemMessage(int id, unsigned message, uintptr_t wparam, intptr_t lparam) {
  Control& c = Mutable(id);
  switch (message) {
    case win::kCbGetCount:
      return static_cast<intptr_t>(c.items.size());
    case win::kCbGetCurSel:
      return c.current;
    case win::kCbSetCurSel: {
      auto index = static_cast<intptr_t>(wparam);
      if (index < 0 || index >= static_cast<intptr_t>(c.items.size())) {
        c.current = -1;
        return win::kCbErr;
      }
      c.current = static_cast<int>(index);
      return index;
    }
    case win::kCbAddString:
      c.items.emplace_back(reinterpret_cast<const char*>(lparam));
      return static_cast<intptr_t>(c.items.size()) - 1;
    case win::kEmLimitText:
      c.limit = wparam == 0 ? 0x7FFFFFFE : wparam;
      return 0;
    case win::kPbmSetRange32: {
      intptr_t previous = (c.range_upper << 16) | (c.range_lower & 0xFFFF);
      c.range_lower = static_cast<int>(wparam);
      c.range_upper = static_cast<int>(lparam);
      c.position = std::clamp(c.position, std::min(c.range_lower, c.range_upper), std::max(c.range_lower, c.range_upper));
      return previous;
    }
    case win::kPbmGetRange:
      return wparam ? c.range_lower : c.range_upper;
    case win::kPbmSetPos: {
      int previous = c.position;
      c.position = std::clamp(static_cast<int>(wparam), std::min(c.range_lower, c.range_upper),
                              std::max(c.range_lower, c.range_upper));
      return previous;
    }
    case win::kPbmGetPos:
      return c.position;
    default:
      return ListMessage(c, message, wparam, lparam);
  }
}

intptr_t HeadlessWindow::ListMessage(Control& list, unsigned message, uintptr_t wparam, intptr_t lparam) {
  const auto count = static_cast<intptr_t>(list.items.size());
  const auto index = static_cast<intptr_t>(wparam);
  switch (message) {
    case win::kLbGetCount:
      return count;
    case win::kLbAddString:
      list.items.emplace_back(reinterpret_cast<const char*>(lparam));
      list.selected.push_back(false);
      return count;
    case win::kLbInsertString: {
      intptr_t at = index < 0 ? count : index;
      if (at > count) return win::kLbErr;
      list.items.insert(list.items.begin() + at, CString(reinterpret_cast<const char*>(lparam)));
      list.selected.insert(list.selected.begin() + at, false);
      if (list.caret >= at && count > 0) ++list.caret;
      return at;
    }
    case win::kLbDeleteString:
      if (index < 0 || index >= count) return win::kLbErr;
      list.items.erase(list.items.begin() + index);
      list.selected.erase(list.selected.begin() + index);
      if (list.caret > index) --list.caret;
      if (list.caret >= count - 1) list.caret = std::max<int>(0, static_cast<int>(count) - 2);
      return count - 1;
    case win::kLbResetContent:
      list.items.clear();
      list.selected.clear();
      list.caret = 0;
      return 0;
    case win::kLbSetSel:
      if (lparam == -1) {
        std::fill(list.selected.begin(), list.selected.end(), wparam != 0);
        return 0;
      }
      if (lparam < 0 || lparam >= count) return win::kLbErr;
      list.selected[static_cast<size_t>(lparam)] = wparam != 0;
      return 0;
    case win::kLbGetSel:
      if (index < 0 || index >= count) return win::kLbErr;
      return list.selected[static_cast<size_t>(index)] ? 1 : 0;
    case win::kLbGetSelCount:
      return std::count(list.selected.begin(), list.selected.end(), true);
    case win::kLbGetTextLen:
      if (index < 0 || index >= count) return win::kLbErr;
      return static_cast<intptr_t>(list.items[static_cast<size_t>(index)].GetLength());
    case win::kLbGetText: {
      if (index < 0 || index >= count) return win::kLbErr;
      const CString& text = list.items[static_cast<size_t>(index)];
      std::memcpy(reinterpret_cast<char*>(lparam), text.GetString(), text.GetLength() + 1);
      return static_cast<intptr_t>(text.GetLength());
    }
    case win::kLbGetCaretIndex:
      return list.caret;
    case win::kLbSetCaretIndex:
      if (index < 0 || index >= count) return win::kLbErr;
      list.caret = static_cast<int>(index);
      return 0;
    case win::kLbGetHorizontalExtent:
      return list.horizontal_extent;
    case win::kLbSetHorizontalExtent:
      list.horizontal_extent = static_cast<int>(wparam);
      return 0;
    default:
      throw std::invalid_argument("message not handled by the headless controls");
  }
}

std::unique_ptr<TextMeasure> HeadlessWindow::MeasureItemText(int id) {
  (void)Item(id);
  return std::make_unique<FixedWidthMeasure>();
}

void HeadlessWindow::DefaultSysCommand(unsigned command, intptr_t lparam) {
  // The caption's close box asks the dialog to cancel, as Escape does.
  if ((command & 0xFFF0) == win::kScClose) dialog_.Dispatch(win::kIdCancel);
}

void HeadlessWindow::PaintIcon(HICON icon) {
  // A 32-pixel icon centred in a minimised window's 160 x 24 client area.
  constexpr int kIcon = 32, kClientWidth = 160, kClientHeight = 24;
  icon_painted_at_ = {(kClientWidth - kIcon + 1) / 2, (kClientHeight - kIcon + 1) / 2};
  (void)icon;
}

bool HeadlessWindow::Click(int id) {
  if (!HasItem(id) || !Item(id).enabled) return false;
  dialog_.Dispatch(id, win::kBnClicked);
  return true;
}

bool HeadlessWindow::ChooseMenu(unsigned id) {
  dialog_.Dispatch(static_cast<int>(id), win::kBnClicked);
  return true;
}

bool HeadlessWindow::SelectComboItem(int id, int index) {
  if (!HasItem(id) || !Item(id).enabled) return false;
  Control& combo = Mutable(id);
  if (index < 0 || index >= static_cast<int>(combo.items.size())) return false;
  combo.current = index;
  dialog_.Dispatch(id, win::kCbnSelChange);
  return true;
}

bool HeadlessWindow::TypeText(int id, const char* text) {
  if (!HasItem(id) || !Item(id).enabled) return false;
  Control& edit = Mutable(id);
  size_t length = std::min(std::strlen(text), edit.limit);
  edit.text = CString(text, length);
  return true;
}

bool HeadlessWindow::ToggleSelection(int index) {
  for (auto& [id, control] : controls_) {
    if (control.kind != ControlKind::kListBox) continue;
    if (!control.enabled || index < 0 || index >= static_cast<int>(control.items.size())) return false;
    control.selected[static_cast<size_t>(index)] = !control.selected[static_cast<size_t>(index)];
    control.caret = index;
    return true;
  }
  return false;
}

bool HeadlessWindow::DoubleClick(int index) {
  for (auto& [id, control] : controls_) {
    if (control.kind != ControlKind::kListBox) continue;
    if (!control.enabled || index < 0 || index >= static_cast<int>(control.items.size())) return false;
    // The two clicks toggle the entry twice: only the caret moves.
    control.caret = index;
    dialog_.Dispatch(id, win::kLbnDblClk);
    return true;
  }
  return false;
}

void HeadlessWindow::Drop(const std::vector<CString>& names) {
  NameDrop drop(names);
  dialog_.DispatchDropFiles(drop);
}

void HeadlessWindow::SystemCommand(unsigned command) { dialog_.DispatchSysCommand(command); }

// --- the host -------------------------------------------------------------------

std::unique_ptr<HeadlessWindow> HeadlessHost::Open(CDialog& dialog) {
  const DialogTemplate* layout = FindDialogTemplate(dialog.TemplateId());
  if (layout == nullptr) throw std::invalid_argument("no dialog template with this id");
  auto window = std::make_unique<HeadlessWindow>(dialog, *layout);
  dialog.Attach(window.get());
  dialog.InitDialog();
  return window;
}

int HeadlessHost::RunModal(CDialog& dialog, unsigned template_id, CWnd* parent) {
  modals_run_.push_back(template_id);
  std::unique_ptr<HeadlessWindow> window = Open(dialog);
  auto script = scripts_.find(template_id);
  if (script != scripts_.end()) {
    script->second(*window);
  } else if (!window->Ended()) {
    dialog.Dispatch(win::kIdOk);
  }
  if (!window->Ended()) dialog.Dispatch(win::kIdCancel);
  int result = window->Result();
  dialog.Detach();
  return result;
}

int HeadlessHost::MessageBox(CWnd* owner, const char* text, unsigned type) {
  messages_.push_back({text, type});
  if (message_sink_) message_sink_(messages_.back());
  return win::kIdOk;
}

bool HeadlessHost::RunFileDialog(CWnd* owner, const FileDialogRequest& request, std::vector<CString>* paths) {
  file_dialogs_.push_back(request);
  if (answers_.empty()) return false;
  std::optional<std::vector<CString>> answer = std::move(answers_.front());
  answers_.pop_front();
  if (!answer || answer->empty()) return false;
  // The names come back in one buffer: the path alone, or with several names
  // the folder, then each name, each with its NUL, and one more NUL. When
  // they do not fit, the dialog ends without confirmation.
  size_t needed = 1;
  if (answer->size() == 1) {
    needed += answer->front().GetLength();
  } else {
    for (const CString& path : *answer) needed += path.GetLength() + 1;
  }
  if (needed > request.buffer_size) return false;
  *paths = std::move(*answer);
  return true;
}

CString HeadlessHost::LoadString(unsigned id) {
  const char* text = FindStringResource(id);
  return CString(text ? text : "");
}

HICON HeadlessHost::LoadIcon(unsigned id) {
  // Any distinct non-null handle will do: the icon is only passed around.
  static char icons[256];
  return reinterpret_cast<HICON>(&icons[id & 0xFF]);
}

intptr_t HeadlessHost::ShellExecute(CWnd* owner, const char* verb, const char* file, const char* parameters,
                                    const char* directory, int show) {
  shell_requests_.push_back({verb, file, show});
  if (shell_result_ <= 32) SetLastErrorCode(shell_error_);
  return shell_result_;
}

}  // namespace headless
