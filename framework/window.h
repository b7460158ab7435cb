// Windows as the dialog code sees them: CWnd, CDialog with command routing and
// data exchange, control wrappers, common dialogs, message boxes, the wait
// cursor and the application object. Every call forwards to a port.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/cstring.h"
#include "framework/ports.h"
#include "framework/winconst.h"

class CWnd {
 public:
  CWnd() = default;
  CWnd(WindowPort* port, int id) : m_port(port), m_id(id) {}
  virtual ~CWnd() = default;

  bool IsAttached() const { return m_port != nullptr; }
  WindowPort* Port() const { return m_port; }
  int GetDlgCtrlID() const { return m_id; }

  void EnableWindow(bool enable) { m_port->EnableItem(m_id, enable); }
  bool IsWindowEnabled() const { return m_port->IsItemEnabled(m_id); }
  void SetWindowText(const char* text) { m_port->SetItemText(m_id, text); }
  CString GetWindowText() const { return m_port->GetItemText(m_id); }
  intptr_t SendMessage(unsigned message, uintptr_t wparam = 0, intptr_t lparam = 0) {
    return m_port->SendItemMessage(m_id, message, wparam, lparam);
  }

  // Binds this wrapper to control id of a window.
  void Attach(WindowPort* port, int id) { m_port = port; m_id = id; }

 protected:
  WindowPort* m_port = nullptr;
  int m_id = 0;  // 0 for the dialog itself
};

class CListBox : public CWnd {
 public:
  int GetCount() { return static_cast<int>(SendMessage(win::kLbGetCount)); }
  // The text of entry index; an empty string when there is no such entry.
  CString GetText(int index);
  int AddString(const char* text);
  int InsertString(int index, const char* text);
  int DeleteString(int index);
  void ResetContent() { SendMessage(win::kLbResetContent); }
  bool GetSel(int index) { return SendMessage(win::kLbGetSel, static_cast<uintptr_t>(index)) > 0; }
  // index -1 selects or deselects every entry.
  void SetSel(int index, bool select = true) { SendMessage(win::kLbSetSel, select, index); }
  int GetSelCount() { return static_cast<int>(SendMessage(win::kLbGetSelCount)); }
  int GetCaretIndex() { return static_cast<int>(SendMessage(win::kLbGetCaretIndex)); }
  void SetHorizontalExtent(int width) { SendMessage(win::kLbSetHorizontalExtent, static_cast<uintptr_t>(width)); }
  int GetHorizontalExtent() { return static_cast<int>(SendMessage(win::kLbGetHorizontalExtent)); }
  // Text measurement in the list box's own font.
  std::unique_ptr<TextMeasure> MeasureText() { return m_port->MeasureItemText(m_id); }
};

class CComboBox : public CWnd {
 public:
  int GetCurSel() { return static_cast<int>(SendMessage(win::kCbGetCurSel)); }
  int SetCurSel(int index) { return static_cast<int>(SendMessage(win::kCbSetCurSel, static_cast<uintptr_t>(index))); }
  int GetCount() { return static_cast<int>(SendMessage(win::kCbGetCount)); }
};

class CEdit : public CWnd {
 public:
  void LimitText(int bytes) { SendMessage(win::kEmLimitText, static_cast<uintptr_t>(bytes)); }
};

class CProgressCtrl : public CWnd {
 public:
  void SetRange32(int lower, int upper) {
    SendMessage(win::kPbmSetRange32, static_cast<uintptr_t>(lower), upper);
  }
  int SetPos(int position) { return static_cast<int>(SendMessage(win::kPbmSetPos, static_cast<uintptr_t>(position))); }
  int GetPos() { return static_cast<int>(SendMessage(win::kPbmGetPos)); }
};

class CMenu {
 public:
  explicit CMenu(WindowPort* port) : m_port(port) {}
  bool AppendMenu(unsigned flags, unsigned id = 0, const char* text = nullptr) {
    m_port->AppendSystemMenu(flags, id, text);
    return true;
  }

 private:
  WindowPort* m_port;
};

// Ends a command whose failure has already been told to the user.
struct CUserException {};

// Raised by DDV checks to stop an exchange; caught by UpdateData.
struct DataExchangeFailure {};

class CDialog;
class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, bool save) : m_bSaveAndValidate(save), m_pDlgWnd(dialog) {}
  [[noreturn]] void Fail() { throw DataExchangeFailure{}; }

  bool m_bSaveAndValidate;
  CDialog* m_pDlgWnd;
  int m_idLastControl = 0;
};

void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDX_CBIndex(CDataExchange* dx, int id, int& index);
void DDX_Text(CDataExchange* dx, int id, CString& value);
// Saving: more than max_chars bytes shows the max_chars text of
// FrameworkTexts (exclamation icon) and fails the exchange. Loading: limits the last edit to max_chars bytes.
void DDV_MaxChars(CDataExchange* dx, const CString& value, int max_chars);

