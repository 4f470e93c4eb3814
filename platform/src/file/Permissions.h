// World access inherited by files created in an open folder.
#pragma once

#include <string>

namespace platform {

// True when the folder holding `nativePath` is open to everyone (files
// created in it inherit world access).
bool ParentGrantsWorld(const std::string& nativePath);

// Parent folder of a native path ("." for a bare name).
std::string ParentOf(const std::string& nativePath);

}  // namespace platform
