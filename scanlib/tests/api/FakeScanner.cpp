#include "FakeScanner.h"

#include "device/DeviceIOException.h"
#include "engine/model/ScannerFactory.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::array<int32_t, 4> kYResolutions{150, 200, 300, 600};

FeedRecord lastFeed{};

void ThrowIfScripted(int code) {
    if (code > 0) throw DeviceIOException(code);
    if (code < 0) throw std::runtime_error("scripted failure");
}

class FakeFactory : public ScannerFactory {
public:
    std::unique_ptr<Scanner> Create(const std::string& modelName) override {
        if (modelName != "FAKE") return nullptr;
        return std::make_unique<FakeScanner>();
    }
};

FakeFactory factory;

}  // namespace

FeedRecord LastFeed() { return lastFeed; }

FakeScanner::FakeScanner() : yResolution(5, SI_ACCESS_READ_WRITE, kYResolutions, 200) {
    for (Property* p : std::initializer_list<Property*>{&opticalResolution, &yResolution, &yOffset, &feedRate,
                                                         &reverseFeed, &chunky, &prefeedDelay}) {
        AddProperty(p);
    }
}

FakeScanner::~FakeScanner() { ReleaseProperties(); }

bool FakeScanner::Open(DevicePort*& port) {
    ++calls.opens;
    ThrowIfScripted(script.openThrows);
    if (!script.openResult) return false;
    port_.reset(port);
    port = nullptr;
    calls.portTaken = true;
    return true;
}

bool FakeScanner::Start() {
    ++calls.starts;
    return script.startResult;
}

SIResult FakeScanner::Read(uint8_t* buffer, uint32_t lines, uint32_t, int* linesRead) {
    ++calls.reads;
    if (script.onRead) script.onRead();
    if (script.stalled) {
        *linesRead = 0;
        return SI_OK;
    }
    ThrowIfScripted(script.readThrows);
    const int n = std::min(static_cast<int>(lines), script.linesLeft);
    if (n == 0) {
        *linesRead = 0;
        return SI_END_OF_PAGE;
    }
    std::memset(buffer, 0xAB, static_cast<size_t>(n));
    script.linesLeft -= n;
    *linesRead = n;
    return SI_OK;
}

void FakeScanner::End() { ++calls.ends; }

void FakeScanner::Feed() {
    ++calls.feeds;
    ThrowIfScripted(script.feedThrows);
    lastFeed = {yResolution.GetInt(), yOffset.GetInt(), reverseFeed.GetInt(), feedRate.GetFloat()};
}

bool FakeScanner::ResetPipes() {
    ++calls.resets;
    return true;
}

int FakeScanner::Diagnostic(int, uint32_t* data) {
    data[0] = 1;
    return SI_OK;
}

int FakeScanner::GetPaperStatus(int* present) {
    ThrowIfScripted(script.paperThrows);
    *present = SI_PAPER_PRESENT;
    return SI_OK;
}

void FakeScanner::FeedPaperOut() { ++calls.ejects; }

bool FakeScanner::DebounceEvent(SIEvent* event) {
    if (event->count != 1) return false;
    event->events = SI_EVENT_SCAN_BUTTON;
    return true;
}

int FakeCalibrator::Calibrate(SIProgressCallback progress) {
    model_.reverseFeed.SetInt(0);
    if (progress && progress(50) == 0) return SI_ERR_CANCELLED;
    return FakeScanner::script.calibrateResult;
}
