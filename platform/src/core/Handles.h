// The process's handle table: kernel objects behind HANDLE values.
#pragma once

#include <windef.h>

#include <memory>

namespace platform {

enum class ObjectKind { Event, Mutex, Thread, File, DeviceFile, FileSearch, Process, Token, WindowStation, Desktop };

// A reference-counted kernel object. Each kind derives from it.
class KernelObject {
public:
    explicit KernelObject(ObjectKind kind) : kind_(kind) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    ObjectKind Kind() const { return kind_; }
    // Called when a handle to this object is closed (before the table drops it).
    virtual void OnHandleClosed(HANDLE) {}

private:
    ObjectKind kind_;
};

// Inserts an object; the handle is a multiple of 4, never 0, -1 or -2, and
// not reused before the counter wraps.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null (last error untouched).
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <typename T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle, ObjectKind kind) {
    auto object = LookupHandle(handle);
    if (!object || object->Kind() != kind) return nullptr;
    return std::static_pointer_cast<T>(object);
}

// Removes a handle; false when unknown.
bool RemoveHandle(HANDLE handle);

}  // namespace platform
