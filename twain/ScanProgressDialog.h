// The scan progress dialog (template 330): a progress bar and a thumbnail of
// the page that grows as lines arrive, the application's messages pumped
// between blocks of lines, Cancel, and no suspension in the middle of a scan.
#pragma once

#include "ScanProgress.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

// A modeless dialog with a cancel flag: Cancel sets it and the dialog stays
// open; a request to suspend the machine is refused, an announced
// suspension sets the flag.
class CCancelDialog {
public:
    virtual ~CCancelDialog();
    CCancelDialog(const CCancelDialog&) = delete;
    CCancelDialog& operator=(const CCancelDialog&) = delete;

    HWND Window() const { return window_; }
    bool Cancelled() const { return cancelled_; }

protected:
    CCancelDialog() = default;
    // Creates the window from the template in this module.
    bool Create(int templateId, HWND parent);
    virtual void OnInitDialog() {}
    virtual void OnPaint() {}
    void SetCancelled() { cancelled_ = true; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    bool cancelled_ = false;
};

class CScanProgressDialog : public CCancelDialog {
public:
    static constexpr int kTemplate = 330;
    static constexpr int kProgressBar = 1110;
    static constexpr int kPicture = 1111;

    // Creates and shows the dialog for a page of `bits` per pixel, `width`
    // pixels and `lines` rows; Window() is null when it cannot be made.
    CScanProgressDialog(HWND parent, uint32_t bits, uint32_t width, uint32_t lines);

    // A block of `count` rows (padded to 4 bytes) in the page's format: 0
    // when the user cancelled, else 1.
    int ScanProgressCallback(const uint8_t* rows, int count);
    void NewPage();

    const ScanProgressModel* Model() const { return model_.get(); }

private:
    void OnInitDialog() override;
    void OnPaint() override;
    RECT PictureArea() const;

    uint32_t bits_;
    uint32_t width_;
    uint32_t lines_;
    std::unique_ptr<ScanProgressModel> model_;
    std::vector<uint8_t> thumbnail_;  // 24-bit, top-down, height + 1 rows
    uint32_t stride_ = 0;
    uint32_t drawn_ = 0;
    uint32_t received_ = 0;
};
