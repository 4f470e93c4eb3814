// What a model keeps between processes and under contention: the
// calibration file reaches the properties at open, the bus speed and the
// external-power marker are seen, and a model lock held elsewhere is busy.
#include "../sisupport/SIClient.h"

#include "api/LibraryState.h"
#include "engine/model/BoardSignals.h"
#include "engine/model/Swiftmere.h"
#include "engine/model/RM410.h"
#include "engine/model/SwiftmereLocks.h"
#include "chips/Motor.h"
#include "device/DevicePort.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>
#include <windows.h>

#include <future>
#include <thread>

namespace {

using namespace siclient;

Swiftmere& Model() { return dynamic_cast<Swiftmere&>(*Library().scanner); }

class ModelStateTest : public DeviceTest {};

TEST_F(ModelStateTest, CalibrationWrittenByOneOpenReachesThePropertiesOfTheNext) {
    Serve("RM410");
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    int calibrated = -1;
    EXPECT_EQ(SI_IsCalibrated(&calibrated), SI_OK);
    EXPECT_EQ(calibrated, 0);
    const int32_t offset = IntBounds(SI_PROP_AFE_OFFSET_GREEN).first + 3;
    ASSERT_EQ(SetInt(SI_PROP_AFE_OFFSET_GREEN, offset), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_AFE_VREF, 2), SI_OK);
    ASSERT_EQ(SetFloat(SI_PROP_EXPOSURE_BLUE, 80.0f), SI_OK);
    ASSERT_TRUE(Model().WriteCalibrationFile());
    ASSERT_EQ(SI_CloseInterface(), SI_OK);

    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    EXPECT_EQ(SI_IsCalibrated(&calibrated), SI_OK);
    EXPECT_EQ(calibrated, 1);
    EXPECT_TRUE(Model().IsCalibrated());
    // The chain's reset at open keeps them: they are the defaults now.
    EXPECT_EQ(Int(SI_PROP_AFE_OFFSET_GREEN), offset);
    EXPECT_EQ(Int(SI_PROP_AFE_VREF), 2);
    EXPECT_NEAR(Float(SI_PROP_EXPOSURE_BLUE), 80.0f, 0.5f);
    EXPECT_EQ(SI_Reset(), SI_OK);
    EXPECT_EQ(Int(SI_PROP_AFE_OFFSET_GREEN), offset);
}

TEST_F(ModelStateTest, CalibrationOfAnotherProductIsIgnored) {
    Serve("RM410");
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_AFE_VREF, 3), SI_OK);
    ASSERT_TRUE(Model().WriteCalibrationFile());
    ASSERT_EQ(SI_CloseInterface(), SI_OK);

    // The RM1100 shares the RM410's data folder but not its product id.
    Serve("RM1100");
    ASSERT_EQ(SI_OpenInterface("RM1100__"), SI_OK);
    int calibrated = -1;
    EXPECT_EQ(SI_IsCalibrated(&calibrated), SI_OK);
    EXPECT_EQ(calibrated, 0);
    EXPECT_FALSE(Model().IsCalibrated());
    EXPECT_NE(Int(SI_PROP_AFE_VREF), 3);
}

TEST_F(ModelStateTest, FullSpeedBusIsPublished) {
    Serve("RM410", {{"packet_size", "64"}});
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    EXPECT_EQ(Int(SI_PROP_220), 1);
}

