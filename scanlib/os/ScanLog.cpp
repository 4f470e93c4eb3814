#include "os/ScanLog.h"

#include <mmsystem.h>

#include <cstdio>

namespace {

// Namespace-scope state: the detach path may still log after function-local
// statics are gone.
std::recursive_mutex g_logMutex;
std::ostringstream g_stream;
std::unique_ptr<LogBase> g_log;
int g_openCount = 0;

void ResetStream() {
    g_stream.str(std::string());
    g_stream.clear();
}

}  // namespace

void DebugLog::WriteTimed() { OutputDebugStringA(ScanLog::Stream().str().c_str()); }
void DebugLog::Write() { OutputDebugStringA(ScanLog::Stream().str().c_str()); }
void DebugLog::WriteUntimed() { OutputDebugStringA(ScanLog::Stream().str().c_str()); }

FileLog::FileLog() {
    const std::string pid = std::to_string(GetCurrentProcessId());
    const std::string name = "C:\\varnixdll_" + pid + ".log";
    file_ = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!IsOpen()) return;
    openedAt_ = timeGetTime();
    Append("<<<<<<<< DLL file log opened with process id " + pid + " >>>>>>>\n");
}

FileLog::~FileLog() {
    if (!IsOpen()) return;
    Append("<<<<<<<< DLL file log closing >>>>>>>\n");
    CloseHandle(file_);
}

void FileLog::Append(const std::string& text) {
    // Other processes append to the same file: always write at its end.
    SetFilePointer(file_, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    FlushFileBuffers(file_);
}

void FileLog::WriteTimed() {
    if (!IsOpen()) return;
    char stamp[24];
    std::snprintf(stamp, sizeof stamp, "[%07u]", static_cast<unsigned>(timeGetTime() - openedAt_));
    Append(stamp + ScanLog::Stream().str() + "\n");
}

void FileLog::Write() {
    if (IsOpen()) Append(ScanLog::Stream().str() + "\n");
}

void FileLog::WriteUntimed() { Write(); }

bool ScanLog::Open(int kind) {
    std::lock_guard<std::recursive_mutex> guard(g_logMutex);
    if (g_log) {
        ++g_openCount;
        ResetStream();
        g_stream << "Opening another ScanLog. OpenCount = " << g_openCount;
        g_log->WriteTimed();
        return true;
    }
    if (kind == kFile) {
        g_log = std::make_unique<FileLog>();
    } else if (kind == kDebug) {
        g_log = std::make_unique<DebugLog>();
    }
    g_openCount = 1;
    return true;
}

void ScanLog::Close() {
    std::lock_guard<std::recursive_mutex> guard(g_logMutex);
    if (!g_log) return;
    if (g_openCount <= 1) {
        g_log.reset();
        g_openCount = 0;
        return;
    }
    --g_openCount;
    ResetStream();
    g_stream << "ScanLog: OpenCount down to " << g_openCount;
    g_log->WriteTimed();
}

std::ostringstream& ScanLog::Stream() { return g_stream; }

std::recursive_mutex& ScanLog::Mutex() { return g_logMutex; }

void ScanLog::WriteTimed() {
    std::lock_guard<std::recursive_mutex> guard(g_logMutex);
    if (g_log) g_log->WriteTimed();
}

int ScanLog::OpenCount() {
    std::lock_guard<std::recursive_mutex> guard(g_logMutex);
    return g_openCount;
}

LogLine::LogLine() : guard_(ScanLog::Mutex()) { ResetStream(); }

LogLine::~LogLine() { ScanLog::WriteTimed(); }
