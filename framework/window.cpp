// Windows as the dialog code sees them: the shared half of every backend.
#include "framework/window.h"

#include <cstring>
#include <new>

#include "framework/file.h"
#include "framework/os.h"
#include "framework/texts.h"

namespace {
HostPort* g_host = nullptr;
CWinApp* g_app = nullptr;
}  // namespace

HostPort& Host() { return *g_host; }
void SetHost(HostPort* host) { g_host = host; }

// --- controls ---------------------------------------------------------------

CString CListBox::GetText(int index) {
  intptr_t length = SendMessage(win::kLbGetTextLen, static_cast<uintptr_t>(index));
  if (length < 0) return CString();
  CString text;
  char* buffer = text.GetBuffer(static_cast<size_t>(length));
  SendMessage(win::kLbGetText, static_cast<uintptr_t>(index), reinterpret_cast<intptr_t>(buffer));
  text.ReleaseBuffer(length);
  return text;
}

int CListBox::AddString(const char* text) {
  return static_cast<int>(SendMessage(win::kLbAddString, 0, reinterpret_cast<intptr_t>(text)));
}

int CListBox::InsertString(int index, const char* text) {
  return static_cast<int>(
      SendMessage(win::kLbInsertString, static_cast<uintptr_t>(index), reinterpret_cast<intptr_t>(text)));
}

int CListBox::DeleteString(int index) {
  return static_cast<int>(SendMessage(win::kLbDeleteString, static_cast<uintptr_t>(index)));
}

// --- data exchange ----------------------------------------------------------

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (!control.IsAttached()) control.Attach(dx->m_pDlgWnd->Port(), id);
}

void DDX_CBIndex(CDataExchange* dx, int id, int& index) {
  dx->m_idLastControl = id;
  WindowPort* port = dx->m_pDlgWnd->Port();
  if (dx->m_bSaveAndValidate) {
    index = static_cast<int>(port->SendItemMessage(id, win::kCbGetCurSel, 0, 0));
  } else {
    // An index outside the items leaves the combo without a selection (-1
    // clears it on every system; some keep the old one for other indexes).
    intptr_t count = port->SendItemMessage(id, win::kCbGetCount, 0, 0);
    intptr_t select = index >= 0 && index < count ? index : -1;
    port->SendItemMessage(id, win::kCbSetCurSel, static_cast<uintptr_t>(select), 0);
  }
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
  dx->m_idLastControl = id;
  WindowPort* port = dx->m_pDlgWnd->Port();
  if (dx->m_bSaveAndValidate) {
    value = port->GetItemText(id);
  } else {
    port->SetItemText(id, value);
  }
}

void DDV_MaxChars(CDataExchange* dx, const CString& value, int max_chars) {
  if (dx->m_bSaveAndValidate) {
    if (value.GetLength() > static_cast<size_t>(max_chars)) {
      CString prompt(GetFrameworkTexts().max_chars);
      CString number;
      number.Format("%d", max_chars);
      prompt.Replace("%1", number.View());
      AfxMessageBox(prompt, win::kMbIconExclamation);
      dx->Fail();
    }
  } else if (dx->m_idLastControl != 0) {
    dx->m_pDlgWnd->Port()->SendItemMessage(dx->m_idLastControl, win::kEmLimitText,
                                           static_cast<uintptr_t>(max_chars), 0);
  }
}

// --- dialogs ----------------------------------------------------------------

int CDialog::DoModal() { return Host().RunModal(*this, m_nIDTemplate, m_pParentWnd); }

void CDialog::EndDialog(int result) { m_port->EndDialog(result); }

bool CDialog::UpdateData(bool save_and_validate) {
  CDataExchange dx(this, save_and_validate);
  try {
    DoDataExchange(&dx);
  } catch (const DataExchangeFailure&) {
    return false;
  }
  return true;
}

