// Makers of the processing stages that sit between the spooler and the caller.
// The chain creates each of its stages through these once, when it is built.
#pragma once

#include "engine/chain/ImageProcessor.h"

#include <memory>

std::unique_ptr<ImageProcessor> CreatePlanarToChunkyStage();
std::unique_ptr<ImageProcessor> CreateDuplexSplitterStage();
std::unique_ptr<ImageProcessor> CreateDescreenStage();
std::unique_ptr<ImageProcessor> CreateScalerStage();
std::unique_ptr<ImageProcessor> CreateEndOfPageStage();
