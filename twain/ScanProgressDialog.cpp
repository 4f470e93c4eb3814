#include "ScanProgressDialog.h"

#include "DibLayout.h"
#include "ImageScaling.h"

#include <MessageTable.h>
#include <commctrl.h>

#ifndef WM_POWERBROADCAST
#define WM_POWERBROADCAST 0x0218u
#endif
#ifndef PBT_APMQUERYSUSPEND
#define PBT_APMQUERYSUSPEND 0x0000u
#endif
#ifndef PBT_APMSUSPEND
#define PBT_APMSUSPEND 0x0004u
#endif
#ifndef BROADCAST_QUERY_DENY
#define BROADCAST_QUERY_DENY 0x424D5144
#endif
#ifndef VK_F10
#define VK_F10 0x79
#endif
#ifndef WM_SYSKEYUP
#define WM_SYSKEYUP 0x0105u
#endif
#ifndef DWLP_MSGRESULT
#define DWLP_MSGRESULT 0
#endif

namespace {

constexpr int kRowCancel = 20;
constexpr int kMessagesPerBlock = 100;

// The module that holds the dialog template: the data source, or the program
// that links its code.
HINSTANCE OwnModule()
{
    HINSTANCE module = GetModuleHandleA("Pelidor.ds");
    return module != nullptr ? module : GetModuleHandleA(nullptr);
}

}  // namespace

CCancelDialog::~CCancelDialog()
{
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

bool CCancelDialog::Create(int templateId, HWND parent)
{
    window_ = CreateDialogParamA(OwnModule(), MAKEINTRESOURCEA(templateId), parent, &CCancelDialog::DialogProc,
                                 reinterpret_cast<LPARAM>(this));
    return window_ != nullptr;
}

INT_PTR CALLBACK CCancelDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CCancelDialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        self = reinterpret_cast<CCancelDialog*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
        self->window_ = window;
        self->cancelled_ = false;
        self->OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        if (self != nullptr && LOWORD(wParam) == IDCANCEL) {
            self->cancelled_ = true;  // the dialog stays until the transfer ends
            return TRUE;
        }
        return FALSE;
    case WM_POWERBROADCAST:
        if (self == nullptr) return FALSE;
        if (wParam == PBT_APMQUERYSUSPEND) {
            SetWindowLongPtrA(window, DWLP_MSGRESULT, BROADCAST_QUERY_DENY);
            return TRUE;
        }
        if (wParam == PBT_APMSUSPEND) self->cancelled_ = true;
        SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_PAINT:
        if (self == nullptr) return FALSE;
        self->OnPaint();
        return TRUE;
    default:
        return FALSE;
    }
}

CScanProgressDialog::CScanProgressDialog(HWND parent, uint32_t bits, uint32_t width, uint32_t lines)
    : bits_(bits), width_(width), lines_(lines)
{
    Create(kTemplate, parent);
}

