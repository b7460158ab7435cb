// The join command and the two browse buttons: controls -> JoinOptions, the
// join core, and its reports -> message boxes, status line and progress bar.
#include <vector>

#include "app/app.h"
#include "texts/messages.h"

namespace {

class DialogReporter : public JoinReporter {
 public:
  explicit DialogReporter(CProgressCtrl& progress) : progress_(progress) {}

  void CannotOpen(const CString& path, uint32_t error) override {
    AfxMessageBox(msg::CannotOpenText(path, error), win::kMbIconExclamation | win::kMbOk);
  }
  void Notice(const JoinNotice& notice) override {
    AfxMessageBox(msg::NoticeText(notice), win::kMbIconExclamation | win::kMbOk);
  }
  void FileFailed(const CFileException& failure) override {
    AfxMessageBox(msg::FileFailedText(failure), win::kMbIconStop | win::kMbOk);
  }
  void TooLarge(const CString& path) override {
    AfxMessageBox(msg::TooLargeText(path), win::kMbIconStop | win::kMbOk);
  }
  void Replaced(const CString& path, size_t count, size_t first_line) override {
    AfxMessageBox(msg::ReplacedText(path, count, first_line), win::kMbIconExclamation | win::kMbOk);
  }
  void Progress(int32_t done, int32_t, uint64_t) override { progress_.SetPos(done); }

 private:
  CProgressCtrl& progress_;
};

}  // namespace

void CJoinDlg::OnJoin() {
  ResetStatus();
  if (IsListEmpty()) return;
  const JoinOptions options = ReadOptions();

  CFileDialog dialog(false, nullptr, nullptr, win::kOfnHideReadOnly | win::kOfnOverwritePrompt,
                     msg::kAllFilesFilter, this);
  if (dialog.DoModal() != win::kIdOk) return;

  CWaitCursor wait;
  std::vector<CString> sources;
  const int count = m_listFiles.GetCount();
  for (int i = 0; i < count; ++i) sources.push_back(m_listFiles.GetText(i));
  m_progress.SetRange32(0, count);
  m_progress.SetPos(0);
  DialogReporter report(m_progress);
  const JoinResult result = JoinSources(sources, dialog.GetPathName(), options, report);
  // A join that ended on a failure leaves the banner: it has no count to tell.
  if (!result.stopped) SetDlgItemText(IDC_STATUS, msg::JoinedText(result.joined));
}

void CJoinDlg::OnBrowseSeparator() {
  UpdateData(true);
  CFileDialog dialog(true, "txt", m_strSepFile, win::kOfnHideReadOnly | win::kOfnOverwritePrompt,
                     msg::kSeparatorFilter, this);
  dialog.SetTitle(msg::kSeparatorTitle);
  if (dialog.DoModal() != win::kIdOk) return;
  m_strSepFile = dialog.GetPathName();
  UpdateData(false);
}

void CJoinDlg::OnBrowseReplaceTable() {
  UpdateData(true);
  CFileDialog dialog(true, "txt", m_strRepFile, win::kOfnHideReadOnly | win::kOfnOverwritePrompt,
                     msg::kTableFilter, this);
  dialog.SetTitle(msg::kTableTitle);
  if (dialog.DoModal() != win::kIdOk) return;
  m_strRepFile = dialog.GetPathName();
  UpdateData(false);
}