CMenu* CDialog::GetSystemMenu() {
  if (!m_port->HasSystemMenu()) return nullptr;
  if (!m_systemMenu) m_systemMenu = std::make_unique<CMenu>(m_port);
  return m_systemMenu.get();
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::OnOK() {
  if (UpdateData(true)) EndDialog(win::kIdOk);
}

void CDialog::OnCancel() { EndDialog(win::kIdCancel); }

void CDialog::OnSysCommand(unsigned command, intptr_t lparam) { m_port->DefaultSysCommand(command, lparam); }

template <class Action>
void CDialog::Guard(Action action) {
  // A handler runs to completion; what escapes it is told to the user, as a
  // message loop would, and the program goes on.
  try {
    action();
  } catch (const CFileException& e) {
    CString text;
    text.Format(GetFrameworkTexts().file_error, e.m_strFileName.GetString(), e.CauseText().GetString(),
                static_cast<unsigned long>(e.m_lOsError));
    AfxMessageBox(text, win::kMbIconStop);
  } catch (const CUserException&) {
  } catch (const CMemoryException&) {
    AfxMessageBox(GetFrameworkTexts().out_of_memory, win::kMbIconStop);
  } catch (const std::bad_alloc&) {
    AfxMessageBox(GetFrameworkTexts().out_of_memory, win::kMbIconStop);
  }
}

bool CDialog::InitDialog() {
  bool focus = true;
  Guard([&] { focus = OnInitDialog(); });
  return focus;
}

void CDialog::Dispatch(int id, int code) {
  Guard([&] {
    if (OnCommand(id, code)) return;
    if (code != win::kBnClicked) return;
    if (id == win::kIdOk) {
      OnOK();
    } else if (id == win::kIdCancel) {
      OnCancel();
    }
  });
}

void CDialog::DispatchDropFiles(DropFiles& drop) {
  Guard([&] { OnDropFiles(drop); });
}

void CDialog::DispatchSysCommand(unsigned command, intptr_t lparam) {
  Guard([&] { OnSysCommand(command, lparam); });
}

void CDialog::DispatchPaint() { OnPaint(); }

HICON CDialog::DispatchQueryDragIcon() { return OnQueryDragIcon(); }

// --- message boxes, file dialogs, resources ---------------------------------

int AfxMessageBox(const char* text, unsigned type) {
  CWinApp* app = AfxGetApp();
  return Host().MessageBox(app ? app->m_pMainWnd : nullptr, text, type);
}

CString LoadStringResource(unsigned id) { return Host().LoadString(id); }

CFileDialog::CFileDialog(bool open, const char* default_extension, const char* file_name, uint32_t flags,
                         const char* filter, CWnd* parent)
    : m_parent(parent) {
  m_request.open = open;
  m_request.default_extension = default_extension;
  m_request.file_name = file_name;
  m_request.flags = flags;
  m_request.filter = filter;
}

int CFileDialog::DoModal() {
  m_paths.clear();
  bool confirmed = Host().RunFileDialog(m_parent, m_request, &m_paths);
  if (!confirmed) m_paths.clear();
  return confirmed ? win::kIdOk : win::kIdCancel;
}

// --- application ------------------------------------------------------------

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

int CWinApp::GetProfileInt(const char* section, const char* key, int default_value) {
  if (m_strProfileName.IsEmpty()) return default_value;
  return static_cast<int>(GetPrivateProfileInt(section, key, default_value, m_strProfileName));
}

CString CWinApp::GetProfileString(const char* section, const char* key, const char* default_value) {
  if (m_strProfileName.IsEmpty()) return CString(default_value);
  return GetPrivateProfileString(section, key, default_value, 4096, m_strProfileName);
}

bool CWinApp::WriteProfileInt(const char* section, const char* key, int value) {
  CString text;
  text.Format("%d", value);
  return WriteProfileString(section, key, text);
}

bool CWinApp::WriteProfileString(const char* section, const char* key, const char* value) {
  if (m_strProfileName.IsEmpty()) return false;
  return WritePrivateProfileString(section, key, value, m_strProfileName);
}
