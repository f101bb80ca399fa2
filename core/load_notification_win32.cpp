// The library's load notification: keeps the module instance on process
// attach and answers success for every reason.
#include <windows.h>

#include "core/globals.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) vantrel::moduleInstance = instance;
  return TRUE;
}
