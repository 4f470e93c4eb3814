// wiascan's command line.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

enum class WiaFormat { Bmp, MemoryBmp };
enum class WiaTransferKind { File, Callback, Stream };
enum class WiaDataType { BlackWhite = 0, Gray = 2, Color = 3 };

struct WiascanOptions {
    unsigned device = 0;
    std::optional<WiaFormat> format;          // absent: follows the transfer
    std::optional<WiaTransferKind> transfer;  // absent: follows the format and the WIA version
    std::optional<int> resolution;            // dpi; absent: the item's
    WiaDataType dataType = WiaDataType::Color;
    bool duplex = false;
    bool events = false;
    std::string outPrefix;
};

struct ParsedWiascan {
    std::optional<WiascanOptions> options;
    std::string error;
    bool help = false;
};

ParsedWiascan ParseWiascanOptions(std::span<const std::string_view> args);
std::string WiascanUsage(std::string_view program);

// The transfer for the options under a WIA version; empty with a reason
// when the format and the transfer don't go together there.
struct TransferChoice {
    std::optional<WiaTransferKind> transfer;
    std::string error;
};
TransferChoice ChooseTransfer(const WiascanOptions& options, int wiaVersion);
