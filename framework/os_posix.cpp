// Attributes, file identity, folder enumeration with Windows wildcard rules,
// the module's path and extension replacement, over POSIX.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "framework/file.h"
#include "framework/os.h"

namespace {

// The last path component of path (after the last '/').
std::string_view LastComponent(std::string_view path) {
  size_t cut = path.rfind('/');
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool IsContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the UTF-8 character at name[at] (a stray continuation byte counts alone).
size_t CharLength(std::string_view name, size_t at) {
  size_t end = at + 1;
  while (end < name.size() && IsContinuationByte(static_cast<unsigned char>(name[end]))) ++end;
  return end - at;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// '*' matches any run of characters, '?' exactly one (a whole UTF-8
// character), everything else itself with ASCII letters folded.
bool MatchWildcard(std::string_view mask, std::string_view name) {
  size_t m = 0, n = 0;
  size_t star = std::string_view::npos, star_name = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      star_name = n;
    } else if (m < mask.size() && mask[m] == '?') {
      ++m;
      n += CharLength(name, n);
    } else if (m < mask.size() && FoldAscii(mask[m]) == FoldAscii(name[n])) {
      ++m;
      ++n;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      star_name += CharLength(name, star_name);
      n = star_name;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

// Windows lets a mask's final ".*" match the end of a name that has no dot
// there, so "*.*" names every entry and "readme.*" also finds "readme".
bool MatchMask(std::string_view mask, std::string_view name) {
  if (MatchWildcard(mask, name)) return true;
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*") {
    return MatchWildcard(mask.substr(0, mask.size() - 2), name);
  }
  return false;
}

uint32_t AttributesOf(const struct stat& info, std::string_view name) {
  uint32_t attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= kFileAttributeDirectory;
  if ((info.st_mode & S_IWUSR) == 0) attributes |= kFileAttributeReadOnly;
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kFileAttributeHidden;
  return attributes == 0 ? kFileAttributeNormal : attributes;
}

}  // namespace

uint32_t GetFileAttributesOf(const char* path) {
  if (path == nullptr || path[0] == '\0') {
    SetLastErrorCode(win_error::kPathNotFound);
    return kInvalidFileAttributes;
  }
  struct stat info;
  if (::stat(path, &info) != 0) {
    SetLastErrorCode(WinErrorFromErrno(errno, path));
    return kInvalidFileAttributes;
  }
  std::string_view trimmed(path);
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.remove_suffix(1);
  return AttributesOf(info, LastComponent(trimmed));
}

bool GetFileIdentity(const char* path, FileIdentity* identity) {
  if (path == nullptr || path[0] == '\0') {
    SetLastErrorCode(win_error::kPathNotFound);
    return false;
  }
  struct stat info;
  if (::stat(path, &info) != 0) {
    SetLastErrorCode(WinErrorFromErrno(errno, path));
    return false;
  }
  identity->volume = static_cast<uint64_t>(info.st_dev);
  identity->index = static_cast<uint64_t>(info.st_ino);
  return true;
}

struct CFileFind::State {
  DIR* folder = nullptr;
  std::string root;  // the pattern up to its last '/' included ("" for the current folder)
  std::string mask;
  std::string current;
  unsigned char currentType = DT_UNKNOWN;
  std::string next;
  unsigned char nextType = DT_UNKNOWN;
  bool hasNext = false;

  // Reads ahead to the next matching entry.
  bool Advance() {
    hasNext = false;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(folder);
      if (entry == nullptr) {
        SetLastErrorCode(errno != 0 ? WinErrorFromErrno(errno) : win_error::kNoMoreFiles);
        return false;
      }
      if (MatchMask(mask, entry->d_name)) {
        next = entry->d_name;
        nextType = entry->d_type;
        hasNext = true;
        return true;
      }
    }
  }

  std::string PathOf(const std::string& name) const { return root + name; }
};

CFileFind::~CFileFind() { Close(); }

void CFileFind::Close() {
  if (m_state == nullptr) return;
  if (m_state->folder != nullptr) ::closedir(m_state->folder);
  delete m_state;
  m_state = nullptr;
}

bool CFileFind::FindFile(const char* pattern) {
  Close();
  if (pattern == nullptr || pattern[0] == '\0') {
    SetLastErrorCode(win_error::kPathNotFound);
    return false;
  }
  std::string_view text(pattern);
  size_t cut = text.rfind('/');
  auto state = new State;
  if (cut == std::string_view::npos) {
    state->mask = text;
  } else {
    state->root = text.substr(0, cut + 1);
    state->mask = text.substr(cut + 1);
  }
  const char* open_path = state->root.empty() ? "." : state->root.c_str();
  state->folder = ::opendir(open_path);
  if (state->folder == nullptr) {
    // A folder that is not there is a path not found, as FindFirstFile says.
    uint32_t code = WinErrorFromErrno(errno);
    SetLastErrorCode(code == win_error::kFileNotFound ? win_error::kPathNotFound : code);
    delete state;
    return false;
  }
  m_state = state;
  if (state->mask.empty() || !state->Advance()) {
    Close();
    SetLastErrorCode(win_error::kFileNotFound);
    return false;
  }
  return true;
}

bool CFileFind::FindNextFile() {
  if (m_state == nullptr || !m_state->hasNext) {
    SetLastErrorCode(win_error::kNoMoreFiles);
    return false;
  }
  m_state->current.swap(m_state->next);
  m_state->currentType = m_state->nextType;
  return m_state->Advance();
}

CString CFileFind::GetFileName() const {
  return m_state == nullptr ? CString() : CString(m_state->current.c_str());
}

CString CFileFind::GetFilePath() const {
  return m_state == nullptr ? CString() : CString(m_state->PathOf(m_state->current).c_str());
}

bool CFileFind::IsDirectory() const {
  if (m_state == nullptr || m_state->current.empty()) return false;
  if (m_state->currentType == DT_DIR) return true;
  if (m_state->currentType != DT_LNK && m_state->currentType != DT_UNKNOWN) return false;
  struct stat info;
  return ::stat(m_state->PathOf(m_state->current).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CFileFind::IsDots() const {
  return m_state != nullptr && (m_state->current == "." || m_state->current == "..");
}

CString GetModuleFileName() {
  std::string path(256, '\0');
  for (;;) {
    ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) {
      SetLastErrorCode(WinErrorFromErrno(errno));
      return CString();
    }
    if (static_cast<size_t>(length) < path.size()) {
      path.resize(static_cast<size_t>(length));
      return CString(path.c_str());
    }
    path.resize(path.size() * 2);
  }
}

// The extension is the last dot of the last component and what follows it; a
// leading dot (".profile") names a hidden file and starts no extension.
CString PathRenameExtension(const char* path, const char* extension) {
  std::string_view text(path == nullptr ? "" : path);
  size_t start = text.rfind('/');
  start = start == std::string_view::npos ? 0 : start + 1;
  size_t dot = text.rfind('.');
  size_t stem_end = (dot != std::string_view::npos && dot > start) ? dot : text.size();
  std::string result(text.substr(0, stem_end));
  result += extension == nullptr ? "" : extension;
  return CString(result.c_str());
}
