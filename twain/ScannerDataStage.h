// The first stage of the pipeline: rows straight from the scanner library,
// side by side. It starts the sheet's scan at the first read of a page
// (once for both sides of a duplex sheet), pads rows to 4 bytes, reports
// progress, and ends and ejects the sheet after its last side.
#pragma once

#include "ScanPipeline.h"
#include "ScanProgressDialog.h"
#include "ScannerLibraryBinding.h"

#include <memory>

class ScannerDataStage : public PipelineStage {
public:
    ScannerDataStage(ScannerLibraryBinding& library, ScanPipeline& pipeline, int32_t eopExtra);

    uint32_t PixelsPerRow() const override { return width_; }
    uint32_t Rows() override { return length_; }
    uint32_t BytesPerRow() const override { return rowBytes_; }
    uint32_t BitsPerPixel() const override { return bits_; }
    int32_t Resolution() const override { return dpi_; }

    int Build(const ScanSettings& settings, bool indicators, HWND owner) override;
    void End() override;
    int Read(uint8_t* buffer, uint32_t rows, uint32_t* rowsRead) override;
    void StartPage(int side) override;
    void FinishPage() override;


private:
    int Fail(int code);
    // Closes the progress dialog and gives the owner its input back.
    void CloseProgress();

    ScannerLibraryBinding& library_;
    ScanPipeline& pipeline_;
    int32_t eopExtra_;
    bool indicators_ = false;
    HWND owner_ = nullptr;
    bool duplex_ = false;
    uint32_t width_ = 0;
    uint32_t length_ = 0;      // rows of the page being read
    uint32_t fullLength_ = 0;  // rows the scanner announced
    uint32_t rowBytes_ = 0;
    uint32_t lineBytes_ = 0;
    uint32_t bits_ = 0;
    int32_t dpi_ = 0;
    int side_ = 0;
    bool pageStarted_ = false;
    bool sideEnded_ = false;
    uint32_t total_ = 0;
    std::unique_ptr<CScanProgressDialog> progress_;
};
