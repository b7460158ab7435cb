// The main dialog's wiring: controls to options and their enabling rules, the
// ini round trip, the list commands, the join's reports as message boxes,
// status line and progress, and the window chrome.
#include "app/app.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/support.h"

namespace {

using tavvel_test::Banner;
using tavvel_test::DialogTest;
using tavvel_test::ListForm;
using tavvel_test::ReadFile;
using tavvel_test::Shown;
using tavvel_test::Stop;
using tavvel_test::Warning;
using tavvel_test::WriteFile;
using Messages = std::vector<Shown>;

// Every option control in the order of the enabling rules.
const int kOptionControls[] = {IDC_FILE_MODE, IDC_CRLF,       IDC_CHAR_CODE, IDC_REP_MODE,  IDC_INSERT_SEP,
                               IDC_REP_FILE,  IDC_BROWSE_REP, IDC_SEP_FILE,  IDC_BROWSE_SEP};

std::string EnabledPattern(const headless::HeadlessWindow& window) {
  std::string pattern;
  for (int id : kOptionControls) pattern += window.IsItemEnabled(id) ? '1' : '0';
  return pattern;
}

// The ini file the dialog writes: its values in key order.
std::string SettingsIni(const std::vector<std::string>& values) {
  const char* keys[] = {"FileMode", "CRLF", "CharCode", "RepMode", "InsertSep", "RepFile", "SepFile"};
  std::string ini = "[Settings]\r\n";
  for (size_t i = 0; i < values.size(); ++i) ini += keys[i] + ("=" + values[i]) + "\r\n";
  return ini;
}

// --- window chrome ----------------------------------------------------------------------

TEST_F(DialogTest, WindowChrome) {
  OpenDialog();
  EXPECT_NE(window->Icon(true), nullptr);
  EXPECT_EQ(window->Icon(false), window->Icon(true));
  EXPECT_EQ(window->Icon(true), dialog->m_hIcon);
  EXPECT_TRUE(window->AcceptsDrops());

  // Minimised, the dialog paints its icon in the middle and drags it.
  window->Paint();
  EXPECT_FALSE(window->IconPaintedAt().has_value());
  window->SetIconic(true);
  window->Paint();
  EXPECT_EQ(window->IconPaintedAt(), std::make_pair((160 - 32 + 1) / 2, (24 - 32 + 1) / 2));
  EXPECT_EQ(window->QueryDragIcon(), dialog->m_hIcon);

  // The readme is the page beside the executable.
  host.AnswerShellExecute(42, 0);
  window->ChooseMenu(ID_HELP_README);
  ASSERT_EQ(host.ShellRequests().size(), 1u);
  EXPECT_EQ(host.ShellRequests()[0].verb, "OPEN");
  const auto readme = std::filesystem::path(tavvel_test::ModulePath()).replace_extension(".html");
  EXPECT_EQ(host.ShellRequests()[0].file, readme.string().c_str());
  EXPECT_EQ(host.ShellRequests()[0].show, win::kSwShow);
  EXPECT_EQ(TakeMessages(), Messages{});
}

TEST(JoinApp, KeepsItsSettingsBesideTheExecutable) {
  headless::HeadlessHost host;
  SetHost(&host);
  CString profile;
  CWnd* main_window = nullptr;
  {
    CJoinApp app;
    host.OnModal(IDD_TAVVEL, [&](headless::HeadlessWindow& window) {
      profile = AfxGetApp()->ProfileName();
      main_window = AfxGetApp()->m_pMainWnd;
      EXPECT_EQ(window.GetItemText(IDC_STATUS), Banner().c_str());
      window.EndDialog(win::kIdCancel);  // leave without writing beside the test program
    });
    EXPECT_FALSE(app.InitInstance()) << "no message loop follows the dialog";
    EXPECT_EQ(app.m_pMainWnd, nullptr);
  }
  SetHost(nullptr);
  EXPECT_NE(main_window, nullptr);
  EXPECT_EQ(host.ModalsRun(), std::vector<unsigned>{IDD_TAVVEL});
  // The ini path keeps its case where names tell case apart and is lowered
  // where they do not (Windows, where the drive letter is a capital).
  const auto beside = std::filesystem::path(tavvel_test::ModulePath()).replace_extension(".ini").string();
  EXPECT_EQ(std::string(profile.View()), ListForm(beside));
  if (kPathsIgnoreCase) {
    EXPECT_NE(beside, ListForm(beside));
  }
}

// --- options, enabling rules and the ini -----------------------------------------------------

TEST_F(DialogTest, ControlsBecomeTheJoinsOptions) {
  WriteIni(SettingsIni({"0", "0", "0", "0", "0", "/t", "/s"}));
  OpenDialog();
  EXPECT_EQ(window->ListItems(IDC_CHAR_CODE),
            (std::vector<CString>{"シフトJIS", "日本語JIS", "日本語EUC", "UTF-8", "UTF-8 (BOM付き)",
                                  "UTF-16LE (BOM付き)"}));
  // Each combo reaches its own option: no two take the same index in a case.
  for (const OptionIndexes& c : {OptionIndexes{0, 1, 5, 2, 1}, OptionIndexes{1, 2, 4, 1, 0}}) {
    ASSERT_TRUE(window->SelectComboItem(IDC_FILE_MODE, 0));
    const std::pair<int, int32_t> picks[] = {{IDC_CRLF, c.line_end},
                                             {IDC_CHAR_CODE, c.output_code},
                                             {IDC_REP_MODE, c.replace_mode},
                                             {IDC_INSERT_SEP, c.separator},
                                             {IDC_FILE_MODE, c.file_mode}};
    for (const auto& [id, index] : picks) ASSERT_TRUE(window->SelectComboItem(id, index));
    const JoinOptions o = dialog->ReadOptions();
    const OptionIndexes read = IndexesOfOptions(o);
    SCOPED_TRACE(c.output_code);
    EXPECT_EQ(std::vector<int32_t>(
                  {read.file_mode, read.line_end, read.output_code, read.replace_mode, read.separator}),
              std::vector<int32_t>({c.file_mode, c.line_end, c.output_code, c.replace_mode, c.separator}));
    EXPECT_EQ(o.table_path, "/t");
    EXPECT_EQ(o.separator_path, "/s");
  }
}

TEST_F(DialogTest, EnablingRulesFollowTheIniValues) {
  // lines of section Settings; kOptionControls enabled, in order; the members after the start
  // clang-format off
  const std::tuple<const char*, const char*, std::array<int, 3>> cases[] = {
      {"", "111110000", {0, 0, 0}}, {"FileMode=1\r\n", "100000000", {1, 0, 0}},
      {"FileMode=1\r\nRepMode=1\r\nInsertSep=1\r\n", "100000000", {1, 1, 1}},
      {"RepMode=1\r\n", "111111100", {0, 1, 0}}, {"RepMode=2\r\nInsertSep=1\r\n", "111111111", {0, 2, 1}},
      {"RepMode=9\r\n", "111111100", {0, -1, 0}},     // out of range counts as on
      {"InsertSep=-1\r\n", "111110011", {0, 0, -1}},  // -1 counts as on
      {"FileMode=-1\r\nRepMode=1\r\n", "100000000", {-1, 1, 0}}, {"FileMode=2\r\n", "100000000", {-1, 0, 0}},
      {"FileMode=2147483648\r\n", "100000000", {-1, 0, 0}},
  };
  // clang-format on
  for (const auto& [ini, enabled, members] : cases) {
    SCOPED_TRACE(ini);
    WriteIni(std::string("[Settings]\r\n") + ini);
    OpenDialog();
    EXPECT_EQ(EnabledPattern(*window), enabled);
    EXPECT_EQ((std::array<int, 3>{dialog->m_nFileMode, dialog->m_nRepMode, dialog->m_nInsertSep}), members);
    EXPECT_EQ(TakeMessages(), Messages{});
  }
}

TEST_F(DialogTest, OptionsRoundTripThroughTheIni) {
  OpenDialog();
  ASSERT_TRUE(window->SelectComboItem(IDC_CRLF, 2));
  ASSERT_TRUE(window->SelectComboItem(IDC_CHAR_CODE, 5));
  ASSERT_TRUE(window->SelectComboItem(IDC_REP_MODE, 2));
  ASSERT_TRUE(window->SelectComboItem(IDC_INSERT_SEP, 1));
  ASSERT_TRUE(window->TypeText(IDC_REP_FILE, "/tables/Table One.txt"));
  ASSERT_TRUE(window->TypeText(IDC_SEP_FILE, "/seps/Line.txt"));
  ASSERT_TRUE(window->SelectComboItem(IDC_FILE_MODE, 1));
  window->PressEscape();
  EXPECT_EQ(window->Result(), win::kIdCancel);
  EXPECT_EQ(ReadFile(ini_path),
            SettingsIni({"1", "2", "5", "2", "1", "/tables/Table One.txt", "/seps/Line.txt"}));

  // The next start shows what was saved.
  OpenDialog();
  const std::pair<int, int> shown[] = {
      {IDC_FILE_MODE, 1}, {IDC_CRLF, 2}, {IDC_CHAR_CODE, 5}, {IDC_REP_MODE, 2}, {IDC_INSERT_SEP, 1}};
  for (const auto& [id, index] : shown) EXPECT_EQ(ComboSel(id), index) << id;
  EXPECT_EQ(Text(IDC_REP_FILE), "/tables/Table One.txt");
  EXPECT_EQ(Text(IDC_SEP_FILE), "/seps/Line.txt");
}

TEST_F(DialogTest, EditsTakeAtMost260BytesAndLongerIniPathsAreKeptWhole) {
  WriteIni(SettingsIni({"0", "0", "0", "1", "1"}));
  OpenDialog();
  ASSERT_TRUE(window->TypeText(IDC_REP_FILE, std::string(300, 'r').c_str()));
  ASSERT_TRUE(window->TypeText(IDC_SEP_FILE, std::string(260, 's').c_str()));
  window->PressEscape();
  EXPECT_EQ(TakeMessages(), Messages{});
  EXPECT_EQ(ReadFile(ini_path),
            SettingsIni({"0", "0", "0", "1", "1", std::string(260, 'r'), std::string(260, 's')}));

  // A path too long for its edit is shown whole, and every reading of the
  // controls says so instead of cutting it.
  const std::string long_table = "/" + std::string(299, 't');
  WriteIni(SettingsIni({"1", "0", "0", "1", "0", long_table, "/sep.txt"}));
  OpenDialog();
  EXPECT_EQ(Text(IDC_REP_FILE), long_table);
  const Messages too_long = {Warning("260 文字以内で入力してください。")};
  EXPECT_EQ(TakeMessages(), too_long);
  EXPECT_EQ(dialog->m_strRepFile, long_table.c_str());
  window->PressEscape();
  EXPECT_EQ(TakeMessages(), too_long);
  EXPECT_EQ(ReadFile(ini_path), SettingsIni({"1", "0", "0", "1", "0", long_table, "/sep.txt"}));
}

TEST_F(DialogTest, AnIniThatCannotBeReadOrWrittenOrNoProfileIsNotAnError) {
  std::filesystem::create_directory(ini_path);
  OpenDialog();
  EXPECT_EQ(EnabledPattern(*window), "111110000");
  ASSERT_TRUE(window->SelectComboItem(IDC_FILE_MODE, 1));
  window->PressEscape();
  EXPECT_TRUE(window->Ended());
  EXPECT_EQ(TakeMessages(), Messages{});
  EXPECT_TRUE(std::filesystem::is_directory(ini_path));
  // Without a profile nothing is read or written.
  std::filesystem::remove(ini_path);
  const std::string ini = SettingsIni({"1", "1", "1", "1", "1", "/t", "/s"});
  WriteIni(ini);
  app.SetProfileName("");
  OpenDialog();
  EXPECT_EQ(ComboSel(IDC_FILE_MODE), 0);
  EXPECT_EQ(Text(IDC_REP_FILE), "");
  window->PressEscape();
  EXPECT_EQ(ReadFile(ini_path), ini);
}

// --- the join's reports -------------------------------------------------------------------

TEST_F(DialogTest, JoinReportsBecomeMessagesStatusAndProgress) {
  WriteFile(Path("table"), "s/(/x/\n");
  WriteIni("[Settings]\r\nRepMode=2\r\nRepFile=" + Path("table") + "\r\n");
  OpenDialog();
  WriteFile(Path("a"), "a");
  WriteFile(Path("u"), "a\n\xF0\x9F\x98\x80\xF0\x9F\x98\x80\n");  // two emoji on line 2
  AddFiles({Path("a"), Path("u"), Path("absent")});
  JoinTo(Path("out"));
  const Shown failed = Warning("unmatched () in regexp: s/(/x/\n置換テーブルを通さずに処理を続行します。");
  EXPECT_EQ(TakeMessages(),
            (Messages{failed, failed,
                      Warning("'" + ListForm(Path("u")) +
                              "' の 2 文字はシフトJISで表せないため「〓」に置き換えました。(最初は 2 行目)"),
                      Warning("'" + ListForm(Path("absent")) + "' を開くことができません。(Error:2)")}));
  EXPECT_EQ(Status(), "2 個のファイルを結合しました。");
  EXPECT_EQ(Progress(), 2);
  EXPECT_EQ(window->Item(IDC_PROGRESS).range_upper, 3);
#if !defined(_WIN32)
  // A join stopped by a failure has no count to tell: the banner stays.
  if (!tavvel_test::FileExists("/dev/full")) return;
  JoinTo("/dev/full");
  EXPECT_EQ(TakeMessages(), (Messages{failed, Stop("'/dev/full' の処理中にエラーが発生しました。\n"
                                                   "ディスクの空き容量が不足しています (Error:112)")}));
  EXPECT_EQ(Status(), Banner());
  EXPECT_EQ(host.WaitCursorDepth(), 0);
#endif
}

// --- list commands -----------------------------------------------------------------------

class ListTest : public DialogTest {
 protected:
  void SetUp() override {
    OpenDialog();
    AddFiles({"/l/e0", "/l/e1", "/l/e2", "/l/e3", "/l/e4"});
  }
  int Extent() const { return window->Item(IDC_FILE_LIST).horizontal_extent; }
};

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
  EXPECT_EQ(TakeMessages(), (Messages{refused, refused}));
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
