// The emulated machine's root folder.
#pragma once

#include <string>

namespace platform {

// Makes `path` the root and lays out its folders; "" returns to the default.
void SetRootPath(const std::string& path);
// The root as set, "" while the default has not been chosen.
std::string RootPathIfSet();
// Creates the machine's folders under `root` (idempotent, under init.lock).
bool InitialiseRoot(const std::string& root);

}  // namespace platform
