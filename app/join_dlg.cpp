// The main dialog: construction, options and their ini file, enabling rules,
// command routing, status helpers and the window chrome.
#include <cstring>

#include "app/app.h"
#include "framework/os.h"
#include "texts/messages.h"

namespace {
const char kSection[] = "Settings";
constexpr int kMaxEditChars = 260;
// Controls that only text mode uses.
const int kTextOptionControls[] = {IDC_CRLF,     IDC_CHAR_CODE, IDC_REP_MODE,   IDC_INSERT_SEP,
                                   IDC_REP_FILE, IDC_SEP_FILE,  IDC_BROWSE_REP, IDC_BROWSE_SEP};
}  // namespace

const CommandEntry<CJoinDlg> CJoinDlg::kCommands[] = {
    {ID_FILE_JOIN, win::kBnClicked, &CJoinDlg::OnJoin},
    {IDC_JOIN, win::kBnClicked, &CJoinDlg::OnJoin},
    {ID_LIST_ADD, win::kBnClicked, &CJoinDlg::OnAdd},
    {IDC_ADD, win::kBnClicked, &CJoinDlg::OnAdd},
    {ID_LIST_DELETE, win::kBnClicked, &CJoinDlg::OnDelete},
    {IDC_DELETE, win::kBnClicked, &CJoinDlg::OnDelete},
    {ID_LIST_DELETE_ALL, win::kBnClicked, &CJoinDlg::OnDeleteAll},
    {ID_LIST_MOVE_UP, win::kBnClicked, &CJoinDlg::OnMoveUp},
    {IDC_MOVE_UP, win::kBnClicked, &CJoinDlg::OnMoveUp},
    {ID_LIST_MOVE_DOWN, win::kBnClicked, &CJoinDlg::OnMoveDown},
    {IDC_MOVE_DOWN, win::kBnClicked, &CJoinDlg::OnMoveDown},
    {ID_LIST_SORT_ASCENDING, win::kBnClicked, &CJoinDlg::OnSortAscending},
    {ID_LIST_SORT_DESCENDING, win::kBnClicked, &CJoinDlg::OnSortDescending},
    {ID_LIST_DESELECT, win::kBnClicked, &CJoinDlg::OnDeselect},
    {IDC_FILE_LIST, win::kLbnDblClk, &CJoinDlg::OnListDblClk},
    {IDC_FILE_MODE, win::kCbnSelChange, &CJoinDlg::UpdateOptionStates},
    {IDC_REP_MODE, win::kCbnSelChange, &CJoinDlg::UpdateRepControls},
    {IDC_INSERT_SEP, win::kCbnSelChange, &CJoinDlg::UpdateSepControls},
    {IDC_BROWSE_REP, win::kBnClicked, &CJoinDlg::OnBrowseReplaceTable},
    {IDC_BROWSE_SEP, win::kBnClicked, &CJoinDlg::OnBrowseSeparator},
    {ID_HELP_README, win::kBnClicked, &CJoinDlg::OnReadme},
    {IDM_ABOUTBOX, win::kBnClicked, &CJoinDlg::OnAbout},
};

CJoinDlg::CJoinDlg(CWnd* parent) : CDialog(IDD_TAVVEL, parent) {
  InstallProgramResources();
  m_strRepFile = "";
  m_strSepFile = "";
  m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : Host().LoadIcon(IDR_MAINFRAME);
}

bool CJoinDlg::OnCommand(int id, int code) { return RouteCommand(this, kCommands, id, code); }

void CJoinDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_PROGRESS, m_progress);
  DDX_Control(dx, IDC_FILE_LIST, m_listFiles);
  DDX_CBIndex(dx, IDC_FILE_MODE, m_nFileMode);
  DDX_CBIndex(dx, IDC_CRLF, m_nCRLF);
  DDX_CBIndex(dx, IDC_CHAR_CODE, m_nCharCode);
  DDX_CBIndex(dx, IDC_REP_MODE, m_nRepMode);
  DDX_CBIndex(dx, IDC_INSERT_SEP, m_nInsertSep);
  DDX_Text(dx, IDC_REP_FILE, m_strRepFile);
  DDV_MaxChars(dx, m_strRepFile, kMaxEditChars);
  DDX_Text(dx, IDC_SEP_FILE, m_strSepFile);
  DDV_MaxChars(dx, m_strSepFile, kMaxEditChars);
}

