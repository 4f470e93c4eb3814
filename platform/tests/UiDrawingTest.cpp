// Drawing checked at a few pixels: a button's face, edges and focus
// rectangle, a trackbar's thumb at its position, text alignment.
#include <platform/testing.h>
#include <platform/testing_ui.h>
#include <commctrl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

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

// Bitmaps and cursors of the module's resources: a bitmap keeps its pixels
// (an 8-bit one through its colour table), from the resource or a file.
TEST(UiResources, BitmapsAndCursors) {
    HINSTANCE module = GetModuleHandleA(nullptr);
    HBITMAP fromResource = LoadBitmapA(module, MAKEINTRESOURCEA(120));
    ASSERT_NE(fromResource, nullptr);
    // The same picture as a file: its header, then the resource's bytes.
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(120), RT_BITMAP);
    ASSERT_NE(found, nullptr);
    const DWORD size = SizeofResource(module, found);
    const auto* dib = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string path = platform::testing::Root() + "/cells.bmp";
    {
        std::ofstream file(path, std::ios::binary);
        const uint32_t fileSize = size + 14, offset = 14 + 40 + 4 * 4;
        const uint16_t zero = 0;
        file.write("BM", 2);
        file.write(reinterpret_cast<const char*>(&fileSize), 4);
        file.write(reinterpret_cast<const char*>(&zero), 2);
        file.write(reinterpret_cast<const char*>(&zero), 2);
        file.write(reinterpret_cast<const char*>(&offset), 4);
        file.write(dib, size);
    }
    HBITMAP fromFile = static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    ASSERT_NE(fromFile, nullptr);
    for (HBITMAP bitmap : {fromResource, fromFile}) {
        BITMAP info{};
        ASSERT_EQ(GetObjectA(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.bmWidth, 6);
        EXPECT_EQ(info.bmHeight, 4);
        HDC memory = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(memory, bitmap);
        EXPECT_EQ(GetPixel(memory, 0, 0), RGB(255, 0, 255));
        EXPECT_EQ(GetPixel(memory, 1, 1), RGB(255, 0, 0));
        EXPECT_EQ(GetPixel(memory, 3, 1), RGB(0, 255, 0));
        EXPECT_EQ(GetPixel(memory, 2, 2), RGB(0, 0, 255));
        EXPECT_EQ(GetPixel(memory, 5, 3), RGB(255, 0, 255));
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(bitmap);
    }
    EXPECT_EQ(LoadBitmapA(module, MAKEINTRESOURCEA(121)), nullptr);
    EXPECT_EQ(LoadImageA(nullptr, (path + ".missing").c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    // Cursors: the module's by resource, the system's by id.
    EXPECT_NE(LoadCursorA(module, MAKEINTRESOURCEA(106)), nullptr);
    EXPECT_EQ(LoadCursorA(module, MAKEINTRESOURCEA(107)), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_SIZEALL), nullptr);
    EXPECT_NE(LoadImageA(module, MAKEINTRESOURCEA(106), IMAGE_CURSOR, 0, 0, LR_DEFAULTCOLOR), nullptr);
}

}  // namespace
