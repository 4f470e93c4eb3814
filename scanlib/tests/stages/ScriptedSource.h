// A stand-in for the scanner model (and the spooler above it) in stage tests:
// it owns the properties the stages read, delivers a scripted stream of lines
// and, like the spooler, serves any line of the stream on request.
#pragma once

#include "engine/chain/ImageSource.h"
#include "engine/properties/Property.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class ScriptedSource : public ImageSource {
public:
    // Byte `index` of line `line` of the stream.
    using Pattern = std::function<uint8_t(uint32_t line, uint32_t index)>;

    // A sensor of 600 dpi (resolutions up to 600) or of 300 dpi (up to 300).
    explicit ScriptedSource(int32_t opticalDpi = 600);

    // Sets an own property's value (without range checks).
    void Set(uint16_t id, int32_t value);
    int32_t Get(uint16_t id);
    // Colour mode 0, 1 or 2 with the matching bits per pixel, `pixels` per
    // line and `lines` per page; bytes per line follow.
    void SetGeometry(int32_t mode, int32_t pixels, int32_t lines);

    // The stream holds `lines` lines (default: the page length at Start).
    void SetStreamLines(uint32_t lines) { streamLines_ = lines; }
    void SetPattern(Pattern pattern) { pattern_ = std::move(pattern); }
    // Every other Read delivers nothing yet, as a spooler that is behind.
    void SetStalling(bool stalling) { stalling_ = stalling; }
    void SetStartResult(bool result) { startResult_ = result; }
    // Each side reads its own stream (the back's lines are those from
    // kBackStream on), as a two-sided stage below would deliver.
    void SetSidedStreams(bool sided) { sided_ = sided; }
    // Sets the found page length to `length` once `afterLines` lines have
    // been served, from within that Read (the thread that reads), as the
    // model does when the sheet's trailing edge passes the paper sensor.
    void SetPaperEnd(uint32_t afterLines, int32_t length)
    {
        paperEndAfter_ = afterLines;
        paperEndLength_ = length;
    }
    std::thread::id paperEndThread;  // the thread that set the found length
    static constexpr uint32_t kBackStream = 1000;

    bool Start() override;
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;
    void End() override;
    void SetReadLine(int line) override { next_[0] = static_cast<uint32_t>(line); }

    // The stream line at `line` as bytes of the current width.
    std::vector<uint8_t> Line(uint32_t line);

    int starts = 0;
    int ends = 0;
    std::vector<uint32_t> linesServed;  // the stream line of every line read, in order

private:
    std::vector<std::unique_ptr<Property>> owned_;
    Pattern pattern_;
    uint32_t streamLines_ = 0;
    uint32_t pageLines_ = 0;
    std::array<uint32_t, 2> next_{};
    bool sided_ = false;
    bool stalling_ = false;
    bool stallNext_ = false;
    bool startResult_ = true;
    uint32_t paperEndAfter_ = 0;
    int32_t paperEndLength_ = 0;
};

// Sets the property as a front end does: its Set with a single-value record.
bool SetAsFrontEnd(Property* property, int32_t value);

// Reads a side until the source answers end of page, `perCall` lines at a
// time; gives up (and fails the test) after `limit` calls.
struct SideImage {
    std::vector<uint8_t> bytes;
    uint32_t lines = 0;
    SIResult last = SI_OK;
};
SideImage ReadSide(ImageSource& source, uint32_t side, uint32_t bytesPerLine, uint32_t perCall = 7,
                   int limit = 100000);
