// Private-profile files in the Windows format: reading rules, integers,
// truncation, rewriting in place, values that need quotes and failed writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "framework/file.h"
#include "framework/os.h"
#include "tests/support/files.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using tavvel_test::ReadFile;
using tavvel_test::TempFolder;
using tavvel_test::WriteFile;

std::string Read(const char* section, const char* key, const std::string& file,
                 const char* fallback = "<none>", size_t buffer_size = 4096) {
  return std::string(GetPrivateProfileString(section, key, fallback, buffer_size, file.c_str()).View());
}

const char kSample[] =
    "; settings of the join tool\r\n"
    "top=before any section\r\n"
    "[Settings]\r\n"
    "FileMode=1\r\n"
    "  Spaced Key  =   spaced value  \r\n"
    "Quoted=\"  inside quotes  \"\r\n"
    "Single='single'\r\n"
    "Half=\"open\r\n"
    "Mixed=\"a'\r\n"
    "Equals=a=b=c\r\n"
    "Empty=\r\n"
    "novalue\r\n"
    "Dup=first\r\n"
    "dup=second\r\n"
    "\r\n"
    "[ other ]\r\n"
    "FileMode=9\r\n"
    "[settings]\r\n"
    "Late=later section of the same name\r\n"
    "[Unix]\n"
    "lf=only LF\n"
    "tab=\tx\t\v\n";

TEST(ProfileRead, Rules) {
  TempFolder dir;
  std::string ini = dir / "sample.ini";
  WriteFile(ini, kSample);
  // clang-format off
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"Settings", "FileMode", "1"}, {"SETTINGS", "filemode", "1"}, {" Settings ", " FileMode ", "1"},
      {"Settings", "Spaced Key", "spaced value"}, {"Settings", "Quoted", "  inside quotes  "},
      {"Settings", "Single", "single"}, {"Settings", "Half", "\"open"}, {"Settings", "Mixed", "\"a'"},
      {"Settings", "Equals", "a=b=c"}, {"Settings", "Empty", ""}, {"Settings", "novalue", "<none>"},
      {"Settings", "Dup", "first"}, {"Settings", "Late", "<none>"}, {"Settings", "top", "<none>"},
      {"other", "FileMode", "9"}, {"Unix", "lf", "only LF"}, {"Unix", "tab", "x"},
      {"Missing", "FileMode", "<none>"}, {"Settings", "Missing", "<none>"},
  };
  // clang-format on
  for (const auto& [section, key, expected] : cases)
    EXPECT_EQ(Read(section, key, ini), expected) << section << "/" << key;
  EXPECT_EQ(Read("Settings", "FileMode", dir / "absent.ini"), "<none>");
#if !defined(_WIN32)
  EXPECT_EQ(GetLastErrorCode(), 2u);
#endif
  EXPECT_EQ(Read("Settings", "FileMode", dir / "absent/x.ini"), "<none>");
  EXPECT_EQ(Read("Settings", "FileMode", dir.path()), "<none>");
#if !defined(_WIN32)
  EXPECT_EQ(GetLastErrorCode(), 5u);
#endif
}

TEST(ProfileRead, DefaultsAndTruncation) {
  TempFolder dir;
  std::string ini = dir / "t.ini";
  WriteFile(ini, "[S]\r\nk=abcdef\r\n");
  EXPECT_EQ(Read("S", "k", ini, "", 7), "abcdef");
  EXPECT_EQ(Read("S", "k", ini, "", 4), "abc");
  EXPECT_EQ(Read("S", "k", ini, "", 1), "");
  EXPECT_EQ(Read("S", "k", ini, "", 0), "");
  EXPECT_EQ(Read("S", "x", ini, "default  ", 4096), "default");
  EXPECT_EQ(Read("S", "x", ini, "default", 4), "def");
  EXPECT_EQ(GetPrivateProfileString("S", "x", nullptr, 10, ini.c_str()), "");
  WriteFile(ini, "\xEF\xBB\xBF[S]\r\nk=bom\r\n");
  EXPECT_EQ(Read("S", "k", ini), "bom");
}

