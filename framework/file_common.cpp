// What both file backends share: the last error code, Windows codes for errno
// values, exception causes and their texts, line reading for CStdioFile, and
// the rules for names and values written to ini files.
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "framework/file.h"
#include "framework/os.h"
#include "framework/texts.h"

namespace {

thread_local uint32_t t_lastError = win_error::kSuccess;

constexpr size_t kReadChunk = 64 * 1024;

#if defined(_WIN32)
constexpr const char* kPathSeparatorChars = "\\/";
#else
constexpr const char* kPathSeparatorChars = "/";
#endif

// Whether the folder part of path exists as a folder ("" and a name without a
// folder stand for the current folder, which exists).
bool ParentFolderExists(const char* path) {
  std::string folder(path);
  size_t cut = folder.find_last_of(kPathSeparatorChars);
  if (cut == std::string::npos) return true;
  folder.resize(cut == 0 ? 1 : cut);
  struct stat info;
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

uint32_t GetLastErrorCode() { return t_lastError; }

void SetLastErrorCode(uint32_t code) { t_lastError = code; }

// Codes not named by the callers' tests are chosen as Windows reports the same
// situation: a symlink loop 1921, a device error 1117, a broken pipe 109, a
// file too large 223, a busy resource 170, a cross-device rename 17, and 31
// ("a device attached to the system is not functioning") for anything else.
uint32_t WinErrorFromErrno(int error_number, const char* path) {
  switch (error_number) {
    case 0: return win_error::kSuccess;
    case ENOENT:
      if (path != nullptr && (path[0] == '\0' || !ParentFolderExists(path))) return win_error::kPathNotFound;
      return win_error::kFileNotFound;
    case ENOTDIR: return win_error::kPathNotFound;
    case EMFILE:
    case ENFILE: return win_error::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return win_error::kAccessDenied;
    case EBADF: return win_error::kInvalidHandle;
    case ENOMEM: return win_error::kNotEnoughMemory;
    case EXDEV: return win_error::kNotSameDevice;
    case ENXIO:
    case ENODEV: return win_error::kNotReady;
    case ETXTBSY: return win_error::kSharingViolation;
    case EEXIST: return win_error::kFileExists;
    case EINVAL: return win_error::kInvalidParameter;
    case EPIPE: return win_error::kBrokenPipe;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return win_error::kDiskFull;
    case ENOTEMPTY: return win_error::kDirNotEmpty;
    case EBUSY: return win_error::kBusy;
    case ENAMETOOLONG: return win_error::kFilenameTooLong;
    case EFBIG:
#ifdef EOVERFLOW
    case EOVERFLOW:
#endif
      return win_error::kFileTooLarge;
    case EIO: return win_error::kIoDevice;
#ifdef ELOOP
    case ELOOP: return win_error::kCantResolveFilename;
#endif
    default: return win_error::kGenFailure;
  }
}

CFileException::Cause CFileException::CauseFromOsError(uint32_t os_error) {
  switch (os_error) {
    case win_error::kSuccess: return none;
    case win_error::kFileNotFound: return fileNotFound;
    case win_error::kPathNotFound:
    case win_error::kInvalidName:
    case win_error::kFilenameTooLong:
    case win_error::kCantResolveFilename: return badPath;
    case win_error::kTooManyOpenFiles: return tooManyOpenFiles;
    case win_error::kAccessDenied:
    case win_error::kFileExists: return accessDenied;
    case win_error::kInvalidHandle: return invalidFile;
    case 16: return removeCurrentDir;  // ERROR_CURRENT_DIRECTORY
    case 82: return directoryFull;     // ERROR_CANNOT_MAKE
    case 25:                           // ERROR_SEEK
    case win_error::kNegativeSeek: return badSeek;
    case win_error::kWriteFault:
    case win_error::kReadFault:
    case win_error::kGenFailure:
    case win_error::kIoDevice:
    case win_error::kNotReady: return hardIO;
    case win_error::kSharingViolation: return sharingViolation;
    case 33: return lockViolation;  // ERROR_LOCK_VIOLATION
    case win_error::kDiskFull:
    case 39: return diskFull;  // ERROR_HANDLE_DISK_FULL
    case win_error::kHandleEof: return endOfFile;
    default: return genericException;
  }
}

CString CFileException::CauseText() const {
  const auto& causes = GetFrameworkTexts().causes;
  return causes[static_cast<size_t>(m_cause) < causes.size() ? m_cause : genericException];
}

void CFile::Raise(uint32_t os_error) const {
  SetLastErrorCode(os_error);
  throw CFileException(CFileException::CauseFromOsError(os_error), os_error, m_strFileName);
}

bool CStdioFile::Open(const char* path, unsigned flags, CFileException* error) {
  m_buffer.clear();
  m_position = 0;
  m_atEnd = false;
  return CFile::Open(path, flags, error);
}

void CStdioFile::FillBuffer() {
  if (m_atEnd) return;
  m_buffer.erase(0, m_position);
  m_position = 0;
  size_t old_size = m_buffer.size();
  try {
    m_buffer.resize(old_size + kReadChunk);
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  }
  size_t got = Read(m_buffer.data() + old_size, kReadChunk);
  m_buffer.resize(old_size + got);
  if (got == 0) m_atEnd = true;
  if ((m_flags & typeBinary) == 0) {
    // Ctrl-Z ends a text file: nothing after it is ever read.
    size_t eof_mark = m_buffer.find('\x1A', old_size);
    if (eof_mark != std::string::npos) {
      m_buffer.resize(eof_mark);
      m_atEnd = true;
    }
  }
}

bool CStdioFile::ReadString(CString& line) {
  const bool text = (m_flags & typeBinary) == 0;
  size_t scan_from = m_position;
  size_t newline;
  for (;;) {
    newline = m_buffer.find('\n', scan_from);
    if (newline != std::string::npos) break;
    size_t held = m_buffer.size() - m_position;
    if (m_atEnd) {
      if (held == 0) return false;
      line = CString(m_buffer.data() + m_position, held);
      m_position = m_buffer.size();
      return true;
    }
    FillBuffer();
    scan_from = held;  // FillBuffer moved the unread bytes to the front
  }
  size_t end = newline;
  if (text && end > m_position && m_buffer[end - 1] == '\r') --end;
  try {
    line = CString(m_buffer.data() + m_position, end - m_position);
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  }
  m_position = newline + 1;
  return true;
}

// Profile names and values as an ini line can hold them.

namespace {

bool IsProfileBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1A';
}

}  // namespace

bool EncodeProfileValue(const char* value, CString* stored) {
  std::string_view text(value == nullptr ? "" : value);
  if (text.find_first_of("\r\n") != std::string_view::npos) return false;
  bool quote = !text.empty() && (IsProfileBlank(text.front()) || IsProfileBlank(text.back()));
  if (text.size() >= 2 && text.front() == text.back() && (text.front() == '"' || text.front() == '\'')) {
    quote = true;
  }
  if (quote) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    *stored = CString(quoted);
  } else {
    *stored = CString(text);
  }
  return true;
}

