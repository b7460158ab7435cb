// CFile and CStdioFile on POSIX: open errors as Windows codes, share modes,
// truncation, 64-bit sizes, failing writes, standard output, line reading.
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <linux/fs.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "tests/framework/temp_files.h"

#include "framework/file.h"

namespace {

namespace fs = std::filesystem;
using framework_test::ReadBytes;
using framework_test::WriteBytes;

using framework_test::TempFolder;

constexpr unsigned kReadBinary = CFile::modeRead | CFile::typeBinary;
constexpr unsigned kCreateBinary = CFile::modeCreate | CFile::modeWrite | CFile::typeBinary;

TEST(FileOpen, FailuresGiveWindowsCodes) {
  TempFolder dir;
  WriteBytes(dir / "plain.txt", "x");
  fs::create_directory(dir / "sub");
  struct Case {
    const char* name;
    std::string path;
    unsigned flags;
    uint32_t code;
    CFileException::Cause cause;
  };
  const Case cases[] = {
      {"missing_file", dir / "absent.txt", kReadBinary, 2, CFileException::fileNotFound},
      {"missing_folder", dir / "absent/file.txt", kReadBinary, 3, CFileException::badPath},
      {"missing_folder_create", dir / "absent/file.txt", kCreateBinary, 3, CFileException::badPath},
      {"file_as_folder", dir / "plain.txt/file.txt", kReadBinary, 3, CFileException::badPath},
      {"folder_read", dir / "sub", kReadBinary, 5, CFileException::accessDenied},
      {"folder_create", dir / "sub", kCreateBinary, 5, CFileException::accessDenied},
      {"empty_path", "", kReadBinary, 3, CFileException::badPath},
#if !defined(_WIN32)
      {"name_too_long", dir / std::string(300, 'n'), kReadBinary, 206, CFileException::badPath},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFile file;
    CFileException error;
    SetLastErrorCode(0);
    EXPECT_FALSE(file.Open(c.path.c_str(), c.flags, &error));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(GetLastErrorCode(), c.code);
    EXPECT_EQ(error.m_lOsError, c.code);
    EXPECT_EQ(error.m_cause, c.cause);
    EXPECT_EQ(error.m_strFileName, c.path.c_str());
  }
  EXPECT_FALSE(fs::exists(dir / "absent"));
}

#if !defined(_WIN32)
// Sets or clears the immutable flag, which stops even root from writing.
bool SetImmutable(const std::string& path, bool on) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return ok;
}

TEST(FileOpen, PermissionDeniedIsFive) {
  TempFolder dir;
  std::string path = dir / "locked.txt";
  WriteBytes(path, "keep");
  bool immutable = false;
  if (::geteuid() == 0) {
    immutable = SetImmutable(path, true);
    if (!immutable) GTEST_SKIP() << "running as root without a way to deny a write";
  } else {
    ::chmod(path.c_str(), 0444);
  }
  CFile file;
  EXPECT_FALSE(file.Open(path.c_str(), kCreateBinary));
  EXPECT_EQ(GetLastErrorCode(), 5u);
  if (immutable) SetImmutable(path, false);
  EXPECT_EQ(ReadBytes(path), "keep");
}

#endif  // !_WIN32

TEST(FileOpen, CreateTruncatesUnlessNoTruncate) {
  TempFolder dir;
  std::string path = dir / "out.bin";
  WriteBytes(path, "old content");
  {
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), kCreateBinary | CFile::modeNoTruncate));
    EXPECT_EQ(file.GetLength(), 11u);
    file.Write("OLD", 3);
    file.Close();
  }
  EXPECT_EQ(ReadBytes(path), "OLD content");
  {
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), kCreateBinary));
    EXPECT_EQ(file.GetLength(), 0u);
    file.Write("new", 3);
    file.Close();
  }
  EXPECT_EQ(ReadBytes(path), "new");
  CFile created;
  ASSERT_TRUE(created.Open((dir / "fresh.bin").c_str(), kCreateBinary | CFile::modeNoTruncate));
  EXPECT_EQ(created.GetLength(), 0u);
}

