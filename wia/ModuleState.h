// What the module counts to answer DllCanUnloadNow: live objects (devices
// and class factories) and server locks; and its own instance handle.
#pragma once

#include <windows.h>

namespace module_state {

void ObjectCreated();
void ObjectDestroyed();
void LockServer(bool lock);
bool InUse();

void SetInstance(HINSTANCE instance);
HINSTANCE Instance();

}  // namespace module_state