bool IsWritableProfileName(const char* name, bool is_section) {
  if (name == nullptr) return false;
  std::string_view text(name);
  if (text.find_first_of("\r\n") != std::string_view::npos) return false;
  while (!text.empty() && IsProfileBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsProfileBlank(text.back())) text.remove_suffix(1);
  if (is_section) return text.find(']') == std::string_view::npos;
  return !text.empty() && text.front() != '[' && text.find('=') == std::string_view::npos;
}

namespace {
CString g_standard_output_name;
}  // namespace

void CFile::SetStandardOutputName(const char* name) { g_standard_output_name = name; }

bool CFile::IsStandardOutputName(const char* path) {
  return !g_standard_output_name.IsEmpty() && g_standard_output_name == path;
}

uint64_t CFile::CopyByBuffer(CFile& source) {
  constexpr size_t kChunk = size_t{1} << 20;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  uint64_t copied = 0;
  for (size_t got; (got = source.Read(buffer.get(), kChunk)) != 0; copied += got) Write(buffer.get(), got);
  return copied;
}

bool CFile::Fail(uint32_t code, const char* path, CFileException* error) {
  SetLastErrorCode(code);
  if (error != nullptr) *error = CFileException(CFileException::CauseFromOsError(code), code, path);
  return false;
}
