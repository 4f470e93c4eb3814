// The minidriver's process-wide logger: through the Still Image service's
// error log on older systems, through the WIA logging object on Windows Me,
// XP and later. One logger per process, shared by every device object.
#pragma once

#include <stiusd.h>
#include <wiamindr.h>

class LogBase {
public:
    LogBase() = default;
    virtual ~LogBase() = default;
    LogBase(const LogBase&) = delete;
    LogBase& operator=(const LogBase&) = delete;
    virtual void Write1(const char* text) = 0;
    virtual void Write2(const char* text) = 0;
    virtual void Write3(const char* text) = 0;
};

class StiLog final : public LogBase {
public:
    explicit StiLog(IStiDeviceControl* control);
    ~StiLog() override;
    void Write1(const char* text) override { Write(STI_TRACE_INFORMATION, text); }
    void Write2(const char* text) override { Write(STI_TRACE_WARNING, text); }
    void Write3(const char* text) override { Write(STI_TRACE_ERROR, text); }

private:
    void Write(DWORD type, const char* text);
    IStiDeviceControl* control_;
};

class WiaLog final : public LogBase {
public:
    WiaLog();
    ~WiaLog() override;
    void Write1(const char*) override {}
    void Write2(const char*) override {}
    void Write3(const char*) override {}
    bool HasObject() const { return log_ != nullptr; }

private:
    IWiaLog* log_ = nullptr;
};

// First call creates the logger, later calls count; true.
bool OpenLog(IStiDeviceControl* control);
// Drops one reference; the last deletes the logger.
void CloseLog();
// The logger while one is open (for tests and writers), else null.
LogBase* CurrentLog();
