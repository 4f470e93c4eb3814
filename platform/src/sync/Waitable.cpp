// The wait over events and threads.
#include "sync/Waitable.h"

#include <winbase.h>

#include <algorithm>

namespace platform {

void Waitable::RemoveWaiter(ThreadSlot* slot) {
    auto it = std::find(waiters_.begin(), waiters_.end(), slot);
    if (it != waiters_.end()) waiters_.erase(it);
}

void Waitable::WakeWaiters() {
    for (ThreadSlot* slot : waiters_) Wake(*slot);
}

std::optional<size_t> WaitForAny(const std::vector<Waitable*>& objects, const Deadline& deadline) {
    ThreadSlot& slot = CurrentThreadSlot();
    for (;;) {
        ResetWake(slot);
        // Checked and registered object by object under each one's lock: a
        // change after the check wakes this thread.
        std::optional<size_t> signalled;
        size_t registered = 0;
        for (; registered < objects.size(); ++registered) {
            Waitable* object = objects[registered];
            std::lock_guard guard(object->Lock());
            if (object->TryConsume()) {
                signalled = registered;
                break;
            }
            object->AddWaiter(&slot);
        }
        const bool expired = !signalled && deadline && ProcessNowNs() >= *deadline;
        if (!signalled && !expired) Park(slot, deadline);
        for (size_t i = 0; i < registered; ++i) {
            std::lock_guard guard(objects[i]->Lock());
            objects[i]->RemoveWaiter(&slot);
        }
        if (signalled) return signalled;
        if (expired) return std::nullopt;
    }
}

}  // namespace platform
