#include "Sheet.h"

#include <cmath>

#include <emulator/VirtualScanner.h>

namespace emulator {

namespace {

constexpr double kMinLengthIn = 2.0;
constexpr double kMinWidthIn = 1.0;

constexpr double kCalibrationLengthIn = 11.0;
constexpr double kStripStartIn = 2.10;
constexpr double kStripEndIn = 4.60;
constexpr float kStripReflectance = 0.01f;

double SrgbToLinear(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

} // namespace

SheetSide::SheetSide(std::shared_ptr<const PnmImage> image, PnmTransfer transfer) : image_(std::move(image))
{
    lut_.resize(image_->maxval + 1u);
    for (std::uint32_t v = 0; v <= image_->maxval; ++v) {
        double level = static_cast<double>(v) / image_->maxval;
        if (transfer == PnmTransfer::Srgb)
            level = SrgbToLinear(level);
        lut_[v] = static_cast<float>(Sheet::kWhite * level);
    }
}

SheetSide::SheetSide(std::vector<float> rowProfile) : rowProfile_(std::move(rowProfile)) {}

float SheetSide::Reflectance(std::uint32_t column, std::uint32_t row, int colour) const
{
    if (image_)
        return lut_[image_->At(column, row, static_cast<std::uint32_t>(colour))];
    if (!rowProfile_.empty())
        return rowProfile_[row];
    return static_cast<float>(Sheet::kWhite);
}

Sheet::Sheet(std::uint32_t columns, std::uint32_t rows, SheetSide front, SheetSide back)
    : columns_(columns), rows_(rows), sides_{std::move(front), std::move(back)}
{
}

Sheet Sheet::FromImages(PnmImage front, std::optional<PnmImage> back, PnmTransfer transfer)
{
    if (back && (back->width != front.width || back->height != front.height))
        throw Error("back size differs");
    if (front.height < kMinLengthIn * kDpi || front.width < kMinWidthIn * kDpi)
        throw Error("sheet too small");
    const std::uint32_t columns = front.width;
    const std::uint32_t rows = front.height;
    SheetSide frontSide(std::make_shared<const PnmImage>(std::move(front)), transfer);
    SheetSide backSide = back ? SheetSide(std::make_shared<const PnmImage>(std::move(*back)), transfer) : SheetSide();
    return Sheet(columns, rows, std::move(frontSide), std::move(backSide));
}

Sheet Sheet::FromFiles(const std::filesystem::path& front, const std::filesystem::path& back,
                       PnmTransfer transfer)
{
    PnmImage frontImage = ReadPnm(front);
    std::optional<PnmImage> backImage;
    if (!back.empty())
        backImage = ReadPnm(back);
    return FromImages(std::move(frontImage), std::move(backImage), transfer);
}

Sheet Sheet::Calibration(double widthIn)
{
    const auto rows = static_cast<std::uint32_t>(std::lround(kCalibrationLengthIn * kDpi));
    const auto columns = static_cast<std::uint32_t>(std::lround(widthIn * kDpi));
    std::vector<float> profile(rows, static_cast<float>(kWhite));
    const auto stripFirst = static_cast<std::uint32_t>(std::lround(kStripStartIn * kDpi));
    const auto stripEnd = static_cast<std::uint32_t>(std::lround(kStripEndIn * kDpi));
    for (std::uint32_t r = stripFirst; r < stripEnd; ++r)
        profile[r] = kStripReflectance;
    SheetSide side(std::move(profile));
    return Sheet(columns, rows, side, side);
}

} // namespace emulator
