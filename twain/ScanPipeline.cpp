#include "ScanPipeline.h"

int ScanPipeline::Add(std::unique_ptr<PipelineStage> stage, const ScanSettings& settings, bool indicators, HWND owner)
{
    if (stages_.size() >= kMaxStages) {
        return kMaxStages;
    }
    stages_.push_back(std::move(stage));
    return stages_.back()->Build(settings, indicators, owner);
}

void ScanPipeline::StartPage(int side)
{
    for (auto& stage : stages_) {
        stage->StartPage(side);
    }
}

void ScanPipeline::FinishPage()
{
    for (auto& stage : stages_) {
        stage->FinishPage();
    }
}

void ScanPipeline::End()
{
    for (auto it = stages_.rbegin(); it != stages_.rend(); ++it) {
        (*it)->End();
    }
    stages_.clear();
    built_ = false;
}

int ScanPipeline::Read(uint8_t* buffer, uint32_t rows, uint32_t* rowsRead)
{
    *rowsRead = 0;
    if (error_ != 0) {
        return error_;
    }
    PipelineStage* output = Output();
    if (output == nullptr) {
        return kScanPipelineNotBuilt;
    }
    return output->Read(buffer, rows, rowsRead);
}
