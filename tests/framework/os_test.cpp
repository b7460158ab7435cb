// Attributes, identity, folder enumeration with Windows wildcards, the
// module's path and extension replacement, on POSIX.
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "framework/file.h"
#include "framework/os.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using tavvel_test::TempFolder;

void Touch(const std::string& path) { std::ofstream(path, std::ios::binary) << "x"; }

using Names = std::set<std::string>;

// Every name the enumeration of pattern reports; fails the test if the
// "another entry follows" answers disagree with what comes.
Names Enumerate(const std::string& pattern) {
  Names names;
  CFileFind finder;
  bool more = finder.FindFile(pattern.c_str());
  while (more) {
    more = finder.FindNextFile();
    EXPECT_TRUE(names.insert(finder.GetFileName().GetString()).second) << "reported twice";
  }
  EXPECT_FALSE(finder.FindNextFile());
  return names;
}

TEST(FileFind, WildcardsFollowWindowsRules) {
  TempFolder dir;
  for (const char* name : {"a.txt", "B.TXT", "noext", ".hidden", "a.b.c", "abc.tx", "日本.txt", "readme"}) {
    Touch(dir / name);
  }
  fs::create_directory(dir / "sub.d");
  const Names all = {".", "..", "a.txt", "B.TXT", "noext", ".hidden", "a.b.c", "abc.tx", "日本.txt", "readme",
                     "sub.d"};
  struct Case {
    const char* mask;
    Names expected;
  };
  const Case cases[] = {
      {"*.*", all},
      {"*", all},
      {"*.txt", {"a.txt", "B.TXT", "日本.txt"}},
      {"*.TXT", {"a.txt", "B.TXT", "日本.txt"}},
      {"?.txt", {"a.txt", "B.TXT"}},
      {"??.txt", {"日本.txt"}},
      {"a*", {"a.txt", "a.b.c", "abc.tx"}},
      {"*.tx", {"abc.tx"}},
      {"*.?", {"..", "a.b.c", "sub.d"}},
      {"NOEXT", {"noext"}},
      {"readme.*", {"readme"}},
      {".*", {".", "..", ".hidden"}},
      {"*b*c*", {"a.b.c", "abc.tx"}},
      {"a*.*", {"a.txt", "a.b.c", "abc.tx"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Enumerate(dir / c.mask), c.expected) << c.mask;
  }
}

TEST(FileFind, NothingFoundAndMissingFolders) {
  TempFolder dir;
  Touch(dir / "file.txt");
  struct Case {
    const char* name;
    std::string pattern;
    uint32_t code;
  };
  const Case cases[] = {
      {"no_match", dir / "zzz*", 2},
      {"missing_folder", dir / "absent/*.*", 3},
#if !defined(_WIN32)
      {"file_as_folder", dir / "file.txt/*.*", 3},
#endif
      {"empty_pattern", "", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFileFind finder;
    EXPECT_FALSE(finder.FindFile(c.pattern.c_str()));
    EXPECT_EQ(GetLastErrorCode(), c.code);
    EXPECT_FALSE(finder.FindNextFile());
  }
}

#if !defined(_WIN32)
TEST(FileFind, EntriesPathsDotsAndDirectories) {
  TempFolder dir;
  fs::create_directory(dir / "walk");
  Touch(dir / "walk/.profile");
  Touch(dir / "walk/plain");
  fs::create_directory(dir / "walk/folder");
  fs::create_directory_symlink(dir / "walk/folder", dir / "walk/folder_link");
  fs::create_symlink(dir / "walk/plain", dir / "walk/plain_link");
  fs::create_symlink(dir / "walk/gone", dir / "walk/dangling");
  struct Seen {
    std::string path;
    bool directory;
    bool dots;
  };
  std::map<std::string, Seen> seen;
  CFileFind finder;
  bool more = finder.FindFile((dir / "walk/*.*").c_str());
  while (more) {
    more = finder.FindNextFile();
    std::string name = finder.GetFileName().GetString();
    seen[name] = {finder.GetFilePath().GetString(), finder.IsDirectory(), finder.IsDots()};
  }
  const std::map<std::string, std::pair<bool, bool>> expected = {
      {".", {true, true}},          {"..", {true, true}},           {".profile", {false, false}},
      {"plain", {false, false}},    {"folder", {true, false}},      {"folder_link", {true, false}},
      {"plain_link", {false, false}}, {"dangling", {false, false}},
  };
  ASSERT_EQ(seen.size(), expected.size());
  for (const auto& [name, flags] : expected) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(seen.count(name));
    EXPECT_EQ(seen[name].path, dir / ("walk/" + name));
    EXPECT_EQ(seen[name].directory, flags.first);
    EXPECT_EQ(seen[name].dots, flags.second);
  }
}

#endif  // !_WIN32

TEST(FileFind, EntriesOfTheRootFolderHaveOneSeparator) {
  CFileFind root;
  ASSERT_TRUE(root.FindFile("/*"));
  root.FindNextFile();
  EXPECT_EQ(std::string(root.GetFilePath().GetString()), "/" + std::string(root.GetFileName().GetString()));
}

#if !defined(_WIN32)
TEST(FileAttributes, KindsAndFailures) {
  TempFolder dir;
  Touch(dir / "file");
  Touch(dir / ".dotfile");
  Touch(dir / "readonly");
  ::chmod((dir / "readonly").c_str(), 0444);
  fs::create_directory(dir / "folder");
  fs::create_directory_symlink(dir / "folder", dir / "folder_link");
  struct Case {
    const char* name;
    std::string path;
    uint32_t attributes;
    uint32_t error;
  };
  const Case cases[] = {
      {"file", dir / "file", kFileAttributeNormal, 0},
      {"hidden", dir / ".dotfile", kFileAttributeHidden, 0},
      {"readonly", dir / "readonly", kFileAttributeReadOnly, 0},
      {"folder", dir / "folder", kFileAttributeDirectory, 0},
      {"folder_trailing_slash", dir / "folder/", kFileAttributeDirectory, 0},
      {"folder_link", dir / "folder_link", kFileAttributeDirectory, 0},
      {"missing", dir / "absent", kInvalidFileAttributes, 2},
      {"missing_folder", dir / "absent/file", kInvalidFileAttributes, 3},
      {"empty", "", kInvalidFileAttributes, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastErrorCode(0);
    EXPECT_EQ(GetFileAttributesOf(c.path.c_str()), c.attributes);
    EXPECT_EQ(GetLastErrorCode(), c.error);
  }
}

#endif  // !_WIN32

TEST(FileIdentityTest, LinksAndSpellingsOfOneFileShareIdentity) {
  TempFolder dir;
  Touch(dir / "one");
  Touch(dir / "two");
  fs::create_directory(dir / "sub");
  FileIdentity one, two;
  ASSERT_TRUE(GetFileIdentity((dir / "one").c_str(), &one));
  ASSERT_TRUE(GetFileIdentity((dir / "two").c_str(), &two));
  EXPECT_FALSE(one == two);
  std::vector<std::string> others = {"sub/../one"};
#if !defined(_WIN32)
  fs::create_symlink(dir / "one", dir / "soft");
  fs::create_hard_link(dir / "one", dir / "hard");
  others.insert(others.end(), {"soft", "hard"});
#endif
  for (const std::string& other : others) {
    FileIdentity same;
    ASSERT_TRUE(GetFileIdentity((dir / other).c_str(), &same)) << other;
    EXPECT_EQ(one, same) << other;
  }
  FileIdentity missing;
  EXPECT_FALSE(GetFileIdentity((dir / "absent").c_str(), &missing));
  EXPECT_EQ(GetLastErrorCode(), 2u);
}

TEST(ModuleFileName, IsTheRunningExecutable) {
  CString path = GetModuleFileName();
  ASSERT_FALSE(path.IsEmpty());
#if defined(_WIN32)
  EXPECT_EQ(PathRenameExtension(path, ".exe"), path);
  EXPECT_NE(GetFileAttributesOf(path), kInvalidFileAttributes);
#else
  EXPECT_EQ(path.GetAt(0), '/');
  FileIdentity module, exe;
  ASSERT_TRUE(GetFileIdentity(path, &module));
  ASSERT_TRUE(GetFileIdentity("/proc/self/exe", &exe));
  EXPECT_EQ(module, exe);
#endif
}

TEST(PathRenameExtensionTest, ReplacesTheLastComponentsExtension) {
  struct Case {
    const char* path;
    const char* extension;
    const char* expected;
  };
  const std::string long_folder = "C:\\" + std::string(300, 'f') + ".d\\";
  const std::string long_path = long_folder + "join.exe";
  const std::string long_expected = long_folder + "join.ini";
  const Case cases[] = {
      {"C:\\Tools\\JOIN.EXE", ".ini", "C:\\Tools\\JOIN.ini"},
      {"join.", ".ini", "join.ini"},
      {"join", "", "join"},
      {"", ".ini", ".ini"},
      {long_path.c_str(), ".ini", long_expected.c_str()},
#if defined(_WIN32)
      {"C:\\Tools.d\\join", ".ini", "C:\\Tools.d\\join.ini"},
      {"C:\\Tools\\join.tar.gz", ".html", "C:\\Tools\\join.tar.html"},
#else
    {"/opt/tavvel/tavvel", ".ini", "/opt/tavvel/tavvel.ini"},
    {"/opt/tavvel.d/tavvel", ".ini", "/opt/tavvel.d/tavvel.ini"},
    {"/opt/v1.2/join.tar.gz", ".ini", "/opt/v1.2/join.tar.ini"},
    {"/home/u/.tavvel", ".ini", "/home/u/.tavvel.ini"},
#endif
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathRenameExtension(c.path, c.extension), c.expected) << c.path;
  }
}

}  // namespace
