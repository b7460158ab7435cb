// Private-profile (ini) files in the Windows format, read and written by hand:
// "[section]" lines, "key=value" lines, CR LF line ends.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "framework/file.h"
#include "framework/os.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Rewrites of any profile file go one at a time.
std::mutex g_writeMutex;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1A';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// "[name]" after optional blanks; the name ends at the first ']'.
bool SectionOf(std::string_view line, std::string_view* name) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return false;
  size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  *name = Trim(line.substr(1, close - 1));
  return true;
}

// "key=value": the key ends at the first '='.
bool EntryOf(std::string_view line, std::string_view* key, std::string_view* value) {
  std::string_view dummy;
  if (SectionOf(line, &dummy)) return false;
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  *key = Trim(line.substr(0, equals));
  *value = Trim(line.substr(equals + 1));
  return true;
}

// A profile file as lines without their line ends.
struct Profile {
  bool bom = false;
  std::vector<std::string> lines;

  // Index of the first line of the named section, or -1.
  ptrdiff_t FindSection(std::string_view wanted) const {
    std::string_view name;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (SectionOf(lines[i], &name) && SameName(name, wanted)) return static_cast<ptrdiff_t>(i);
    }
    return -1;
  }

  // One past the last line of the section whose header is at header.
  size_t SectionEnd(size_t header) const {
    std::string_view name;
    size_t i = header + 1;
    while (i < lines.size() && !SectionOf(lines[i], &name)) ++i;
    return i;
  }

  // Index of the key's line in the section at header, or -1.
  ptrdiff_t FindKey(size_t header, std::string_view wanted, std::string_view* value) const {
    size_t end = SectionEnd(header);
    std::string_view key;
    for (size_t i = header + 1; i < end; ++i) {
      if (EntryOf(lines[i], &key, value) && SameName(key, wanted)) return static_cast<ptrdiff_t>(i);
    }
    return -1;
  }
};

void ParseProfile(std::string_view content, Profile* profile) {
  if (content.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    profile->bom = true;
    content.remove_prefix(kUtf8Bom.size());
  }
  while (!content.empty()) {
    size_t newline = content.find('\n');
    std::string_view line = content.substr(0, newline);
    content.remove_prefix(newline == std::string_view::npos ? content.size() : newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    profile->lines.emplace_back(line);
  }
}

// Reads the whole file; false (last error set) when it cannot be read.
bool ReadWholeFile(const char* path, std::string* content) {
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetLastErrorCode(WinErrorFromErrno(errno, path));
    return false;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    SetLastErrorCode(WinErrorFromErrno(errno));
    ::close(fd);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    SetLastErrorCode(win_error::kAccessDenied);
    ::close(fd);
    return false;
  }
  content->clear();
  char chunk[16384];
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      SetLastErrorCode(WinErrorFromErrno(errno));
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    content->append(chunk, static_cast<size_t>(got));
  }
  ::close(fd);
  return true;
}

bool LookUp(const char* section, const char* key, const char* file, std::string* value) {
  if (section == nullptr || key == nullptr || file == nullptr || file[0] == '\0') {
    SetLastErrorCode(win_error::kInvalidParameter);
    return false;
  }
  std::string content;
  if (!ReadWholeFile(file, &content)) return false;
  Profile profile;
  ParseProfile(content, &profile);
  ptrdiff_t header = profile.FindSection(Trim(section));
  std::string_view found;
  if (header < 0 || profile.FindKey(static_cast<size_t>(header), Trim(key), &found) < 0) {
    SetLastErrorCode(win_error::kFileNotFound);
    return false;
  }
  if (found.size() >= 2 && found.front() == found.back() && (found.front() == '"' || found.front() == '\'')) {
    found = found.substr(1, found.size() - 2);
  }
  value->assign(found);
  return true;
}

// Writes content to a new file beside target and renames it over target, so
// that the target is either the old file or the new one, never half of one.
bool ReplaceFile(const std::string& target, const std::string& content) {
  static std::atomic<unsigned> counter{0};
  struct stat old_info;
  bool had_file = ::stat(target.c_str(), &old_info) == 0;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = target + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    SetLastErrorCode(WinErrorFromErrno(errno, temporary.c_str()));
    return false;
  }
  uint32_t failure = win_error::kSuccess;
  if (had_file) {
    // The rewritten file keeps the old one's permissions and, where allowed, its owner.
    ::fchmod(fd, old_info.st_mode & 07777);
    if (::fchown(fd, old_info.st_uid, old_info.st_gid) != 0) {
      // Only a privileged process may give a file away; the file stays ours.
    }
  }
  size_t done = 0;
  while (done < content.size() && failure == win_error::kSuccess) {
    ssize_t put = ::write(fd, content.data() + done, content.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      failure = put < 0 ? WinErrorFromErrno(errno) : win_error::kDiskFull;
    } else {
      done += static_cast<size_t>(put);
    }
  }
  if (failure == win_error::kSuccess && ::fsync(fd) != 0 && errno != EINVAL) failure = WinErrorFromErrno(errno);
  if (::close(fd) != 0 && failure == win_error::kSuccess && errno != EINTR) failure = WinErrorFromErrno(errno);
  if (failure == win_error::kSuccess && ::rename(temporary.c_str(), target.c_str()) != 0) {
    failure = WinErrorFromErrno(errno, target.c_str());
  }
  if (failure != win_error::kSuccess) {
    ::unlink(temporary.c_str());
    SetLastErrorCode(failure);
    return false;
  }
  return true;
}

}  // namespace

