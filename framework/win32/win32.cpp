// The Win32 backend: modal dialogs with command dispatch, real controls,
// common dialogs, message boxes, the wait cursor and the shell.
#include "framework/win32/win32.h"

#include <commdlg.h>
#include <shellapi.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "framework/file.h"
#include "framework/resources.h"
#include "framework/texts.h"

namespace win32 {

namespace {

// What the dialog procedure needs from WM_INITDIALOG on.
struct ModalContext {
  Win32Host* host;
  CDialog* dialog;
  std::unique_ptr<Win32Window> window;
};

class DropHandle : public DropFiles {
 public:
  explicit DropHandle(HDROP drop) : drop_(drop) {}
  ~DropHandle() override { Finish(); }
  unsigned Count() override { return ::DragQueryFileA(drop_, 0xFFFFFFFF, nullptr, 0); }
  CString Name(unsigned index) override {
    // Asked for its length first, so no name is ever cut short.
    UINT length = ::DragQueryFileA(drop_, index, nullptr, 0);
    CString name;
    char* buffer = name.GetBuffer(length);
    UINT got = ::DragQueryFileA(drop_, index, buffer, length + 1);
    name.ReleaseBuffer(got);
    return name;
  }
  void Finish() override {
    if (drop_ != nullptr) ::DragFinish(drop_);
    drop_ = nullptr;
  }

 private:
  HDROP drop_;
};

class FontMeasure : public TextMeasure {
 public:
  explicit FontMeasure(HWND list) : list_(list), dc_(::GetDC(list)) {
    HFONT font = reinterpret_cast<HFONT>(::SendMessageA(list, WM_GETFONT, 0, 0));
    old_font_ = font ? ::SelectObject(dc_, font) : nullptr;
    ::GetTextMetricsA(dc_, &metrics_);
  }
  ~FontMeasure() override {
    if (old_font_ != nullptr) ::SelectObject(dc_, old_font_);
    ::ReleaseDC(list_, dc_);
  }
  int AverageCharWidth() override { return metrics_.tmAveCharWidth; }
  int TextWidth(const char* text, size_t length) override {
    SIZE size{};
    ::GetTextExtentPoint32A(dc_, text, static_cast<int>(length), &size);
    return size.cx;
  }

