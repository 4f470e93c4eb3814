#include "Sheet.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

#include <emulator/VirtualScanner.h>

namespace emulator {

namespace {

constexpr double kMinLengthIn = 2.0;
constexpr double kMinWidthIn = 1.0;

constexpr double kCalibrationLengthIn = 11.0;
constexpr double kStripStartIn = 2.10;
constexpr double kStripEndIn = 4.60;
constexpr float kStripReflectance = 0.01f;

// Sheets queued from one file share its decoded image while any of them is
// in the scanner: a feeder of many copies of a page costs one image, which
// keeps a 32-bit scanner within its address space. A file written anew
// (another size or time) is read again.
std::shared_ptr<const PnmImage> SharedImage(const std::filesystem::path& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    const auto written = std::filesystem::last_write_time(path, error).time_since_epoch().count();
    if (error)
        return std::make_shared<const PnmImage>(ReadPnm(path));
    using Key = std::tuple<std::string, std::uintmax_t, std::int64_t>;
    static std::mutex lock;
    static std::map<Key, std::weak_ptr<const PnmImage>> images;
    const Key key{std::filesystem::absolute(path, error).string(), size, static_cast<std::int64_t>(written)};
    std::lock_guard guard(lock);
    if (auto image = images[key].lock())
        return image;
    auto image = std::make_shared<const PnmImage>(ReadPnm(path));
    std::erase_if(images, [](const auto& entry) { return entry.second.expired(); });
    images[key] = image;
    return image;
}

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

Sheet Sheet::FromShared(std::shared_ptr<const PnmImage> front, std::shared_ptr<const PnmImage> back,
                        PnmTransfer transfer)
{
    if (back && (back->width != front->width || back->height != front->height))
        throw Error("back size differs");
    if (front->height < kMinLengthIn * kDpi || front->width < kMinWidthIn * kDpi)
        throw Error("sheet too small");
    const std::uint32_t columns = front->width;
    const std::uint32_t rows = front->height;
    SheetSide frontSide(std::move(front), transfer);
    SheetSide backSide = back ? SheetSide(std::move(back), transfer) : SheetSide();
    return Sheet(columns, rows, std::move(frontSide), std::move(backSide));
}

Sheet Sheet::FromImages(PnmImage front, std::optional<PnmImage> back, PnmTransfer transfer)
{
    return FromShared(std::make_shared<const PnmImage>(std::move(front)),
                      back ? std::make_shared<const PnmImage>(std::move(*back)) : nullptr, transfer);
}

Sheet Sheet::FromFiles(const std::filesystem::path& front, const std::filesystem::path& back,
                       PnmTransfer transfer)
{
    auto frontImage = SharedImage(front);
    return FromShared(std::move(frontImage), back.empty() ? nullptr : SharedImage(back), transfer);
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
