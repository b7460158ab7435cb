// The user scenarios against the real Windows dialog: the program starts as
// it does for a user (ini file beside the executable), runs on its own
// thread, and the test works it with real window messages. File dialogs,
// message boxes and the shell are answered through the backend's hooks.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "app/app.h"
#include "framework/os.h"
#include "framework/win32/win32.h"
#include "tests/scenarios/driver.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

win32::Win32Host& TheHost() {
  static win32::Win32Host host(::GetModuleHandleA(nullptr));
  return host;
}

class Win32Driver : public DialogDriver {
 public:
  Win32Driver() { InstallHooks(); }
  ~Win32Driver() override {
    if (Running()) ::PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
    WaitForEnd(10s);
    if (program_.joinable()) program_.join();
  }

  // --- the program --------------------------------------------------------
  void Start(const std::string& ini_content) override {
    WaitForEnd(10s);
    if (program_.joinable()) program_.join();
    fs::remove(IniPath());
    if (!ini_content.empty()) tavvel_test::WriteFile(IniPath(), ini_content);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dialog_ = nullptr;
      ended_ = false;
    }
    program_ = std::thread([this] {
      SetHost(&TheHost());
      CJoinApp app;
      app.InitInstance();
      std::lock_guard<std::mutex> lock(mutex_);
      ended_ = true;
      changed_.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex_);
    ASSERT_TRUE(changed_.wait_for(lock, 30s, [this] { return dialog_ != nullptr || ended_; }));
    ASSERT_NE(dialog_, nullptr);
    lock.unlock();
    // The dialog shows itself once its initialisation is done.
    for (int i = 0; i < 500 && !::IsWindowVisible(dialog_); ++i) std::this_thread::sleep_for(10ms);
  }
  bool Running() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return dialog_ != nullptr && !ended_;
  }
  std::string IniPath() override {
    std::string path(PathRenameExtension(GetModuleFileName(), ".ini").View());
    LowerAsciiPath(path.data());
    return path;
  }

  // --- the user -----------------------------------------------------------
  bool Click(int id) override {
    HWND item = ::GetDlgItem(dialog_, id);
    if (item == nullptr || !::IsWindowEnabled(item)) return false;
    ::SendMessageA(item, BM_CLICK, 0, 0);
    SettleAfterClose();
    return true;
  }
  void Menu(unsigned id) override {
    ::SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    SettleAfterClose();
  }
  bool SelectCombo(int id, int index) override {
    HWND combo = ::GetDlgItem(dialog_, id);
    if (combo == nullptr || !::IsWindowEnabled(combo)) return false;
    ::SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    return true;
  }
  void TypeText(int id, const std::string& text) override {
    ::SendMessageA(::GetDlgItem(dialog_, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  void ToggleSelection(int index) override { ClickItem(index, false); }
  void DoubleClick(int index) override { ClickItem(index, true); }
  void Drop(const std::vector<std::string>& names) override {
    size_t bytes = sizeof(DROPFILES) + 1;
    for (const std::string& name : names) bytes += name.size() + 1;
    HGLOBAL memory = ::GlobalAlloc(GHND, bytes);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* name_at = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
    for (const std::string& name : names) {
      std::memcpy(name_at, name.c_str(), name.size() + 1);
      name_at += name.size() + 1;
    }
    ::GlobalUnlock(memory);
    ::SendMessageA(dialog_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  }
  void SystemCommand(unsigned command) override {
    ::SendMessageA(dialog_, WM_SYSCOMMAND, command, 0);
    // The close box comes back as a posted cancel command: wait for the end.
    if ((command & 0xFFF0) == SC_CLOSE) {
      WaitForEnd(10s);
    } else {
      SettleAfterClose();
    }
  }
  void PressEscape() override {
    // The key goes to the control with the focus; the dialog manager turns
    // it into the cancel command.
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog_, nullptr), &info);
    HWND target = info.hwndFocus ? info.hwndFocus : dialog_;
    ::PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    WaitForEnd(10s);
  }

  // --- the desktop --------------------------------------------------------
  void AnswerFileDialog(const std::vector<std::string>& paths) override {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(paths);
  }
  void CancelFileDialog() override {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(std::nullopt);
  }
  void AnswerShellExecute(intptr_t result, uint32_t error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    shell_result_ = result;
    shell_error_ = error;
  }
  std::vector<ShownMessage> TakeMessages() override { return Take(messages_); }
  // From now on the program shows the system's own message boxes and file
  // dialogs, which the test then finds and answers.
  void UseRealWindows() {
    TheHost().message_box_hook = nullptr;
    TheHost().file_dialog_hook = nullptr;
  }
  HWND DialogWindow() const { return dialog_; }
  std::vector<AskedFileDialog> TakeFileDialogs() override { return Take(file_dialogs_); }
  std::vector<unsigned> TakeModals() override { return Take(modals_); }

  // --- what the user sees ---------------------------------------------------
  std::vector<std::string> ListItems() override {
    HWND list = ::GetDlgItem(dialog_, IDC_FILE_LIST);
    std::vector<std::string> items;
    int count = static_cast<int>(::SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      std::vector<char> buffer(static_cast<size_t>(::SendMessageA(list, LB_GETTEXTLEN, i, 0)) + 1);
      ::SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buffer.data()));
      items.emplace_back(buffer.data());
    }
    return items;
  }
  std::vector<int> Selection() override {
    HWND list = ::GetDlgItem(dialog_, IDC_FILE_LIST);
    std::vector<int> selected;
    int count = static_cast<int>(::SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      if (::SendMessageA(list, LB_GETSEL, i, 0) > 0) selected.push_back(i);
    }
    return selected;
  }
  int HorizontalExtent() override {
    return static_cast<int>(::SendDlgItemMessageA(dialog_, IDC_FILE_LIST, LB_GETHORIZONTALEXTENT, 0, 0));
  }
  int ComboSelection(int id) override {
    return static_cast<int>(::SendDlgItemMessageA(dialog_, id, CB_GETCURSEL, 0, 0));
  }
  bool Enabled(int id) override { return ::IsWindowEnabled(::GetDlgItem(dialog_, id)) != 0; }
  std::string Text(int id) override {
    char buffer[1024] = "";
    ::GetDlgItemTextA(dialog_, id, buffer, sizeof buffer);
    return buffer;
  }
  int ProgressPosition() override {
    return static_cast<int>(::SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_GETPOS, 0, 0));
  }
  std::vector<std::string> SystemMenuItems() override {
    HMENU menu = ::GetSystemMenu(dialog_, FALSE);
    std::vector<std::string> items;
    for (int i = 0, count = ::GetMenuItemCount(menu); i < count; ++i) {
      char text[256] = "";
      ::GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
      items.emplace_back(text);
    }
    return items;
  }

 private:
  template <class T>
  std::vector<T> Take(std::vector<T>& records) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<T> taken;
    taken.swap(records);
    return taken;
  }

  void InstallHooks() {
    win32::Win32Host& host = TheHost();
    host.dialog_opened = [this](HWND window, CDialog& dialog) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (dialog.TemplateId() == IDD_TAVVEL) {
        dialog_ = window;
        changed_.notify_all();
      } else {
        modals_.push_back(dialog.TemplateId());
        ::PostMessageA(window, WM_COMMAND, IDOK, 0);  // read and closed
      }
    };
    host.message_box_hook = [this](const char* text, unsigned type) {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.push_back({text, type & MB_ICONMASK});
      return IDOK;
    };
    host.file_dialog_hook = [this](const FileDialogRequest& request, std::vector<CString>* paths) {
      std::lock_guard<std::mutex> lock(mutex_);
      file_dialogs_.emplace_back(request);
      if (answers_.empty()) return false;
      std::optional<std::vector<std::string>> answer = answers_.front();
      answers_.pop_front();
      if (!answer) return false;
      for (const std::string& path : *answer) paths->emplace_back(path.c_str());
      return true;
    };
    host.shell_hook = [this](const char* verb, const char* file) -> intptr_t {
      std::lock_guard<std::mutex> lock(mutex_);
      ::SetLastError(shell_error_);
      return shell_result_;
    };
  }

  void ClickItem(int index, bool twice) {
    HWND list = ::GetDlgItem(dialog_, IDC_FILE_LIST);
    RECT item{};
    ::SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    LPARAM at = MAKELPARAM(item.left + 2, (item.top + item.bottom) / 2);
    ::SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageA(list, WM_LBUTTONUP, 0, at);
    if (twice) {
      ::SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
      ::SendMessageA(list, WM_LBUTTONUP, 0, at);
    }
  }

  // A command that closes the dialog hides it at once; the program then
  // ends a moment later (a close box request comes back as a posted cancel).
  void SettleAfterClose() {
    if (::IsWindow(dialog_) && ::IsWindowVisible(dialog_)) {
      ::SendMessageA(dialog_, WM_NULL, 0, 0);
      std::this_thread::sleep_for(50ms);
      if (::IsWindow(dialog_)) return;
    }
    WaitForEnd(10s);
  }

  void WaitForEnd(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (dialog_ == nullptr) return;
    changed_.wait_for(lock, limit, [this] { return ended_; });
  }

  std::thread program_;
  std::mutex mutex_;
  std::condition_variable changed_;
  HWND dialog_ = nullptr;
  bool ended_ = false;
  std::deque<std::optional<std::vector<std::string>>> answers_;
  std::vector<ShownMessage> messages_;
  std::vector<AskedFileDialog> file_dialogs_;
  std::vector<unsigned> modals_;
  intptr_t shell_result_ = 2;
  uint32_t shell_error_ = 2;
};

