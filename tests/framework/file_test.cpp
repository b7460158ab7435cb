// CFile and CStdioFile on POSIX: open errors as Windows codes, share modes,
// truncation, 64-bit sizes, failing writes, standard output, line reading.
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "framework/file.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using tavvel_test::ReadFile;
using tavvel_test::TempFolder;
using tavvel_test::WriteFile;

constexpr unsigned kReadBinary = CFile::modeRead | CFile::typeBinary;
constexpr unsigned kCreateBinary = CFile::modeCreate | CFile::modeWrite | CFile::typeBinary;

TEST(FileOpen, FailuresGiveWindowsCodes) {
  TempFolder dir;
  WriteFile(dir / "plain.txt", "x");
  fs::create_directory(dir / "sub");
  using Case = std::tuple<const char*, std::string, unsigned, uint32_t, CFileException::Cause>;
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
  for (const auto& [name, path, flags, code, cause] : cases) {
    SCOPED_TRACE(name);
    CFile file;
    CFileException error;
    SetLastErrorCode(0);
    EXPECT_FALSE(file.Open(path.c_str(), flags, &error));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(GetLastErrorCode(), code);
    EXPECT_EQ(error.m_lOsError, code);
    EXPECT_EQ(error.m_cause, cause);
    EXPECT_EQ(error.m_strFileName, path.c_str());
  }
  EXPECT_FALSE(fs::exists(dir / "absent"));
}

TEST(FileOpen, CreateTruncatesUnlessNoTruncate) {
  TempFolder dir;
  const auto write = [](const std::string& path, unsigned flags, uint64_t length_found) {
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), kCreateBinary | flags));
    EXPECT_EQ(file.GetLength(), length_found);
    file.Write("new", 3);
  };
  WriteFile(dir / "out.bin", "old content");
  write(dir / "out.bin", CFile::modeNoTruncate, 11);
  EXPECT_EQ(ReadFile(dir / "out.bin"), "new content");
  write(dir / "out.bin", 0, 0);
  EXPECT_EQ(ReadFile(dir / "out.bin"), "new");
  write(dir / "fresh.bin", CFile::modeNoTruncate, 0);
  EXPECT_EQ(ReadFile(dir / "fresh.bin"), "new");
  // SetLength cuts, and writing goes on from the new end.
  CFile file;
  ASSERT_TRUE(file.Open((dir / "out.bin").c_str(), kCreateBinary));
  file.Write("0123456789", 10);
  file.SetLength(4);
  file.Write("x", 1);
  file.Close();
  EXPECT_EQ(ReadFile(dir / "out.bin"), "0123x");
}

