// List paths: entry form, folder walk and the two sorts.
#include "filelist/filelist.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <dirent.h>
#endif

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "framework/os.h"
#include "tests/support/support.h"

namespace {

using tavvel_test::TempFolder;
using tavvel_test::WriteFile;
namespace fs = std::filesystem;

TEST(LowerAsciiPath, LowersOnlyAsciiCapitals) {
  // path, lowered, result
  const std::tuple<std::string, std::string, int> cases[] = {
      {"C:\\Tools\\JOIN.EXE", "c:\\tools\\join.exe", 9},
      {"", "", 0},
      {"@[`{az09", "@[`{az09", 0},                            // the neighbours of the capitals
      {"AB\x83\x41GH", "ab\x83\x41gh", 4},                    // the trail byte 0x41 stays
      {"\x83\x5CZ", "\x83\x5Cz", 1},                          // a trail byte 0x5C is no separator
      {"\x82\x60Z", "\x82\x60z", 1},                          // the full-width capital stays
      {"\x81Z\x9FY\xE0X\xFCWV", "\x81Z\x9FY\xE0X\xFCWv", 1},  // the edges of the lead ranges
      {"\x80G\xA0H\xDFI\xFDJ", "\x80g\xA0h\xDFi\xFDj", 4},    // bytes next to them are single
      {"AB\x83", "ab\x83", -1},                               // a lead byte last
  };
  for (const auto& [path, lowered, result] : cases) {
    SCOPED_TRACE(path);
    std::string buffer = path;
    EXPECT_EQ(LowerAsciiPath(buffer.data()), result);
    EXPECT_EQ(buffer, lowered);
  }
}

TEST(LowerAsciiPath, CodePage932WhateverTheLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  for (const char* locale : {"C.UTF-8", "ja_JP.UTF-8", ".65001"}) {
    if (std::setlocale(LC_ALL, locale) == nullptr) continue;
    std::string path = "A\x83\x41";
    EXPECT_EQ(LowerAsciiPath(path.data()), 1) << locale;
    EXPECT_EQ(path, "a\x83\x41") << locale;
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(ListEntryForm, RefusesPathsLongerThan259Bytes) {
  CString entry = "kept";
  const std::string longest = "/" + std::string(258, 'A');
  ASSERT_TRUE(ListEntryForm(longest.c_str(), &entry));
  EXPECT_EQ(entry,
            kPathsIgnoreCase ? CString(("/" + std::string(258, 'a')).c_str()) : CString(longest.c_str()));
  EXPECT_FALSE(ListEntryForm((longest + "x").c_str(), &entry));
  EXPECT_EQ(entry.GetLength(), 259u) << "left alone";
}

// --- folder walk ---------------------------------------------------------------------------

class Walk : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir / name; }
  // A walk that does not end is cut short after 100 files, so that it fails
  // here rather than run until the paths grow too long.
  void Run(const std::string& folder) {
    struct Endless {};
    try {
      WalkFolder(
          "*.*", folder.c_str(),
          [&](const CString& path) {
            files.emplace_back(path.View());
            if (files.size() > 100) throw Endless{};
          },
          [&](const CString& path) { refused.emplace_back(path.View()); });
    } catch (const Endless&) {
      ADD_FAILURE() << "the walk did not end";
    }
  }
  TempFolder dir;
  std::vector<std::string> files, refused;
};

#if !defined(_WIN32)
// Names in a folder in the order the file system enumerates them.
std::vector<std::string> FolderOrder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  while (const dirent* entry = dir ? ::readdir(dir) : nullptr) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (dir) ::closedir(dir);
  return names;
}

