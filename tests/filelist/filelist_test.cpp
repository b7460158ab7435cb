// The source list as the user edits it: adding by the Open dialog and by
// dropping files and folders, deleting, moving, deselecting, sorting, with
// the selection, status line, progress and scroll width after each command.
#include "filelist/filelist.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "tests/support/support.h"

namespace {

using tavvel_test::Banner;
using tavvel_test::DialogTest;
using tavvel_test::ListForm;
using tavvel_test::ListForms;
using tavvel_test::Shown;
using tavvel_test::Stop;
using tavvel_test::Warning;
using tavvel_test::WriteFile;

namespace fs = std::filesystem;

const std::vector<Shown> kNoMessages;
const Shown kListEmpty = Stop("リストが空です。");
const Shown kNotSelected = Stop("ファイルが選択されていません。");

std::string Count(int n) { return "ファイル数: " + std::to_string(n); }

// Names in a folder in the order the file system enumerates them.
std::vector<std::string> FolderOrder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

class ListTest : public DialogTest {
 protected:
  // A list of five entries e0 ... e4 (files need not exist for list commands).
  void FillFive() {
    AddFiles({"/l/e0", "/l/e1", "/l/e2", "/l/e3", "/l/e4"});
    ASSERT_EQ(Status(), Count(5));
  }
  std::vector<std::string> Named(std::initializer_list<int> indexes) {
    std::vector<std::string> names;
    for (int i : indexes) names.push_back("/l/e" + std::to_string(i));
    return names;
  }
  int Extent() const { return window->Item(IDC_FILE_LIST).horizontal_extent; }
};

// --- adding -----------------------------------------------------------------------------

TEST_F(ListTest, AddAsksForFilesAndAppendsThemInOrder) {
  OpenDialog();
  AddFiles({"/Data/Report.TXT", "/data/b.txt"});
  ASSERT_EQ(host.FileDialogs().size(), 1u);
  const FileDialogRequest& request = host.FileDialogs()[0];
  EXPECT_TRUE(request.open);
  EXPECT_EQ(request.title, "ファイルの選択");
  EXPECT_EQ(request.filter, "すべてのファイル (*.*)|*.*||");
  EXPECT_EQ(request.default_extension, "");
  EXPECT_EQ(request.file_name, "");
  EXPECT_EQ(request.flags, win::kOfnHideReadOnly | win::kOfnOverwritePrompt | win::kOfnAllowMultiSelect);
  EXPECT_EQ(request.buffer_size, 65535u);

  // Paths keep their case where the file system tells case apart, and are
  // lowered where it does not.
  EXPECT_EQ(Entries(), ListForms({"/Data/Report.TXT", "/data/b.txt"}));
  EXPECT_EQ(Entries()[0], kPathsIgnoreCase ? "/data/report.txt" : "/Data/Report.TXT");
  EXPECT_EQ(Status(), Count(2));
  EXPECT_EQ(Progress(), 0);
  EXPECT_EQ(host.WaitCursorShown(), 1);
  EXPECT_EQ(host.WaitCursorDepth(), 0);

  // A second add appends; the selection stays where it was, new entries unselected.
  Select({1});
  AddFiles({"/Data/Report.TXT"});
  EXPECT_EQ(Entries(), ListForms({"/Data/Report.TXT", "/data/b.txt", "/Data/Report.TXT"}));
  EXPECT_EQ(Selection(), std::vector<int>{1});
  EXPECT_EQ(Status(), Count(3));
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

TEST_F(ListTest, CancelledAddStillShowsTheCount) {
  OpenDialog();
  AddFiles({"/a"});
  host.CancelFileDialog();
  ASSERT_TRUE(window->Click(IDC_ADD));
  EXPECT_EQ(Entries().size(), 1u);
  EXPECT_EQ(Status(), Count(1));
  // The menu item does the same.
  host.CancelFileDialog();
  window->ChooseMenu(ID_LIST_ADD);
  EXPECT_EQ(host.FileDialogs().size(), 3u);
  EXPECT_EQ(Status(), Count(1));
  EXPECT_EQ(host.WaitCursorShown(), 1) << "the wait cursor only comes with confirmed names";
}

TEST_F(ListTest, NamesBeyondTheOpenBufferAddNothing) {
  OpenDialog();
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) names.push_back("/folder/" + std::string(240, 'n') + std::to_string(i));
  AddFiles(names);
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(Status(), Count(0));
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

TEST_F(ListTest, PathsLongerThan259BytesAreRefusedByName) {
  OpenDialog();
  const std::string fits = "/" + std::string(258, 'f');
  const std::string too_long = "/" + std::string(259, 'g');
  AddFiles({fits, too_long, "/after"});
  EXPECT_EQ(Entries(), (std::vector<std::string>{fits, "/after"}));
  EXPECT_EQ(
      TakeMessages(),
      std::vector<Shown>{Warning("'" + too_long + "' はパスが長すぎるため追加できません。(259 バイトまで)")});
  EXPECT_EQ(Status(), Count(2));

  // A dropped name of that length is refused the same way, whether it exists or not.
  window->Drop({CString(too_long.c_str())});
  EXPECT_EQ(TakeMessages().size(), 1u);
  EXPECT_EQ(Entries().size(), 2u);
}

TEST_F(ListTest, DropAddsFilesSkipsMissingNamesAndWalksFolders) {
  WriteFile(Path("Report.TXT"), "r");
  fs::create_directories(Path("tree/sub/deeper"));
  fs::create_directories(Path("tree/empty"));
  WriteFile(Path("tree/a.txt"), "a");
  WriteFile(Path("tree/.hidden"), "h");
  WriteFile(Path("tree/noext"), "n");
  WriteFile(Path("tree/sub/b.txt"), "b");
  WriteFile(Path("tree/sub/deeper/c.txt"), "c");
  OpenDialog();
  window->Drop({CString(Path("Report.TXT").c_str()), CString(Path("absent.txt").c_str()),
                CString(Path("tree").c_str()), CString(Path("Report.TXT").c_str())});

  // Depth first, in the order the file system gives: a folder's files stand
  // where the folder was met.
  std::vector<std::string> expected = {Path("Report.TXT")};
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    for (const std::string& name : FolderOrder(folder)) {
      std::string path = folder + kPathSeparator + name;
      if (fs::is_directory(path)) {
        walk(path);
      } else {
        expected.push_back(path);
      }
    }
  };
  walk(Path("tree"));
  expected.push_back(Path("Report.TXT"));
  EXPECT_EQ(Entries(), ListForms(expected));
  EXPECT_EQ(Entries().size(), 7u) << "hidden files and names without a dot are included";
  EXPECT_EQ(Status(), Count(7));
  EXPECT_EQ(Progress(), 0);
  EXPECT_EQ(window->ActivateCount(), 1);
  EXPECT_EQ(host.WaitCursorDepth(), 0);
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

// A folder cycle on Windows needs an NTFS junction, which Wine does not make.
#if !defined(_WIN32)
TEST_F(ListTest, FolderWalkEndsOnLinkCycles) {
  fs::create_directories(Path("root/sub"));
  WriteFile(Path("root/a.txt"), "a");
  WriteFile(Path("root/sub/b.txt"), "b");
  fs::create_directory_symlink(Path("root"), Path("root/sub/up"));  // a cycle through the parent
  fs::create_directory_symlink(".", Path("root/self"));             // and through the folder itself
  OpenDialog();
  window->Drop({CString(Path("root").c_str())});
  std::vector<std::string> entries = Entries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{Path("root/a.txt"), Path("root/sub/b.txt")}));
  EXPECT_EQ(Status(), Count(2));
  EXPECT_EQ(TakeMessages(), kNoMessages);
}
#endif

