// Swiftmere: construction, open, destruction, the calibration file and the
// property registration.
#include "engine/model/Swiftmere.h"

#include "chips/AnalogFrontEnd.h"
#include "chips/CISModule.h"
#include "chips/Controller.h"
#include "chips/GL841.h"
#include "chips/Motor.h"
#include "chips/WM8199.h"
#include "device/DevicePort.h"
#include "engine/calibration/CalibrationDat.h"
#include "engine/model/SwiftmereLocks.h"
#include "os/OSFunctions.h"
#include "os/files/CalibrationFile.h"
#include "os/files/FileTime.h"

#include <SIPropertyIds.h>

#include <array>

namespace {

// Board versions from this one on carry the FAN8200D motor.
constexpr uint32_t kBoardVersionFan8200D = 0x20051021;
constexpr int kLampSettleMs = 50;
constexpr int kFullSpeedPacket = 64;
constexpr int32_t kUsbFullSpeed = 1;
constexpr int32_t kUsbHighSpeed = 2;
constexpr float kDefaultFeedRate = 0.7f;

// Sets a float range property's current value and default from the chip.
void SyncFloat(RangeFloat& property, float value) {
    property.SetDefaultFloat(value);
    property.SetFloat(value);
}

// Sets an int range property's bounds, current value and default from the chip.
void SyncInt(RangeInt& property, int32_t value, int32_t minimum, int32_t maximum) {
    property.SetMinimum(minimum);
    property.SetMaximum(maximum);
    property.SetDefaultInt(value);
    property.SetInt(value);
}

void SyncGain(RangeFloat& property, float value, float minimum, float maximum) {
    property.SetMinimum(minimum);
    property.SetMaximum(maximum);
    SyncFloat(property, value);
}

}  // namespace

// The port's stored device values, as the prefeed properties address them.
class Swiftmere::PortValueStore : public DeviceValueStore {
public:
    explicit PortValueStore(DevicePort* port) : port_(port) {}
    bool GetDeviceValue(const std::string&, const std::string& name, int* value) override {
        return port_ && port_->GetDeviceValue(name, value);
    }
    bool SetDeviceValue(const std::string&, const std::string& name, int value) override {
        return port_ && port_->SetDeviceValue(name, value);
    }

private:
    DevicePort* port_;
};

Swiftmere::Swiftmere() : signals_(MakeBoardSignals(false, kDefaultBoardVersion)) {
    objectLock_.Create(nullptr, false);
    eepromLock_.Create(kEepromLockName, true);
}

Swiftmere::~Swiftmere() {
    // The derived classes' property objects are gone by now: read our own.
    if (open_ && properties_.powerDownOnClose.GetInt() == 1) {
        try {
            SetLampLine(false);
            controller_->SetGpioValue(signals_.Line(BoardLine::SignalD), true);
            controller_->SetGpioValue(signals_.Line(BoardLine::SignalE), false);
        } catch (...) {
        }
    }
    ReleaseProperties();
    // The controller goes before the port it talks through; the port is
    // closed before anything else is let go.
    controller_.reset();
    if (port_) {
        try {
            port_->Close();
        } catch (...) {
        }
    }
    calibrator_.reset();
    calibrationFile_.reset();
    calibrationTime_.reset();
    motor_.reset();
    cisModule_.reset();
    frontEnd_.reset();
    valueStore_.reset();
    port_.reset();
}

void Swiftmere::DropChips() {
    calibrator_.reset();
    controller_.reset();
    motor_.reset();
    cisModule_.reset();
    frontEnd_.reset();
}

