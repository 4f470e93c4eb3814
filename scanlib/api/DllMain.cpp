// The library's module entry: the process-detach notification closes an
// interface that is still open (stopping the spooler's worker first); attach
// does nothing.
#include <windows.h>

#include <SIInterface.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) SI_CloseInterface();
    return TRUE;
}
