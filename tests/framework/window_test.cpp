// The dialog classes on the headless backend: data exchange and its limit,
// failures that escape a handler, and the resources and texts the program
// hands to the framework.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <tuple>

#include "framework/headless/headless.h"
#include "framework/resources.h"
#include "framework/texts.h"

namespace {

constexpr unsigned kTestDialog = 7;
constexpr unsigned kTestString = 5;
constexpr int kLimited = 10, kCombo = 11, kLater = 12, kRun = 13, kList = 14;

// clang-format off
const DialogTemplate kLayout = {
    kTestDialog, "test", 100, 60, "font", 9, false, 0,
    {
        {kLimited, ControlKind::kEdit, 0, 0, 50, 10, "", {}},
        {kCombo, ControlKind::kComboBox, 0, 10, 50, 30, "", {"zero", "one"}},
        {kLater, ControlKind::kEdit, 0, 20, 50, 10, "", {}},
        {kRun, ControlKind::kButton, 0, 40, 50, 10, "run", {}},
        {kList, ControlKind::kListBox, 0, 50, 50, 30, "", {}},
    },
};
// clang-format on
const DialogTemplate* const kDialogs[] = {&kLayout};
const StringResource kStrings[] = {{kTestString, "five"}};
const ResourceTable kTable = {kDialogs, kStrings};

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(kTestDialog) {}
  CString limited, later;
  int choice = 0;
  std::function<void()> run;

 protected:
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Text(dx, kLimited, limited);
    DDV_MaxChars(dx, limited, 4);
    DDX_CBIndex(dx, kCombo, choice);
    DDX_Text(dx, kLater, later);
  }
  bool OnCommand(int id, int code) override {
    if (id != kRun) return false;
    run();
    return true;
  }
};

class WindowTest : public testing::Test {
 protected:
  WindowTest() {
    texts.max_chars = "at most %1";
    texts.out_of_memory = "no memory";
    texts.file_error = "%s|%s|%lu";
    texts.causes[CFileException::diskFull] = "disk full";
    SetResources(&kTable);
    SetFrameworkTexts(&texts);
    SetHost(&host);
  }
  ~WindowTest() override {
    window.reset();
    SetHost(nullptr);
    SetFrameworkTexts(nullptr);
    SetResources(nullptr);
  }

  std::vector<std::pair<std::string, unsigned>> TakeMessages() {
    std::vector<std::pair<std::string, unsigned>> shown;
    for (const headless::MessageRecord& m : host.Messages()) shown.emplace_back(m.text.View(), m.Icon());
    host.ClearMessages();
    return shown;
  }

  FrameworkTexts texts;
  headless::HeadlessHost host;
  TestDialog dialog;
  std::unique_ptr<headless::HeadlessWindow> window;
};

TEST_F(WindowTest, TextsUpToTheLimitPassAndLongerOnesStopTheExchange) {
  window = host.Open(dialog);
  EXPECT_EQ(window->Item(kLimited).limit, 4u) << "loading limits the edit";
  window->SetItemText(kLimited, "abcd");
  ASSERT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(dialog.limited, "abcd");
  EXPECT_TRUE(TakeMessages().empty());

  window->SetItemText(kLimited, "abcde");
  window->SelectComboItem(kCombo, 1);
  window->SetItemText(kLater, "later");
  EXPECT_FALSE(dialog.UpdateData(true));
  EXPECT_EQ(TakeMessages(),
            (std::vector<std::pair<std::string, unsigned>>{{"at most 4", win::kMbIconExclamation}}));
  EXPECT_EQ(dialog.choice, 0) << "members after the failing one keep their values";
  EXPECT_EQ(dialog.later, "");
}

TEST_F(WindowTest, ComboIndexOutsideTheItemsLeavesNoSelection) {
  dialog.choice = 2;
  window = host.Open(dialog);
  EXPECT_EQ(window->Item(kCombo).current, -1);
  EXPECT_FALSE(window->SelectComboItem(kCombo, 2)) << "nor can the user pick an item it lacks";
  EXPECT_FALSE(window->SelectComboItem(kCombo, -1));
  window->EnableItem(kCombo, false);
  EXPECT_FALSE(window->SelectComboItem(kCombo, 0)) << "nor one of a disabled combo";
  EXPECT_EQ(window->Item(kCombo).current, -1);
  ASSERT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(dialog.choice, -1);
}

TEST_F(WindowTest, FailuresEscapingAHandlerAreToldWithTheProgramsTexts) {
  window = host.Open(dialog);
  // name, what the handler throws, the message boxes shown
  const std::tuple<const char*, std::function<void()>, std::vector<std::pair<std::string, unsigned>>>
      cases[] = {
          {"file",
           [] { throw CFileException(CFileException::diskFull, 112, "out.txt"); },
           {{"out.txt|disk full|112", win::kMbIconStop}}},
          {"memory", [] { throw std::bad_alloc(); }, {{"no memory", win::kMbIconStop}}},
          {"already_told", [] { throw CUserException(); }, {}},
      };
  for (const auto& [name, failure, shown] : cases) {
    SCOPED_TRACE(name);
    dialog.run = failure;
    EXPECT_TRUE(window->Click(kRun));
    EXPECT_EQ(TakeMessages(), shown);
  }
}

// Adding and inserting answer where the entry went, deleting how many are left; an index
// outside the list answers LB_ERR and changes nothing.
TEST_F(WindowTest, ListEditsAnswerAsTheSystemsListBox) {
  window = host.Open(dialog);
  CListBox list;
  list.Attach(window.get(), kList);
  EXPECT_EQ(list.AddString("b"), 0);
  EXPECT_EQ(list.InsertString(0, "a"), 0);
  EXPECT_EQ(list.InsertString(-1, "c"), 2);
  EXPECT_EQ(list.InsertString(4, "x"), win::kLbErr);
  EXPECT_EQ(list.DeleteString(3), win::kLbErr);
  EXPECT_EQ(list.DeleteString(1), 2);
  EXPECT_EQ(window->ListItems(kList), (std::vector<CString>{"a", "c"}));
}

TEST_F(WindowTest, ResourcesAreThoseTheProgramHandedOver) {
  EXPECT_EQ(host.LoadString(kTestString), "five");
  EXPECT_EQ(host.LoadString(kTestString + 1), "");
  SetResources(nullptr);
  EXPECT_EQ(host.LoadString(kTestString), "");
  EXPECT_THROW(host.Open(dialog), std::invalid_argument);
}

}  // namespace
