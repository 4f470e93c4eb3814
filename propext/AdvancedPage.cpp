#include "AdvancedPage.h"

#include "ModuleState.h"
#include "PrefeedSettings.h"
#include "ScannerCommands.h"

#include <MessageTable.h>

#include <commctrl.h>
#include <prsht.h>

#include <cstring>
#include <mutex>

namespace {

// Rows of the message table.
constexpr int kRowCalibrate = 29;
constexpr int kRowClean = 30;
constexpr int kRowCustomSettings = 37;
constexpr int kRowDefault = 60;
constexpr int kRowAdvanced = 156;
constexpr int kRowPrefeed = 157;
constexpr int kRowDelay = 158;
constexpr int kRowDistance = 159;
constexpr int kRowDelayShort = 160;
constexpr int kRowDelayLong = 161;
constexpr int kRowDistanceShort = 162;
constexpr int kRowDistanceLong = 163;

STISettings moduleSettings;
std::once_flag uiModuleOnce;

// The values the page opened with, written back on cancel (one page at a
// time).
PrefeedValues openingValues;
char pageTitle[MAX_PATH];

STISettings& SettingsOf(HWND page) {
    auto* settings = reinterpret_cast<STISettings*>(GetWindowLongPtrA(page, DWLP_USER));
    return settings ? *settings : moduleSettings;
}

void ShowValues(HWND page, const PrefeedValues& values) {
    CheckDlgButton(page, kPrefeedCheck, values.enable ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageA(page, kDelaySlider, TBM_SETPOS, TRUE, values.delay);
    SendDlgItemMessageA(page, kDistanceSlider, TBM_SETPOS, TRUE, values.distance);
}

void SavePrefeedControls(HWND page) {
    PrefeedValues values;
    values.enable = IsDlgButtonChecked(page, kPrefeedCheck) == BST_CHECKED;
    values.delay = static_cast<int>(SendDlgItemMessageA(page, kDelaySlider, TBM_GETPOS, 0, 0));
    values.distance = static_cast<int>(SendDlgItemMessageA(page, kDistanceSlider, TBM_GETPOS, 0, 0));
    WritePrefeedSettings(SettingsOf(page), values);
}

void SetText(HWND page, int control, int row) { SetDlgItemTextA(page, control, MessageText(row).c_str()); }

}  // namespace

STISettings& ModuleSettings() { return moduleSettings; }

void InitUiModule() {
    std::call_once(uiModuleOnce, [] {
        InitPrefeedDefaults(moduleSettings);
        CurrentLanguageId();
    });
}

HRESULT CreateAdvancedPage(LPFNADDPROPSHEETPAGE addPage, LPARAM lParam) {
    InitUiModule();
    if (addPage == nullptr) return E_INVALIDARG;
    const std::string title = MessageText(kRowAdvanced);
    std::strncpy(pageTitle, title.c_str(), sizeof pageTitle - 1);
    PROPSHEETPAGEA sheetPage{};
    sheetPage.dwSize = sizeof sheetPage;
    sheetPage.dwFlags = PSP_USETITLE;
    sheetPage.hInstance = module_state::Instance();
    sheetPage.pszTemplate = MAKEINTRESOURCEA(kAdvancedDialog);
    sheetPage.pfnDlgProc = AdvancedPageProc;
    sheetPage.pszTitle = pageTitle;
    sheetPage.lParam = reinterpret_cast<LPARAM>(&moduleSettings);
    HPROPSHEETPAGE handle = CreatePropertySheetPageA(&sheetPage);
    if (handle == nullptr) return E_FAIL;
    if (addPage(handle, lParam)) return S_OK;
    DestroyPropertySheetPage(handle);
    return E_FAIL;
}

INT_PTR CALLBACK AdvancedPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto* sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
        SetWindowLongPtrA(page, DWLP_USER, sheetPage ? sheetPage->lParam : 0);
        SetText(page, kGroupBox, kRowCustomSettings);
        SetText(page, kPrefeedCheck, kRowPrefeed);
        SetText(page, kDelayLabel, kRowDelay);
        SetText(page, kDistanceLabel, kRowDistance);
        SetText(page, kDelayShort, kRowDelayShort);
        SetText(page, kDelayLong, kRowDelayLong);
        SetText(page, kDistanceShort, kRowDistanceShort);
        SetText(page, kDistanceLong, kRowDistanceLong);
        SetText(page, kCalibrateButton, kRowCalibrate);
        SetText(page, kCleanButton, kRowClean);
        SetText(page, kDefaultButton, kRowDefault);
        PrefeedValues values;
        ReadPrefeedSettings(SettingsOf(page), values);  // the built-in defaults without a device
        SendDlgItemMessageA(page, kDelaySlider, TBM_SETRANGE, FALSE, MAKELONG(kDelayMin, kDelayMax));
        SendDlgItemMessageA(page, kDelaySlider, TBM_SETLINESIZE, 0, kDelayLine);
        SendDlgItemMessageA(page, kDistanceSlider, TBM_SETRANGE, FALSE, MAKELONG(kDistanceMin, kDistanceMax));
        ShowValues(page, values);
        openingValues = values;
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kPrefeedCheck:
            SavePrefeedControls(page);
            break;
        case kCalibrateButton:
            RunCalibrate(page);
            break;
        case kCleanButton:
            RunClean(page);
            break;
        case kDefaultButton: {
            PrefeedValues defaults;
            ReadPrefeedDefaults(SettingsOf(page), defaults);
            WritePrefeedSettings(SettingsOf(page), defaults);
            ShowValues(page, defaults);
            break;
        }
        default:
            break;
        }
        return FALSE;
    case WM_HSCROLL:
        if (LOWORD(wParam) == TB_ENDTRACK) SavePrefeedControls(page);
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && header->code == PSN_QUERYCANCEL) {
            WritePrefeedSettings(SettingsOf(page), openingValues);
            // FALSE: the cancel goes ahead.
            SetWindowLongPtrA(page, DWLP_MSGRESULT, FALSE);
            return TRUE;
        }
        return FALSE;
    }
    case WM_DESTROY:
        return TRUE;
    default:
        return FALSE;
    }
}
