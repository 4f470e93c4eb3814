// A program file written out to the temporary folder for one run: created
// fresh under a unique name (never an existing file or a link someone put
// there), written whole, kept from other writers while it runs, and deleted
// when the object goes, whatever happened.
#pragma once

#include <windows.h>

#include <span>
#include <string>

class TemporaryProgram {
public:
    TemporaryProgram() = default;
    ~TemporaryProgram();
    TemporaryProgram(const TemporaryProgram&) = delete;
    TemporaryProgram& operator=(const TemporaryProgram&) = delete;

    // Writes `image`; false when no fresh file could be made or the image
    // could not be written whole (nothing is left behind then).
    bool Create(std::span<const BYTE> image);
    const std::string& Path() const { return path_; }
    // Holds the written file open for reading only, so nobody can change or
    // delete it while it runs.
    void Hold();
    // Closes the file and deletes it.
    void Remove();

private:
    std::string path_;
    HANDLE hold_ = INVALID_HANDLE_VALUE;
};
