// Replacement tables: loading a table file, the escapes of plain fields, and
// applying a table to a Shift_JIS text (plain pairs or regex commands).
// Nothing here shows a message; failures come back to the caller.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/cstring.h"
#include "unicode/unicode.h"

// How a table is read and applied; the values are the combo's indexes.
// kUnselected (no combo selection) loads the table file but neither reads
// lines from it nor changes a text.
enum class ReplaceMode : int32_t { kNone = 0, kPlain = 1, kRegex = 2, kUnselected = -1 };

// A loaded table. Plain: search[i] is replaced by replace[i]. Regex: search
// holds one command per line and replace stays empty.
struct ReplaceTable {
  ReplaceMode mode = ReplaceMode::kNone;
  std::vector<CString> search;
  std::vector<CString> replace;
};

// Reads the table file at path in text mode (a line ends at LF, a CR before
// it is dropped, 0x1A ends the file). A Unicode file (classify_text) is first
// decoded to code page 932, its unmappable characters written as `unmappable`
// says and counted in *replaced when it is given (left zero otherwise). Lines starting with '#' are comments.
// Plain: each line splits at TAB runs (leading TABs skipped, fields after the
// second ignored, missing fields empty), then each field is unescaped.
// Regex: each line is kept whole. Other modes read nothing.
// Returns false with the system error code in *error when the file cannot be
// opened; *table is then empty. Raises CFileException when a read fails and
// std::bad_alloc or CMemoryException when the table does not fit in memory.
bool LoadReplaceTable(const char* path, ReplaceMode mode, ReplaceTable* table, uint32_t* error,
                      Unmappable unmappable = UNMAPPABLE_GETA, ConvertReport* replaced = nullptr);

// Why a regex command stopped the table for one text: the engine's message
// (or "do not start 's' or 'tr'") and the command line.
struct CommandFailure {
  CString message;
  CString command;
};

// Applies table to text in place, rule after rule, each on the result of the
// ones before. Plain: every occurrence, at character boundaries, left to
// right; empty search strings are skipped. Regex: commands of one byte or
// less are skipped, 's...' runs as a substitution and 'tr...' as a
// transliteration; the first command that fails fills *failure, keeps what
// the commands before it did and ends the table for this text (returns
// false). Returns true otherwise. The engine's handles live only inside the
// call. Raises std::bad_alloc when a result does not fit in memory.
bool ApplyReplaceTable(const ReplaceTable& table, CString& text, CommandFailure* failure);

// Rewrites a NUL-terminated table field in place, resolving \n \t \\ \# and
// \xHH; other escapes are dropped, and a \x without two hex digits ends the
// field. A backslash that is the trail byte of a double-byte character is an
// ordinary byte. The result is never longer than the field.
void unescape_field(char* field);

// Replaces every occurrence of search in source by replacement, left to
// right, matching only at Shift_JIS character boundaries; replaced text is
// not searched again. Returns the number of replacements; when it is not 0,
// *replaced holds the new text.
size_t replace_all_sjis(std::string_view source, std::string_view search, std::string_view replacement,
                        std::string* replaced);

// Shift_JIS (code page 932) lead bytes: 0x81-0x9F and 0xE0-0xFC.
inline bool is_sjis_lead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}
