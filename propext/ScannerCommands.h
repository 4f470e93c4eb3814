// The Calibrate and Clean commands of the context menu and the Advanced
// page: each binds the scanner library, opens the scanner, asks for the
// sheet, runs and undoes all of it before it returns.
#pragma once

#include <windows.h>

// Names the commands use.
inline constexpr char kScannerLibrary[] = "Pelidor.dll";
inline constexpr char kInterfaceName[] = "RM310";

// Dialog 104: the prompt for the calibration or the cleaning sheet.
inline constexpr int kPromptDialog = 104;
inline constexpr int kPromptText = 1022;

HRESULT RunCalibrate(HWND owner);
HRESULT RunClean(HWND owner);

INT_PTR CALLBACK CalibratePromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CleanPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
