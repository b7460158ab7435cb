// Attributes, file identity, folder enumeration, the module's path, extension
// replacement and private-profile files, over the narrow Win32 API.
#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "framework/file.h"
#include "framework/os.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

}  // namespace

uint32_t GetFileAttributesOf(const char* path) {
  DWORD attributes = ::GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) SetLastErrorCode(::GetLastError());
  return attributes;
}

bool GetFileIdentity(const char* path, FileIdentity* identity) {
  // No access is asked for, so a file open without sharing can still be identified.
  HANDLE handle = ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetLastErrorCode(::GetLastError());
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = ::GetFileInformationByHandle(handle, &info) != 0;
  if (!ok) SetLastErrorCode(::GetLastError());
  ::CloseHandle(handle);
  if (!ok) return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

struct CFileFind::State {
  HANDLE find = INVALID_HANDLE_VALUE;
  std::string root;  // the pattern up to its last separator included
  WIN32_FIND_DATAA current{};
  WIN32_FIND_DATAA next{};
  bool hasCurrent = false;
  bool hasNext = false;
};

CFileFind::~CFileFind() { Close(); }

void CFileFind::Close() {
  if (m_state == nullptr) return;
  if (m_state->find != INVALID_HANDLE_VALUE) ::FindClose(m_state->find);
  delete m_state;
  m_state = nullptr;
}

bool CFileFind::FindFile(const char* pattern) {
  Close();
  if (pattern == nullptr || pattern[0] == '\0') {
    SetLastErrorCode(win_error::kPathNotFound);
    return false;
  }
  auto state = new State;
  state->find = ::FindFirstFileA(pattern, &state->next);
  if (state->find == INVALID_HANDLE_VALUE) {
    SetLastErrorCode(::GetLastError());
    delete state;
    return false;
  }
  std::string text(pattern);
  size_t cut = text.size();
  while (cut > 0 && !IsSeparator(text[cut - 1])) --cut;
  state->root = text.substr(0, cut);
  state->hasNext = true;
  m_state = state;
  return true;
}

bool CFileFind::FindNextFile() {
  if (m_state == nullptr || !m_state->hasNext) {
    SetLastErrorCode(win_error::kNoMoreFiles);
    return false;
  }
  m_state->current = m_state->next;
  m_state->hasCurrent = true;
  m_state->hasNext = ::FindNextFileA(m_state->find, &m_state->next) != 0;
  if (!m_state->hasNext) SetLastErrorCode(::GetLastError());
  return m_state->hasNext;
}

CString CFileFind::GetFileName() const {
  return (m_state == nullptr || !m_state->hasCurrent) ? CString() : CString(m_state->current.cFileName);
}

CString CFileFind::GetFilePath() const {
  if (m_state == nullptr || !m_state->hasCurrent) return CString();
  return CString((m_state->root + m_state->current.cFileName).c_str());
}

bool CFileFind::IsDirectory() const {
  return m_state != nullptr && m_state->hasCurrent &&
         (m_state->current.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CFileFind::IsDots() const {
  if (m_state == nullptr || !m_state->hasCurrent) return false;
  std::string name(m_state->current.cFileName);
  return name == "." || name == "..";
}

CString GetModuleFileName() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      SetLastErrorCode(::GetLastError());
      return CString();
    }
    if (length < path.size()) return CString(path.data(), length);
    path.resize(path.size() * 2);
  }
}

CString PathRenameExtension(const char* path, const char* extension) {
  std::string text(path == nullptr ? "" : path);
  std::string ext(extension == nullptr ? "" : extension);
  char buffer[MAX_PATH];
  if (text.size() < MAX_PATH) {
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    if (::PathRenameExtensionA(buffer, ext.c_str())) return CString(buffer);
  }
  // Too long for the shell's MAX_PATH buffer: the same rule, without the limit.
  const char* dot = ::PathFindExtensionA(text.c_str());
  return CString((text.substr(0, static_cast<size_t>(dot - text.c_str())) + ext).c_str());
}

uint32_t GetPrivateProfileInt(const char* section, const char* key, int32_t default_value, const char* file) {
  return ::GetPrivateProfileIntA(section, key, default_value, file);
}

CString GetPrivateProfileString(const char* section, const char* key, const char* default_value,
                                size_t buffer_size, const char* file) {
  if (buffer_size == 0) return CString();
  if (buffer_size > 0x7FFFFFFF) buffer_size = 0x7FFFFFFF;
  std::vector<char> buffer(buffer_size);
  DWORD length = ::GetPrivateProfileStringA(section, key, default_value == nullptr ? "" : default_value,
                                            buffer.data(), static_cast<DWORD>(buffer_size), file);
  return CString(buffer.data(), length);
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file) {
  CString stored;
  if (file == nullptr || file[0] == '\0' || !IsWritableProfileName(section, true) ||
      (key != nullptr && !IsWritableProfileName(key, false)) ||
      (key != nullptr && value != nullptr && !EncodeProfileValue(value, &stored))) {
    SetLastErrorCode(win_error::kInvalidParameter);
    return false;
  }
  const char* written = (key != nullptr && value != nullptr) ? stored.GetString() : value;
  if (!::WritePrivateProfileStringA(section, key, written, file)) {
    SetLastErrorCode(::GetLastError());
    return false;
  }
  return true;
}
