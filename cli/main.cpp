// tavvel-cli: the join of the main dialog, driven from a command line. The
// options become the dialog's controls, the sources are added as the Open
// dialog or a drop adds them, and the message boxes go to standard error.
#include <getopt.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "texts/messages.h"
#include "framework/file.h"
#include "framework/headless/headless.h"
#include "framework/os.h"

namespace {

const char kUsage[] =
    "usage: tavvel-cli [options] -o OUTPUT SOURCE...\n"
    "Joins the SOURCE files (folders: every file under them) into OUTPUT.\n"
    "  -o, --output FILE         output file; \"-\" writes to standard output\n"
    "  -b, --binary              binary mode (FileMode 1); default: text mode\n"
    "  -n, --newline crlf|cr|lf  output line end (CRLF 0|1|2), default crlf\n"
    "  -c, --code sjis|jis|euc   output code (CharCode 0|1|2), default sjis\n"
    "  -p, --plain TABLE         plain replacement table (RepMode 1, RepFile)\n"
    "  -r, --regex TABLE         regex replacement table (RepMode 2, RepFile)\n"
    "  -s, --separator FILE      insert the separator file (InsertSep 1, SepFile)\n"
    "      --sort asc|desc       sort the list before joining\n"
    "  -q, --quiet               no progress and no status line\n"
    "  -h, --help                usage; --version: the version\n"
    "Exit status: 0 every source joined without a message, 1 a message was shown\n"
    "or the join stopped early, 2 a usage error.\n";

constexpr int kExitUsage = 2;
// Names that the Open dialog returns together must fit its buffer.
constexpr size_t kOpenBufferBytes = 65535;
// The separator and table paths go into the dialog's edits, which hold this many bytes.
constexpr size_t kMaxEditBytes = 260;

struct Options {
  CString output;
  bool binary = false;
  int newline = 0;
  int code = 0;
  int rep_mode = 0;
  CString table;
  CString separator;
  int sort = 0;  // 0 none, 1 ascending, 2 descending
  bool quiet = false;
  std::vector<CString> sources;
};

[[noreturn]] void UsageError(const std::string& what) {
  std::fprintf(stderr, "tavvel-cli: %s\nTry 'tavvel-cli --help'.\n", what.c_str());
  std::exit(kExitUsage);
}

int Choice(const char* option, const char* value, std::initializer_list<const char*> names) {
  int index = 0;
  for (const char* name : names) {
    if (std::strcmp(value, name) == 0) return index;
    ++index;
  }
  std::string allowed;
  for (const char* name : names) allowed += std::string(allowed.empty() ? "" : ", ") + name;
  UsageError(std::string("invalid value '") + value + "' for " + option + " (expected " + allowed + ")");
}

void CheckPathLength(const char* option, const CString& path, size_t max_bytes) {
  if (path.GetLength() <= max_bytes) return;
  UsageError("path for " + std::string(option) + " longer than " + std::to_string(max_bytes) + " bytes: '" +
             std::string(path.View()) + "'");
}

// The option getopt_long just refused, as the user wrote it: a long option
// without its "=value", a short one alone even inside a group such as -bx.
std::string BadOption(char** argv, bool missing_value) {
  const std::string word = argv[optind - 1];
  const bool long_option = missing_value ? word.rfind("--", 0) == 0 : optopt == 0;
  if (long_option) return word.substr(0, word.find('='));
  return std::string("-") + static_cast<char>(optopt);
}

Options ParseOptions(int argc, char** argv) {
  enum { kSort = 256, kVersion };
  static const option kLong[] = {
      {"output", required_argument, nullptr, 'o'}, {"binary", no_argument, nullptr, 'b'},
      {"newline", required_argument, nullptr, 'n'}, {"code", required_argument, nullptr, 'c'},
      {"plain", required_argument, nullptr, 'p'},  {"regex", required_argument, nullptr, 'r'},
      {"separator", required_argument, nullptr, 's'}, {"sort", required_argument, nullptr, kSort},
      {"quiet", no_argument, nullptr, 'q'},        {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersion}, {nullptr, 0, nullptr, 0},
  };
  Options options;
  bool have_output = false;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":o:bn:c:p:r:s:qh", kLong, nullptr)) != -1;) {
    switch (c) {
      case 'o': options.output = optarg; have_output = true; break;
      case 'b': options.binary = true; break;
      case 'n': options.newline = Choice("--newline", optarg, {"crlf", "cr", "lf"}); break;
      case 'c': options.code = Choice("--code", optarg, {"sjis", "jis", "euc"}); break;
      case 'p':
      case 'r':
        if (options.rep_mode != 0) UsageError("only one replacement table (-p or -r) may be given");
        options.rep_mode = c == 'p' ? 1 : 2;
        options.table = optarg;
        if (options.table.IsEmpty()) UsageError(std::string("empty path for -") + static_cast<char>(c));
        break;
      case 's':
        options.separator = optarg;
        if (options.separator.IsEmpty()) UsageError("empty path for -s");
        break;
      case kSort: options.sort = 1 + Choice("--sort", optarg, {"asc", "desc"}); break;
      case 'q': options.quiet = true; break;
      case 'h': std::fputs(kUsage, stdout); std::exit(0);
      case kVersion: std::puts("tavvel-cli 1.0.0.3"); std::exit(0);
      case ':': UsageError("option '" + BadOption(argv, true) + "' needs a value");
      default: UsageError("unknown option '" + BadOption(argv, false) + "'");
    }
  }
  if (!have_output || options.output.IsEmpty()) UsageError("no output file given (-o FILE)");
  // The Save dialog and the path edits cannot take longer paths; cutting
  // one would name another file, so it is refused whole.
  if (options.output != "-") CheckPathLength("-o", options.output, kMaxPathBytes);
  CheckPathLength(options.rep_mode == 1 ? "-p" : "-r", options.table, kMaxEditBytes);
  CheckPathLength("-s", options.separator, kMaxEditBytes);
  if (optind >= argc) UsageError("no source files given");
  for (int i = optind; i < argc; ++i) options.sources.emplace_back(argv[i]);
  return options;
}

