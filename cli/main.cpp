// tavvel-cli: the join from a command line. The options become JoinOptions,
// the sources become the list the dialog would hold, the join core runs, and
// what it reports goes to standard error, one line per message.
#include <getopt.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "filelist/filelist.h"
#include "framework/file.h"
#include "framework/os.h"
#include "join/join.h"
#include "tavvel_version.h"
#include "texts/messages.h"

namespace {

#if defined(SIGBUS)
// Sources are read through mappings of their files. If another program cuts a
// source short during the join, reading its lost pages raises SIGBUS: say so
// and stop, as for any other read failure, instead of dying without a word.
extern "C" void StopOnSourceCutShort(int) {
  static const char kPrefix[] = "tavvel-cli: ";
  const auto say = [](const char* text) { return ::write(STDERR_FILENO, text, std::strlen(text)) >= 0; };
  if (say(kPrefix) && say(msg::kSourceCutShort)) say("\n");
  ::_exit(1);
}
#endif

const char kUsage[] =
    "usage: tavvel-cli [options] -o OUTPUT SOURCE...\n"
    "       tavvel-cli --guess SOURCE...\n"
    "Joins the SOURCE files (folders: every file under them) into OUTPUT.\n"
    "  -o, --output FILE         output file; \"-\" writes to standard output\n"
    "  -b, --binary              binary mode (FileMode 1); default: text mode\n"
    "  -n, --newline crlf|cr|lf  output line end (CRLF 0|1|2), default crlf\n"
    "  -c, --code CODE           output code: sjis|jis|euc|utf8|utf8-bom|utf16le\n"
    "                            (CharCode 0 to 5), default sjis\n"
    "      --input-code CODE     take every source as auto|sjis|euc|jis|utf8|utf16le|\n"
    "                            utf16be, default auto (Unicode first, then detection)\n"
    "      --unmappable geta|ncr what a character Shift_JIS lacks becomes on input:\n"
    "                            the geta mark (default) or &#xHHHH;\n"
    "      --guess               print each SOURCE's code and line ends; join nothing\n"
    "  -p, --plain TABLE         plain replacement table (RepMode 1, RepFile)\n"
    "  -r, --regex TABLE         regex replacement table (RepMode 2, RepFile)\n"
    "  -s, --separator FILE      insert the separator file (InsertSep 1, SepFile)\n"
    "      --sort asc|desc       sort the list before joining\n"
    "  -q, --quiet               no progress and no status line\n"
    "  -h, --help                usage; --version: the version\n"
    "Exit status: 0 every source joined without a message, 1 a message was shown\n"
    "or the join stopped early, 2 a usage error.\n";

constexpr int kExitUsage = 2;
// The separator and table paths go into the dialog's edits, which hold this many bytes.
constexpr size_t kMaxEditBytes = 260;

enum class Sort { kNone, kAscending, kDescending };

struct Options {
  CString output;
  JoinOptions join;
  Sort sort = Sort::kNone;
  bool quiet = false;
  bool guess = false;
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
  enum { kSort = 256, kVersion, kInputCode, kUnmappable, kGuess };
  static const option kLong[] = {
      {"output", required_argument, nullptr, 'o'},
      {"binary", no_argument, nullptr, 'b'},
      {"newline", required_argument, nullptr, 'n'},
      {"code", required_argument, nullptr, 'c'},
      {"plain", required_argument, nullptr, 'p'},
      {"regex", required_argument, nullptr, 'r'},
      {"separator", required_argument, nullptr, 's'},
      {"sort", required_argument, nullptr, kSort},
      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersion},
      {"input-code", required_argument, nullptr, kInputCode},
      {"unmappable", required_argument, nullptr, kUnmappable},
      {"guess", no_argument, nullptr, kGuess},
      {nullptr, 0, nullptr, 0},
  };
  Options options;
  JoinOptions& join = options.join;
  bool have_output = false;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":o:bn:c:p:r:s:qh", kLong, nullptr)) != -1;) {
    switch (c) {
      case 'o':
        options.output = optarg;
        have_output = true;
        break;
      case 'b':
        join.file_mode = FileMode::kBinary;
        break;
      case 'n':
        join.line_end = static_cast<LineEnd>(Choice("--newline", optarg, {"crlf", "cr", "lf"}));
        break;
      case 'c':
        join.output_code = static_cast<OutputCode>(
            Choice("--code", optarg, {"sjis", "jis", "euc", "utf8", "utf8-bom", "utf16le"}));
        break;
      case kInputCode:
        join.input_code = static_cast<InputCode>(
            Choice("--input-code", optarg, {"auto", "sjis", "euc", "jis", "utf8", "utf16le", "utf16be"}));
        break;
      case kUnmappable:
        join.unmappable = static_cast<Unmappable>(Choice("--unmappable", optarg, {"geta", "ncr"}));
        break;
      case kGuess:
        options.guess = true;
        break;
      case 'p':
      case 'r':
        if (join.replace_mode != ReplaceMode::kNone)
          UsageError("only one replacement table (-p or -r) may be given");
        join.replace_mode = c == 'p' ? ReplaceMode::kPlain : ReplaceMode::kRegex;
        join.table_path = optarg;
        if (join.table_path.IsEmpty()) UsageError(std::string("empty path for -") + static_cast<char>(c));
        break;
      case 's':
        join.separator = SeparatorMode::kOn;
        join.separator_path = optarg;
        if (join.separator_path.IsEmpty()) UsageError("empty path for -s");
        break;
      case kSort:
        options.sort = Choice("--sort", optarg, {"asc", "desc"}) == 0 ? Sort::kAscending : Sort::kDescending;
        break;
      case 'q':
        options.quiet = true;
        break;
      case 'h':
        std::fputs(kUsage, stdout);
        std::exit(0);
      case kVersion:
        std::puts("tavvel-cli " TAVVEL_VERSION);
        std::exit(0);
      case ':':
        UsageError("option '" + BadOption(argv, true) + "' needs a value");
      default:
        UsageError("unknown option '" + BadOption(argv, false) + "'");
    }
  }
  if (options.guess) {
    if (optind >= argc) UsageError("no source files given");
    for (int i = optind; i < argc; ++i) options.sources.emplace_back(argv[i]);
    return options;
  }
  if (!have_output || options.output.IsEmpty()) UsageError("no output file given (-o FILE)");
  // The dialog's Save dialog and path edits cannot take longer paths; cutting
  // one would name another file, so it is refused whole.
  if (options.output != "-") CheckPathLength("-o", options.output, kMaxPathBytes);
  CheckPathLength(join.replace_mode == ReplaceMode::kPlain ? "-p" : "-r", join.table_path, kMaxEditBytes);
  CheckPathLength("-s", join.separator_path, kMaxEditBytes);
  if (optind >= argc) UsageError("no source files given");
  for (int i = optind; i < argc; ++i) options.sources.emplace_back(argv[i]);
  return options;
}

