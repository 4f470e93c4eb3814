// Serialised access to the bound scanner library. The device object drives
// the library from service threads, the interrupt listener and the prefeed
// thread at once, and a power suspend frees it under them: every call goes
// through here, under one lock, and only while the library is bound and its
// interface open.
#pragma once

#include "ScannerLibrary.h"

#include <SIInterface.h>
#include <SIPropertyIds.h>
#include <SIRecord.h>

#include <windows.h>

class LibraryAccess {
public:
    LibraryAccess(ScannerLibrary& library, const bool& open) : library_(library), open_(open) {
        InitializeCriticalSection(&section_);
    }
    ~LibraryAccess() { DeleteCriticalSection(&section_); }
    LibraryAccess(const LibraryAccess&) = delete;
    LibraryAccess& operator=(const LibraryAccess&) = delete;

    // Runs `call` with the library, or answers SI_ERR_NOT_OPEN when it is
    // not bound and open.
    template <typename Call>
    SIResult With(Call&& call) {
        Guard guard(*this);
        if (!library_.IsBound() || !open_) return SI_ERR_NOT_OPEN;
        return call(library_);
    }

    SIResult GetProperty(SIProperty* property) {
        return With([&](ScannerLibrary& l) { return l.GetProperty(property); });
    }
    SIResult SetProperty(const SIProperty& property) {
        return With([&](ScannerLibrary& l) { return l.SetProperty(&property); });
    }
    // Sets the property's current value as a single value, keeping the
    // record's type.
    SIResult SetSingle(SIPropertyId id, int32_t value) {
        return With([&](ScannerLibrary& l) {
            SIProperty p = si_record::Request(id);
            l.GetProperty(&p);
            p.id = id;
            p.container = SI_CONTAINER_SINGLE;
            p.value[0] = SlotFromInt(value);
            p.value[1] = SlotFromInt(value);
            return l.SetProperty(&p);
        });
    }
    bool Has(SIPropertyId id) {
        SIProperty p = si_record::Request(id);
        return GetProperty(&p) == SI_OK;
    }

    // Holds the lock over a sequence (power changes, a prefeed).
    class Guard {
    public:
        explicit Guard(LibraryAccess& access) : access_(access) { EnterCriticalSection(&access_.section_); }
        ~Guard() { LeaveCriticalSection(&access_.section_); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        LibraryAccess& access_;
    };

private:
    ScannerLibrary& library_;
    const bool& open_;
    CRITICAL_SECTION section_;
};
