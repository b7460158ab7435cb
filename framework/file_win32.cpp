// CFile over Win32 handles: CreateFileA with the share mode the flags ask for,
// so Windows itself refuses a second open of a file in use.
#include <windows.h>

#include <algorithm>

#include "framework/file.h"

namespace {

// One ReadFile or WriteFile moves at most this much, whatever the caller asked for.
constexpr size_t kMaxTransfer = size_t{1} << 30;

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

DWORD AccessOf(unsigned flags) {
  if (flags & CFile::modeReadWrite) return GENERIC_READ | GENERIC_WRITE;
  if (flags & CFile::modeWrite) return GENERIC_WRITE;
  return GENERIC_READ;
}

DWORD ShareOf(unsigned flags) {
  switch (flags & 0x70) {
    case CFile::shareDenyWrite: return FILE_SHARE_READ;
    case CFile::shareDenyRead: return FILE_SHARE_WRITE;
    case CFile::shareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default: return 0;  // shareCompat, shareExclusive
  }
}

DWORD CreationOf(unsigned flags) {
  if (flags & CFile::modeCreate) return (flags & CFile::modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
  return OPEN_EXISTING;
}

}  // namespace

CFile::~CFile() { Abort(); }

bool CFile::Open(const char* path, unsigned flags, CFileException* error) {
  Abort();
  if (path == nullptr || path[0] == '\0') return Fail(win_error::kPathNotFound, "", error);
  if (IsStandardOutputName(path) && (flags & (modeWrite | modeReadWrite)) != 0) {
    return OpenStandardOutput() || Fail(GetLastErrorCode(), path, error);
  }
  SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, (flags & modeNoInherit) ? FALSE : TRUE};
  HANDLE handle = ::CreateFileA(path, AccessOf(flags), ShareOf(flags), &security, CreationOf(flags),
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Fail(::GetLastError(), path, error);
  m_handle = reinterpret_cast<intptr_t>(handle);
  m_flags = flags;
  m_strFileName = path;
  m_closeHandle = true;
  return true;
}

bool CFile::OpenStandardOutput() {
  Abort();
  HANDLE handle = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
    return Fail(handle == nullptr ? win_error::kInvalidHandle : ::GetLastError(), "-", nullptr);
  }
  m_handle = reinterpret_cast<intptr_t>(handle);
  m_flags = modeWrite | typeBinary;
  m_strFileName = "-";
  m_closeHandle = false;
  return true;
}

uint64_t CFile::GetLength() const {
  if (!IsOpen()) Raise(win_error::kInvalidHandle);
  // Pipes and devices have no length to tell, as on POSIX: 0.
  if (::GetFileType(AsHandle(m_handle)) != FILE_TYPE_DISK) return 0;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(AsHandle(m_handle), &size)) Raise(::GetLastError());
  return static_cast<uint64_t>(size.QuadPart);
}

size_t CFile::Read(void* buffer, size_t count) {
  if (!IsOpen()) Raise(win_error::kInvalidHandle);
  char* to = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < count) {
    DWORD got = 0;
    if (!::ReadFile(AsHandle(m_handle), to + done, static_cast<DWORD>(std::min(count - done, kMaxTransfer)), &got,
                    nullptr)) {
      DWORD code = ::GetLastError();
      if (code == ERROR_BROKEN_PIPE) break;  // the writer has gone: the end of the data
      Raise(code);
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

void CFile::Write(const void* buffer, size_t count) {
  if (!IsOpen()) Raise(win_error::kInvalidHandle);
  const char* from = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < count) {
    DWORD put = 0;
    if (!::WriteFile(AsHandle(m_handle), from + done, static_cast<DWORD>(std::min(count - done, kMaxTransfer)), &put,
                     nullptr)) {
      Raise(::GetLastError());
    }
    if (put == 0) Raise(win_error::kDiskFull);
    done += put;
  }
}

uint64_t CFile::Seek(int64_t offset, SeekPosition from) {
  if (!IsOpen()) Raise(win_error::kInvalidHandle);
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER at;
  DWORD method = from == begin ? FILE_BEGIN : from == current ? FILE_CURRENT : FILE_END;
  if (!::SetFilePointerEx(AsHandle(m_handle), distance, &at, method)) Raise(::GetLastError());
  return static_cast<uint64_t>(at.QuadPart);
}

void CFile::StartWriteOut(uint64_t, uint64_t) {}

void CFile::SetLength(uint64_t length) {
  if (!IsOpen()) Raise(win_error::kInvalidHandle);
  if (length > static_cast<uint64_t>(INT64_MAX)) Raise(win_error::kInvalidParameter);
  Seek(static_cast<int64_t>(length), begin);
  if (!::SetEndOfFile(AsHandle(m_handle))) Raise(::GetLastError());
}

void CFile::Close() {
  if (!IsOpen()) return;
  HANDLE handle = AsHandle(m_handle);
  bool owned = m_closeHandle;
  m_handle = kNoHandle;
  if (owned && !::CloseHandle(handle)) Raise(::GetLastError());
}

void CFile::Abort() {
  if (!IsOpen()) return;
  if (m_closeHandle) ::CloseHandle(AsHandle(m_handle));
  m_handle = kNoHandle;
}

uint64_t CFile::CopyFrom(CFile& source) { return CopyByBuffer(source); }

bool CFileMapping::Map(const CFile& file) {
  Unmap();
  if (!file.IsOpen()) return false;
  const HANDLE handle = AsHandle(file.m_handle);
  LARGE_INTEGER size;
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileSizeEx(handle, &size) || size.QuadPart <= 0)
    return false;
  if (static_cast<uint64_t>(size.QuadPart) >= SIZE_MAX / 2) return false;
  const HANDLE section = ::CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (section == nullptr) return false;
  // The view keeps the section alive without its handle.
  void* data = ::MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0);
  ::CloseHandle(section);
  if (data == nullptr) return false;
  m_data = static_cast<const char*>(data);
  m_length = static_cast<size_t>(size.QuadPart);
  return true;
}

void CFileMapping::Unmap() {
  if (m_data != nullptr) ::UnmapViewOfFile(m_data);
  m_data = nullptr;
  m_length = 0;
}

CFileMapping::~CFileMapping() { Unmap(); }