TEST(FileShare, SecondOpenFollowsWindowsRules) {
  TempFolder dir;
  std::string path = dir / "shared.txt";
  WriteBytes(path, "data");
  constexpr unsigned R = CFile::modeRead, W = CFile::modeWrite, RW = CFile::modeReadWrite;
  struct Case {
    const char* name;
    unsigned first;
    unsigned second;
    bool allowed;
  };
  const Case cases[] = {
      {"compat_read_then_read", R | CFile::shareCompat, R | CFile::shareDenyNone, false},
      {"exclusive_read_then_read", R | CFile::shareExclusive, R | CFile::shareDenyNone, false},
      {"read_then_compat_read", R | CFile::shareDenyNone, R | CFile::shareCompat, false},
      {"deny_none_both", R | CFile::shareDenyNone, W | CFile::shareDenyNone, true},
      {"deny_write_then_read", R | CFile::shareDenyWrite, R | CFile::shareDenyNone, true},
      {"deny_write_then_write", R | CFile::shareDenyWrite, W | CFile::shareDenyNone, false},
      {"deny_write_twice", R | CFile::shareDenyWrite, R | CFile::shareDenyWrite, true},
      {"write_then_deny_write", W | CFile::shareDenyNone, R | CFile::shareDenyWrite, false},
      {"deny_read_then_read", W | CFile::shareDenyRead, R | CFile::shareDenyNone, false},
      {"deny_read_then_write", W | CFile::shareDenyRead, W | CFile::shareDenyNone, true},
      {"readwrite_then_read", RW | CFile::shareDenyWrite, R | CFile::shareDenyNone, true},
      {"readwrite_then_deny_write", RW | CFile::shareDenyNone, R | CFile::shareDenyWrite, false},
      {"readwrite_deny_none", RW | CFile::shareDenyNone, RW | CFile::shareDenyNone, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFile first;
    ASSERT_TRUE(first.Open(path.c_str(), c.first));
    CFile second;
    CFileException error;
    EXPECT_EQ(second.Open(path.c_str(), c.second, &error), c.allowed);
    if (!c.allowed) {
      EXPECT_EQ(GetLastErrorCode(), 32u);
      EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
      first.Close();
      EXPECT_TRUE(second.Open(path.c_str(), c.second));
    }
  }
}

#if !defined(_WIN32)
TEST(FileShare, FileInUseIsNeitherTruncatedNorReachedThroughLink) {
  TempFolder dir;
  std::string path = dir / "source.txt";
  WriteBytes(path, "precious");
  fs::create_symlink(path, dir / "link.txt");
  fs::create_hard_link(path, dir / "hard.txt");
  CFile source;
  ASSERT_TRUE(source.Open(path.c_str(), kReadBinary));
  for (const std::string& other : {path, dir / "link.txt", dir / "hard.txt"}) {
    SCOPED_TRACE(other);
    CFile output;
    EXPECT_FALSE(output.Open(other.c_str(), kCreateBinary));
    EXPECT_EQ(GetLastErrorCode(), 32u);
  }
  EXPECT_EQ(ReadBytes(path), "precious");
  source.Close();
  CFile output;
  EXPECT_TRUE(output.Open((dir / "link.txt").c_str(), kCreateBinary));
  EXPECT_EQ(ReadBytes(path), "");
}

#endif  // !_WIN32

TEST(FileShare, TableHoldsUnderThreads) {
  TempFolder dir;
  std::string path = dir / "contended.bin";
  WriteBytes(path, "");
  std::atomic<int> holders{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> opened{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        CFile file;
        if (!file.Open(path.c_str(), CFile::modeWrite | CFile::shareExclusive)) {
          if (GetLastErrorCode() != 32) overlaps++;
          continue;
        }
        if (holders.fetch_add(1) != 0) overlaps++;
        opened++;
        holders.fetch_sub(1);
        file.Close();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_GT(opened.load(), 0);
  CFile after;
  EXPECT_TRUE(after.Open(path.c_str(), CFile::modeWrite | CFile::shareExclusive));
}

TEST(LastError, IsPerThread) {
  SetLastErrorCode(87);
  uint32_t seen_by_other = 1;
  std::thread other([&] {
    seen_by_other = GetLastErrorCode();
    CFile file;
    file.Open("/nonexistent-tavvel-folder/x", kReadBinary);
  });
  other.join();
  EXPECT_EQ(seen_by_other, 0u);
  EXPECT_EQ(GetLastErrorCode(), 87u);
}

#if !defined(_WIN32)
TEST(FileWrite, FullDeviceRaisesDiskFull) {
  CFile file;
  ASSERT_TRUE(file.Open("/dev/full", CFile::modeWrite | CFile::typeBinary));
  std::string block(100000, 'x');
  try {
    file.Write(block.data(), block.size());
    FAIL() << "a write to /dev/full succeeded";
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_lOsError, 112u);
    EXPECT_EQ(e.m_cause, CFileException::diskFull);
    EXPECT_EQ(e.m_strFileName, "/dev/full");
    EXPECT_EQ(GetLastErrorCode(), 112u);
  }
  file.Close();
  EXPECT_FALSE(file.IsOpen());
}

#endif  // !_WIN32

TEST(FileRead, ErrorsAndClosedFilesRaise) {
  CFile closed;
  char byte;
  EXPECT_THROW(closed.Read(&byte, 1), CFileException);
  EXPECT_THROW(closed.Write(&byte, 1), CFileException);
  EXPECT_THROW(closed.GetLength(), CFileException);
  TempFolder dir;
  WriteBytes(dir / "w.txt", "abc");
  CFile write_only;
  ASSERT_TRUE(write_only.Open((dir / "w.txt").c_str(), CFile::modeWrite | CFile::modeNoTruncate));
  try {
    write_only.Read(&byte, 1);
    FAIL() << "read from a write-only file succeeded";
  } catch (const CFileException& e) {
#if defined(_WIN32)
    EXPECT_EQ(e.m_lOsError, 5u);
#else
    EXPECT_EQ(e.m_lOsError, 6u);
#endif
    EXPECT_EQ(e.m_strFileName, (dir / "w.txt").c_str());
  }
}

#if !defined(_WIN32)
TEST(FileRead, StopsOnlyAtTheEnd) {
  TempFolder dir;
  std::string path = dir / "pipe";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  std::thread writer([&] {
    int fd = ::open(path.c_str(), O_WRONLY);
    for (int i = 0; i < 5; ++i) {
      std::string piece(1000, static_cast<char>('a' + i));
      ASSERT_EQ(::write(fd, piece.data(), piece.size()), 1000);
      ::usleep(5000);
    }
    ::close(fd);
  });
  CFile file;
  ASSERT_TRUE(file.Open(path.c_str(), kReadBinary));
  std::string got(6000, '\0');
  EXPECT_EQ(file.Read(got.data(), got.size()), 5000u);
  writer.join();
  EXPECT_EQ(got.substr(0, 1000), std::string(1000, 'a'));
  EXPECT_EQ(got.substr(4000, 1000), std::string(1000, 'e'));
}

std::atomic<int> g_signals{0};
void CountSignal(int) { g_signals++; }

TEST(FileRead, SignalsDoNotCutARead) {
  TempFolder dir;
  std::string path = dir / "pipe";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  // Without SA_RESTART a signal makes the blocked read fail with EINTR.
  struct sigaction action = {}, previous = {};
  action.sa_handler = CountSignal;
  ::sigemptyset(&action.sa_mask);
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
  std::atomic<bool> reading{false};
  std::string got(4, '\0');
  size_t count = 0;
  std::thread reader([&] {
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), kReadBinary));
    reading = true;
    count = file.Read(got.data(), got.size());
  });
  int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "ab", 2), 2);
  while (!reading) ::usleep(1000);
  for (int i = 0; i < 3; ++i) {
    ::usleep(20000);
    ::pthread_kill(reader.native_handle(), SIGUSR1);
  }
  ::usleep(20000);
  ASSERT_EQ(::write(fd, "cd", 2), 2);
  ::close(fd);
  reader.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(g_signals.load(), 3);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(got, "abcd");
}

