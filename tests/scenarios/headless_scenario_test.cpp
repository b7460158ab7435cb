// The user scenarios against the headless backend.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/app.h"
#include "framework/headless/headless.h"
#include "tests/scenarios/driver.h"

namespace {

class HeadlessDriver : public DialogDriver {
 public:
  HeadlessDriver() { SetHost(&host_); }

  void Start(const std::string& ini_content) override {
    dialog_.reset();
    window_.reset();
    app_ = std::make_unique<CWinApp>();
    app_->SetProfileName(IniPath().c_str());
    std::filesystem::remove(IniPath());
    if (!ini_content.empty()) tavvel_test::WriteFile(IniPath(), ini_content);
    dialog_ = std::make_unique<CJoinDlg>();
    window_ = host_.Open(*dialog_);
  }
  bool Running() override { return window_ && !window_->Ended(); }
  std::string IniPath() override { return folder_ / "tavvel.ini"; }

  bool Click(int id) override { return window_->Click(id); }
  void Menu(unsigned id) override { window_->ChooseMenu(id); }
  bool SelectCombo(int id, int index) override { return window_->SelectComboItem(id, index); }
  void TypeText(int id, const std::string& text) override { window_->TypeText(id, text.c_str()); }
  void ToggleSelection(int index) override { window_->ToggleSelection(index); }
  void DoubleClick(int index) override { window_->DoubleClick(index); }
  void Drop(const std::vector<std::string>& names) override {
    window_->Drop(std::vector<CString>(names.begin(), names.end()));
  }
  void SystemCommand(unsigned command) override { window_->SystemCommand(command); }
  void PressEscape() override { window_->PressEscape(); }

  void AnswerFileDialog(const std::vector<std::string>& paths) override {
    host_.AnswerFileDialog(std::vector<CString>(paths.begin(), paths.end()));
  }
  void CancelFileDialog() override { host_.CancelFileDialog(); }
  void AnswerShellExecute(intptr_t result, uint32_t error) override {
    host_.AnswerShellExecute(result, error);
  }
  std::vector<ShownMessage> TakeMessages() override {
    std::vector<ShownMessage> taken;
    for (const headless::MessageRecord& record : TakeNew(host_.Messages(), messages_seen_))
      taken.push_back({std::string(record.text.View()), record.Icon()});
    return taken;
  }
  std::vector<AskedFileDialog> TakeFileDialogs() override {
    const auto requests = TakeNew(host_.FileDialogs(), dialogs_seen_);
    return std::vector<AskedFileDialog>(requests.begin(), requests.end());
  }
  std::vector<unsigned> TakeModals() override { return TakeNew(host_.ModalsRun(), modals_seen_); }

  std::vector<std::string> ListItems() override {
    std::vector<std::string> items;
    for (const CString& item : window_->ListItems(IDC_FILE_LIST)) items.emplace_back(item.View());
    return items;
  }
  std::vector<int> Selection() override { return window_->SelectedIndexes(IDC_FILE_LIST); }
  int HorizontalExtent() override { return window_->Item(IDC_FILE_LIST).horizontal_extent; }
  int ComboSelection(int id) override { return window_->Item(id).current; }
  bool Enabled(int id) override { return window_->Item(id).enabled; }
  std::string Text(int id) override { return std::string(window_->Item(id).text.View()); }
  int ProgressPosition() override { return window_->Item(IDC_PROGRESS).position; }
  std::vector<std::string> SystemMenuItems() override {
    std::vector<std::string> items;
    for (const headless::SystemMenuItem& item : window_->SystemMenu()) items.emplace_back(item.text.View());
    return items;
  }

 private:
  // The records added since the last look.
  template <class T>
  static std::vector<T> TakeNew(const std::vector<T>& records, size_t& seen) {
    std::vector<T> taken(records.begin() + static_cast<std::ptrdiff_t>(seen), records.end());
    seen = records.size();
    return taken;
  }

  headless::HeadlessHost host_;
  std::unique_ptr<CWinApp> app_;
  std::unique_ptr<CJoinDlg> dialog_;
  std::unique_ptr<headless::HeadlessWindow> window_;
  size_t messages_seen_ = 0, dialogs_seen_ = 0, modals_seen_ = 0;
};

class HeadlessScenario : public testing::TestWithParam<Scenario> {};

TEST_P(HeadlessScenario, Runs) {
  HeadlessDriver user;
  RunScenario(user, GetParam());
}

INSTANTIATE_TEST_SUITE_P(User, HeadlessScenario, testing::ValuesIn(AllScenarios()),
                         [](const testing::TestParamInfo<Scenario>& info) { return info.param.name; });

}  // namespace
