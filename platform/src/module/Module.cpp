// Modules: LoadLibraryA of ELF objects under their Windows file names with
// the Windows search order, GetProcAddress, FreeLibrary, and the built-in
// system modules.
#include "module/ModuleGlue.h"

#include "core/Controls.h"
#include "file/PathMap.h"

#include <processthreadsapi.h>
#include <psapi.h>
#include <sddl.h>
#include <winbase.h>
#include <winuser.h>
#include <wtsapi32.h>

#include <dirent.h>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace platform {
namespace {

struct SystemExport {
    std::string_view name;
    FARPROC proc;
};

template <typename F>
FARPROC AsProc(F* f) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(f));
}

struct SystemModule {
    std::string_view name;  // lower case, without ".dll"
    std::string_view fileName;
    std::vector<SystemExport> exports;
};

constexpr size_t kSystemModuleCount = 5;

// Marker objects whose addresses serve as the system modules' handles.
alignas(16) const char kSystemBases[kSystemModuleCount][16] = {};

const std::array<SystemModule, kSystemModuleCount>& SystemModules() {
    static const auto* modules = new std::array<SystemModule, kSystemModuleCount>{{
        {"kernel32", "kernel32.dll",
         {{"IsWow64Process", AsProc(&IsWow64Process)},
          {"WTSGetActiveConsoleSessionId", AsProc(&WTSGetActiveConsoleSessionId)}}},
        {"advapi32", "advapi32.dll",
         {{"ConvertStringSecurityDescriptorToSecurityDescriptorA",
           AsProc(&ConvertStringSecurityDescriptorToSecurityDescriptorA)}}},
        {"user32", "user32.dll",
         {{"GetProcessWindowStation", AsProc(&GetProcessWindowStation)},
          {"SetProcessWindowStation", AsProc(&SetProcessWindowStation)},
          {"OpenWindowStationA", AsProc(&OpenWindowStationA)},
          {"CloseWindowStation", AsProc(&CloseWindowStation)},
          {"GetThreadDesktop", AsProc(&GetThreadDesktop)},
          {"SetThreadDesktop", AsProc(&SetThreadDesktop)},
          {"OpenDesktopA", AsProc(&OpenDesktopA)},
          {"CloseDesktop", AsProc(&CloseDesktop)},
          {"MessageBoxA", AsProc(&MessageBoxA)}}},
        {"psapi", "psapi.dll",
         {{"EnumProcesses", AsProc(&EnumProcesses)},
          {"EnumProcessModules", AsProc(&EnumProcessModules)},
          {"GetModuleBaseNameA", AsProc(&GetModuleBaseNameA)}}},
        {"wtsapi32", "wtsapi32.dll",
         {{"WTSQueryUserToken", AsProc(&WTSQueryUserToken)},
          {"WTSQuerySessionInformationA", AsProc(&WTSQuerySessionInformationA)},
          {"WTSFreeMemory", AsProc(&WTSFreeMemory)},
          {"WTSSendMessageA", AsProc(&WTSSendMessageA)}}},
    }};
    return *modules;
}

HMODULE SystemHandle(size_t index) { return reinterpret_cast<HMODULE>(const_cast<char*>(kSystemBases[index])); }

struct LoadedModule {
    std::string path;      // native path
    std::string fileName;  // as found on disk
    void* dl = nullptr;
    int references = 0;
    bool unloading = false;  // in FreeLibrary's dlclose: still known by name
};

struct ModuleTable {
    std::mutex lock;
    std::map<uintptr_t, LoadedModule> modules;
    std::map<uintptr_t, BOOL> attachResults;
};

ModuleTable& Table() {
    static ModuleTable* table = new ModuleTable;
    return *table;
}

thread_local uintptr_t t_freeing = 0;

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The file name searched for: ".dll" added when there is no extension.
std::string WithExtension(std::string_view name) {
    std::string file(name);
    if (file.find('.') == std::string::npos) file += ".dll";
    return file;
}

std::string ModuleKey(std::string_view name) {
    std::string key = Lower(name);
    if (key.size() > 4 && key.compare(key.size() - 4, 4, ".dll") == 0) key.resize(key.size() - 4);
    return key;
}

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExecutablePath() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

