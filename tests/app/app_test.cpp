// The main dialog as the user meets it: start-up state, the options and their
// enabling rules, the ini file on every close path, hostile ini values, the
// window chrome, and the path lowering helper.
#include "app/app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace {

using tavvel_test::Banner;
using tavvel_test::DialogTest;
using tavvel_test::ReadFile;
using tavvel_test::Stop;
using tavvel_test::Warning;

// Every option control in the order of the enabling rules.
const int kOptionControls[] = {IDC_FILE_MODE, IDC_CRLF,       IDC_CHAR_CODE, IDC_REP_MODE,  IDC_INSERT_SEP,
                               IDC_REP_FILE,  IDC_BROWSE_REP, IDC_SEP_FILE,  IDC_BROWSE_SEP};

std::string EnabledPattern(const headless::HeadlessWindow& window) {
  std::string pattern;
  for (int id : kOptionControls) pattern += window.IsItemEnabled(id) ? '1' : '0';
  return pattern;
}

std::string SettingsIni(const std::string& file_mode, const std::string& crlf, const std::string& char_code,
                        const std::string& rep_mode, const std::string& insert_sep,
                        const std::string& rep_file, const std::string& sep_file) {
  return "[Settings]\r\nFileMode=" + file_mode + "\r\nCRLF=" + crlf + "\r\nCharCode=" + char_code +
         "\r\nRepMode=" + rep_mode + "\r\nInsertSep=" + insert_sep + "\r\nRepFile=" + rep_file +
         "\r\nSepFile=" + sep_file + "\r\n";
}

// --- LowerAsciiPath -----------------------------------------------------------------

