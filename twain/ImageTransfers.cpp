// The image side of the source: transfer setup, image information and
// layout, and the memory, native and file transfers of a page.
#include "TwainSource.h"

#include "DibLayout.h"
#include "PageFiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr char kDefaultFileName[] = "TWAIN.BMP";
constexpr uint32_t kMinBuffer = 0x4000;
constexpr uint32_t kMaxBuffer = 0x20000;

TW_FIX32 Fix32(double value)
{
    const auto scaled = static_cast<int32_t>(std::lround(value * 65536.0));
    TW_FIX32 fix;
    fix.Whole = static_cast<TW_INT16>(scaled >> 16);
    fix.Frac = static_cast<TW_UINT16>(scaled & 0xFFFF);
    return fix;
}

double Value(TW_FIX32 fix)
{
    return fix.Whole + fix.Frac / 65536.0;
}

// Inches to hundredths, to the nearest.
int Hundredths(TW_FIX32 fix)
{
    return static_cast<int>(std::lround(Value(fix) * 100.0));
}

}  // namespace

uint32_t TwainSource::PreferredRows() const
{
    PipelineStage* output = pipeline_.Output();
    const uint32_t b = std::max<uint32_t>(output->BytesPerRow(), 1);
    uint32_t r = std::min({kMaxBuffer / b, output->Rows(), static_cast<uint32_t>(std::max(output->Resolution(), 0)) / 2});
    return std::max<uint32_t>(r, 2);
}

