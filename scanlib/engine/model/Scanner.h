// The scanner model: the head image source of the chain, owning one physical
// scanner while the library is open. These are the operations the SI
// functions call; the model bases implement them.
#pragma once

#include "engine/chain/ImageSource.h"

#include <SIInterface.h>

#include <cstdint>

class Calibrator;
class DevicePort;

class Scanner : public ImageSource {
public:
    ~Scanner() override = default;

    // Opens the scanner on the port. On success the model owns the port and
    // empties the caller's pointer; on failure the port stays the caller's.
    virtual bool Open(DevicePort*& port) = 0;
    virtual bool StartScan() = 0;
    virtual void EndScan() = 0;
    // Draws a sheet in by the distance of the y-offset property.
    virtual void Feed() = 0;
    virtual Calibrator* GetCalibrator() = 0;
    // Reopens the calibration file and checks its header.
    virtual bool ReloadCalibration() = 0;
    // The device reset.
    virtual bool ResetPipes() = 0;
    virtual int Diagnostic(int code, uint32_t* data) = 0;
    // 0 not ready, 1 ready, 2 busy.
    virtual int GetScannerStatus() = 0;
    virtual int GetPaperStatus(int* present) = 0;
    virtual int GetButtonStatus(int which, int* pressed);
    // Ejects the sheet.
    virtual void FeedPaperOut() = 0;
    // Fills the event's reported flags; false when the record is refused.
    virtual bool DebounceEvent(SIEvent* event) = 0;
};
