// Operating-system services besides open files: attributes, identity,
// directory enumeration, the module's own path and private-profile (ini)
// files. Each call that fails sets the last error code (framework/file.h).
#pragma once

#include <cstdint>

#include "framework/cstring.h"

inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;
inline constexpr uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr uint32_t kFileAttributeHidden = 0x02;
inline constexpr uint32_t kFileAttributeSystem = 0x04;
inline constexpr uint32_t kFileAttributeDirectory = 0x10;
inline constexpr uint32_t kFileAttributeNormal = 0x80;

// The platform's path separator: '\\' on Windows, '/' elsewhere.
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Attributes of path (links followed), or kInvalidFileAttributes.
uint32_t GetFileAttributesOf(const char* path);

// Identity of the file a path names (device and file number), links followed.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
  friend bool operator<(const FileIdentity& a, const FileIdentity& b) {
    return a.volume != b.volume ? a.volume < b.volume : a.index < b.index;
  }
};
bool GetFileIdentity(const char* path, FileIdentity* identity);

// Enumerates "folder<sep>mask" with Windows wildcard rules: '*' any run, '?'
// one character, "*.*" every name (also names without a dot), hidden files
// included. "." and ".." are returned as the system returns them.
class CFileFind {
 public:
  CFileFind() = default;
  ~CFileFind();
  CFileFind(const CFileFind&) = delete;
  CFileFind& operator=(const CFileFind&) = delete;

  // Starts the enumeration; false when nothing matches or the folder cannot be read.
  bool FindFile(const char* pattern);
  // Moves to the next entry; the return tells whether another entry follows it.
  bool FindNextFile();
  void Close();

  CString GetFileName() const;  // the entry's name
  CString GetFilePath() const;  // folder, separator, name
  bool IsDirectory() const;     // links followed
  bool IsDots() const;          // "." or ".."

 private:
  struct State;
  State* m_state = nullptr;
};

// Full path of the running executable.
CString GetModuleFileName();
// Replaces the extension of the last path component (or appends one); the
// extension includes its dot, e.g. ".ini".
CString PathRenameExtension(const char* path, const char* extension);

// Private-profile files in the Windows ini format ([section], key=value, case-
// insensitive names), readable and writable by both builds.
uint32_t GetPrivateProfileInt(const char* section, const char* key, int32_t default_value, const char* file);
CString GetPrivateProfileString(const char* section, const char* key, const char* default_value,
                                size_t buffer_size, const char* file);
bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file);
