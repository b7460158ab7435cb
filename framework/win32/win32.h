// The Win32 backend: dialogs from the program's resources with real
// controls, the common dialogs, message boxes, the shell. Include
// <windows.h> before this header.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "framework/window.h"

namespace win32 {

// A dialog window: the controls are the template's real child windows.
class Win32Window : public WindowPort {
 public:
  Win32Window(HWND window, CDialog& dialog) : window_(window), dialog_(dialog) {}
  HWND Handle() const { return window_; }
  CDialog& Dialog() const { return dialog_; }
  // Whether the last WM_PAINT was left to the default painting.
  bool TakeDefaultPaint() {
    bool left = default_paint_;
    default_paint_ = false;
    return left;
  }

  bool HasItem(int id) const override { return ::GetDlgItem(window_, id) != nullptr; }
  intptr_t SendItemMessage(int id, unsigned message, uintptr_t wparam, intptr_t lparam) override {
    return ::SendDlgItemMessageA(window_, id, message, wparam, lparam);
  }
  CString GetItemText(int id) const override;
  void SetItemText(int id, const char* text) override { ::SetDlgItemTextA(window_, id, text); }
  void EnableItem(int id, bool enable) override { ::EnableWindow(::GetDlgItem(window_, id), enable); }
  bool IsItemEnabled(int id) const override { return ::IsWindowEnabled(::GetDlgItem(window_, id)) != 0; }
  std::unique_ptr<TextMeasure> MeasureItemText(int id) override;
  bool HasSystemMenu() const override { return ::GetSystemMenu(window_, FALSE) != nullptr; }
  void AppendSystemMenu(unsigned flags, unsigned id, const char* text) override {
    ::AppendMenuA(::GetSystemMenu(window_, FALSE), flags, id, text);
  }
  void SetIcon(HICON icon, bool big) override {
    ::SendMessageA(window_, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
  void DragAcceptFiles(bool accept) override;
  void SetActiveWindow() override { ::SetActiveWindow(window_); }
  bool IsIconic() const override { return ::IsIconic(window_) != 0; }
  void DefaultSysCommand(unsigned command, intptr_t lparam) override {
    ::DefWindowProcA(window_, WM_SYSCOMMAND, command, lparam);
  }
  void PaintIcon(HICON icon) override;
  void DefaultPaint() override { default_paint_ = true; }
  void EndDialog(int result) override { ::EndDialog(window_, result); }

 private:
  HWND window_;
  CDialog& dialog_;
  bool default_paint_ = false;
};

class Win32Host : public HostPort {
 public:
  explicit Win32Host(HINSTANCE instance) : instance_(instance) {}

  // Test hooks. When set, they answer instead of the system's windows;
  // the dialogs' requests and the message boxes' texts are still what the
  // program asked for.
  std::function<bool(const FileDialogRequest&, std::vector<CString>*)> file_dialog_hook;
  std::function<int(const char* text, unsigned type)> message_box_hook;
  std::function<intptr_t(const char* verb, const char* file)> shell_hook;
  // Told of every dialog window once its OnInitDialog has run.
  std::function<void(HWND, CDialog&)> dialog_opened;

  int RunModal(CDialog& dialog, unsigned template_id, CWnd* parent) override;
  int MessageBox(CWnd* owner, const char* text, unsigned type) override;
  bool RunFileDialog(CWnd* owner, const FileDialogRequest& request, std::vector<CString>* paths) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  CString LoadString(unsigned id) override;
  HICON LoadIcon(unsigned id) override {
    return ::LoadIconA(instance_, MAKEINTRESOURCEA(id));
  }
  intptr_t ShellExecute(CWnd* owner, const char* verb, const char* file, const char* parameters,
                        const char* directory, int show) override;

  // The OPENFILENAMEA filter for "text|pattern|...||": the bars become NULs.
  static std::string FilterFromBars(const char* filter);
  // The paths of a multi-select answer: "path\0\0" or "folder\0name\0...\0\0".
  static std::vector<CString> PathsFromBuffer(const char* buffer, size_t size);

 private:
  HINSTANCE instance_;
  std::vector<HCURSOR> saved_cursors_;
};

}  // namespace win32
