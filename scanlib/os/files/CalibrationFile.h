// The file through which a calibration is written and read: open by mode,
// whole-buffer reads and writes, and absolute seeks.
#pragma once

#include <windows.h>

#include <memory>

enum CalibrationFileMode : int {
    kCalibrationFileNone = 0,
    kCalibrationFileRead = 1,
    kCalibrationFileWrite = 2,      // creates or truncates
    kCalibrationFileReadWrite = 3,  // the file must exist
};

class CalibrationFile {
public:
    CalibrationFile() = default;
    virtual ~CalibrationFile() = default;
    CalibrationFile(const CalibrationFile&) = delete;
    CalibrationFile& operator=(const CalibrationFile&) = delete;

    // Closes a file already open, then opens path by mode (mode & 3).
    virtual bool Open(const char* path, int mode) = 0;
    virtual void Close() = 0;
    // True when all n bytes were written; false for null data, a negative n
    // or a closed file; n = 0 is true.
    virtual bool Write(const void* data, int n) = 0;
    // True when all n bytes were read; the same rules.
    virtual bool Read(void* data, int n) = 0;
    // Moves to offset from the beginning; true when the new position is offset.
    virtual bool Seek(int offset) = 0;
    virtual bool IsOpen() = 0;
};

class CalibrationFileWin : public CalibrationFile {
public:
    CalibrationFileWin() = default;
    ~CalibrationFileWin() override;

    bool Open(const char* path, int mode) override;
    void Close() override;
    bool Write(const void* data, int n) override;
    bool Read(void* data, int n) override;
    bool Seek(int offset) override;
    bool IsOpen() override;

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

std::unique_ptr<CalibrationFile> CreateCalibrationFile();
