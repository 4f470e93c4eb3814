#include "BandReader.h"

#include <cstring>

namespace {

constexpr LONG kLargestBand = 65536;
// Empty reads: a short pause between them, and a bound on the wait for
// the next line.
constexpr DWORD kEmptyReadPauseMs = 5;
constexpr DWORD kEmptyReadLimitMs = 30000;

}  // namespace

BandReader::~BandReader() { Finish(); }

LONG BandReader::BandSize(LONG aligned, LONG itemSize) {
    if (aligned <= 0) return 0;
    LONG band = itemSize / 10;
    if (band > kLargestBand) band = kLargestBand;
    if (band < aligned) band = aligned;
    return band / aligned * aligned;
}

void BandReader::Widen(BYTE* buffer, LONG lines, LONG packed, LONG aligned) {
    if (packed == aligned) return;
    for (LONG line = lines - 1; line > 0; --line) {
        std::memmove(buffer + static_cast<size_t>(line) * aligned, buffer + static_cast<size_t>(line) * packed,
                     static_cast<size_t>(packed));
    }
}

LONG BandReader::LinesRead() const {
    return item_.packedLineBytes > 0 ? item_.bytesTransferred / item_.packedLineBytes : 0;
}

bool BandReader::AbortRequested() { return WaitForSingleObject(abort_, 0) == WAIT_OBJECT_0; }

BandReader::Outcome BandReader::Read(BYTE* buffer, LONG bufferBytes, LONG bandBytes, uint32_t side, LONG* bytes) {
    *bytes = 0;
    const LONG aligned = item_.alignedLineBytes;
    const LONG packed = item_.packedLineBytes;
    if (aligned <= 0 || packed <= 0 || packed > aligned) return Outcome::Failed;
    const LONG room = bandBytes < bufferBytes ? bandBytes : bufferBytes;
    const LONG lines = room / aligned;
    // A band smaller than one line would never read anything.
    if (lines < 1) return Outcome::Failed;
    if (!started_) {
        item_.bytesTransferred = 0;
        ResetEvent(abort_);
        if (library_.With([](ScannerLibrary& l) { return l.StartScan(); }) != SI_OK) return Outcome::Failed;
        started_ = true;
    }
    if (item_.bytesTransferred >= item_.imageBytes) return Outcome::PageEnd;
    const LONG left = (item_.imageBytes - item_.bytesTransferred + packed - 1) / packed;
    const LONG ask = lines < left ? lines : left;
    int read = 0;
    SIResult result = SI_OK;
    const DWORD began = GetTickCount();
    for (;;) {
        result = library_.With([&](ScannerLibrary& l) {
            return l.ReadImageData(buffer, static_cast<uint32_t>(ask), side, &read);
        });
        if (result != SI_OK || read != 0) break;
        if (AbortRequested()) {
            SetEvent(abort_);
            return Outcome::Aborted;
        }
        if (GetTickCount() - began > kEmptyReadLimitMs) return Outcome::Failed;
        Sleep(kEmptyReadPauseMs);
    }
    if (result == SI_END_OF_PAGE) return Outcome::PageEnd;
    if (result != SI_OK || read < 0 || read > ask) return Outcome::Failed;
    item_.bytesTransferred += read * packed;
    Widen(buffer, read, packed, aligned);
    *bytes = read * aligned;
    return Outcome::Band;
}

void BandReader::Finish() {
    if (!started_ || finished_) return;
    finished_ = true;
    library_.With([](ScannerLibrary& l) {
        l.EndScan();
        return l.FeedPaperOut();
    });
}
