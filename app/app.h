// The application object and the main dialog: the program's only window,
// holder of the source list and the seven options. The join itself is the
// join core's (join/join.h); the dialog turns its reports into message boxes,
// the status line and the progress bar.
#pragma once

#include <cstdint>

#include "filelist/filelist.h"
#include "framework/cstring.h"
#include "framework/window.h"
#include "join/join.h"
#include "resources/resource.h"

// Hands the program's dialog templates, strings and the framework's texts to
// the framework; the main dialog does it before it first opens.
void InstallProgramResources();

class CJoinDlg : public CDialog {
 public:
  explicit CJoinDlg(CWnd* parent = nullptr);

  // --- controls and options: the combo indexes and paths that JoinOptions is made of --
  CProgressCtrl m_progress;
  CListBox m_listFiles;
  int32_t m_nFileMode = 0;
  int32_t m_nCRLF = 0;
  int32_t m_nCharCode = 0;
  int32_t m_nRepMode = 0;
  int32_t m_nInsertSep = 0;
  CString m_strRepFile;
  CString m_strSepFile;
  HICON m_hIcon = nullptr;

  // --- shared helpers ---
  void ResetStatus();
  bool IsListEmpty();
  bool HasSelection();
  void UpdateOptionStates();
  void UpdateRepControls();
  void UpdateSepControls();
  void SaveSettings();
  // Controls -> members, then the options they stand for.
  JoinOptions ReadOptions();

  // --- file list ---
  void OnAdd();
  void OnDropFiles(DropFiles& drop) override;
  void OnDelete();
  void OnDeleteAll();
  void OnMoveUp();
  void OnMoveDown();
  void OnDeselect();
  void OnListDblClk();
  void OnSortAscending();
  void OnSortDescending();
  void ShowFileCount();
  void UpdateHorizontalExtent();
  void AddFolderFiles(const char* mask, const char* folder);

  // --- join ---
  void OnJoin();
  void OnBrowseSeparator();
  void OnBrowseReplaceTable();

  // --- window chrome ---
  void OnAbout();
  void OnReadme();

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  bool OnInitDialog() override;
  void OnCancel() override;
  bool OnCommand(int id, int code) override;
  void OnSysCommand(unsigned command, intptr_t lparam) override;
  void OnPaint() override;
  HICON OnQueryDragIcon() override;

 private:
  static const CommandEntry<CJoinDlg> kCommands[];

  // Appends a path to the list in its list form; a path too long for the
  // list is refused with a message instead.
  void AppendListPath(const CString& path);
};

class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};

class CJoinApp : public CWinApp {
 public:
  bool InitInstance() override;
};
