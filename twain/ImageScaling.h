// Downscaling a block of 1-bit, 8-bit or 24-bit rows into a 24-bit image of
// a given size, each target pixel the mean of its block of source pixels.
// Source and target rows are padded to 4 bytes; 24-bit pixels are stored in
// the order they come (the target keeps it).
#pragma once

#include <cstdint>

void ScaleBitsToRgb(const uint8_t* source, uint32_t sourceWidth, uint32_t sourceHeight, uint8_t* target,
                    uint32_t targetWidth, uint32_t targetHeight);
void ScaleGrayToRgb(const uint8_t* source, uint32_t sourceWidth, uint32_t sourceHeight, uint8_t* target,
                    uint32_t targetWidth, uint32_t targetHeight);
void ScaleRgbToRgb(const uint8_t* source, uint32_t sourceWidth, uint32_t sourceHeight, uint8_t* target,
                   uint32_t targetWidth, uint32_t targetHeight);