// The first visible dialog-class window of the program's thread other than
// the main dialog, waited for up to five seconds.
HWND WaitForOwnedDialog(HWND main_dialog) {
  struct Search {
    HWND main;
    HWND found;
  } search{main_dialog, nullptr};
  DWORD thread = ::GetWindowThreadProcessId(main_dialog, nullptr);
  for (int i = 0; i < 500 && search.found == nullptr; ++i) {
    ::EnumThreadWindows(
        thread,
        [](HWND window, LPARAM data) -> BOOL {
          auto* s = reinterpret_cast<Search*>(data);
          char name[32] = "";
          ::GetClassNameA(window, name, sizeof name);
          if (window != s->main && std::strcmp(name, "#32770") == 0 && ::IsWindowVisible(window)) {
            s->found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) std::this_thread::sleep_for(10ms);
  }
  return search.found;
}

// The icon a message box shows, found among its children.
HICON MessageBoxIcon(HWND box) {
  HICON icon = nullptr;
  ::EnumChildWindows(
      box,
      [](HWND child, LPARAM data) -> BOOL {
        if ((::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
        *reinterpret_cast<HICON*>(data) = reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0));
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&icon));
  return icon;
}

// Texts as the program shows them: code page 932 bytes.
const char kListEmptyCp932[] = "\x83\x8a\x83\x58\x83\x67\x82\xaa\x8b\xf3\x82\xc5\x82\xb7\x81\x42";
const char kChooseFilesCp932[] = "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x91\x49\x91\xf0";
const char kNoFilesCp932[] = "\x83\x74\x83\x40\x83\x43\x83\x8b\x90\x94: 0";

TEST(Win32Program, ShowsTheSystemsMessageBoxesAndFileDialogs) {
  Win32Driver user;
  user.Start("");
  user.UseRealWindows();
  HWND dialog = user.DialogWindow();

  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(ID_LIST_DELETE, 0), 0);
  HWND box = WaitForOwnedDialog(dialog);
  ASSERT_NE(box, nullptr);
  char text[256] = "";
  ::GetWindowTextA(box, text, sizeof text);
  EXPECT_STREQ(text, "Tavvel");
  ::GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  EXPECT_STREQ(text, kListEmptyCp932);
  EXPECT_EQ(MessageBoxIcon(box), ::LoadIconA(nullptr, IDI_HAND));
  ::PostMessageA(box, WM_COMMAND, IDOK, 0);

  // The Open dialog of the add command, with its title; cancelled, the
  // status line shows the count.
  for (int i = 0; i < 500 && ::IsWindow(box); ++i) std::this_thread::sleep_for(10ms);
  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ADD, BN_CLICKED), 0);
  HWND open = WaitForOwnedDialog(dialog);
  ASSERT_NE(open, nullptr);
  ::GetWindowTextA(open, text, sizeof text);
  EXPECT_STREQ(text, kChooseFilesCp932);
  ::PostMessageA(open, WM_COMMAND, IDCANCEL, 0);
  for (int i = 0; i < 500 && ::IsWindow(open); ++i) std::this_thread::sleep_for(10ms);
  ::SendMessageA(dialog, WM_NULL, 0, 0);
  EXPECT_EQ(user.Text(IDC_STATUS), kNoFilesCp932);
  user.PressEscape();
  EXPECT_FALSE(user.Running());
}

