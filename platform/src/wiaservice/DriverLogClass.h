// The WIA log object that the image-acquisition service offers its
// minidrivers: a built-in class, served in the service host's process only.
#pragma once

#include <unknwn.h>

namespace platform::wia {

// True once the process has started serving the class (the service host).
bool DriverLogClassServed();

// The class object (IClassFactory) of the log class.
HRESULT GetDriverLogClassObject(REFIID riid, void** ppv);

}  // namespace platform::wia
