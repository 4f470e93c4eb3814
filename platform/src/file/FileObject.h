// An open file: the kernel object behind a file handle.
#pragma once

#include "core/Handles.h"
#include "file/UniqueFd.h"

#include <windef.h>

namespace platform {

class FileObject : public KernelObject {
public:
    // `lockFd` is a second, readable open that carries the share markers when
    // `fd` cannot (a write-only open); it may be empty.
    FileObject(UniqueFd fd, UniqueFd lockFd, DWORD access, bool overlapped)
        : KernelObject(ObjectKind::File),
          fd_(std::move(fd)),
          lockFd_(std::move(lockFd)),
          access_(access),
          overlapped_(overlapped) {}

    int Fd() const { return fd_.Get(); }
    DWORD Access() const { return access_; }
    bool Overlapped() const { return overlapped_; }

private:
    UniqueFd fd_;
    UniqueFd lockFd_;
    DWORD access_;
    bool overlapped_;
};

}  // namespace platform
