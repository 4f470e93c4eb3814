// A page spool in a temporary file: the worker appends through one handle,
// the caller reads through another, so neither moves the other's position.
// The file is deleted when both handles close (or the process ends).
#pragma once

#include "engine/spool/PageSpool.h"

#include <windows.h>

#include <string>

class FilePageSpool : public PageSpool {
public:
    FilePageSpool() = default;
    ~FilePageSpool() override;
    FilePageSpool(const FilePageSpool&) = delete;
    FilePageSpool& operator=(const FilePageSpool&) = delete;

    // Makes the temporary file and opens both handles; false on any failure.
    bool Open();
    bool Append(std::span<const uint8_t> bytes) override;
    bool ReadAt(uint64_t offset, std::span<uint8_t> out) override;

private:
    void Close();

    // The file's name while the spool is being opened; empty once the
    // delete-on-close handle owns the file.
    std::string path_;
    HANDLE writer_ = INVALID_HANDLE_VALUE;
    HANDLE reader_ = INVALID_HANDLE_VALUE;
};
