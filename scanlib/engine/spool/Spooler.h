// The first stage above the scanner model. While spooling is on, a worker
// thread drains each page from the scanner into a spool (one memory buffer or
// a temporary file) as fast as the device delivers, and the caller's reads
// are served from the spool at the caller's own pace.
#pragma once

#include "engine/chain/ImageProcessor.h"
#include "engine/properties/Property.h"
#include "engine/spool/PageSpool.h"
#include "engine/spool/SpoolerEnableProperty.h"
#include "os/OSCriticalSection.h"
#include "os/OSEvent.h"
#include "os/OSThread.h"
#include "os/ThreadCallback.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

class Spooler : public ThreadCallback, public ImageProcessor {
public:
    static constexpr uint32_t kTransferBytes = 0x20000;

    Spooler();
    ~Spooler() override;

    // Registers 240 and 22, allocates the transfer buffer, creates the events
    // and the lock and starts the worker; false when already running or when
    // anything cannot be made (what was made is released).
    bool Init() override;
    bool IsActive() override;
    bool Start() override;
    // Serves lines of the single spooled stream; the side is not used.
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;
    // Waits until the worker has finished the page, frees the spool, ends the source.
    void End() override;
    void SetReadLine(int line) override;
    void Shutdown() override;

    // Ends the worker thread and frees everything Init made.
    void Stop();
    bool IsRunning() const { return running_; }

    // The worker thread.
    int Run(int arg) override;

private:
    struct Progress {
        uint64_t linesSpooled = 0;
        bool finished = false;
        bool failed = false;
        // Why the page failed: the device exception, else the source's result.
        std::exception_ptr exception;
        SIResult result = SI_OK;
    };

    void SpoolPage();
    void Publish(Progress progress);
    Progress Snapshot();
    void ReleaseResources();

    SpoolerEnableProperty enable_;
    ListInt toMemory_;

    OSThread thread_;
    OSEvent startEvent_;
    OSEvent abortEvent_;
    OSEvent doneEvent_;
    // Set by the worker whenever lines arrive or the page ends, so a reader
    // waiting on an empty spool wakes.
    OSEvent progressEvent_;
    OSCriticalSection progressLock_;
    bool running_ = false;
    std::atomic<bool> stop_{false};
    std::vector<uint8_t> transfer_;

    // The page, set up at Start while the worker is idle and read by the
    // worker until it sets the done event.
    uint32_t pageLines_ = 0;
    uint32_t bytesPerLine_ = 0;
    uint32_t chunkLines_ = 0;
    ImageSource* source_ = nullptr;
    std::unique_ptr<PageSpool> spool_;
    bool pageActive_ = false;

    // Guarded by progressLock_.
    Progress progress_;

    // Caller's thread only.
    uint64_t readLine_ = 0;
};
