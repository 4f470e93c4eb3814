// The "Advanced" property page: prefeed on or off, its delay and distance,
// written to the scanner's device values as the user moves the controls;
// and the Calibrate, Clean and Default buttons.
#pragma once

#include "STISettings.h"

#include <shobjidl.h>

// Dialog 107 and its controls.
inline constexpr int kAdvancedDialog = 107;
inline constexpr int kGroupBox = 1008;
inline constexpr int kPrefeedCheck = 1022;
inline constexpr int kDelayLabel = 1024;
inline constexpr int kDistanceLabel = 1026;
inline constexpr int kDelaySlider = 1029;
inline constexpr int kDistanceSlider = 1030;
inline constexpr int kDistanceShort = 1031;
inline constexpr int kDistanceLong = 1032;
inline constexpr int kDelayShort = 1033;
inline constexpr int kDelayLong = 1034;
inline constexpr int kCalibrateButton = 1001;
inline constexpr int kCleanButton = 1002;
inline constexpr int kDefaultButton = 1021;

// Slider ranges.
inline constexpr int kDelayMin = 200;
inline constexpr int kDelayMax = 2500;
inline constexpr int kDelayLine = 50;
inline constexpr int kDistanceMin = 1;
inline constexpr int kDistanceMax = 40;

// What the module does once before its first class object, page or Still
// Image page enumeration: seeds the prefeed defaults and chooses the
// message language.
void InitUiModule();

// The module's one settings object.
STISettings& ModuleSettings();

// Creates the page and hands it to the host's callback: S_OK when the host
// took it; E_FAIL when the page could not be made or the host refused it
// (the page is destroyed then).
HRESULT CreateAdvancedPage(LPFNADDPROPSHEETPAGE addPage, LPARAM lParam);

INT_PTR CALLBACK AdvancedPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
