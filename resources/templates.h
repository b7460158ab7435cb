// The dialog templates, menu and string table as data, for backends that
// build windows themselves (the headless one). tavvel.rc holds the same
// resources for the Windows program; a test keeps the two in step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class ControlKind { kButton, kDefaultButton, kStatic, kEtchedLine, kGroupBox, kIcon, kListBox, kComboBox, kEdit, kProgress };

struct ControlTemplate {
  int id;  // -1 for controls without one
  ControlKind kind;
  int x, y, cx, cy;  // dialog units
  const char* text;
  std::vector<const char*> items;  // combo boxes: the items in order
};

struct DialogTemplate {
  unsigned id;
  const char* caption;
  int cx, cy;
  const char* font;
  int point_size;
  bool system_menu;
  unsigned menu_id;  // 0: none
  std::vector<ControlTemplate> controls;  // in tab order
};

struct MenuItemTemplate {
  const char* popup;  // the menu the item belongs to
  const char* text;   // nullptr for a separator
  unsigned id;
};

const DialogTemplate* FindDialogTemplate(unsigned id);
const std::vector<MenuItemTemplate>& MainMenuTemplate();
// The string table entry, or nullptr.
const char* FindStringResource(unsigned id);