// 1 when the file is an ELF object of this build's class, -1 of the other
// class, 0 when not ELF.
int ElfClass(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    unsigned char ident[EI_NIDENT] = {};
    ssize_t n = ::read(fd, ident, sizeof ident);
    ::close(fd);
    if (n != EI_NIDENT || std::memcmp(ident, ELFMAG, SELFMAG) != 0) return 0;
    const unsigned char mine = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    return ident[EI_CLASS] == mine ? 1 : -1;
}

// The exact name in `folder`, else the first case-insensitive match in byte order.
std::vector<std::string> Candidates(const std::string& folder, const std::string& file) {
    std::vector<std::string> found;
    if (::access((folder + "/" + file).c_str(), F_OK) == 0) found.push_back(folder + "/" + file);
    std::vector<std::string> others;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != file && EqualsIgnoreCase(name, file)) others.push_back(folder + "/" + name);
        }
        ::closedir(dir);
    }
    std::sort(others.begin(), others.end());
    found.insert(found.end(), others.begin(), others.end());
    return found;
}

std::vector<std::string> SearchFolders(const void* caller) {
    std::vector<std::string> folders;
    Dl_info info{};
    if (caller != nullptr && ::dladdr(caller, &info) != 0 && info.dli_fname && info.dli_fname[0] == '/')
        folders.push_back(FolderOf(info.dli_fname));
    folders.push_back(FolderOf(ExecutablePath()));
    folders.push_back(DriveFolder('c') + "/Windows/System32");
    folders.push_back(DriveFolder('c') + "/Windows");
    for (const auto& folder : LibraryPath()) folders.push_back(folder);
    return folders;
}

