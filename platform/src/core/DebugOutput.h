// The debug-output sink behind OutputDebugStringA.
#pragma once

#include <string>

namespace platform {

// The PLATFORM_DEBUG_OUTPUT value that gives a child this process's sink ("" when off or captured).
std::string DebugOutputEnvironment();

}  // namespace platform
