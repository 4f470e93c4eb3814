#include "os/OSEvent.h"

#include "os/OSWait.h"

OSEvent::OSEvent() : impl_(CreateOSEvent()) {}
OSEvent::~OSEvent() = default;

bool OSEvent::Create(const char* name, bool manualReset) { return impl_ && impl_->Create(name, manualReset); }
void OSEvent::Close() { if (impl_) impl_->Close(); }
bool OSEvent::Set() { return impl_ && impl_->Set(); }
bool OSEvent::Reset() { return impl_ && impl_->Reset(); }
int OSEvent::Wait(int ms) { return impl_ ? impl_->Wait(ms) : kWaitFailed; }
int OSEvent::WaitInfinite() { return impl_ ? impl_->WaitInfinite() : kWaitFailed; }
