// Test controls of the file, registry and device-file side of the platform.
#pragma once
