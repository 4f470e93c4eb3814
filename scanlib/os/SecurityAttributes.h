// The security attributes of every named mutex and directory the library
// creates: protected, denying Everyone changes to the DACL and owner, and
// granting Everyone full access, inherited by objects and containers.
#pragma once

#include <windows.h>

class SecurityAttributes {
public:
    // Converts the descriptor string on NT, through the converter looked up in
    // "AdvApi32.dll"; without it the attributes stay invalid.
    SecurityAttributes();
    ~SecurityAttributes();
    SecurityAttributes(const SecurityAttributes&) = delete;
    SecurityAttributes& operator=(const SecurityAttributes&) = delete;

    bool IsValid() const { return valid_; }
    // The attributes when valid, else null.
    SECURITY_ATTRIBUTES* Get() { return valid_ ? &attributes_ : nullptr; }

private:
    bool valid_ = false;
    SECURITY_ATTRIBUTES attributes_{};
};

// The process-wide instance that serves every mutex OSMutexWin creates.
SecurityAttributes& ProcessSecurityAttributes();
