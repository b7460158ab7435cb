// The replacement table of the main dialog: loading, applying, browsing.
#include <new>
#include <string>

#include "app/app.h"
#include "texts/messages.h"
#include "framework/file.h"
#include "reptable/reptable.h"

namespace {

// A table that does not fit in memory ends the join, naming the file.
[[noreturn]] void ReportTableTooLarge(const char* path) {
  CString text;
  text.Format(msg::kTooLargeForMemory, path);
  AfxMessageBox(text, win::kMbIconStop | win::kMbOk);
  throw CUserException();
}

// Splits a plain-mode line at TAB runs: leading TABs are skipped, the first
// two fields are kept, the rest ignored. Missing fields are empty.
void SplitPlainLine(const CString& line, CString* search, CString* replacement) {
  std::string_view rest = line.View();
  std::string_view fields[2];
  for (std::string_view& field : fields) {
    size_t start = rest.find_first_not_of('\t');
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    size_t stop = rest.find('\t');
    field = rest.substr(0, stop);
    rest.remove_prefix(stop == std::string_view::npos ? rest.size() : stop);
  }
  CString unescaped[2];
  for (int i = 0; i < 2; ++i) {
    unescaped[i] = CString(fields[i]);
    unescape_field(unescaped[i].GetBuffer(unescaped[i].GetLength()));
    unescaped[i].ReleaseBuffer();
  }
  *search = unescaped[0];
  *replacement = unescaped[1];
}

}  // namespace

void CJoinDlg::LoadReplaceTable() {
  m_arrRepSearch.RemoveAll();
  m_arrRepReplace.RemoveAll();
  if (m_strRepFile.IsEmpty()) return;
  CStdioFile table;
  CFileException error;
  if (!table.Open(m_strRepFile, CFile::modeRead | CFile::typeText | CFile::shareDenyWrite, &error)) {
    CString text;
    text.Format(msg::kCannotOpenTable, static_cast<unsigned long>(error.m_lOsError));
    AfxMessageBox(text, win::kMbIconExclamation | win::kMbOk);
    return;
  }
  if (m_nRepMode != 1 && m_nRepMode != 2) return;
  CString line;
  try {
    while (table.ReadString(line)) {
      if (!line.IsEmpty() && line.GetAt(0) == '#') continue;
      if (m_nRepMode == 2) {
        m_arrRepSearch.Add(line);
        continue;
      }
      CString search, replacement;
      SplitPlainLine(line, &search, &replacement);
      m_arrRepSearch.Add(search);
      m_arrRepReplace.Add(replacement);
    }
  } catch (const CMemoryException&) {
    ReportTableTooLarge(m_strRepFile);
  } catch (const std::bad_alloc&) {
    ReportTableTooLarge(m_strRepFile);
  }
  table.Close();
}

void CJoinDlg::ApplyReplaceTable(CString& text) {
  if (m_nRepMode == 1) {
    std::string replaced;
    for (size_t i = 0; i < m_arrRepSearch.GetSize(); ++i) {
      const CString& search = m_arrRepSearch[i];
      if (search.IsEmpty()) continue;
      if (replace_all_sjis(text.View(), search.View(), m_arrRepReplace[i].View(), &replaced) != 0) {
        text = CString(replaced);
      }
    }
  } else if (m_nRepMode == 2) {
    ApplyRegexTable(text);
  }
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
