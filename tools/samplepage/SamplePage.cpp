#include "SamplePage.h"

namespace sample_page {
namespace {

constexpr Rgb kPaper{250, 250, 246};
constexpr Rgb kInk{24, 24, 28};

// Positions in hundredths of an inch.
constexpr uint32_t Hundredths(uint32_t pixels) { return pixels * 100 / kDpi; }

struct Box {
    uint32_t left, top, right, bottom;  // hundredths of an inch, right and bottom exclusive
    constexpr bool Contains(uint32_t x, uint32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// A word-length pattern from a line and word number: deterministic, uneven.
constexpr uint32_t Mix(uint32_t a, uint32_t b)
{
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

// Lines of words: each line 12 hundredths high with a gap of 13, words of
// 25 to 90 hundredths separated by 12, ending ragged before `right`.
bool InText(uint32_t x, uint32_t y, const Box& block)
{
    if (!block.Contains(x, y)) {
        return false;
    }
    const uint32_t line = (y - block.top) / 25;
    if ((y - block.top) % 25 >= 12) {
        return false;
    }
    const uint32_t lineEnd = block.right - Mix(line, 999) % 120;
    uint32_t start = block.left + (line % 6 == 0 ? 40 : 0);  // indented paragraphs
    for (uint32_t word = 0; start < lineEnd; ++word) {
        const uint32_t end = start + 25 + Mix(line, word) % 66;
        if (x >= start && x < end) {
            return end <= lineEnd;
        }
        start = end + 12;
    }
    return false;
}

constexpr std::array<Rgb, 6> kPatches{{
    {200, 30, 40}, {40, 160, 60}, {30, 60, 190}, {40, 180, 200}, {190, 50, 170}, {230, 200, 40},
}};

Rgb Front(uint32_t x, uint32_t y)
{
    // A heading bar and a short rule.
    if (Box{75, 60, 500, 95}.Contains(x, y) || Box{75, 110, 775, 114}.Contains(x, y)) {
        return kInk;
    }
    if (InText(x, y, Box{75, 140, 775, 440})) {
        return kInk;
    }
    // Eleven gray steps from black to white.
    if (Box{75, 480, 775, 580}.Contains(x, y)) {
        const uint32_t step = (x - 75) * 11 / 700;
        const auto level = static_cast<uint8_t>(step * 255 / 10);
        return {level, level, level};
    }
    // Colour patches.
    if (Box{75, 620, 775, 720}.Contains(x, y)) {
        const uint32_t patch = (x - 75) * 6 / 700;
        if ((x - 75) * 6 % 700 < 600) {  // a paper gap between patches
            return kPatches[patch];
        }
        return kPaper;
    }
    // A smooth ramp, dark to light.
    if (Box{75, 760, 775, 800}.Contains(x, y)) {
        const auto level = static_cast<uint8_t>((x - 75) * 255 / 700);
        return {level, level, level};
    }
    if (InText(x, y, Box{75, 840, 775, 1040})) {
        return kInk;
    }
    return kPaper;
}

Rgb Back(uint32_t x, uint32_t y)
{
    // A solid block at the top left and text in the left column only, so a
    // mirrored or upside-down back shows at once.
    if (Box{75, 60, 300, 260}.Contains(x, y)) {
        return kInk;
    }
    if (InText(x, y, Box{75, 300, 400, 1000})) {
        return kInk;
    }
    // A coloured band at the bottom right.
    if (Box{500, 900, 775, 1000}.Contains(x, y)) {
        return kPatches[2];
    }
    return kPaper;
}

}  // namespace

Rgb Pixel(Face face, uint32_t x, uint32_t y)
{
    const uint32_t hx = Hundredths(x);
    const uint32_t hy = Hundredths(y);
    return face == Face::Front ? Front(hx, hy) : Back(hx, hy);
}

}  // namespace sample_page
