// Where the spooler keeps one page: appended to by the worker thread, read
// at any line by the caller's thread. A reader only asks for bytes that an
// earlier, completed Append wrote, so the two never touch the same bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

class PageSpool {
public:
    virtual ~PageSpool() = default;
    // Appends bytes after the data already written; false when they do not fit
    // or cannot be written.
    virtual bool Append(std::span<const uint8_t> bytes) = 0;
    // Copies out.size() bytes from the byte offset; false unless all were read.
    virtual bool ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
};

// One buffer for the whole page; null when the page cannot be allocated.
std::unique_ptr<PageSpool> CreateMemorySpool(uint64_t pageBytes);
// A new temporary file ("SI" prefix in the system temporary folder), deleted
// with the spool; null when it cannot be made.
std::unique_ptr<PageSpool> CreateFileSpool();