TEST_F(ListTest, FolderWalkRefusesDeepPathsAndGoesOn) {
  // "near" is a folder of exactly 240 bytes: it can be listed everywhere, but
  // a file with a 34-byte name in it passes 259 bytes. "far" in it is a
  // folder of 271 bytes.
  const std::string walk = Path("walk");
  std::string near = walk;
  while (near.size() < 240) {
    const size_t part = std::min<size_t>(60, 240 - near.size() - 1);
    near += kPathSeparator + std::string(part, static_cast<char>('p' + near.size() % 8));
  }
  ASSERT_EQ(near.size(), 240u);
  const std::string far = near + kPathSeparator + std::string(30, 'f');
  const std::string long_file = near + kPathSeparator + std::string(30, 'l') + ".txt";
  fs::create_directories(far);
  WriteFile(long_file, "x");
  WriteFile(far + kPathSeparator + "x.txt", "x");
  WriteFile(Path("walk/short.txt"), "y");
  OpenDialog();
  window->Drop({CString(walk.c_str())});
  EXPECT_EQ(Entries(), std::vector<std::string>{ListForm(Path("walk/short.txt"))});
  // Windows cannot even list a folder that deep: the folder is named instead
  // of its files.
#if defined(_WIN32)
  const std::string far_refused = far;
#else
  const std::string far_refused = far + kPathSeparator + "x.txt";
#endif
  std::vector<Shown> expected;
  for (const std::string& path : {long_file, far_refused}) {
    expected.push_back(Warning("'" + path + "' はパスが長すぎるため追加できません。(259 バイトまで)"));
  }
  std::vector<Shown> shown = TakeMessages();
  auto by_text = [](const Shown& a, const Shown& b) { return a.text < b.text; };
  std::sort(shown.begin(), shown.end(), by_text);
  std::sort(expected.begin(), expected.end(), by_text);
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(Status(), Count(1));
}

