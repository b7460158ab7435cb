// The Windows program's entry: the Win32 host, then the application object.
#include <windows.h>
#include <commctrl.h>

#include "framework/win32/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  win32::Win32Host host(instance);
  SetHost(&host);
  CWinApp* app = AfxGetApp();
  if (app != nullptr) app->InitInstance();
  return 0;
}
