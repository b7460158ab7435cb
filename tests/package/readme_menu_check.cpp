// Starts the program as a user would, chooses ヘルプ → お読みください in its main
// window, waits until the file the shell opens for HTML pages appears, and
// closes the program. Whatever the shell was asked to open is what the shell's
// "open" command for HTML pages records; the script around this checks it.
// usage: readme_menu_check PROGRAM.exe RECORD_FILE
#include <windows.h>

#include <cstdio>
#include <string>

#include "resources/resource.h"

namespace {

struct Search {
  DWORD process;
  HWND main = nullptr;   // the main dialog, captioned "Tavvel"
  HWND other = nullptr;  // any other dialog window: a message box
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  char name[32] = "", caption[64] = "";
  ::GetClassNameA(window, name, sizeof name);
  if (process != search->process || std::string(name) != "#32770" || !::IsWindowVisible(window)) return TRUE;
  ::GetWindowTextA(window, caption, sizeof caption);
  if (search->main == nullptr && std::string(caption) == "Tavvel" && ::GetMenu(window) != nullptr) {
    search->main = window;
  } else if (window != search->main) {
    search->other = window;
  }
  return TRUE;
}

Search FindWindows(DWORD process) {
  Search search{process};
  ::EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search;
}

bool Recorded(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return ::GetFileAttributesExA(path, GetFileExInfoStandard, &data) &&
         (data.nFileSizeLow > 0 || data.nFileSizeHigh > 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: readme_menu_check PROGRAM.exe RECORD_FILE\n");
    return 2;
  }
  std::string command = std::string("\"") + argv[1] + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION program{};
  if (!::CreateProcessA(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &program)) {
    std::fprintf(stderr, "cannot start %s (error %lu)\n", argv[1], ::GetLastError());
    return 1;
  }
  ::WaitForInputIdle(program.hProcess, 30000);

  Search found{program.dwProcessId};
  for (int i = 0; i < 600 && found.main == nullptr; ++i, ::Sleep(50))
    found = FindWindows(program.dwProcessId);
  bool recorded = false;
  if (found.main == nullptr) {
    std::fprintf(stderr, "the main dialog did not appear\n");
  } else {
    ::PostMessageA(found.main, WM_COMMAND, MAKEWPARAM(ID_HELP_README, 0), 0);
    for (int i = 0; i < 600 && !recorded; ++i, ::Sleep(50)) {
      recorded = Recorded(argv[2]);
      Search now = FindWindows(program.dwProcessId);
      if (now.other != nullptr) {
        char text[512] = "";
        ::GetDlgItemTextA(now.other, 0xFFFF, text, sizeof text);
        std::fprintf(stderr, "the program showed a message: %s\n", text);
        ::PostMessageA(now.other, WM_COMMAND, IDOK, 0);
        break;
      }
    }
    if (!recorded) std::fprintf(stderr, "the shell was not asked to open an HTML page\n");
    ::PostMessageA(found.main, WM_COMMAND, IDCANCEL, 0);
  }
  if (::WaitForSingleObject(program.hProcess, 20000) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "the program did not end\n");
    ::TerminateProcess(program.hProcess, 1);
    recorded = false;
  }
  ::CloseHandle(program.hThread);
  ::CloseHandle(program.hProcess);
  return recorded ? 0 : 1;
}
