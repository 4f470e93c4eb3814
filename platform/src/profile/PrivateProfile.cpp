// Private profile (INI) files: sections of name=value lines, names compared
// without case, the file re-read on every call and rewritten whole under an
// exclusive lock, so several processes can share one file. A file name
// without a folder lives in the Windows folder.
#include "core/Controls.h"
#include "file/PathMap.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// The native path of a profile, or empty with the last error set.
std::string ProfilePath(LPCSTR fileName) {
    std::string name = fileName != nullptr ? fileName : "win.ini";
    if (name.find('\\') == std::string::npos && name.find('/') == std::string::npos) name = "C:\\Windows\\" + name;
    MappedPath mapped;
    DWORD error = 0;
    if (!MapPath(name, &mapped, &error) || mapped.kind == PathKind::Device) {
        SetLastError(error != 0 ? error : ERROR_INVALID_NAME);
        return {};
    }
    return mapped.native;
}

// An open profile file locked for reading or writing; its lines.
class ProfileFile {
public:
    ProfileFile(const std::string& path, bool write) {
        fd_ = ::open(path.c_str(), write ? (O_RDWR | O_CREAT | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC), 0666);
        if (fd_ < 0) return;
        ::flock(fd_, write ? LOCK_EX : LOCK_SH);
        std::string text;
        char buffer[4096];
        for (;;) {
            ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            text.append(buffer, static_cast<size_t>(n));
        }
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines_.push_back(std::move(line));
            start = end + 1;
        }
    }
    ~ProfileFile() {
        if (fd_ >= 0) ::close(fd_);  // drops the lock
    }
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    bool Open() const { return fd_ >= 0; }
    std::vector<std::string>& Lines() { return lines_; }

    bool Save() {
        std::string text;
        for (const auto& line : lines_) text += line + "\r\n";
        if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return false;
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

private:
    int fd_ = -1;
    std::vector<std::string> lines_;
};

// The section name of a "[name]" line, or nothing.
bool SectionName(std::string_view line, std::string_view* name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return false;
    size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    *name = Trim(line.substr(1, close - 1));
    return true;
}

// The key and value of a "key=value" line.
bool KeyValue(std::string_view line, std::string_view* key, std::string_view* value) {
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    *key = Trim(line.substr(0, equals));
    *value = Trim(line.substr(equals + 1));
    if (value->size() >= 2 && (value->front() == '"' || value->front() == '\'') && value->back() == value->front()) {
        *value = value->substr(1, value->size() - 2);
    }
    return true;
}

// Lines [first, last) of a section's body; first == npos when it is absent.
struct SectionRange {
    size_t header = std::string::npos;
    size_t first = std::string::npos;
    size_t last = std::string::npos;
};

SectionRange FindSection(const std::vector<std::string>& lines, std::string_view section) {
    SectionRange range;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view name;
        if (!SectionName(lines[i], &name)) continue;
        if (range.first != std::string::npos) {
            range.last = i;
            return range;
        }
        if (EqualsIgnoreCase(name, section)) {
            range.header = i;
            range.first = i + 1;
        }
    }
    if (range.first != std::string::npos) range.last = lines.size();
    return range;
}

// Copies a value or a list of names into the caller's buffer as the
// profile functions do: truncated texts keep their terminator(s).
DWORD CopyText(std::string_view text, LPSTR out, DWORD size) {
    if (out == nullptr || size == 0) return 0;
    const DWORD n = std::min<DWORD>(static_cast<DWORD>(text.size()), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return n;
}

DWORD CopyList(const std::vector<std::string>& names, LPSTR out, DWORD size) {
    if (out == nullptr || size == 0) return 0;
    if (size < 2) {
        out[0] = '\0';
        return 0;
    }
    DWORD used = 0;
    for (const auto& name : names) {
        if (used + name.size() + 2 > size) {
            // Truncated: the last name that fits in part, then two terminators.
            DWORD room = size - 2 - used;
            std::memcpy(out + used, name.data(), room);
            used += room;
            out[used] = '\0';
            out[used + 1] = '\0';
            return size - 2;
        }
        std::memcpy(out + used, name.data(), name.size());
        used += static_cast<DWORD>(name.size());
        out[used++] = '\0';
    }
    out[used] = '\0';
    if (used == 0) out[1] = '\0';
    return used;
}

}  // namespace
}  // namespace platform