CString GetPrivateProfileString(const char* section, const char* key, const char* default_value,
                                size_t buffer_size, const char* file) {
  std::string value;
  if (!LookUp(section, key, file, &value)) {
    value = default_value == nullptr ? "" : default_value;
    while (!value.empty() && value.back() == ' ') value.pop_back();
  }
  if (buffer_size == 0) return CString();
  if (value.size() > buffer_size - 1) value.resize(buffer_size - 1);
  return CString(value);
}

uint32_t GetPrivateProfileInt(const char* section, const char* key, int32_t default_value, const char* file) {
  std::string value;
  if (!LookUp(section, key, file, &value) || value.empty()) return static_cast<uint32_t>(default_value);
  const char* p = value.c_str();
  while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint32_t base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'o' || p[1] == 'b')) {
    base = p[1] == 'x' ? 16 : p[1] == 'o' ? 8 : 2;
    p += 2;
  }
  uint32_t result = 0;
  for (;; ++p) {
    uint32_t digit;
    if (*p >= '0' && *p <= '9') {
      digit = static_cast<uint32_t>(*p - '0');
    } else if (*p >= 'a' && *p <= 'f') {
      digit = static_cast<uint32_t>(*p - 'a' + 10);
    } else if (*p >= 'A' && *p <= 'F') {
      digit = static_cast<uint32_t>(*p - 'A' + 10);
    } else {
      break;
    }
    if (digit >= base) break;
    result = result * base + digit;  // wraps around in 32 bits, as Windows does
  }
  return negative ? 0u - result : result;
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file) {
  CString stored;
  if (file == nullptr || file[0] == '\0' || !IsWritableProfileName(section, true) ||
      (key != nullptr && !IsWritableProfileName(key, false)) ||
      (key != nullptr && value != nullptr && !EncodeProfileValue(value, &stored))) {
    SetLastErrorCode(win_error::kInvalidParameter);
    return false;
  }
  std::lock_guard<std::mutex> lock(g_writeMutex);

  // Through a symbolic link, the file it names is the one rewritten.
  std::string target = file;
  if (char* real = ::realpath(file, nullptr)) {
    target = real;
    std::free(real);
  }
  std::string content;
  if (!ReadWholeFile(target.c_str(), &content)) {
    if (GetLastErrorCode() != win_error::kFileNotFound) return false;
    content.clear();
  }
  Profile profile;
  ParseProfile(content, &profile);

  std::string_view section_name = Trim(section);
  ptrdiff_t header = profile.FindSection(section_name);
  auto& lines = profile.lines;
  if (key == nullptr) {
    if (header < 0) return true;
    size_t end = profile.SectionEnd(static_cast<size_t>(header));
    lines.erase(lines.begin() + header, lines.begin() + static_cast<ptrdiff_t>(end));
  } else {
    std::string_view key_name = Trim(key);
    std::string_view old_value;
    ptrdiff_t at = header < 0 ? -1 : profile.FindKey(static_cast<size_t>(header), key_name, &old_value);
    if (value == nullptr) {
      if (at < 0) return true;
      lines.erase(lines.begin() + at);
    } else if (at >= 0) {
      // The key keeps its spelling in the file; only its value changes.
      std::string_view old_key;
      EntryOf(lines[static_cast<size_t>(at)], &old_key, &old_value);
      lines[static_cast<size_t>(at)] = std::string(old_key) + "=" + stored.GetString();
    } else if (header >= 0) {
      // A new key goes after the section's last non-blank line.
      size_t end = profile.SectionEnd(static_cast<size_t>(header));
      while (end > static_cast<size_t>(header) + 1 && Trim(lines[end - 1]).empty()) --end;
      lines.insert(lines.begin() + static_cast<ptrdiff_t>(end), std::string(key_name) + "=" + stored.GetString());
    } else {
      lines.push_back("[" + std::string(section_name) + "]");
      lines.push_back(std::string(key_name) + "=" + stored.GetString());
    }
  }

  std::string rewritten;
  rewritten.reserve(content.size() + 64);
  if (profile.bom) rewritten += kUtf8Bom;
  for (const std::string& line : lines) {
    rewritten += line;
    rewritten += "\r\n";
  }
  return ReplaceFile(target, rewritten);
}
