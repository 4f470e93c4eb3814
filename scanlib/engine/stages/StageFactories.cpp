// The image stages that the processing chain builds between the spooler and
// the caller.
#include "engine/chain/StageFactories.h"

#include "engine/stages/Descreen.h"
#include "engine/stages/DuplexSplitter.h"
#include "engine/stages/EndOfPageDetect.h"
#include "engine/stages/PlanarToChunky.h"
#include "engine/stages/Scaler.h"

std::unique_ptr<ImageProcessor> CreatePlanarToChunkyStage() { return std::make_unique<PlanarToChunky>(); }
std::unique_ptr<ImageProcessor> CreateDuplexSplitterStage() { return std::make_unique<DuplexSplitter>(); }
std::unique_ptr<ImageProcessor> CreateDescreenStage() { return std::make_unique<Descreen>(); }
std::unique_ptr<ImageProcessor> CreateScalerStage() { return std::make_unique<Scaler>(); }
std::unique_ptr<ImageProcessor> CreateEndOfPageStage() { return std::make_unique<EndOfPageDetect>(); }
