// The host's WIA face: the service's side of each device, over the same
// monitor instance that serves its events, and the WIA requests of other
// processes.
#pragma once

#include "sti/ImageServiceProtocol.h"

#include <stiusd.h>

#include <string>

namespace imgsvc {

// The WIA side of a device's monitor instance (initialised here).
void AttachWiaFace(const std::wstring& device, IStiUSD* driver);
// Every face released, before the monitor instances go.
void DetachWiaFaces();
// One WIA request (op 100 and on); the reply to send.
platform::sti::Writer DispatchWia(uint32_t op, platform::sti::Reader& r);

}  // namespace imgsvc
