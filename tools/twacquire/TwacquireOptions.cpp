#include "TwacquireOptions.h"

#include <charconv>

namespace {

std::optional<int> Number(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

ParsedTwacquireOptions ParseTwacquireOptions(std::span<const std::string_view> args)
{
    ParsedTwacquireOptions parsed;
    TwacquireOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        }
        if (arg == "--duplex") {
            options.duplex = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            parsed.error = std::string(arg) + " needs a value";
            return parsed;
        }
        const std::string_view value = args[++i];
        if (arg == "--source") {
            options.source = value;
        } else if (arg == "--mechanism") {
            if (value == "native") options.mechanism = TWSX_NATIVE;
            else if (value == "file") options.mechanism = TWSX_FILE;
            else if (value == "memory") options.mechanism = TWSX_MEMORY;
            else {
                parsed.error = "unknown mechanism " + std::string(value);
                return parsed;
            }
        } else if (arg == "--pixel-type") {
            if (value == "bw") options.pixelType = TWPT_BW;
            else if (value == "gray") options.pixelType = TWPT_GRAY;
            else if (value == "rgb") options.pixelType = TWPT_RGB;
            else {
                parsed.error = "unknown pixel type " + std::string(value);
                return parsed;
            }
        } else if (arg == "--resolution") {
            options.resolution = Number(value);
            if (!options.resolution || *options.resolution <= 0) {
                parsed.error = "bad resolution " + std::string(value);
                return parsed;
            }
        } else if (arg == "--count") {
            options.count = Number(value);
            if (!options.count || *options.count == 0 || *options.count < -1) {
                parsed.error = "bad count " + std::string(value);
                return parsed;
            }
        } else if (arg == "--out") {
            options.outPrefix = value;
        } else {
            parsed.error = "unknown option " + std::string(arg);
            return parsed;
        }
    }
    if (options.outPrefix.empty()) {
        parsed.error = "--out PREFIX is required";
        return parsed;
    }
    parsed.options = options;
    return parsed;
}

std::string TwacquireUsage(std::string_view program)
{
    return "usage: " + std::string(program) +
           " [--source NAME] [--mechanism native|file|memory] [--pixel-type bw|gray|rgb]\n"
           "       [--resolution DPI] [--duplex] [--count N] --out PREFIX\n"
           "Acquires pages through the TWAIN Source Manager and writes PREFIX-1.bmp, PREFIX-2.bmp, ...\n";
}
