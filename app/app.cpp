// The application object: finds the ini file beside the executable and runs
// the main dialog until it is closed.
#include "app/app.h"

#include "framework/os.h"
#include "resources/templates.h"
#include "texts/messages.h"

void InstallProgramResources() {
  SetResources(&ProgramResources());
  msg::InstallFrameworkTexts();
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
