#include "api/OpenSequence.h"

#include "api/LibraryState.h"
#include "api/SIResultMapping.h"
#include "device/DevicePort.h"
#include "engine/chain/ProcessingChain.h"
#include "engine/model/Scanner.h"
#include "engine/model/ScannerFactory.h"
#include "os/ScanLog.h"

#include <string_view>

namespace {

constexpr std::string_view kDirectPortSuffix = SI_DIRECT_PORT_SUFFIX;

bool HasDirectPortSuffix(std::string_view name) { return name.ends_with(kDirectPortSuffix); }

// Takes the chain down and deletes the model, never throwing.
void DropScanner(LibraryState& state) {
    try {
        Chain().Detach();
    } catch (...) {
    }
    state.scanner.reset();
}

}  // namespace

std::string LockBaseName(const std::string& interfaceName) {
    if (!HasDirectPortSuffix(interfaceName)) return interfaceName;
    return interfaceName.substr(0, interfaceName.size() - kDirectPortSuffix.size());
}

SIResult OpenScannerByName(const std::string& interfaceName, std::unique_ptr<Scanner>& scanner) {
    const bool direct = HasDirectPortSuffix(interfaceName);
    const std::string modelName = direct ? LockBaseName(interfaceName) : interfaceName;
    std::unique_ptr<DevicePort> port = CreateDevicePort(direct ? PortKind::Usbscan : PortKind::StillImage);

    std::unique_ptr<Scanner> made = ScannerFactory::CreateByName(modelName);
    if (!made) return SI_ERR_UNKNOWN_SCANNER;
    scanner = std::move(made);
    if (!port) return SI_ERR_NO_HARDWARE;

    // The model takes the port by emptying the pointer; whatever it leaves
    // is still ours and is deleted here, on every path.
    DevicePort* handed = port.release();
    bool opened = false;
    try {
        opened = scanner->Open(handed);
    } catch (...) {
        port.reset(handed);
        throw;
    }
    if (!opened) {
        port.reset(handed);
        scanner.reset();
        return SI_ERR_NO_HARDWARE;
    }
    return SI_OK;
}

SIResult RunOpenSequence(const char* interfaceName) {
    LibraryState& state = Library();
    ScanLog::Open(ScanLog::kDebug);
    const std::string name = interfaceName;
    const std::string base = LockBaseName(name);

    SIResult result = RunMapped([&] { return OpenScannerByName(name, state.scanner); }, SI_ERR_INIT_FAILED);
    if (result != SI_OK) {
        state.scanner.reset();
        ScanLog::Close();
        return result;
    }

    const bool attached = RunMapped([&] { return Chain().Attach(state.scanner.get()) ? SI_OK : SI_ERR_INIT_FAILED; },
                                    SI_ERR_INIT_FAILED) == SI_OK;
    if (!attached || !state.scanLock.Create((base + "Scan").c_str(), true)) {
        DropScanner(state);
        ScanLog::Close();
        return SI_ERR_INIT_FAILED;
    }
    if (!state.calibrationLock.Create((base + "Cal").c_str(), true)) {
        state.scanLock.Close();
        DropScanner(state);
        ScanLog::Close();
        return SI_ERR_INIT_FAILED;
    }

    state.interfaceOpen = true;
    state.scanOpen = false;
    return SI_OK;
}
