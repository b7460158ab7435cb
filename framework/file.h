// Files as the dialog code sees them: CFile and CStdioFile with Windows open
// flags and share modes, and the exceptions a failed read or write raises.
// The operating system is reached through file_posix.cpp or file_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "framework/cstring.h"

// Windows error codes that messages print; the POSIX side maps errno to these.
namespace win_error {
inline constexpr uint32_t kSuccess = 0;
inline constexpr uint32_t kFileNotFound = 2;
inline constexpr uint32_t kPathNotFound = 3;
inline constexpr uint32_t kTooManyOpenFiles = 4;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kInvalidHandle = 6;
inline constexpr uint32_t kNotEnoughMemory = 8;
inline constexpr uint32_t kNotSameDevice = 17;
inline constexpr uint32_t kNoMoreFiles = 18;
inline constexpr uint32_t kNotReady = 21;
inline constexpr uint32_t kWriteFault = 29;
inline constexpr uint32_t kReadFault = 30;
inline constexpr uint32_t kGenFailure = 31;
inline constexpr uint32_t kSharingViolation = 32;
inline constexpr uint32_t kHandleEof = 38;
inline constexpr uint32_t kFileExists = 80;
inline constexpr uint32_t kInvalidParameter = 87;
inline constexpr uint32_t kBrokenPipe = 109;
inline constexpr uint32_t kDiskFull = 112;
inline constexpr uint32_t kInvalidName = 123;
inline constexpr uint32_t kNegativeSeek = 131;
inline constexpr uint32_t kDirNotEmpty = 145;
inline constexpr uint32_t kBusy = 170;
inline constexpr uint32_t kFilenameTooLong = 206;
inline constexpr uint32_t kFileTooLarge = 223;
inline constexpr uint32_t kIoDevice = 1117;
inline constexpr uint32_t kCantResolveFilename = 1921;
}  // namespace win_error

// The Windows code for an errno value. For ENOENT, path (when given) tells a
// missing file (2) from a missing folder on the way to it (3), as Windows does.
uint32_t WinErrorFromErrno(int error_number, const char* path = nullptr);

// The last error code of the calling thread, as the last framework call that
// reached the operating system left it.
uint32_t GetLastErrorCode();
void SetLastErrorCode(uint32_t code);

class CFileException : public std::exception {
 public:
  enum Cause {
    none, genericException, fileNotFound, badPath, tooManyOpenFiles, accessDenied, invalidFile,
    removeCurrentDir, directoryFull, badSeek, hardIO, sharingViolation, lockViolation, diskFull, endOfFile
  };
  static constexpr size_t kCauseCount = endOfFile + 1;
  CFileException() = default;
  CFileException(Cause cause, uint32_t os_error, const CString& file_name)
      : m_cause(cause), m_lOsError(os_error), m_strFileName(file_name) {}
  const char* what() const noexcept override { return "file exception"; }
  // The cause in the user's language (framework/texts.h), e.g. for "'%s' ... %s" reports.
  CString CauseText() const;
  static Cause CauseFromOsError(uint32_t os_error);

  Cause m_cause = none;
  uint32_t m_lOsError = 0;
  CString m_strFileName;
};

class CMemoryException : public std::exception {
 public:
  const char* what() const noexcept override { return "out of memory"; }
};

class CFile {
 public:
  enum SeekPosition : unsigned { begin = 0, current = 1, end = 2 };
  enum OpenFlags : unsigned {
    modeRead = 0x0000, modeWrite = 0x0001, modeReadWrite = 0x0002,
    shareCompat = 0x0000, shareExclusive = 0x0010, shareDenyWrite = 0x0020, shareDenyRead = 0x0030,
    shareDenyNone = 0x0040, modeNoInherit = 0x0080,
    modeCreate = 0x1000, modeNoTruncate = 0x2000,
    typeText = 0x4000, typeBinary = 0x8000,
  };

