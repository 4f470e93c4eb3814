// A security descriptor with a null DACL (everyone has access) and the
// inheritable attributes that point at it, for the objects that events and
// threads create.
#pragma once

#include <windows.h>

class NullDaclSecurity {
public:
    NullDaclSecurity();
    NullDaclSecurity(const NullDaclSecurity&) = delete;
    NullDaclSecurity& operator=(const NullDaclSecurity&) = delete;

    SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

private:
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};
