// A sheet image as the virtual scanner reads it: any bytes parsed as PNM,
// made into a sheet when they parse, and sampled at its corners.
#include "paper/PnmImage.h"
#include "paper/Sheet.h"

#include <emulator/VirtualScanner.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        emulator::PnmImage image = emulator::ParsePnm(std::span<const uint8_t>(data, size));
        const uint32_t width = image.width;
        const uint32_t height = image.height;
        volatile uint32_t sum = image.At(width - 1, height - 1, 2);
        const emulator::Sheet sheet = emulator::Sheet::FromImages(std::move(image), std::nullopt, emulator::PnmTransfer::Srgb);
        for (int colour = 0; colour < 3; ++colour) {
            sum = sum + static_cast<uint32_t>(sheet.Side(0).Reflectance(width - 1, height - 1, colour));
            sum = sum + static_cast<uint32_t>(sheet.Side(0).Reflectance(0, 0, colour));
        }
    } catch (const emulator::Error&) {
        // refused with a clear error: what any bad input must get
    }
    return 0;
}
