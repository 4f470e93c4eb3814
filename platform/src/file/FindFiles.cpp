// FindFirstFileA, FindNextFileA and FindClose: the names in one folder that
// match a pattern with the wildcards * and ?.
#include "core/Handles.h"
#include "file/FileInfo.h"
#include "file/Injection.h"
#include "file/PathMap.h"

#include <windows.h>

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
namespace {

char Fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// * matches any run of characters (none included), ? exactly one; ASCII
// case is ignored.
bool Matches(std::string_view pattern, std::string_view name) {
    size_t p = 0;
    size_t n = 0;
    size_t starAt = std::string_view::npos;
    size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// The matches of one search, taken when it starts and handed out in order.
class FileSearch : public KernelObject {
public:
    FileSearch(std::string folder, std::vector<std::string> names)
        : KernelObject(ObjectKind::FileSearch), folder_(std::move(folder)), names_(std::move(names)) {}

    // Fills `data` with the next match that still exists; false at the end.
    bool Next(WIN32_FIND_DATAA* data) {
        std::lock_guard<std::mutex> lock(mutex_);
        while (next_ < names_.size()) {
            const std::string& name = names_[next_++];
            struct statx st {};
            if (!StatPath(folder_ + "/" + name, &st)) continue;
            std::memset(data, 0, sizeof *data);
            data->dwFileAttributes = AttributesOf(st);
            data->ftCreationTime = CreationTimeOf(st);
            data->ftLastAccessTime = ToFileTime(st.stx_atime.tv_sec, st.stx_atime.tv_nsec);
            data->ftLastWriteTime = ToFileTime(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec);
            const uint64_t size = SizeOf(st);
            data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
            data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
            std::memcpy(data->cFileName, name.c_str(), name.size() + 1);
            return true;
        }
        return false;
    }

private:
    std::mutex mutex_;
    std::string folder_;
    std::vector<std::string> names_;
    size_t next_ = 0;
};

HANDLE FailSearch(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace
}  // namespace platform

using namespace platform;

extern "C" {

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    if (Injected("FindFirstFileA")) return INVALID_HANDLE_VALUE;
    if (lpFileName == nullptr || lpFindFileData == nullptr) return FailSearch(ERROR_INVALID_PARAMETER);
    const std::string_view full(lpFileName);
    const size_t cut = full.find_last_of("\\/");
    std::string folder = cut == std::string_view::npos ? std::string(".") : std::string(full.substr(0, cut + 1));
    std::string pattern(cut == std::string_view::npos ? full : full.substr(cut + 1));
    if (pattern.empty()) return FailSearch(ERROR_FILE_NOT_FOUND);
    if (folder.find_first_of("*?") != std::string::npos) return FailSearch(ERROR_INVALID_NAME);
    // "*.*" names every file, those without a dot too.
    if (pattern == "*.*") pattern = "*";

    MappedPath mapped;
    DWORD error = 0;
    if (!MapPath(folder, &mapped, &error)) return FailSearch(error);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(mapped.native.c_str()), &::closedir);
    if (!dir) return FailSearch(ERROR_PATH_NOT_FOUND);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name.size() < MAX_PATH && Matches(pattern, name)) names.emplace_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) { return Fold(x) < Fold(y); });
    });
    auto search = std::make_shared<FileSearch>(mapped.native, std::move(names));
    if (!search->Next(lpFindFileData)) return FailSearch(ERROR_FILE_NOT_FOUND);
    return InsertHandle(std::move(search));
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    if (Injected("FindNextFileA")) return FALSE;
    auto search = LookupHandleAs<FileSearch>(hFindFile, ObjectKind::FileSearch);
    if (!search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpFindFileData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!search->Next(lpFindFileData)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    if (Injected("FindClose")) return FALSE;
    if (!LookupHandleAs<FileSearch>(hFindFile, ObjectKind::FileSearch) || !RemoveHandle(hFindFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
