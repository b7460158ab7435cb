// Scenarios of a user at the main dialog, run against every backend.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "filelist/filelist.h"
#include "framework/os.h"
#include "resources/resource.h"
#include "tests/scenarios/driver.h"

std::string DialogDriver::IniContent() {
  return tavvel_test::FileExists(IniPath()) ? tavvel_test::ReadFile(IniPath()) : "";
}

std::string DialogDriver::ListForm(std::string path) {
  if (kPathsIgnoreCase) LowerAsciiPath(path.data());
  return path;
}

namespace {

using tavvel_test::ReadFile;

constexpr unsigned kIconStop = 0x10;
constexpr unsigned kIconExclamation = 0x30;
constexpr uint32_t kOfnOverwritePrompt = 0x2, kOfnHideReadOnly = 0x4, kOfnAllowMultiSelect = 0x200;
constexpr unsigned kScClose = 0xF060;
constexpr int kIdCancel = 2;  // the "終了" button and menu item
const char kBanner[] = "ファイルを追加して［結合］を押してください。";

std::string WriteFile(DialogDriver& user, const std::string& name, const std::string& bytes) {
  std::string path = user.PathIn(name);
  tavvel_test::WriteFile(path, bytes);
  return path;
}

// Chooses the paths in the Open dialog of the add button.
void AddPaths(DialogDriver& user, const std::vector<std::string>& paths) {
  user.AnswerFileDialog(paths);
  user.Click(IDC_ADD);
}

std::vector<std::string> AddFiles(DialogDriver& user, const std::vector<std::string>& names) {
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(WriteFile(user, name, name + " content\n"));
  AddPaths(user, paths);
  user.TakeMessages();
  user.TakeFileDialogs();
  return paths;
}

std::vector<std::string> ListForms(DialogDriver& user, const std::vector<std::string>& paths) {
  std::vector<std::string> forms;
  for (const std::string& path : paths) forms.push_back(user.ListForm(path));
  return forms;
}

// Names the output in the Save dialog of the join button; returns whether the button took the click.
bool JoinInto(DialogDriver& user, const std::string& output) {
  user.AnswerFileDialog({output});
  return user.Click(IDC_JOIN);
}

// The message boxes shown since the last look, each with its icon.
void ExpectMessages(DialogDriver& user, const std::vector<std::pair<std::string, unsigned>>& expected) {
  std::vector<ShownMessage> messages = user.TakeMessages();
  ASSERT_EQ(messages.size(), expected.size()) << (messages.empty() ? "no message" : messages.back().text);
  for (size_t i = 0; i < messages.size(); ++i) {
    EXPECT_EQ(messages[i].text, expected[i].first);
    EXPECT_EQ(messages[i].icon, expected[i].second);
  }
}

void ExpectIniLines(DialogDriver& user, const std::vector<std::string>& lines) {
  const std::string ini = user.IniContent();
  for (const std::string& line : lines) EXPECT_NE(ini.find(line), std::string::npos) << line << " in " << ini;
}

// --- start-up and settings ------------------------------------------------------

void FirstStartShowsDefaults(DialogDriver& user) {
  const int combos[] = {IDC_FILE_MODE, IDC_CRLF, IDC_CHAR_CODE, IDC_REP_MODE, IDC_INSERT_SEP};
  for (int id : combos) {
    EXPECT_EQ(user.ComboSelection(id), 0) << id;
    EXPECT_TRUE(user.Enabled(id)) << id;
  }
  for (int id : {IDC_REP_FILE, IDC_SEP_FILE, IDC_BROWSE_REP, IDC_BROWSE_SEP})
    EXPECT_FALSE(user.Enabled(id)) << id;
  EXPECT_EQ(user.Text(IDC_REP_FILE), "");
  EXPECT_EQ(user.Text(IDC_SEP_FILE), "");
  EXPECT_EQ(user.Text(IDC_STATUS), kBanner);
  EXPECT_EQ(user.ProgressPosition(), 0);
  std::vector<std::string> system_menu = user.SystemMenuItems();
  ASSERT_GE(system_menu.size(), 2u);
  EXPECT_EQ(system_menu[system_menu.size() - 2], "");
  EXPECT_EQ(system_menu.back(), "バージョン情報(&A)...");
  user.PressEscape();
  EXPECT_FALSE(user.Running());
}

void BinaryModeFromIniDisablesTextOptions(DialogDriver& user) {
  EXPECT_EQ(user.ComboSelection(IDC_FILE_MODE), 1);
  for (int id : {IDC_CRLF, IDC_CHAR_CODE, IDC_REP_MODE, IDC_INSERT_SEP, IDC_REP_FILE, IDC_SEP_FILE,
                 IDC_BROWSE_REP, IDC_BROWSE_SEP}) {
    EXPECT_FALSE(user.Enabled(id)) << id;
  }
  EXPECT_TRUE(user.Enabled(IDC_FILE_MODE));
  ASSERT_TRUE(user.SelectCombo(IDC_FILE_MODE, 0));
  for (int id : {IDC_CRLF, IDC_CHAR_CODE, IDC_REP_MODE, IDC_INSERT_SEP, IDC_REP_FILE, IDC_BROWSE_REP}) {
    EXPECT_TRUE(user.Enabled(id)) << id;
  }
  EXPECT_FALSE(user.Enabled(IDC_SEP_FILE));
  EXPECT_FALSE(user.Enabled(IDC_BROWSE_SEP));
}

void EveryClosePathWritesTheIni(DialogDriver& user) {
  struct Close {
    const char* name;
    void (*close)(DialogDriver&);
  };
  const Close kCloses[] = {
      {"escape", [](DialogDriver& u) { u.PressEscape(); }},
      {"close box", [](DialogDriver& u) { u.SystemCommand(kScClose); }},
      {"exit button", [](DialogDriver& u) { u.Click(kIdCancel); }},
      {"exit menu item", [](DialogDriver& u) { u.Menu(kIdCancel); }},
  };
  int value = 0;
  for (const Close& close : kCloses) {
    SCOPED_TRACE(close.name);
    user.Start("");
    value = (value + 1) % 3;
    ASSERT_TRUE(user.SelectCombo(IDC_CRLF, value));
    ASSERT_TRUE(user.SelectCombo(IDC_INSERT_SEP, 1));
    user.TypeText(IDC_SEP_FILE, "sep.txt");
    close.close(user);
    EXPECT_FALSE(user.Running());
    ExpectIniLines(user, {"CRLF=" + std::to_string(value), "InsertSep=1", "SepFile=sep.txt", "[Settings]"});
  }
}

void OutOfRangeIniValuesComeBackAsMinusOne(DialogDriver& user) {
  EXPECT_EQ(user.ComboSelection(IDC_FILE_MODE), -1);
  EXPECT_EQ(user.ComboSelection(IDC_CRLF), -1);
  EXPECT_EQ(user.ComboSelection(IDC_CHAR_CODE), -1);
  EXPECT_EQ(user.ComboSelection(IDC_REP_MODE), 0);  // "abc" reads as 0
  // -1 is not 0: binary mode, so the text options are disabled.
  EXPECT_FALSE(user.Enabled(IDC_CRLF));
  user.PressEscape();
  ExpectIniLines(user, {"FileMode=-1", "CRLF=-1", "CharCode=-1", "RepMode=0", "InsertSep=0"});
}

// --- the file list ------------------------------------------------------------------

void AddByOpenDialog(DialogDriver& user) {
  std::vector<std::string> paths = {WriteFile(user, "One.txt", "1"), WriteFile(user, "two.txt", "2")};
  user.AnswerFileDialog(paths);
  ASSERT_TRUE(user.Click(IDC_ADD));
  EXPECT_EQ(user.ListItems(), ListForms(user, paths));
  EXPECT_EQ(user.Text(IDC_STATUS), "ファイル数: 2");
  EXPECT_GT(user.HorizontalExtent(), 0);
  std::vector<AskedFileDialog> asked = user.TakeFileDialogs();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_TRUE(asked[0].open);
  EXPECT_EQ(asked[0].title, "ファイルの選択");
  EXPECT_EQ(asked[0].filter, "すべてのファイル (*.*)|*.*||");
  EXPECT_EQ(asked[0].default_extension, "");
  EXPECT_EQ(asked[0].flags & (kOfnHideReadOnly | kOfnOverwritePrompt | kOfnAllowMultiSelect),
            kOfnHideReadOnly | kOfnOverwritePrompt | kOfnAllowMultiSelect);
  EXPECT_EQ(asked[0].buffer_size, 65535u);

  user.CancelFileDialog();
  user.Menu(ID_LIST_ADD);
  EXPECT_EQ(user.ListItems().size(), 2u);
  EXPECT_EQ(user.Text(IDC_STATUS), "ファイル数: 2");
  EXPECT_TRUE(user.TakeMessages().empty());
}

void DropFilesAndFolders(DialogDriver& user) {
  std::string single = WriteFile(user, "single.txt", "s");
  std::filesystem::create_directories(user.PathIn("drop/sub"));
  std::string folder = user.PathIn("drop");
  std::string in_folder = WriteFile(user, "drop/a.txt", "a");
  std::string in_sub = WriteFile(user, "drop/sub/b.txt", "b");
  user.Drop({single, user.PathIn("missing.txt"), single});
  EXPECT_EQ(user.ListItems(), ListForms(user, {single, single}));
  EXPECT_EQ(user.Text(IDC_STATUS), "ファイル数: 2");
  EXPECT_TRUE(user.TakeMessages().empty());
  user.Drop({folder});
  std::vector<std::string> items = user.ListItems();
  ASSERT_EQ(items.size(), 4u);
  std::vector<std::string> walked(items.begin() + 2, items.end());
  std::sort(walked.begin(), walked.end());
  std::vector<std::string> expected = ListForms(user, {in_folder, in_sub});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(walked, expected);
  EXPECT_EQ(user.Text(IDC_STATUS), "ファイル数: 4");
}

void EmptyListAndNoSelectionMessages(DialogDriver& user) {
  for (unsigned command :
       {ID_LIST_DELETE, ID_LIST_DELETE_ALL, ID_LIST_MOVE_UP, ID_LIST_MOVE_DOWN, ID_FILE_JOIN}) {
    SCOPED_TRACE(command);
    user.Menu(command);
    ExpectMessages(user, {{"リストが空です。", kIconStop}});
    EXPECT_EQ(user.Text(IDC_STATUS), kBanner);
  }
  EXPECT_TRUE(user.TakeFileDialogs().empty());  // the join stops before the Save dialog
  AddFiles(user, {"a.txt", "b.txt"});
  for (int button : {IDC_DELETE, IDC_MOVE_UP, IDC_MOVE_DOWN}) {
    SCOPED_TRACE(button);
    user.Click(button);
    ExpectMessages(user, {{"ファイルが選択されていません。", kIconStop}});
    EXPECT_EQ(user.ListItems().size(), 2u);
  }
  user.Menu(ID_LIST_DESELECT);  // no check, no message
  EXPECT_TRUE(user.TakeMessages().empty());
}

void MoveSelectionAsBlocks(DialogDriver& user) {
  std::vector<std::string> forms =
      ListForms(user, AddFiles(user, {"0.txt", "1.txt", "2.txt", "3.txt", "4.txt"}));
  for (int index : {1, 2, 4}) user.ToggleSelection(index);
  user.Click(IDC_MOVE_DOWN);  // the last entry is selected: nothing moves
  EXPECT_EQ(user.ListItems(), forms);
  user.Click(IDC_MOVE_UP);
  EXPECT_EQ(user.ListItems(), (std::vector<std::string>{forms[1], forms[2], forms[0], forms[4], forms[3]}));
  EXPECT_EQ(user.Selection(), (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(user.Text(IDC_STATUS), kBanner);
  user.Click(IDC_MOVE_UP);  // entry 0 is selected now: nothing moves
  EXPECT_EQ(user.ListItems(), (std::vector<std::string>{forms[1], forms[2], forms[0], forms[4], forms[3]}));
  user.Menu(ID_LIST_DESELECT);
  EXPECT_TRUE(user.Selection().empty());
  user.ToggleSelection(0);
  user.Menu(ID_LIST_MOVE_DOWN);
  EXPECT_EQ(user.ListItems(), (std::vector<std::string>{forms[2], forms[1], forms[0], forms[4], forms[3]}));
  EXPECT_EQ(user.Selection(), (std::vector<int>{1}));
}

void DeleteCommands(DialogDriver& user) {
  std::vector<std::string> forms = ListForms(user, AddFiles(user, {"a.txt", "b.txt", "c.txt", "d.txt"}));
  user.ToggleSelection(0);
  user.ToggleSelection(2);
  user.Click(IDC_DELETE);
  EXPECT_EQ(user.ListItems(), (std::vector<std::string>{forms[1], forms[3]}));
  EXPECT_TRUE(user.Selection().empty());
  EXPECT_EQ(user.Text(IDC_STATUS), "ファイル数: 2");
  user.DoubleClick(1);
  EXPECT_EQ(user.ListItems(), (std::vector<std::string>{forms[1]}));
  EXPECT_EQ(user.Text(IDC_STATUS), "ファイル数: 1");
  user.Menu(ID_LIST_DELETE_ALL);
  EXPECT_TRUE(user.ListItems().empty());
  EXPECT_EQ(user.HorizontalExtent(), 0);
  EXPECT_EQ(user.Text(IDC_STATUS), kBanner);
}

void SortBothWays(DialogDriver& user) {
  std::vector<std::string> forms = ListForms(user, AddFiles(user, {"file2.txt", "file10.txt", "a-z.txt"}));
  user.ToggleSelection(1);
  user.Menu(ID_LIST_SORT_ASCENDING);
  EXPECT_EQ(user.ListItems(), (std::vector<std::string>{forms[2], forms[1], forms[0]}));
  EXPECT_TRUE(user.Selection().empty());
  EXPECT_EQ(user.Text(IDC_STATUS), kBanner);
  user.Menu(ID_LIST_SORT_DESCENDING);
  EXPECT_EQ(user.ListItems(), (std::vector<std::string>{forms[0], forms[1], forms[2]}));
}

// --- joining ----------------------------------------------------------------------------

void TextJoinWithSeparator(DialogDriver& user) {
  std::string a = WriteFile(user, "a.txt", "alpha\r\n");
  std::string b = WriteFile(user, "b.txt", "");
  std::string c = WriteFile(user, "c.txt", "gamma\rend");
  std::string separator = WriteFile(user, "sep.txt", "--\r\n");
  AddPaths(user, {a, b, c});
  ASSERT_TRUE(user.SelectCombo(IDC_CRLF, 2));
  ASSERT_TRUE(user.SelectCombo(IDC_INSERT_SEP, 1));
  user.TypeText(IDC_SEP_FILE, separator);
  std::string output = user.PathIn("out.txt");
  user.TakeFileDialogs();
  ASSERT_TRUE(JoinInto(user, output));
  EXPECT_EQ(ReadFile(output), "alpha\n--\n--\ngamma\nend");
  EXPECT_EQ(user.Text(IDC_STATUS), "3 個のファイルを結合しました。");
  EXPECT_EQ(user.ProgressPosition(), 3);
  EXPECT_TRUE(user.TakeMessages().empty());
  std::vector<AskedFileDialog> asked = user.TakeFileDialogs();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_FALSE(asked[0].open);
  EXPECT_EQ(asked[0].title, "");
  EXPECT_EQ(asked[0].filter, "すべてのファイル (*.*)|*.*||");
  EXPECT_EQ(asked[0].flags & (kOfnHideReadOnly | kOfnOverwritePrompt),
            kOfnHideReadOnly | kOfnOverwritePrompt);
}

void BinaryJoinIgnoresTextOptions(DialogDriver& user) {
  std::string a = WriteFile(user, "a.bin", std::string("A\r\n\0B", 5));
  std::string b = WriteFile(user, "b.bin", "\x82\xa0\r");
  AddPaths(user, {a, b});
  std::string output = user.PathIn("out.bin");
  user.AnswerFileDialog({output});
  user.Menu(ID_FILE_JOIN);
  EXPECT_EQ(ReadFile(output), std::string("A\r\n\0B\x82\xa0\r", 8));
  EXPECT_EQ(user.Text(IDC_STATUS), "2 個のファイルを結合しました。");
  EXPECT_TRUE(user.TakeMessages().empty());
}

void MissingSourceStopsTheTextJoin(DialogDriver& user) {
  std::string a = WriteFile(user, "a.txt", "a\n");
  std::string missing = user.PathIn("missing.txt");
  std::string c = WriteFile(user, "c.txt", "c\n");
  AddPaths(user, {a, missing, c});
  std::string output = user.PathIn("out.txt");
  JoinInto(user, output);
  ExpectMessages(user,
                 {{"'" + user.ListForm(missing) + "' を開くことができません。(Error:2)", kIconExclamation}});
  EXPECT_EQ(ReadFile(output), "a\r\n");
  EXPECT_EQ(user.Text(IDC_STATUS), "1 個のファイルを結合しました。");
  EXPECT_EQ(user.ProgressPosition(), 1);
}

void OutputThatIsAnEntryIsRefused(DialogDriver& user) {
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    user.Start("");
    ASSERT_TRUE(user.SelectCombo(IDC_FILE_MODE, mode));
    std::string a = WriteFile(user, "keep.txt", "precious\n");
    AddPaths(user, {a});
    JoinInto(user, a);
    ExpectMessages(user,
                   {{"'" + user.ListForm(a) + "' を開くことができません。(Error:32)", kIconExclamation}});
    EXPECT_EQ(ReadFile(a), "precious\n");
    EXPECT_EQ(user.Text(IDC_STATUS), "0 個のファイルを結合しました。");
    user.PressEscape();
  }
}

void CancelledSaveDialogWritesNothing(DialogDriver& user) {
  AddFiles(user, {"a.txt"});
  user.CancelFileDialog();
  user.Click(IDC_JOIN);
  EXPECT_EQ(user.Text(IDC_STATUS), kBanner);
  EXPECT_TRUE(user.TakeMessages().empty());
}

void SeparatorAndTableFilesThatCannotBeOpened(DialogDriver& user) {
  std::string a = WriteFile(user, "a.txt", "abc\n");
  std::string b = WriteFile(user, "b.txt", "abc\n");
  AddPaths(user, {a, b});
  ASSERT_TRUE(user.SelectCombo(IDC_INSERT_SEP, 1));
  user.TypeText(IDC_SEP_FILE, user.PathIn("nosep.txt"));
  ASSERT_TRUE(user.SelectCombo(IDC_REP_MODE, 1));
  user.TypeText(IDC_REP_FILE, user.PathIn("notable.txt"));
  std::string output = user.PathIn("out.txt");
  JoinInto(user, output);
  ExpectMessages(
      user, {{"セパレータファイルをオープンできません。(Error:2)\nセパレータを挿入せずに処理を続行します。",
              kIconExclamation},
             {"置換テーブルファイルをオープンできません。(Error:2)\n置換テーブルを通さずに処理を続行します。",
              kIconExclamation}});
  EXPECT_EQ(ReadFile(output), "abc\r\nabc\r\n");
  EXPECT_EQ(user.Text(IDC_STATUS), "2 個のファイルを結合しました。");
}

void BrowseButtonsFillThePaths(DialogDriver& user) {
  std::string table = user.PathIn("Table.TXT");
  user.AnswerFileDialog({table});
  ASSERT_TRUE(user.Click(IDC_BROWSE_REP));
  EXPECT_EQ(user.Text(IDC_REP_FILE), table);  // as returned, not lowered
  std::string separator = user.PathIn("Sep.txt");
  user.AnswerFileDialog({separator});
  ASSERT_TRUE(user.Click(IDC_BROWSE_SEP));
  EXPECT_EQ(user.Text(IDC_SEP_FILE), separator);
  std::vector<AskedFileDialog> asked = user.TakeFileDialogs();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].title, "置換テーブルの選択");
  EXPECT_EQ(asked[0].filter,
            "置換テーブル ファイル (*.txt;*.tbl;*.dic)|*.txt;*.tbl;*.dic|すべてのファイル (*.*)|*.*||");
  EXPECT_EQ(asked[0].default_extension, "txt");
  EXPECT_EQ(asked[0].file_name, "old.tbl");
  EXPECT_EQ(asked[1].title, "セパレータの選択");
  EXPECT_EQ(asked[1].filter, "セパレータ ファイル (*.txt)|*.txt|すべてのファイル (*.*)|*.*||");
  EXPECT_EQ(asked[1].default_extension, "txt");
  EXPECT_EQ(user.Text(IDC_STATUS), kBanner);
  user.CancelFileDialog();
  user.Click(IDC_BROWSE_REP);
  EXPECT_EQ(user.Text(IDC_REP_FILE), table);
  user.PressEscape();
  EXPECT_NE(user.IniContent().find("SepFile=" + separator), std::string::npos);
}

