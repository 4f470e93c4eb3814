// The scanner libraries the calibrator knows and the model each one opens.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct ModelRow {
    const char* libraryFile;
    const char* model;
};

// The model of the first row whose library file equals `libraryFile`
// without regard to letter case.
std::optional<std::string> ModelForLibrary(std::string_view libraryFile);
