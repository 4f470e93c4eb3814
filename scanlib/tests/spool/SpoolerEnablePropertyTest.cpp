// Turning spooling on needs room for the page on the spool file's volume.
#include "SpoolTestSource.h"

#include <SIRecord.h>
#include "engine/spool/Spooler.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr uint64_t kMB = 1000 * 1000;
constexpr uint64_t kGiB = 1ull << 30;

struct SpaceCase {
    const char* name;
    int32_t lines;
    int32_t width;
    uint64_t freeBytes;
    int32_t memoryMode;
    int32_t value;
    bool accepted;
};

class SpoolEnableSpace : public ::testing::TestWithParam<SpaceCase> {
protected:
    void TearDown() override { platform::testing::SetFreeSpace(std::nullopt); }
};

TEST_P(SpoolEnableSpace, RefusesOnlyWhenThePageDoesNotFit) {
    const SpaceCase& c = GetParam();
    SpoolTestSource source(c.lines, c.width);
    Spooler spooler;
    spooler.SetSource(&source);
    ASSERT_TRUE(spooler.Init());
    spooler.FindOwnProperty(SI_PROP_SPOOL_TO_MEMORY)->SetInt(c.memoryMode);
    Property* enable = spooler.FindOwnProperty(SI_PROP_SPOOL_ENABLE);
    ASSERT_NE(enable, nullptr);
    enable->SetInt(1 - c.value);
    platform::testing::SetFreeSpace(c.freeBytes);
    SIProperty r{};
    r.container = SI_CONTAINER_SINGLE;
    r.itemType = SI_TYPE_BOOL;
    r.value[0] = SlotFromInt(c.value);
    EXPECT_EQ(enable->Set(&r), c.accepted);
    EXPECT_EQ(enable->GetInt(), c.accepted ? c.value : 1 - c.value);
    spooler.Stop();
}

// The spool file goes to the system temporary folder: the room there
// decides, not the room on the volume of the model's data folder.
TEST(SpoolEnableVolume, AsksTheVolumeOfTheTemporaryFolder) {
    struct VolumeCase {
        const char* name;
        uint64_t tempBytes, dataBytes, elsewhereBytes;
        bool accepted;
    };
    const VolumeCase cases[] = {
        {"TempFullDataRoomy", 0, 4 * kGiB, 4 * kGiB, false},
        {"TempRoomyDataFull", 4 * kGiB, 0, 0, true},
    };
    for (const VolumeCase& c : cases) {
        SpoolTestSource source(1000, 1000);
        Spooler spooler;
        spooler.SetSource(&source);
        ASSERT_TRUE(spooler.Init());
        Property* enable = spooler.FindOwnProperty(SI_PROP_SPOOL_ENABLE);
        ASSERT_NE(enable, nullptr);
        enable->SetInt(0);
        platform::testing::SetFreeSpace(c.elsewhereBytes);
        platform::testing::SetFreeSpaceOf("C:\\Windows\\Temp", c.tempBytes);
        platform::testing::SetFreeSpaceOf("C:\\ProgramData", c.dataBytes);
        SIProperty r{};
        r.container = SI_CONTAINER_SINGLE;
        r.itemType = SI_TYPE_BOOL;
        r.value[0] = SlotFromInt(1);
        EXPECT_EQ(enable->Set(&r), c.accepted) << c.name;
        spooler.Stop();
    }
    platform::testing::SetFreeSpaceOf("C:\\Windows\\Temp", std::nullopt);
    platform::testing::SetFreeSpaceOf("C:\\ProgramData", std::nullopt);
    platform::testing::SetFreeSpace(std::nullopt);
}

// 95 MB pages: 95000 lines of 1000 bytes.
INSTANTIATE_TEST_SUITE_P(
    Pages, SpoolEnableSpace,
    ::testing::Values(SpaceCase{"PagePlusMarginTooBig", 95000, 1000, 100 * kMB, 0, 1, false},
                      SpaceCase{"PagePlusMarginFits", 95000, 1000, 106 * kMB, 0, 1, true},
                      SpaceCase{"SmallPageFifthMargin", 1000, 1000, 1200 * 1000 - 1, 0, 1, false},
                      SpaceCase{"SmallPageExactFit", 1000, 1000, 1200 * 1000, 0, 1, true},
                      SpaceCase{"PlentyOfRoom", 1100, 20736, 4 * kGiB, 0, 1, true},
                      SpaceCase{"MemorySpoolNeedsNoDisk", 95000, 1000, 0, 1, 1, true},
                      SpaceCase{"TurningOffIsAlwaysAllowed", 95000, 1000, 0, 0, 0, true}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
