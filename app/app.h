// The application object and the main dialog: the program's only window,
// holder of the source list, the seven options and the join-time state.
#pragma once

#include <cstdint>
#include <functional>

#include "framework/cstring.h"
#include "framework/window.h"
#include "resources/resource.h"

// Lowers the ASCII capitals of a NUL-terminated path in place; the bytes of
// Shift_JIS double-byte characters stay as they are. Returns the number of
// letters changed, or -1 when a lead byte stands just before the terminator.
int LowerAsciiPath(char* path);

// Whether paths name files case-insensitively here, so that list entries and
// the ini path are stored lowered (Windows), or keep their case (elsewhere).
#if defined(_WIN32)
inline constexpr bool kPathsIgnoreCase = true;
#else
inline constexpr bool kPathsIgnoreCase = false;
#endif

// The longest path a list entry, the ini file or a dialog answer may have:
// paths pass through 260-byte buffers.
inline constexpr size_t kMaxPathBytes = 259;

// Hands the program's dialog templates, strings and the framework's texts to
// the framework; the main dialog does it before it first opens.
void InstallProgramResources();

class CJoinDlg : public CDialog {
 public:
  explicit CJoinDlg(CWnd* parent = nullptr);

  // --- join-time state and options (the seven persisted ones are JoinOptions) --
  CStringArray m_arrRepSearch;
  CStringArray m_arrRepReplace;
  CString m_strSeparator;
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
  int32_t JoinBinary(const char* output_path);
  int32_t JoinText(const char* output_path);
  void LoadSeparator();
  void OnBrowseSeparator();

  // --- replacement table ---
  void LoadReplaceTable();
  void ApplyReplaceTable(CString& text);
  void OnBrowseReplaceTable();
  void ApplyRegexTable(CString& text);

  // --- window chrome ---
  void OnAbout();
  void OnReadme();

  // Observes the progress of a join: called after each file with the files
  // done and the bytes written so far (tavvel-cli draws its progress bar).
  void SetProgressObserver(std::function<void(int32_t done, int32_t total, uint64_t bytes)> observer) {
    m_progressObserver = std::move(observer);
  }

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

  // Appends a path to the list, lowered where paths ignore case; a path too
  // long for the list is refused with a message instead.
  void AppendListPath(const CString& path);
  // Refuses an output that is one of the list's entries: true (and a message)
  // when the output names the same file as an entry.
  bool OutputIsListEntry(const char* output_path);
  void ReportProgress(int32_t done, int32_t total);

  std::function<void(int32_t, int32_t, uint64_t)> m_progressObserver;
  uint64_t m_bytesWritten = 0;
};

class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};

class CJoinApp : public CWinApp {
 public:
  bool InitInstance() override;
};
