// The duplex platform: two sensors read in series into one double-width
// line, the back one a fixed distance behind the front one. Base of every
// shipped model.
#pragma once

#include "engine/catalogue/ScannerCatalogue.h"
#include "engine/model/Swiftmere.h"

class DuplexSwiftmere : public Swiftmere {
public:
    // Unregisters every property while all of them still exist.
    ~DuplexSwiftmere() override { ReleaseProperties(); }

    int GetSideCount() override { return 2; }
    int GetOpticalScanLength() override;
    // When the scan window reaches into the back half of the line, the back
    // side ends later by the sensor distance.
    void AdjustPageLength(uint32_t* lines) override;
    void RegisterProperties() override;
    // Lines of travel between the two sensors at the optical resolution.
    virtual int GetExtraLength();

protected:
    DuplexPlatformProperties duplexProperties_;
};
