// The library's trace log: one process-wide log, opened and closed with a
// count, written to the debugger output or to a file on drive C.
//
// Code that logs composes its line in the message stream and writes it, both
// under the log's lock, through LogLine:
//     { LogLine line; line << "Opened " << name; }
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <sstream>
#include <string>

class LogBase {
public:
    virtual ~LogBase() = default;
    virtual void WriteTimed() {}
    virtual void Write() {}
    virtual void WriteUntimed() {}
};

// Each writer sends the message stream's text to the debugger output.
class DebugLog : public LogBase {
public:
    void WriteTimed() override;
    void Write() override;
    void WriteUntimed() override;
};

// Appends to "C:\varnixdll_<pid>.log" on the emulated drive.
class FileLog : public LogBase {
public:
    FileLog();
    ~FileLog() override;
    FileLog(const FileLog&) = delete;
    FileLog& operator=(const FileLog&) = delete;

    void WriteTimed() override;
    void Write() override;
    void WriteUntimed() override;

    bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }

private:
    void Append(const std::string& text);

    HANDLE file_ = INVALID_HANDLE_VALUE;
    uint32_t openedAt_ = 0;
};

class ScanLog {
public:
    enum Kind { kFile = 0, kDebug = 1 };

    // Opens the log (the first open picks the kind) or counts another open.
    static bool Open(int kind);
    // Counts a close; the last one destroys the log.
    static void Close();

    // The process-wide message stream and the lock that guards composing and
    // writing it. Use LogLine rather than these directly.
    static std::ostringstream& Stream();
    static std::recursive_mutex& Mutex();
    // Writes the stream's text through the current log, if any.
    static void WriteTimed();

    static int OpenCount();
};

// Composes one line in the message stream and writes it timed on destruction.
class LogLine {
public:
    LogLine();
    ~LogLine();
    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;

    template <typename T>
    LogLine& operator<<(const T& value) {
        ScanLog::Stream() << value;
        return *this;
    }

private:
    std::lock_guard<std::recursive_mutex> guard_;
};