TEST(ProfileRead, IntegersAsWindowsParsesThem) {
  TempFolder dir;
  std::string ini = dir / "n.ini";
  // clang-format off
  const std::pair<const char*, uint32_t> cases[] = {
      {"0", 0}, {"4294967295", 4294967295u}, {"4294967296", 0}, {"99999999999", 1215752191u},
      {"-1", 0xFFFFFFFFu}, {"+7", 7}, {"  42xyz", 42}, {"12 34", 12}, {"abc", 0}, {"0x1F", 31}, {"0x", 0},
      {"-0x10", 0xFFFFFFF0u}, {"0b101", 5}, {"0o17", 15}, {"0X1F", 0}, {"\"5\"", 5}};
  // clang-format on
  for (const auto& [text, expected] : cases) {
    WriteFile(ini, std::string("[Settings]\r\nValue=") + text + "\r\n");
    EXPECT_EQ(GetPrivateProfileInt("Settings", "Value", 77, ini.c_str()), expected) << text;
  }
  WriteFile(ini, "[Settings]\r\nEmpty=\r\nBlank=   \r\n");
  EXPECT_EQ(GetPrivateProfileInt("Settings", "Empty", 77, ini.c_str()), 77u);
  EXPECT_EQ(GetPrivateProfileInt("Settings", "Blank", -3, ini.c_str()), static_cast<uint32_t>(-3));
  EXPECT_EQ(GetPrivateProfileInt("Settings", "Missing", 0, ini.c_str()), 0u);
  EXPECT_EQ(GetPrivateProfileInt("Settings", "Value", 5, (dir / "absent.ini").c_str()), 5u);
}

// A write changes its one line (in the file's spelling of the key), adds a key at the end
// of its section before any blank lines, removes a key or a whole section, adds a section
// at the end, and keeps every other line.
TEST(ProfileWrite, ChangesOnlyWhatItIsTold) {
  TempFolder dir;
  std::string ini = dir / "keep.ini";
  ASSERT_TRUE(WritePrivateProfileString("Settings", "FileMode", "0", ini.c_str()));
  EXPECT_EQ(ReadFile(ini), "[Settings]\r\nFileMode=0\r\n");
  WriteFile(ini,
            "; comment line\r\n[Settings]\r\n  filemode = 0 \r\nRepFile=old.txt\r\n\r\n"
            "[Other]\nFileMode=5\nOld=o\n; trailing comment\n[Gone]\r\nx=1\r\n[Last]\r\ny=2\r\n");
  using Write = std::tuple<const char*, const char*, const char*>;  // section, key, value
  for (const auto& [section, key, value] :
       {Write{"SETTINGS", "FileMode", "1"}, Write{"Settings", "CRLF", "-1"}, Write{"Other", "New", "n"},
        Write{"Other", "Old", nullptr}, Write{"Other", "absent", nullptr}, Write{"gone", nullptr, nullptr},
        Write{"New", "Key", "v"}}) {
    ASSERT_TRUE(WritePrivateProfileString(section, key, value, ini.c_str())) << section << "/" << key;
  }
#if defined(_WIN32)
  // Windows may drop the blank line between sections: the values are read back instead.
  EXPECT_EQ(GetPrivateProfileInt("Settings", "FileMode", 0, ini.c_str()), 1u);
  EXPECT_EQ(GetPrivateProfileInt("Settings", "CRLF", 0, ini.c_str()), 0xFFFFFFFFu);
  EXPECT_EQ(Read("Settings", "RepFile", ini), "old.txt");
  EXPECT_EQ(Read("Other", "New", ini) + Read("Other", "Old", ini) + Read("Gone", "x", ini), "n<none><none>");
  EXPECT_EQ(Read("New", "Key", ini), "v");
#else
  EXPECT_EQ(ReadFile(ini),
            "; comment line\r\n[Settings]\r\nfilemode=1\r\nRepFile=old.txt\r\nCRLF=-1\r\n\r\n"
            "[Other]\r\nFileMode=5\r\n; trailing comment\r\nNew=n\r\n[Last]\r\ny=2\r\n[New]\r\nKey=v\r\n");
#endif
}

