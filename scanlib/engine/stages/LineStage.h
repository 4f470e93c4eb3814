// A stage that holds line buffers for the scan in progress: it frees them
// when the scan ends and when the chain is taken down.
#pragma once

#include "engine/chain/ImageProcessor.h"

class LineStage : public ImageProcessor {
public:
    // Frees the buffers, then ends the active upstream.
    void End() override;
    // Frees the buffers, then releases the stage's properties.
    void Shutdown() override;

protected:
    virtual void FreeBuffers() = 0;
};
