#include "file/Permissions.h"

#include <windows.h>

#include <sys/stat.h>

namespace platform {

bool GrantsWorld(const SECURITY_ATTRIBUTES* attributes) {
    if (attributes == nullptr || attributes->lpSecurityDescriptor == nullptr) return false;
    const auto* descriptor = static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor);
    // A present but null DACL grants everyone everything.
    return (descriptor->Control & SE_DACL_PRESENT) != 0 && descriptor->Dacl == nullptr;
}

std::string ParentOf(const std::string& nativePath) {
    auto slash = nativePath.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return nativePath.substr(0, slash);
}

bool ParentGrantsWorld(const std::string& nativePath) {
    struct stat st {};
    if (::stat(ParentOf(nativePath).c_str(), &st) != 0) return false;
    return (st.st_mode & 0777) == 0777;
}

}  // namespace platform
