// One client connection: its own driver instance and its own thread, on
// which every call of the client runs (so the driver's thread-owned locks
// behave as they do for one caller). When the client goes, the thread ends
// without releasing anything by itself.
#pragma once

#include "DriverInstance.h"

#include "sti/ImageServiceProtocol.h"

#include <memory>

namespace imgsvc {

// Serves the connection until it closes; true when the client asked the
// host to stop.
bool ServeClient(int fd);

}  // namespace imgsvc