// One row of a dialog's command table: a control or menu ID with its
// notification code, and the handler it runs.
template <class Dialog>
struct CommandEntry {
  int id;
  int code;
  void (Dialog::*handler)();
};

class CDialog : public CWnd {
 public:
  explicit CDialog(unsigned template_id, CWnd* parent = nullptr) : m_nIDTemplate(template_id), m_pParentWnd(parent) {}

  // Runs the dialog modally on the current host; returns the EndDialog result.
  int DoModal();
  void EndDialog(int result);
  bool UpdateData(bool save_and_validate = true);
  CWnd GetDlgItem(int id) { return CWnd(m_port, id); }
  void SetDlgItemText(int id, const char* text) { m_port->SetItemText(id, text); }
  CMenu* GetSystemMenu();
  void SetIcon(HICON icon, bool big) { m_port->SetIcon(icon, big); }
  void DragAcceptFiles(bool accept = true) { m_port->DragAcceptFiles(accept); }
  void SetActiveWindow() { m_port->SetActiveWindow(); }
  bool IsIconic() const { return m_port->IsIconic(); }
  unsigned TemplateId() const { return m_nIDTemplate; }

  // Entry points for the backend. Each handler runs to completion; a file or
  // memory failure that escapes it is reported in a message box (stop icon).
  void Attach(WindowPort* port) { m_port = port; m_id = 0; m_systemMenu.reset(); }
  void Detach() { m_port = nullptr; m_systemMenu.reset(); }
  bool InitDialog();
  void Dispatch(int id, int code = win::kBnClicked);
  void DispatchDropFiles(DropFiles& drop);
  void DispatchSysCommand(unsigned command, intptr_t lparam = 0);
  void DispatchPaint();
  HICON DispatchQueryDragIcon();

 protected:
  virtual bool OnInitDialog();
  virtual void DoDataExchange(CDataExchange* dx) {}
  virtual void OnOK();
  virtual void OnCancel();
  // Looks the command up in the dialog's table; false when no row matches.
  virtual bool OnCommand(int id, int code) { return false; }
  virtual void OnDropFiles(DropFiles& drop) { drop.Finish(); }
  virtual void OnSysCommand(unsigned command, intptr_t lparam);
  virtual void OnPaint() { m_port->DefaultPaint(); }
  virtual HICON OnQueryDragIcon() { return nullptr; }

  template <class Dialog, size_t N>
  static bool RouteCommand(Dialog* dialog, const CommandEntry<Dialog> (&table)[N], int id, int code) {
    for (const CommandEntry<Dialog>& entry : table) {
      if (entry.id == id && entry.code == code) {
        (dialog->*entry.handler)();
        return true;
      }
    }
    return false;
  }

  unsigned m_nIDTemplate;
  CWnd* m_pParentWnd;

 private:
  template <class Action>
  void Guard(Action action);

  std::unique_ptr<CMenu> m_systemMenu;
};

// Shows a message box with one OK button; type carries the icon.
int AfxMessageBox(const char* text, unsigned type = win::kMbOk);
CString LoadStringResource(unsigned id);

// Common file dialogs: open (one or many files) and save.
class CFileDialog {
 public:
  CFileDialog(bool open, const char* default_extension, const char* file_name, uint32_t flags, const char* filter,
              CWnd* parent = nullptr);
  void SetTitle(const char* title) { m_request.title = title; }
  void SetBufferSize(size_t bytes) { m_request.buffer_size = bytes; }
  const FileDialogRequest& Request() const { return m_request; }
  int DoModal();
  // The first (or only) chosen path.
  CString GetPathName() const { return m_paths.empty() ? CString() : m_paths.front(); }
  // Every chosen path, in the order the dialog returned them.
  const std::vector<CString>& GetPathNames() const { return m_paths; }

 private:
  FileDialogRequest m_request;
  CWnd* m_parent;
  std::vector<CString> m_paths;
};

class CWaitCursor {
 public:
  CWaitCursor() { Host().BeginWaitCursor(); }
  ~CWaitCursor() { Host().EndWaitCursor(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// The application object. With no profile name the profile calls read the
// defaults and write nothing.
class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual bool InitInstance() { return true; }
  void SetProfileName(const char* path) { m_strProfileName = path; }
  const CString& ProfileName() const { return m_strProfileName; }
  int GetProfileInt(const char* section, const char* key, int default_value);
  CString GetProfileString(const char* section, const char* key, const char* default_value = "");
  bool WriteProfileInt(const char* section, const char* key, int value);
  bool WriteProfileString(const char* section, const char* key, const char* value);
  HICON LoadIcon(unsigned id) { return Host().LoadIcon(id); }

  CWnd* m_pMainWnd = nullptr;

 private:
  CString m_strProfileName;
};

CWinApp* AfxGetApp();
