// Turning what the library's inner code reports into SI_ result codes.
#pragma once

#include "device/DeviceIOException.h"
#include "os/OSWait.h"

#include <SIInterface.h>

// Runs body and maps whatever it throws: a device-busy DeviceIOException to
// 19, any other DeviceIOException to 256, anything else to otherwise.
template <typename Body>
SIResult RunMapped(Body&& body, SIResult otherwise = SI_ERR_UNKNOWN) noexcept {
    try {
        return body();
    } catch (const DeviceIOException& e) {
        return e.Code() == DeviceIOException::kBusy ? SI_ERR_BUSY : SI_ERR_COMMUNICATION;
    } catch (...) {
        return otherwise;
    }
}

// A lock wait that did not acquire: a time-out is busy, anything else unknown.
constexpr SIResult LockFailure(int wait) { return wait == kWaitTimeout ? SI_ERR_BUSY : SI_ERR_UNKNOWN; }
