// GL841 vendor requests, registers, bulk headers and memories.
#include <atomic>

#include "TransportDriver.h"

namespace emulator::testing {
namespace {

class ChipTest : public DeviceTest {
protected:
    std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed)
    {
        std::vector<std::uint8_t> v(n);
        for (std::size_t i = 0; i < n; ++i)
            v[i] = static_cast<std::uint8_t>(seed + i * 7);
        return v;
    }
};

TEST_F(ChipTest, PairsAreWrittenInOrderEachActingBeforeTheNext)
{
    driver_.Write({{0x10, 1}, {0x10, 2}, {0x10, 3}});
    EXPECT_EQ(scanner_.Register(0x10), 3);
    // The front-end word uses the address and high byte written before it.
    driver_.Write({{0x51, 0x21}, {0x3A, 0}, {0x3B, 0x80}});
    EXPECT_EQ(scanner_.AfeRegister(0x21), 0x80);
    driver_.Write({{0x2E, 9}, {0x2F, 4}});
    EXPECT_EQ(driver_.Get(0x2E), 9);
    EXPECT_EQ(driver_.Get(0x2F), 4);
}

TEST_F(ChipTest, DataPortsReadZeroAndAreNoStorage)
{
    for (std::uint8_t port : {0x28, 0x3C, 0x45, 0x4E}) {
        driver_.Set(port, 0x55);
        EXPECT_EQ(driver_.Get(port), 0) << int(port);
    }
}

TEST_F(ChipTest, ResetValuesAndReadOnlyRegisters)
{
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_EQ(driver_.Get(0x01), 0);
    driver_.Set(0x41, 0);
    driver_.Set(0x4C, 5);
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_EQ(driver_.Get(0x4C), 0);
    ExpectViolations({"G13", "G13"});
    // Strobe and MoveStart read back 0.
    driver_.Set(0x0D, 0x01);
    EXPECT_EQ(driver_.Get(0x0D), 0);
}

struct StallCase {
    const char* what;
    bool in;
    std::uint32_t request;
    std::uint32_t index;
    std::vector<std::uint8_t> data;  // OUT data; IN: its size is the length
};

class ChipStall : public DeviceTest, public ::testing::WithParamInterface<StallCase> {};

TEST_P(ChipStall, RefusedRequestStallsAndChangesNothing)
{
    driver_.Set(0x10, 0x42);
    driver_.Select(0x10);
    const auto before = scanner_.Registers();
    const StallCase& c = GetParam();
    const DeviceReply r = c.in ? driver_.ControlIn(c.request, c.index, static_cast<std::uint32_t>(c.data.size()))
                               : driver_.ControlOut(c.request, c.index, c.data);
    EXPECT_EQ(r.error, kErrorGenFailure);
    EXPECT_EQ(scanner_.Registers(), before);
    EXPECT_EQ(scanner_.ClockHz(), 12'000'000u);
    // The selection survived: 0x84 still reads register 0x10.
    EXPECT_EQ(driver_.ControlIn(0x84, 0, 1).data, std::vector<std::uint8_t>{0x42});
    ExpectViolations({"G1"});
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ChipStall,
    ::testing::Values(StallCase{"0x85", false, 0x85, 0, {0x10, 1}}, StallCase{"0x85in", true, 0x85, 0, {0}},
                      StallCase{"0x83in", true, 0x83, 0, {0, 0}}, StallCase{"0x83index", false, 0x83, 1, {0x10, 1}},
                      StallCase{"0x83len3", false, 0x83, 0, {0x10, 1, 0x11}},
                      StallCase{"0x83len8", false, 0x83, 0, {0x10, 1, 0x11, 1, 0x12, 1, 0x13, 1}},
                      StallCase{"0x83high", false, 0x83, 0, {0x10, 1, 0x88, 1}},
                      StallCase{"select0x90", false, 0x83, 0, {0x90}}, StallCase{"0x84out", false, 0x84, 0, {0}},
                      StallCase{"0x84len2", true, 0x84, 0, {0, 0}}, StallCase{"0x84index", true, 0x84, 1, {0}},
                      StallCase{"0x82len4", false, 0x82, 0, {1, 0, 0x82, 0}},
                      StallCase{"0x82in", true, 0x82, 0, std::vector<std::uint8_t>(8)},
                      StallCase{"0x8Cindex", false, 0x8C, 0, {0x90}}, StallCase{"0x8Ccode", false, 0x8C, 0x10, {0x81}},
                      StallCase{"0x8Ein", false, 0x8E, 0, {0}}, StallCase{"0x8Elen2", true, 0x8E, 0, {0, 0}}),
    [](const auto& param) { return std::string(param.param.what); });

TEST_F(ChipTest, ClockCodes)
{
    const std::pair<std::uint8_t, std::uint32_t> codes[] = {{0x80, 12'000'000}, {0x90, 24'000'000},
                                                            {0xA0, 30'000'000}, {0xD0, 40'000'000},
                                                            {0xB0, 48'000'000}, {0xC0, 60'000'000}};
    for (auto [code, hz] : codes) {
        EXPECT_EQ(driver_.ControlOut(0x8C, 0x10, {code}).error, 0u);
        EXPECT_EQ(scanner_.ClockHz(), hz);
    }
}

TEST_F(ChipTest, MalformedHeaderIsIgnored)
{
    driver_.Select(0x28);
    driver_.Arm(true, 4);
    for (auto header : {std::vector<std::uint8_t>{1, 1, 0x82, 0, 4, 0, 0, 0}, std::vector<std::uint8_t>{1, 0, 0x83, 0, 4, 0, 0, 0},
                        std::vector<std::uint8_t>{1, 0, 0x82, 1, 4, 0, 0, 0}, Header(true, 0)})
        EXPECT_EQ(driver_.ControlOut(0x82, 0, header).error, 0u);
    ExpectViolations({"G2", "G2", "G2", "G2"});
    // The armed header is untouched.
    EXPECT_EQ(driver_.BulkOut({1, 2, 3, 4}).count, 4u);
    EXPECT_EQ(scanner_.GammaWords(0, 2), (std::vector<std::uint16_t>{0x0201, 0x0403}));
}

TEST_F(ChipTest, TransferWithoutMatchingHeaderStallsAndDropsIt)
{
    driver_.Select(0x28);
    EXPECT_EQ(driver_.BulkOut({1, 2}).error, kErrorGenFailure);  // none armed
    driver_.Arm(true, 4);
    EXPECT_EQ(driver_.BulkOut({1, 2}).error, kErrorGenFailure);  // wrong length
    EXPECT_EQ(driver_.BulkOut({1, 2, 3, 4}).error, kErrorGenFailure);  // dropped by the mismatch
    driver_.Arm(true, 2);
    EXPECT_EQ(driver_.BulkIn(2).error, kErrorGenFailure);  // wrong direction
    EXPECT_EQ(scanner_.GammaWords(0, 2), (std::vector<std::uint16_t>{0xA5A5, 0xA5A5}));
    ExpectViolations({"G3", "G3", "G3", "G3"});
}

TEST_F(ChipTest, HeaderReplacingAnArmedOneIsG4)
{
    driver_.Select(0x28);
    driver_.Arm(true, 4);
    driver_.Arm(true, 2);
    ExpectViolations({"G4"});
    EXPECT_EQ(driver_.BulkOut({7, 8}).error, 0u);
}

TEST_F(ChipTest, BulkToAPortWithoutMemoryIsG5)
{
    driver_.Select(0x10);
    driver_.Arm(true, 2);
    EXPECT_EQ(driver_.BulkOut({1, 2}).error, kErrorGenFailure);
    driver_.Select(0x3C);
    driver_.Arm(false, 2);
    EXPECT_EQ(driver_.BulkIn(2).error, kErrorGenFailure);
    ExpectViolations({"G5", "G5"});
    EXPECT_EQ(scanner_.ShadingWords(0, 1), std::vector<std::uint16_t>{0xA5A5});
}

TEST_F(ChipTest, MemoriesStartAsA5A5)
{
    for (std::uint16_t w : scanner_.ShadingWords(0, 0x40000))
        ASSERT_EQ(w, 0xA5A5);
    const DeviceReply gamma = driver_.Download(0x4E, 2048);
    ASSERT_EQ(gamma.count, 2048u) << gamma.error;
    for (std::uint8_t b : gamma.data)
        ASSERT_EQ(b, 0xA5);
}

TEST_F(ChipTest, UploadPastTheEndDropsOnlyTheExcess)
{
    driver_.Write({{0x5B, 0x03}, {0x5C, 0xFC}});  // word 1020
    const auto data = Pattern(16, 1);
    EXPECT_EQ(driver_.Upload(0x28, data).count, 16u);
    ExpectViolations({"G6"});
    const auto words = scanner_.GammaWords(1020, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(words[i], data[2 * i] | data[2 * i + 1] << 8);
    // Reading past the end gives zeros.
    driver_.Write({{0x5B, 0x03}, {0x5C, 0xFE}});
    const DeviceReply r = driver_.Download(0x4E, 8);
    EXPECT_EQ(r.data, (std::vector<std::uint8_t>{data[4], data[5], data[6], data[7], 0, 0, 0, 0}));
    ExpectViolations({"G6"});
}

TEST_F(ChipTest, ShadingUploadInPiecesLandsContiguouslyWithFiller)
{
    driver_.Write({{0x2A, 0}, {0x2B, 0}});
    const auto first = Pattern(0xF000, 3);
    const auto second = Pattern(512, 9);
    auto tail = Pattern(100, 5);
    tail.resize(512, 0xEE);  // a whole-packet tail with filler
    EXPECT_EQ(driver_.Upload(0x3C, first).count, first.size());
    EXPECT_EQ(driver_.Upload(0x3C, second).count, second.size());
    EXPECT_EQ(driver_.Upload(0x3C, tail).count, tail.size());
    std::vector<std::uint8_t> all = first;
    all.insert(all.end(), second.begin(), second.end());
    all.insert(all.end(), tail.begin(), tail.end());
    const auto words = scanner_.ShadingWords(0, static_cast<std::uint32_t>(all.size() / 2 + 1));
    for (std::size_t i = 0; i < all.size() / 2; ++i)
        ASSERT_EQ(words[i], all[2 * i] | all[2 * i + 1] << 8) << i;
    EXPECT_EQ(words.back(), 0xA5A5);
}

TEST_F(ChipTest, PointersReloadOnEveryAddressWrite)
{
    driver_.Write({{0x2A, 0x00}, {0x2B, 0x02}});  // 2 × 16 words
    driver_.Upload(0x3C, {1, 0, 2, 0});
    driver_.Set(0x2B, 0x02);
    driver_.Upload(0x3C, {3, 0});
    EXPECT_EQ(scanner_.ShadingWords(32, 3), (std::vector<std::uint16_t>{3, 2, 0xA5A5}));
    driver_.Write({{0x2A, 0x01}, {0x2B, 0x00}});  // 256 × 16 words
    driver_.Upload(0x3C, {4, 0});
    EXPECT_EQ(scanner_.ShadingWords(4096, 1), std::vector<std::uint16_t>{4});

    driver_.Write({{0x5B, 0x01}, {0x5C, 0x00}});  // word 256
    driver_.Upload(0x28, {5, 0, 6, 0});
    driver_.Set(0x5C, 0x01);  // word 257
    driver_.Upload(0x28, {7, 0});
    EXPECT_EQ(scanner_.GammaWords(256, 2), (std::vector<std::uint16_t>{5, 7}));
}

TEST_F(ChipTest, MemoryReadModeLastsOnlyThroughItsRequests)
{
    driver_.Write({{0x2A, 0}, {0x2B, 1}});
    driver_.Upload(0x3C, {1, 2, 3, 4, 5, 6});
    // Reload the pointer: the write arms memory-read mode.
    driver_.Write({{0x2A, 0}, {0x2B, 1}});
    driver_.Select(0x45);
    EXPECT_EQ(driver_.ControlIn(0x84, 0, 1).data, std::vector<std::uint8_t>{0});
    driver_.Arm(false, 2);
    EXPECT_EQ(driver_.BulkIn(2).data, (std::vector<std::uint8_t>{1, 2}));
    driver_.Arm(false, 2);
    EXPECT_EQ(driver_.BulkIn(2).data, (std::vector<std::uint8_t>{3, 4}));

    // Any other request ends it: the image FIFO (empty, no scan) is read instead.
    driver_.Get(0x10);
    driver_.Select(0x45);
    driver_.Arm(false, 2);
    std::atomic<bool> done{false};
    driver_.Connection().Submit(9, DeviceRequest{RequestOp::Read, 0, 2, {}},
                                [&](std::uint32_t, const DeviceReply&) { done = true; });
    EXPECT_FALSE(done);
    driver_.Connection().Cancel(9);
}

}  // namespace
}  // namespace emulator::testing
