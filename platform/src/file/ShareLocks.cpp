#include "file/ShareLocks.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/file.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace platform {
namespace {

// Marker bytes, far past any data a file of ours holds.
constexpr off_t kMarkerBase = static_cast<off_t>(0x7FFFFFFF00000000LL);

enum Marker : int { Reads, Writes, Deletes, DeniesRead, DeniesWrite, DeniesDelete };

struct flock MarkerRange(short type, Marker marker) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = kMarkerBase + marker;
    range.l_len = 1;
    return range;
}

// True when another open holds a lock on the marker.
bool OthersHold(int fd, Marker marker) {
    struct flock probe = MarkerRange(F_WRLCK, marker);
    if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
    return probe.l_type != F_UNLCK;
}

bool Hold(int fd, Marker marker) {
    struct flock lock = MarkerRange(F_RDLCK, marker);
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

void Gate(int fd) {
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

void Ungate(int fd) { ::flock(fd, LOCK_UN); }

struct Rule {
    DWORD accessBit;    // in the new open's access
    Marker othersDeny;  // conflicts when another open denies it
    DWORD shareBit;     // in the new open's share mode
    Marker othersUse;   // conflicts, without that share bit, when another open uses it
    Marker ownUse;      // recorded when the new open has the access
    Marker ownDeny;     // recorded when the new open lacks the share bit
};

constexpr std::array<Rule, 3> kRules{{
    {GENERIC_READ, DeniesRead, FILE_SHARE_READ, Reads, Reads, DeniesRead},
    {GENERIC_WRITE, DeniesWrite, FILE_SHARE_WRITE, Writes, Writes, DeniesWrite},
    {DELETE, DeniesDelete, FILE_SHARE_DELETE, Deletes, Deletes, DeniesDelete},
}};

}  // namespace

DWORD AcquireShare(int fd, DWORD access, DWORD share) {
    // An open without data access (attributes only) takes no part in sharing.
    if (!(access & (GENERIC_READ | GENERIC_WRITE | DELETE))) return 0;
    Gate(fd);
    for (const Rule& rule : kRules) {
        if ((access & rule.accessBit) && OthersHold(fd, rule.othersDeny)) {
            Ungate(fd);
            return ERROR_SHARING_VIOLATION;
        }
        if (!(share & rule.shareBit) && OthersHold(fd, rule.othersUse)) {
            Ungate(fd);
            return ERROR_SHARING_VIOLATION;
        }
    }
    for (const Rule& rule : kRules) {
        if (access & rule.accessBit) Hold(fd, rule.ownUse);
        if (!(share & rule.shareBit)) Hold(fd, rule.ownDeny);
    }
    Ungate(fd);
    return 0;
}

DWORD LockForDelete(int fd) {
    Gate(fd);
    return OthersHold(fd, DeniesDelete) ? static_cast<DWORD>(ERROR_SHARING_VIOLATION) : 0;
}

void ReleaseDeleteGate(int fd) { Ungate(fd); }

}  // namespace platform