#endif  // !_WIN32

TEST(FileLength, SizesAreSixtyFourBit) {
  TempFolder dir;
  std::string path = dir / "sparse.bin";
  constexpr uint64_t kSize = (uint64_t{4} << 30) + 1;
  {
    // Writing past the end leaves a hole, so the file takes no room.
    CFile sparse;
    ASSERT_TRUE(sparse.Open(path.c_str(), kCreateBinary));
    sparse.Write("H", 1);
    EXPECT_EQ(sparse.Seek(static_cast<int64_t>(kSize - 1), CFile::begin), kSize - 1);
    sparse.Write("T", 1);
    sparse.Close();
  }
  CFile file;
  ASSERT_TRUE(file.Open(path.c_str(), kReadBinary));
  EXPECT_EQ(file.GetLength(), kSize);
  EXPECT_EQ(file.Seek(-3, CFile::end), kSize - 3);
  char tail[8] = {};
  EXPECT_EQ(file.Read(tail, sizeof tail), 3u);
  EXPECT_EQ(std::string(tail, 3), std::string("\0\0T", 3));
  EXPECT_EQ(file.Seek(0, CFile::current), kSize);
  EXPECT_EQ(file.Seek(0, CFile::begin), 0u);
  EXPECT_EQ(file.Read(tail, 1), 1u);
  EXPECT_EQ(tail[0], 'H');
  EXPECT_THROW(file.Seek(-1, CFile::begin), CFileException);
}

