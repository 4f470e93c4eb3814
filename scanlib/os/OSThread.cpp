#include "os/OSThread.h"

#include "os/OSWait.h"

OSThread::OSThread() : impl_(CreateOSThread()) {}
OSThread::~OSThread() = default;

bool OSThread::Start(ThreadCallback* cb, int arg) { return impl_ && impl_->Start(cb, arg); }
int OSThread::Wait(int ms) { return impl_ ? impl_->Wait(ms) : kWaitFailed; }
bool OSThread::SetPriority(int level) { return impl_ && impl_->SetPriority(level); }
void OSThread::Close() { if (impl_) impl_->Close(); }
