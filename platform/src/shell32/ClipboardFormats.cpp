// Registered clipboard formats: one number per name (case-insensitive) for
// the life of the process, from 0xC000 up.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <string>
#include <vector>

namespace platform::shell {
namespace {

std::mutex& FormatLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::vector<std::string>& Formats() {
    static auto* formats = new std::vector<std::string>;
    return *formats;
}

std::string Folded(const char* name) {
    std::string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return folded;
}

constexpr UINT kFirstFormat = 0xC000;
constexpr size_t kFormatCount = 0x4000;

}  // namespace
}  // namespace platform::shell

using namespace platform::shell;

WINUSERAPI UINT WINAPI RegisterClipboardFormatA(LPCSTR lpszFormat) {
    if (lpszFormat == nullptr || *lpszFormat == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string name = Folded(lpszFormat);
    std::lock_guard guard(FormatLock());
    auto& formats = Formats();
    const auto found = std::find(formats.begin(), formats.end(), name);
    if (found != formats.end()) return kFirstFormat + static_cast<UINT>(found - formats.begin());
    if (formats.size() >= kFormatCount) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    formats.push_back(name);
    return kFirstFormat + static_cast<UINT>(formats.size() - 1);
}
