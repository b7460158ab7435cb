// CFile over POSIX descriptors, with Windows share modes emulated by a
// process-wide table of open files keyed by file identity.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <map>
#include <mutex>
#include <utility>

#include "framework/file.h"

namespace {

// One system call moves at most this much, whatever the caller asked for.
// Reads and writes go to the system in pieces of this size: a transfer that
// stays in the caches is several times faster than one over a whole file.
constexpr size_t kMaxTransfer = size_t{1} << 20;
// A copy the kernel makes between two files takes no memory of ours.
constexpr size_t kMaxKernelCopy = size_t{1} << 30;

constexpr unsigned kAccessRead = 1;
constexpr unsigned kAccessWrite = 2;

struct OpenEntry {
  dev_t device;
  ino_t inode;
  unsigned access;  // what this open does (kAccessRead, kAccessWrite)
  unsigned share;   // what it lets other opens do
};

// Every open CFile of the process, by ticket and by identity.
class ShareTable {
 public:
  // Registers an open unless an open of the same file forbids it, or it
  // forbids one already there; returns the ticket, or 0 for a sharing
  // violation.
  uint64_t Register(dev_t device, ino_t inode, unsigned access, unsigned share) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto range = m_byIdentity.equal_range({device, inode});
    for (auto it = range.first; it != range.second; ++it) {
      const OpenEntry& other = m_byTicket.at(it->second);
      if ((access & ~other.share) != 0 || (other.access & ~share) != 0) return 0;
    }
    uint64_t ticket = ++m_lastTicket;
    m_byTicket.emplace(ticket, OpenEntry{device, inode, access, share});
    m_byIdentity.emplace(std::make_pair(device, inode), ticket);
    return ticket;
  }

  void Release(uint64_t ticket) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_byTicket.find(ticket);
    if (found == m_byTicket.end()) return;
    auto range = m_byIdentity.equal_range({found->second.device, found->second.inode});
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second == ticket) {
        m_byIdentity.erase(it);
        break;
      }
    }
    m_byTicket.erase(found);
  }

 private:
  std::mutex m_mutex;
  uint64_t m_lastTicket = 0;
  std::map<uint64_t, OpenEntry> m_byTicket;
  std::multimap<std::pair<dev_t, ino_t>, uint64_t> m_byIdentity;
};

ShareTable& OpenFiles() {
  static ShareTable* table = new ShareTable;  // outlives every static CFile
  return *table;
}

unsigned AccessOf(unsigned flags) {
  if (flags & CFile::modeReadWrite) return kAccessRead | kAccessWrite;
  if (flags & CFile::modeWrite) return kAccessWrite;
  return kAccessRead;
}

unsigned ShareOf(unsigned flags) {
  switch (flags & 0x70) {
    case CFile::shareDenyWrite: return kAccessRead;
    case CFile::shareDenyRead: return kAccessWrite;
    case CFile::shareDenyNone: return kAccessRead | kAccessWrite;
    default: return 0;  // shareCompat, shareExclusive
  }
}

