// The source list: adding by dialog and by drop (folders walked), deleting,
// moving, deselecting, sorting, the file count and the horizontal extent.
#include <algorithm>
#include <memory>
#include <vector>

#include "app/app.h"
#include "framework/os.h"
#include "texts/messages.h"

namespace {

// Tells the user that path is too long to be added.
void RefuseLongPath(const CString& path) {
  AfxMessageBox(msg::PathTooLongText(path), win::kMbIconExclamation | win::kMbOk);
}

}  // namespace

void CJoinDlg::AppendListPath(const CString& path) {
  CString entry;
  if (ListEntryForm(path, &entry)) {
    m_listFiles.AddString(entry);
  } else {
    RefuseLongPath(path);
  }
}

void CJoinDlg::ShowFileCount() {
  CString text;
  text.Format(msg::kFileCount, static_cast<long>(m_listFiles.GetCount()));
  SetDlgItemText(IDC_STATUS, text);
  m_progress.SetPos(0);
}

void CJoinDlg::UpdateHorizontalExtent() {
  int width = 0;
  {
    std::unique_ptr<TextMeasure> measure = m_listFiles.MeasureText();
    const int average = measure->AverageCharWidth();
    const int count = m_listFiles.GetCount();
    for (int i = 0; i < count; ++i) {
      CString text = m_listFiles.GetText(i);
      width = std::max(width, measure->TextWidth(text, text.GetLength()) + average);
    }
  }
  m_listFiles.SetHorizontalExtent(width);
}

void CJoinDlg::OnAdd() {
  CFileDialog dialog(true, nullptr, nullptr,
                     win::kOfnHideReadOnly | win::kOfnOverwritePrompt | win::kOfnAllowMultiSelect,
                     msg::kAllFilesFilter, this);
  dialog.SetTitle(msg::kAddTitle);
  dialog.SetBufferSize(65535);
  if (dialog.DoModal() == win::kIdOk) {
    CWaitCursor wait;
    for (const CString& path : dialog.GetPathNames()) AppendListPath(path);
    UpdateHorizontalExtent();
  }
  ShowFileCount();
}

void CJoinDlg::OnDropFiles(DropFiles& drop) {
  SetActiveWindow();
  const unsigned count = drop.Count();
  CWaitCursor wait;
  for (unsigned i = 0; i < count; ++i) {
    CString name = drop.Name(i);
    if (name.GetLength() > kMaxPathBytes) {
      AppendListPath(name);  // refused with its message
      continue;
    }
    uint32_t attributes = GetFileAttributesOf(name);
    if (attributes == kInvalidFileAttributes) continue;
    if (attributes & kFileAttributeDirectory) {
      AddFolderFiles("*.*", name);
    } else {
      AppendListPath(name);
    }
  }
  drop.Finish();
  UpdateHorizontalExtent();
  ShowFileCount();
}

void CJoinDlg::AddFolderFiles(const char* mask, const char* folder) {
  WalkFolder(
      mask, CString(folder), [this](const CString& path) { AppendListPath(path); }, RefuseLongPath);
}

void CJoinDlg::OnDelete() {
  ResetStatus();
  if (IsListEmpty() || !HasSelection()) return;
  for (int i = 0; i < m_listFiles.GetCount();) {
    if (m_listFiles.GetSel(i)) {
      m_listFiles.DeleteString(i);
    } else {
      ++i;
    }
  }
  UpdateHorizontalExtent();
  ShowFileCount();
}

void CJoinDlg::OnListDblClk() {
  ResetStatus();
  if (IsListEmpty()) return;
  m_listFiles.DeleteString(m_listFiles.GetCaretIndex());
  UpdateHorizontalExtent();
  ShowFileCount();
}

void CJoinDlg::OnDeleteAll() {
  ResetStatus();
  if (IsListEmpty()) return;
  m_listFiles.ResetContent();
  UpdateHorizontalExtent();
}

void CJoinDlg::OnMoveUp() {
  ResetStatus();
  if (IsListEmpty() || !HasSelection()) return;
  if (m_listFiles.GetSel(0)) return;
  const int count = m_listFiles.GetCount();
  for (int i = 1; i < count; ++i) {
    if (!m_listFiles.GetSel(i)) continue;
    CString text = m_listFiles.GetText(i);
    m_listFiles.DeleteString(i);
    m_listFiles.InsertString(i - 1, text);
    m_listFiles.SetSel(i - 1, true);
  }
}

void CJoinDlg::OnMoveDown() {
  ResetStatus();
  if (IsListEmpty() || !HasSelection()) return;
  const int count = m_listFiles.GetCount();
  if (m_listFiles.GetSel(count - 1)) return;
  for (int i = count - 2; i >= 0; --i) {
    if (!m_listFiles.GetSel(i)) continue;
    CString text = m_listFiles.GetText(i);
    m_listFiles.DeleteString(i);
    m_listFiles.InsertString(i + 1, text);
    m_listFiles.SetSel(i + 1, true);
  }
}

void CJoinDlg::OnDeselect() {
  ResetStatus();
  m_listFiles.SetSel(-1, false);
}

namespace {
// The list's entries sorted, and the list emptied for them.
std::vector<CString> TakeSorted(CListBox& list, SortOrder order) {
  std::vector<CString> entries;
  const int count = list.GetCount();
  entries.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) entries.push_back(list.GetText(i));
  SortPaths(entries, order);
  list.ResetContent();
  return entries;
}
}  // namespace

void CJoinDlg::OnSortAscending() {
  CWaitCursor wait;
  ResetStatus();
  for (const CString& entry : TakeSorted(m_listFiles, SortOrder::kAscending)) m_listFiles.AddString(entry);
}

void CJoinDlg::OnSortDescending() {
  CWaitCursor wait;
  ResetStatus();
  for (const CString& entry : TakeSorted(m_listFiles, SortOrder::kDescending)) m_listFiles.AddString(entry);
}
