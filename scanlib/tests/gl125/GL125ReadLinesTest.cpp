// GL125 image read-out against a recording port: planes unpadded one by one
// at odd widths in every mode, waiting lines delivered before the end, and
// the end reported only when nothing waits and the scan is done.
#include "chips/CISModule.h"
#include "chips/GL125.h"
#include "chips/Motor.h"
#include "chips/WM8199.h"
#include "GL125RecordingPort.h"

#include <gtest/gtest.h>

#include <array>

namespace {

class GL125ReadLinesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(chip.Init());
        chip.SetCisModule(&module, 2, rates);
        chip.SetMotor(&motor);
    }

    void StartScan(int mode, int bits, int width, int length = 10) {
        chip.SetColorMode(mode);
        chip.SetBitsPerPixel(bits);
        chip.SetScanWidth(width);
        chip.SetXResolution(300);
        chip.SetScanLength(length);
        ASSERT_TRUE(chip.SetupScan());
        port.Take();
        port.chip[0x101] = 0x03;
    }

    // Queues lines in the chip's layout: each plane of paddedPlane bytes
    // holds its plane number, its pad bytes 0xEE.
    void QueueLines(size_t lines, size_t planes, size_t planeBytes, size_t paddedPlane) {
        for (size_t line = 0; line < lines; ++line) {
            for (size_t plane = 0; plane < planes; ++plane) {
                for (size_t i = 0; i < paddedPlane; ++i) {
                    port.image.push_back(i < planeBytes ? static_cast<uint8_t>(line * 3 + plane) : 0xEE);
                }
            }
        }
    }

    Gl125RecordingPort port;
    WM8199GL frontEnd;
    GL125 chip{&frontEnd, &port};
    CM218_02 module;
    FAN8200D_2 motor;
    const std::array<float, 3> rates{300.0f, 300.0f, 300.0f};
};

TEST_F(GL125ReadLinesTest, EveryPlaneIsUnpaddedAtOddWidthsInEveryMode) {
    struct Case {
        int mode;
        int bits;
        int width;
        size_t planes;
        size_t planeBytes;
        size_t paddedPlane;
    };
    for (const Case c : {Case{2, 24, 1001, 3, 1001, 1002}, Case{2, 48, 1001, 3, 2002, 2004},
                         Case{1, 8, 1001, 1, 1001, 1002}, Case{1, 16, 1001, 1, 2002, 2004},
                         Case{0, 1, 1000, 1, 125, 126}, Case{2, 24, 1000, 3, 1000, 1000}}) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " bits " << c.bits << " width " << c.width);
        port.image.clear();
        StartScan(c.mode, c.bits, c.width);
        QueueLines(3, c.planes, c.planeBytes, c.paddedPlane);
        std::vector<uint8_t> out(3 * c.planes * c.planeBytes + 16, 0x11);
        int got = 0;
        ASSERT_TRUE(chip.ReadImageLines(out.data(), 3, &got));
        ASSERT_EQ(got, 3);
        for (size_t line = 0; line < 3; ++line) {
            for (size_t plane = 0; plane < c.planes; ++plane) {
                const size_t at = (line * c.planes + plane) * c.planeBytes;
                EXPECT_EQ(out[at], line * 3 + plane);
                EXPECT_EQ(out[at + c.planeBytes - 1], line * 3 + plane);
            }
        }
        EXPECT_EQ(out[3 * c.planes * c.planeBytes], 0x11) << "nothing written past the lines";
        EXPECT_TRUE(port.image.empty());
    }
}

TEST_F(GL125ReadLinesTest, ImageReadsAreAnnouncedAtTheImageAddress) {
    StartScan(1, 8, 1000);
    QueueLines(2, 1, 1000, 1000);
    std::vector<uint8_t> out(2000);
    int got = 0;
    ASSERT_TRUE(chip.ReadImageLines(out.data(), 2, &got));
    const std::vector<Gl125Request> sent = port.Take();
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[0], RegRead(0x01));
    EXPECT_EQ(sent[1], RegRead(0x103));
    EXPECT_EQ(sent[2], RegRead(0x104));
    EXPECT_EQ(sent[3], RegRead(0x105));
    EXPECT_EQ(sent[4], BulkHeader(false, 0x10000000, 2000));
    EXPECT_EQ(sent[5], BulkInOf(2000));
}

TEST_F(GL125ReadLinesTest, LinesWaitingWhenTheScanBitReadsZeroAreDeliveredFirst) {
    StartScan(1, 8, 1000);
    QueueLines(2, 1, 1000, 1000);
    port.chip[0x01] &= 0xFE;
    std::vector<uint8_t> out(3000);
    int got = 0;
    EXPECT_TRUE(chip.ReadImageLines(out.data(), 3, &got));
    EXPECT_EQ(got, 2);
    EXPECT_FALSE(chip.ReadImageLines(out.data(), 3, &got));
    EXPECT_EQ(got, 0);
}

TEST_F(GL125ReadLinesTest, TheEndComesWhenNothingWaitsAndTheScanIsDone) {
    StartScan(1, 8, 1000, 10);
    std::vector<uint8_t> out(1000);
    int got = 5;
    // Running, nothing yet: no lines, not the end.
    EXPECT_TRUE(chip.ReadImageLines(out.data(), 1, &got));
    EXPECT_EQ(got, 0);
    // A line that arrives while the end is checked is still read.
    port.beforeRead = [&](uint16_t reg) {
        if (reg == 0x101) {
            port.chip[0x101] = 0x10;
            QueueLines(1, 1, 1000, 1000);
        }
    };
    EXPECT_TRUE(chip.ReadImageLines(out.data(), 1, &got));
    EXPECT_EQ(got, 1);
    port.beforeRead = nullptr;
    // Engine idle and nothing waits: the end, however long the page was made.
    EXPECT_FALSE(chip.ReadImageLines(out.data(), 1, &got));
    EXPECT_EQ(got, 0);

    // Engine still shown busy but every programmed line made (12 with the two
    // extra lines): the end.
    StartScan(1, 8, 1000, 10);
    port.chip[0x10D] = 12;
    EXPECT_FALSE(chip.ReadImageLines(out.data(), 1, &got));
    port.chip[0x10D] = 11;
    EXPECT_TRUE(chip.ReadImageLines(out.data(), 1, &got));
}

TEST_F(GL125ReadLinesTest, FailedReadsAreNotLines) {
    StartScan(1, 8, 1000);
    QueueLines(2, 1, 1000, 1000);
    port.marker = 0;
    std::vector<uint8_t> out(2000);
    int got = 9;
    EXPECT_FALSE(chip.ReadImageLines(out.data(), 2, &got));
    EXPECT_EQ(got, 0);
    EXPECT_EQ(port.image.size(), 2000u);
}

}  // namespace
