#include "os/files/FileFunctions.h"

#include "os/SecurityAttributes.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string_view>

namespace {

constexpr char kSeparator = '\\';

bool IsFolder(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool GetDataDirectory(int which, const char* maker, const char* model, char* path) {
    if (maker == nullptr || model == nullptr || path == nullptr) {
        return false;
    }
    int folder = 0;
    if (which == 0) {
        folder = CSIDL_COMMON_APPDATA;
    } else if (which == 1) {
        folder = CSIDL_APPDATA;
    } else {
        return false;
    }
    char base[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, folder | CSIDL_FLAG_CREATE, nullptr, 0, base) != S_OK) {
        return false;
    }
    if (std::strlen(maker) + std::strlen(model) + std::strlen(base) + 2 >= MAX_PATH) {
        return false;
    }
    char joined[MAX_PATH] = {};
    std::memcpy(joined, base, std::strlen(base) + 1);
    if (!AppendPath(joined, maker, true) || !AppendPath(joined, model, true)) {
        return false;
    }
    std::memcpy(path, joined, std::strlen(joined) + 1);
    return CreateDirectoryTree(path);
}

bool AppendPath(char* path, const char* element, bool trailingSeparator) {
    if (path == nullptr || element == nullptr) {
        return false;
    }
    std::string joined(path);
    if (!joined.empty() && joined.back() != kSeparator) {
        joined += kSeparator;
    }
    std::string_view part(element);
    if (!part.empty() && part.front() == kSeparator) {
        part.remove_prefix(1);
    }
    joined += part;
    const bool endsInSeparator = !joined.empty() && joined.back() == kSeparator;
    if (trailingSeparator && !endsInSeparator) {
        joined += kSeparator;
    } else if (!trailingSeparator && endsInSeparator && !part.empty()) {
        joined.pop_back();
    }
    if (joined.size() >= MAX_PATH) {
        return false;
    }
    std::memcpy(path, joined.c_str(), joined.size() + 1);
    return true;
}

bool CreateDirectoryTree(const char* path) {
    if (path == nullptr || *path == '\0') {
        return false;
    }
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        return IsFolder(path);
    }
    const std::string_view full(path);
    const size_t cut = full.find_last_of(kSeparator, full.size() - 2);
    if (full.size() < 2 || cut == std::string_view::npos || cut == 0) {
        return false;
    }
    const std::string parent(full.substr(0, cut + 1));
    if (!CreateDirectoryTree(parent.c_str())) {
        return false;
    }
    SecurityAttributes attributes;
    if (CreateDirectoryA(path, attributes.Get())) {
        return true;
    }
    // Another process may have made it in the meantime.
    return GetLastError() == ERROR_ALREADY_EXISTS && IsFolder(path);
}

bool MakeTempFileName(std::string& out) {
    char folder[MAX_PATH] = {};
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    char name[MAX_PATH] = {};
    if (GetTempFileNameA(folder, "SI", 0, name) == 0) {
        return false;
    }
    out = name;
    return true;
}

bool OSDeleteFile(const char* path) { return path != nullptr && DeleteFileA(path); }

bool OSGetDiskFreeSpace(const char* dir, int* high, unsigned* low) {
    if (dir == nullptr) {
        return false;
    }
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExA(dir, &available, nullptr, nullptr)) {
        return false;
    }
    if (high != nullptr) {
        *high = static_cast<int>(available.QuadPart >> 32);
    }
    if (low != nullptr) {
        *low = static_cast<unsigned>(available.QuadPart & 0xFFFFFFFFu);
    }
    return true;
}
