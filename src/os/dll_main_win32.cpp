// Win32 back end: the DLL entry point.
//
// The library builds everything it needs from its static objects or on first use, so the entry point has
// nothing to do except tell the loader not to call it for every thread the process starts and ends.
// Static builds have no entry point of their own.
#ifndef ZEM_UTIL_STATIC

#include "os/windows_api.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

#endif  // ZEM_UTIL_STATIC
