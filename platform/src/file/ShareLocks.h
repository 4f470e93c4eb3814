// Windows share modes between opens of one file, across processes.
//
// Each open holds shared OFD locks on marker bytes far past any data: what
// it accesses (read, write, delete) and what it denies to others. A new open
// tests the markers of all other opens under an exclusive flock gate. The
// kernel drops the locks when the open is closed or its process dies.
#pragma once

#include <windef.h>

namespace platform {

// Checks `access` (GENERIC_READ/WRITE, DELETE) and `share` (FILE_SHARE_*)
// against the other opens of the file behind `fd` and, when compatible,
// records them on `fd` (which must be open for reading). Returns 0 or
// ERROR_SHARING_VIOLATION.
DWORD AcquireShare(int fd, DWORD access, DWORD share);

// 0 when no open of the file behind `fd` denies deletion, else
// ERROR_SHARING_VIOLATION. The gate is held until ReleaseDeleteGate.
DWORD LockForDelete(int fd);
void ReleaseDeleteGate(int fd);

}  // namespace platform
