#include "WiascanOptions.h"

#include <charconv>

namespace {

bool ParseNumber(std::string_view text, int* value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string WiascanUsage(std::string_view program) {
    return "usage: " + std::string(program) +
           " [--device N] [--format bmp|memorybmp] [--transfer file|callback|stream]\n"
           "       [--resolution DPI] [--data-type bw|gray|color] [--duplex] [--events] --out PREFIX\n"
           "Scans one sheet through the WIA minidriver of installed device N (0 first) and writes\n"
           "PREFIX-1.bmp (and PREFIX-2.bmp for the back of a duplex sheet). --events prints the\n"
           "device's events and waits for the scanner's button before scanning.\n";
}

ParsedWiascan ParseWiascanOptions(std::span<const std::string_view> args) {
    ParsedWiascan parsed;
    WiascanOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto value = [&](std::string_view* out) {
            if (i + 1 >= args.size()) {
                parsed.error = std::string(arg) + " needs a value";
                return false;
            }
            *out = args[++i];
            return true;
        };
        std::string_view v;
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        } else if (arg == "--device") {
            int n = 0;
            if (!value(&v)) return parsed;
            if (!ParseNumber(v, &n) || n < 0) {
                parsed.error = "bad device number " + std::string(v);
                return parsed;
            }
            options.device = static_cast<unsigned>(n);
        } else if (arg == "--format") {
            if (!value(&v)) return parsed;
            if (v == "bmp") {
                options.format = WiaFormat::Bmp;
            } else if (v == "memorybmp") {
                options.format = WiaFormat::MemoryBmp;
            } else {
                parsed.error = "unknown format " + std::string(v);
                return parsed;
            }
        } else if (arg == "--transfer") {
            if (!value(&v)) return parsed;
            if (v == "file") {
                options.transfer = WiaTransferKind::File;
            } else if (v == "callback") {
                options.transfer = WiaTransferKind::Callback;
            } else if (v == "stream") {
                options.transfer = WiaTransferKind::Stream;
            } else {
                parsed.error = "unknown transfer " + std::string(v);
                return parsed;
            }
        } else if (arg == "--resolution") {
            int dpi = 0;
            if (!value(&v)) return parsed;
            if (!ParseNumber(v, &dpi) || dpi <= 0) {
                parsed.error = "bad resolution " + std::string(v);
                return parsed;
            }
            options.resolution = dpi;
        } else if (arg == "--data-type") {
            if (!value(&v)) return parsed;
            if (v == "bw") {
                options.dataType = WiaDataType::BlackWhite;
            } else if (v == "gray") {
                options.dataType = WiaDataType::Gray;
            } else if (v == "color") {
                options.dataType = WiaDataType::Color;
            } else {
                parsed.error = "unknown data type " + std::string(v);
                return parsed;
            }
        } else if (arg == "--duplex") {
            options.duplex = true;
        } else if (arg == "--events") {
            options.events = true;
        } else if (arg == "--out") {
            if (!value(&v)) return parsed;
            options.outPrefix = std::string(v);
        } else {
            parsed.error = "unknown argument " + std::string(arg);
            return parsed;
        }
    }
    if (options.outPrefix.empty()) {
        parsed.error = "missing --out PREFIX";
        return parsed;
    }
    parsed.options = options;
    return parsed;
}

TransferChoice ChooseTransfer(const WiascanOptions& options, int wiaVersion) {
    TransferChoice choice;
    if (wiaVersion == 2) {
        if (options.format == WiaFormat::MemoryBmp) {
            choice.error = "memorybmp needs WIA 1; WIA 2 transfers bmp by stream";
        } else if (options.transfer && *options.transfer != WiaTransferKind::Stream) {
            choice.error = "WIA 2 transfers by stream only";
        } else {
            choice.transfer = WiaTransferKind::Stream;
        }
        return choice;
    }
    if (options.transfer == WiaTransferKind::Stream) {
        choice.error = "stream transfers need WIA 2";
    } else if (options.transfer == WiaTransferKind::Callback) {
        if (options.format == WiaFormat::Bmp) {
            choice.error = "callback transfers carry memorybmp";
        } else {
            choice.transfer = WiaTransferKind::Callback;
        }
    } else if (options.transfer == WiaTransferKind::File) {
        if (options.format == WiaFormat::MemoryBmp) {
            choice.error = "file transfers carry bmp";
        } else {
            choice.transfer = WiaTransferKind::File;
        }
    } else {
        choice.transfer = options.format == WiaFormat::MemoryBmp ? WiaTransferKind::Callback : WiaTransferKind::File;
    }
    return choice;
}
