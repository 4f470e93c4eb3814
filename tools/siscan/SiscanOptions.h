// siscan's command line.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

enum class ScanMode { LineArt = 0, Gray = 1, Color = 2 };

struct SiscanOptions {
    std::string model;
    std::optional<int> resolution;  // dpi; absent: the library's default
    ScanMode mode = ScanMode::Color;
    bool duplex = false;
    bool calibrate = false;
    bool fixedLength = false;  // paper-end detection off: the page is the whole scan length
    std::string outPrefix;
};

struct ParsedOptions {
    std::optional<SiscanOptions> options;
    std::string error;  // why the command line was refused when options is empty
    bool help = false;  // --help was given
};

// Parses the arguments after the program name.
ParsedOptions ParseSiscanOptions(std::span<const std::string_view> args);

// The usage text, naming the program as given.
std::string SiscanUsage(std::string_view program);
