// Mapping of Windows paths onto the emulated machine's folders.
#pragma once

#include <windef.h>

#include <string>
#include <string_view>

namespace platform {

enum class PathKind {
    Native,   // a Linux path, used as given
    Drive,    // a path on one of the root's drive folders
    Device,   // \\.\name, an endpoint in the root's device folder
};

struct MappedPath {
    PathKind kind = PathKind::Native;
    std::string native;        // Linux path (the endpoint for a device)
    std::string deviceName;    // device name in lower case (Device only)
    bool trailingSeparator = false;
};

// Maps `path` as the file functions see it. On failure returns false with
// *error one of PATH_NOT_FOUND, INVALID_NAME, FILENAME_EXCED_RANGE.
bool MapPath(std::string_view path, MappedPath* out, DWORD* error);

// Native folder of drive letter `letter` under the current root.
std::string DriveFolder(char letter);

// Native path of a Windows path that is known to be well formed.
std::string NativeOf(std::string_view windowsPath);

// ASCII case folding used for file and key names.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace platform
