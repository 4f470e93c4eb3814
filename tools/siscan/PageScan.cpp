#include "PageScan.h"

#include "PnmWriter.h"

#include <SIPropertyIds.h>
#include <SIRecord.h>

#include <array>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

// Lines asked for per read.
constexpr uint32_t kLinesPerRead = 64;
// A scan that delivers nothing for this long is given up.
constexpr DWORD kStallLimitMs = 120000;
constexpr DWORD kIdleWaitMs = 2;

constexpr std::array<const char*, 2> kSideNames{"front", "back"};

struct Failure {
    std::string step;
    SIResult code;
};

class Session {
public:
    Session(ScannerLibrary& library, std::ostream& messages) : library_(library), messages_(messages) {}
    ~Session()
    {
        if (scanning_) {
            library_.EndScan();
        }
        if (open_) {
            library_.CloseInterface();
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Reports a failed call with the library's text for it (before any later
    // call replaces the last result).
    bool Check(const std::string& step, SIResult code)
    {
        if (code == SI_OK) {
            return true;
        }
        messages_ << "siscan: " << step << " failed: " << library_.Describe(code) << '\n';
        return false;
    }

    void Report(const std::string& text) { messages_ << "siscan: " << text << '\n'; }

    bool Open(const std::string& model)
    {
        open_ = Check("SI_OpenInterface(\"" + model + "\")", library_.OpenInterface(model.c_str()));
        return open_;
    }

    std::optional<SIProperty> Get(uint16_t id)
    {
        SIProperty property{};
        property.id = id;
        if (!Check("SI_GetProperty(" + std::to_string(id) + ")", library_.GetProperty(&property))) {
            return std::nullopt;
        }
        return property;
    }

    // A single value of the given item type; ranges and lists take it as well.
    bool Set(uint16_t id, uint16_t itemType, int32_t value)
    {
        SIProperty property{};
        property.id = id;
        property.container = SI_CONTAINER_SINGLE;
        property.itemType = itemType;
        property.access = SI_ACCESS_READ_WRITE;
        property.value[0] = SlotFromInt(value);
        return Check("SI_SetProperty(" + std::to_string(id) + ", " + std::to_string(value) + ")",
                     library_.SetProperty(&property));
    }

    std::optional<int32_t> GetInt(uint16_t id)
    {
        const std::optional<SIProperty> property = Get(id);
        if (!property) {
            return std::nullopt;
        }
        return si_record::CurrentInt(*property);
    }

    bool Start()
    {
        scanning_ = Check("SI_StartScan", library_.StartScan());
        return scanning_;
    }

    bool End()
    {
        scanning_ = false;
        return Check("SI_EndScan", library_.EndScan());
    }

    // The paper sensor: true when a sheet is at it.
    std::optional<bool> Paper()
    {
        int present = 0;
        if (!Check("SI_GetPaperStatus", library_.GetPaperStatus(&present))) {
            return std::nullopt;
        }
        return present == SI_PAPER_PRESENT;
    }

    bool Close()
    {
        open_ = false;
        return Check("SI_CloseInterface", library_.CloseInterface());
    }

private:
    ScannerLibrary& library_;
    std::ostream& messages_;
    bool open_ = false;
    bool scanning_ = false;
};

struct Side {
    std::vector<uint8_t> data;
    uint32_t lines = 0;
    bool ended = false;
};

int ReportProgress(int percent)
{
    std::cerr << "siscan: calibrating " << percent << "%\n";
    return 1;
}

// The front ends' check before a scan: a sheet at the paper sensor.
bool PaperReady(Session& session, const char* purpose)
{
    const std::optional<bool> present = session.Paper();
    if (!present) {
        return false;
    }
    if (!*present) {
        session.Report(std::string("no paper: put a sheet in the feeder ") + purpose);
        return false;
    }
    return true;
}

PnmFormat FormatOf(ScanMode mode)
{
    switch (mode) {
    case ScanMode::LineArt:
        return PnmFormat::Bitmap;
    case ScanMode::Gray:
        return PnmFormat::Graymap;
    case ScanMode::Color:
        return PnmFormat::Pixmap;
    }
    return PnmFormat::Pixmap;
}

// Scan width at its maximum from offset 0 and the scan length at its default
// (a letter page at this resolution), or at its maximum when the paper's end
// ends the page: the library keeps the earlier values when only the
// resolution changes.
bool SetWholePage(Session& session, bool toPaperEnd)
{
    if (!session.Set(SI_PROP_X_OFFSET, SI_TYPE_INT32, 0) || !session.Set(SI_PROP_Y_OFFSET, SI_TYPE_INT32, 0)) {
        return false;
    }
    const std::optional<SIProperty> width = session.Get(SI_PROP_SCAN_WIDTH);
    if (!width || !session.Set(SI_PROP_SCAN_WIDTH, SI_TYPE_INT32, IntFromSlot(width->value[si_record::kRangeMaximum]))) {
        return false;
    }
    const std::optional<SIProperty> length = session.Get(SI_PROP_SCAN_LENGTH);
    return length && session.Set(SI_PROP_SCAN_LENGTH, SI_TYPE_INT32,
                                 IntFromSlot(length->value[toPaperEnd ? si_record::kRangeMaximum
                                                                      : si_record::kRangeDefault]));
}

}  // namespace

int ScanPage(ScannerLibrary& library, const SiscanOptions& options, std::ostream& messages)
{
    Session session(library, messages);
    if (!session.Open(options.model)) {
        return 1;
    }
    if (!session.Set(SI_PROP_COLOR_MODE, SI_TYPE_INT32, static_cast<int32_t>(options.mode))) {
        return 1;
    }
    if (options.resolution && !session.Set(SI_PROP_X_RESOLUTION, SI_TYPE_INT32, *options.resolution)) {
        return 1;
    }
    if (options.duplex && !session.Set(SI_PROP_DUPLEX, SI_TYPE_BOOL, 1)) {
        return 1;
    }
    if (!SetWholePage(session, !options.fixedLength)) {
        return 1;
    }
    if (!session.Set(SI_PROP_EOP_DETECT, SI_TYPE_BOOL, options.fixedLength ? 0 : 1)) {
        return 1;
    }
    if (options.calibrate) {
        if (!PaperReady(session, "to calibrate with")) {
            return 1;
        }
        const SIResult result = library.Calibrate(0, ReportProgress);
        if (result == SI_CALIBRATED_WHITE_ONLY) {
            // Without the dark strip the calibration has taken the sheet as
            // a plain white target and ejected it already.
            messages << "siscan: the calibration found no dark strip: it calibrated white-only on the sheet in "
                        "the feeder (a page, not the calibration sheet?) and ejected it\n";
        } else if (!session.Check("SI_Calibrate", result)) {
            return 1;
        } else if (!session.Check("SI_FeedPaperOut", library.FeedPaperOut())) {
            // The calibration sheet stops in the path; the page comes after it.
            return 1;
        }
    }
    if (!PaperReady(session, "to scan")) {
        return 1;
    }

    const std::optional<int32_t> width = session.GetInt(SI_PROP_SCAN_WIDTH);
    const std::optional<int32_t> widthInBytes = session.GetInt(SI_PROP_WIDTH_IN_BYTES);
    const std::optional<int32_t> length = session.GetInt(SI_PROP_SCAN_LENGTH);
    if (!width || !widthInBytes || !length) {
        return 1;
    }
    const PnmFormat format = FormatOf(options.mode);
    const auto lineBytes = static_cast<uint32_t>(*widthInBytes);
    if (*width <= 0 || lineBytes != PnmLineBytes(format, static_cast<uint32_t>(*width))) {
        messages << "siscan: the library announces lines of " << *widthInBytes << " bytes for " << *width
                 << " pixels in this mode\n";
        return 1;
    }

    const uint32_t sides = options.duplex ? 2 : 1;
    std::array<Side, 2> images;
    for (uint32_t s = 0; s < sides; ++s) {
        images[s].data.reserve(static_cast<size_t>(lineBytes) * static_cast<uint32_t>(*length));
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(lineBytes) * kLinesPerRead);

    if (!session.Start()) {
        return 1;
    }
    DWORD lastData = GetTickCount();
    while (!images[0].ended || (sides == 2 && !images[1].ended)) {
        bool progress = false;
        for (uint32_t s = 0; s < sides; ++s) {
            Side& side = images[s];
            if (side.ended) {
                continue;
            }
            int linesRead = 0;
            const SIResult result = library.ReadImageData(buffer.data(), kLinesPerRead, s, &linesRead);
            if (result != SI_OK && result != SI_END_OF_PAGE) {
                session.Check(std::string("SI_ReadImageData (") + kSideNames[s] + ")", result);
                return 1;
            }
            if (linesRead < 0 || static_cast<uint32_t>(linesRead) > kLinesPerRead) {
                messages << "siscan: SI_ReadImageData reported " << linesRead << " lines\n";
                return 1;
            }
            const size_t bytes = static_cast<size_t>(linesRead) * lineBytes;
            side.data.insert(side.data.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(bytes));
            side.lines += static_cast<uint32_t>(linesRead);
            side.ended = result == SI_END_OF_PAGE;
            progress = progress || linesRead > 0 || side.ended;
        }
        if (progress) {
            lastData = GetTickCount();
        } else if (GetTickCount() - lastData > kStallLimitMs) {
            messages << "siscan: no image data for " << kStallLimitMs / 1000 << " s\n";
            return 1;
        } else {
            Sleep(kIdleWaitMs);
        }
    }
    if (!session.End()) {
        return 1;
    }
    // A sheet still at the sensor after its page was read has not moved
    // (with paper-end detection a moving sheet ends the page as it leaves).
    const std::optional<bool> stillThere = session.Paper();
    if (!stillThere || !session.Check("SI_FeedPaperOut", library.FeedPaperOut())) {
        return 1;
    }
    if (*stillThere) {
        const std::optional<bool> afterFeed = session.Paper();
        if (!afterFeed) {
            return 1;
        }
        if (*afterFeed) {
            messages << "siscan: paper jam: the sheet is still at the paper sensor after feeding it out\n";
            return 1;
        }
    }
    if (!session.Close()) {
        return 1;
    }

    for (uint32_t s = 0; s < sides; ++s) {
        const std::string path = options.outPrefix + "-" + kSideNames[s] + ".pnm";
        if (images[s].lines == 0) {
            messages << "siscan: the " << kSideNames[s] << " side has no lines\n";
            return 1;
        }
        if (!WritePnm(path, format, static_cast<uint32_t>(*width), images[s].lines, images[s].data)) {
            messages << "siscan: cannot write " << path << '\n';
            return 1;
        }
        std::cout << path << ": " << *width << " x " << images[s].lines << '\n';
    }
    return 0;
}
