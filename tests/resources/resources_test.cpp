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

const std::string kScript = ReadSource("tavvel.rc");

// The numeric value of every #define in resource.h, and the system's IDs.
long Id(const std::string& name) {
  static const std::map<std::string, long> ids = [] {
    std::map<std::string, long> ids = {{"IDOK", 1}, {"IDCANCEL", 2}, {"IDC_STATIC", -1}};
    std::istringstream header(ReadSource("resource.h"));
    const std::regex define(R"(#define\s+(\w+)\s+(0x[0-9A-Fa-f]+|\d+))");
    std::smatch m;
    for (std::string line; std::getline(header, line);) {
      if (std::regex_search(line, m, define)) ids[m[1]] = std::stol(m[2], nullptr, 0);
    }
    return ids;
  }();
  return ids.at(name);
}

// A script field as text: a quoted string, or the macro a line may name instead.
std::string Text(const std::string& field) {
  if (field == "TAVVEL_VERSION_LABEL") return TAVVEL_VERSION_LABEL;
  return field.size() >= 2 && field.front() == '"' ? field.substr(1, field.size() - 2) : field;
}

std::string Describe(ControlKind kind, long id, int x, int y, int cx, int cy, const std::string& text) {
  std::ostringstream out;
  out << static_cast<int>(kind) << " id " << id << " at " << x << "," << y << " size " << cx << "," << cy
      << " \"" << text << "\"";
  return out.str();
}

// Where a control line of the script keeps its text (-1: none), id and position.
struct Layout {
  ControlKind kind;
  int text, id, x;
};
const std::map<std::string, Layout> kLayouts = {{"DEFPUSHBUTTON", {ControlKind::kDefaultButton, 0, 1, 2}},
                                                {"PUSHBUTTON", {ControlKind::kButton, 0, 1, 2}},
                                                {"LTEXT", {ControlKind::kStatic, 0, 1, 2}},
                                                {"GROUPBOX", {ControlKind::kGroupBox, 0, 1, 2}},
                                                {"LISTBOX", {ControlKind::kListBox, -1, 0, 1}},
                                                {"COMBOBOX", {ControlKind::kComboBox, -1, 0, 1}},
                                                {"EDITTEXT", {ControlKind::kEdit, -1, 0, 1}},
                                                {"ICON", {ControlKind::kIcon, -1, 1, 2}},
                                                {"CONTROL", {ControlKind::kEtchedLine, 0, 1, 4}}};

// The dialog's size, caption, menu, font and controls as the script states them.
std::vector<std::string> ScriptDialog(const std::string& name) {
  std::istringstream lines(kScript.substr(kScript.find("\n" + name + " DIALOGEX") + 1));
  const std::regex header(R"(^(?:\w+ DIALOGEX\s+0,\s*0,|CAPTION|FONT)\s+(.*))"), menu(R"(^MENU\s+(\w+))");
  std::vector<std::string> described;
  std::smatch m;
  for (std::string line; std::getline(lines, line) && line.rfind("END", 0) != 0;) {
    if (std::regex_search(line, m, header)) described.push_back(m[1]);
    if (std::regex_search(line, m, menu)) described.push_back("menu " + std::to_string(Id(m[1])));
    std::istringstream words(line);
    std::string keyword, field;
    if (!(words >> keyword) || !kLayouts.count(keyword)) continue;
    std::vector<std::string> fields;
    while (std::getline(words >> std::ws, field, ','))
      fields.push_back(field.substr(0, field.find_last_not_of(' ') + 1));
    Layout layout = kLayouts.at(keyword);
    if (keyword == "CONTROL" && fields.at(2) == "PROGRESS_CLASSA") layout.kind = ControlKind::kProgress;
    const auto number = [&](int offset) { return std::stoi(fields.at(layout.x + offset)); };
    described.push_back(Describe(layout.kind, Id(fields.at(layout.id)), number(0), number(1), number(2),
                                 number(3), layout.text < 0 ? "" : Text(fields.at(layout.text))));
  }
  return described;
}

TEST(DialogResource, ScriptAndTemplateAgree) {
  for (const DialogTemplate* data : ProgramResources().dialogs) {
    const char* name = data->id == IDD_TAVVEL     ? "IDD_TAVVEL"
                       : data->id == IDD_ABOUTBOX ? "IDD_ABOUTBOX"
                                                  : "?";
    std::vector<std::string> expected = {std::to_string(data->cx) + ", " + std::to_string(data->cy),
                                         '"' + std::string(data->caption) + '"'};
    if (data->menu_id != 0) expected.push_back("menu " + std::to_string(data->menu_id));
    expected.push_back(std::to_string(data->point_size) + ", \"" + data->font + '"');
    for (const ControlTemplate& c : data->controls) {
      expected.push_back(Describe(c.kind, c.id, c.x, c.y, c.cx, c.cy, c.text));
    }
    EXPECT_EQ(ScriptDialog(name), expected) << name;
  }
  EXPECT_EQ(ProgramResources().dialogs.size(), 2u);
}

TEST(MenuResource, ScriptAndTemplateAgree) {
  std::istringstream lines(kScript.substr(kScript.find("IDR_MENU MENU")));
  std::vector<std::string> script, expected;
  const std::regex item(R"(MENUITEM\s+\"(.*)\",\s*(\w+))");
  std::smatch m;
  for (std::string line; std::getline(lines, line) && line.rfind("END", 0) != 0;) {
    if (line.find("MENUITEM SEPARATOR") != std::string::npos) script.push_back("separator");
    if (std::regex_search(line, m, item)) {
      script.push_back(std::regex_replace(m[1].str(), std::regex(R"(\\t)"), "\t") + " " +
                       std::to_string(Id(m[2])));
    }
  }
  for (const MenuItemTemplate& i : MainMenuTemplate()) {
    expected.push_back(i.text ? i.text + (" " + std::to_string(i.id)) : "separator");
  }
  EXPECT_EQ(script, expected);
}

TEST(StringResource, ScriptAndTableAgree) {
  for (const char* name : {"IDS_ABOUTBOX", "IDS_NOT_SELECTED", "IDS_LIST_EMPTY"}) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(kScript, m, std::regex(std::string(name) + R"(\s+\"(.*)\")"))) << name;
    const char* text = nullptr;
    for (const StringResource& entry : ProgramResources().strings) {
      if (entry.id == static_cast<unsigned>(Id(name))) text = entry.text;
    }
    ASSERT_NE(text, nullptr) << name;
    EXPECT_EQ(m[1].str(), text) << name;
  }
}

}  // namespace