int Descriptor(intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

CFile::~CFile() { Abort(); }

bool CFile::Open(const char* path, unsigned flags, CFileException* error) {
  Abort();
  if (path == nullptr || path[0] == '\0') return Fail(win_error::kPathNotFound, "", error);
  if (IsStandardOutputName(path) && (flags & (modeWrite | modeReadWrite)) != 0) {
    return OpenStandardOutput() || Fail(GetLastErrorCode(), path, error);
  }

  int open_flags = O_CLOEXEC;
  switch (AccessOf(flags)) {
    case kAccessRead: open_flags |= O_RDONLY; break;
    case kAccessWrite: open_flags |= O_WRONLY; break;
    default: open_flags |= O_RDWR; break;
  }
  // Truncation waits until the share check has passed: a file in use must
  // keep its content, as on Windows.
  if (flags & modeCreate) open_flags |= O_CREAT;

  int fd;
  do {
    fd = ::open(path, open_flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Fail(WinErrorFromErrno(errno, path), path, error);

  struct stat info;
  if (::fstat(fd, &info) != 0) {
    uint32_t code = WinErrorFromErrno(errno);
    ::close(fd);
    return Fail(code, path, error);
  }
  if (S_ISDIR(info.st_mode)) {
    ::close(fd);
    return Fail(win_error::kAccessDenied, path, error);
  }
  uint64_t ticket = OpenFiles().Register(info.st_dev, info.st_ino, AccessOf(flags), ShareOf(flags));
  if (ticket == 0) {
    ::close(fd);
    return Fail(win_error::kSharingViolation, path, error);
  }
  if ((flags & modeCreate) && !(flags & modeNoTruncate) && S_ISREG(info.st_mode) && info.st_size != 0 &&
      ::ftruncate(fd, 0) != 0) {
    uint32_t code = WinErrorFromErrno(errno);
    OpenFiles().Release(ticket);
    ::close(fd);
    return Fail(code, path, error);
  }

  m_handle = fd;
  m_flags = flags;
  m_strFileName = path;
  m_closeHandle = true;
  m_shareTicket = ticket;
  return true;
}

bool CFile::OpenStandardOutput() {
  Abort();
  struct stat info;
  if (::fstat(STDOUT_FILENO, &info) != 0) return Fail(WinErrorFromErrno(errno), "-", nullptr);
  uint64_t ticket = 0;
  if (S_ISREG(info.st_mode)) {
    ticket = OpenFiles().Register(info.st_dev, info.st_ino, kAccessWrite, 0);
    if (ticket == 0) return Fail(win_error::kSharingViolation, "-", nullptr);
  }
  m_handle = STDOUT_FILENO;
  m_flags = modeWrite | typeBinary;
  m_strFileName = "-";
  m_closeHandle = false;
  m_shareTicket = ticket;
  return true;
}

uint64_t CFile::GetLength() const {
  if (!IsOpen()) Raise(win_error::kInvalidHandle);
  struct stat info;
  if (::fstat(Descriptor(m_handle), &info) != 0) Raise(WinErrorFromErrno(errno));
  return static_cast<uint64_t>(info.st_size);
}

size_t CFile::Read(void* buffer, size_t count) {
  if (!IsOpen()) Raise(win_error::kInvalidHandle);
  char* to = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < count) {
    ssize_t got = ::read(Descriptor(m_handle), to + done, std::min(count - done, kMaxTransfer));
    if (got < 0) {
      if (errno == EINTR) continue;
      Raise(errno == EIO ? win_error::kReadFault : WinErrorFromErrno(errno));
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

void CFile::Write(const void* buffer, size_t count) {
  if (!IsOpen()) Raise(win_error::kInvalidHandle);
  const char* from = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < count) {
    ssize_t put = ::write(Descriptor(m_handle), from + done, std::min(count - done, kMaxTransfer));
    if (put < 0) {
      if (errno == EINTR) continue;
      Raise(errno == EIO ? win_error::kWriteFault : WinErrorFromErrno(errno));
    }
    // A device that takes nothing and reports no error is full.
    if (put == 0) Raise(win_error::kDiskFull);
    done += static_cast<size_t>(put);
  }
}

uint64_t CFile::Seek(int64_t offset, SeekPosition from) {
  if (!IsOpen()) Raise(win_error::kInvalidHandle);
  int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
  off_t at = ::lseek(Descriptor(m_handle), static_cast<off_t>(offset), whence);
  if (at < 0) Raise(errno == EINVAL ? win_error::kNegativeSeek : WinErrorFromErrno(errno));
  return static_cast<uint64_t>(at);
}

void CFile::StartWriteOut(uint64_t offset, uint64_t count) {
#if defined(__linux__)
  if (IsOpen()) {
    ::sync_file_range(Descriptor(m_handle), static_cast<off_t>(offset), static_cast<off_t>(count),
                      SYNC_FILE_RANGE_WRITE);
  }
#else
  (void)offset;
  (void)count;
#endif
}

void CFile::SetLength(uint64_t length) {
  if (!IsOpen()) Raise(win_error::kInvalidHandle);
  if (length > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) Raise(win_error::kInvalidParameter);
  int result;
  do {
    result = ::ftruncate(Descriptor(m_handle), static_cast<off_t>(length));
  } while (result != 0 && errno == EINTR);
  if (result != 0) Raise(errno == EINVAL ? win_error::kInvalidParameter : WinErrorFromErrno(errno));
  Seek(static_cast<int64_t>(length), begin);
}

void CFile::Close() {
  if (!IsOpen()) return;
  int fd = Descriptor(m_handle);
  bool owned = m_closeHandle;
  if (m_shareTicket != 0) OpenFiles().Release(m_shareTicket);
  m_shareTicket = 0;
  m_handle = kNoHandle;
  // A failed close may be the first news of a failed write (a full disk on
  // a network file system); the descriptor is gone either way.
  if (owned && ::close(fd) != 0 && errno != EINTR) Raise(WinErrorFromErrno(errno));
}

void CFile::Abort() {
  if (!IsOpen()) return;
  if (m_shareTicket != 0) OpenFiles().Release(m_shareTicket);
  m_shareTicket = 0;
  if (m_closeHandle) ::close(Descriptor(m_handle));
  m_handle = kNoHandle;
}

uint64_t CFile::CopyFrom(CFile& source) {
  if (!IsOpen() || !source.IsOpen()) Raise(win_error::kInvalidHandle);
  uint64_t copied = 0;
#if defined(__linux__)
  // The kernel copies between regular files itself. Some files (pipes,
  // /proc) it cannot copy, or reports empty: they go through a buffer.
  struct stat info;
  if (::fstat(Descriptor(source.m_handle), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    for (;;) {
      ssize_t put = ::copy_file_range(Descriptor(source.m_handle), nullptr, Descriptor(m_handle), nullptr,
                                      kMaxKernelCopy, 0);
      if (put > 0) {
        copied += static_cast<uint64_t>(put);
        continue;
      }
      if (put == 0) break;
      if (errno == EINTR) continue;
      if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF ||
          errno == ETXTBSY) {
        break;
      }
      if (errno == EIO) Raise(win_error::kWriteFault);
      Raise(WinErrorFromErrno(errno));
    }
  }
#endif
  return copied + CopyByBuffer(source);
}

bool CFileMapping::Map(const CFile& file) {
  Unmap();
  if (!file.IsOpen()) return false;
  const int fd = Descriptor(file.m_handle);
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) return false;
  if (static_cast<uint64_t>(info.st_size) >= SIZE_MAX / 2) return false;
  const auto length = static_cast<size_t>(info.st_size);
  int flags = MAP_PRIVATE;
#if defined(MAP_POPULATE)
  flags |= MAP_POPULATE;  // the pages in at once, not a fault for each
#endif
  void* data = ::mmap(nullptr, length, PROT_READ, flags, fd, 0);
  if (data == MAP_FAILED) return false;
  ::madvise(data, length, MADV_SEQUENTIAL);
  m_data = static_cast<const char*>(data);
  m_length = length;
  return true;
}

void CFileMapping::Unmap() {
  if (m_data != nullptr) ::munmap(const_cast<char*>(m_data), m_length);
  m_data = nullptr;
  m_length = 0;
}

CFileMapping::~CFileMapping() { Unmap(); }
