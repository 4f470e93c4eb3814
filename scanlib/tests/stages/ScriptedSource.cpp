#include "ScriptedSource.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace {

constexpr std::array<int32_t, 8> kResolutions{75, 100, 150, 200, 300, 400, 500, 600};
constexpr std::array<int32_t, 5> kResolutions300{75, 100, 150, 200, 300};
constexpr std::array<int32_t, 3> kModes{0, 1, 2};
constexpr std::array<int32_t, 2> kOrders{0, 1};

}  // namespace

ScriptedSource::ScriptedSource(int32_t opticalDpi)
    : pattern_([](uint32_t line, uint32_t index) { return static_cast<uint8_t>(line * 7 + index * 3 + 1); })
{
    auto add = [this](std::unique_ptr<Property> property) {
        AddProperty(property.get());
        owned_.push_back(std::move(property));
    };
    constexpr uint16_t ro = SI_ACCESS_READ_ONLY;
    constexpr uint16_t rw = SI_ACCESS_READ_WRITE;
    const std::span<const int32_t> resolutions = opticalDpi == 300 ? std::span<const int32_t>(kResolutions300)
                                                                   : std::span<const int32_t>(kResolutions);
    add(std::make_unique<SingleInt>(SI_PROP_OPTICAL_RESOLUTION, ro, opticalDpi));
    add(std::make_unique<SingleInt>(SI_PROP_OPTICAL_WIDTH, ro, opticalDpi == 300 ? 2592 : 5184));
    add(std::make_unique<ListInt>(SI_PROP_X_RESOLUTION, rw, resolutions, 100));
    add(std::make_unique<ListInt>(SI_PROP_Y_RESOLUTION, rw, resolutions, 100));
    add(std::make_unique<SingleInt>(SI_PROP_BITS_PER_PIXEL, ro, 24));
    add(std::make_unique<ListInt>(SI_PROP_COLOR_MODE, rw, kModes, 2));
    add(std::make_unique<RangeInt>(SI_PROP_Y_OFFSET, rw, 0, 1399, 1, 0, true));
    add(std::make_unique<RangeInt>(SI_PROP_X_OFFSET, rw, 0, 863, 1, 0, true));
    add(std::make_unique<RangeInt>(SI_PROP_SCAN_WIDTH, rw, 1, 864, 1, 864, true));
    add(std::make_unique<RangeInt>(SI_PROP_SCAN_LENGTH, rw, 1, 8400, 1, 6600, 1100, true));
    add(std::make_unique<SingleInt>(SI_PROP_CHUNKY, ro, 0));
    add(std::make_unique<ListInt>(SI_PROP_CHANNEL_ORDER, rw, kOrders, 0));
    add(std::make_unique<SingleInt>(SI_PROP_WIDTH_IN_BYTES, ro, 864 * 3));
    add(std::make_unique<SingleBool>(SI_PROP_DUPLEX, rw, 0));
    add(std::make_unique<SingleBool>(SI_PROP_SPOOL_ENABLE, rw, 1));
    add(std::make_unique<SingleInt>(SI_PROP_OPTICAL_LENGTH, ro, opticalDpi * 14));
    add(std::make_unique<SingleBool>(SI_PROP_EOP_DETECT, rw, 0));
    add(std::make_unique<SingleInt>(SI_PROP_1001, ro, 268));
    add(std::make_unique<SingleInt>(SI_PROP_CIS_VERTICAL_OFFSET, ro, 0));
    add(std::make_unique<SingleInt>(SI_PROP_1050, ro, 1));
    add(std::make_unique<SingleInt>(SI_PROP_EOP_LENGTH, rw, 1000000));
}

void ScriptedSource::Set(uint16_t id, int32_t value)
{
    Property* property = FindOwnProperty(id);
    ASSERT_NE(property, nullptr) << id;
    property->SetInt(value);
}

int32_t ScriptedSource::Get(uint16_t id)
{
    Property* property = FindOwnProperty(id);
    return property ? property->GetInt() : -1;
}

void ScriptedSource::SetGeometry(int32_t mode, int32_t pixels, int32_t lines)
{
    static constexpr std::array<int32_t, 3> kBits{1, 8, 24};
    Set(SI_PROP_COLOR_MODE, mode);
    Set(SI_PROP_BITS_PER_PIXEL, kBits.at(static_cast<size_t>(mode)));
    Set(SI_PROP_SCAN_WIDTH, pixels);
    Set(SI_PROP_WIDTH_IN_BYTES, (pixels * kBits.at(static_cast<size_t>(mode)) + 7) / 8);
    Set(SI_PROP_SCAN_LENGTH, lines);
}

bool ScriptedSource::Start()
{
    ++starts;
    next_ = {};
    stallNext_ = false;
    linesServed.clear();
    pageLines_ = streamLines_ ? streamLines_ : static_cast<uint32_t>(Get(SI_PROP_SCAN_LENGTH));
    return startResult_;
}

std::vector<uint8_t> ScriptedSource::Line(uint32_t line)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(Get(SI_PROP_WIDTH_IN_BYTES)));
    for (uint32_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = pattern_(line, i);
    }
    return bytes;
}

SIResult ScriptedSource::Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead)
{
    *linesRead = 0;
    if (stalling_) {
        stallNext_ = !stallNext_;
        if (stallNext_) {
            return SI_OK;
        }
    }
    const bool back = sided_ && side == 1;
    uint32_t& next = next_[back ? 1 : 0];
    if (next >= pageLines_) {
        return SI_END_OF_PAGE;
    }
    const uint32_t n = std::min(lines, pageLines_ - next);
    const size_t width = static_cast<size_t>(Get(SI_PROP_WIDTH_IN_BYTES));
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t stream = back ? kBackStream + next : next;
        const std::vector<uint8_t> line = Line(stream);
        std::copy(line.begin(), line.end(), buffer + i * width);
        linesServed.push_back(stream);
        ++next;
        if (paperEndAfter_ != 0 && next == paperEndAfter_ && !back) {
            paperEndThread = std::this_thread::get_id();
            Set(SI_PROP_EOP_LENGTH, paperEndLength_);
        }
    }
    *linesRead = static_cast<int>(n);
    return SI_OK;
}

void ScriptedSource::End() { ++ends; }

bool SetAsFrontEnd(Property* property, int32_t value)
{
    if (!property) {
        return false;
    }
    SIProperty record{};
    property->Get(&record);
    record.container = SI_CONTAINER_SINGLE;
    record.value[0] = static_cast<uintptr_t>(static_cast<uint32_t>(value));
    return property->Set(&record);
}

SideImage ReadSide(ImageSource& source, uint32_t side, uint32_t bytesPerLine, uint32_t perCall, int limit)
{
    SideImage image;
    std::vector<uint8_t> buffer(static_cast<size_t>(bytesPerLine) * perCall);
    for (int call = 0; call < limit; ++call) {
        int got = -1;
        image.last = source.Read(buffer.data(), perCall, side, &got);
        if (image.last == SI_END_OF_PAGE) {
            EXPECT_EQ(got, 0);
            return image;
        }
        if (image.last != SI_OK) {
            return image;
        }
        EXPECT_GE(got, 0);
        EXPECT_LE(got, static_cast<int>(perCall));
        image.bytes.insert(image.bytes.end(), buffer.begin(), buffer.begin() + got * bytesPerLine);
        image.lines += static_cast<uint32_t>(got);
    }
    ADD_FAILURE() << "no end of page after " << limit << " reads";
    return image;
}