bool CJoinDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  if (CMenu* system_menu = GetSystemMenu()) {
    CString about = LoadStringResource(IDS_ABOUTBOX);
    if (!about.IsEmpty()) {
      system_menu->AppendMenu(win::kMfSeparator);
      system_menu->AppendMenu(win::kMfString, IDM_ABOUTBOX, about);
    }
  }
  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);
  DragAcceptFiles(true);
  SetDlgItemText(IDC_STATUS, msg::kBanner);
  m_progress.SetPos(0);

  if (CWinApp* app = AfxGetApp()) {
    m_nFileMode = app->GetProfileInt(kSection, "FileMode", 0);
    m_nCRLF = app->GetProfileInt(kSection, "CRLF", 0);
    m_nCharCode = app->GetProfileInt(kSection, "CharCode", 0);
    m_nRepMode = app->GetProfileInt(kSection, "RepMode", 0);
    m_nInsertSep = app->GetProfileInt(kSection, "InsertSep", 0);
    m_strRepFile = app->GetProfileString(kSection, "RepFile", "");
    m_strSepFile = app->GetProfileString(kSection, "SepFile", "");
  }
  UpdateData(false);
  UpdateOptionStates();
  return true;
}

JoinOptions CJoinDlg::ReadOptions() {
  UpdateData(true);
  return OptionsFromIndexes({m_nFileMode, m_nCRLF, m_nCharCode, m_nRepMode, m_nInsertSep}, m_strRepFile,
                            m_strSepFile);
}

void CJoinDlg::UpdateOptionStates() {
  const bool text_mode = ReadOptions().TextMode();
  for (int id : kTextOptionControls) GetDlgItem(id).EnableWindow(text_mode);
  if (text_mode) {
    UpdateRepControls();
    UpdateSepControls();
  }
}

void CJoinDlg::UpdateRepControls() {
  const bool replacing = ReadOptions().replace_mode != ReplaceMode::kNone;
  GetDlgItem(IDC_REP_FILE).EnableWindow(replacing);
  GetDlgItem(IDC_BROWSE_REP).EnableWindow(replacing);
}

void CJoinDlg::UpdateSepControls() {
  const bool separating = ReadOptions().separator != SeparatorMode::kOff;
  GetDlgItem(IDC_SEP_FILE).EnableWindow(separating);
  GetDlgItem(IDC_BROWSE_SEP).EnableWindow(separating);
}

void CJoinDlg::OnCancel() { SaveSettings(); }

void CJoinDlg::SaveSettings() {
  UpdateData(true);
  if (CWinApp* app = AfxGetApp()) {
    app->WriteProfileInt(kSection, "FileMode", m_nFileMode);
    app->WriteProfileInt(kSection, "CRLF", m_nCRLF);
    app->WriteProfileInt(kSection, "CharCode", m_nCharCode);
    app->WriteProfileInt(kSection, "RepMode", m_nRepMode);
    app->WriteProfileInt(kSection, "InsertSep", m_nInsertSep);
    app->WriteProfileString(kSection, "RepFile", m_strRepFile);
    app->WriteProfileString(kSection, "SepFile", m_strSepFile);
  }
  EndDialog(win::kIdCancel);
}

void CJoinDlg::ResetStatus() {
  SetDlgItemText(IDC_STATUS, msg::kBanner);
  m_progress.SetPos(0);
}

bool CJoinDlg::IsListEmpty() {
  if (m_listFiles.GetCount() != 0) return false;
  AfxMessageBox(LoadStringResource(IDS_LIST_EMPTY), win::kMbIconStop | win::kMbOk);
  return true;
}

bool CJoinDlg::HasSelection() {
  if (m_listFiles.GetSelCount() > 0) return true;
  AfxMessageBox(LoadStringResource(IDS_NOT_SELECTED), win::kMbIconStop | win::kMbOk);
  return false;
}

// --- window chrome ------------------------------------------------------------

void CJoinDlg::OnSysCommand(unsigned command, intptr_t lparam) {
  if ((command & 0xFFF0) == IDM_ABOUTBOX) {
    OnAbout();
  } else {
    CDialog::OnSysCommand(command, lparam);
  }
}

void CJoinDlg::OnAbout() {
  CAboutDlg about;
  about.DoModal();
}

void CJoinDlg::OnReadme() {
  CString readme = PathRenameExtension(GetModuleFileName(), ".html");
  if (Host().ShellExecute(this, "OPEN", readme, nullptr, nullptr, win::kSwShow) <= 32) {
    AfxMessageBox(msg::CannotOpenText(readme, GetLastErrorCode()), win::kMbIconExclamation | win::kMbOk);
  }
}

void CJoinDlg::OnPaint() {
  if (IsIconic()) {
    Port()->PaintIcon(m_hIcon);
  } else {
    CDialog::OnPaint();
  }
}

HICON CJoinDlg::OnQueryDragIcon() { return m_hIcon; }
