// Access tokens: who a process or session acts as.
#pragma once

#include "core/Handles.h"
#include "wtsapi32/ConsoleSession.h"

namespace platform {

class TokenObject final : public KernelObject {
public:
    TokenObject(UserIdentity user, DWORD session);
    ~TokenObject() override;

    const UserIdentity& User() const { return user_; }
    DWORD SessionId() const { return session_; }
    void OnHandleClosed(HANDLE) override;

private:
    UserIdentity user_;
    DWORD session_;
};

// A new handle to a token of `user` in `session`.
HANDLE NewTokenHandle(const UserIdentity& user, DWORD session);
std::shared_ptr<TokenObject> LookupToken(HANDLE handle);

}  // namespace platform