using namespace platform;

WINBASEAPI DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                                 LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (FailNow("GetPrivateProfileStringA")) return 0;
    const std::string fallback(Trim(lpDefault != nullptr ? lpDefault : ""));
    const std::string path = ProfilePath(lpFileName);
    if (path.empty()) return CopyText(fallback, lpReturnedString, nSize);
    ProfileFile file(path, false);
    if (!file.Open()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        if (lpAppName == nullptr || lpKeyName == nullptr) return CopyList({}, lpReturnedString, nSize);
        return CopyText(fallback, lpReturnedString, nSize);
    }
    auto& lines = file.Lines();
    if (lpAppName == nullptr) {
        std::vector<std::string> sections;
        for (const auto& line : lines) {
            std::string_view name;
            if (SectionName(line, &name)) sections.emplace_back(name);
        }
        return CopyList(sections, lpReturnedString, nSize);
    }
    const SectionRange range = FindSection(lines, lpAppName);
    std::vector<std::string> keys;
    for (size_t i = range.first; range.first != std::string::npos && i < range.last; ++i) {
        std::string_view key;
        std::string_view value;
        if (!KeyValue(lines[i], &key, &value)) continue;
        if (lpKeyName == nullptr) {
            keys.emplace_back(key);
        } else if (EqualsIgnoreCase(key, lpKeyName)) {
            return CopyText(value, lpReturnedString, nSize);
        }
    }
    if (lpKeyName == nullptr) return CopyList(keys, lpReturnedString, nSize);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return CopyText(fallback, lpReturnedString, nSize);
}

WINBASEAPI UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
    if (FailNow("GetPrivateProfileIntA")) return static_cast<UINT>(nDefault);
    if (lpAppName == nullptr || lpKeyName == nullptr) return static_cast<UINT>(nDefault);
    char text[64];
    const char kMissing[] = "\x01missing";
    GetPrivateProfileStringA(lpAppName, lpKeyName, kMissing, text, sizeof text, lpFileName);
    if (std::strcmp(text, kMissing) == 0) return static_cast<UINT>(nDefault);
    // A signed leading integer; anything after it is ignored, nothing is 0.
    const char* p = text;
    bool negative = false;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p++ - '0');
        if (value > 0xFFFFFFFFll) value = 0xFFFFFFFFll;
    }
    return static_cast<UINT>(negative ? -value : value);
}

WINBASEAPI BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                                  LPCSTR lpFileName) {
    if (FailNow("WritePrivateProfileStringA")) return FALSE;
    if (lpAppName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = ProfilePath(lpFileName);
    if (path.empty()) return FALSE;
    ProfileFile file(path, true);
    if (!file.Open()) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto& lines = file.Lines();
    SectionRange range = FindSection(lines, lpAppName);
    if (lpKeyName == nullptr) {
        // The whole section goes.
        if (range.header != std::string::npos) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(range.header),
                        lines.begin() + static_cast<std::ptrdiff_t>(range.last));
        }
        return file.Save() ? TRUE : FALSE;
    }
    if (range.header == std::string::npos) {
        if (lpString == nullptr) return TRUE;
        lines.push_back(std::string("[") + lpAppName + "]");
        range.first = range.last = lines.size();
    }
    size_t insertAt = range.last;
    // Keep blank lines that end the section after the new key.
    while (insertAt > range.first && Trim(lines[insertAt - 1]).empty()) --insertAt;
    for (size_t i = range.first; i < range.last; ++i) {
        std::string_view key;
        std::string_view value;
        if (!KeyValue(lines[i], &key, &value) || !EqualsIgnoreCase(key, lpKeyName)) continue;
        if (lpString == nullptr) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            lines[i] = std::string(key) + "=" + lpString;
        }
        return file.Save() ? TRUE : FALSE;
    }
    if (lpString != nullptr) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::string(lpKeyName) + "=" + lpString);
    }
    return file.Save() ? TRUE : FALSE;
}