#if !defined(_WIN32)
// Runs body with file descriptor 1 pointing at path, then puts it back.
template <typename Body>
void WithStandardOutput(const std::string& path, Body body) {
  fflush(stdout);
  int saved = ::dup(STDOUT_FILENO);
  int target = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(target, STDOUT_FILENO);
  ::close(target);
  body();
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
}

TEST(FileStandardOutput, WritesAndStaysOpen) {
  TempFolder dir;
  std::string path = dir / "stdout.txt";
  bool still_open = false;
  bool source_refused = false;
  WithStandardOutput(path, [&] {
    CFile out;
    ASSERT_TRUE(out.OpenStandardOutput());
    EXPECT_EQ(out.GetFilePath(), "-");
    out.Write("hello\n", 6);
    // The file behind standard output cannot be a source meanwhile.
    CFile source;
    source_refused = !source.Open(path.c_str(), kReadBinary) && GetLastErrorCode() == 32;
    out.Close();
    still_open = ::fcntl(STDOUT_FILENO, F_GETFD) != -1;
    CFile later;
    EXPECT_TRUE(later.Open(path.c_str(), kReadBinary));
  });
  EXPECT_TRUE(still_open);
  EXPECT_TRUE(source_refused);
  EXPECT_EQ(ReadBytes(path), "hello\n");
}

TEST(FileStandardOutput, NamedOutputMeansStandardOutput) {
  TempFolder dir;
  std::string path = dir / "stdout.txt";
  std::string dash_file = dir / "-";
  CFile::SetStandardOutputName(dash_file.c_str());
  WithStandardOutput(path, [&] {
    CFile out;
    ASSERT_TRUE(out.Open(dash_file.c_str(), kCreateBinary));
    out.Write("via name", 8);
    out.Close();
    // Reading a file of that name still reads the file.
    CFile in;
    EXPECT_FALSE(in.Open(dash_file.c_str(), kReadBinary));
    EXPECT_EQ(GetLastErrorCode(), 2u);
  });
  CFile::SetStandardOutputName("");
  EXPECT_EQ(ReadBytes(path), "via name");
  EXPECT_FALSE(fs::exists(dash_file));
  CFile plain;
  ASSERT_TRUE(plain.Open(dash_file.c_str(), kCreateBinary));
  EXPECT_TRUE(fs::exists(dash_file));
}

TEST(FileErrors, ErrnoMapsToWindowsCodes) {
  struct Case {
    int error_number;
    uint32_t code;
  };
  const Case cases[] = {
      {ENOENT, 2},   {ENOTDIR, 3}, {EMFILE, 4},        {ENFILE, 4},   {EACCES, 5},  {EPERM, 5},
      {EROFS, 5},    {EISDIR, 5},  {ENOMEM, 8},        {ENOSPC, 112}, {EDQUOT, 112}, {ENAMETOOLONG, 206},
      {EEXIST, 80},  {EINVAL, 87}, {EBADF, 6},         {EPIPE, 109},  {EIO, 1117},  {ELOOP, 1921},
      {EFBIG, 223},  {ETXTBSY, 32}, {EPROTO, 31},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WinErrorFromErrno(c.error_number), c.code) << "errno " << c.error_number;
  }
  TempFolder dir;
  EXPECT_EQ(WinErrorFromErrno(ENOENT, (dir / "absent.txt").c_str()), 2u);
  EXPECT_EQ(WinErrorFromErrno(ENOENT, (dir / "absent/x.txt").c_str()), 3u);
  EXPECT_EQ(WinErrorFromErrno(ENOENT, "relative-absent.txt"), 2u);
}

#endif  // !_WIN32

