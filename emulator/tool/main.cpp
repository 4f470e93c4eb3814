// The emulator command: serves one virtual scanner under an emulated
// machine's root and takes control commands on standard input.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <emulator/CommandShell.h>
#include <emulator/VirtualScanner.h>
#include <platform/testing.h>

namespace {

// Enters the served scanner in the emulated machine's image-device list, as
// Windows setup does when the scanner is plugged in; "" when that failed.
std::string RegisterImageDevice(const std::string& root, const std::string& board, unsigned device,
                                const emulator::VirtualScanner& scanner)
{
    platform::testing::SetRoot(root);
    const auto eeprom = scanner.Eeprom();
    char id[32];
    std::snprintf(id, sizeof id, "VID_%04X&PID_%04X", static_cast<unsigned>(eeprom[0]),
                  static_cast<unsigned>(eeprom[1]));
    char instance[16];
    std::snprintf(instance, sizeof instance, "%04u", device);
    platform::testing::DeviceInstall install;
    install.deviceId = id;
    install.instanceId = instance;
    install.description = board + " scanner";
    install.friendlyName = board.substr(0, board.find('-')) + " Document Scanner";
    install.hardwareId = std::string("USB\\") + id;
    return platform::testing::InstallDevice(install);
}

constexpr std::string_view kUsage =
    "usage: emulator --root DIR --board NAME [--device N] [--sheet FRONT.pnm[,BACK.pnm]]... "
    "[--calibration-sheet] [--set NAME=VALUE]...";

struct Options {
    std::string root;
    std::string board;
    unsigned device = 0;
    // The feeder's queue in the order given; an empty entry is the calibration sheet.
    std::vector<std::optional<std::string>> sheets;
    emulator::SwitchOverrides switches;
};

int Refuse(const std::string& message)
{
    std::cerr << "emulator: " << message << "\n" << kUsage << "\n";
    return 2;
}

std::optional<std::string> Parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc)
                return std::nullopt;
            return std::string(argv[++i]);
        };
        std::optional<std::string> v;
        if (arg == "--calibration-sheet") {
            o.sheets.emplace_back();
            continue;
        }
        if (arg != "--root" && arg != "--board" && arg != "--device" && arg != "--sheet" && arg != "--set")
            return "unknown argument " + std::string(arg);
        v = value();
        if (!v)
            return "missing value for " + std::string(arg);
        if (arg == "--root") {
            o.root = *v;
        } else if (arg == "--board") {
            o.board = *v;
        } else if (arg == "--device") {
            try {
                std::size_t used = 0;
                const unsigned long n = std::stoul(*v, &used);
                if (used != v->size() || n > 255)
                    throw std::invalid_argument("device");
                o.device = static_cast<unsigned>(n);
            } catch (const std::exception&) {
                return "bad device number " + *v;
            }
        } else if (arg == "--sheet") {
            o.sheets.push_back(*v);
        } else {
            const auto eq = v->find('=');
            if (eq == std::string::npos || eq == 0)
                return "expected --set NAME=VALUE";
            o.switches[v->substr(0, eq)] = v->substr(eq + 1);
        }
    }
    if (o.root.empty())
        return "missing --root";
    if (o.board.empty())
        return "missing --board";
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (auto error = Parse(argc, argv, options))
        return Refuse(*error);

    std::optional<emulator::VirtualScanner> scanner;
    try {
        scanner.emplace(options.board, options.switches);
        for (const std::optional<std::string>& sheet : options.sheets) {
            if (!sheet) {
                scanner->InsertCalibrationSheet();
                continue;
            }
            const auto comma = sheet->find(',');
            scanner->InsertSheet(sheet->substr(0, comma),
                                 comma == std::string::npos ? std::string() : sheet->substr(comma + 1));
        }
    } catch (const emulator::Error& e) {
        return Refuse(e.what());
    }
    try {
        scanner->Serve(options.root, options.device);
    } catch (const emulator::Error& e) {
        std::cerr << "error: " << e.what() << "\n";
        return 1;
    }
    const std::string instance = RegisterImageDevice(options.root, options.board, options.device, *scanner);
    if (instance.empty()) {
        std::cerr << "error: cannot register the device under " << options.root << "\n";
        scanner->StopServing();
        return 1;
    }
    std::cout << "ready" << std::endl;

    emulator::CommandShell shell(*scanner);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        std::cout << shell.Execute(line) << std::endl;
        if (shell.QuitRequested())
            break;
    }
    scanner->StopServing();
    platform::testing::SetDevicePresent(instance, false);
    return 0;
}
