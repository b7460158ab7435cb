// The application object: finds the ini file beside the executable and runs
// the main dialog until it is closed.
#include "app/app.h"

#include <algorithm>
#include <iterator>

#include "app/messages.h"
#include "framework/os.h"
#include "framework/texts.h"
#include "resources/templates.h"

void InstallProgramResources() {
  static_assert(std::size(msg::kFileErrorCauses) == CFileException::kCauseCount);
  static const FrameworkTexts texts = [] {
    FrameworkTexts t;
    t.caption = msg::kProgramName;
    t.max_chars = msg::kMaxChars;
    t.out_of_memory = msg::kOutOfMemory;
    t.file_error = msg::kFileError;
    std::copy(std::begin(msg::kFileErrorCauses), std::end(msg::kFileErrorCauses), t.causes.begin());
    return t;
  }();
  SetResources(&ProgramResources());
  SetFrameworkTexts(&texts);
}

bool CJoinApp::InitInstance() {
  CString ini = PathRenameExtension(GetModuleFileName(), ".ini");
  if (kPathsIgnoreCase) {
    LowerAsciiPath(ini.GetBuffer(ini.GetLength()));
    ini.ReleaseBuffer();
  }
  SetProfileName(ini);

  CJoinDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  // No message loop follows: the program ends with its dialog.
  return false;
}