// The messages of a run, one line each on standard error, and the progress
// line on a terminal.
class Console : public JoinReporter {
 public:
  explicit Console(bool show_progress) : show_progress_(show_progress) {}
  ~Console() override { FinishProgress(); }

  // One line per message: its lines joined by spaces.
  void Print(const CString& text) {
    FinishProgress();
    std::string line(text.View());
    for (char& c : line) {
      if (c == '\n') c = ' ';
    }
    std::fprintf(stderr, "tavvel-cli: %s\n", line.c_str());
  }
  void Message(const CString& text) {
    message_shown_ = true;
    Print(text);
  }
  bool MessageShown() const { return message_shown_; }

  void CannotOpen(const CString& path, uint32_t error) override { Message(msg::CannotOpenText(path, error)); }
  void Notice(const JoinNotice& notice) override { Message(msg::NoticeText(notice)); }
  void FileFailed(const CFileException& failure) override { Message(msg::FileFailedText(failure)); }
  void TooLarge(const CString& path) override { Message(msg::TooLargeText(path)); }
  void Replaced(const CString& path, size_t count, size_t first_line) override {
    Message(msg::ReplacedText(path, count, first_line));
  }
  void Progress(int32_t done, int32_t total, uint64_t bytes) override {
    if (!show_progress_) return;
    constexpr int kWidth = 30;
    int filled = total > 0 ? static_cast<int>(int64_t{kWidth} * done / total) : kWidth;
    std::fprintf(stderr, "\r[%.*s%*s] %d/%d files, %.1f MiB", filled, "##############################",
                 kWidth - filled, "", done, total, static_cast<double>(bytes) / (1024.0 * 1024.0));
    std::fflush(stderr);
    drawn_ = true;
  }
  void FinishProgress() {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
  }

