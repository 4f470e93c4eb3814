// A page spool in a temporary file: the worker appends through one handle,
// the caller reads through another, so neither moves the other's position.
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
    const std::string& Path() const { return path_; }

private:
    void Close();

    std::string path_;
    HANDLE writer_ = INVALID_HANDLE_VALUE;
    HANDLE reader_ = INVALID_HANDLE_VALUE;
};
