// wiascan: scans one sheet through the WIA minidriver, as the
// image-acquisition service drives it, and writes each page as a BMP file.
#include "WiascanOptions.h"

#include <platform/wia_service.h>

#include <objbase.h>
#include <wia.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

std::string Hex(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string GuidText(const GUID& guid) {
    WCHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

class EventPrinter {
public:
    EventPrinter(platform::wia::ServiceClient& client, const std::wstring& device) : client_(client) {
        std::vector<platform::wia::Capability> caps;
        if (SUCCEEDED(client.Capabilities(device, WIA_DEVICE_EVENTS, &caps))) {
            for (const auto& cap : caps) names_[GuidText(cap.guid)] = Narrow(cap.name);
        }
        names_[GuidText(WIA_EVENT_TREE_UPDATED)] = "Tree updated";
    }
    // Prints the events raised within `ms`; true when one was `name`.
    bool Print(DWORD ms, const std::string& name = "") {
        bool seen = false;
        for (const auto& event : client_.Events(ms)) {
            const std::string id = GuidText(event.event);
            const auto known = names_.find(id);
            const std::string label = known == names_.end() ? "" : known->second;
            std::cout << "event " << id << (label.empty() ? "" : " " + label) << std::endl;
            seen = seen || (!name.empty() && label == name);
        }
        return seen;
    }

private:
    platform::wia::ServiceClient& client_;
    std::map<std::string, std::string> names_;
};

int Scan(const WiascanOptions& options) {
    platform::wia::ServiceClient client;
    if (!client.Connected()) {
        std::cerr << "wiascan: the image-acquisition service does not answer\n";
        return 1;
    }
    const auto devices = client.Devices();
    if (options.device >= devices.size()) {
        std::cerr << "wiascan: no device " << options.device << " (" << devices.size() << " installed)\n";
        return 1;
    }
    const std::wstring& device = devices[options.device].name;
    // The host's WIA version: only a WIA 1 root shows "Access Rights".
    LONG rights = 0;
    const int version = client.ReadLong(device, 0, WIA_IPA_ACCESS_RIGHTS, &rights) == S_OK ? 1 : 2;
    const TransferChoice choice = ChooseTransfer(options, version);
    if (!choice.transfer) {
        std::cerr << "wiascan: " << choice.error << "\n";
        return 2;
    }
    std::cout << "device " << options.device << ": " << Narrow(devices[options.device].description) << " (WIA "
              << version << ")" << std::endl;
    EventPrinter events(client, device);
    constexpr int kRoot = 0;
    constexpr int kFeeder = 1;
    std::vector<std::pair<PROPID, LONG>> values;
    if (options.resolution) values.emplace_back(WIA_IPS_XRES, *options.resolution);
    values.emplace_back(WIA_IPA_DATATYPE, static_cast<LONG>(options.dataType));
    HRESULT result = client.WriteLongs(device, kFeeder, values);
    if (FAILED(result)) {
        std::cerr << "wiascan: the device refused the resolution or data type: " << Hex(result) << "\n";
        return 1;
    }
    if (options.duplex) {
        result = version == 2 ? client.WriteLongs(device, kFeeder, {{WIA_DPS_DOCUMENT_HANDLING_SELECT, DUPLEX | FRONT_FIRST}})
                              : client.WriteLongs(device, kRoot, {{WIA_DPS_DOCUMENT_HANDLING_SELECT, FEEDER | DUPLEX}});
        if (FAILED(result)) {
            std::cerr << "wiascan: the device does not scan duplex\n";
            return 1;
        }
    }
    if (options.events) {
        std::cout << "waiting for the scan button" << std::endl;
        bool pressed = false;
        for (int i = 0; i < 120 && !pressed; ++i) pressed = events.Print(500, "ScanButton");
        if (!pressed) {
            std::cerr << "wiascan: no scan button within a minute\n";
            return 1;
        }
    }
    const platform::wia::Transfer kind = *choice.transfer == WiaTransferKind::Callback ? platform::wia::Transfer::Callback
                                         : *choice.transfer == WiaTransferKind::File   ? platform::wia::Transfer::File
                                                                                       : platform::wia::Transfer::Stream;
    const platform::wia::AcquireResult acquired = client.Acquire(device, kFeeder, kind, std::filesystem::absolute(options.outPrefix).string());
    if (options.events) events.Print(200);
    for (const std::string& page : acquired.pages) std::cout << "wrote " << page << std::endl;
    if (acquired.result == WIA_ERROR_PAPER_EMPTY) {
        std::cerr << "wiascan: no paper in the feeder\n";
        return 1;
    }
    if (acquired.result == S_FALSE) {
        std::cerr << "wiascan: the transfer was cancelled\n";
        return 1;
    }
    if (FAILED(acquired.result)) {
        std::cerr << "wiascan: the transfer failed: " << Hex(acquired.result) << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view program = argc > 0 ? argv[0] : "wiascan";
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedWiascan parsed = ParseWiascanOptions(args);
    if (parsed.help) {
        std::cout << WiascanUsage(program);
        return 0;
    }
    if (!parsed.options) {
        std::cerr << "wiascan: " << parsed.error << '\n' << WiascanUsage(program);
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int status = Scan(*parsed.options);
    CoUninitialize();
    return status;
}
