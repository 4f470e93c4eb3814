// Events the service has raised (wiasQueueEvent, device notifications),
// kept until a client takes them.
#pragma once

#include <windef.h>

#include <string>

namespace platform::wia {

void QueueServiceEvent(const std::wstring& deviceId, const GUID& event, const std::wstring& item);

}  // namespace platform::wia
