// A scripted scanner stand-in for spooler tests: lines of a known pattern,
// an optional failure at a given line, and a gate that holds reads back.
#pragma once

#include "device/DeviceIOException.h"
#include "engine/chain/ImageSource.h"
#include "engine/properties/Property.h"

#include <SIInterface.h>
#include <SIPropertyIds.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class SpoolTestSource : public ImageSource {
public:
    enum class Failure { None, Throw, Return };

    SpoolTestSource(int32_t lines, int32_t bytesPerLine)
        : lines_(SI_PROP_SCAN_LENGTH, SI_ACCESS_READ_WRITE, lines),
          width_(SI_PROP_WIDTH_IN_BYTES, SI_ACCESS_READ_ONLY, bytesPerLine) {
        AddProperty(&lines_);
        AddProperty(&width_);
    }

    static uint8_t Byte(uint64_t line, uint64_t index) { return static_cast<uint8_t>(line * 7 + index * 3 + 1); }

    // The source has this many lines, then answers SI_END_OF_PAGE.
    void SetAvailable(uint32_t lines) { available_ = lines; }
    void FailAt(uint32_t line, Failure how, int code) {
        failAt_ = line;
        failure_ = how;
        failCode_ = code;
    }
    // While closed, every Read waits until Open().
    void CloseGate() {
        std::lock_guard lock(mutex_);
        gateOpen_ = false;
    }
    void OpenGate() {
        {
            std::lock_guard lock(mutex_);
            gateOpen_ = true;
        }
        cv_.notify_all();
    }
    // Waits until a Read is held at the closed gate.
    void WaitUntilHeld() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return held_ > 0; });
    }

    bool Start() override {
        ++starts;
        next_ = 0;
        return startResult;
    }
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override {
        {
            std::unique_lock lock(mutex_);
            if (ended_) readAfterEnd = true;
            asks.push_back(lines);
            sides.push_back(side);
            ++held_;
            cv_.notify_all();
            cv_.wait(lock, [this] { return gateOpen_; });
            --held_;
        }
        *linesRead = 0;
        const uint32_t width = static_cast<uint32_t>(width_.GetInt());
        uint32_t n = 0;
        while (n < lines && next_ < available_) {
            if (failure_ != Failure::None && next_ == failAt_) break;
            for (uint32_t j = 0; j < width; ++j) buffer[static_cast<size_t>(n) * width + j] = Byte(next_, j);
            ++n;
            ++next_;
        }
        *linesRead = static_cast<int>(n);
        if (n > 0) return SI_OK;
        if (failure_ == Failure::Throw && next_ == failAt_) throw DeviceIOException(failCode_);
        if (failure_ == Failure::Return && next_ == failAt_) return static_cast<SIResult>(failCode_);
        return SI_END_OF_PAGE;
    }
    void End() override {
        std::lock_guard lock(mutex_);
        ended_ = true;
        ++ends;
    }

    void SetLines(int32_t lines) { lines_.SetInt(lines); }

    bool startResult = true;
    std::atomic<int> starts{0};
    int ends = 0;
    std::vector<uint32_t> asks;
    std::vector<uint32_t> sides;
    bool readAfterEnd = false;

private:
    SingleInt lines_;
    SingleInt width_;
    uint32_t available_ = UINT32_MAX;
    uint32_t next_ = 0;
    uint32_t failAt_ = 0;
    Failure failure_ = Failure::None;
    int failCode_ = 0;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool gateOpen_ = true;
    int held_ = 0;
    bool ended_ = false;
};
