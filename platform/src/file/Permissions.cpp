#include "file/Permissions.h"

#include <sys/stat.h>

namespace platform {

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
