// What the module keeps for its life: its instance handle (where its
// dialogs and registration script live), the lock count that answers
// DllCanUnloadNow, and the class id under which CShellExt is served.
#pragma once

#include <windows.h>

namespace module_state {

void SetInstance(HINSTANCE instance);
HINSTANCE Instance();

// Live objects and server locks.
void Lock();
void Unlock();
bool InUse();

}  // namespace module_state