 private:
  HWND list_;
  HDC dc_;
  HGDIOBJ old_font_;
  TEXTMETRICA metrics_{};
};

// The combo items come from the template data, as the dialog's
// initialisation data fills them before the dialog code runs.
void FillCombos(HWND window, unsigned template_id) {
  const DialogTemplate* layout = FindDialogTemplate(template_id);
  if (layout == nullptr) return;
  for (const ControlTemplate& control : layout->controls) {
    for (const char* item : control.items) {
      ::SendDlgItemMessageA(window, control.id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
  }
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* context = reinterpret_cast<ModalContext*>(lparam);
    ::SetWindowLongPtrA(window, DWLP_USER, lparam);
    context->window = std::make_unique<Win32Window>(window, *context->dialog);
    FillCombos(window, context->dialog->TemplateId());
    context->dialog->Attach(context->window.get());
    BOOL focus = context->dialog->InitDialog() ? TRUE : FALSE;
    if (context->host->dialog_opened) context->host->dialog_opened(window, *context->dialog);
    return focus;
  }
  auto* context = reinterpret_cast<ModalContext*>(::GetWindowLongPtrA(window, DWLP_USER));
  if (context == nullptr) return FALSE;
  CDialog& dialog = *context->dialog;
  switch (message) {
    case WM_COMMAND:
      dialog.Dispatch(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_DROPFILES: {
      DropHandle drop(reinterpret_cast<HDROP>(wparam));
      dialog.DispatchDropFiles(drop);
      return TRUE;
    }
    case WM_SYSCOMMAND:
      dialog.DispatchSysCommand(static_cast<unsigned>(wparam), lparam);
      return TRUE;
    case WM_PAINT:
      dialog.DispatchPaint();
      return context->window->TakeDefaultPaint() ? FALSE : TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(dialog.DispatchQueryDragIcon());
    default:
      return FALSE;
  }
}

HWND OwnerWindow(CWnd* owner) {
  if (owner != nullptr && owner->Port() != nullptr) {
    return static_cast<Win32Window*>(owner->Port())->Handle();
  }
  return ::GetActiveWindow();
}

}  // namespace

CString Win32Window::GetItemText(int id) const {
  HWND item = ::GetDlgItem(window_, id);
  int length = ::GetWindowTextLengthA(item);
  CString text;
  char* buffer = text.GetBuffer(static_cast<size_t>(length));
  int got = ::GetWindowTextA(item, buffer, length + 1);
  text.ReleaseBuffer(got);
  return text;
}

std::unique_ptr<TextMeasure> Win32Window::MeasureItemText(int id) {
  return std::make_unique<FontMeasure>(::GetDlgItem(window_, id));
}

void Win32Window::DragAcceptFiles(bool accept) { ::DragAcceptFiles(window_, accept ? TRUE : FALSE); }

void Win32Window::PaintIcon(HICON icon) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window_, &paint);
  ::SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  int icon_width = ::GetSystemMetrics(SM_CXICON);
  int icon_height = ::GetSystemMetrics(SM_CYICON);
  RECT client;
  ::GetClientRect(window_, &client);
  int x = (client.right - client.left - icon_width + 1) / 2;
  int y = (client.bottom - client.top - icon_height + 1) / 2;
  ::DrawIcon(dc, x, y, icon);
  ::EndPaint(window_, &paint);
}

int Win32Host::RunModal(CDialog& dialog, unsigned template_id, CWnd* parent) {
  ModalContext context{this, &dialog, nullptr};
  INT_PTR result = ::DialogBoxParamA(instance_, MAKEINTRESOURCEA(template_id), OwnerWindow(parent), DialogProc,
                                     reinterpret_cast<LPARAM>(&context));
  dialog.Detach();
  return static_cast<int>(result);
}

int Win32Host::MessageBox(CWnd* owner, const char* text, unsigned type) {
  if (message_box_hook) return message_box_hook(text, type);
  return ::MessageBoxA(OwnerWindow(owner), text, GetFrameworkTexts().caption, type);
}

std::string Win32Host::FilterFromBars(const char* filter) {
  std::string result = filter ? filter : "";
  for (char& c : result) {
    if (c == '|') c = '\0';
  }
  result.push_back('\0');
  return result;
}

std::vector<CString> Win32Host::PathsFromBuffer(const char* buffer, size_t size) {
  std::vector<std::string> parts;
  for (size_t at = 0; at < size && buffer[at] != '\0';) {
    size_t length = strnlen(buffer + at, size - at);
    parts.emplace_back(buffer + at, length);
    at += length + 1;
  }
  std::vector<CString> paths;
  if (parts.size() == 1) {
    paths.emplace_back(parts.front().c_str());
    return paths;
  }
  for (size_t i = 1; i < parts.size(); ++i) {
    std::string path = parts.front();
    if (!path.empty() && path.back() != '\\') path += '\\';
    paths.emplace_back((path + parts[i]).c_str());
  }
  return paths;
}

bool Win32Host::RunFileDialog(CWnd* owner, const FileDialogRequest& request, std::vector<CString>* paths) {
  if (file_dialog_hook) return file_dialog_hook(request, paths);
  std::string filter = FilterFromBars(request.filter);
  std::vector<char> buffer(request.buffer_size + 1, '\0');
  std::strncpy(buffer.data(), request.file_name, request.buffer_size - 1);
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = OwnerWindow(owner);
  dialog.lpstrFilter = filter.size() > 1 ? filter.c_str() : nullptr;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(request.buffer_size);
  dialog.lpstrTitle = request.title.IsEmpty() ? nullptr : request.title.GetString();
  dialog.lpstrDefExt = request.default_extension.IsEmpty() ? nullptr : request.default_extension.GetString();
  dialog.Flags = request.flags | OFN_EXPLORER;
  BOOL confirmed = request.open ? ::GetOpenFileNameA(&dialog) : ::GetSaveFileNameA(&dialog);
  if (!confirmed) return false;
  *paths = PathsFromBuffer(buffer.data(), request.buffer_size);
  return !paths->empty();
}

void Win32Host::BeginWaitCursor() { saved_cursors_.push_back(::SetCursor(::LoadCursorA(nullptr, IDC_WAIT))); }

void Win32Host::EndWaitCursor() {
  if (saved_cursors_.empty()) return;
  ::SetCursor(saved_cursors_.back());
  saved_cursors_.pop_back();
}

CString Win32Host::LoadString(unsigned id) {
  char buffer[512];
  int length = ::LoadStringA(instance_, id, buffer, sizeof buffer);
  return CString(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

intptr_t Win32Host::ShellExecute(CWnd* owner, const char* verb, const char* file, const char* parameters,
                                 const char* directory, int show) {
  intptr_t code = shell_hook ? shell_hook(verb, file)
                             : reinterpret_cast<intptr_t>(
                                   ::ShellExecuteA(OwnerWindow(owner), verb, file, parameters, directory, show));
  if (code <= 32) SetLastErrorCode(::GetLastError());
  return code;
}

}  // namespace win32
