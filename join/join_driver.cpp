// The join command: asks for the output, then copies every source into it,
// byte for byte or through the text pipeline, with progress and a report.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "app/app.h"
#include "texts/messages.h"
#include "framework/file.h"
#include "framework/os.h"
#include "jcode/jcode.h"
#include "join/join.h"

namespace {

constexpr unsigned kOutputFlags =
    CFile::modeCreate | CFile::modeWrite | CFile::typeBinary | CFile::shareExclusive;
constexpr unsigned kSourceFlags = CFile::modeRead | CFile::typeBinary | CFile::shareExclusive;

void ReportCannotOpen(const char* path, uint32_t error) {
  CString text;
  text.Format(msg::kCannotOpen, path, static_cast<unsigned long>(error));
  AfxMessageBox(text, win::kMbIconExclamation | win::kMbOk);
}

// Ends the command after a failure that has been reported to the user.
[[noreturn]] void ReportTooLarge(const char* path) {
  CString text;
  text.Format(msg::kTooLargeForMemory, path);
  AfxMessageBox(text, win::kMbIconStop | win::kMbOk);
  throw CUserException();
}

// Reads a whole file into text, up to its first NUL, with its line ends
// brought to LF. The size is checked before anything is allocated. A file
// that holds more than its reported length (a pipe or a device reports 0, a
// file may grow) is read on to its end, in a buffer that doubles.
// reserve_factor sizes the buffer for the stages to come (a growing output
// code, longer line ends) so that they work in it without moving the text.
void ReadText(CFile& file, CString& text, size_t reserve_factor = 1) {
  constexpr size_t kFirstGrowth = 64 * 1024;
  // On Windows a pipe has no length to tell: asking fails. Such a file is
  // read as one that reports 0; a fault of the file itself shows in the read.
  uint64_t length = 0;
  try {
    length = file.GetLength();
  } catch (const CFileException&) {
  }
  if (length >= SIZE_MAX / 8) ReportTooLarge(file.GetFilePath());
  size_t capacity = static_cast<size_t>(length) + 1;  // one byte more tells whether the end was reached
  try {
    text.Reserve(capacity * reserve_factor + 16);
  } catch (const std::bad_alloc&) {
    ReportTooLarge(file.GetFilePath());
  }
  char* buffer;
  size_t got = 0;
  for (;;) {
    try {
      buffer = text.GetBuffer(capacity);
    } catch (const std::bad_alloc&) {
      ReportTooLarge(file.GetFilePath());
    }
    got += file.Read(buffer + got, capacity - got);
    if (got < capacity) break;  // Read returns fewer bytes only at the end
    capacity = std::max(capacity * 2, kFirstGrowth);
    if (capacity >= SIZE_MAX / 4) ReportTooLarge(file.GetFilePath());
  }
  buffer[got] = '\0';
  text.ReleaseBuffer(static_cast<std::ptrdiff_t>(normalize_newlines(buffer, got)));
}

// Runs a converter that may lengthen the text in a buffer of the given
// capacity; the text then ends at its first NUL. Only a replacement can have
// put a NUL in the text (`may_hold_nul`); the converters make none.
template <class Convert>
void ConvertGrowing(CString& text, size_t capacity, bool may_hold_nul, const char* source_path,
                    Convert convert) {
  if (capacity == 0) ReportTooLarge(source_path);
  const size_t length = text.GetLength();
  char* buffer;
  try {
    buffer = text.GetBuffer(capacity - 1);
  } catch (const std::bad_alloc&) {
    ReportTooLarge(source_path);
  }
  const size_t converted = convert(buffer, length);
  text.ReleaseBuffer(static_cast<std::ptrdiff_t>(may_hold_nul ? strnlen(buffer, converted) : converted));
}

}  // namespace

void CJoinDlg::OnJoin() {
  ResetStatus();
  if (IsListEmpty()) return;
  UpdateData(true);

  CFileDialog dialog(false, nullptr, nullptr, win::kOfnHideReadOnly | win::kOfnOverwritePrompt,
                     msg::kAllFilesFilter, this);
  if (dialog.DoModal() != win::kIdOk) return;
  const CString output = dialog.GetPathName();

  CWaitCursor wait;
  int32_t joined = 0;
  if (!OutputIsListEntry(output)) {
    joined = m_nFileMode == 0 ? JoinText(output) : JoinBinary(output);
  }
  CString status;
  status.Format(msg::kJoined, static_cast<long>(joined));
  SetDlgItemText(IDC_STATUS, status);
}

