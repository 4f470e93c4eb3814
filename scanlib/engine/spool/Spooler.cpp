#include "engine/spool/Spooler.h"

#include "device/DeviceIOException.h"
#include "os/OSWait.h"

#include <SIPropertyIds.h>

#include <algorithm>
#include <new>

namespace {

constexpr int32_t kSpoolModes[] = {0, 1};  // 0 temporary file, 1 memory
constexpr int kWorkerPriority = 2;
// How long a reader waits on an empty spool before it reports "nothing yet".
constexpr int kReaderWaitMs = 1000;

class ProgressLock {
public:
    explicit ProgressLock(OSCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~ProgressLock() { cs_.Leave(); }
    ProgressLock(const ProgressLock&) = delete;
    ProgressLock& operator=(const ProgressLock&) = delete;

private:
    OSCriticalSection& cs_;
};

}  // namespace

Spooler::Spooler() : toMemory_(SI_PROP_SPOOL_TO_MEMORY, SI_ACCESS_READ_WRITE, kSpoolModes, 0) {}

Spooler::~Spooler() { Stop(); }

bool Spooler::Init() {
    if (running_) return false;
    AddProperty(&toMemory_);
    AddProperty(&enable_);
    RegisterAllDependencies();
    try {
        transfer_.assign(kTransferBytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!startEvent_.Create(nullptr, false) || !abortEvent_.Create(nullptr, false) ||
        !doneEvent_.Create(nullptr, true) || !progressEvent_.Create(nullptr, false) || !progressLock_.Init()) {
        ReleaseResources();
        return false;
    }
    abortEvent_.Reset();
    doneEvent_.Set();
    stop_ = false;
    if (!thread_.Start(this, 0)) {
        ReleaseResources();
        return false;
    }
    thread_.SetPriority(kWorkerPriority);
    running_ = true;
    return true;
}

bool Spooler::IsActive() { return enable_.GetInt() == 1; }

bool Spooler::Start() {
    if (!running_ || pageActive_) return false;
    ImageSource* source = ReadSource();
    Property* lines = FindUpstreamProperty(SI_PROP_SCAN_LENGTH);
    Property* width = FindUpstreamProperty(SI_PROP_WIDTH_IN_BYTES);
    if (!source || !lines || !width) return false;
    const int32_t pageLines = lines->GetInt();
    const int32_t bytesPerLine = width->GetInt();
    if (pageLines < 0 || bytesPerLine <= 0) return false;

    // The worker is idle (its done event is set): the page can be set up.
    if (!doneEvent_.Reset() || !abortEvent_.Reset()) return false;
    const uint64_t pageBytes = static_cast<uint64_t>(pageLines) * static_cast<uint64_t>(bytesPerLine);
    spool_ = toMemory_.GetInt() == 1 ? CreateMemorySpool(pageBytes) : CreateFileSpool();
    if (!spool_) {
        doneEvent_.Set();
        return false;
    }
    const size_t chunkBytes = std::max<size_t>(kTransferBytes, static_cast<size_t>(bytesPerLine));
    try {
        if (transfer_.size() < chunkBytes) transfer_.resize(chunkBytes);
    } catch (const std::bad_alloc&) {
        spool_.reset();
        doneEvent_.Set();
        return false;
    }
    pageLines_ = static_cast<uint32_t>(pageLines);
    bytesPerLine_ = static_cast<uint32_t>(bytesPerLine);
    chunkLines_ = static_cast<uint32_t>(std::max<size_t>(1, kTransferBytes / bytesPerLine_));
    source_ = source;
    {
        ProgressLock lock(progressLock_);
        progress_ = Progress{};
    }
    readLine_ = 0;

    bool started = false;
    try {
        started = source->Start();
    } catch (...) {
        spool_.reset();
        doneEvent_.Set();
        throw;
    }
    if (!started) {
        spool_.reset();
        doneEvent_.Set();
        return false;
    }
    pageActive_ = true;
    startEvent_.Set();
    return true;
}

int Spooler::Run(int) {
    for (;;) {
        if (startEvent_.WaitInfinite() != kWaitAcquired || stop_.load()) break;
        SpoolPage();
        doneEvent_.Set();
    }
    doneEvent_.Set();
    return 0;
}

void Spooler::SpoolPage() {
    Progress progress;
    uint64_t remaining = pageLines_;
    while (remaining > 0) {
        if (stop_.load() || abortEvent_.Wait(0) == kWaitAcquired) break;
        const uint32_t ask = static_cast<uint32_t>(std::min<uint64_t>(remaining, chunkLines_));
        int got = 0;
        SIResult result = SI_OK;
        try {
            result = source_->Read(transfer_.data(), ask, 0, &got);
        } catch (...) {
            progress.failed = true;
            progress.exception = std::current_exception();
            break;
        }
        if (result != SI_OK && result != SI_END_OF_PAGE) {
            progress.failed = true;
            progress.result = result;
            break;
        }
        if (got < 0 || static_cast<uint32_t>(got) > ask) {
            progress.failed = true;
            progress.result = SI_ERR_UNKNOWN;
            break;
        }
        if (got > 0) {
            const size_t bytes = static_cast<size_t>(got) * bytesPerLine_;
            if (!spool_->Append(std::span<const uint8_t>(transfer_.data(), bytes))) {
                progress.failed = true;
                progress.result = SI_ERR_UNKNOWN;
                break;
            }
            remaining -= static_cast<uint32_t>(got);
            progress.linesSpooled += static_cast<uint32_t>(got);
        }
        if (result == SI_END_OF_PAGE) break;
        // Only new lines wake the reader: a source that keeps answering with
        // none must not keep it waiting past its time-out.
        if (got > 0 && remaining > 0) Publish(progress);
    }
    progress.finished = true;
    Publish(std::move(progress));
}

void Spooler::Publish(Progress progress) {
    {
        ProgressLock lock(progressLock_);
        progress_ = std::move(progress);
    }
    progressEvent_.Set();
}

Spooler::Progress Spooler::Snapshot() {
    ProgressLock lock(progressLock_);
    return progress_;
}

SIResult Spooler::Read(uint8_t* buffer, uint32_t lines, uint32_t, int* linesRead) {
    if (!linesRead) return SI_ERR_INVALID_PARAMETER;
    *linesRead = 0;
    if (!pageActive_) return SI_ERR_NOT_SCANNING;
    if (lines == 0) return SI_OK;
    if (!buffer) return SI_ERR_INVALID_PARAMETER;

    Progress progress = Snapshot();
    while (progress.linesSpooled <= readLine_ && !progress.finished) {
        // Nothing to hand out yet: sleep until the worker reports progress.
        if (progressEvent_.Wait(kReaderWaitMs) != kWaitAcquired) {
            progress = Snapshot();
            if (progress.linesSpooled <= readLine_ && !progress.finished) return SI_OK;
            break;
        }
        progress = Snapshot();
    }

    const uint64_t available = progress.linesSpooled > readLine_ ? progress.linesSpooled - readLine_ : 0;
    const uint64_t n = std::min<uint64_t>(lines, available);
    if (n == 0) {
        if (!progress.failed) return SI_END_OF_PAGE;
        if (progress.exception) std::rethrow_exception(progress.exception);
        return progress.result;
    }
    const uint64_t offset = readLine_ * bytesPerLine_;
    if (!spool_->ReadAt(offset, std::span<uint8_t>(buffer, static_cast<size_t>(n * bytesPerLine_)))) {
        return SI_ERR_UNKNOWN;
    }
    readLine_ += n;
    *linesRead = static_cast<int>(n);
    return SI_OK;
}

void Spooler::SetReadLine(int line) { readLine_ = line > 0 ? static_cast<uint64_t>(line) : 0; }

void Spooler::End() {
    if (!pageActive_) return;
    // Ask the worker to leave the page and wait until it really has: it may
    // still be writing to the spool.
    if (doneEvent_.Wait(0) != kWaitAcquired) {
        abortEvent_.Set();
        doneEvent_.WaitInfinite();
    }
    abortEvent_.Reset();
    spool_.reset();
    pageActive_ = false;
    ImageSource* source = source_;
    source_ = nullptr;
    if (source) source->End();
}

void Spooler::Shutdown() {
    Stop();
    ImageProcessor::Shutdown();
}

void Spooler::Stop() {
    if (!running_) return;
    stop_ = true;
    abortEvent_.Set();
    startEvent_.Set();
    thread_.Wait(-1);
    running_ = false;
    ReleaseResources();
}

void Spooler::ReleaseResources() {
    thread_.Close();
    startEvent_.Close();
    abortEvent_.Close();
    doneEvent_.Close();
    progressEvent_.Close();
    progressLock_.Delete();
    spool_.reset();
    pageActive_ = false;
    source_ = nullptr;
    transfer_.clear();
    transfer_.shrink_to_fit();
}
