// Drawing checked at a few pixels: a button's face, edges and focus
// rectangle, a trackbar's thumb at its position, text alignment.
#include <platform/testing.h>
#include <platform/testing_ui.h>
#include <commctrl.h>
#include <windows.h>

#include <gtest/gtest.h>

namespace {

INT_PTR CALLBACK Plain(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class UiDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        dialog_ = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(103), nullptr, Plain, 0);
        ASSERT_NE(dialog_, nullptr);
        ShowWindow(dialog_, SW_SHOW);
    }
    void TearDown() override { DestroyWindow(dialog_); }
    // Paints the dialog as it looks now.
    void Paint() { platform::testing::RenderWindow(dialog_, platform::testing::Root() + "/drawing.png"); }
    COLORREF Pixel(int id, int x, int y) {
        HWND control = GetDlgItem(dialog_, id);
        HDC dc = GetDC(control);
        const COLORREF color = GetPixel(dc, x, y);
        ReleaseDC(control, dc);
        return color;
    }
    SIZE Size(int id) {
        RECT r{};
        GetClientRect(GetDlgItem(dialog_, id), &r);
        return SIZE{r.right, r.bottom};
    }
    // Columns of the control holding dark pixels (text ink).
    std::pair<int, int> InkColumns(int id) {
        Paint();
        const SIZE size = Size(id);
        int first = -1, last = -1;
        for (int x = 0; x < size.cx; ++x) {
            for (int y = 0; y < size.cy; ++y) {
                if (GetRValue(Pixel(id, x, y)) < 100) {
                    if (first < 0) first = x;
                    last = x;
                    break;
                }
            }
        }
        return {first, last};
    }
    HWND dialog_ = nullptr;
};

const COLORREF kFace = RGB(212, 208, 200);

TEST_F(UiDrawing, DefaultButtonFaceFrameAndFocusRectangle) {
    const SIZE size = Size(IDOK);
    SetFocus(GetDlgItem(dialog_, IDOK));
    Paint();
    // The default button's black frame, then the raised edge.
    EXPECT_EQ(Pixel(IDOK, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(Pixel(IDOK, 2, 2), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(IDOK, size.cx - 2, size.cy - 2), RGB(64, 64, 64));
    EXPECT_EQ(Pixel(IDOK, 5, size.cy / 2), kFace);
    // The focus rectangle: every other pixel inverted, 4 pixels in.
    EXPECT_NE(Pixel(IDOK, 4, 4), kFace);
    EXPECT_EQ(Pixel(IDOK, 5, 4), kFace);
    SetFocus(nullptr);
    Paint();
    EXPECT_EQ(Pixel(IDOK, 4, 4), kFace);
}

TEST_F(UiDrawing, TrackbarThumbFollowsItsPosition) {
    HWND bar = GetDlgItem(dialog_, 50);
    SendMessageA(bar, TBM_SETRANGE, TRUE, MAKELONG(0, 100));
    const SIZE size = Size(50);
    const int channelStart = 8, channelLength = size.cx - 16;
    // The thumb covers the white groove along the middle row.
    auto thumbAt = [&](int x) {
        Paint();
        return Pixel(50, x, 12) == kFace;
    };
    const int quarter = channelStart + channelLength / 4;
    const int threeQuarters = channelStart + channelLength * 3 / 4;
    SendMessageA(bar, TBM_SETPOS, TRUE, 25);
    EXPECT_EQ(SendMessageA(bar, TBM_GETPOS, 0, 0), 25);
    EXPECT_TRUE(thumbAt(quarter));
    EXPECT_FALSE(thumbAt(threeQuarters));
    SendMessageA(bar, TBM_SETPOS, TRUE, 75);
    EXPECT_FALSE(thumbAt(quarter));
    EXPECT_TRUE(thumbAt(threeQuarters));
    // Out of range positions are clamped.
    SendMessageA(bar, TBM_SETPOS, TRUE, 500);
    EXPECT_EQ(SendMessageA(bar, TBM_GETPOS, 0, 0), 100);
}

TEST_F(UiDrawing, TextSitsWhereItsAlignmentPutsIt) {
    const int width = Size(60).cx;
    const auto right = InkColumns(60);
    const auto centre = InkColumns(61);
    const auto left = InkColumns(62);
    ASSERT_GE(left.first, 0);
    EXPECT_LE(left.first, 2);
    EXPECT_GE(right.second, width - 3);
    EXPECT_GT(right.first, width / 2);
    const int middle = (centre.first + centre.second) / 2;
    EXPECT_NEAR(middle, width / 2, 3);
}

TEST_F(UiDrawing, MemoryBitmapsAndStretching) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 2);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SetPixel(memory, 0, 0, RGB(255, 0, 0));
    SetPixel(memory, 1, 0, RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(memory, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(memory, 3, 1), RGB(0, 0, 0));
    HDC target = CreateCompatibleDC(screen);
    HBITMAP big = CreateCompatibleBitmap(screen, 16, 8);
    HGDIOBJ oldBig = SelectObject(target, big);
    SetStretchBltMode(target, COLORONCOLOR);
    ASSERT_TRUE(StretchBlt(target, 0, 0, 16, 8, memory, 0, 0, 4, 2, SRCCOPY));
    // Nearest neighbour: each source pixel becomes a 4 x 4 block.
    EXPECT_EQ(GetPixel(target, 3, 3), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(target, 4, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(target, 7, 3), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(target, 8, 0), RGB(0, 0, 0));
    SelectObject(target, oldBig);
    SelectObject(memory, old);
    DeleteObject(big);
    DeleteObject(bitmap);
    DeleteDC(target);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

}  // namespace
