#include "engine/stages/LineStage.h"

void LineStage::End()
{
    FreeBuffers();
    if (ImageSource* below = ActiveUpstream()) {
        below->End();
    }
}

void LineStage::Shutdown()
{
    FreeBuffers();
    ImageProcessor::Shutdown();
}
