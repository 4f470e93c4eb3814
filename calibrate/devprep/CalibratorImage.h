// The calibrator program this module carries: resource "APP" 103.
#pragma once

#include <windows.h>

#include <span>

inline constexpr WORD kCalibratorResource = 103;
inline constexpr const char* kCalibratorResourceType = "APP";

// The whole program file, or an empty span when the module has none.
std::span<const BYTE> CalibratorImage(HMODULE module);
