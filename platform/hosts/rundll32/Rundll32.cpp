// rundll32: loads a module and calls one of its entries of the form
// Entry(HWND, HINSTANCE, LPSTR commandLine, int show), as
//   rundll32 Module.dll,Entry the rest of the command line
// Exit status 0 once the entry has been called, 1 when the module or the
// entry is missing or the command is malformed.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

using RundllEntry = void(WINAPI*)(HWND, HINSTANCE, LPSTR, int);

constexpr int kShowNormal = 1;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: rundll32 Module.dll,Entry [command line]\n");
        return 1;
    }
    const std::string target = argv[1];
    const auto comma = target.find(',');
    if (comma == std::string::npos || comma == 0 || comma + 1 == target.size()) {
        std::fprintf(stderr, "rundll32: expected Module.dll,Entry, not \"%s\"\n", target.c_str());
        return 1;
    }
    const std::string moduleName = target.substr(0, comma);
    const std::string entryName = target.substr(comma + 1);
    std::string commandLine;
    for (int i = 2; i < argc; ++i) {
        if (i > 2) commandLine += ' ';
        commandLine += argv[i];
    }

    HMODULE module = LoadLibraryA(moduleName.c_str());
    if (module == nullptr) {
        std::fprintf(stderr, "rundll32: cannot load %s (error %u)\n", moduleName.c_str(), GetLastError());
        return 1;
    }
    auto entry = reinterpret_cast<RundllEntry>(reinterpret_cast<void*>(GetProcAddress(module, entryName.c_str())));
    if (entry == nullptr) {
        std::fprintf(stderr, "rundll32: %s has no entry %s\n", moduleName.c_str(), entryName.c_str());
        FreeLibrary(module);
        return 1;
    }
    entry(nullptr, module, commandLine.data(), kShowNormal);
    FreeLibrary(module);
    return 0;
}