TEST(LowerAsciiPath, LowersOnlyAsciiCapitals) {
  struct Case {
    const char* name;
    std::string path;
    std::string lowered;
    int result;
  };
  const Case cases[] = {
      {"windows_path", "C:\\Tools\\JOIN.EXE", "c:\\tools\\join.exe", 9},
      {"empty", "", "", 0},
      {"neighbours_of_the_capitals", "@[`{az09", "@[`{az09", 0},
      {"katakana_a_keeps_trail_0x41",
       "AB\x83\x41"
       "CD",
       "ab\x83\x41"
       "cd",
       4},
      {"trail_0x5c_then_capital",
       "\x83\x5C"
       "A",
       "\x83\x5C"
       "a",
       1},
      {"full_width_capital_kept", "\x82\x60Z", "\x82\x60z", 1},
      {"lead_0x9f_and_0xfc",
       "\x9F"
       "A\xFC"
       "BC",
       "\x9F"
       "A\xFC"
       "Bc",
       1},
      {"lead_0xe0",
       "\xE0"
       "AB",
       "\xE0"
       "Ab",
       1},
      {"not_lead_0x80_0xa0_0xdf_0xfd",
       "\x80"
       "A\xA0"
       "B\xDF"
       "C\xFD"
       "D",
       "\x80"
       "a\xA0"
       "b\xDF"
       "c\xFD"
       "d",
       4},
      {"lead_byte_last", "AB\x83", "ab\x83", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string buffer = c.path;
    EXPECT_EQ(LowerAsciiPath(buffer.data()), c.result);
    EXPECT_EQ(buffer, c.lowered);
  }
}

// --- start-up -------------------------------------------------------------------------

TEST_F(DialogTest, FirstStartShowsDefaults) {
  OpenDialog();
  EXPECT_EQ(window->Item(IDC_FILE_MODE).items[static_cast<size_t>(ComboSel(IDC_FILE_MODE))], "テキスト形式");
  EXPECT_EQ(window->Item(IDC_CRLF).items[static_cast<size_t>(ComboSel(IDC_CRLF))], "CRLF (Windows)");
  EXPECT_EQ(window->Item(IDC_CHAR_CODE).items[static_cast<size_t>(ComboSel(IDC_CHAR_CODE))], "シフトJIS");
  EXPECT_EQ(window->Item(IDC_REP_MODE).items[static_cast<size_t>(ComboSel(IDC_REP_MODE))], "しない");
  EXPECT_EQ(window->Item(IDC_INSERT_SEP).items[static_cast<size_t>(ComboSel(IDC_INSERT_SEP))], "しない");
  EXPECT_EQ(EnabledPattern(*window), "111110000");
  EXPECT_EQ(Text(IDC_REP_FILE), "");
  EXPECT_EQ(Text(IDC_SEP_FILE), "");
  EXPECT_EQ(Status(), Banner());
  EXPECT_FALSE(Banner().empty());
  EXPECT_EQ(Progress(), 0);
  EXPECT_TRUE(Entries().empty());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_FALSE(tavvel_test::FileExists(ini_path)) << "nothing is written before the dialog closes";
}

TEST_F(DialogTest, CombosHoldTheirItemsInOrder) {
  OpenDialog();
  auto items = [&](int id) {
    std::vector<std::string> texts;
    for (const CString& item : window->Item(id).items) texts.emplace_back(item.View());
    return texts;
  };
  EXPECT_EQ(items(IDC_FILE_MODE), (std::vector<std::string>{"テキスト形式", "バイナリ形式"}));
  EXPECT_EQ(items(IDC_CRLF), (std::vector<std::string>{"CRLF (Windows)", "CR (Macintosh)", "LF (Unix)"}));
  EXPECT_EQ(items(IDC_CHAR_CODE), (std::vector<std::string>{"シフトJIS", "日本語JIS", "日本語EUC"}));
  EXPECT_EQ(items(IDC_REP_MODE), (std::vector<std::string>{"しない", "単純な文字列置換", "正規表現で置換"}));
  EXPECT_EQ(items(IDC_INSERT_SEP), (std::vector<std::string>{"しない", "する"}));
}

TEST_F(DialogTest, InitialisationSetsChromeAndLimits) {
  OpenDialog();
  const auto& menu = window->SystemMenu();
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[0].flags, win::kMfSeparator);
  EXPECT_EQ(menu[1].flags, win::kMfString);
  EXPECT_EQ(menu[1].id, 16u);
  EXPECT_EQ(menu[1].text, "バージョン情報(&A)...");
  EXPECT_NE(window->Icon(true), nullptr);
  EXPECT_EQ(window->Icon(true), window->Icon(false));
  EXPECT_EQ(window->Icon(true), dialog->m_hIcon);
  EXPECT_TRUE(window->AcceptsDrops());
  EXPECT_EQ(window->Item(IDC_REP_FILE).limit, 260u);
  EXPECT_EQ(window->Item(IDC_SEP_FILE).limit, 260u);
}

TEST_F(DialogTest, EditsTakeAtMost260Bytes) {
  WriteIni(SettingsIni("0", "0", "0", "1", "1", "", ""));
  OpenDialog();
  ASSERT_TRUE(window->TypeText(IDC_REP_FILE, std::string(300, 'r').c_str()));
  ASSERT_TRUE(window->TypeText(IDC_SEP_FILE, std::string(260, 's').c_str()));
  EXPECT_EQ(Text(IDC_REP_FILE), std::string(260, 'r'));
  EXPECT_EQ(Text(IDC_SEP_FILE), std::string(260, 's'));
  window->PressEscape();
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(ReadFile(ini_path),
            SettingsIni("0", "0", "0", "1", "1", std::string(260, 'r'), std::string(260, 's')));
}

// --- enabling rules -------------------------------------------------------------------

