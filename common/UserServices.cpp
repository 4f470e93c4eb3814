// The facade, the choice of implementation and the text form of SIDs.
#include "UserServices.h"

#include "MultiUserServices.h"
#include "SingleUserServices.h"
#include "SingleUserServices2000.h"

#include <cstdio>

UserServices::UserServices(DWORD waitLimit) : waitLimit_(waitLimit) {}

UserServices::~UserServices() { delete impl_; }

bool UserServices::EnterUserDesktop() { return impl_ != nullptr && impl_->EnterUserDesktop(); }

void UserServices::LeaveUserDesktop() {
    if (impl_ != nullptr) impl_->LeaveUserDesktop();
}

bool UserServices::RunProgram(std::string commandLine, bool wait) {
    return impl_ != nullptr && impl_->RunProgram(commandLine, wait);
}

bool UserServices::HasUserToken() { return impl_ != nullptr && impl_->HasUserToken(); }

int UserServices::ShowMessage(const char* text, const char* caption, int style) {
    return impl_ != nullptr ? impl_->ShowMessage(text, caption, style) : 0;
}

bool UserServices::OpenUserKey(std::string subKey, HKEY* key) {
    if (impl_ == nullptr) {
        if (key != nullptr) *key = nullptr;
        return false;
    }
    return impl_->OpenUserKey(subKey, key);
}

bool UserServices::Init() { return false; }

bool UserServices::Create() {
    Destroy();
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) version.dwMajorVersion = 0;
    if (version.dwMajorVersion < 5)
        impl_ = new SingleUserServices(waitLimit_);
    else if (version.dwMajorVersion == 5 && version.dwMinorVersion == 0)
        impl_ = new SingleUserServices2000(waitLimit_);
    else
        impl_ = new MultiUserServices(waitLimit_);
    return impl_->Init();
}

void UserServices::Destroy() {
    delete impl_;
    impl_ = nullptr;
}

bool FormatSidString(PSID sid, char* text, DWORD* length) {
    if (sid == nullptr || length == nullptr || !IsValidSid(sid)) return false;
    const DWORD subAuthorities = *GetSidSubAuthorityCount(sid);
    const DWORD needed = 28 + 12 * subAuthorities;
    if (text == nullptr || *length < needed) {
        *length = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
    const BYTE* v = authority->Value;
    int used = std::snprintf(text, *length, "S-%u-", static_cast<unsigned>(SID_REVISION));
    if (v[0] != 0 || v[1] != 0) {
        used += std::snprintf(text + used, *length - used, "0x%02hx%02hx%02hx%02hx%02hx%02hx",
                              static_cast<unsigned short>(v[0]), static_cast<unsigned short>(v[1]),
                              static_cast<unsigned short>(v[2]), static_cast<unsigned short>(v[3]),
                              static_cast<unsigned short>(v[4]), static_cast<unsigned short>(v[5]));
    } else {
        const DWORD value = (static_cast<DWORD>(v[2]) << 24) | (static_cast<DWORD>(v[3]) << 16) |
                            (static_cast<DWORD>(v[4]) << 8) | static_cast<DWORD>(v[5]);
        used += std::snprintf(text + used, *length - used, "%u", value);
    }
    for (DWORD i = 0; i < subAuthorities; ++i)
        used += std::snprintf(text + used, *length - used, "-%u", *GetSidSubAuthority(sid, i));
    return true;
}
