// Ports: the small interfaces a backend implements. The dialog code sees only
// these (through the classes of window.h); the Win32 backend maps them onto
// real windows, the headless backend onto controls held in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/cstring.h"

#if defined(_WIN32)
// <windows.h> turns these names into its own ...A functions by macro; after
// this header they name ours. Include <windows.h> before this header.
#undef MessageBox
#undef LoadString
#undef LoadIcon
#undef ShellExecute
#undef SetWindowText
#undef GetWindowText
#undef SendMessage
#undef AppendMenu
#undef GetProfileInt
#undef GetProfileString
#undef WriteProfileString
#endif

// The same type as the system's icon handle.
struct HICON__;
using HICON = HICON__*;

class CDialog;
class CWnd;

// Measures texts in a list box's font; alive while the font is selected.
class TextMeasure {
 public:
  virtual ~TextMeasure() = default;
  virtual int AverageCharWidth() = 0;
  virtual int TextWidth(const char* text, size_t length) = 0;
};

// One open dialog window and the controls in it.
class WindowPort {
 public:
  virtual ~WindowPort() = default;
  virtual bool HasItem(int id) const = 0;
  virtual intptr_t SendItemMessage(int id, unsigned message, uintptr_t wparam, intptr_t lparam) = 0;
  virtual CString GetItemText(int id) const = 0;
  virtual void SetItemText(int id, const char* text) = 0;
  virtual void EnableItem(int id, bool enable) = 0;
  virtual bool IsItemEnabled(int id) const = 0;
  virtual std::unique_ptr<TextMeasure> MeasureItemText(int id) = 0;

  virtual bool HasSystemMenu() const = 0;
  virtual void AppendSystemMenu(unsigned flags, unsigned id, const char* text) = 0;
  virtual void SetIcon(HICON icon, bool big) = 0;
  virtual void DragAcceptFiles(bool accept) = 0;
  virtual void SetActiveWindow() = 0;
  virtual bool IsIconic() const = 0;
  // Default handling of a system command (move, close, ...).
  virtual void DefaultSysCommand(unsigned command, intptr_t lparam) = 0;
  // Paints the minimised window: the icon centred in the client area.
  virtual void PaintIcon(HICON icon) = 0;
  virtual void DefaultPaint() = 0;
  virtual void EndDialog(int result) = 0;
};

// The names dropped on a window.
class DropFiles {
 public:
  virtual ~DropFiles() = default;
  virtual unsigned Count() = 0;
  // The full name of the index-th dropped item, whatever its length.
  virtual CString Name(unsigned index) = 0;
  virtual void Finish() = 0;
};

struct FileDialogRequest {
  bool open = true;             // open or save
  CString title;                // empty: the system's default title
  CString filter;               // "text|pattern|...||"
  CString default_extension;    // without the dot; empty: none
  CString file_name;            // initial file name
  uint32_t flags = 0;           // OFN_* flags
  size_t buffer_size = 260;     // bytes for the chosen name(s)
};

// The desktop: modal dialogs, message boxes, common dialogs, cursor, shell.
class HostPort {
 public:
  virtual ~HostPort() = default;
  // Creates the dialog's window from its template, runs OnInitDialog and
  // lets the user work until EndDialog; returns the dialog's result.
  virtual int RunModal(CDialog& dialog, unsigned template_id, CWnd* parent) = 0;
  virtual int MessageBox(CWnd* owner, const char* text, unsigned type) = 0;
  // True when the user confirmed; paths then holds the chosen full paths.
  virtual bool RunFileDialog(CWnd* owner, const FileDialogRequest& request, std::vector<CString>* paths) = 0;
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;
  virtual CString LoadString(unsigned id) = 0;
  virtual HICON LoadIcon(unsigned id) = 0;
  // Opens a document with its associated program; the result is > 32 on success.
  virtual intptr_t ShellExecute(CWnd* owner, const char* verb, const char* file, const char* parameters,
                                const char* directory, int show) = 0;
};

// The host the program runs on, chosen when it starts.
HostPort& Host();
void SetHost(HostPort* host);
