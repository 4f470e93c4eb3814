#pragma once

#include "PnmImage.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace emulator {

// How PNM samples become reflectances: linear, or sRGB decoded first.
enum class PnmTransfer : std::uint8_t { Linear, Srgb };

// One side of a sheet on a 600-dpi grid: an image, a row profile (generated
// sheets), or plain white.
class SheetSide {
public:
    SheetSide() = default;
    SheetSide(std::shared_ptr<const PnmImage> image, PnmTransfer transfer);
    explicit SheetSide(std::vector<float> rowProfile);

    // Reflectance of a grid cell in one colour (0 red, 1 green, 2 blue).
    float Reflectance(std::uint32_t column, std::uint32_t row, int colour) const;

private:
    std::shared_ptr<const PnmImage> image_;
    std::vector<float> lut_;         // sample → reflectance
    std::vector<float> rowProfile_;  // reflectance by row, all colours
};

// A sheet: a front and a back side at 600 dpi, both of one size.
class Sheet {
public:
    static constexpr int kDpi = 600;
    static constexpr double kWhite = 0.90;

    // Error "back size differs", "sheet too small".
    static Sheet FromImages(PnmImage front, std::optional<PnmImage> back, PnmTransfer transfer);
    // Error "cannot read FILE", "not a P5 or P6 image", and those above.
    static Sheet FromFiles(const std::filesystem::path& front, const std::filesystem::path& back,
                           PnmTransfer transfer);
    // The generated calibration sheet: 11 in long, white, a dark strip at
    // 2.10-4.60 in, white; both sides alike.
    static Sheet Calibration(double widthIn);

    std::uint32_t Columns() const { return columns_; }
    std::uint32_t Rows() const { return rows_; }
    double WidthIn() const { return static_cast<double>(columns_) / kDpi; }
    double LengthIn() const { return static_cast<double>(rows_) / kDpi; }
    const SheetSide& Side(int side) const { return sides_[side != 0 ? 1 : 0]; }

private:
    Sheet(std::uint32_t columns, std::uint32_t rows, SheetSide front, SheetSide back);
    static Sheet FromShared(std::shared_ptr<const PnmImage> front, std::shared_ptr<const PnmImage> back,
                            PnmTransfer transfer);

    std::uint32_t columns_;
    std::uint32_t rows_;
    std::array<SheetSide, 2> sides_;
};

} // namespace emulator
