#include "os/OSCriticalSection.h"

OSCriticalSection::OSCriticalSection() : impl_(CreateOSCriticalSection()) {}
OSCriticalSection::~OSCriticalSection() = default;

bool OSCriticalSection::Init() { return impl_ && impl_->Init(); }
void OSCriticalSection::Delete() { if (impl_) impl_->Delete(); }
void OSCriticalSection::Enter() { if (impl_) impl_->Enter(); }
void OSCriticalSection::Leave() { if (impl_) impl_->Leave(); }
