// The calibrator: Calibrate.exe LIBRARY [MODEL] opens the scanner through
// the library, asks for the calibration sheet, calibrates under a progress
// dialog and reports the result.
#pragma once

#include "CustomCommandLineInfo.h"

#include <afxwin.h>

class CCalibrateApp : public CWinApp {
public:
    BOOL InitInstance() override;

private:
    void RunCalibration(const CCustomCommandLineInfo& commandLine);
};
