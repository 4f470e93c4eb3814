#include "PageStore.h"

#include "ScannerLibraryBinding.h"
#include "WorkFiles.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

constexpr uint32_t kChunkBytes = 131072;

bool SeekTo(HANDLE file, uint64_t offset)
{
    LONG high = static_cast<LONG>(offset >> 32);
    const DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

}  // namespace

PageStore::PageStore(PipelineStage& source, ScanPipeline& pipeline) : source_(source), pipeline_(pipeline)
{
}

int PageStore::Build(const ScanSettings& settings, bool, HWND)
{
    sides_ = settings.duplex != 0 ? 2 : 1;
    return 0;
}

void PageStore::End()
{
    for (TempFileHandle& file : files_) {
        file.Close();
    }
    spooled_ = false;
    length_ = 0;
}

void PageStore::StartPage(int side)
{
    side_ = std::clamp(side, 0, 1);
    rowsRead_ = 0;
}

uint32_t PageStore::Rows()
{
    if (!spooled_ && pipeline_.Error() == 0) {
        Spool();
    }
    // Until the page is known (or when it could not be read) the frame's length.
    return spooled_ ? length_ : source_.Rows();
}

int PageStore::Fail(int code)
{
    for (TempFileHandle& file : files_) {
        file.Close();
    }
    pipeline_.SetError(code);
    return code;
}

int PageStore::Spool()
{
    const uint32_t rowSize = std::max<uint32_t>(source_.BytesPerRow(), 1);
    length_ = source_.Rows();
    const uint32_t chunkRows = std::max<uint32_t>(1, std::min(kChunkBytes / rowSize, length_ / 2));
    std::vector<uint8_t> chunk;
    try {
        chunk.resize(size_t(chunkRows) * rowSize);
    } catch (const std::bad_alloc&) {
        return Fail(kScanErrorMemory);
    }
    for (int side = 0; side < sides_; ++side) {
        if (const int error = SpoolSide(side, chunk.data(), chunkRows); error != 0) {
            return error;
        }
    }
    spooled_ = true;
    return 0;
}

int PageStore::SpoolSide(int side, uint8_t* chunk, uint32_t chunkRows)
{
    const std::string name = MakePageTempFileName(kPrefix);
    if (name.empty()) {
        return Fail(kScanErrorFile);
    }
    // The file's name goes as it opens; only this handle reaches it.
    files_[side].Reset(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!files_[side].IsOpen()) {
        DeleteFileA(name.c_str());
        return Fail(kScanErrorFile);
    }
    const uint32_t rowSize = source_.BytesPerRow();
    source_.StartPage(side);
    uint32_t stored = 0;
    // The back is no longer than what the front left.
    while (stored < length_) {
        uint32_t got = 0;
        const int error = source_.Read(chunk, std::min(chunkRows, length_ - stored), &got);
        bool paperEnded = false;
        if (error == kPipelineShortPage || (error == 0 && pipeline_.Error() == kPipelineShortPage)) {
            pipeline_.SetError(0);
            paperEnded = true;
        } else if (error != 0) {
            return Fail(error);
        } else if (got == 0) {
            return Fail(kScanErrorDevice);
        }
        DWORD written = 0;
        const DWORD bytes = got * rowSize;
        if (bytes > 0 && (!WriteFile(files_[side].Get(), chunk, bytes, &written, nullptr) || written != bytes)) {
            return Fail(kScanErrorFile);
        }
        stored += got;
        if (paperEnded) {
            length_ = stored;
        }
    }
    source_.FinishPage();
    return 0;
}

int PageStore::Read(uint8_t* buffer, uint32_t rows, uint32_t* rowsRead)
{
    *rowsRead = 0;
    if (!spooled_) {
        if (pipeline_.Error() != 0) {
            return pipeline_.Error();
        }
        if (const int error = Spool(); error != 0) {
            return error;
        }
    }
    if (side_ >= sides_ || !files_[side_].IsOpen()) {
        return Fail(kScanErrorFile);
    }
    rows = std::min(rows, length_ - std::min(rowsRead_, length_));
    const uint64_t rowSize = source_.BytesPerRow();
    const DWORD bytes = static_cast<DWORD>(rows * rowSize);
    DWORD done = 0;
    if (bytes > 0 && (!SeekTo(files_[side_].Get(), rowsRead_ * rowSize) ||
                      !ReadFile(files_[side_].Get(), buffer, bytes, &done, nullptr) || done != bytes)) {
        return Fail(kScanErrorFile);
    }
    rowsRead_ += rows;
    *rowsRead = rows;
    return 0;
}
