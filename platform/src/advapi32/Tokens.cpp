// Access tokens: handles that name an account and a session, and what
// GetTokenInformation tells about them.
#include "advapi32/TokenObject.h"

#include "core/Controls.h"

#include <platform/testing_sessions.h>
#include <securitybaseapi.h>
#include <winbase.h>

#include <atomic>
#include <cstring>

namespace platform {
namespace {

std::atomic<int> g_openTokenHandles{0};

}  // namespace

TokenObject::TokenObject(UserIdentity user, DWORD session)
    : KernelObject(ObjectKind::Token), user_(std::move(user)), session_(session) {}

TokenObject::~TokenObject() = default;

void TokenObject::OnHandleClosed(HANDLE) { --g_openTokenHandles; }

HANDLE NewTokenHandle(const UserIdentity& user, DWORD session) {
    ++g_openTokenHandles;
    return InsertHandle(std::make_shared<TokenObject>(user, session));
}

std::shared_ptr<TokenObject> LookupToken(HANDLE handle) {
    return LookupHandleAs<TokenObject>(handle, ObjectKind::Token);
}

}  // namespace platform

int platform::testing::OpenTokenHandles() { return platform::g_openTokenHandles.load(); }

WINBASEAPI BOOL WINAPI GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                           LPVOID TokenInformation, DWORD TokenInformationLength, PDWORD ReturnLength) {
    using namespace platform;
    if (FailNow("GetTokenInformation")) return FALSE;
    auto token = LookupToken(TokenHandle);
    if (!token) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (ReturnLength == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    switch (TokenInformationClass) {
        case TokenUser: {
            const auto& sid = token->User().sid;
            const DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
            *ReturnLength = needed;
            if (TokenInformation == nullptr || TokenInformationLength < needed) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return FALSE;
            }
            auto* user = static_cast<TOKEN_USER*>(TokenInformation);
            BYTE* sidCopy = static_cast<BYTE*>(TokenInformation) + sizeof(TOKEN_USER);
            std::memcpy(sidCopy, sid.data(), sid.size());
            user->User.Sid = sidCopy;
            user->User.Attributes = 0;
            return TRUE;
        }
        case TokenSessionId: {
            *ReturnLength = sizeof(DWORD);
            if (TokenInformation == nullptr || TokenInformationLength < sizeof(DWORD)) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return FALSE;
            }
            const DWORD session = token->SessionId();
            std::memcpy(TokenInformation, &session, sizeof session);
            return TRUE;
        }
        default:
            DebugLine("GetTokenInformation: only the user and the session are supported");
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
    }
}
