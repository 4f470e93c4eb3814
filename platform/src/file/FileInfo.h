// What the file functions report about a file: attributes and times.
#pragma once

#include <windef.h>
#include <fileapi.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace platform {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr uint64_t kEpochDifference = 11644473600ull;

inline FILETIME ToFileTime(int64_t seconds, uint32_t nanoseconds) {
    uint64_t ticks = (static_cast<uint64_t>(seconds) + kEpochDifference) * 10000000ull + nanoseconds / 100;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

inline DWORD AttributesOf(const struct statx& st) {
    if (S_ISDIR(st.stx_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    if (!(st.stx_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

inline bool StatPath(const std::string& native, struct statx* st) {
    return ::statx(AT_FDCWD, native.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, st) == 0;
}

// The creation time: the birth time where the file system keeps one.
inline FILETIME CreationTimeOf(const struct statx& st) {
    const statx_timestamp& creation = (st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_ctime;
    return ToFileTime(creation.tv_sec, creation.tv_nsec);
}

inline uint64_t SizeOf(const struct statx& st) { return S_ISDIR(st.stx_mode) ? 0 : st.stx_size; }

}  // namespace platform