bool Swiftmere::Open(DevicePort*& port) {
    if (open_) return true;
    DevicePort* device = port_ ? port_.get() : port;
    if (!device) return false;

    if (!device->IsOpen()) {
        try {
            deviceIds_.clear();
            GetDeviceIds(deviceIds_);
            int matched = 0;
            if (!device->Open(deviceIds_, &matched)) return false;
            uint16_t bcd = 0;
            device->GetDeviceDescriptor(&vendorId_, &productId_, &bcd);
        } catch (...) {
            return false;
        }
    }

    // From here on the chips talk through the port. Whatever fails, the
    // port has exactly one owner: this model once it took it, else the caller.
    try {
        frontEnd_ = CreateAnalogFrontEnd();
        controller_ = CreateController(device);
        calibrator_ = CreateCalibrator();
        if (!frontEnd_ || !controller_) {
            DropChips();
            return false;
        }

        const bool powered = controller_->IsPowerBitSet();
        controller_->Init();

        const auto eeprom = EepromLines(UsesGL125());
        signals_[BoardLine::EepromClock].line = eeprom[0];
        signals_[BoardLine::EepromSelect].line = eeprom[1];
        signals_[BoardLine::EepromDataOut].line = eeprom[2];
        signals_[BoardLine::EepromDataIn].line = eeprom[3];

        eepromWord4_ = kEepromUnread;
        ReadEepromWord4();

        cisModule_ = CreateCisModule();
        const std::array<float, 3> rates = GetMaxLineRate();
        controller_->SetCisModule(cisModule_.get(), GetSideCount(), rates);

        boardVersion_ = kDefaultBoardVersion;
        if (!GetBoardVersionOverride(&boardVersion_)) boardVersion_ = ReadBoardVersion();
        const BoardSignals board = MakeBoardSignals(UsesGL125(), boardVersion_);
        signals_ = board;

        motor_ = CreateMotor();
        controller_->SetMotor(motor_.get());

        if (!powered) ApplyBoardState(kBoardIdle, true);

        if (!port_) {
            port_.reset(port);
            port = nullptr;
        }
        valueStore_ = std::make_unique<PortValueStore>(port_.get());

        int paper = 0, button = 0;
        GetPaperStatus(&paper);
        GetButtonStatus(0, &button);
        lastEvent_ = static_cast<uint8_t>((paper ? 1 : 0) | (button ? 2 : 0));

        controller_->SetFeedRate(GetFeedRate());

        calibrationFile_ = CreateCalibrationFile();
        calibrationTime_ = CreateFileTime();
        calibrated_ = false;
        GetDataDirectory(calibrationPath_);
        if (!calibrationPath_.empty()) calibrationPath_ += kCalibrationDatName;
        if (LoadCalibration()) {
            calibrationTime_->Load(calibrationPath_.c_str());
            calibrated_ = true;
        }

        RegisterProperties();
        RegisterAllDependencies();
        // The properties start from the chips' values: a calibration loaded
        // from the file reaches every scan, and the front end's ranges come
        // from the chip.
        SyncChipProperties();

        if (!frontEnd_ || !cisModule_ || !motor_ || !controller_ || !calibrator_) {
            ReleaseProperties();
            DropChips();
            port = port_.release();
            return false;
        }

        fullSpeed_ = controller_->GetBulkPacketSize() == kFullSpeedPacket;
        properties_.usbSpeed.SetInt(fullSpeed_ ? kUsbFullSpeed : kUsbHighSpeed);

        SetLampLine(true);
        OSSleep(kLampSettleMs);
        open_ = true;
        return true;
    } catch (...) {
        ReleaseProperties();
        DropChips();
        if (port_) port = port_.release();
        throw;
    }
}

std::unique_ptr<Controller> Swiftmere::CreateController(DevicePort* port) {
    return std::make_unique<GL841>(frontEnd_.get(), port, false);
}

std::unique_ptr<CISModule> Swiftmere::CreateCisModule() { return std::make_unique<CM651>(); }

std::unique_ptr<AnalogFrontEnd> Swiftmere::CreateAnalogFrontEnd() { return std::make_unique<WM8199GL>(); }

std::unique_ptr<Motor> Swiftmere::CreateMotor() {
    if (boardVersion_ < kBoardVersionFan8200D) return std::make_unique<L6219>();
    return std::make_unique<FAN8200D>();
}

int32_t Swiftmere::IntValue(uint16_t id, int32_t fallback) {
    Property* p = FindProperty(id);
    return p ? p->GetInt() : fallback;
}

float Swiftmere::FloatValue(uint16_t id, float fallback) {
    Property* p = FindProperty(id);
    return p ? p->GetFloat() : fallback;
}

int Swiftmere::GetMaxBitDepth() { return controller_ ? controller_->GetMaxBitDepth() : 0; }

int Swiftmere::GetPixelsPerLine() { return cisModule_ ? cisModule_->GetPixelCount() * GetSideCount() : 0; }

int Swiftmere::GetOpticalDpi() { return cisModule_ ? cisModule_->GetOpticalDpi() : 0; }

int Swiftmere::GetOpticalScanLength() { return GetOpticalDpi() * 14; }

void Swiftmere::SetLampPower(bool on) {
    if (controller_) controller_->SetLampPower(on);
}

void Swiftmere::SetShadingOffsets(int channel, std::span<const int32_t> offsets) {
    controller_->SetShadingOffsets(channel, offsets);
    calibrated_ = true;
}

void Swiftmere::SetShadingGains(int channel, std::span<const float> gains) {
    controller_->SetShadingGains(channel, gains);
    calibrated_ = true;
}

bool Swiftmere::ResetPipes() {
    if (controller_) controller_->ResetPipes();
    return true;
}

float Swiftmere::GetFeedRate() {
    Property* p = FindProperty(SI_PROP_FEED_RATE);
    return p ? p->GetFloat() : kDefaultFeedRate;
}

float Swiftmere::PaperEndDistanceAt(float scanRate) { return 0.58f - scanRate * rateFactor_; }

bool Swiftmere::ScanWindowIsWide() {
    auto* width = dynamic_cast<RangeInt*>(FindProperty(SI_PROP_SCAN_WIDTH));
    if (!width) return false;
    const int32_t x = IntValue(SI_PROP_X_OFFSET);
    return x + width->Maximum() < 2 * (x + width->GetInt());
}

uint16_t Swiftmere::GetVendorID() {
    uint16_t word = kEepromUnread;
    EepromSession session(*this);
    if (session.Held()) ReadEepromWord(0, word);
    return word;
}

