// The program's dialog templates, menu and string table as data, for the
// backends that need them (framework/resources.h). tavvel.rc holds the same
// resources for the Windows program; a test keeps the two in step.
#pragma once

#include <vector>

#include "framework/resources.h"

struct MenuItemTemplate {
  const char* popup;  // the menu the item belongs to
  const char* text;   // nullptr for a separator
  unsigned id;
};

// The dialogs and strings, to hand to SetResources; they live as long as the program.
const ResourceTable& ProgramResources();
const std::vector<MenuItemTemplate>& MainMenuTemplate();