TEST(FileErrors, CausesOfOsErrors) {
  struct Case {
    uint32_t os_error;
    CFileException::Cause cause;
  };
  const Case cases[] = {
      {0, CFileException::none},
      {2, CFileException::fileNotFound},
      {3, CFileException::badPath},
      {206, CFileException::badPath},
      {4, CFileException::tooManyOpenFiles},
      {5, CFileException::accessDenied},
      {6, CFileException::invalidFile},
      {32, CFileException::sharingViolation},
      {33, CFileException::lockViolation},
      {112, CFileException::diskFull},
      {38, CFileException::endOfFile},
      {1117, CFileException::hardIO},
      {131, CFileException::badSeek},
      {9999, CFileException::genericException},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CFileException::CauseFromOsError(c.os_error), c.cause) << c.os_error;
  }
}

std::vector<std::string> ReadLines(const std::string& path, unsigned flags) {
  CStdioFile file;
  EXPECT_TRUE(file.Open(path.c_str(), flags));
  std::vector<std::string> lines;
  CString line;
  while (file.ReadString(line)) lines.emplace_back(line.View());
  EXPECT_FALSE(file.ReadString(line));
  return lines;
}

TEST(StdioFile, ReadStringRules) {
  using Lines = std::vector<std::string>;
  struct Case {
    const char* name;
    std::string content;
    Lines text;    // opened with typeText
    Lines binary;  // opened with typeBinary
  };
  const std::string nul_line("a\0b", 3);
  const Case cases[] = {
      {"empty_file", "", {}, {}},
      {"crlf", "one\r\ntwo\r\n", {"one", "two"}, {"one\r", "two\r"}},
      {"lf", "one\ntwo\n", {"one", "two"}, {"one", "two"}},
      {"lone_cr_kept", "a\rb\nc", {"a\rb", "c"}, {"a\rb", "c"}},
      {"cr_cr_lf", "a\r\r\n", {"a\r"}, {"a\r\r"}},
      {"last_line_without_lf", "x\ny", {"x", "y"}, {"x", "y"}},
      {"empty_lines", "\n\r\n\nz\n", {"", "", "", "z"}, {"", "\r", "", "z"}},
      {"ctrl_z_ends", "a\nb\x1A" "c\nd\n", {"a", "b"}, {"a", "b\x1A" "c", "d"}},
      {"ctrl_z_first", "\x1A" "a\n", {}, {"\x1A" "a"}},
      {"ctrl_z_after_lf", "a\n\x1A", {"a"}, {"a", "\x1A"}},
      {"trailing_cr_at_end", "a\r", {"a\r"}, {"a\r"}},
      {"nul_kept", nul_line + "\n", {nul_line}, {nul_line}},
  };
  TempFolder dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir / c.name;
    WriteBytes(path, c.content);
    EXPECT_EQ(ReadLines(path, CFile::modeRead | CFile::typeText), c.text);
    EXPECT_EQ(ReadLines(path, CFile::modeRead | CFile::typeBinary), c.binary);
  }
}

TEST(StdioFile, LongLinesAndBufferEdges) {
  TempFolder dir;
  const size_t chunk = 64 * 1024;
  std::string long_line(200000, 'L');
  for (size_t i = 0; i < long_line.size(); i += 997) long_line[i] = static_cast<char>('a' + i % 26);
  // The CR of the second line is the last byte of the first 64 KiB read, its LF the first of the next.
  std::string second(chunk - 3 - 1, 'S');
  std::string content = "ab\n" + second + "\r\n" + long_line + "\r\n" + "end";
  ASSERT_EQ(content[chunk - 1], '\r');
  std::string path = dir / "long.txt";
  WriteBytes(path, content);
  std::vector<std::string> expected = {"ab", second, long_line, "end"};
  EXPECT_EQ(ReadLines(path, CFile::modeRead | CFile::typeText), expected);
}

TEST(StdioFile, ReopeningStartsAfresh) {
  TempFolder dir;
  WriteBytes(dir / "first.txt", "one\ntwo\n");
  WriteBytes(dir / "second.txt", "three\n");
  CStdioFile file;
  CString line;
  ASSERT_TRUE(file.Open((dir / "first.txt").c_str(), CFile::modeRead | CFile::typeText));
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(line, "one");
  file.Close();
  ASSERT_TRUE(file.Open((dir / "second.txt").c_str(), CFile::modeRead | CFile::typeText));
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(line, "three");
  EXPECT_FALSE(file.ReadString(line));
}

}  // namespace
