#include "OSObject.h"

OSObject::~OSObject() { Close(); }

bool OSObject::BuildSharedSecurity(SECURITY_DESCRIPTOR* descriptor, SECURITY_ATTRIBUTES* attributes) {
    if (!InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION)) return false;
    if (!SetSecurityDescriptorDacl(descriptor, TRUE, nullptr, FALSE)) return false;
    attributes->nLength = sizeof(SECURITY_ATTRIBUTES);
    attributes->lpSecurityDescriptor = descriptor;
    attributes->bInheritHandle = TRUE;
    return true;
}

bool OSObject::CreateSharedEvent(bool manualReset) {
    if (handle_ != nullptr) return false;
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{};
    if (!BuildSharedSecurity(&descriptor, &attributes)) return false;
    handle_ = CreateEventA(&attributes, manualReset ? TRUE : FALSE, FALSE, nullptr);
    return handle_ != nullptr;
}

bool OSObject::CreateSharedMutex(const char* name) {
    if (handle_ != nullptr) return false;
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{};
    if (!BuildSharedSecurity(&descriptor, &attributes)) return false;
    handle_ = CreateMutexA(&attributes, FALSE, name);
    return handle_ != nullptr;
}

int OSObject::Lock(DWORD milliseconds) {
    if (handle_ == nullptr) return -3;
    switch (WaitForSingleObject(handle_, milliseconds)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED: return 0;
        case WAIT_TIMEOUT: return -1;
        default: return -4;
    }
}

int OSObject::IsSignaled() { return Lock(0); }

void OSObject::Close() {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
}

OSThread::~OSThread() = default;

bool OSThread::Start(unsigned stackSize) {
    if (handle_ != nullptr) return false;
    const uintptr_t thread = _beginthreadex(nullptr, stackSize, &OSThread::Entry, this, 0, &threadId_);
    handle_ = reinterpret_cast<HANDLE>(thread);
    return handle_ != nullptr;
}

unsigned __stdcall OSThread::Entry(void* self) {
    static_cast<OSThread*>(self)->Run();
    return 0;
}
