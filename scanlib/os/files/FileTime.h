// The last-write time of a file, to notice that another process rewrote it.
#pragma once

#include <cstdint>
#include <memory>

class FileTime {
public:
    FileTime() = default;
    virtual ~FileTime() = default;
    FileTime(const FileTime&) = delete;
    FileTime& operator=(const FileTime&) = delete;

    virtual bool Equals(const FileTime& other) const = 0;
    // The file's last-write time; false when the file cannot be examined,
    // the stored time then unchanged.
    virtual bool Load(const char* path) = 0;
    virtual void Assign(const FileTime& other) = 0;
    virtual uint64_t Value() const = 0;
};

class FileTimeWin : public FileTime {
public:
    bool Equals(const FileTime& other) const override;
    bool Load(const char* path) override;
    void Assign(const FileTime& other) override;
    uint64_t Value() const override { return time_; }

private:
    uint64_t time_ = 0;
};

std::unique_ptr<FileTime> CreateFileTime();
