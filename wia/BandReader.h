// Reading one band of a page from the scanner library, shared by the three
// transfers: the scan starts at the first band, empty reads wait briefly
// (watching the abort event, for a bounded time), and packed lines are
// widened in place to the aligned stride.
#pragma once

#include "LibraryAccess.h"
#include "WiaItemContext.h"

#include <windows.h>

class BandReader {
public:
    BandReader(LibraryAccess& library, HANDLE abortEvent, WiaItemContext& item)
        : library_(library), abort_(abortEvent), item_(item) {}
    ~BandReader();
    BandReader(const BandReader&) = delete;
    BandReader& operator=(const BandReader&) = delete;

    enum class Outcome { Band, PageEnd, Aborted, Failed };

    // Reads up to `bandBytes` (whole aligned lines) of `side` into `buffer`
    // of `bufferBytes`; `bytes` receives the aligned bytes read.
    Outcome Read(BYTE* buffer, LONG bufferBytes, LONG bandBytes, uint32_t side, LONG* bytes);
    // A new page: nothing of it transferred yet.
    void StartPage() { item_.bytesTransferred = 0; }
    // The lines of the current page read so far.
    LONG LinesRead() const;
    bool Started() const { return started_; }
    // Ends the scan (SI_EndScan, SI_FeedPaperOut) when one was started.
    void Finish();
    // Whether the abort event was seen set by the last probe (0 ms).
    bool AbortRequested();

    // Band size for an item: max(one line, min(item / 10, 65536)) cut to
    // whole lines; 0 when a line has no bytes.
    static LONG BandSize(LONG alignedLineBytes, LONG itemSize);
    // Widens `lines` packed lines at the start of `buffer` to `aligned`
    // bytes each, from the last line backwards.
    static void Widen(BYTE* buffer, LONG lines, LONG packed, LONG aligned);

private:
    LibraryAccess& library_;
    HANDLE abort_;
    WiaItemContext& item_;
    bool started_ = false;
    bool finished_ = false;
};