// --- window chrome -------------------------------------------------------------------------

void AboutBoxFromMenuAndSystemMenu(DialogDriver& user) {
  user.Menu(IDM_ABOUTBOX);
  user.SystemCommand(IDM_ABOUTBOX | 0x3);  // the low four bits do not matter
  EXPECT_EQ(user.TakeModals(), (std::vector<unsigned>{IDD_ABOUTBOX, IDD_ABOUTBOX}));
  EXPECT_TRUE(user.Running());
}

void ReadmeThatCannotBeOpened(DialogDriver& user) {
  user.AnswerShellExecute(2, 2);
  user.Menu(ID_HELP_README);
  std::vector<ShownMessage> messages = user.TakeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].icon, kIconExclamation);
  EXPECT_NE(messages[0].text.find(".html' を開くことができません。(Error:2)"), std::string::npos)
      << messages[0].text;
  user.AnswerShellExecute(42, 0);
  user.Menu(ID_HELP_README);
  EXPECT_TRUE(user.TakeMessages().empty());
}

}  // namespace

void RunScenario(DialogDriver& user, const Scenario& scenario) {
  if (scenario.ini != nullptr) user.Start(scenario.ini);
  scenario.run(user);
  if (user.Running()) user.PressEscape();
}

const std::vector<Scenario>& AllScenarios() {
  static const std::vector<Scenario> kScenarios = {
      {"FirstStartShowsDefaults", "", FirstStartShowsDefaults},
      {"BinaryModeFromIniDisablesTextOptions", "[Settings]\r\nFileMode=1\r\nRepMode=2\r\nInsertSep=0\r\n",
       BinaryModeFromIniDisablesTextOptions},
      {"EveryClosePathWritesTheIni", nullptr, EveryClosePathWritesTheIni},
      {"OutOfRangeIniValuesComeBackAsMinusOne",
       "[Settings]\r\nFileMode=2147483648\r\nCRLF=-1\r\nCharCode=7\r\nRepMode=abc\r\n",
       OutOfRangeIniValuesComeBackAsMinusOne},
      {"AddByOpenDialog", "", AddByOpenDialog},
      {"DropFilesAndFolders", "", DropFilesAndFolders},
      {"EmptyListAndNoSelectionMessages", "", EmptyListAndNoSelectionMessages},
      {"MoveSelectionAsBlocks", "", MoveSelectionAsBlocks},
      {"DeleteCommands", "", DeleteCommands},
      {"SortBothWays", "", SortBothWays},
      {"TextJoinWithSeparator", "", TextJoinWithSeparator},
      {"BinaryJoinIgnoresTextOptions", "[Settings]\r\nFileMode=1\r\nInsertSep=1\r\nSepFile=nowhere.txt\r\n",
       BinaryJoinIgnoresTextOptions},
      {"MissingSourceStopsTheTextJoin", "", MissingSourceStopsTheTextJoin},
      {"OutputThatIsAnEntryIsRefused", nullptr, OutputThatIsAnEntryIsRefused},
      {"CancelledSaveDialogWritesNothing", "", CancelledSaveDialogWritesNothing},
      {"SeparatorAndTableFilesThatCannotBeOpened", "", SeparatorAndTableFilesThatCannotBeOpened},
      {"BrowseButtonsFillThePaths", "[Settings]\r\nRepMode=1\r\nInsertSep=1\r\nRepFile=old.tbl\r\n",
       BrowseButtonsFillThePaths},
      {"AboutBoxFromMenuAndSystemMenu", "", AboutBoxFromMenuAndSystemMenu},
      {"ReadmeThatCannotBeOpened", "", ReadmeThatCannotBeOpened},
  };
  return kScenarios;
}
