// Filled in with the file, registry and device-file side of the platform.
#pragma once

#include <windef.h>
#include <minwinbase.h>