TEST(Win32Program, AnswersTheDragIconQueryWithItsIcon) {
  Win32Driver user;
  user.Start("");
  auto icon = reinterpret_cast<HICON>(::SendMessageA(user.DialogWindow(), WM_QUERYDRAGICON, 0, 0));
  EXPECT_NE(icon, nullptr);
  EXPECT_EQ(icon, reinterpret_cast<HICON>(::SendMessageA(user.DialogWindow(), WM_GETICON, ICON_BIG, 0)));
  user.PressEscape();
}

TEST(Win32Program, KeepsItsSettingsBesideTheExecutableInLowerCase) {
  // The executable's name has capitals; the ini file is written lowered.
  std::string exe(GetModuleFileName().View());
  std::string folder = exe.substr(0, exe.rfind('\\'));
  ASSERT_NE(exe.find("Win32ScenarioTest.exe"), std::string::npos) << exe;
  Win32Driver user;
  user.Start("");
  user.PressEscape();
  bool lowered = false, original = false;
  for (const auto& entry : fs::directory_iterator(folder)) {
    lowered |= entry.path().filename().string() == "win32scenariotest.ini";
    original |= entry.path().filename().string() == "Win32ScenarioTest.ini";
  }
  EXPECT_TRUE(lowered);
  EXPECT_FALSE(original);
}

class Win32Scenario : public testing::TestWithParam<Scenario> {};

TEST_P(Win32Scenario, Runs) {
  Win32Driver user;
  RunScenario(user, GetParam());
}

INSTANTIATE_TEST_SUITE_P(User, Win32Scenario, testing::ValuesIn(AllScenarios()),
                         [](const testing::TestParamInfo<Scenario>& info) { return info.param.name; });

}  // namespace