TEST_F(ListTest, DroppingAnEmptyFolderAddsNothing) {
  fs::create_directories(Path("empty"));
  OpenDialog();
  window->Drop({CString(Path("empty").c_str())});
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(Status(), Count(0));
}

// --- deleting -----------------------------------------------------------------------------

TEST_F(ListTest, EmptyListCommandsSayTheListIsEmpty) {
  struct Case {
    const char* name;
    int id;
  };
  const Case cases[] = {
      {"delete_button", IDC_DELETE},    {"delete_menu", ID_LIST_DELETE}, {"delete_all", ID_LIST_DELETE_ALL},
      {"up_button", IDC_MOVE_UP},       {"up_menu", ID_LIST_MOVE_UP},    {"down_button", IDC_MOVE_DOWN},
      {"down_menu", ID_LIST_MOVE_DOWN}, {"join_button", IDC_JOIN},       {"join_menu", ID_FILE_JOIN},
  };
  OpenDialog();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AddFiles({});  // a cancelled add shows the count ...
    ASSERT_EQ(Status(), Count(0));
    window->ChooseMenu(static_cast<unsigned>(c.id));
    EXPECT_EQ(TakeMessages(), std::vector<Shown>{kListEmpty});
    EXPECT_EQ(Status(), Banner()) << "... which the command resets";
  }
  dialog->Dispatch(IDC_FILE_LIST, win::kLbnDblClk);
  EXPECT_EQ(TakeMessages(), std::vector<Shown>{kListEmpty});
  EXPECT_EQ(host.FileDialogs().size(), std::size(cases)) << "a join of an empty list asks for no output";
}

TEST_F(ListTest, CommandsThatNeedASelectionSaySo) {
  OpenDialog();
  FillFive();
  for (int id :
       {IDC_DELETE, ID_LIST_DELETE, IDC_MOVE_UP, ID_LIST_MOVE_UP, IDC_MOVE_DOWN, ID_LIST_MOVE_DOWN}) {
    SCOPED_TRACE(id);
    window->ChooseMenu(static_cast<unsigned>(id));
    EXPECT_EQ(TakeMessages(), std::vector<Shown>{kNotSelected});
    EXPECT_EQ(Entries(), Named({0, 1, 2, 3, 4}));
    EXPECT_EQ(Status(), Banner());
  }
}

