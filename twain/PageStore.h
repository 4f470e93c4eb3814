// The page store: with paper-end detection the page's length is known only
// once the paper has passed, but native and file transfers must size the
// image first. This stage reads every side of the sheet ahead into its own
// temporary file, learns the length, and then serves the rows from there.
#pragma once

#include "ScanPipeline.h"

#include <windows.h>

#include <array>
#include <cstdint>

// A file handle closed with its owner.
class TempFileHandle {
public:
    TempFileHandle() = default;
    ~TempFileHandle() { Close(); }
    TempFileHandle(const TempFileHandle&) = delete;
    TempFileHandle& operator=(const TempFileHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle)
    {
        Close();
        handle_ = handle;
    }
    void Close()
    {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class PageStore : public PipelineStage {
public:
    // Spooled page files are named after this prefix in the temporary folder.
    static constexpr char kPrefix[] = "DTS";

    // `source` is the stage before this one, read while spooling.
    PageStore(PipelineStage& source, ScanPipeline& pipeline);

    uint32_t PixelsPerRow() const override { return source_.PixelsPerRow(); }
    uint32_t Rows() override;
    uint32_t BytesPerRow() const override { return source_.BytesPerRow(); }
    uint32_t BitsPerPixel() const override { return source_.BitsPerPixel(); }
    int32_t Resolution() const override { return source_.Resolution(); }

    int Build(const ScanSettings& settings, bool indicators, HWND owner) override;
    void End() override;
    int Read(uint8_t* buffer, uint32_t rows, uint32_t* rowsRead) override;
    void StartPage(int side) override;
    void FinishPage() override {}

private:
    // Reads every side into its file; 0 or the pipeline's error.
    int Spool();
    int SpoolSide(int side, uint8_t* chunk, uint32_t chunkRows);
    int Fail(int code);

    PipelineStage& source_;
    ScanPipeline& pipeline_;
    // The files are deleted on close: nothing is left behind, whatever ends
    // the acquisition (the process included).
    std::array<TempFileHandle, 2> files_;
    int sides_ = 1;
    bool spooled_ = false;
    uint32_t length_ = 0;   // the stored page length, 0 until known
    int side_ = 0;          // the side being read back
    uint32_t rowsRead_ = 0; // rows of that side read back
};
