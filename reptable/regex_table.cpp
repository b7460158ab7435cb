// Regex replacement mode: each table line is a command run over the text.
#include "app/app.h"

void CJoinDlg::ApplyRegexTable(CString& text) {
  // The commands need the regex engine's command layer; until it is part of
  // the program the text goes on unchanged.
  (void)text;
}
