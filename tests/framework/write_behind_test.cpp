// Work on a second thread. CBackgroundTask: the task runs, and what it threw
// is raised by Wait. CWriteBehind: bytes reach the file whole and in order,
// across blocks and through Room and Commit; the file emptied first or kept;
// a failed write raised on the caller's side, then and after.
#include "framework/write_behind.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "framework/threads.h"
#include "tests/support/files.h"

namespace {

using tavvel_test::ReadFile;
using tavvel_test::TempFolder;
using tavvel_test::WriteFile;

constexpr unsigned kCreateKeeping =
    CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite | CFile::typeBinary;

TEST(BackgroundTask, RunsTheTaskAndRaisesWhatItThrewOnce) {
  int ran = 0;
  CBackgroundTask task([&] { ran = 1; });
  task.Wait();
  EXPECT_EQ(ran, 1);
  CBackgroundTask failing([] { throw CMemoryException(); });
  EXPECT_THROW(failing.Wait(), CMemoryException);
  EXPECT_NO_THROW(failing.Wait());
}

TEST(WriteBehind, BytesArriveWholeAndInOrder) {
  TempFolder dir;
  const std::string path = dir / "out.bin";
  // Pieces on both sides of the 1 MiB block, one larger than a block; odd
  // sizes copied by Write, even ones made in place.
  std::string written;
  uint32_t seed = 7;
  for (size_t size : {3, 1 << 20, (1 << 20) - 2, 5, 3 << 20, 0, 70001}) {
    std::string piece(size, '\0');
    for (char& c : piece) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
    written += piece;
  }
  for (bool flushed : {true, false}) {
    WriteFile(path, "old");
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), kCreateKeeping));
    {
      CWriteBehind behind(file, true);
      for (size_t at = 0, i = 0; at < written.size(); ++i) {
        const size_t size = std::min<size_t>(written.size() - at, i % 2 ? 1 << 20 : (3 << 20) + 1);
        if (size % 2 != 0) {
          behind.Write(written.data() + at, size);
        } else {
          std::memcpy(behind.Room(size + 9), written.data() + at, size);
          behind.Commit(size);
        }
        at += size;
      }
      if (flushed) behind.Flush();  // else the end of behind writes what waits
    }
    file.Close();
    EXPECT_TRUE(ReadFile(path) == written) << "flushed " << flushed;
  }
}

TEST(WriteBehind, EmptiesTheFileOnlyWhenAsked) {
  TempFolder dir;
  const std::string path = dir / "out.bin";
  for (bool empty_first : {true, false}) {
    WriteFile(path, "old content");
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), kCreateKeeping));
    CWriteBehind behind(file, empty_first);
    behind.Write("new", 3);
    behind.Flush();
    file.Close();
    EXPECT_EQ(ReadFile(path), empty_first ? "new" : "new content");
  }
}

#if !defined(_WIN32)

TEST(WriteBehind, AFailedWriteIsRaisedFromThenOn) {
  CFile file;
  ASSERT_TRUE(file.Open("/dev/full", CFile::modeWrite | CFile::typeBinary));
  CWriteBehind behind(file, true);
  const std::string block(3 << 20, 'x');
  const auto raises_disk_full = [](auto step) {
    try {
      step();
    } catch (const CFileException& e) {
      return e.m_lOsError == 112u && e.m_strFileName == "/dev/full";
    }
    return false;
  };
  EXPECT_TRUE(raises_disk_full([&] {
    behind.Write(block.data(), block.size());
    behind.Flush();
  }));
  EXPECT_TRUE(raises_disk_full([&] { behind.Write("x", 1); }));
  EXPECT_TRUE(raises_disk_full([&] { behind.Flush(); }));
}

#endif  // !_WIN32

}  // namespace