// One line per message box: its lines joined by spaces.
void PrintMessage(const CString& text) {
  std::string line(text.View());
  for (char& c : line) {
    if (c == '\n') c = ' ';
  }
  std::fprintf(stderr, "tavvel-cli: %s\n", line.c_str());
}

class ProgressLine {
 public:
  explicit ProgressLine(bool shown) : shown_(shown) {}
  ~ProgressLine() { Finish(); }
  void Update(int32_t done, int32_t total, uint64_t bytes) {
    if (!shown_) return;
    constexpr int kWidth = 30;
    int filled = total > 0 ? static_cast<int>(int64_t{kWidth} * done / total) : kWidth;
    std::fprintf(stderr, "\r[%.*s%*s] %d/%d files, %.1f MiB", filled, "##############################",
                 kWidth - filled, "", done, total, static_cast<double>(bytes) / (1024.0 * 1024.0));
    std::fflush(stderr);
    drawn_ = true;
  }
  void Finish() {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
  }

 private:
  bool shown_;
  bool drawn_ = false;
};

// Adds the sources in order: folders as a drop, other names as chosen in
// the Open dialog (as many at once as its buffer takes).
void AddSources(headless::HeadlessHost& host, headless::HeadlessWindow& window, const std::vector<CString>& sources) {
  std::vector<CString> batch;
  size_t batch_bytes = 1;
  auto add_batch = [&] {
    if (batch.empty()) return;
    host.AnswerFileDialog(batch);
    window.Click(IDC_ADD);
    batch.clear();
    batch_bytes = 1;
  };
  for (const CString& source : sources) {
    uint32_t attributes = GetFileAttributesOf(source);
    const bool folder = attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory);
    // A name too long for the list is dropped too: a drop refuses it by name,
    // where the Open dialog would end without a word if it overflowed its buffer.
    if (folder || source.GetLength() > kMaxPathBytes) {
      add_batch();
      window.Drop({source});
      continue;
    }
    if (batch_bytes + source.GetLength() + 1 > kOpenBufferBytes) add_batch();
    batch.push_back(source);
    batch_bytes += source.GetLength() + 1;
  }
  add_batch();
}

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
#if defined(SIGPIPE)
  // A reader that goes away (tavvel-cli -o - | head) is a write error that
  // the join reports, not a signal that kills the process.
  std::signal(SIGPIPE, SIG_IGN);
#endif

  headless::HeadlessHost host;
  SetHost(&host);
  bool message_shown = false;
  ProgressLine progress(!options.quiet && isatty(STDERR_FILENO));
  host.OnMessage([&](const headless::MessageRecord& record) {
    progress.Finish();
    message_shown = true;
    PrintMessage(record.text);
  });
  if (options.output == "-") CFile::SetStandardOutputName("-");

  bool joined_all = false;
  CJoinDlg dialog;
  dialog.SetProgressObserver([&](int32_t done, int32_t total, uint64_t bytes) { progress.Update(done, total, bytes); });
  host.OnModal(IDD_TAVVEL, [&](headless::HeadlessWindow& window) {
    window.SelectComboItem(IDC_CRLF, options.newline);
    window.SelectComboItem(IDC_CHAR_CODE, options.code);
    window.SelectComboItem(IDC_REP_MODE, options.rep_mode);
    if (options.rep_mode != 0) window.TypeText(IDC_REP_FILE, options.table);
    window.SelectComboItem(IDC_INSERT_SEP, options.separator.IsEmpty() ? 0 : 1);
    if (!options.separator.IsEmpty()) window.TypeText(IDC_SEP_FILE, options.separator);
    window.SelectComboItem(IDC_FILE_MODE, options.binary ? 1 : 0);

    AddSources(host, window, options.sources);
    if (options.sort != 0) {
      window.ChooseMenu(options.sort == 1 ? ID_LIST_SORT_ASCENDING : ID_LIST_SORT_DESCENDING);
    }
    const size_t entries = window.ListItems(IDC_FILE_LIST).size();
    host.AnswerFileDialog({options.output});
    window.Click(IDC_JOIN);
    progress.Finish();
    joined_all = entries != 0 && window.Item(IDC_PROGRESS).position == static_cast<int>(entries);
    // A join that ended on an error leaves the banner, which says nothing here.
    CString status = window.GetItemText(IDC_STATUS);
    if (!options.quiet && status != msg::kBanner) PrintMessage(status);
    window.PressEscape();
  });
  dialog.DoModal();
  return joined_all && !message_shown ? 0 : 1;
}