TW_UINT16 TwainSource::SetupMemory(TW_UINT16, TW_MEMREF data)
{
    auto* setup = static_cast<pTW_SETUPMEMXFER>(data);
    if (setup == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    PipelineStage* output = pipeline_.Output();
    if (state_ < 6 || output == nullptr) {
        setup->MinBufSize = kMinBuffer;
        setup->MaxBufSize = kMaxBuffer;
        setup->Preferred = kMaxBuffer;
        return TWRC_SUCCESS;
    }
    const uint32_t b = std::max<uint32_t>(output->BytesPerRow(), 1);
    setup->MinBufSize = b * std::max<uint32_t>(1, kMinBuffer / b);
    // Never below the minimum, even for a page of a few narrow rows.
    setup->MaxBufSize = std::max(b * PreferredRows(), setup->MinBufSize);
    setup->Preferred = setup->MaxBufSize;
    return TWRC_SUCCESS;
}

TW_UINT16 TwainSource::SetupFile(TW_UINT16 msg, TW_MEMREF data)
{
    auto* setup = static_cast<pTW_SETUPFILEXFER>(data);
    if (setup == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    switch (msg) {
    case MSG_SET:
        if (setup->Format != TWFF_BMP) {
            return Fail(TWCC_BADVALUE);
        }
        // The application's name need not be terminated within its 256 bytes.
        std::memcpy(fileName_, setup->FileName, sizeof setup->FileName - 1);
        fileName_[sizeof setup->FileName - 1] = '\0';
        return TWRC_SUCCESS;
    case MSG_RESET:
        std::strcpy(fileName_, kDefaultFileName);
        [[fallthrough]];
    case MSG_GET:
        std::memset(setup->FileName, 0, sizeof setup->FileName);
        std::memcpy(setup->FileName, fileName_, std::min(std::strlen(fileName_), sizeof setup->FileName - 1));
        break;
    default:
        std::memset(setup->FileName, 0, sizeof setup->FileName);
        std::strcpy(setup->FileName, kDefaultFileName);
        break;
    }
    setup->Format = TWFF_BMP;
    setup->VRefNum = 0;
    return TWRC_SUCCESS;
}

TW_UINT16 TwainSource::ImageInfo(TW_UINT16, TW_MEMREF data)
{
    auto* info = static_cast<pTW_IMAGEINFO>(data);
    PipelineStage* output = pipeline_.Output();
    if (info == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    if (output == nullptr) {
        return Fail(TWCC_SEQERROR);
    }
    std::memset(info, 0, sizeof *info);
    info->XResolution = Fix32(output->Resolution());
    info->YResolution = info->XResolution;
    info->ImageWidth = static_cast<TW_INT32>(output->PixelsPerRow());
    info->ImageLength = static_cast<TW_INT32>(output->Rows());
    switch (output->BitsPerPixel()) {
    case 8:
        info->SamplesPerPixel = 1;
        info->BitsPerSample[0] = 8;
        info->BitsPerPixel = 8;
        info->PixelType = TWPT_GRAY;
        break;
    case 24:
        info->SamplesPerPixel = 3;
        info->BitsPerSample[0] = info->BitsPerSample[1] = info->BitsPerSample[2] = 8;
        info->BitsPerPixel = 24;
        info->PixelType = TWPT_RGB;
        break;
    default:
        info->SamplesPerPixel = 1;
        info->BitsPerSample[0] = 1;
        info->BitsPerPixel = 1;
        info->PixelType = TWPT_BW;
        break;
    }
    info->Planar = FALSE;
    info->Compression = TWCP_NONE;
    return TWRC_SUCCESS;
}

TW_UINT16 TwainSource::ImageLayout(TW_UINT16 msg, TW_MEMREF data)
{
    auto* layout = static_cast<pTW_IMAGELAYOUT>(data);
    if (layout == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    TW_UINT16 result = TWRC_SUCCESS;
    switch (msg) {
    case MSG_SET:
        // All four edges to the nearest hundredth, so a frame read back and
        // set again stays where it was.
        if (SetScanFrame(settings_, Hundredths(layout->Frame.Top), Hundredths(layout->Frame.Left),
                         Hundredths(layout->Frame.Bottom), Hundredths(layout->Frame.Right))) {
            result = TWRC_CHECKSTATUS;
        }
        break;
    case MSG_RESET:
        settings_.rotation = 0;
        SetScanFrame(settings_, 0, 0, 687, 416);
        break;
    case MSG_GETDEFAULT:
        layout->Frame.Left = Fix32(0);
        layout->Frame.Top = Fix32(0);
        layout->Frame.Right = Fix32(4.16);
        layout->Frame.Bottom = Fix32(6.87);
        layout->DocumentNumber = layout->PageNumber = layout->FrameNumber = 1;
        return TWRC_SUCCESS;
    default:
        break;
    }
    if (msg == MSG_SET) {
        return result;
    }
    // GET and RESET answer the frame the scanner delivers.
    const int dpi = std::max<int>(settings_.dpi, 1);
    uint32_t width = 4 * static_cast<uint32_t>(dpi);
    uint32_t rows = 4 * static_cast<uint32_t>(dpi);
    if (state_ == 6 && pipeline_.Output() != nullptr) {
        width = pipeline_.Output()->PixelsPerRow();
        rows = pipeline_.Output()->Rows();
    } else if (deviceOpen_ != 0 && library_.Bound() && library_.PrepareScanProperties(settings_, eopExtra_) == 0) {
        width = library_.ScanWidth();
        rows = library_.ScanLength();
    }
    const double left = settings_.left / 100.0;
    const double top = settings_.top / 100.0;
    layout->Frame.Left = Fix32(left);
    layout->Frame.Top = Fix32(top);
    layout->Frame.Right = Fix32(left + static_cast<double>(width) / dpi);
    layout->Frame.Bottom = Fix32(top + static_cast<double>(rows) / dpi);
    layout->DocumentNumber = layout->PageNumber = layout->FrameNumber = 1;
    return result;
}

TW_UINT16 TwainSource::TransferFailed(int code)
{
    EndPipeline();
    pendingXfers_ = 0;
    if (code == kScanErrorCancelled) {
        state_ = 7;
        return TWRC_CANCEL;
    }
    ShowScanError(code);
    return Fail(TWCC_OPERATIONERROR);
}

TW_UINT16 TwainSource::MemoryTransfer(TW_UINT16, TW_MEMREF data)
{
    auto* xfer = static_cast<pTW_IMAGEMEMXFER>(data);
    PipelineStage* output = pipeline_.Output();
    if (xfer == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    if (output == nullptr) {
        return Fail(TWCC_SEQERROR);
    }
    const uint32_t b = output->BytesPerRow();
    // Rows per strip from this call's buffer: a buffer may shrink between strips.
    uint32_t rowsPerStrip = b > 0 ? xfer->Memory.Length / b : 0;
    if (rowsPerStrip == 0) {
        return Fail(TWCC_BADVALUE);
    }
    rowsPerStrip = std::min<uint32_t>(rowsPerStrip, 32767);
    if (state_ == 6) {
        stripRowsDone_ = 0;
    }
    const uint32_t left = output->Rows() - std::min(stripRowsDone_, output->Rows());
    const uint32_t wanted = std::min(left, rowsPerStrip);
    const bool isHandle = (xfer->Memory.Flags & TWMF_HANDLE) != 0;
    auto* target = static_cast<uint8_t*>(isHandle ? GlobalLock(xfer->Memory.TheMem) : xfer->Memory.TheMem);
    if (target == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    uint32_t got = 0;
    transferRunning_ = true;
    int error = pipeline_.Read(target, wanted, &got);
    transferRunning_ = false;
    if (isHandle) {
        GlobalUnlock(xfer->Memory.TheMem);
    }
    if (error == kPipelineShortPage) {
        error = 0;
        pipeline_.SetError(0);
    }
    if (error == 0 && got == 0 && wanted > 0) {
        error = kScanErrorDevice;
    }
    if (error != 0) {
        return TransferFailed(error);
    }
    xfer->Compression = TWCP_NONE;
    xfer->BytesPerRow = b;
    xfer->Columns = output->PixelsPerRow();
    xfer->Rows = got;
    xfer->XOffset = 0;
    xfer->YOffset = stripRowsDone_;
    xfer->BytesWritten = b * got;
    stripRowsDone_ += got;
    state_ = 7;
    return stripRowsDone_ >= output->Rows() ? TWRC_XFERDONE : TWRC_SUCCESS;
}

TW_UINT16 TwainSource::NativeTransfer(TW_UINT16, TW_MEMREF data)
{
    if (data == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    return WholePageTransfer(data, false);
}

TW_UINT16 TwainSource::FileTransfer(TW_UINT16, TW_MEMREF data)
{
    return WholePageTransfer(data, true);
}

TW_UINT16 TwainSource::WholePageTransfer(TW_MEMREF data, bool toFile)
{
    PipelineStage* output = pipeline_.Output();
    if (output == nullptr) {
        return Fail(TWCC_SEQERROR);
    }
    const uint32_t bits = output->BitsPerPixel();
    const uint32_t width = output->PixelsPerRow();
    const uint32_t rows = output->Rows();
    const uint32_t rowSize = output->BytesPerRow();
    const uint64_t total = DibHeaderLength(bits, toFile) + uint64_t(rows) * rowSize;

    // Either target deletes or frees an unfinished page with itself.
    std::unique_ptr<DiskPageFile> disk;
    std::unique_ptr<GlobalMemoryFile> memory;
    PageFile* target = nullptr;
    if (toFile) {
        disk = std::make_unique<DiskPageFile>(fileName_);
        if (!disk->IsOpen()) {
            return TransferFailed(kScanErrorFile);
        }
        target = disk.get();
    } else {
        memory = std::make_unique<GlobalMemoryFile>();
        target = memory.get();
    }
    switch (WriteDibHeaders(*target, bits, output->Resolution(), width, rows, toFile)) {
    case 1:
        break;
    case 0:
        return TransferFailed(kScanErrorFile);
    default:
        return TransferFailed(kScanErrorMemory);
    }

    uint32_t chunk = PreferredRows();
    if (chunk % 2 == 0 && chunk > 4) {
        --chunk;
    }
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(size_t(chunk) * rowSize);
    } catch (const std::bad_alloc&) {
        return TransferFailed(kScanErrorMemory);
    }
    // Rows go bottom-up: each chunk, turned over, ends where the previous began.
    uint32_t written = 0;
    int error = 0;
    while (written < rows) {
        uint32_t got = 0;
        transferRunning_ = true;
        error = pipeline_.Read(buffer.data(), std::min(chunk, rows - written), &got);
        transferRunning_ = false;
        if (error == 0 && got == 0) {
            error = kScanErrorDevice;
        }
        if (error != 0) {
            break;
        }
        FlipRows(buffer.data(), got, rowSize);
        if (bits == 24) {
            SwapRedBlue(buffer.data(), got, rowSize);
        }
        const uint64_t at = total - uint64_t(written + got) * rowSize;
        if (!target->WriteAt(at, std::span<const uint8_t>(buffer.data(), size_t(got) * rowSize))) {
            error = target->OutOfMemory() ? kScanErrorMemory : kScanErrorFile;
            break;
        }
        written += got;
    }
    if (error == 0 && disk && !disk->Finish()) {
        error = kScanErrorFile;
    }
    if (error != 0) {
        disk.reset();
        memory.reset();
        return TransferFailed(error);
    }
    if (!toFile) {
        *static_cast<TW_HANDLE*>(data) = memory->Detach();
    }
    state_ = 7;
    return TWRC_XFERDONE;
}
