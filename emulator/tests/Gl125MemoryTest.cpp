// GL125 bulk transfers: headers naming address and length, the flat memory
// map, the image read rule and what a host that interleaves headers sees.
#include "Gl125Driver.h"

namespace emulator::testing {
namespace {

class Gl125Memory : public Gl125Test {
protected:
    std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed = 1)
    {
        std::vector<std::uint8_t> bytes(n);
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
        return bytes;
    }

    // A mono scan of `lines` lines of `width` positions, lamp off.
    void ScanLines(std::uint32_t lines, std::uint32_t width)
    {
        Gl125Scan s;
        s.end = s.start + width;
        s.lines = lines;
        driver_.SetUpScan(s);
        driver_.StartScan();
        scanner_.AdvanceClock(std::chrono::milliseconds(3 * lines + 5));  // 3 ms a line
    }
};

TEST_F(Gl125Memory, WhatGoesOutComesBackAtTheSameAddress)
{
    const auto bytes = Pattern(512);
    ASSERT_EQ(driver_.Upload(0x10014000, bytes).error, 0u);
    EXPECT_EQ(driver_.Download(0x10014000, 512), bytes);
    EXPECT_EQ(scanner_.ShadingWords(0x14000 / 2, 1)[0], bytes[0] | bytes[1] << 8);

    // An IN of another length than its header fails and logs.
    driver_.Arm(false, 0x10014000, 512);
    EXPECT_EQ(driver_.BulkIn(256).error, kErrorGenFailure);
    ExpectViolations({"K2"});
}

TEST_F(Gl125Memory, TransfersNeedAHeaderOfTheirDirection)
{
    EXPECT_EQ(driver_.BulkOut(Pattern(64)).error, kErrorGenFailure);
    ExpectViolations({"K2"});
    driver_.Arm(false, kMainMemory, 64);
    EXPECT_EQ(driver_.BulkOut(Pattern(64)).error, kErrorGenFailure);
    ExpectViolations({"K2"});
    // Nothing carries over between headers: each names its own address.
    driver_.Upload(kMainMemory + 0x100, Pattern(4, 9));
    driver_.Upload(kMainMemory + 0x200, Pattern(4, 3));
    EXPECT_EQ(driver_.Download(kMainMemory + 0x100, 4), Pattern(4, 9));
}

TEST_F(Gl125Memory, ASecondHeaderReplacesTheFirstAndLogs)
{
    driver_.Arm(true, kMainMemory, 512);
    driver_.Arm(true, kMainMemory + 0x1000, 4);
    ExpectViolations({"K3"});
    EXPECT_EQ(driver_.BulkOut(Pattern(4)).error, 0u);
    EXPECT_EQ(driver_.Download(kMainMemory + 0x1000, 4), Pattern(4));
}

TEST_F(Gl125Memory, ResetPipeDropsAnArmedHeader)
{
    driver_.Arm(false, kMainMemory, 16);
    EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlResetPipe)).error, 0u);
    EXPECT_EQ(driver_.BulkIn(16).error, kErrorGenFailure);
    ExpectViolations({"K2"});
}

TEST_F(Gl125Memory, MemoryResetsToA5AndAnIdleProbeReadsMotorTableOne)
{
    EXPECT_EQ(driver_.Download(kImage, 512), std::vector<std::uint8_t>(512, 0xA5));
    EXPECT_EQ(driver_.Download(kGammaMemory, 512), std::vector<std::uint8_t>(512, 0xA5));

    // 100 KiB from the image address: the five motor tables, then area 0.
    driver_.Upload(kMainMemory, {0x11, 0x22});
    driver_.Upload(kMainMemory + 10 * 0x2000, {0x33, 0x44});
    const auto all = driver_.Download(kImage, 100 * 1024);
    ASSERT_EQ(all.size(), 100u * 1024);
    EXPECT_EQ(all[0], 0x11);
    EXPECT_EQ(all[0x14000], 0x33);
    EXPECT_EQ(all[0x14001], 0x44);
}

TEST_F(Gl125Memory, InImageModeTheImageAddressDrainsLines)
{
    ScanLines(4, 256);
    const std::uint32_t before = driver_.GetField(0x103, 3);
    const auto image = driver_.Download(kImage, 512);
    EXPECT_EQ(image.size(), 512u);
    EXPECT_EQ(driver_.GetField(0x103, 3), before - 256);
    EXPECT_NE(image, std::vector<std::uint8_t>(512, 0xA5));
    // Any other address still reads memory, even in image mode.
    EXPECT_EQ(driver_.Download(kImage + 0x200, 16), std::vector<std::uint8_t>(16, 0xA5));

    // Image mode outlives the last line, then ends with the scan bit.
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_EQ(driver_.Download(kImage, 512).size(), 512u);
    driver_.Set(0x01, 0x40);
    EXPECT_EQ(driver_.Download(kImage, 16), std::vector<std::uint8_t>(16, 0xA5));
}

TEST(Gl125ImageWindow, TheWindowRuleDrainsAnywhereInTableOne)
{
    VirtualScanner scanner("RM310-GL125", {{"clock", "virtual"}, {"gl125.image_read_rule", "window"}});
    Gl125Driver driver(scanner);
    Gl125Scan s;
    s.lines = 2;
    driver.SetUpScan(s);
    driver.StartScan();
    scanner.AdvanceClock(std::chrono::milliseconds(20));
    driver.Download(kImage + 0x200, 100);
    EXPECT_EQ(scanner.FifoBytes(), 100u);
    EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);
}

TEST_F(Gl125Memory, AddressesOutsideBothMemoriesDropAndReadZero)
{
    EXPECT_EQ(driver_.Upload(0x02000000, Pattern(8)).error, 0u);
    ExpectViolations({"K4"});
    EXPECT_EQ(driver_.Download(0x02000000, 8), std::vector<std::uint8_t>(8, 0));
    ExpectViolations({"K4"});
    // The end of main memory: the part inside lands, the rest is dropped.
    EXPECT_EQ(driver_.Upload(kMainMemory + 0x40000 - 2, Pattern(4)).error, 0u);
    ExpectViolations({"K4"});
    EXPECT_EQ(scanner_.ShadingWords(0x40000 / 2 - 1, 1)[0], Pattern(4)[0] | Pattern(4)[1] << 8);
}

TEST_F(Gl125Memory, GammaWritesPastTheThirdSlotLog)
{
    EXPECT_EQ(driver_.Upload(kGammaMemory + 0x400, Pattern(512)).error, 0u);
    EXPECT_TRUE(scanner_.Violations().empty()) << ViolationText(scanner_);
    EXPECT_EQ(driver_.Upload(kGammaMemory + 0x5FE, Pattern(4)).error, 0u);
    ExpectViolations({"K4"});
}

TEST_F(Gl125Memory, AWholePacketTailIsStoredAndNotedWhenItCrossesARegion)
{
    // A 514-byte gamma slot as the host sends it: 512 bytes and a two-byte
    // tail in a whole packet that runs into the next slot.
    auto bytes = Pattern(1024);
    EXPECT_EQ(driver_.Upload(kGammaMemory, bytes).error, 0u);
    EXPECT_EQ(scanner_.GammaWords(256, 1)[0], bytes[512] | bytes[513] << 8);
    bool noted = false;
    for (const auto& o : scanner_.Observations())
        noted = noted || o.id == "K-region";
    EXPECT_TRUE(noted);
}

}  // namespace
}  // namespace emulator::testing