TEST(FileShare, SecondOpenFollowsWindowsRules) {
  TempFolder dir;
  std::string path = dir / "shared.txt";
  WriteFile(path, "data");
  constexpr unsigned R = CFile::modeRead, W = CFile::modeWrite, RW = CFile::modeReadWrite;
  // A second open of the file while the first is held: whether it is let in.
  const std::tuple<const char*, unsigned, unsigned, bool> cases[] = {
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
  for (const auto& [name, first_flags, second_flags, allowed] : cases) {
    SCOPED_TRACE(name);
    CFile first;
    ASSERT_TRUE(first.Open(path.c_str(), first_flags));
    CFile second;
    CFileException error;
    EXPECT_EQ(second.Open(path.c_str(), second_flags, &error), allowed);
    if (!allowed) {
      EXPECT_EQ(GetLastErrorCode(), 32u);
      EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
      first.Close();
      EXPECT_TRUE(second.Open(path.c_str(), second_flags));
    }
  }
}

#if !defined(_WIN32)
TEST(FileShare, FileInUseIsNeitherTruncatedNorReachedThroughLink) {
  TempFolder dir;
  std::string path = dir / "source.txt";
  WriteFile(path, "precious");
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
  EXPECT_EQ(ReadFile(path), "precious");
  source.Close();
  CFile output;
  EXPECT_TRUE(output.Open((dir / "link.txt").c_str(), kCreateBinary));
  EXPECT_EQ(ReadFile(path), "");
}

#endif  // !_WIN32

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
  WriteFile(dir / "w.txt", "abc");
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

#endif  // !_WIN32

TEST(FileMapping, MapsRegularFilesWholeAndRefusesEmptyOnes) {
  TempFolder dir;
  const std::string bytes = std::string("a\0b\r\n") + std::string(70000, '\x82') + "z";
  WriteFile(dir / "text.bin", bytes);
  WriteFile(dir / "empty.bin", "");
  CFileMapping mapping;
  {
    CFile file;
    ASSERT_TRUE(file.Open((dir / "text.bin").c_str(), kReadBinary));
    ASSERT_TRUE(mapping.Map(file));
    file.Close();
  }
  ASSERT_EQ(mapping.GetLength(), bytes.size());
  EXPECT_EQ(std::string(mapping.GetData(), mapping.GetLength()), bytes);

  CFile empty;
  ASSERT_TRUE(empty.Open((dir / "empty.bin").c_str(), kReadBinary));
  EXPECT_FALSE(mapping.Map(empty));
  EXPECT_EQ(mapping.GetData(), nullptr);
  EXPECT_EQ(mapping.GetLength(), 0u);
}

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

TEST(FileStandardOutput, TheNamedOutputWritesThereAndStaysOpen) {
  TempFolder dir;
  std::string path = dir / "stdout.txt";
  std::string dash_file = dir / "-";
  CFile::SetStandardOutputName(dash_file.c_str());
  bool still_open = false;
  WithStandardOutput(path, [&] {
    CFile out;
    ASSERT_TRUE(out.Open(dash_file.c_str(), kCreateBinary));
    out.Write("hello\n", 6);
    // The file behind standard output cannot be a source meanwhile; a file
    // of the output's name is read as a file.
    CFile source;
    EXPECT_FALSE(source.Open(path.c_str(), kReadBinary));
    EXPECT_EQ(GetLastErrorCode(), 32u);
    EXPECT_FALSE(source.Open(dash_file.c_str(), kReadBinary));
    EXPECT_EQ(GetLastErrorCode(), 2u);
    out.Close();
    still_open = ::fcntl(STDOUT_FILENO, F_GETFD) != -1;
    EXPECT_TRUE(source.Open(path.c_str(), kReadBinary));
  });
  CFile::SetStandardOutputName("");
  EXPECT_TRUE(still_open);
  EXPECT_EQ(ReadFile(path), "hello\n");
  EXPECT_FALSE(fs::exists(dash_file));
}

#endif  // !_WIN32

std::vector<std::string> ReadLines(CStdioFile& file, const std::string& path, unsigned flags) {
  EXPECT_TRUE(file.Open(path.c_str(), flags));
  std::vector<std::string> lines;
  CString line;
  while (file.ReadString(line)) lines.emplace_back(line.View());
  EXPECT_FALSE(file.ReadString(line));
  file.Close();
  return lines;
}

TEST(StdioFile, ReadStringRules) {
  using Lines = std::vector<std::string>;
  const std::string nul_line("a\0b", 3);
  // name, content, the lines read in text mode, the lines read in binary mode; \032 is Ctrl-Z
  // clang-format off
  const std::tuple<const char*, std::string, Lines, Lines> cases[] = {
      {"empty_file", "", {}, {}}, {"crlf", "one\r\ntwo\r\n", {"one", "two"}, {"one\r", "two\r"}},
      {"lf", "one\ntwo\n", {"one", "two"}, {"one", "two"}},
      {"lone_cr_kept", "a\rb\nc", {"a\rb", "c"}, {"a\rb", "c"}}, {"cr_cr_lf", "a\r\r\n", {"a\r"}, {"a\r\r"}},
      {"last_line_without_lf", "x\ny", {"x", "y"}, {"x", "y"}},
      {"empty_lines", "\n\r\n\nz\n", {"", "", "", "z"}, {"", "\r", "", "z"}},
      {"ctrl_z_ends", "a\nb\032c\nd\n", {"a", "b"}, {"a", "b\032c", "d"}},
      {"ctrl_z_first", "\032a\n", {}, {"\032a"}}, {"ctrl_z_after_lf", "a\n\032", {"a"}, {"a", "\032"}},
      {"trailing_cr_at_end", "a\r", {"a\r"}, {"a\r"}}, {"nul_kept", nul_line + "\n", {nul_line}, {nul_line}},
  };
  // clang-format on
  TempFolder dir;
  WriteFile(dir / "first.txt", "one\ntwo\n");
  CStdioFile file;
  CString line;
  for (const auto& [name, content, text, binary] : cases) {
    SCOPED_TRACE(name);
    std::string path = dir / name;
    WriteFile(path, content);
    // Reopening after a line was read starts afresh.
    ASSERT_TRUE(file.Open((dir / "first.txt").c_str(), CFile::modeRead | CFile::typeText));
    ASSERT_TRUE(file.ReadString(line));
    file.Close();
    EXPECT_EQ(ReadLines(file, path, CFile::modeRead | CFile::typeText), text);
    EXPECT_EQ(ReadLines(file, path, CFile::modeRead | CFile::typeBinary), binary);
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
  WriteFile(path, content);
  std::vector<std::string> expected = {"ab", second, long_line, "end"};
  CStdioFile file;
  EXPECT_EQ(ReadLines(file, path, CFile::modeRead | CFile::typeText), expected);
}

}  // namespace
