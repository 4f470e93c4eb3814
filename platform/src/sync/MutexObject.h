// The kernel object behind a mutex handle.
#pragma once

#include "sync/RobustMutex.h"

namespace platform {

class MutexObject final : public KernelObject {
public:
    explicit MutexObject(MutexRecord* record);
    MutexRecord* Record() const { return record_; }

private:
    MutexRecord* record_;  // never freed
};

}  // namespace platform