uintptr_t BaseOf(void* dl) {
    link_map* map = nullptr;
    if (::dlinfo(dl, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return 0;
    Dl_info info{};
    if (::dladdr(map->l_ld, &info) == 0) return 0;
    return reinterpret_cast<uintptr_t>(info.dli_fbase);
}

HMODULE Fail(DWORD error) {
    SetLastError(error);
    return nullptr;
}

// dlopen of one file; the module's DllMain runs inside it.
HMODULE Open(const std::string& path) {
    ModuleTable& table = Table();
    void* dl = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (dl == nullptr) {
        const char* why = ::dlerror();
        DebugLine(std::string("LoadLibraryA: ") + (why ? why : path));
        return Fail(ERROR_MOD_NOT_FOUND);
    }
    const uintptr_t base = BaseOf(dl);
    BOOL attached = TRUE;
    {
        std::lock_guard guard(table.lock);
        auto& module = table.modules[base];
        if (module.references > 0) {
            ++module.references;
            ::dlclose(dl);  // the first handle keeps it loaded
            return reinterpret_cast<HMODULE>(base);
        }
        if (auto it = table.attachResults.find(base); it != table.attachResults.end()) attached = it->second;
        module = LoadedModule{path, BaseName(path), dl, 1};
    }
    if (!attached) {
        FreeLibrary(reinterpret_cast<HMODULE>(base));
        return Fail(ERROR_DLL_INIT_FAILED);
    }
    return reinterpret_cast<HMODULE>(base);
}

std::optional<size_t> FindSystemModule(std::string_view name) {
    const std::string key = ModuleKey(name);
    const auto& modules = SystemModules();
    for (size_t i = 0; i < modules.size(); ++i)
        if (modules[i].name == key) return i;
    return std::nullopt;
}

std::optional<uintptr_t> FindLoaded(std::string_view name) {
    ModuleTable& table = Table();
    std::lock_guard guard(table.lock);
    const std::string key = ModuleKey(name);
    for (const auto& [base, module] : table.modules)
        if ((module.references > 0 || module.unloading) && ModuleKey(module.fileName) == key) return base;
    return std::nullopt;
}

HMODULE Load(const char* name, const void* caller) {
    if (name == nullptr || *name == '\0') return Fail(ERROR_INVALID_PARAMETER);
    const std::string requested = name;
    const std::string file = WithExtension(BaseName(requested));
    if (IsHidden(file, "")) return Fail(ERROR_MOD_NOT_FOUND);
    if (requested.find_first_of("\\/") != std::string::npos) {
        MappedPath mapped;
        DWORD error = 0;
        if (!MapPath(WithExtension(requested), &mapped, &error)) return Fail(error);
        const int kind = ElfClass(mapped.native);
        if (kind == -1) return Fail(ERROR_BAD_EXE_FORMAT);
        if (kind == 0) return Fail(ERROR_MOD_NOT_FOUND);
        return Open(mapped.native);
    }
    if (auto system = FindSystemModule(file)) return SystemHandle(*system);
    if (auto loaded = FindLoaded(file)) {
        ModuleTable& table = Table();
        std::lock_guard guard(table.lock);
        ++table.modules[*loaded].references;
        return reinterpret_cast<HMODULE>(*loaded);
    }
    bool otherClass = false;
    for (const auto& folder : SearchFolders(caller)) {
        for (const auto& candidate : Candidates(folder, file)) {
            const int kind = ElfClass(candidate);
            if (kind == 1) return Open(candidate);
            if (kind == -1) otherClass = true;
        }
    }
    return Fail(otherClass ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
}

uintptr_t ExecutableBase() {
    static const uintptr_t base = [] {
        uintptr_t found = 0;
        ::dl_iterate_phdr(
            [](dl_phdr_info* info, size_t, void* out) {
                for (int i = 0; i < info->dlpi_phnum; ++i) {
                    if (info->dlpi_phdr[i].p_type == PT_LOAD) {
                        *static_cast<uintptr_t*>(out) = info->dlpi_addr + info->dlpi_phdr[i].p_vaddr;
                        return 1;
                    }
                }
                return 1;
            },
            &found);
        return found;
    }();
    return base;
}

// The module's name as GetProcAddress and hiding know it.
std::string ModuleNameOf(HMODULE module) {
    for (size_t i = 0; i < SystemModules().size(); ++i)
        if (module == SystemHandle(i)) return std::string(SystemModules()[i].fileName);
    ModuleTable& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.modules.find(reinterpret_cast<uintptr_t>(module));
    return it == table.modules.end() ? std::string() : it->second.fileName;
}

// A path into the caller's buffer: truncated (and terminated) when small.
DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (text.size() >= size) {
        std::memcpy(buffer, text.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

}  // namespace
}  // namespace platform

extern "C" PLATFORM_EXPORT void PlatformModuleAttached(void* base, BOOL ok) {
    auto& table = platform::Table();
    std::lock_guard guard(table.lock);
    table.attachResults[reinterpret_cast<uintptr_t>(base)] = ok;
}

extern "C" PLATFORM_EXPORT void* PlatformModuleDetachReserved(void* base) {
    return platform::t_freeing == reinterpret_cast<uintptr_t>(base) ? nullptr : reinterpret_cast<void*>(1);
}

WINBASEAPI HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    if (platform::FailNow("LoadLibraryA")) return nullptr;
    return platform::Load(lpLibFileName, __builtin_extract_return_addr(__builtin_return_address(0)));
}

WINBASEAPI FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    using namespace platform;
    if (FailNow("GetProcAddress")) return nullptr;
    if (lpProcName == nullptr || reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
        DebugLine("GetProcAddress: ordinals are not supported");
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    const std::string moduleName = ModuleNameOf(hModule);
    if (!moduleName.empty() && IsHidden(moduleName, lpProcName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    for (size_t i = 0; i < SystemModules().size(); ++i) {
        if (hModule != SystemHandle(i)) continue;
        for (const auto& e : SystemModules()[i].exports)
            if (e.name == lpProcName) return e.proc;
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* dl = nullptr;
    {
        ModuleTable& table = Table();
        std::lock_guard guard(table.lock);
        auto it = table.modules.find(reinterpret_cast<uintptr_t>(hModule));
        if (it != table.modules.end() && (it->second.references > 0 || it->second.unloading)) dl = it->second.dl;
    }
    if (dl == nullptr && (hModule == nullptr || reinterpret_cast<uintptr_t>(hModule) == ExecutableBase()))
        dl = ::dlopen(nullptr, RTLD_NOW);
    if (dl == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* symbol = ::dlsym(dl, lpProcName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    using namespace platform;
    if (FailNow("FreeLibrary")) return FALSE;
    for (size_t i = 0; i < SystemModules().size(); ++i)
        if (hLibModule == SystemHandle(i)) return TRUE;
    const auto base = reinterpret_cast<uintptr_t>(hLibModule);
    void* dl = nullptr;
    {
        ModuleTable& table = Table();
        std::lock_guard guard(table.lock);
        auto it = table.modules.find(base);
        if (it == table.modules.end() || it->second.references <= 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (--it->second.references > 0) return TRUE;
        dl = it->second.dl;
        it->second.unloading = true;
    }
    // DllMain's detach runs inside dlclose, with the module still known.
    const uintptr_t outer = std::exchange(t_freeing, base);
    ::dlclose(dl);
    t_freeing = outer;
    ModuleTable& table = Table();
    std::lock_guard guard(table.lock);
    if (auto it = table.modules.find(base); it != table.modules.end() && it->second.references == 0)
        table.modules.erase(it);
    table.attachResults.erase(base);
    return TRUE;
}

WINBASEAPI HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    using namespace platform;
    if (FailNow("GetModuleHandleA")) return nullptr;
    if (lpModuleName == nullptr) return reinterpret_cast<HMODULE>(ExecutableBase());
    const std::string file = WithExtension(BaseName(lpModuleName));
    if (auto system = FindSystemModule(file)) return SystemHandle(*system);
    if (auto loaded = FindLoaded(file)) return reinterpret_cast<HMODULE>(*loaded);
    if (ModuleKey(file) == ModuleKey(BaseName(ExecutablePath()))) return reinterpret_cast<HMODULE>(ExecutableBase());
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

WINBASEAPI DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    using namespace platform;
    if (FailNow("GetModuleFileNameA")) return 0;
    std::string path;
    for (size_t i = 0; i < SystemModules().size(); ++i)
        if (hModule == SystemHandle(i)) path = "C:\\Windows\\System32\\" + std::string(SystemModules()[i].fileName);
    if (path.empty() && (hModule == nullptr || reinterpret_cast<uintptr_t>(hModule) == ExecutableBase()))
        path = ExecutablePath();
    if (path.empty()) {
        ModuleTable& table = Table();
        std::lock_guard guard(table.lock);
        auto it = table.modules.find(reinterpret_cast<uintptr_t>(hModule));
        if (it != table.modules.end() && (it->second.references > 0 || it->second.unloading)) path = it->second.path;
    }
    if (path.empty()) {
        // A module loaded without LoadLibraryA (linked, or dlopen'd by path).
        Dl_info info{};
        if (::dladdr(reinterpret_cast<void*>(hModule), &info) != 0 && info.dli_fbase == hModule && info.dli_fname)
            path = info.dli_fname;
    }
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return platform::CopyOut(path, lpFilename, nSize);
}

WINBASEAPI DWORD WINAPI SearchPathA(LPCSTR lpPath, LPCSTR lpFileName, LPCSTR lpExtension, DWORD nBufferLength,
                                    LPSTR lpBuffer, LPSTR* lpFilePart) {
    using namespace platform;
    if (FailNow("SearchPathA")) return 0;
    if (lpFileName == nullptr || *lpFileName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (lpPath != nullptr) {
        DebugLine("SearchPathA: explicit search paths are not supported");
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    std::string file = lpFileName;
    if (lpExtension != nullptr && file.find('.') == std::string::npos) file += lpExtension;
    for (const auto& folder : SearchFolders(__builtin_extract_return_addr(__builtin_return_address(0)))) {
        auto found = Candidates(folder, file);
        if (found.empty()) continue;
        const std::string& path = found.front();
        if (nBufferLength <= path.size() || lpBuffer == nullptr) return static_cast<DWORD>(path.size() + 1);
        std::memcpy(lpBuffer, path.c_str(), path.size() + 1);
        if (lpFilePart != nullptr) *lpFilePart = lpBuffer + path.rfind('/') + 1;
        return static_cast<DWORD>(path.size());
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
}

WINBASEAPI BOOL WINAPI DisableThreadLibraryCalls(HMODULE) { return TRUE; }
