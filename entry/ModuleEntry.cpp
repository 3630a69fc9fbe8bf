// Records the module instance when the library is attached.
#include <windows.h>

#include "services/HostServices.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    return recordModuleInstance(instance, reason) ? TRUE : FALSE;
}
