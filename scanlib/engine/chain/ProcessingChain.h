// The fixed chain of image stages on top of the scanner model:
// model > Spooler > PlanarToChunky > DuplexSplitter > Descreen > Scaler >
// EndOfPageDetect. The SI functions use one such chain.
#pragma once

#include "engine/chain/ImageProcessor.h"

#include <array>
#include <memory>

class Spooler;

class ProcessingChain {
public:
    ProcessingChain();
    ~ProcessingChain();
    ProcessingChain(const ProcessingChain&) = delete;
    ProcessingChain& operator=(const ProcessingChain&) = delete;

    // Builds the chain on the scanner and resets every property. True at once
    // when already attached; false for a null scanner or a failed build.
    bool Attach(ImageSource* scanner);
    // Links and initialises the stages in chain order; false when an Init fails.
    bool Build(ImageSource* scanner);
    // Stops the spooler's thread, releases every stage and unlinks the chain.
    void Detach();
    // Last stage first, so a stage's property hides the scanner's.
    Property* FindProperty(uint16_t id);
    // Fixes the active source and starts it; false when not attached or it fails.
    bool StartScan();
    SIResult ReadImageData(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead);
    void EndScan();
    // Upstream first: the model, then each stage in chain order.
    void ResetAll();
    void SaveRestoreAll(bool save);

    bool IsAttached() const { return attached_; }
    ImageSource* Scanner() const { return scanner_; }
    // The source the caller reads during a scan; null between scans.
    ImageSource* ActiveSource() const { return active_; }
    Spooler& GetSpooler() { return *spooler_; }

    static constexpr size_t kStageCount = 6;
    // The stages in chain order, the spooler first.
    const std::array<ImageProcessor*, kStageCount>& Stages() const { return stages_; }

private:
    std::unique_ptr<Spooler> spooler_;
    std::unique_ptr<ImageProcessor> planarToChunky_;
    std::unique_ptr<ImageProcessor> duplexSplitter_;
    std::unique_ptr<ImageProcessor> descreen_;
    std::unique_ptr<ImageProcessor> scaler_;
    std::unique_ptr<ImageProcessor> endOfPage_;
    std::array<ImageProcessor*, kStageCount> stages_{};
    bool attached_ = false;
    bool built_ = false;
    ImageSource* scanner_ = nullptr;
    ImageSource* active_ = nullptr;
};
