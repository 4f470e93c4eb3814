// One client connection: its own driver instance and its own thread, on
// which every call of the client runs (so the driver's thread-owned locks
// behave as they do for one caller). When the client goes, the thread ends
// without releasing anything by itself.
#pragma once

#include "DriverInstance.h"

#include "sti/ImageServiceProtocol.h"

#include <functional>
#include <memory>

namespace imgsvc {

// Serves the connection until it closes; true when the client asked the
// host to stop. `devicesChanged` runs (on the host's own thread for it)
// when a client reports an installed device; the client gets its answer
// after it returned.
bool ServeClient(int fd, const std::function<void()>& devicesChanged);

}  // namespace imgsvc
