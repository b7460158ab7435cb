// Replacement tables: loading the file and applying plain pairs.
#include <string>

#include "framework/file.h"
#include "reptable/reptable.h"

namespace {

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
  CString* outputs[2] = {search, replacement};
  for (int i = 0; i < 2; ++i) {
    CString& out = *outputs[i];
    out = CString(fields[i]);
    unescape_field(out.GetBuffer(out.GetLength()));
    out.ReleaseBuffer();
  }
}

void ApplyPlainTable(const ReplaceTable& table, CString& text) {
  std::string replaced;
  for (size_t i = 0; i < table.search.size(); ++i) {
    const CString& search = table.search[i];
    if (search.IsEmpty()) continue;
    if (replace_all_sjis(text.View(), search.View(), table.replace[i].View(), &replaced) != 0) {
      text = CString(replaced);
    }
  }
}

}  // namespace

namespace reptable_internal {
// Regex mode of ApplyReplaceTable (regex_table.cpp).
bool ApplyRegexTable(const ReplaceTable& table, CString& text, CommandFailure* failure);
}  // namespace reptable_internal

bool LoadReplaceTable(const char* path, ReplaceMode mode, ReplaceTable* table, uint32_t* error) {
  *table = ReplaceTable{mode, {}, {}};
  CStdioFile file;
  CFileException failure;
  if (!file.Open(path, CFile::modeRead | CFile::typeText | CFile::shareDenyWrite, &failure)) {
    *error = failure.m_lOsError;
    return false;
  }
  if (mode != ReplaceMode::kPlain && mode != ReplaceMode::kRegex) return true;
  CString line;
  while (file.ReadString(line)) {
    if (!line.IsEmpty() && line.GetAt(0) == '#') continue;
    if (mode == ReplaceMode::kRegex) {
      table->search.push_back(line);
      continue;
    }
    CString search, replacement;
    SplitPlainLine(line, &search, &replacement);
    table->search.push_back(search);
    table->replace.push_back(replacement);
  }
  file.Close();
  return true;
}

bool ApplyReplaceTable(const ReplaceTable& table, CString& text, CommandFailure* failure) {
  if (table.mode == ReplaceMode::kPlain) ApplyPlainTable(table, text);
  if (table.mode == ReplaceMode::kRegex) return reptable_internal::ApplyRegexTable(table, text, failure);
  return true;
}
