// The DLL's entry point loads the library at process attach and unloads it at detach.
#include <windows.h>

#include "hardware/enumeration.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance); // thread attach and detach do nothing
        kz::loadLibrary();
        break;
    case DLL_PROCESS_DETACH:
        // A detach at process exit (reserved not null) comes after the system has ended every
        // other thread, perhaps inside a card's lock or a service's: nothing is closed or freed
        // then, the system reclaims the process's memory and handles. An unload by the host
        // (FreeLibrary) closes the cards and frees the card table.
        if (reserved == nullptr) {
            kz::unloadLibrary();
        }
        break;
    default: break;
    }
    return TRUE; // the load always succeeds, with or without cards
}