TEST_F(Walk, DepthFirstInTheFileSystemsOrderHiddenFilesIncluded) {
  fs::create_directories(Path("tree/sub/deeper"));
  fs::create_directories(Path("tree/empty"));
  for (const char* name :
       {"tree/a.txt", "tree/.hidden", "tree/noext", "tree/sub/b.txt", "tree/sub/deeper/c.txt"}) {
    WriteFile(Path(name), "x");
  }
  std::vector<std::string> expected;
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    for (const std::string& name : FolderOrder(folder)) {
      const std::string path = folder + kPathSeparator + name;
      if (fs::is_directory(path)) {
        walk(path);
      } else {
        expected.push_back(path);
      }
    }
  };
  walk(Path("tree"));
  Run(Path("tree"));
  EXPECT_EQ(files, expected);
  EXPECT_EQ(files.size(), 5u);
  EXPECT_TRUE(refused.empty());
}

TEST_F(Walk, EndsOnLinkCycles) {
  fs::create_directories(Path("root/sub"));
  WriteFile(Path("root/a.txt"), "a");
  WriteFile(Path("root/sub/b.txt"), "b");
  fs::create_directory_symlink(Path("root"), Path("root/sub/up"));  // a cycle through the parent
  fs::create_directory_symlink(".", Path("root/self"));             // and through the folder itself
  Run(Path("root"));
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{Path("root/a.txt"), Path("root/sub/b.txt")}));
}
#endif

TEST_F(Walk, FolderTooDeepToListIsRefusedAndTheWalkGoesOn) {
  // "near" is a folder of exactly 240 bytes; "far" in it has 271 bytes, so its
  // search pattern does not fit a path buffer where patterns must (Windows).
  std::string near = Path("walk");
  while (near.size() < 240) {
    const size_t part = std::min<size_t>(60, 240 - near.size() - 1);
    near += kPathSeparator + std::string(part, static_cast<char>('p' + near.size() % 8));
  }
  const std::string far = near + kPathSeparator + std::string(30, 'f');
  fs::create_directories(far);
  WriteFile(far + kPathSeparator + "x.txt", "x");
  WriteFile(Path("walk/short.txt"), "y");
  Run(Path("walk"));
#if defined(_WIN32)
  EXPECT_EQ(files, std::vector<std::string>{Path("walk/short.txt")});
  EXPECT_EQ(refused, std::vector<std::string>{far});
#else
  std::vector<std::string> expected = {far + kPathSeparator + "x.txt", Path("walk/short.txt")};
  std::sort(files.begin(), files.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(files, expected);
  EXPECT_TRUE(refused.empty());
#endif
}

// --- sorting ---------------------------------------------------------------------------------

TEST(PathOrder, ComparesUnsignedBytes) {
  // name, a path, a path that sorts after it
  // clang-format off
  const std::tuple<const char*, std::string, std::string> before[] = {
      {"digits_are_not_numbers", "/dir/file10.txt", "/dir/file2.txt"},
      {"hyphen_before_backslash", "c:\\a-z.txt", "c:\\a\\z.txt"},
      {"hyphen_before_slash_before_letters", "/a-z", "/a/z"}, {"prefix_first", "/a", "/a.txt"},
      {"capitals_before_small", "/B", "/a"}, {"high_bytes_after_ascii", "/z", "/\x82\xa0"},
      {"lead_then_trail", "/\x82\xa0", "/\x82\xa1"}, {"0x7f_before_0x80", "/\x7f", "/\x80"},
  };
  // clang-format on
  for (const auto& [name, a, b] : before) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(PathLess(a, b));
    EXPECT_FALSE(PathLess(b, a));
  }
  EXPECT_FALSE(PathLess("/same", "/same"));
}

TEST(SortPaths, DescendingIsTheExactReverseOfAscending) {
  std::vector<CString> paths = {"/b", "/a", "/dir/file2", "/a", "/dir/file10", "/a-z", "/a/z"};
  const std::vector<CString> ascending = {"/a", "/a", "/a-z", "/a/z", "/b", "/dir/file10", "/dir/file2"};
  SortPaths(paths, SortOrder::kAscending);
  EXPECT_EQ(paths, ascending);
  SortPaths(paths, SortOrder::kDescending);
  EXPECT_EQ(paths, std::vector<CString>(ascending.rbegin(), ascending.rend()));
}

}  // namespace
