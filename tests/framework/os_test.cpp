// Attributes, identity, folder enumeration with Windows wildcards, the
// module's path and extension replacement, on POSIX.
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
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

void Touch(const std::string& path) { tavvel_test::WriteFile(path, "x"); }

using Names = std::set<std::string>;

// Every entry the enumeration of mask in folder reports, folders with a '/' after the name;
// fails the test if an entry's path, its dots flag or the "another entry follows" answers
// disagree with what comes.
Names Enumerate(const std::string& folder, const std::string& mask) {
  Names names;
  CFileFind finder;
  bool more = finder.FindFile((folder + kPathSeparator + mask).c_str());
  while (more) {
    more = finder.FindNextFile();
    const std::string name = finder.GetFileName().GetString();
    EXPECT_EQ(finder.GetFilePath().GetString(), folder + kPathSeparator + name);
    EXPECT_EQ(finder.IsDots(), name == "." || name == "..") << name;
    EXPECT_TRUE(names.insert(finder.IsDirectory() ? name + "/" : name).second) << "reported twice";
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
  const Names all = {"./",    "../",    "a.txt",    "B.TXT",  "noext", ".hidden",
                     "a.b.c", "abc.tx", "日本.txt", "readme", "sub.d/"};
  // clang-format off
  const std::pair<const char*, Names> cases[] = {
      {"*.*", all}, {"*", all}, {"*.txt", {"a.txt", "B.TXT", "日本.txt"}},
      {"*.TXT", {"a.txt", "B.TXT", "日本.txt"}}, {"?.txt", {"a.txt", "B.TXT"}}, {"??.txt", {"日本.txt"}},
      {"a*", {"a.txt", "a.b.c", "abc.tx"}}, {"*.tx", {"abc.tx"}}, {"*.?", {"../", "a.b.c", "sub.d/"}},
      {"NOEXT", {"noext"}}, {"readme.*", {"readme"}}, {".*", {"./", "../", ".hidden"}},
      {"*b*c*", {"a.b.c", "abc.tx"}}, {"a*.*", {"a.txt", "a.b.c", "abc.tx"}}, {"zzz*", {}},
  };
  // clang-format on
  for (const auto& [mask, expected] : cases) EXPECT_EQ(Enumerate(dir.path(), mask), expected) << mask;
  EXPECT_FALSE(Enumerate("", "*").empty()) << "the root folder's entries have one separator";
}

// A path that leads nowhere gets the code Windows gives, whichever call meets it.
TEST(PathErrors, AttributesIdentityAndEnumerationGiveWindowsCodes) {
  TempFolder dir;
  Touch(dir / "file.txt");
  // clang-format off
  const std::tuple<const char*, std::string, uint32_t> cases[] = {
      {"missing", dir / "absent", 2}, {"missing_folder", dir / "absent/file", 3},
#if !defined(_WIN32)
      {"file_as_folder", dir / "file.txt/file", 3}, {"empty", "", 3},
#endif
  };
  // clang-format on
  for (const auto& [name, path, code] : cases) {
    SCOPED_TRACE(name);
    SetLastErrorCode(0);
    EXPECT_EQ(GetFileAttributesOf(path.c_str()), kInvalidFileAttributes);
    EXPECT_EQ(GetLastErrorCode(), code);
    FileIdentity identity;
    SetLastErrorCode(0);
    EXPECT_FALSE(GetFileIdentity(path.c_str(), &identity));
    EXPECT_EQ(GetLastErrorCode(), code);
    CFileFind finder;
    SetLastErrorCode(0);
    EXPECT_FALSE(finder.FindFile(path.c_str()));
    EXPECT_EQ(GetLastErrorCode(), code);
    EXPECT_FALSE(finder.FindNextFile());
  }
}

#if !defined(_WIN32)
// Links count as what they point to; a dangling one as a file.
TEST(FileFind, LinksAndHiddenNames) {
  TempFolder dir;
  Touch(dir / ".profile");
  Touch(dir / "plain");
  fs::create_directory(dir / "folder");
  fs::create_directory_symlink(dir / "folder", dir / "folder_link");
  fs::create_symlink(dir / "plain", dir / "plain_link");
  fs::create_symlink(dir / "gone", dir / "dangling");
  EXPECT_EQ(Enumerate(dir.path(), "*.*"),
            (Names{"./", "../", ".profile", "plain", "folder/", "folder_link/", "plain_link", "dangling"}));
}

TEST(FileAttributes, Kinds) {
  TempFolder dir;
  Touch(dir / "file");
  Touch(dir / ".dotfile");
  Touch(dir / "readonly");
  ::chmod((dir / "readonly").c_str(), 0444);
  fs::create_directory(dir / "folder");
  fs::create_directory_symlink(dir / "folder", dir / "folder_link");
  const std::map<std::string, uint32_t> cases = {
      {"file", kFileAttributeNormal},       {".dotfile", kFileAttributeHidden},
      {"readonly", kFileAttributeReadOnly}, {"folder", kFileAttributeDirectory},
      {"folder/", kFileAttributeDirectory}, {"folder_link", kFileAttributeDirectory},
  };
  for (const auto& [name, attributes] : cases) {
    EXPECT_EQ(GetFileAttributesOf((dir / name).c_str()), attributes) << name;
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
  const std::string long_folder = "C:\\" + std::string(300, 'f') + ".d\\";
  const std::string long_path = long_folder + "join.exe";
  const std::string long_expected = long_folder + "join.ini";
  // path, extension, result
  // clang-format off
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"C:\\Tools\\JOIN.EXE", ".ini", "C:\\Tools\\JOIN.ini"}, {"join.", ".ini", "join.ini"},
      {"join", "", "join"}, {"", ".ini", ".ini"}, {long_path.c_str(), ".ini", long_expected.c_str()},
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
  // clang-format on
  for (const auto& [path, extension, expected] : cases)
    EXPECT_EQ(PathRenameExtension(path, extension), expected) << path;
}

}  // namespace
