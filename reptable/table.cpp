// Replacement tables: loading the file and applying plain pairs.
#include <new>
#include <string>
#include <string_view>

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

// The file's bytes from where it stands to its end.
std::string ReadWhole(CFile& file) {
  constexpr size_t kChunk = 64 * 1024;
  std::string bytes;
  for (;;) {
    const size_t held = bytes.size();
    bytes.resize(held + kChunk);
    const size_t got = file.Read(bytes.data() + held, kChunk);
    bytes.resize(held + got);
    if (got == 0) return bytes;
  }
}

// Calls each(line) for every line of text read as a text file: 0x1A ends the
// text, a line ends at LF with a CR before it dropped, a last line without LF
// is still a line, NUL bytes stay in their line.
template <class Each>
void ForEachTextLine(std::string_view text, Each each) {
  text = text.substr(0, text.find('\x1A'));
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    if (newline != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    each(CString(line));
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
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

bool LoadReplaceTable(const char* path, ReplaceMode mode, ReplaceTable* table, uint32_t* error,
                      Unmappable unmappable, ConvertReport* replaced) {
  *table = ReplaceTable{mode, {}, {}};
  if (replaced != nullptr) *replaced = ConvertReport{0, 0, 0};
  CFile file;
  CFileException failure;
  if (!file.Open(path, CFile::modeRead | CFile::typeBinary | CFile::shareDenyWrite, &failure)) {
    *error = failure.m_lOsError;
    return false;
  }
  if (mode != ReplaceMode::kPlain && mode != ReplaceMode::kRegex) return true;
  std::string text;
  try {
    text = ReadWhole(file);
    const TextClass text_class = classify_text(text.data(), text.size());
    if (text_class.code != UNICODE_NONE) {
      const size_t capacity = unicode_to_cp932_capacity(text.size());
      if (capacity == 0) throw std::bad_alloc();
      std::string decoded(capacity, '\0');
      const ConvertReport report =
          unicode_to_cp932(text_class.code, text.data(), text.size(), decoded.data(), unmappable);
      decoded.resize(report.length);
      text.swap(decoded);
      if (replaced != nullptr) *replaced = report;
    }
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  }
  file.Close();
  ForEachTextLine(text, [&](const CString& line) {
    if (!line.IsEmpty() && line.GetAt(0) == '#') return;
    if (mode == ReplaceMode::kRegex) {
      table->search.push_back(line);
      return;
    }
    CString search, replacement;
    SplitPlainLine(line, &search, &replacement);
    table->search.push_back(search);
    table->replace.push_back(replacement);
  });
  return true;
}

bool ApplyReplaceTable(const ReplaceTable& table, CString& text, CommandFailure* failure) {
  if (table.mode == ReplaceMode::kPlain) ApplyPlainTable(table, text);
  if (table.mode == ReplaceMode::kRegex) return reptable_internal::ApplyRegexTable(table, text, failure);
  return true;
}
