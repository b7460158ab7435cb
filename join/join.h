// The join core: the options of a join, the join of a list of sources into
// one output (byte for byte, or through the text pipeline), the separator,
// and the line-end stages. No user interface: everything the user should
// hear of is handed to a JoinReporter, and each front end words it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/cstring.h"
#include "framework/file.h"
#include "reptable/reptable.h"
#include "unicode/unicode.h"

// --- options ------------------------------------------------------------------
// Each option's values are its combo's indexes, which are also its ini values.
// kUnselected stands for a combo without a selection (an index the combo does
// not have, such as -1 or 7 from a hand-edited ini). Every rule tests only for
// 0 or not 0, so kUnselected means: binary mode; line ends left as LF; no
// output conversion; the table loaded but applied in neither mode; separator on.
enum class FileMode : int32_t { kText = 0, kBinary = 1, kUnselected = -1 };
enum class LineEnd : int32_t { kCrLf = 0, kCr = 1, kLf = 2, kUnselected = -1 };
enum class OutputCode : int32_t {
  kShiftJis = 0,
  kJis = 1,
  kEucJp = 2,
  kUtf8 = 3,
  kUtf8Bom = 4,
  kUtf16LeBom = 5,
  kUnselected = -1
};
enum class SeparatorMode : int32_t { kOff = 0, kOn = 1, kUnselected = -1 };
// ReplaceMode (kNone, kPlain, kRegex, kUnselected) comes from reptable/reptable.h.

// The code every source is taken to be in: kAuto classes each source (Unicode first, then the
// Japanese code detection); the others force that code on every source in text mode.
enum class InputCode : int32_t { kAuto, kShiftJis, kEucJp, kJis, kUtf8, kUtf16Le, kUtf16Be };

struct JoinOptions {
  FileMode file_mode = FileMode::kText;
  LineEnd line_end = LineEnd::kCrLf;
  OutputCode output_code = OutputCode::kShiftJis;
  ReplaceMode replace_mode = ReplaceMode::kNone;
  SeparatorMode separator = SeparatorMode::kOff;
  CString table_path;
  CString separator_path;
  InputCode input_code = InputCode::kAuto;
  // What a character code page 932 lacks becomes in a Unicode source, separator or table.
  Unmappable unmappable = UNMAPPABLE_GETA;

  bool TextMode() const { return file_mode == FileMode::kText; }
  // The table is loaded and applied when a mode is chosen and a path given.
  bool Replacing() const { return replace_mode != ReplaceMode::kNone && !table_path.IsEmpty(); }
  // The separator is loaded when it is on and a path given.
  bool Separating() const { return separator != SeparatorMode::kOff && !separator_path.IsEmpty(); }
};

// The combo index (and ini value) of each option and back: the one place
// where indexes become option values. An index out of an option's range
// becomes kUnselected, and kUnselected becomes -1.
struct OptionIndexes {
  int32_t file_mode = 0;
  int32_t line_end = 0;
  int32_t output_code = 0;
  int32_t replace_mode = 0;
  int32_t separator = 0;
};
JoinOptions OptionsFromIndexes(const OptionIndexes& indexes, const CString& table_path,
                               const CString& separator_path);
OptionIndexes IndexesOfOptions(const JoinOptions& options);

// --- reports ------------------------------------------------------------------

// A stage that could not do its work; the join goes on without it.
struct JoinNotice {
  enum Kind {
    kNoSeparator,    // the separator file cannot be opened (error): no separator this join
    kNoTable,        // the table file cannot be opened (error): no replacement this join
    kCommandFailed,  // a regex command failed (message, command): rest of the table skipped for this file
  };
  Kind kind;
  uint32_t error = 0;
  CString message;
  CString command;
};

// Receives what a join has to tell, on the joining thread, in the order it
// happens. A reporter serves one join at a time.
class JoinReporter {
 public:
  virtual ~JoinReporter() = default;
  // A file could not be opened (text mode only: binary mode stops silently):
  // the output (nothing is joined) or a source (the join ends before it).
  virtual void CannotOpen(const CString& path, uint32_t error) = 0;
  virtual void Notice(const JoinNotice& notice) = 0;
  // The join stopped on a failed read or write of an open file.
  virtual void FileFailed(const CFileException& failure) = 0;
  // The join stopped because a file (a source, the separator or the table)
  // does not fit in memory.
  virtual void TooLarge(const CString& path) = 0;
  // Characters of a file that the join replaced: count of them and the 1-based line of the
  // first. On input (a Unicode source, separator or table) what code page 932 lacks; on
  // output what the output code cannot hold (U+FFFD in Unicode, 〓 in EUC-JP and JIS). A
  // source's report comes after it is written; the separator's and table's when loaded.
  virtual void Replaced(const CString& path, size_t count, size_t first_line) = 0;
  // After each source written completely: sources done, their total, and the
  // bytes written so far.
  virtual void Progress(int32_t done, int32_t total, uint64_t bytes) = 0;
};

struct JoinResult {
  int32_t joined = 0;    // sources written completely, in list order
  bool stopped = false;  // ended by FileFailed or TooLarge rather than by its rules
};

// --- the join -----------------------------------------------------------------

// Joins sources, in order, into output by options: JoinText in text mode,
// JoinBinary otherwise. An output that names the same file as one of the
// sources is refused first, before it is emptied: CannotOpen(that source,
// 32) and nothing is joined. The output "-" means standard output once
// CFile::SetStandardOutputName("-") has been called.
JoinResult JoinSources(const std::vector<CString>& sources, const CString& output, const JoinOptions& options,
                       JoinReporter& report);

// Copies every source byte for byte (no text option applies). The output is
// created or emptied; if that fails, nothing is reported and 0 is joined. A
// source that cannot be opened ends the join silently, keeping what was
// written. Progress after each source.
JoinResult JoinBinary(const std::vector<CString>& sources, const CString& output, JoinReporter& report);

// Joins through the text pipeline, per source in this order: read whole;
// a Unicode text (classify_text, or options.input_code) decoded to code page
// 932, any other text up to its first NUL; line ends to LF; JIS or EUC-JP to
// Shift_JIS (not for a decoded text); the replacement table; the separator
// unless it is the last source; the output code EUC-JP or JIS; the output
// line end; the output code UTF-8 or UTF-16LE, with its byte-order mark
// before the first source only; write. The output is created first, then the
// separator and the table are loaded once for the whole join (their failures
// are notices). An output or source that cannot be opened is reported
// through CannotOpen and ends the join, keeping what was written.
JoinResult JoinText(const std::vector<CString>& sources, const CString& output, const JoinOptions& options,
                    JoinReporter& report);

// The separator text: the file's bytes up to the first NUL with line ends
// brought to LF, not converted between codes, except that a Unicode text is
// decoded to code page 932 first (its replaced characters are reported). Empty, with a kNoSeparator
// notice, when the file cannot be opened. Raises CFileException when a read
// fails and std::bad_alloc when it does not fit in memory.
CString LoadSeparator(const char* path, JoinReporter& report, Unmappable unmappable = UNMAPPABLE_GETA);

// --- text stages on byte buffers ------------------------------------------------

// Rewrites a NUL-terminated text in place so that every CR LF pair and every
// lone CR becomes one LF, and re-terminates it. The text never grows.
void normalize_newlines(char* text);
// The same for the first n bytes of text (text[n] must be writable); the
// first NUL still ends the text. Returns the new length.
size_t normalize_newlines(char* text, size_t n);
// True when the n bytes hold a CR or a NUL: without one, normalize_newlines
// leaves them as they are.
bool has_cr_or_nul(const char* text, size_t n);
