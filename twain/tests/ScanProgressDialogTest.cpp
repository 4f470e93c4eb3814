// The scan progress dialog on the window layer: its thumbnail grows with the
// page, Cancel and a suspension stop the scan, a request to suspend is refused.
#include "ScanProgressDialog.h"

#include <platform/testing_ui.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

constexpr UINT kPowerBroadcast = 0x0218;
constexpr WPARAM kQuerySuspend = 0x0000;
constexpr WPARAM kSuspend = 0x0004;
constexpr LRESULT kQueryDeny = 0x424D5144;

// Rows of a colour page: red at the top, blue below, in the page's own order.
std::vector<uint8_t> ColourRows(uint32_t width, uint32_t rows, bool red)
{
    const uint32_t stride = (3 * width + 3) / 4 * 4;
    std::vector<uint8_t> out(size_t(stride) * rows, 0);
    for (uint32_t y = 0; y < rows; ++y)
        for (uint32_t x = 0; x < width; ++x) out[size_t(y) * stride + 3 * x + (red ? 0 : 2)] = 255;
    return out;
}

TEST(ScanProgressDialog, ThumbnailGrowsWithThePage)
{
    CScanProgressDialog dialog(nullptr, 24, 250, 350);
    ASSERT_NE(dialog.Window(), nullptr);
    const ScanProgressModel* model = dialog.Model();
    ASSERT_NE(model, nullptr);
    EXPECT_GT(model->ThumbnailHeight(), 0u);
    EXPECT_EQ(model->ThumbnailWidth() % 4, 0u);
    const auto red = ColourRows(250, 175, true);
    const auto blue = ColourRows(250, 175, false);
    EXPECT_EQ(dialog.ScanProgressCallback(red.data(), 175), 1);
    EXPECT_EQ(model->Percent(), 50);
    EXPECT_EQ(dialog.ScanProgressCallback(blue.data(), 175), 1);
    EXPECT_EQ(model->Percent(), 100);
    const std::string picture = (std::filesystem::temp_directory_path() / "scan-progress.png").string();
    EXPECT_TRUE(platform::testing::RenderWindow(dialog.Window(), picture));
}

TEST(ScanProgressDialog, CancelAndSuspensionStopTheScan)
{
    const auto rows = ColourRows(100, 10, true);
    {
        CScanProgressDialog dialog(nullptr, 24, 100, 100);
        ASSERT_NE(dialog.Window(), nullptr);
        EXPECT_EQ(dialog.ScanProgressCallback(rows.data(), 10), 1);
        SendMessageA(dialog.Window(), WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(dialog.ScanProgressCallback(rows.data(), 10), 0);
        EXPECT_NE(dialog.Window(), nullptr) << "the dialog stays until the transfer ends";
    }
    {
        CScanProgressDialog dialog(nullptr, 8, 100, 100);
        ASSERT_NE(dialog.Window(), nullptr);
        EXPECT_EQ(SendMessageA(dialog.Window(), kPowerBroadcast, kQuerySuspend, 0), kQueryDeny);
        EXPECT_EQ(dialog.ScanProgressCallback(rows.data(), 1), 1);
        SendMessageA(dialog.Window(), kPowerBroadcast, kSuspend, 0);
        EXPECT_EQ(dialog.ScanProgressCallback(rows.data(), 1), 0);
    }
}

TEST(ScanProgressDialog, CancelArrivesThroughThePump)
{
    // The press of Cancel waits in the queue until the next block of lines
    // pumps the application's messages.
    CScanProgressDialog dialog(nullptr, 1, 64, 64);
    ASSERT_NE(dialog.Window(), nullptr);
    const std::vector<uint8_t> rows(8 * 4, 0xAA);
    EXPECT_EQ(dialog.ScanProgressCallback(rows.data(), 4), 1);
    ASSERT_TRUE(PostMessageA(dialog.Window(), WM_COMMAND, IDCANCEL, 0));
    EXPECT_EQ(dialog.ScanProgressCallback(rows.data(), 4), 0);
}

}  // namespace
