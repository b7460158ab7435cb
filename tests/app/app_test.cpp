// The main dialog's wiring: controls to options and their enabling rules, the
// ini round trip, the list commands, the join's reports as message boxes,
// status line and progress, and the window chrome.
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
using tavvel_test::Shown;
using tavvel_test::Stop;
using tavvel_test::Warning;
using tavvel_test::WriteFile;

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

// --- start-up -------------------------------------------------------------------------

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

TEST_F(DialogTest, OptionsRoundTripThroughTheIni) {
  {
    OpenDialog();
    ASSERT_TRUE(window->SelectComboItem(IDC_CRLF, 2));
    ASSERT_TRUE(window->SelectComboItem(IDC_CHAR_CODE, 5));
    ASSERT_TRUE(window->SelectComboItem(IDC_REP_MODE, 2));
    ASSERT_TRUE(window->SelectComboItem(IDC_INSERT_SEP, 1));
    ASSERT_TRUE(window->TypeText(IDC_REP_FILE, "/tables/Table One.txt"));
    ASSERT_TRUE(window->TypeText(IDC_SEP_FILE, "/seps/Line.txt"));
    ASSERT_TRUE(window->SelectComboItem(IDC_FILE_MODE, 1));
    window->PressEscape();
    EXPECT_TRUE(window->Ended());
    EXPECT_EQ(window->Result(), win::kIdCancel);
    EXPECT_EQ(ReadFile(ini_path),
              SettingsIni("1", "2", "5", "2", "1", "/tables/Table One.txt", "/seps/Line.txt"));

    // The next start shows what was saved.
    OpenDialog();
    EXPECT_EQ(ComboSel(IDC_FILE_MODE), 1);
    EXPECT_EQ(ComboSel(IDC_CRLF), 2);
    EXPECT_EQ(ComboSel(IDC_CHAR_CODE), 5);
    EXPECT_EQ(ComboSel(IDC_REP_MODE), 2);
    EXPECT_EQ(ComboSel(IDC_INSERT_SEP), 1);
    EXPECT_EQ(Text(IDC_REP_FILE), "/tables/Table One.txt");
    EXPECT_EQ(Text(IDC_SEP_FILE), "/seps/Line.txt");
    EXPECT_EQ(EnabledPattern(*window), "100000000");
  }
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

// --- the join's wiring ------------------------------------------------------------------

TEST_F(DialogTest, ControlsBecomeTheJoinsOptions) {
  WriteFile(Path("a"), "\x82\xa0\r\n");
  WriteFile(Path("b"), "b\n");
  WriteFile(Path("sep"), "-\n");
  WriteFile(Path("table"), "b\tB\n");
  WriteIni("[Settings]\r\nRepMode=1\r\nInsertSep=1\r\nRepFile=" + Path("table") +
           "\r\nSepFile=" + Path("sep") + "\r\n");
  OpenDialog();
  AddFiles({Path("a"), Path("b")});
  struct Case {
    const char* name;
    int file_mode, crlf, code, rep_mode, insert_sep;
    std::string output;
  };
  const Case cases[] = {
      {"crlf", 0, 0, 0, 0, 0, "\x82\xa0\r\nb\r\n"},
      {"cr", 0, 1, 0, 0, 0, "\x82\xa0\rb\r"},
      {"euc", 0, 2, 2, 0, 0, "\xa4\xa2\nb\n"},
      {"jis", 0, 2, 1, 0, 0, "\x1b$B$\"\x1b(B\nb\n"},
      {"plain_table", 0, 2, 0, 1, 0, "\x82\xa0\nB\n"},
      {"separator", 0, 2, 0, 0, 1, "\x82\xa0\n-\nb\n"},
      {"binary", 1, 2, 0, 1, 1, "\x82\xa0\r\nb\n"},
      {"utf8", 0, 2, 3, 0, 0, "\xE3\x81\x82\nb\n"},
      {"utf8_bom", 0, 2, 4, 0, 0, "\xEF\xBB\xBF\xE3\x81\x82\nb\n"},
      {"utf16le_bom", 0, 0, 5, 0, 0, std::string("\xFF\xFE\x42\x30\r\0\n\0b\0\r\0\n\0", 14)},
  };
  EXPECT_EQ(window->ListItems(IDC_CHAR_CODE),
            (std::vector<CString>{"シフトJIS", "日本語JIS", "日本語EUC", "UTF-8", "UTF-8 (BOM付き)",
                                  "UTF-16LE (BOM付き)"}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(window->SelectComboItem(IDC_FILE_MODE, 0));
    ASSERT_TRUE(window->SelectComboItem(IDC_CRLF, c.crlf));
    ASSERT_TRUE(window->SelectComboItem(IDC_CHAR_CODE, c.code));
    ASSERT_TRUE(window->SelectComboItem(IDC_REP_MODE, c.rep_mode));
    ASSERT_TRUE(window->SelectComboItem(IDC_INSERT_SEP, c.insert_sep));
    ASSERT_TRUE(window->SelectComboItem(IDC_FILE_MODE, c.file_mode));
    JoinTo(Path("out"));
    EXPECT_EQ(ReadFile(Path("out")), c.output);
  }
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{});
}

TEST_F(DialogTest, JoinReportsBecomeMessagesStatusAndProgress) {
  WriteFile(Path("a"), "a");
  WriteFile(Path("b"), "b");
  WriteFile(Path("table"), "s/(/x/\n");
  WriteIni("[Settings]\r\nRepMode=2\r\nRepFile=" + Path("table") + "\r\n");
  OpenDialog();
  AddFiles({Path("a"), Path("b"), Path("absent")});
  JoinTo(Path("out"));
  const Shown failed = Warning("unmatched () in regexp: s/(/x/\n置換テーブルを通さずに処理を続行します。");
  EXPECT_EQ(TakeMessages(), (std::vector<Shown>{failed, failed,
                                                Warning("'" + tavvel_test::ListForm(Path("absent")) +
                                                        "' を開くことができません。(Error:2)")}));
  EXPECT_EQ(Status(), "2 個のファイルを結合しました。");
  EXPECT_EQ(Progress(), 2);
  EXPECT_EQ(window->Item(IDC_PROGRESS).range_upper, 3);
#if !defined(_WIN32)
  // A join stopped by a failure has no count to tell: the banner stays.
  if (!tavvel_test::FileExists("/dev/full")) return;
  JoinTo("/dev/full");
  EXPECT_EQ(
      TakeMessages(),
      (std::vector<Shown>{
          failed, Stop("'/dev/full' の処理中にエラーが発生しました。\nディスクの空き容量が不足しています "
                       "(Error:112)")}));
  EXPECT_EQ(Status(), Banner());
  EXPECT_EQ(host.WaitCursorDepth(), 0);
#endif
}

TEST_F(DialogTest, ReplacedCharactersAreAWarningAndTheJoinGoesOn) {
  WriteFile(Path("u"), "a\n\xF0\x9F\x98\x80\xF0\x9F\x98\x80\n");  // two emoji on line 2
  WriteFile(Path("b"), "b");
  OpenDialog();
  AddFiles({Path("u"), Path("b")});
  JoinTo(Path("out"));
  EXPECT_EQ(TakeMessages(),
            std::vector<Shown>{
                Warning("'" + tavvel_test::ListForm(Path("u")) +
                        "' の 2 文字はシフトJISで表せないため「〓」に置き換えました。(最初は 2 行目)")});
  EXPECT_EQ(ReadFile(Path("out")), "a\r\n\x81\xac\x81\xac\r\nb");
  EXPECT_EQ(Status(), "2 個のファイルを結合しました。");
}

// --- list commands -----------------------------------------------------------------------

class ListTest : public DialogTest {
 protected:
  void SetUp() override {
    OpenDialog();
    AddFiles({"/l/e0", "/l/e1", "/l/e2", "/l/e3", "/l/e4"});
  }
  std::vector<std::string> Named(std::initializer_list<int> indexes) {
    std::vector<std::string> names;
    for (int i : indexes) names.push_back("/l/e" + std::to_string(i));
    return names;
  }
  int Extent() const { return window->Item(IDC_FILE_LIST).horizontal_extent; }
};

TEST_F(ListTest, MovesFollowTheSelectionTable) {
  struct Case {
    const char* name;
    int id;
    std::vector<int> selected;
    std::vector<std::string> order;  // by former index
    std::vector<int> selected_after;
  };
  const Case cases[] = {
      {"up_blocks_and_singles", IDC_MOVE_UP, {1, 2, 4}, Named({1, 2, 0, 4, 3}), {0, 1, 3}},
      {"up_with_first_selected_does_nothing", ID_LIST_MOVE_UP, {0, 2}, Named({0, 1, 2, 3, 4}), {0, 2}},
      {"down_with_last_selected_does_nothing", IDC_MOVE_DOWN, {1, 2, 4}, Named({0, 1, 2, 3, 4}), {1, 2, 4}},
      {"down_blocks_and_singles", ID_LIST_MOVE_DOWN, {0, 2, 3}, Named({1, 0, 4, 2, 3}), {1, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const int extent = Extent();
    Select(c.selected);
    window->ChooseMenu(static_cast<unsigned>(c.id));
    EXPECT_EQ(Entries(), c.order);
    EXPECT_EQ(Selection(), c.selected_after);
    EXPECT_EQ(Status(), Banner()) << "a move does not show the count";
    EXPECT_EQ(Extent(), extent);
  }
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{});
}

TEST_F(ListTest, AddedPathsMustFitTheOpenBufferAndThePathBuffers) {
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) names.push_back("/folder/" + std::string(240, 'n') + std::to_string(i));
  AddFiles(names);
  EXPECT_EQ(Entries().size(), 5u) << "names beyond the 65535-byte buffer add nothing";
  const std::string fits = "/" + std::string(258, 'f');
  const std::string too_long = "/" + std::string(259, 'g');
  AddFiles({fits, too_long});
  window->Drop({CString(too_long.c_str())});
  EXPECT_EQ(Entries().back(), fits);
  const Shown refused = Warning("'" + too_long + "' はパスが長すぎるため追加できません。(259 バイトまで)");
  EXPECT_EQ(TakeMessages(), (std::vector<Shown>{refused, refused}));
  EXPECT_EQ(Status(), "ファイル数: 6");
}

TEST_F(ListTest, ExtentFollowsTheWidestEntryAndSortsKeepIt) {
  AddFiles({"/" + std::string(99, 'x')});
  EXPECT_EQ(Extent(), 101 * headless::kCharWidth);
  Select({0, 5});
  window->ChooseMenu(ID_LIST_SORT_DESCENDING);
  EXPECT_EQ(Entries()[1], "/l/e4");
  EXPECT_EQ(Selection(), std::vector<int>{});
  EXPECT_EQ(Extent(), 101 * headless::kCharWidth);
  Select({0});
  window->ChooseMenu(ID_LIST_DELETE);
  EXPECT_EQ(Extent(), 6 * headless::kCharWidth);
}

}  // namespace