TEST_F(ModelStateTest, ExternalPowerFromTheLineOrTheMarkerFile) {
    auto& scanner = Serve("RM410", {{"external_power", "off"}});
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    EXPECT_FALSE(Model().IsExternalPowerPresent());

    HANDLE marker = CreateFileA(Swiftmere::kExternalPowerMarker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(marker, INVALID_HANDLE_VALUE);
    CloseHandle(marker);
    EXPECT_TRUE(Model().IsExternalPowerPresent());
    DeleteFileA(Swiftmere::kExternalPowerMarker);

    scanner.SetExternalPower(true);
    EXPECT_TRUE(Model().IsExternalPowerPresent());
}

TEST_F(ModelStateTest, ModelLockHeldElsewhereIsBusyNotACommunicationFailure) {
    Serve("RM410");
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    std::promise<void> held, release;
    std::thread holder([&] {
        ModelLock lock(Model());
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    EXPECT_EQ(SI_StartScan(), SI_ERR_BUSY);
    int pressed = 0;
    EXPECT_EQ(SI_GetButtonStatus(0, &pressed), SI_ERR_BUSY);
    release.set_value();
    holder.join();
    // Nothing sticky: the next calls go on.
    EXPECT_EQ(Int(SI_PROP_VENDOR_ID), 0x17C4);
    EXPECT_EQ(SI_GetLastError(), SI_OK);
}

// The board lines are the model's: a diagnostic read or drive of a line, or
// a read test, waits for the model lock and answers busy while another
// thread holds it, and drives nothing meanwhile.
TEST_F(ModelStateTest, DiagnosticLineAccessWaitsForTheModelLock) {
    auto& scanner = Serve("RM410");
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    const int lamp = MakeBoardSignals(false, 0x20051021).Line(BoardLine::LampEnable);
    const auto lampLatch = [&] { return (scanner.Gpio().latches >> (lamp - 1)) & 1; };
    ASSERT_EQ(lampLatch(), 1u);
    struct DiagnosticCase {
        const char* what;
        int code;
        int word0;
    };
    const DiagnosticCase cases[] = {
        {"line read", SI_DIAG_GPIO_READ, lamp},
        {"line driven low", SI_DIAG_GPIO_WRITE, lamp},
        {"read test", SI_DIAG_READ_TEST, 1},
    };
    std::promise<void> held, release;
    std::thread holder([&] {
        ModelLock lock(Model());
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    for (const DiagnosticCase& c : cases) {
        int words[4] = {c.word0, 0, 0, 0};
        EXPECT_EQ(SI_Diagnostic(c.code, words), SI_ERR_BUSY) << c.what;
    }
    EXPECT_EQ(lampLatch(), 1u) << "a line was driven without the model lock";
    release.set_value();
    holder.join();
    int words[4] = {lamp, 0, 0, 0};
    EXPECT_EQ(SI_Diagnostic(SI_DIAG_GPIO_WRITE, words), SI_OK);
    EXPECT_EQ(lampLatch(), 0u);
    words[1] = 1;
    EXPECT_EQ(SI_Diagnostic(SI_DIAG_GPIO_WRITE, words), SI_OK);
    EXPECT_EQ(lampLatch(), 1u);
}

// An RM410 told its board version instead of reading it.
class VersionedRM410 : public RM410 {
public:
    explicit VersionedRM410(uint32_t version) : version_(version) {}
    bool GetBoardVersionOverride(uint32_t* version) override {
        *version = version_;
        return true;
    }

private:
    uint32_t version_;
};

struct VersionCase {
    uint32_t version;
    bool fan8200d;
    int signalB;
    uint8_t signalAIdle;
};

class BoardVersionTest : public DeviceTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(BoardVersionTest, MotorAndLinesFollowTheBoardVersion) {
    const VersionCase c = GetParam();
    Serve("RM410");
    VersionedRM410 model(c.version);
    auto port = CreateDevicePort(PortKind::Usbscan);
    DevicePort* handed = port.get();
    ASSERT_TRUE(model.Open(handed));
    EXPECT_EQ(handed, nullptr);  // the model owns the port now
    port.release();
    EXPECT_EQ(dynamic_cast<FAN8200D*>(model.GetMotor()) != nullptr, c.fan8200d);
    EXPECT_EQ(dynamic_cast<L6219*>(model.GetMotor()) != nullptr, !c.fan8200d);
    EXPECT_EQ(model.Signals().Line(BoardLine::SignalB), c.signalB);
    EXPECT_EQ(model.Signals()[BoardLine::SignalA].levels[0], c.signalAIdle);
    EXPECT_TRUE(model.Open(handed));  // already open: nothing happens
}

INSTANTIATE_TEST_SUITE_P(Versions, BoardVersionTest,
                         ::testing::Values(VersionCase{0x20051020, false, 12, 0}, VersionCase{0x20051021, true, 12, 0},
                                           VersionCase{0x20050120, false, 8, 0}, VersionCase{0x20041020, false, 8, 1},
                                           VersionCase{256, false, 8, 1}));

}  // namespace