uint16_t Swiftmere::GetProductID() {
    uint16_t word = kEepromUnread;
    EepromSession session(*this);
    if (session.Held()) ReadEepromWord(1, word);
    return word;
}

bool Swiftmere::LoadCalibration() {
    if (!frontEnd_ || !controller_) return false;
    return LoadCalibrationDat(calibrationPath_, vendorId_, productId_, static_cast<uint32_t>(GetPixelsPerLine()),
                              *frontEnd_, *controller_);
}

bool Swiftmere::CheckCalibrationHeader() {
    return calibrationFile_ && calibrationFile_->IsOpen() &&
           ::CheckCalibrationHeader(*calibrationFile_, vendorId_, productId_);
}

bool Swiftmere::ReloadCalibration() {
    // The same checks the open makes before it loads: a file the open would
    // refuse is no calibration, whatever its header says.
    if (!frontEnd_) return false;
    return CalibrationDatUsable(calibrationPath_, vendorId_, productId_, static_cast<uint32_t>(GetPixelsPerLine()),
                                *frontEnd_);
}

void Swiftmere::AbandonCalibration() {
    SetLampPower(true);
    // The stored calibration is still on disk (only a finished calibration
    // replaces it): its tables go back into the controller. Without one the
    // half-measured tables stay unused. The front-end values and exposures
    // come from the properties at the next scan start.
    calibrated_ = LoadCalibration();
}

bool Swiftmere::WriteCalibrationFile() {
    if (!frontEnd_ || !controller_ || calibrationPath_.empty()) return false;
    controller_->SetExposurePercent(0, FloatValue(SI_PROP_EXPOSURE_RED, 100.0f));
    controller_->SetExposurePercent(1, FloatValue(SI_PROP_EXPOSURE_GREEN, 100.0f));
    controller_->SetExposurePercent(2, FloatValue(SI_PROP_EXPOSURE_BLUE, 100.0f));
    constexpr std::array<uint16_t, 4> kOffsets{SI_PROP_AFE_OFFSET_RED, SI_PROP_AFE_OFFSET_GREEN,
                                               SI_PROP_AFE_OFFSET_BLUE, SI_PROP_AFE_OFFSET_GRAY};
    constexpr std::array<uint16_t, 4> kGains{SI_PROP_AFE_GAIN_RED, SI_PROP_AFE_GAIN_GREEN, SI_PROP_AFE_GAIN_BLUE,
                                             SI_PROP_AFE_GAIN_GRAY};
    for (int c = 0; c < 4; ++c) {
        frontEnd_->SetOffset(c, IntValue(kOffsets[c]));
        frontEnd_->SetGain(c, FloatValue(kGains[c], 1.0f));
    }
    frontEnd_->SetReferenceVoltage(IntValue(SI_PROP_AFE_VREF));
    if (!WriteCalibrationDat(calibrationPath_, vendorId_, productId_, *frontEnd_, *controller_)) return false;
    if (calibrationTime_) calibrationTime_->Load(calibrationPath_.c_str());
    SyncChipProperties();
    return true;
}

void Swiftmere::SyncChipProperties() {
    if (!controller_ || !frontEnd_) return;
    ScannerProperties& p = properties_;
    SyncFloat(p.exposureRed, controller_->GetExposurePercent(0));
    SyncFloat(p.exposureGreen, controller_->GetExposurePercent(1));
    SyncFloat(p.exposureBlue, controller_->GetExposurePercent(2));
    const int32_t offsetMin = frontEnd_->GetOffsetMin();
    const int32_t offsetMax = frontEnd_->GetOffsetMax();
    const std::array<RangeInt*, 4> offsets{&p.afeOffsetRed, &p.afeOffsetGreen, &p.afeOffsetBlue, &p.afeOffsetGray};
    const std::array<RangeFloat*, 4> gains{&p.afeGainRed, &p.afeGainGreen, &p.afeGainBlue, &p.afeGainGray};
    const float gainMin = frontEnd_->GetGainMin();
    const float gainMax = frontEnd_->GetGainMax();
    for (int c = 0; c < 4; ++c) {
        SyncInt(*offsets[c], frontEnd_->GetOffset(c), offsetMin, offsetMax);
        SyncGain(*gains[c], frontEnd_->GetGain(c), gainMin, gainMax);
    }
    SyncInt(p.afeVref, frontEnd_->GetReferenceVoltage(), frontEnd_->GetReferenceVoltageMin(),
            frontEnd_->GetReferenceVoltageMax());
}

void Swiftmere::RegisterProperties() {
    ScannerProperties& p = properties_;
    p.Register(*this, GetOpticalDpi(), cisModule_ ? cisModule_->GetPixelCount() : 0, GetOpticalScanLength());
    p.eepromDigits.SetString(ReadEepromDigits());
    p.eepromText.SetString(ReadEepromText());
    p.eepromWord4.SetInt(eepromWord4_);
    p.vendorId.SetCallback(this);
    p.productId.SetCallback(this);
    int prefeed = 0;
    if (port_ && port_->GetDeviceValue("PrefeedEnable", &prefeed)) p.RegisterPrefeed(*this, valueStore_.get());
}
