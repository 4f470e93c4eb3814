// The row pipeline of an acquisition: its stages in order (the scanner data
// stage first), the page geometry of the last one, and one error code that
// the stages set and every read reports.
#pragma once

#include "ScanSettings.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

// Pipeline error codes beyond the scan errors: the data stage met the end of
// the page before its expected length.
inline constexpr int kPipelineShortPage = 6;
// A read with no stage.
inline constexpr int kScanPipelineNotBuilt = 1;

class ScanPipeline;

class PipelineStage {
public:
    virtual ~PipelineStage() = default;

    virtual uint32_t PixelsPerRow() const = 0;
    // The page's rows; a stage may read the page ahead to learn them.
    virtual uint32_t Rows() = 0;
    virtual uint32_t BytesPerRow() const = 0;
    virtual uint32_t BitsPerPixel() const = 0;
    virtual int32_t Resolution() const = 0;

    // 0, or the error code of a failed build.
    virtual int Build(const ScanSettings& settings, bool indicators, HWND owner) = 0;
    virtual void End() = 0;
    // Up to `rows` rows of the current side into `buffer` (rows of
    // BytesPerRow bytes); 0 or the pipeline's error.
    virtual int Read(uint8_t* buffer, uint32_t rows, uint32_t* rowsRead) = 0;
    virtual void StartPage(int side) = 0;
    virtual void FinishPage() = 0;
};

class ScanPipeline {
public:
    static constexpr size_t kMaxStages = 10;

    bool Built() const { return built_; }
    PipelineStage* Output() const { return stages_.empty() ? nullptr : stages_.back().get(); }

    // Adds and builds a stage; its build result.
    int Add(std::unique_ptr<PipelineStage> stage, const ScanSettings& settings, bool indicators, HWND owner);
    void MarkBuilt() { built_ = true; }

    void StartPage(int side);
    void FinishPage();
    // Every stage ends, the list empties.
    void End();

    int Read(uint8_t* buffer, uint32_t rows, uint32_t* rowsRead);

    int Error() const { return error_; }
    void SetError(int code) { error_ = code; }

private:
    std::vector<std::unique_ptr<PipelineStage>> stages_;
    bool built_ = false;
    int error_ = 0;
};
