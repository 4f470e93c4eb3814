#include "WorkFiles.h"

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <random>

namespace {

constexpr char kWorkFolder[] = "Paperlyn";
// Names tried when the system cannot make one.
constexpr int kNameTries = 32;

bool EndsWithSeparator(const std::string& path)
{
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

}  // namespace

bool GetWorkFolder(std::string& path)
{
    char folder[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder) != S_OK) {
        return false;
    }
    std::string work = std::string(folder) + "\\" + kWorkFolder;
    if (!CreateDirectoryA(work.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    path = work + "\\";
    return true;
}

std::string MakePageTempFileName(std::string_view prefix, std::string_view folder)
{
    std::string directory(folder);
    if (directory.empty()) {
        char temp[MAX_PATH] = {};
        const DWORD length = GetTempPathA(sizeof temp, temp);
        if (length == 0 || length >= sizeof temp) {
            return {};
        }
        directory = temp;
    }
    // Only the first three characters of the prefix go into a name.
    const std::string shortPrefix(prefix.substr(0, 3));

    char name[MAX_PATH] = {};
    if (GetTempFileNameA(directory.c_str(), shortPrefix.c_str(), 0, name) != 0) {
        return name;
    }

    // Our own names: a random number, and a file that must not exist yet so
    // that nothing already there (or planted there) is taken over.
    if (!EndsWithSeparator(directory)) {
        directory.push_back('\\');
    }
    static std::atomic<unsigned> calls{0};
    std::minstd_rand random(GetTickCount() ^ (calls.fetch_add(1) * 0x9E3779B9u));
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        const unsigned number = static_cast<unsigned>(random()) & 0xFFFFu;
        const int length = std::snprintf(name, sizeof name, "%s%.3s%04x.tmp", directory.c_str(), shortPrefix.c_str(),
                                         number);
        if (length < 0 || static_cast<size_t>(length) >= sizeof name) {
            return {};
        }
        HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return name;
        }
    }
    return {};
}
