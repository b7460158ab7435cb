// The program's resources and texts, as the program handed them over.
#include "framework/resources.h"

#include "framework/texts.h"

namespace {
const ResourceTable* g_resources = nullptr;
const FrameworkTexts kNoTexts;
const FrameworkTexts* g_texts = &kNoTexts;
}  // namespace

void SetResources(const ResourceTable* table) { g_resources = table; }

const DialogTemplate* FindDialogTemplate(unsigned id) {
  if (g_resources == nullptr) return nullptr;
  for (const DialogTemplate* dialog : g_resources->dialogs) {
    if (dialog->id == id) return dialog;
  }
  return nullptr;
}

const char* FindStringResource(unsigned id) {
  if (g_resources == nullptr) return nullptr;
  for (const StringResource& entry : g_resources->strings) {
    if (entry.id == id) return entry.text;
  }
  return nullptr;
}

void SetFrameworkTexts(const FrameworkTexts* texts) { g_texts = texts != nullptr ? texts : &kNoTexts; }

const FrameworkTexts& GetFrameworkTexts() { return *g_texts; }
