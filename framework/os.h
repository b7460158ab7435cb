// Operating-system services besides open files: attributes, identity,
// directory enumeration, the module's own path and private-profile (ini)
// files. Each call that fails sets the last error code (framework/file.h).
#pragma once

#include <cstdint>

#include "framework/cstring.h"

#if defined(_WIN32)
// <windows.h> turns these names into its own ...A functions by macro; after
// this header they name ours. Include <windows.h> before this header.
#undef FindNextFile
#undef GetModuleFileName
#undef GetPrivateProfileInt
#undef GetPrivateProfileString
#undef WritePrivateProfileString
#undef PathRenameExtension
#endif

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
//
// Reading trims blanks around names and values and drops a pair of matching
// quotes around a value; a missing file, section or key gives the default
// (trailing blanks removed), and the text is cut to buffer_size - 1 bytes.
// GetPrivateProfileInt reads an optional sign and decimal digits (or a "0x",
// "0o", "0b" prefixed number) up to the first other character, wrapping
// around in 32 bits; an empty or missing value gives the default.
uint32_t GetPrivateProfileInt(const char* section, const char* key, int32_t default_value, const char* file);
CString GetPrivateProfileString(const char* section, const char* key, const char* default_value,
                                size_t buffer_size, const char* file);
// Sets key in section to value (a null value removes the key, a null key the
// whole section), keeping every other line; creates the file and the section
// when missing. Values that reading would change (blanks at either end, a pair
// of quotes around them) are stored in quotes. A value with a line break, or a
// name that cannot stand in the file, is refused with error 87 and the file is
// left as it was. False, with the last error set, when the file cannot be
// written; a failed write leaves the old file whole.
bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file);

// Shared by both builds' profile writers: the text to write after "key=" for
// value, or false when no ini line can hold it.
bool EncodeProfileValue(const char* value, CString* stored);
// Whether a section (is_section) or key name can be written so that reading
// finds it again.
bool IsWritableProfileName(const char* name, bool is_section);