bool CJoinDlg::OutputIsListEntry(const char* output_path) {
  // Creating the output empties it: when it is also a source, that source
  // would be lost before it is read. Compared by identity, not spelling.
  // Standard output ("-" of tavvel-cli) is no file of that name; should it be
  // a source, that source's open fails as the source is held open.
  if (CFile::IsStandardOutputName(output_path)) return false;
  FileIdentity output;
  if (!GetFileIdentity(output_path, &output)) return false;
  const int count = m_listFiles.GetCount();
  for (int i = 0; i < count; ++i) {
    CString entry = m_listFiles.GetText(i);
    FileIdentity source;
    if (GetFileIdentity(entry, &source) && source == output) {
      ReportCannotOpen(entry, win_error::kSharingViolation);
      return true;
    }
  }
  return false;
}

void CJoinDlg::ReportProgress(int32_t done, int32_t total) {
  m_progress.SetPos(done);
  if (m_progressObserver) m_progressObserver(done, total, m_bytesWritten);
}

int32_t CJoinDlg::JoinBinary(const char* output_path) {
  const int32_t count = m_listFiles.GetCount();
  m_progress.SetRange32(0, count);
  m_progress.SetPos(0);
  m_bytesWritten = 0;

  CFile output;
  if (!output.Open(output_path, kOutputFlags)) return 0;
  for (int32_t i = 0; i < count; ++i) {
    CString path = m_listFiles.GetText(i);
    CFile source;
    if (!source.Open(path, kSourceFlags)) {
      output.Close();
      return i;
    }
    m_bytesWritten += output.CopyFrom(source);
    source.Close();
    ReportProgress(i + 1, count);
  }
  output.Close();
  return count;
}

int32_t CJoinDlg::JoinText(const char* output_path) {
  const int32_t count = m_listFiles.GetCount();
  m_progress.SetRange32(0, count);
  m_progress.SetPos(0);
  m_bytesWritten = 0;

  CFile output;
  CFileException error;
  if (!output.Open(output_path, kOutputFlags, &error)) {
    ReportCannotOpen(output_path, error.m_lOsError);
    return 0;
  }
  const bool replacing = m_nRepMode != 0 && !m_strRepFile.IsEmpty();
  const bool separating = m_nInsertSep != 0 && !m_strSepFile.IsEmpty();
  if (separating) LoadSeparator();
  if (replacing) LoadReplaceTable();

  // Room for what the output code makes of a text, in the buffer it is read into.
  const size_t reserve_factor = m_nCharCode == 1 ? 4 : m_nCharCode == 2 ? 2 : 1;
  for (int32_t i = 0; i < count; ++i) {
    CString path = m_listFiles.GetText(i);
    CFile source;
    if (!source.Open(path, kSourceFlags, &error)) {
      ReportCannotOpen(path, error.m_lOsError);
      output.Close();
      return i;
    }
    CString text;
    // A stage that cannot get the memory it needs ends the join naming the file.
    try {
      ReadText(source, text, reserve_factor);

      // Input code: JIS and EUC-JP become Shift_JIS; never longer. The text holds no NUL
      // (it ended at the first) and the converters make none of their own.
      char* buffer = text.GetBuffer(text.GetLength());
      text.ReleaseBuffer(static_cast<std::ptrdiff_t>(to_sjis(buffer, text.GetLength())));

      if (replacing) ApplyReplaceTable(text);
      if (separating && !m_strSeparator.IsEmpty() && i != count - 1) text += m_strSeparator;

      if (m_nCharCode == 1) {
        ConvertGrowing(text, sjis_to_jis_capacity(text.GetLength()), replacing, path,
                       [](char* t, size_t n) { return sjis_to_jis(t, n); });
      } else if (m_nCharCode == 2) {
        ConvertGrowing(text, sjis_to_euc_capacity(text.GetLength()), replacing, path,
                       [](char* t, size_t n) { return sjis_to_euc(t, n); });
      }

      if (m_nCRLF == 0) {
        text.Replace("\n", "\r\n");
      } else if (m_nCRLF == 1) {
        text.Replace("\n", "\r");
      }
    } catch (const std::bad_alloc&) {
      ReportTooLarge(path);
    } catch (const CMemoryException&) {
      ReportTooLarge(path);
    }

    output.Write(text.GetString(), text.GetLength());
    m_bytesWritten += text.GetLength();
    source.Close();
    ReportProgress(i + 1, count);
  }
  output.Close();
  return count;
}

void CJoinDlg::LoadSeparator() {
  m_strSeparator.Empty();
  if (m_strSepFile.IsEmpty()) return;
  CFile file;
  CFileException error;
  if (!file.Open(m_strSepFile, kSourceFlags, &error)) {
    CString text;
    text.Format(msg::kCannotOpenSeparator, static_cast<unsigned long>(error.m_lOsError));
    AfxMessageBox(text, win::kMbIconExclamation | win::kMbOk);
    return;
  }
  ReadText(file, m_strSeparator);
  file.Close();
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
