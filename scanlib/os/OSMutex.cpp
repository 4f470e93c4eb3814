#include "os/OSMutex.h"

#include "os/OSWait.h"

OSMutex::OSMutex() : impl_(CreateOSMutex()) {}
OSMutex::~OSMutex() = default;

bool OSMutex::Create(const char* name, bool global) { return impl_ && impl_->Create(name, global); }
void OSMutex::Close() { if (impl_) impl_->Close(); }
int OSMutex::Wait(int ms) { return impl_ ? impl_->Wait(ms) : kWaitFailed; }
int OSMutex::Lock() { return impl_ ? impl_->Lock() : kWaitFailed; }
bool OSMutex::Release() { return impl_ && impl_->Release(); }