TEST(ProfileWrite, ValuesRoundTripExactly) {
  TempFolder dir;
  std::string ini = dir / "values.ini";
  // clang-format off
  const std::string values[] = {"", "plain", "  leading and trailing  ", "trailing ", "\ttab\t", "vertical tab\v",
                                "\"quoted\"", "'single'", "\"", "a=b", "[not a section]", "; not a comment",
                                "\x83\x5C\x95\\\x5C",  // Shift_JIS with 0x5C trail bytes
                                "/" + std::string(299, 'p')};
  // clang-format on
  for (const std::string& value : values) {
    ASSERT_TRUE(WritePrivateProfileString("Settings", "Value", value.c_str(), ini.c_str())) << value;
    EXPECT_EQ(Read("Settings", "Value", ini), value);
  }
  EXPECT_EQ(ReadFile(ini).substr(0, 12), "[Settings]\r\n");
}

TEST(ProfileWrite, RefusesWhatWouldBreakTheFile) {
  TempFolder dir;
  std::string ini = dir / "safe.ini";
  WriteFile(ini, "[Settings]\r\nFileMode=1\r\n");
  // name, section, key, value
  // clang-format off
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"crlf_in_value", "Settings", "RepFile", "a\r\nFileMode=0"},
      {"lf_in_value", "Settings", "RepFile", "a\nb"}, {"cr_in_value", "Settings", "RepFile", "a\rb"},
      {"equals_in_key", "Settings", "a=b", "v"}, {"empty_key", "Settings", "  ", "v"},
      {"bracket_key", "Settings", "[x]", "v"}, {"bracket_in_section", "Set]tings", "k", "v"},
      {"null_section", nullptr, "k", "v"},
  };
  // clang-format on
  for (const auto& [name, section, key, value] : cases) {
    SCOPED_TRACE(name);
    SetLastErrorCode(0);
    EXPECT_FALSE(WritePrivateProfileString(section, key, value, ini.c_str()));
    EXPECT_EQ(GetLastErrorCode(), 87u);
  }
  EXPECT_EQ(ReadFile(ini), "[Settings]\r\nFileMode=1\r\n");
}

TEST(ProfileWrite, FailedWritesLeaveNothingBehind) {
  TempFolder dir;
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", (dir / "absent/x.ini").c_str()));
  EXPECT_EQ(GetLastErrorCode(), 3u);
  EXPECT_FALSE(fs::exists(dir / "absent"));
  fs::create_directory(dir / "folder.ini");
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", (dir / "folder.ini").c_str()));
  EXPECT_EQ(GetLastErrorCode(), 5u);
  ASSERT_TRUE(WritePrivateProfileString("S", "k", "v", (dir / "good.ini").c_str()));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"folder.ini", "good.ini"}));
}

#if !defined(_WIN32)
TEST(ProfileWrite, ThroughLinkKeepsLinkAndPermissions) {
  TempFolder dir;
  std::string real = dir / "real.ini";
  WriteFile(real, "[S]\r\nk=1\r\n");
  ::chmod(real.c_str(), 0640);
  fs::create_symlink(real, dir / "link.ini");
  ASSERT_TRUE(WritePrivateProfileString("S", "k", "2", (dir / "link.ini").c_str()));
  EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
  EXPECT_EQ(ReadFile(real), "[S]\r\nk=2\r\n");
  struct stat info;
  ASSERT_EQ(::stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

#endif  // !_WIN32

}  // namespace
