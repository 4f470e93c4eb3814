#include "ScannerDataStage.h"

#include "DibLayout.h"

#include <algorithm>

namespace {

// An empty read is tried again after this long, this many times.
constexpr DWORD kEmptyReadWaitMs = 50;
constexpr int kEmptyReadRetries = 240;

}  // namespace

ScannerDataStage::ScannerDataStage(ScannerLibraryBinding& library, ScanPipeline& pipeline, int32_t eopExtra)
    : library_(library), pipeline_(pipeline), eopExtra_(eopExtra)
{
}

int ScannerDataStage::Build(const ScanSettings& settings, bool indicators, HWND owner)
{
    indicators_ = indicators;
    owner_ = owner;
    duplex_ = settings.duplex != 0;
    bits_ = settings.scanMode == kScanModeColor ? 24 : settings.scanMode == kScanModeGray ? 8 : 1;
    dpi_ = settings.dpi;
    const uint32_t result = library_.PrepareScanProperties(settings, eopExtra_);
    if (result != SI_OK) {
        return kScanErrorDevice;
    }
    width_ = library_.ScanWidth();
    fullLength_ = length_ = library_.ScanLength();
    lineBytes_ = library_.LineBytes();
    rowBytes_ = DibRowSize(bits_, width_);
    if (width_ == 0 || length_ == 0 || lineBytes_ == 0 || lineBytes_ > rowBytes_) {
        return kScanErrorDevice;
    }
    return 0;
}

void ScannerDataStage::CloseProgress()
{
    if (!progress_) {
        return;
    }
    progress_.reset();
    if (owner_ != nullptr) {
        EnableWindow(owner_, TRUE);
    }
}

void ScannerDataStage::End()
{
    CloseProgress();
    // A started scan always ends, whatever became of the page.
    library_.EndScanSession();
}

void ScannerDataStage::StartPage(int side)
{
    side_ = side;
    pageStarted_ = false;
    sideEnded_ = false;
    total_ = 0;
    length_ = fullLength_;
}

void ScannerDataStage::FinishPage()
{
    if (progress_) {
        progress_->NewPage();
    }
}

int ScannerDataStage::Fail(int code)
{
    CloseProgress();
    pipeline_.SetError(code);
    return code;
}

int ScannerDataStage::Read(uint8_t* buffer, uint32_t rows, uint32_t* rowsRead)
{
    *rowsRead = 0;
    if (!pageStarted_) {
        if (!library_.ScanStarted() && !library_.StartScan()) {
            return Fail(kScanErrorDevice);
        }
        pageStarted_ = true;
        if (indicators_ && !progress_) {
            if (owner_ != nullptr) {
                EnableWindow(owner_, FALSE);
            }
            progress_ = std::make_unique<CScanProgressDialog>(owner_, bits_, width_, length_);
        }
    }
    rows = std::min(rows, length_ - total_);
    uint32_t got = 0;
    int emptyReads = 0;
    while (got < rows && !sideEnded_) {
        int n = 0;
        const SIResult result = library_.ReadImageData(buffer + size_t(got) * lineBytes_, rows - got,
                                                       static_cast<uint32_t>(side_), &n);
        if (n < 0 || static_cast<uint32_t>(n) > rows - got) {
            return Fail(kScanErrorDevice);
        }
        got += static_cast<uint32_t>(n);
        if (result == SI_END_OF_PAGE) {
            sideEnded_ = true;
            break;
        }
        if (result != SI_OK) {
            return Fail(kScanErrorDevice);
        }
        if (n == 0) {
            if (++emptyReads > kEmptyReadRetries) {
                if (got > 0) break;
                return Fail(kScanErrorDevice);
            }
            Sleep(kEmptyReadWaitMs);
        } else {
            emptyReads = 0;
        }
    }
    PadRows(buffer, lineBytes_, got);
    total_ += got;
    *rowsRead = got;

    if (progress_ && progress_->ScanProgressCallback(buffer, static_cast<int>(got)) == 0) {
        return Fail(kScanErrorCancelled);
    }
    if (sideEnded_ && total_ < length_) {
        if (!library_.EopDetection()) {
            // The scanner ended the side early without being asked to.
            return Fail(kScanErrorDevice);
        }
        length_ = total_;
        pipeline_.SetError(kPipelineShortPage);
    }
    if (total_ >= length_) {
        CloseProgress();
        if (!duplex_ || side_ == 1) {
            library_.EndScanSession();
        }
    }
    return 0;
}
