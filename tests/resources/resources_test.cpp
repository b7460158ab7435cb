// The resource script of the Windows program and the template data of the
// headless backend describe the same dialogs, menu and strings.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "resources/templates.h"
#include "tavvel_version.h"

namespace {

std::string ReadSource(const char* name) {
  std::ifstream in(std::string(TAVVEL_SOURCE_DIR) + "/resources/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The texts a script line may name instead of quoting them.
const std::map<std::string, std::string> kTextMacros = {{"TAVVEL_VERSION_LABEL", TAVVEL_VERSION_LABEL}};

// The numeric value of every #define in resource.h, and the system's IDs.
std::map<std::string, long> Identifiers() {
  std::map<std::string, long> ids = {{"IDOK", 1}, {"IDCANCEL", 2}, {"IDC_STATIC", -1}};
  std::istringstream header(ReadSource("resource.h"));
  std::regex define(R"(#define\s+(\w+)\s+(0x[0-9A-Fa-f]+|\d+))");
  for (std::string line; std::getline(header, line);) {
    std::smatch m;
    if (std::regex_search(line, m, define)) ids[m[1]] = std::stol(m[2], nullptr, 0);
  }
  return ids;
}

struct ScriptControl {
  ControlKind kind;
  long id;
  int x, y, cx, cy;
  std::string text;
};

struct ScriptDialog {
  std::string caption, font;
  int cx = 0, cy = 0, point_size = 0;
  long menu = 0;
  std::vector<ScriptControl> controls;
};

ScriptDialog ParseDialog(const std::string& script, const std::string& name) {
  std::map<std::string, long> ids = Identifiers();
  ScriptDialog dialog;
  size_t at = script.find("\n" + name + " DIALOGEX");
  if (at == std::string::npos) ADD_FAILURE() << name << " missing";
  std::istringstream lines(script.substr(at + 1));
  std::string line;
  std::getline(lines, line);
  std::smatch m;
  if (std::regex_search(line, m, std::regex(R"(DIALOGEX\s+0,\s*0,\s*(\d+),\s*(\d+))"))) {
    dialog.cx = std::stoi(m[1]);
    dialog.cy = std::stoi(m[2]);
  }
  const std::regex caption(R"(^CAPTION\s+\"(.*)\")"), font(R"(^FONT\s+(\d+),\s*\"(.*)\")"), menu(R"(^MENU\s+(\w+))");
  const std::regex text_control(R"(^\s+(\w+)\s+(\"[^\"]*\"|\w+),\s*(\w+),\s*(-?\d+),\s*(\d+),\s*(\d+),\s*(\d+))");
  const std::regex plain_control(R"(^\s+(LISTBOX|COMBOBOX|EDITTEXT)\s+(\w+),\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+))");
  const std::regex custom(R"(^\s+CONTROL\s+\"([^\"]*)\",\s*(\w+),\s*(\"?\w+\"?),\s*[^,]+,\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+))");
  const std::regex icon(R"(^\s+ICON\s+(\w+),\s*(\w+),\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+))");
  const std::map<std::string, ControlKind> kinds = {
      {"DEFPUSHBUTTON", ControlKind::kDefaultButton}, {"PUSHBUTTON", ControlKind::kButton},
      {"LTEXT", ControlKind::kStatic}, {"GROUPBOX", ControlKind::kGroupBox}, {"LISTBOX", ControlKind::kListBox},
      {"COMBOBOX", ControlKind::kComboBox}, {"EDITTEXT", ControlKind::kEdit}};
  while (std::getline(lines, line) && line.rfind("END", 0) != 0) {
    if (std::regex_search(line, m, caption)) dialog.caption = m[1];
    if (std::regex_search(line, m, font)) {
      dialog.point_size = std::stoi(m[1]);
      dialog.font = m[2];
    }
    if (std::regex_search(line, m, menu)) dialog.menu = ids.at(m[1]);
    if (std::regex_search(line, m, custom)) {
      ControlKind kind = m[3] == "PROGRESS_CLASSA" ? ControlKind::kProgress : ControlKind::kEtchedLine;
      dialog.controls.push_back({kind, ids.at(m[2]), std::stoi(m[4]), std::stoi(m[5]), std::stoi(m[6]),
                                 std::stoi(m[7]), m[1]});
    } else if (std::regex_search(line, m, icon)) {
      dialog.controls.push_back({ControlKind::kIcon, ids.at(m[2]), std::stoi(m[3]), std::stoi(m[4]),
                                 std::stoi(m[5]), std::stoi(m[6]), ""});
    } else if (std::regex_search(line, m, plain_control)) {
      dialog.controls.push_back({kinds.at(m[1]), ids.at(m[2]), std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]),
                                 std::stoi(m[6]), ""});
    } else if (std::regex_search(line, m, text_control)) {
      std::string text = m[2].str()[0] == '"' ? m[2].str().substr(1, m[2].length() - 2) : kTextMacros.at(m[2]);
      dialog.controls.push_back({kinds.at(m[1]), ids.at(m[3]), std::stoi(m[4]), std::stoi(m[5]), std::stoi(m[6]),
                                 std::stoi(m[7]), text});
    }
  }
  return dialog;
}

const DialogTemplate* FindDialog(unsigned id) {
  for (const DialogTemplate* dialog : ProgramResources().dialogs) {
    if (dialog->id == id) return dialog;
  }
  return nullptr;
}

const char* FindString(unsigned id) {
  for (const StringResource& entry : ProgramResources().strings) {
    if (entry.id == id) return entry.text;
  }
  return nullptr;
}

class DialogResource : public testing::TestWithParam<std::pair<unsigned, const char*>> {};

TEST_P(DialogResource, ScriptAndTemplateAgree) {
  const auto [id, name] = GetParam();
  const DialogTemplate* data = FindDialog(id);
  ASSERT_NE(data, nullptr);
  ScriptDialog script = ParseDialog(ReadSource("tavvel.rc"), name);
  EXPECT_EQ(script.caption, data->caption);
  EXPECT_EQ(script.cx, data->cx);
  EXPECT_EQ(script.cy, data->cy);
  EXPECT_EQ(script.font, data->font);
  EXPECT_EQ(script.point_size, data->point_size);
  EXPECT_EQ(script.menu, static_cast<long>(data->menu_id));
  ASSERT_EQ(script.controls.size(), data->controls.size());
  for (size_t i = 0; i < script.controls.size(); ++i) {
    SCOPED_TRACE(i);
    const ScriptControl& s = script.controls[i];
    const ControlTemplate& t = data->controls[i];
    EXPECT_EQ(s.kind, t.kind);
    EXPECT_EQ(s.id, t.id);
    EXPECT_EQ(s.x, t.x);
    EXPECT_EQ(s.y, t.y);
    EXPECT_EQ(s.cx, t.cx);
    EXPECT_EQ(s.cy, t.cy);
    EXPECT_EQ(s.text, t.text);
  }
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogResource,
                         testing::Values(std::make_pair(unsigned{IDD_TAVVEL}, "IDD_TAVVEL"),
                                         std::make_pair(unsigned{IDD_ABOUTBOX}, "IDD_ABOUTBOX")));

TEST(MenuResource, ScriptAndTemplateAgree) {
  std::map<std::string, long> ids = Identifiers();
  std::string script = ReadSource("tavvel.rc");
  std::istringstream lines(script.substr(script.find("IDR_MENU MENU")));
  std::vector<MenuItemTemplate> expected = MainMenuTemplate();
  std::vector<std::pair<std::string, long>> items;  // text ("" separator) and id
  std::string popup;
  const std::regex item(R"(MENUITEM\s+\"(.*)\",\s*(\w+))");
  std::smatch m;
  for (std::string line; std::getline(lines, line) && line.rfind("END", 0) != 0;) {
    if (line.find("MENUITEM SEPARATOR") != std::string::npos) items.emplace_back("", 0);
    if (std::regex_search(line, m, item)) items.emplace_back(std::regex_replace(m[1].str(), std::regex(R"(\\t)"), "\t"), ids.at(m[2]));
  }
  ASSERT_EQ(items.size(), expected.size());
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].first, expected[i].text ? expected[i].text : "") << i;
    EXPECT_EQ(items[i].second, static_cast<long>(expected[i].id)) << i;
  }
}

TEST(StringResource, ScriptAndTableAgree) {
  std::string script = ReadSource("tavvel.rc");
  for (const char* name : {"IDS_ABOUTBOX", "IDS_NOT_SELECTED", "IDS_LIST_EMPTY"}) {
    long id = Identifiers().at(name);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(script, m, std::regex(std::string(name) + R"(\s+\"(.*)\")"))) << name;
    ASSERT_NE(FindString(static_cast<unsigned>(id)), nullptr) << name;
    EXPECT_EQ(m[1].str(), FindString(static_cast<unsigned>(id))) << name;
  }
}

}  // namespace
