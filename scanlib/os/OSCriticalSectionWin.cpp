#include "os/OSCriticalSectionWin.h"

#include <new>

std::unique_ptr<OSCriticalSectionInterface> CreateOSCriticalSection() {
    return std::unique_ptr<OSCriticalSectionInterface>(new (std::nothrow) OSCriticalSectionWin());
}

OSCriticalSectionWin::~OSCriticalSectionWin() { Delete(); }

bool OSCriticalSectionWin::Init() {
    if (!initialised_) {
        InitializeCriticalSection(&section_);
        initialised_ = true;
    }
    return true;
}

void OSCriticalSectionWin::Delete() {
    if (initialised_) {
        DeleteCriticalSection(&section_);
        initialised_ = false;
    }
}

void OSCriticalSectionWin::Enter() { if (initialised_) EnterCriticalSection(&section_); }
void OSCriticalSectionWin::Leave() { if (initialised_) LeaveCriticalSection(&section_); }
