// The scanner library bound at run time. `Scanner` is the wrapper the
// commands hold; it owns an `SIScanner`, which loads the library by file
// name and binds every SI_* function by name.
#pragma once

#include <SIInterface.h>
#include <windows.h>

#include <string>

class SIScanner;

class Scanner {
public:
    Scanner() = default;
    virtual ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // Loads the library at `path` and binds it; false when that fails (then
    // nothing of it stays loaded).
    virtual bool Open(const char* path);
    virtual bool IsOpen();
    virtual void Close();

    // Forwarders: SI_ERR_UNKNOWN while nothing is open.
    virtual SIResult GetScannerStatus(int* status);
    virtual SIResult GetPaperStatus(int* present);
    virtual SIResult GetButtonStatus(int button, int* pressed);
    virtual SIResult GetProperty(SIProperty* property);
    virtual SIResult SetProperty(const SIProperty* property);
    virtual SIResult Reset();
    virtual SIResult Diagnostic(int code, int* words);
    virtual SIResult GetLastError();
    virtual SIResult GetLastErrorText(const char** text);
    virtual SIResult StartScan();
    virtual SIResult ReadImageData(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead);
    virtual SIResult EndScan();
    virtual SIResult OpenInterface(const char* name);
    virtual SIResult CloseInterface();
    virtual SIResult GetEvent(SIEvent* event);
    virtual SIResult Calibrate(int argument, SIProgressCallback progress);
    virtual SIResult Clean(SIProgressCallback progress);
    virtual SIResult IsCalibrated(int* calibrated);
    virtual SIResult FeedPaperOut();
    virtual SIResult Feed();

private:
    SIScanner* m_pScanner = nullptr;
    std::string m_path;
};

// The library itself: its module handle and one bound function per export.
class SIScanner : public Scanner {
public:
    SIScanner() = default;
    ~SIScanner() override;

    bool Open(const char* path) override;
    bool IsOpen() override;
    void Close() override;

    SIResult GetScannerStatus(int* status) override;
    SIResult GetPaperStatus(int* present) override;
    SIResult GetButtonStatus(int button, int* pressed) override;
    SIResult GetProperty(SIProperty* property) override;
    SIResult SetProperty(const SIProperty* property) override;
    SIResult Reset() override;
    SIResult Diagnostic(int code, int* words) override;
    SIResult GetLastError() override;
    SIResult GetLastErrorText(const char** text) override;
    SIResult StartScan() override;
    SIResult ReadImageData(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;
    SIResult EndScan() override;
    SIResult OpenInterface(const char* name) override;
    SIResult CloseInterface() override;
    SIResult GetEvent(SIEvent* event) override;
    SIResult Calibrate(int argument, SIProgressCallback progress) override;
    SIResult Clean(SIProgressCallback progress) override;
    SIResult IsCalibrated(int* calibrated) override;
    SIResult FeedPaperOut() override;
    SIResult Feed() override;

private:
    HMODULE m_module = nullptr;
    decltype(&SI_GetScannerStatus) m_getScannerStatus = nullptr;
    decltype(&SI_GetPaperStatus) m_getPaperStatus = nullptr;
    decltype(&SI_GetButtonStatus) m_getButtonStatus = nullptr;
    decltype(&SI_GetProperty) m_getProperty = nullptr;
    decltype(&SI_SetProperty) m_setProperty = nullptr;
    decltype(&SI_Reset) m_reset = nullptr;
    decltype(&SI_Diagnostic) m_diagnostic = nullptr;
    decltype(&SI_GetLastErrorText) m_getLastErrorText = nullptr;
    decltype(&SI_GetLastError) m_getLastError = nullptr;
    decltype(&SI_StartScan) m_startScan = nullptr;
    decltype(&SI_ReadImageData) m_readImageData = nullptr;
    decltype(&SI_EndScan) m_endScan = nullptr;
    decltype(&SI_OpenInterface) m_openInterface = nullptr;
    decltype(&SI_CloseInterface) m_closeInterface = nullptr;
    decltype(&SI_GetEvent) m_getEvent = nullptr;
    decltype(&SI_Calibrate) m_calibrate = nullptr;
    decltype(&SI_IsCalibrated) m_isCalibrated = nullptr;
    decltype(&SI_Clean) m_clean = nullptr;
    decltype(&SI_FeedPaperOut) m_feedPaperOut = nullptr;
    decltype(&SI_Feed) m_feed = nullptr;
};
