// World access for files and folders made with an open security descriptor.
#pragma once

#include <windef.h>
#include <minwinbase.h>

#include <string>

namespace platform {

// True when the attributes carry a null DACL or a descriptor that grants Everyone.
bool GrantsWorld(const SECURITY_ATTRIBUTES* attributes);

// True when the folder holding `nativePath` is open to everyone (files
// created in it inherit world access).
bool ParentGrantsWorld(const std::string& nativePath);

// Parent folder of a native path ("." for a bare name).
std::string ParentOf(const std::string& nativePath);

}  // namespace platform