 private:
  bool show_progress_;
  bool drawn_ = false;
  bool message_shown_ = false;
};

// The source list the dialog would hold: folders expanded into their files,
// every entry in its list form; a path too long for the list is refused by name.
std::vector<CString> ListSources(const std::vector<CString>& sources, Console& console) {
  std::vector<CString> list;
  auto add = [&](const CString& path) {
    CString entry;
    if (ListEntryForm(path, &entry)) {
      list.push_back(entry);
    } else {
      console.Message(msg::PathTooLongText(path));
    }
  };
  auto refuse = [&](const CString& folder) { console.Message(msg::PathTooLongText(folder)); };
  for (const CString& source : sources) {
    const uint32_t attributes =
        source.GetLength() > kMaxPathBytes ? kInvalidFileAttributes : GetFileAttributesOf(source);
    if (attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory)) {
      WalkFolder("*.*", source, add, refuse);
    } else {
      add(source);  // a missing file is named when the join opens it
    }
  }
  return list;
}

// Prints "PATH: CODE (LINE ENDS)" for each source; a source that cannot be
// read is reported instead. Returns the exit status.
int GuessSources(const std::vector<CString>& sources, Console& console) {
  for (const CString& path : sources) {
    CFile file;
    CFileException error;
    std::string bytes;
    try {
      if (!file.Open(path, CFile::modeRead | CFile::typeBinary | CFile::shareDenyWrite, &error)) {
        console.Message(msg::CannotOpenText(path, error.m_lOsError));
        continue;
      }
      char chunk[64 * 1024];
      for (size_t got; (got = file.Read(chunk, sizeof chunk)) != 0;) bytes.append(chunk, got);
    } catch (const CFileException& failure) {
      console.Message(msg::FileFailedText(failure));
      continue;
    } catch (const std::bad_alloc&) {
      console.Message(msg::TooLargeText(path));
      continue;
    }
    const TextGuess guess = guess_text(bytes.data(), bytes.size());
    std::printf("%s: %s (%s)\n", path.GetString(), guessed_code_name(guess.code),
                line_ends_name(guess.line_ends));
  }
  return console.MessageShown() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
#if defined(SIGPIPE)
  // A reader that goes away (tavvel-cli -o - | head) is a write error that
  // the join reports, not a signal that kills the process.
  std::signal(SIGPIPE, SIG_IGN);
#endif
#if defined(SIGBUS)
  std::signal(SIGBUS, StopOnSourceCutShort);
#endif
  msg::InstallFrameworkTexts();
  if (options.output == "-") CFile::SetStandardOutputName("-");

  Console console(!options.quiet && isatty(STDERR_FILENO));
  if (options.guess) return GuessSources(options.sources, console);
  std::vector<CString> list = ListSources(options.sources, console);
  if (options.sort != Sort::kNone) {
    SortPaths(list, options.sort == Sort::kAscending ? SortOrder::kAscending : SortOrder::kDescending);
  }
  if (list.empty()) {
    console.Message(msg::kListEmpty);
    return 1;
  }
  const JoinResult result = JoinSources(list, options.output, options.join, console);
  console.FinishProgress();
  // A join that ended on a failure has no count to tell.
  if (!options.quiet && !result.stopped) console.Print(msg::JoinedText(result.joined));
  const bool joined_all = result.joined == static_cast<int32_t>(list.size());
  return joined_all && !console.MessageShown() ? 0 : 1;
}