RECT CScanProgressDialog::PictureArea() const
{
    RECT area{};
    HWND picture = GetDlgItem(Window(), kPicture);
    if (picture == nullptr) return area;
    GetWindowRect(picture, &area);
    POINT corners[2] = {{area.left, area.top}, {area.right, area.bottom}};
    ScreenToClient(Window(), &corners[0]);
    ScreenToClient(Window(), &corners[1]);
    return RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

void CScanProgressDialog::OnInitDialog()
{
    SetWindowTextA(Window(), "RM310");
    SetDlgItemTextA(Window(), IDCANCEL, MessageText(kRowCancel).c_str());
    RECT box{};
    GetClientRect(GetDlgItem(Window(), kPicture), &box);
    const auto boxWidth = static_cast<uint32_t>(std::max<LONG>(box.right - box.left - 8, 1));
    const auto boxHeight = static_cast<uint32_t>(std::max<LONG>(box.bottom - box.top - 8, 1));
    model_ = std::make_unique<ScanProgressModel>(width_, lines_, boxWidth, boxHeight);
    stride_ = DibRowSize(24, std::max<uint32_t>(model_->ThumbnailWidth(), 1));
    thumbnail_.assign(size_t(stride_) * (model_->ThumbnailHeight() + 1), 0);
    SendDlgItemMessageA(Window(), kProgressBar, PBM_SETRANGE, 0, MAKELONG(0, 100));
    ShowWindow(Window(), SW_SHOW);
    UpdateWindow(Window());
}

void CScanProgressDialog::NewPage()
{
    if (!model_) return;
    model_->NewPage();
    drawn_ = 0;
    received_ = 0;
    std::fill(thumbnail_.begin(), thumbnail_.end(), 0);
    SendDlgItemMessageA(Window(), kProgressBar, PBM_SETPOS, 0, 0);
    InvalidateRect(Window(), nullptr, TRUE);
}

int CScanProgressDialog::ScanProgressCallback(const uint8_t* rows, int count)
{
    // Keeps the application alive; F10 would open a menu mid-scan.
    MSG message{};
    for (int i = 0; i < kMessagesPerBlock && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if ((message.message == WM_SYSKEYDOWN || message.message == WM_SYSKEYUP) && message.wParam == VK_F10) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (Cancelled() || !model_) return 0;
    uint32_t due = 0;
    if (!model_->Update(count, &due)) return 0;
    if (count <= 0) return 1;
    SendDlgItemMessageA(Window(), kProgressBar, PBM_SETPOS, static_cast<WPARAM>(model_->Percent()), 0);
    if (due > 0 && drawn_ + due <= model_->ThumbnailHeight() + 1) {
        uint8_t* target = thumbnail_.data() + size_t(drawn_) * stride_;
        const auto lines = static_cast<uint32_t>(count);
        const uint32_t w = model_->ThumbnailWidth();
        if (bits_ == 24) ScaleRgbToRgb(rows, width_, lines, target, w, due);
        else if (bits_ == 8) ScaleGrayToRgb(rows, width_, lines, target, w, due);
        else ScaleBitsToRgb(rows, width_, lines, target, w, due);
        drawn_ += due;
        InvalidateRect(Window(), nullptr, FALSE);
        UpdateWindow(Window());
    }
    received_ += static_cast<uint32_t>(count);
    return 1;
}

void CScanProgressDialog::OnPaint()
{
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(Window(), &paint);
    const RECT area = PictureArea();
    // A sunken edge: white left and top, gray right and bottom.
    HPEN white = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    HPEN gray = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
    HGDIOBJ old = SelectObject(dc, white);
    MoveToEx(dc, area.left, area.bottom - 1, nullptr);
    LineTo(dc, area.left, area.top);
    LineTo(dc, area.right - 1, area.top);
    SelectObject(dc, gray);
    LineTo(dc, area.right - 1, area.bottom - 1);
    LineTo(dc, area.left, area.bottom - 1);
    SelectObject(dc, old);
    DeleteObject(white);
    DeleteObject(gray);
    if (model_ && drawn_ > 0) {
        const auto w = static_cast<int>(model_->ThumbnailWidth());
        const auto h = static_cast<int>(drawn_);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        info.bmiHeader.biXPelsPerMeter = 100;
        info.bmiHeader.biYPelsPerMeter = 100;
        // The thumbnail holds the page's own byte order; a DIB wants blue first.
        std::vector<uint8_t> shown(thumbnail_.begin(), thumbnail_.begin() + size_t(stride_) * drawn_);
        if (bits_ == 24) SwapRedBlue(shown.data(), drawn_, stride_);
        const int x = static_cast<int>(area.left + area.right - w) / 2;
        const int y = static_cast<int>(area.bottom) - 4 - static_cast<int>(model_->ThumbnailHeight());
        StretchDIBits(dc, x, y, w, h, 0, 0, w, h, shown.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    }
    EndPaint(Window(), &paint);
}