TEST_F(ListTest, DeleteRemovesTheSelectedEntries) {
  OpenDialog();
  AddFiles({"/l/e0", "/l/" + std::string(40, 'w'), "/l/e2", "/l/e3", "/l/e4"});
  EXPECT_EQ(Extent(), (3 + 40 + 1) * headless::kCharWidth);
  Select({1, 2, 4});
  ASSERT_TRUE(window->Click(IDC_DELETE));
  EXPECT_EQ(Entries(), Named({0, 3}));
  EXPECT_EQ(Selection(), std::vector<int>{});
  EXPECT_EQ(Status(), Count(2));
  EXPECT_EQ(Progress(), 0);
  EXPECT_EQ(Extent(), (5 + 1) * headless::kCharWidth) << "the widest entry left decides";

  Select({0, 1});
  window->ChooseMenu(ID_LIST_DELETE);
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(Status(), Count(0));
  EXPECT_EQ(Extent(), 0);
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

TEST_F(ListTest, DoubleClickRemovesExactlyThatEntry) {
  OpenDialog();
  FillFive();
  Select({0, 3});
  ASSERT_TRUE(window->DoubleClick(2));
  EXPECT_EQ(Entries(), Named({0, 1, 3, 4}));
  EXPECT_EQ(Selection(), (std::vector<int>{0, 2})) << "the others keep their selection";
  EXPECT_EQ(Status(), Count(4));
  ASSERT_TRUE(window->DoubleClick(3));
  EXPECT_EQ(Entries(), Named({0, 1, 3}));
  ASSERT_TRUE(window->DoubleClick(0));
  EXPECT_EQ(Entries(), Named({1, 3}));
  EXPECT_EQ(Selection(), std::vector<int>{1});
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

TEST_F(ListTest, DeleteAllLeavesTheBanner) {
  OpenDialog();
  FillFive();
  Select({1});
  window->ChooseMenu(ID_LIST_DELETE_ALL);
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(Status(), Banner()) << "not a count of 0";
  EXPECT_EQ(Extent(), 0);
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

// --- moving -------------------------------------------------------------------------------

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
      {"up_menu", ID_LIST_MOVE_UP, {3}, Named({0, 1, 3, 2, 4}), {2}},
      {"up_with_first_selected_does_nothing", IDC_MOVE_UP, {0, 2}, Named({0, 1, 2, 3, 4}), {0, 2}},
      {"down_with_last_selected_does_nothing", IDC_MOVE_DOWN, {1, 2, 4}, Named({0, 1, 2, 3, 4}), {1, 2, 4}},
      {"down_blocks_and_singles", IDC_MOVE_DOWN, {0, 2, 3}, Named({1, 0, 4, 2, 3}), {1, 3, 4}},
      {"down_menu", ID_LIST_MOVE_DOWN, {0}, Named({1, 0, 2, 3, 4}), {1}},
      {"everything_but_the_last_down", IDC_MOVE_DOWN, {0, 1, 2, 3}, Named({4, 0, 1, 2, 3}), {1, 2, 3, 4}},
  };
  OpenDialog();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!Entries().empty()) window->ChooseMenu(ID_LIST_DELETE_ALL);
    FillFive();
    const int extent = Extent();
    Select(c.selected);
    window->ChooseMenu(static_cast<unsigned>(c.id));
    EXPECT_EQ(Entries(), c.order);
    EXPECT_EQ(Selection(), c.selected_after);
    EXPECT_EQ(Status(), Banner()) << "a move does not show the count";
    EXPECT_EQ(Extent(), extent);
    EXPECT_EQ(TakeMessages(), kNoMessages);
  }
}

TEST_F(ListTest, DeselectClearsTheSelectionWithoutAMessage) {
  OpenDialog();
  window->ChooseMenu(ID_LIST_DESELECT);
  EXPECT_EQ(TakeMessages(), kNoMessages) << "no check for an empty list";
  FillFive();
  Select({0, 2, 4});
  window->ChooseMenu(ID_LIST_DESELECT);
  EXPECT_EQ(Selection(), std::vector<int>{});
  EXPECT_EQ(Entries(), Named({0, 1, 2, 3, 4}));
  EXPECT_EQ(Status(), Banner());
}

// --- sorting ------------------------------------------------------------------------------

