// Stand-ins until the image stages are built: inactive pass-through stages,
// so the chain has its full shape.
#include "engine/chain/StageFactories.h"

std::unique_ptr<ImageProcessor> CreatePlanarToChunkyStage() { return std::make_unique<ImageProcessor>(); }
std::unique_ptr<ImageProcessor> CreateDuplexSplitterStage() { return std::make_unique<ImageProcessor>(); }
std::unique_ptr<ImageProcessor> CreateDescreenStage() { return std::make_unique<ImageProcessor>(); }
std::unique_ptr<ImageProcessor> CreateScalerStage() { return std::make_unique<ImageProcessor>(); }
std::unique_ptr<ImageProcessor> CreateEndOfPageStage() { return std::make_unique<ImageProcessor>(); }