TEST_F(DialogTest, EnablingRulesFollowTheIniValues) {
  struct Case {
    const char* name;
    const char* ini;                      // lines of section Settings
    const char* enabled;                  // kOptionControls in order
    int file_mode, rep_mode, insert_sep;  // the members after the start
  };
  const Case cases[] = {
      {"no_keys", "", "111110000", 0, 0, 0},
      {"binary", "FileMode=1\r\n", "100000000", 1, 0, 0},
      {"binary_with_everything_on", "FileMode=1\r\nRepMode=1\r\nInsertSep=1\r\n", "100000000", 1, 1, 1},
      {"plain_table", "RepMode=1\r\n", "111111100", 0, 1, 0},
      {"regex_table_and_separator", "RepMode=2\r\nInsertSep=1\r\n", "111111111", 0, 2, 1},
      {"rep_mode_out_of_range_counts_as_on", "RepMode=9\r\n", "111111100", 0, -1, 0},
      {"insert_sep_minus_one_counts_as_on", "InsertSep=-1\r\n", "111110011", 0, 0, -1},
      {"file_mode_minus_one_is_binary", "FileMode=-1\r\nRepMode=1\r\n", "100000000", -1, 1, 0},
      {"file_mode_two_is_binary", "FileMode=2\r\n", "100000000", -1, 0, 0},
      {"file_mode_wrapping_is_binary", "FileMode=2147483648\r\n", "100000000", -1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteIni(std::string("[Settings]\r\n") + c.ini);
    OpenDialog();
    EXPECT_EQ(EnabledPattern(*window), c.enabled);
    EXPECT_EQ(dialog->m_nFileMode, c.file_mode);
    EXPECT_EQ(dialog->m_nRepMode, c.rep_mode);
    EXPECT_EQ(dialog->m_nInsertSep, c.insert_sep);
    EXPECT_TRUE(TakeMessages().empty());
  }
}

TEST_F(DialogTest, ReturningToTextModeDecidesThePathControlsAgain) {
  WriteIni("[Settings]\r\nFileMode=1\r\nRepMode=1\r\nInsertSep=0\r\n");
  OpenDialog();
  EXPECT_EQ(EnabledPattern(*window), "100000000");
  EXPECT_FALSE(window->Click(IDC_BROWSE_REP)) << "a disabled button cannot be clicked";
  EXPECT_FALSE(window->SelectComboItem(IDC_CRLF, 1));

  ASSERT_TRUE(window->SelectComboItem(IDC_FILE_MODE, 0));
  EXPECT_EQ(EnabledPattern(*window), "111111100");
  ASSERT_TRUE(window->SelectComboItem(IDC_INSERT_SEP, 1));
  EXPECT_EQ(EnabledPattern(*window), "111111111");
  ASSERT_TRUE(window->SelectComboItem(IDC_REP_MODE, 0));
  EXPECT_EQ(EnabledPattern(*window), "111110011");
  ASSERT_TRUE(window->SelectComboItem(IDC_REP_MODE, 2));
  EXPECT_EQ(EnabledPattern(*window), "111111111");
  ASSERT_TRUE(window->SelectComboItem(IDC_FILE_MODE, 1));
  EXPECT_EQ(EnabledPattern(*window), "100000000");
  EXPECT_EQ(dialog->m_nFileMode, 1);
  // Changing combos never touches the status line or shows a message.
  EXPECT_EQ(Status(), Banner());
  EXPECT_TRUE(TakeMessages().empty());
}

// --- the ini file ---------------------------------------------------------------------

struct CloseCase {
  const char* name;
  std::function<void(headless::HeadlessWindow&)> close;
};

const CloseCase kClosePaths[] = {
    {"escape", [](headless::HeadlessWindow& w) { w.PressEscape(); }},
    {"close_box", [](headless::HeadlessWindow& w) { w.SystemCommand(win::kScClose); }},
    {"exit_button", [](headless::HeadlessWindow& w) { ASSERT_TRUE(w.Click(2)); }},
    {"exit_menu", [](headless::HeadlessWindow& w) { w.ChooseMenu(2); }},
};

TEST_F(DialogTest, EveryClosePathWritesTheOptions) {
  for (const CloseCase& c : kClosePaths) {
    SCOPED_TRACE(c.name);
    std::remove(ini_path.c_str());
    OpenDialog();
    ASSERT_TRUE(window->SelectComboItem(IDC_CRLF, 2));
    ASSERT_TRUE(window->SelectComboItem(IDC_CHAR_CODE, 1));
    ASSERT_TRUE(window->SelectComboItem(IDC_REP_MODE, 2));
    ASSERT_TRUE(window->SelectComboItem(IDC_INSERT_SEP, 1));
    ASSERT_TRUE(window->TypeText(IDC_REP_FILE, "/tables/Table One.txt"));
    ASSERT_TRUE(window->TypeText(IDC_SEP_FILE, "/seps/Line.txt"));
    ASSERT_TRUE(window->SelectComboItem(IDC_FILE_MODE, 1));
    c.close(*window);
    EXPECT_TRUE(window->Ended());
    EXPECT_EQ(window->Result(), win::kIdCancel);
    EXPECT_EQ(ReadFile(ini_path),
              SettingsIni("1", "2", "1", "2", "1", "/tables/Table One.txt", "/seps/Line.txt"));

    // The next start shows what was saved.
    OpenDialog();
    EXPECT_EQ(ComboSel(IDC_FILE_MODE), 1);
    EXPECT_EQ(ComboSel(IDC_CRLF), 2);
    EXPECT_EQ(ComboSel(IDC_CHAR_CODE), 1);
    EXPECT_EQ(ComboSel(IDC_REP_MODE), 2);
    EXPECT_EQ(ComboSel(IDC_INSERT_SEP), 1);
    EXPECT_EQ(Text(IDC_REP_FILE), "/tables/Table One.txt");
    EXPECT_EQ(Text(IDC_SEP_FILE), "/seps/Line.txt");
    EXPECT_EQ(EnabledPattern(*window), "100000000");
  }
}

TEST_F(DialogTest, CloseWritesUnchangedDefaultsAndKeepsOtherIniContent) {
  WriteIni("[Other]\r\nkey=value\r\n");
  OpenDialog();
  window->PressEscape();
  EXPECT_EQ(ReadFile(ini_path), "[Other]\r\nkey=value\r\n" + SettingsIni("0", "0", "0", "0", "0", "", ""));
}

TEST_F(DialogTest, HostileIniValuesStartCleanlyAndAreWrittenBackWellFormed) {
  const std::string long_table = "/" + std::string(299, 't');
  WriteIni(SettingsIni("2147483648", "-1", "7", "abc", "0", long_table, "/sep.txt"));
  OpenDialog();
  EXPECT_EQ(ComboSel(IDC_FILE_MODE), -1);
  EXPECT_EQ(ComboSel(IDC_CRLF), -1);
  EXPECT_EQ(ComboSel(IDC_CHAR_CODE), -1);
  EXPECT_EQ(ComboSel(IDC_REP_MODE), 0);
  EXPECT_EQ(ComboSel(IDC_INSERT_SEP), 0);
  EXPECT_EQ(EnabledPattern(*window), "100000000");
  // The path is too long for its edit: it is shown whole, and the check that
  // every reading of the controls makes says so instead of cutting it.
  EXPECT_EQ(Text(IDC_REP_FILE), long_table);
  EXPECT_EQ(Text(IDC_SEP_FILE), "/sep.txt");
  EXPECT_EQ(TakeMessages(), std::vector<tavvel_test::Shown>{Warning("260 文字以内で入力してください。")});
  EXPECT_EQ(dialog->m_strRepFile, long_table.c_str());
  EXPECT_EQ(dialog->m_strSepFile, "/sep.txt");

  window->PressEscape();
  EXPECT_TRUE(window->Ended());
  EXPECT_EQ(TakeMessages(), std::vector<tavvel_test::Shown>{Warning("260 文字以内で入力してください。")});
  EXPECT_EQ(ReadFile(ini_path), SettingsIni("-1", "-1", "-1", "0", "0", long_table, "/sep.txt"));

  // Written back, the values start the same way again.
  OpenDialog();
  EXPECT_EQ(ComboSel(IDC_FILE_MODE), -1);
  EXPECT_EQ(ComboSel(IDC_CHAR_CODE), -1);
  EXPECT_EQ(Text(IDC_REP_FILE), long_table);
}

TEST_F(DialogTest, PathsThatReadingWouldChangeSurviveTheRoundTrip) {
  // Blanks at either end and quotes around a value are kept by quoting.
  const std::string table = " /tables/x ";
  const std::string separator = "'/seps/y'";
  WriteIni(SettingsIni("0", "0", "0", "1", "1", "", ""));
  OpenDialog();
  ASSERT_TRUE(window->TypeText(IDC_REP_FILE, table.c_str()));
  ASSERT_TRUE(window->TypeText(IDC_SEP_FILE, separator.c_str()));
  window->PressEscape();
  OpenDialog();
  EXPECT_EQ(Text(IDC_REP_FILE), table);
  EXPECT_EQ(Text(IDC_SEP_FILE), separator);
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(DialogTest, AnIniThatCannotBeReadOrWrittenIsNotAnError) {
  std::filesystem::create_directory(ini_path);
  OpenDialog();
  EXPECT_EQ(ComboSel(IDC_FILE_MODE), 0);
  EXPECT_EQ(EnabledPattern(*window), "111110000");
  ASSERT_TRUE(window->SelectComboItem(IDC_FILE_MODE, 1));
  window->PressEscape();
  EXPECT_TRUE(window->Ended());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(std::filesystem::is_directory(ini_path));
}

TEST_F(DialogTest, WithoutAProfileNothingIsReadOrWritten) {
  WriteIni(SettingsIni("1", "1", "1", "1", "1", "/t", "/s"));
  app.SetProfileName("");
  OpenDialog();
  EXPECT_EQ(ComboSel(IDC_FILE_MODE), 0);
  EXPECT_EQ(Text(IDC_REP_FILE), "");
  window->PressEscape();
  EXPECT_TRUE(window->Ended());
  EXPECT_EQ(ReadFile(ini_path), SettingsIni("1", "1", "1", "1", "1", "/t", "/s"));
}

// --- window chrome --------------------------------------------------------------------

TEST_F(DialogTest, AboutBoxFromHelpMenuAndSystemMenu) {
  OpenDialog();
  window->ChooseMenu(IDM_ABOUTBOX);
  window->SystemCommand(IDM_ABOUTBOX);
  window->SystemCommand(IDM_ABOUTBOX | 0x3);  // the low four bits are the system's own
  EXPECT_EQ(host.ModalsRun(), (std::vector<unsigned>{IDD_ABOUTBOX, IDD_ABOUTBOX, IDD_ABOUTBOX}));
  EXPECT_FALSE(window->Ended());
  // Other system commands keep their default meaning.
  window->SystemCommand(win::kScMove);
  EXPECT_FALSE(window->Ended());
  EXPECT_EQ(host.ModalsRun().size(), 3u);
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(Status(), Banner());
}

TEST_F(DialogTest, AboutBoxShowsTheVersionAndClosesByOkOrEscape) {
  OpenDialog();
  std::vector<int> results;
  host.OnModal(IDD_ABOUTBOX, [&](headless::HeadlessWindow& about) {
    EXPECT_STREQ(about.Layout().caption, "バージョン情報");
    std::vector<std::string> texts;
    for (const ControlTemplate& control : about.Layout().controls) texts.emplace_back(control.text);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Tavvel"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "v.1.0.0.3"), texts.end());
    if (results.empty()) {
      EXPECT_TRUE(about.Click(win::kIdOk));
    } else {
      about.PressEscape();
    }
    EXPECT_TRUE(about.Ended());
    results.push_back(about.Result());
  });
  window->ChooseMenu(IDM_ABOUTBOX);
  window->SystemCommand(IDM_ABOUTBOX);
  EXPECT_EQ(results, (std::vector<int>{win::kIdOk, win::kIdCancel}));
  EXPECT_FALSE(window->Ended());
  EXPECT_FALSE(tavvel_test::FileExists(ini_path)) << "closing the about box is not closing the program";
}

TEST_F(DialogTest, ReadmeOpensTheHtmlBesideTheExecutable) {
  OpenDialog();
  const std::string readme =
      std::filesystem::path(tavvel_test::ModulePath()).replace_extension(".html").string();

  host.AnswerShellExecute(42, 0);
  window->ChooseMenu(ID_HELP_README);
  ASSERT_EQ(host.ShellRequests().size(), 1u);
  EXPECT_EQ(host.ShellRequests()[0].verb, "OPEN");
  EXPECT_EQ(host.ShellRequests()[0].file, readme.c_str());
  EXPECT_EQ(host.ShellRequests()[0].show, win::kSwShow);
  EXPECT_TRUE(TakeMessages().empty());

  host.AnswerShellExecute(2, 2);
  window->ChooseMenu(ID_HELP_README);
  EXPECT_EQ(TakeMessages(),
            std::vector<tavvel_test::Shown>{Warning("'" + readme + "' を開くことができません。(Error:2)")});
  EXPECT_FALSE(window->Ended());
}

TEST_F(DialogTest, MinimisedWindowPaintsItsIcon) {
  OpenDialog();
  window->Paint();
  EXPECT_FALSE(window->IconPaintedAt().has_value());
  window->SetIconic(true);
  window->Paint();
  ASSERT_TRUE(window->IconPaintedAt().has_value());
  EXPECT_EQ(window->IconPaintedAt()->first, (160 - 32 + 1) / 2);
  EXPECT_EQ(window->IconPaintedAt()->second, (24 - 32 + 1) / 2);
  EXPECT_EQ(window->QueryDragIcon(), dialog->m_hIcon);
}

TEST_F(DialogTest, UnknownCommandsAreIgnored) {
  OpenDialog();
  window->ChooseMenu(40000);
  dialog->Dispatch(IDC_FILE_MODE, win::kBnClicked);
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(host.FileDialogs().size(), 0u);
}

// --- the application object -----------------------------------------------------------

TEST(JoinApp, KeepsItsSettingsBesideTheExecutable) {
  headless::HeadlessHost host;
  SetHost(&host);
  CString profile;
  CWnd* main_window = nullptr;
  bool opened = false;
  {
    CJoinApp app;
    host.OnModal(IDD_TAVVEL, [&](headless::HeadlessWindow& window) {
      opened = true;
      profile = AfxGetApp()->ProfileName();
      main_window = AfxGetApp()->m_pMainWnd;
      EXPECT_EQ(window.GetItemText(IDC_STATUS), Banner().c_str());
      window.EndDialog(win::kIdCancel);  // leave without writing beside the test program
    });
    EXPECT_FALSE(app.InitInstance()) << "no message loop follows the dialog";
    EXPECT_EQ(app.m_pMainWnd, nullptr);
  }
  SetHost(nullptr);
  EXPECT_TRUE(opened);
  EXPECT_NE(main_window, nullptr);
  // The ini path keeps its case where names tell case apart and is lowered
  // where they do not (Windows).
  const std::string beside =
      std::filesystem::path(tavvel_test::ModulePath()).replace_extension(".ini").string();
  EXPECT_EQ(std::string(profile.View()), tavvel_test::ListForm(beside));
  if (kPathsIgnoreCase) {
    EXPECT_NE(beside, tavvel_test::ListForm(beside)) << "the drive letter has a capital";
  }
  EXPECT_EQ(host.ModalsRun(), std::vector<unsigned>{IDD_TAVVEL});
}

}  // namespace
