#include "SiscanOptions.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

namespace {

struct ModeName {
    std::string_view name;
    ScanMode mode;
};

constexpr std::array<ModeName, 3> kModes{{
    {"lineart", ScanMode::LineArt},
    {"gray", ScanMode::Gray},
    {"color", ScanMode::Color},
}};

ParsedOptions Refuse(std::string error)
{
    ParsedOptions parsed;
    parsed.error = std::move(error);
    return parsed;
}

std::optional<int> ParseDpi(std::string_view text)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value <= 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

ParsedOptions ParseSiscanOptions(std::span<const std::string_view> args)
{
    SiscanOptions options;
    bool haveModel = false;
    bool haveOut = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        // Options that take a value, as "--name VALUE" or "--name=VALUE".
        std::string_view name = arg;
        std::optional<std::string_view> value;
        if (const size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        const auto takeValue = [&]() -> std::optional<std::string_view> {
            if (value) {
                return value;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };

        if (name == "--help" || name == "-h") {
            ParsedOptions parsed;
            parsed.help = true;
            return parsed;
        }
        if (name == "--duplex" || name == "--calibrate" || name == "--fixed-length") {
            if (value) {
                return Refuse(std::string(name) + " takes no value");
            }
            (name == "--duplex" ? options.duplex : name == "--calibrate" ? options.calibrate : options.fixedLength) =
                true;
            continue;
        }
        if (name != "--model" && name != "--resolution" && name != "--mode" && name != "--out") {
            return Refuse("unknown argument '" + std::string(arg) + "'");
        }
        const std::optional<std::string_view> given = takeValue();
        if (!given || given->empty()) {
            return Refuse(std::string(name) + " needs a value");
        }
        if (name == "--model") {
            options.model = *given;
            haveModel = true;
        } else if (name == "--out") {
            options.outPrefix = *given;
            haveOut = true;
        } else if (name == "--resolution") {
            options.resolution = ParseDpi(*given);
            if (!options.resolution) {
                return Refuse("--resolution needs a positive whole number of dpi, not '" + std::string(*given) + "'");
            }
        } else {
            const auto* found = std::find_if(kModes.begin(), kModes.end(),
                                             [&](const ModeName& m) { return m.name == *given; });
            if (found == kModes.end()) {
                return Refuse("--mode is lineart, gray or color, not '" + std::string(*given) + "'");
            }
            options.mode = found->mode;
        }
    }
    if (!haveModel) {
        return Refuse("--model is required");
    }
    if (!haveOut) {
        return Refuse("--out is required");
    }
    ParsedOptions parsed;
    parsed.options = std::move(options);
    return parsed;
}

std::string SiscanUsage(std::string_view program)
{
    return "usage: " + std::string(program) +
           " --model NAME [--resolution DPI] [--mode lineart|gray|color] [--duplex] [--calibrate]\n"
           "       [--fixed-length] --out PREFIX\n"
           "Scans the sheet in the feeder with Pelidor.dll, feeds it out and writes PREFIX-front.pnm (and\n"
           "PREFIX-back.pnm with --duplex): PBM for line art, PGM for gray, PPM for colour. The page ends at\n"
           "the sheet's trailing edge; it starts with the scanner's own band of backing (the distance from\n"
           "the paper sensor to the scan line).\n"
           "  --model NAME       scanner model as the library names it, e.g. RM410__ (\"__\": direct USB)\n"
           "  --resolution DPI   horizontal and vertical resolution (default: the library's)\n"
           "  --mode MODE        lineart, gray or color (default color)\n"
           "  --duplex           scan both sides\n"
           "  --calibrate        first calibrate with the calibration sheet in the feeder and eject it,\n"
           "                     then scan the sheet after it\n"
           "  --fixed-length     paper-end detection off: the page is the scan's whole length\n"
           "  --out PREFIX       where the images go\n";
}
