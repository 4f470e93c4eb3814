#include "DriverLog.h"

#include "ModuleState.h"
#include "TextConversion.h"

#include <objbase.h>
#include <windows.h>

#include <mutex>

namespace {

struct LoggerSingleton {
    std::mutex mutex;
    LogBase* log = nullptr;
    long references = 0;
};

LoggerSingleton& Logger() {
    static LoggerSingleton singleton;
    return singleton;
}

// Windows Me (4.90), XP and Server 2003 (5.1, 5.2) and every later major
// version log through the WIA logging object.
bool UseWiaLog() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return false;
    if (version.dwMajorVersion > 5) return true;
    if (version.dwMajorVersion == 5) return version.dwMinorVersion >= 1;
    return version.dwMajorVersion == 4 && version.dwMinorVersion == 90;
}

}  // namespace

StiLog::StiLog(IStiDeviceControl* control) : control_(control) {
    if (control_) control_->AddRef();
}

StiLog::~StiLog() {
    if (control_) control_->Release();
}

void StiLog::Write(DWORD type, const char* text) {
    if (!control_ || !text) return;
    const std::wstring wide = AnsiToWide(text);
    control_->WriteToErrorLog(type, wide.c_str(), 0);
}

WiaLog::WiaLog() {
    if (FAILED(CoCreateInstance(CLSID_WiaLog, nullptr, CLSCTX_INPROC_SERVER, IID_IWiaLog,
                                reinterpret_cast<void**>(&log_)))) {
        log_ = nullptr;
        return;
    }
    log_->InitializeLog(static_cast<LONG>(reinterpret_cast<intptr_t>(module_state::Instance())));
    BSTR line = SysAllocString(L"Logging COM object created successfully");
    log_->Log(WIALOG_TRACE, 0, WIALOG_LEVEL1, line);
    SysFreeString(line);
}

WiaLog::~WiaLog() {
    if (log_) log_->Release();
}

bool OpenLog(IStiDeviceControl* control) {
    LoggerSingleton& logger = Logger();
    std::lock_guard<std::mutex> lock(logger.mutex);
    if (logger.log == nullptr) {
        if (UseWiaLog()) {
            logger.log = new WiaLog;
        } else {
            logger.log = new StiLog(control);
        }
        logger.references = 0;
    }
    ++logger.references;
    return true;
}

void CloseLog() {
    LoggerSingleton& logger = Logger();
    std::lock_guard<std::mutex> lock(logger.mutex);
    if (logger.references == 0) return;
    if (--logger.references == 0) {
        delete logger.log;
        logger.log = nullptr;
    }
}

LogBase* CurrentLog() {
    LoggerSingleton& logger = Logger();
    std::lock_guard<std::mutex> lock(logger.mutex);
    return logger.log;
}
