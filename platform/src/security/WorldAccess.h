// Whether a security descriptor opens an object to everyone.
#pragma once

#include <windef.h>
#include <minwinbase.h>

namespace platform {

// A null DACL, or an allow entry for Everyone with a generic or full right.
bool DescriptorGrantsWorld(const void* descriptor);
// The same for attributes; none → false (the umask decides).
bool GrantsWorldAccess(const SECURITY_ATTRIBUTES* attributes);

}  // namespace platform
