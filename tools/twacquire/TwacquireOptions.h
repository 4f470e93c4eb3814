// twacquire's command line.
#pragma once

#include <twain.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>

struct TwacquireOptions {
    std::string source;  // product name; empty: the default source
    TW_UINT16 mechanism = TWSX_NATIVE;
    std::optional<TW_UINT16> pixelType;
    std::optional<int> resolution;
    bool duplex = false;
    std::optional<int> count;
    std::string outPrefix;
};

struct ParsedTwacquireOptions {
    std::optional<TwacquireOptions> options;
    std::string error;
    bool help = false;
};

ParsedTwacquireOptions ParseTwacquireOptions(std::span<const std::string_view> args);
std::string TwacquireUsage(std::string_view program);
