#include "TemporaryProgram.h"

#include <cstdio>

namespace {

constexpr int kNameAttempts = 100;
constexpr DWORD kChunk = 1u << 20;

bool WriteWhole(HANDLE file, std::span<const BYTE> image) {
    while (!image.empty()) {
        const DWORD ask = image.size() < kChunk ? static_cast<DWORD>(image.size()) : kChunk;
        DWORD written = 0;
        if (!WriteFile(file, image.data(), ask, &written, nullptr) || written == 0 || written > ask) return false;
        image = image.subspan(written);
    }
    return true;
}

}  // namespace

TemporaryProgram::~TemporaryProgram() { Remove(); }

bool TemporaryProgram::Create(std::span<const BYTE> image) {
    Remove();
    char folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) return false;
    // A new name each time: the process, the clock and a counter.
    static LONG counter = 0;
    const DWORD seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char name[MAX_PATH + 32];
        std::snprintf(name, sizeof name, "%sTrimwell-%08x-%04x.exe", folder, seed,
                      static_cast<unsigned>(InterlockedIncrement(&counter)) & 0xFFFFu);
        // CREATE_NEW never opens what is there already, a link included.
        HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            return false;
        }
        const bool whole = WriteWhole(file, image);
        CloseHandle(file);
        if (!whole) {
            DeleteFileA(name);
            return false;
        }
        path_ = name;
        return true;
    }
    return false;
}

void TemporaryProgram::Hold() {
    if (path_.empty() || hold_ != INVALID_HANDLE_VALUE) return;
    hold_ = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
}

void TemporaryProgram::Remove() {
    if (hold_ != INVALID_HANDLE_VALUE) CloseHandle(hold_);
    hold_ = INVALID_HANDLE_VALUE;
    if (!path_.empty()) DeleteFileA(path_.c_str());
    path_.clear();
}
