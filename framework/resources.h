// The program's resources as data: dialog templates and the string table, for
// backends that build windows themselves (headless) or fill what a resource
// script cannot hold (the Win32 combo items). The program hands them over
// when it starts; the framework has none of its own.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

enum class ControlKind {
  kButton,
  kDefaultButton,
  kStatic,
  kEtchedLine,
  kGroupBox,
  kIcon,
  kListBox,
  kComboBox,
  kEdit,
  kProgress
};

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
  unsigned menu_id;                       // 0: none
  std::vector<ControlTemplate> controls;  // in tab order
};

struct StringResource {
  unsigned id;
  const char* text;
};

// What the program supplies. The table and everything it points to must
// outlive every dialog.
struct ResourceTable {
  std::span<const DialogTemplate* const> dialogs;
  std::span<const StringResource> strings;
};

// Makes table the program's resources; nullptr removes them.
void SetResources(const ResourceTable* table);
// The dialog template with this id, or nullptr (also when no table is set).
const DialogTemplate* FindDialogTemplate(unsigned id);
// The string table entry with this id, or nullptr.
const char* FindStringResource(unsigned id);