TEST(PathOrder, ComparesUnsignedBytes) {
  struct Case {
    const char* name;
    std::string a, b;
  };
  const Case before[] = {
      {"digits_are_not_numbers", "/dir/file10.txt", "/dir/file2.txt"},
      {"hyphen_before_backslash", "c:\\a-z.txt", "c:\\a\\z.txt"},
      {"hyphen_before_slash_before_letters", "/a-z", "/a/z"},
      {"prefix_first", "/a", "/a.txt"},
      {"capitals_before_small", "/B", "/a"},
      {"high_bytes_after_ascii", "/z", "/\x82\xa0"},
      {"lead_then_trail", "/\x82\xa0", "/\x82\xa1"},
      {"0x7f_before_0x80", "/\x7f", "/\x80"},
  };
  for (const Case& c : before) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(PathLess(c.a, c.b));
    EXPECT_FALSE(PathLess(c.b, c.a));
  }
  EXPECT_FALSE(PathLess("/same", "/same"));
}

TEST_F(ListTest, SortsAscendingAndDescendingByBytes) {
  const std::vector<std::string> start = {"/b.txt",   "/a.txt",          "/dir/file2.txt",
                                          "/a.txt",   "/dir/file10.txt", "/a-z.txt",
                                          "/a/z.txt", "/\x83\x41.txt",   "/B.txt"};
#if defined(_WIN32)
  // The capital was lowered on the way in.
  const std::vector<std::string> ascending = {"/a-z.txt",        "/a.txt",         "/a.txt",
                                              "/a/z.txt",        "/b.txt",         "/b.txt",
                                              "/dir/file10.txt", "/dir/file2.txt", "/\x83\x41.txt"};
#else
  const std::vector<std::string> ascending = {"/B.txt",          "/a-z.txt",       "/a.txt",
                                              "/a.txt",          "/a/z.txt",       "/b.txt",
                                              "/dir/file10.txt", "/dir/file2.txt", "/\x83\x41.txt"};
#endif
  // The locale plays no part.
  const char* previous = std::setlocale(LC_ALL, nullptr);
  std::string saved = previous ? previous : "C";
  std::setlocale(LC_ALL, "C.UTF-8");
  OpenDialog();
  AddFiles(start);
  const int extent = Extent();
  Select({0, 4});
  window->ChooseMenu(ID_LIST_SORT_ASCENDING);
  EXPECT_EQ(Entries(), ascending);
  EXPECT_EQ(Selection(), std::vector<int>{});
  EXPECT_EQ(Status(), Banner());
  EXPECT_EQ(Progress(), 0);
  EXPECT_EQ(Extent(), extent);

  Select({1});
  window->ChooseMenu(ID_LIST_SORT_DESCENDING);
  EXPECT_EQ(Entries(), std::vector<std::string>(ascending.rbegin(), ascending.rend()));
  EXPECT_EQ(Selection(), std::vector<int>{});
  EXPECT_EQ(Status(), Banner());
  EXPECT_EQ(host.WaitCursorShown(), 3);
  EXPECT_EQ(host.WaitCursorDepth(), 0);
  EXPECT_EQ(TakeMessages(), kNoMessages);
  std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(ListTest, SortingAnEmptyListOnlyResetsTheStatus) {
  OpenDialog();
  AddFiles({});
  ASSERT_EQ(Status(), Count(0));
  window->ChooseMenu(ID_LIST_SORT_DESCENDING);
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(Status(), Banner());
  EXPECT_EQ(TakeMessages(), kNoMessages);
}

TEST_F(ListTest, HorizontalExtentIsTheWidestEntryPlusOneCharacter) {
  OpenDialog();
  EXPECT_EQ(Extent(), 0);
  AddFiles({"/abc", "/" + std::string(99, 'x'), "/\x83\x41"});
  EXPECT_EQ(Extent(), 101 * headless::kCharWidth);
  Select({1});
  window->ChooseMenu(ID_LIST_DELETE);
  EXPECT_EQ(Extent(), 5 * headless::kCharWidth);
  window->Drop({});
  EXPECT_EQ(Extent(), 5 * headless::kCharWidth);
  EXPECT_EQ(Status(), Count(2));
}

}  // namespace
