#include "file/PathMap.h"

#include "core/Controls.h"

#include <windows.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace platform {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entry of `folder` that equals `name` ignoring case, first in byte order.
std::optional<std::string> FindIgnoringCase(const std::string& folder, const std::string& name) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view candidate(entry->d_name);
        if (EqualsIgnoreCase(candidate, name) && (!best || candidate < *best)) best = std::string(candidate);
    }
    ::closedir(dir);
    return best;
}

std::vector<std::string> SplitComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (IsSeparator(c)) {
            if (!current.empty()) parts.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) parts.push_back(std::move(current));
    return parts;
}

// Joins components to `base`, resolving "." and ".." lexically (never above
// `base` when `clamp` is set) and matching each existing component exactly,
// else ignoring case.
std::string Resolve(std::string base, std::string_view rest, bool clamp) {
    std::vector<std::string> resolved;
    for (auto& part : SplitComponents(rest)) {
        if (part == ".") continue;
        if (part == "..") {
            if (!resolved.empty() && resolved.back() != "..") {
                resolved.pop_back();
            } else if (!clamp) {
                resolved.push_back(part);
            }
            continue;
        }
        resolved.push_back(std::move(part));
    }
    std::string path = std::move(base);
    bool folderExists = true;
    for (const auto& part : resolved) {
        std::string next = path.empty() || path.back() == '/' ? path + part : path + "/" + part;
        if (folderExists && part != ".." && !Exists(next)) {
            if (auto match = FindIgnoringCase(path.empty() ? "." : path, part)) {
                next = path.empty() || path.back() == '/' ? path + *match : path + "/" + *match;
            } else {
                folderExists = false;
            }
        }
        path = std::move(next);
    }
    return path;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

std::string DriveFolder(char letter) {
    char lower = (letter >= 'A' && letter <= 'Z') ? static_cast<char>(letter - 'A' + 'a') : letter;
    return RootPath() + "/drives/" + std::string(1, lower);
}

bool MapPath(std::string_view path, MappedPath* out, DWORD* error) {
    *out = MappedPath{};
    if (path.empty()) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    out->trailingSeparator = IsSeparator(path.back());

    // \\.\name: a device endpoint.
    if (path.size() > 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == '.' && IsSeparator(path[3])) {
        std::string name(path.substr(4));
        if (name.empty() || std::any_of(name.begin(), name.end(), IsSeparator)) {
            *error = ERROR_INVALID_NAME;
            return false;
        }
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
        out->kind = PathKind::Device;
        out->deviceName = name;
        out->native = RootPath() + "/devices/" + name;
        return true;
    }
    // Other paths beginning with two separators are network names.
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        *error = ERROR_INVALID_NAME;
        return false;
    }
    // A native path is used as given.
    if (path[0] == '/') {
        out->kind = PathKind::Native;
        out->native = std::string(path);
        return true;
    }
    if (path.size() >= MAX_PATH) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }

    const bool hasDrive = path.size() >= 2 && path[1] == ':' &&
                          ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
    if (hasDrive || path[0] == '\\') {
        std::string_view rest;
        char letter = 'c';
        if (hasDrive) {
            // "C:name" is relative to a drive's current folder, which we do not keep.
            if (path.size() > 2 && !IsSeparator(path[2])) {
                *error = ERROR_INVALID_NAME;
                return false;
            }
            letter = path[0];
            rest = path.substr(2);
        } else {
            rest = path;
        }
        std::string drive = DriveFolder(letter);
        if (!IsDirectory(drive)) {
            *error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        out->kind = PathKind::Drive;
        out->native = Resolve(drive, rest, true);
        return true;
    }

    // Relative to the current folder.
    out->kind = PathKind::Native;
    out->native = Resolve(std::string(), path, false);
    if (out->native.empty()) out->native = ".";
    return true;
}

std::string NativeOf(std::string_view windowsPath) {
    MappedPath mapped;
    DWORD error = 0;
    if (!MapPath(windowsPath, &mapped, &error)) return std::string();
    return mapped.native;
}

}  // namespace platform