  CFile() = default;
  virtual ~CFile();  // closes without raising
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Opens path; on failure returns false, sets the last error code and, when
  // given, fills *error. shareCompat and shareExclusive deny every other open
  // of the same file while this one lasts (error 32 for the second opener).
  // A file in use is neither created nor truncated. Folders cannot be opened (5).
  bool Open(const char* path, unsigned flags, CFileException* error = nullptr);
  // Standard output as an open, writable file (for "-o -"), named "-". Close
  // leaves the descriptor open. When it is a regular file, it counts as open
  // without sharing, so no other open of that file succeeds meanwhile.
  bool OpenStandardOutput();
  // Makes name, opened for writing, mean standard output (a command line's "-");
  // no name is special until this is called.
  static void SetStandardOutputName(const char* name);
  static bool IsStandardOutputName(const char* path);

  // These raise CFileException on failure.
  uint64_t GetLength() const;
  // Reads up to count bytes (count may exceed 4 GiB); returns fewer only at the end of the file.
  size_t Read(void* buffer, size_t count);
  // Writes all count bytes.
  void Write(const void* buffer, size_t count);
  // Writes the rest of source to this file, from both files' positions on,
  // without holding it in memory; returns the bytes copied. Raises
  // CFileException naming the file that failed.
  uint64_t CopyFrom(CFile& source);
  // Moves the file position; returns the new position from the start.
  uint64_t Seek(int64_t offset, SeekPosition from);
  // Starts writing count bytes from offset on to the device, without waiting,
  // where the system offers that (Linux); a failure shows in a later write or
  // the close, as it would without this.
  void StartWriteOut(uint64_t offset, uint64_t count);
  // Cuts or extends the file to length bytes, and moves the position there.
  // A pipe or a device has no length to set.
  void SetLength(uint64_t length);
  void Close();
  // Closes without raising.
  void Abort();

  bool IsOpen() const { return m_handle != kNoHandle; }
  const CString& GetFilePath() const { return m_strFileName; }

 protected:
  static constexpr intptr_t kNoHandle = -1;
  [[noreturn]] void Raise(uint32_t os_error) const;
  // A failed open: sets the last error, fills *error when given, returns false.
  static bool Fail(uint32_t code, const char* path, CFileException* error);
  // CopyFrom through a buffer, for files the system cannot copy between.
  uint64_t CopyByBuffer(CFile& source);

  intptr_t m_handle = kNoHandle;  // a descriptor or a HANDLE
  unsigned m_flags = 0;
  CString m_strFileName;
  bool m_closeHandle = true;
  // This open's entry in the process's table of open files (POSIX share
  // modes); 0 when it has none.
  uint64_t m_shareTicket = 0;

  friend class CFileMapping;
};

// An open file's bytes mapped into memory, read-only, so that a large file is
// read without a copy and without fresh pages to clear. Files the system does
// not map (a pipe, a device, an empty file, one larger than the address
// space) are read with CFile::Read instead. The mapping may outlive the file's
// Close.
class CFileMapping {
 public:
  CFileMapping() = default;
  ~CFileMapping();
  CFileMapping(const CFileMapping&) = delete;
  CFileMapping& operator=(const CFileMapping&) = delete;

  // Maps the whole of the open file; false, with nothing mapped, where it cannot be.
  bool Map(const CFile& file);
  void Unmap();

  const char* GetData() const { return m_data; }
  size_t GetLength() const { return m_length; }

 private:
  const char* m_data = nullptr;
  size_t m_length = 0;
};

// Text files read line by line: a line ends at LF, a CR just before the LF is
// dropped with it, and a byte 0x1A ends the file. Opened with typeBinary, only
// the LF counts: a CR stays in the line and 0x1A is an ordinary byte.
// ReadString reads ahead, so a file is read either by lines or by Read/Seek.
class CStdioFile : public CFile {
 public:
  // As CFile::Open; lines read ahead from an earlier file are dropped.
  bool Open(const char* path, unsigned flags, CFileException* error = nullptr);
  // The next line without its line end; false at the end of the file. A last
  // line without LF is still a line; NUL bytes stay in it. Raises
  // CFileException on a read failure, CMemoryException when a line does not fit.
  bool ReadString(CString& line);

 private:
  // Reads the next chunk behind the unread bytes, which move to the front.
  void FillBuffer();

  std::string m_buffer;
  size_t m_position = 0;
  bool m_atEnd = false;
};
