#include "SensorReadout.h"

namespace emulator {

namespace {

constexpr int ColourIndex(char first)
{
    return first == 'r' ? 0 : first == 'g' ? 1 : 2;
}

} // namespace

PixelSettings MakePixelSettings(const Switches& switches)
{
    PixelSettings settings;
    settings.seed = static_cast<std::uint64_t>(switches.Integer("seed"));
    const std::string& sensitivity = switches.Get("sensitivity");
    settings.sensitivity = sensitivity == "bright" ? Sensitivity::Bright
                           : sensitivity == "dim"  ? Sensitivity::Dim
                                                   : Sensitivity::Normal;
    // "(blue, green, red)": the colour of chip colours 0, 1, 2 by first letter.
    const std::string& leds = switches.Get("led_colours");
    std::size_t k = 0;
    for (std::size_t i = 0; i < leds.size() && k < 3; ++i) {
        const char c = leds[i];
        if ((c == 'r' || c == 'g' || c == 'b') && (i == 0 || leds[i - 1] == '(' || leds[i - 1] == ' '))
            settings.ledColours[k++] = ColourIndex(c);
    }
    settings.samplingShadingShift = static_cast<int>(switches.Integer("sampling_shading_shift"));
    settings.darkLevel = switches.Number("dark_level");
    return settings;
}

SensorReadout::SensorReadout(const BoardProfile& board, const Switches& switches, DeviceLogsStore& logs)
    : opticalDpi_(board.opticalDpi),
      idealColourSampling_(switches.Get("colour_sampling") == "ideal"),
      pixels_(board, MakePixelSettings(switches), logs),
      front_(static_cast<std::size_t>(board.pixelsPerSide)),
      back_(static_cast<std::size_t>(board.pixelsPerSide))
{
}

std::vector<std::uint8_t> SensorReadout::ReadLine(const LineSetup& setup, std::uint32_t clockHz, bool lampLit,
                                                  const FrontEnd& frontEnd, const PaperPath& paper,
                                                  std::span<const std::uint16_t> shadingMemory,
                                                  std::span<const std::uint16_t> gammaMemory)
{
    // Where the moving sheet is at the middle of the line.
    std::optional<double> y = paper.PositionAt(setup.middle);
    if (idealColourSampling_ && !setup.mono) {
        if (setup.chipColour == 0 || !tripleY_)
            tripleY_ = paper.LeadingEdge();
        y = tripleY_;
    }
    paper.SampleLine(0, opticalDpi_, front_, y);
    paper.SampleLine(1, opticalDpi_, back_, y);
    return pixels_.MakeLine(setup, clockHz, lampLit, frontEnd, LineScene{front_, back_}, shadingMemory,
                            gammaMemory);
}

} // namespace emulator
