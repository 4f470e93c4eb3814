// The WIA device manager of an application's process: a proxy to the
// image-acquisition service host, which COM serves for CLSID_WiaDevMgr.
#pragma once

#include <unknwn.h>

namespace platform::wia {

// The class object (IClassFactory) of the device manager.
HRESULT GetDeviceManagerClassObject(REFIID riid, void** ppv);

}  // namespace platform::wia
