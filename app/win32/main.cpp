// koushin.exe: the Windows update wizard.
#include <windows.h>

#include "wizard_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  koushin::win32::CWizardApp app;
  if (!app.InitInstance()) return 1;
  return app.Run();
}
