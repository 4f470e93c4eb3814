#include "Scanner.h"

#include <new>

namespace {

template <typename Function>
bool Bind(HMODULE module, Function& function, const char* name) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

}  // namespace

// ---- Scanner ----

Scanner::~Scanner() {
    if (m_pScanner != nullptr) Close();
}

bool Scanner::Open(const char* path) {
    // A wrapper opened again lets go of the library it held first.
    if (m_pScanner != nullptr) Close();
    m_pScanner = new (std::nothrow) SIScanner;
    if (m_pScanner == nullptr) return false;
    if (!m_pScanner->Open(path)) {
        delete m_pScanner;
        m_pScanner = nullptr;
        return false;
    }
    m_path = path;
    return true;
}

bool Scanner::IsOpen() { return m_pScanner != nullptr && m_pScanner->IsOpen(); }

void Scanner::Close() {
    if (m_pScanner == nullptr) return;
    m_pScanner->Close();
    delete m_pScanner;
    m_pScanner = nullptr;
}

#define FORWARD(call) \
    if (m_pScanner == nullptr) return SI_ERR_UNKNOWN; \
    return m_pScanner->call

SIResult Scanner::GetScannerStatus(int* status) { FORWARD(GetScannerStatus(status)); }
SIResult Scanner::GetPaperStatus(int* present) { FORWARD(GetPaperStatus(present)); }
SIResult Scanner::GetButtonStatus(int button, int* pressed) { FORWARD(GetButtonStatus(button, pressed)); }
SIResult Scanner::GetProperty(SIProperty* property) { FORWARD(GetProperty(property)); }
SIResult Scanner::SetProperty(const SIProperty* property) { FORWARD(SetProperty(property)); }
SIResult Scanner::Reset() { FORWARD(Reset()); }
SIResult Scanner::Diagnostic(int code, int* words) { FORWARD(Diagnostic(code, words)); }
SIResult Scanner::GetLastError() { FORWARD(GetLastError()); }
SIResult Scanner::GetLastErrorText(const char** text) { FORWARD(GetLastErrorText(text)); }
SIResult Scanner::StartScan() { FORWARD(StartScan()); }
SIResult Scanner::ReadImageData(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) {
    FORWARD(ReadImageData(buffer, lines, side, linesRead));
}
SIResult Scanner::EndScan() { FORWARD(EndScan()); }
SIResult Scanner::OpenInterface(const char* name) { FORWARD(OpenInterface(name)); }
SIResult Scanner::CloseInterface() { FORWARD(CloseInterface()); }
SIResult Scanner::GetEvent(SIEvent* event) { FORWARD(GetEvent(event)); }
SIResult Scanner::Calibrate(int argument, SIProgressCallback progress) { FORWARD(Calibrate(argument, progress)); }
SIResult Scanner::Clean(SIProgressCallback progress) { FORWARD(Clean(progress)); }
SIResult Scanner::IsCalibrated(int* calibrated) { FORWARD(IsCalibrated(calibrated)); }
SIResult Scanner::FeedPaperOut() { FORWARD(FeedPaperOut()); }
SIResult Scanner::Feed() { FORWARD(Feed()); }

#undef FORWARD

// ---- SIScanner ----

SIScanner::~SIScanner() { Close(); }

bool SIScanner::Open(const char* path) {
    Close();
    m_module = LoadLibraryA(path);
    if (m_module == nullptr) {
        OutputDebugStringA((std::string("Could not load DLL using pathname: ") + path).c_str());
        return false;
    }
    const bool bound =
        Bind(m_module, m_getScannerStatus, "SI_GetScannerStatus") &&
        Bind(m_module, m_getPaperStatus, "SI_GetPaperStatus") &&
        Bind(m_module, m_getButtonStatus, "SI_GetButtonStatus") && Bind(m_module, m_getProperty, "SI_GetProperty") &&
        Bind(m_module, m_setProperty, "SI_SetProperty") && Bind(m_module, m_reset, "SI_Reset") &&
        Bind(m_module, m_diagnostic, "SI_Diagnostic") && Bind(m_module, m_getLastErrorText, "SI_GetLastErrorText") &&
        Bind(m_module, m_getLastError, "SI_GetLastError") && Bind(m_module, m_startScan, "SI_StartScan") &&
        Bind(m_module, m_readImageData, "SI_ReadImageData") && Bind(m_module, m_endScan, "SI_EndScan") &&
        Bind(m_module, m_openInterface, "SI_OpenInterface") &&
        Bind(m_module, m_closeInterface, "SI_CloseInterface") && Bind(m_module, m_getEvent, "SI_GetEvent") &&
        Bind(m_module, m_calibrate, "SI_Calibrate") && Bind(m_module, m_isCalibrated, "SI_IsCalibrated") &&
        Bind(m_module, m_clean, "SI_Clean") && Bind(m_module, m_feedPaperOut, "SI_FeedPaperOut") &&
        Bind(m_module, m_feed, "SI_Feed");
    if (!bound) {
        OutputDebugStringA("One or more DLL functions could not be linked.");
        Close();
        return false;
    }
    return true;
}

bool SIScanner::IsOpen() { return m_module != nullptr; }

void SIScanner::Close() {
    if (m_module != nullptr) FreeLibrary(m_module);
    m_module = nullptr;
}

SIResult SIScanner::GetScannerStatus(int* status) { return m_getScannerStatus(status); }
SIResult SIScanner::GetPaperStatus(int* present) { return m_getPaperStatus(present); }
SIResult SIScanner::GetButtonStatus(int button, int* pressed) { return m_getButtonStatus(button, pressed); }
SIResult SIScanner::GetProperty(SIProperty* property) { return m_getProperty(property); }
SIResult SIScanner::SetProperty(const SIProperty* property) { return m_setProperty(property); }
SIResult SIScanner::Reset() { return m_reset(); }
SIResult SIScanner::Diagnostic(int code, int* words) { return m_diagnostic(code, words); }
SIResult SIScanner::GetLastError() { return m_getLastError(); }
SIResult SIScanner::GetLastErrorText(const char** text) { return m_getLastErrorText(text); }
SIResult SIScanner::StartScan() { return m_startScan(); }
SIResult SIScanner::ReadImageData(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) {
    return m_readImageData(buffer, lines, side, linesRead);
}
SIResult SIScanner::EndScan() { return m_endScan(); }
SIResult SIScanner::OpenInterface(const char* name) { return m_openInterface(name); }
SIResult SIScanner::CloseInterface() { return m_closeInterface(); }
SIResult SIScanner::GetEvent(SIEvent* event) { return m_getEvent(event); }
SIResult SIScanner::Calibrate(int argument, SIProgressCallback progress) { return m_calibrate(argument, progress); }
SIResult SIScanner::Clean(SIProgressCallback progress) { return m_clean(progress); }
SIResult SIScanner::IsCalibrated(int* calibrated) { return m_isCalibrated(calibrated); }
SIResult SIScanner::FeedPaperOut() { return m_feedPaperOut(); }
SIResult SIScanner::Feed() { return m_feed(); }
