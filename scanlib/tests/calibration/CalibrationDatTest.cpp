#include "chips/CISModule.h"
#include "chips/GL841.h"
#include "chips/WM8199.h"
#include "engine/calibration/CalibrationDat.h"
#include "os/files/CalibrationFile.h"
#include "os/files/FileFunctions.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::array<float, 3> kLineRates{1000.0f, 1000.0f, 1000.0f};

// The front end and controller of one scanner, without a device.
struct Chips {
    explicit Chips(CISModule& module) : controller(&frontEnd, nullptr, false) {
        controller.SetCisModule(&module, 2, kLineRates);
    }

    // Distinct values derived from seed, with tables of the given length.
    void Fill(int seed, size_t pixels) {
        for (int c = 0; c < 4; ++c) {
            frontEnd.SetOffset(c, seed + c - 60);
            frontEnd.SetGain(c, 1.0f + 0.25f * static_cast<float>(c + seed % 3));
            std::vector<int32_t> offsets(pixels);
            std::vector<float> gains(pixels);
            for (size_t i = 0; i < pixels; ++i) {
                offsets[i] = static_cast<int32_t>((i * 7 + c + seed) & 0xFFFF);
                gains[i] = 0.5f + static_cast<float>((i + c + seed) % 100) / 40.0f;
            }
            controller.SetShadingOffsets(c, offsets);
            controller.SetShadingGains(c, gains);
        }
        frontEnd.SetReferenceVoltage(seed % 16);
        for (int c = 0; c < 3; ++c) {
            controller.SetExposurePercent(c, static_cast<float>(20 + 10 * c + seed % 7));
        }
    }

    struct Values {
        std::array<int, 4> offsets;
        std::array<float, 4> gains;
        int vref;
        std::array<uint32_t, 3> exposures;
        std::array<std::vector<uint32_t>, 4> tables;
        bool operator==(const Values&) const = default;
    };

    Values Snapshot() {
        Values v{};
        for (int c = 0; c < 4; ++c) {
            v.offsets[c] = frontEnd.GetOffset(c);
            v.gains[c] = frontEnd.GetGain(c);
            v.tables[c] = controller.ShadingTable(c);
        }
        v.vref = frontEnd.GetReferenceVoltage();
        for (int c = 0; c < 3; ++c) {
            v.exposures[c] = controller.GetExposure(c);
        }
        return v;
    }

    WM8199GL frontEnd;
    GL841 controller;
};

std::string DataPath(const char* model) {
    char folder[MAX_PATH] = {};
    EXPECT_TRUE(GetDataDirectory(0, "Tessaline", model, folder));
    return std::string(folder) + kCalibrationDatName;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::vector<uint8_t> bytes(GetFileSize(h, nullptr));
    DWORD got = 0;
    ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    bytes.resize(got);
    return bytes;
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    const auto file = CreateCalibrationFile();
    ASSERT_TRUE(file->Open(path.c_str(), kCalibrationFileWrite));
    ASSERT_TRUE(file->Write(bytes.data(), static_cast<int>(bytes.size())));
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

struct ModelCase {
    const char* model;
    std::function<std::unique_ptr<CISModule>()> module;
    uint16_t vendorId;
    uint16_t productId;
    size_t pixelsPerLine;  // sensor pixels on both sides
    size_t fileSize;
};

template <class T>
std::unique_ptr<CISModule> Make() {
    return std::make_unique<T>();
}

class GoldenFileTest : public ::testing::TestWithParam<ModelCase> {};

TEST_P(GoldenFileTest, WritesTheLayoutAndReadsItBack) {
    const ModelCase& c = GetParam();
    const auto module = c.module();
    ASSERT_EQ(module->GetPixelCount() * 2u, c.pixelsPerLine);
    Chips source(*module);
    source.Fill(3, c.pixelsPerLine);
    const std::string path = DataPath(c.model);
    ASSERT_TRUE(WriteCalibrationDat(path, c.vendorId, c.productId, source.frontEnd, source.controller));

    const std::vector<uint8_t> bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), c.fileSize);
    EXPECT_EQ(bytes.size(), CalibrationDatSize(c.pixelsPerLine));
    const std::vector<uint8_t> header(bytes.begin(), bytes.begin() + 8);
    EXPECT_EQ(header, (std::vector<uint8_t>{'S', 'I', 3, 0, static_cast<uint8_t>(c.vendorId),
                                            static_cast<uint8_t>(c.vendorId >> 8), static_cast<uint8_t>(c.productId),
                                            static_cast<uint8_t>(c.productId >> 8)}));
    // Front-end block: offset codes of channels 0, 1, 2, gray as the chip
    // numbers them, gain codes likewise, then the reference voltage.
    const std::vector<uint8_t> afe(bytes.begin() + 8, bytes.begin() + 17);
    EXPECT_EQ(afe, (std::vector<uint8_t>{73, 71, 72, 74, 144, 75, 117, 164, 3}));
    for (int colour = 0; colour < 3; ++colour) {
        EXPECT_EQ(U32(bytes, 17 + 4 * colour), source.controller.GetExposure(colour));
    }
    size_t at = 29;
    for (int table = 0; table < 4; ++table) {
        ASSERT_EQ(U32(bytes, at), c.pixelsPerLine) << "table " << table;
        EXPECT_EQ(U32(bytes, at + 4), source.controller.ShadingTable(table)[3]) << "first pixel, table " << table;
        at += 4 + 4 * c.pixelsPerLine;
    }
    EXPECT_EQ(at, bytes.size());

    Chips target(*module);
    target.Fill(11, 5);
    ASSERT_TRUE(LoadCalibrationDat(path, c.vendorId, c.productId, static_cast<uint32_t>(c.pixelsPerLine),
                                   target.frontEnd, target.controller));
    EXPECT_TRUE(target.Snapshot() == source.Snapshot());
}

INSTANTIATE_TEST_SUITE_P(Models, GoldenFileTest,
                         ::testing::Values(ModelCase{"RM310", Make<CM635>, 0x17C4, 0x00F0, 4992, 79917},
                                           ModelCase{"RM410", Make<CM651>, 0x17C4, 0x00F1, 10368, 165933},
                                           ModelCase{"RM1100", Make<CM651>, 0x1F63, 0x4800, 10368, 165933},
                                           ModelCase{"RM460", Make<CM215_04_300>, 0x17C4, 0x4811, 5184, 82989}),
                         [](const ::testing::TestParamInfo<ModelCase>& p) { return std::string(p.param.model); });

class CalibrationDatTest : public ::testing::Test {
protected:
    static constexpr uint16_t kVendor = 0x17C4;
    static constexpr uint16_t kProduct = 0x00F1;
    static constexpr size_t kPixels = 16;

    void SetUp() override {
        path = DataPath("RM410");
        source.Fill(5, kPixels);
        ASSERT_TRUE(WriteCalibrationDat(path, kVendor, kProduct, source.frontEnd, source.controller));
        good = ReadAll(path);
        target.Fill(9, kPixels);
        before = target.Snapshot();
    }

    bool Load(uint32_t pixels = kPixels, uint16_t product = kProduct) {
        return LoadCalibrationDat(path, kVendor, product, pixels, target.frontEnd, target.controller);
    }

    CM651 module;
    Chips source{module};
    Chips target{module};
    std::string path;
    std::vector<uint8_t> good;
    Chips::Values before;
};

TEST_F(CalibrationDatTest, DamagedOrForeignFilesLeaveTheCalibrationAlone) {
    struct Damage {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> apply;
    };
    const Damage damages[] = {
        {"truncated by one byte", [](auto& b) { b.pop_back(); }},
        {"cut inside the front-end block", [](auto& b) { b.resize(12); }},
        {"one byte too many", [](auto& b) { b.push_back(0); }},
        {"magic IS", [](auto& b) { std::swap(b[0], b[1]); }},
        {"version 2", [](auto& b) { b[2] = 2; }},
        {"another vendor", [](auto& b) { b[4] ^= 1; }},
        {"another product", [](auto& b) { b[6] ^= 1; }},
        {"a table of another length", [](auto& b) { b[29] = kPixels - 1; }},
        {"an empty file", [](auto& b) { b.clear(); }},
        // Well formed, but values no scan can use.
        {"reference voltage 16", [](auto& b) { b[16] = 16; }},
        {"reference voltage 255", [](auto& b) { b[16] = 255; }},
        {"a zero exposure", [](auto& b) { std::fill(b.begin() + 21, b.begin() + 25, 0); }},
        {"a table of zero gains",
         [](auto& b) {
             for (size_t i = 0; i < kPixels; ++i) b[33 + 4 * i + 2] = b[33 + 4 * i + 3] = 0;
         }},
    };
    for (const Damage& d : damages) {
        std::vector<uint8_t> bytes = good;
        d.apply(bytes);
        WriteAll(path, bytes);
        EXPECT_FALSE(Load()) << d.what;
        EXPECT_FALSE(CalibrationDatUsable(path, kVendor, kProduct, kPixels, target.frontEnd)) << d.what;
        EXPECT_TRUE(target.Snapshot() == before) << d.what;
    }
    WriteAll(path, good);
    EXPECT_TRUE(CalibrationDatUsable(path, kVendor, kProduct, kPixels, target.frontEnd));
    EXPECT_TRUE(target.Snapshot() == before) << "checking loads nothing";
    OSDeleteFile(path.c_str());
    EXPECT_FALSE(Load()) << "missing";
    EXPECT_TRUE(target.Snapshot() == before);
}

TEST_F(CalibrationDatTest, FileFromAnotherProductIsNotLoaded) {
    EXPECT_FALSE(Load(kPixels, 0x00F0));
    EXPECT_TRUE(target.Snapshot() == before);
}

TEST_F(CalibrationDatTest, TablesOfAnotherPixelCountAreRefused) {
    EXPECT_FALSE(Load(kPixels + 1));
    EXPECT_TRUE(target.Snapshot() == before);
    EXPECT_TRUE(Load());
}

TEST_F(CalibrationDatTest, EmptyTablesAreStoredAsZeroAndAccepted) {
    Chips empty{module};
    ASSERT_TRUE(WriteCalibrationDat(path, kVendor, kProduct, empty.frontEnd, empty.controller));
    const std::vector<uint8_t> bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), CalibrationDatSize(0));
    for (size_t at = 29; at < bytes.size(); at += 4) {
        EXPECT_EQ(U32(bytes, at), 0u);
    }
    EXPECT_TRUE(Load());
    EXPECT_EQ(target.controller.ShadingTable(0).size(), 3u);
}

TEST_F(CalibrationDatTest, HeaderCheckOnAnOpenFile) {
    const auto file = CreateCalibrationFile();
    ASSERT_TRUE(file->Open(path.c_str(), kCalibrationFileRead));
    EXPECT_TRUE(CheckCalibrationHeader(*file, kVendor, kProduct));
    EXPECT_TRUE(CheckCalibrationHeader(*file, kVendor, kProduct)) << "it seeks back to the start";
    EXPECT_FALSE(CheckCalibrationHeader(*file, kVendor, 0x4800));
    file->Close();
    EXPECT_FALSE(CheckCalibrationHeader(*file, kVendor, kProduct)) << "closed";
}

TEST_F(CalibrationDatTest, FailedWritesReportFailureAndKeepTheOldFile) {
    Chips other{module};
    other.Fill(1, kPixels);
    platform::testing::InjectFailure("WriteFile");
    EXPECT_FALSE(WriteCalibrationDat(path, kVendor, kProduct, other.frontEnd, other.controller));
    platform::testing::ClearFailures();
    EXPECT_EQ(ReadAll(path), good);

    platform::testing::InjectFailure("GetTempFileNameA");
    EXPECT_FALSE(WriteCalibrationDat(path, kVendor, kProduct, other.frontEnd, other.controller));
    platform::testing::ClearFailures();
    EXPECT_EQ(ReadAll(path), good);

    EXPECT_FALSE(WriteCalibrationDat("C:\\no\\such\\folder\\Calibration.dat", kVendor, kProduct, other.frontEnd,
                                     other.controller));
}

TEST_F(CalibrationDatTest, NoStagingFileIsLeftBehind) {
    Chips other{module};
    other.Fill(2, kPixels);
    ASSERT_TRUE(WriteCalibrationDat(path, kVendor, kProduct, other.frontEnd, other.controller));
    const auto written = ReadAll(path);
    platform::testing::InjectFailure("MoveFileExA");  // the staging works, the replacement not
    EXPECT_FALSE(WriteCalibrationDat(path, kVendor, kProduct, source.frontEnd, source.controller));
    platform::testing::ClearFailures();
    EXPECT_EQ(ReadAll(path), written);
    const auto folder = std::filesystem::path(platform::testing::Root()) / "drives/c/ProgramData/Tessaline/RM410";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{kCalibrationDatName});
}

TEST_F(CalibrationDatTest, StagingFilesOfADeadCalibrationAreRemovedAndNothingElse) {
    const auto folder = std::filesystem::path(platform::testing::Root()) / "drives/c/ProgramData/Tessaline/RM410";
    struct Entry {
        const char* name;
        bool removed;
    };
    const Entry entries[] = {
        {"SI1A2B.tmp", true},    {"si7.TMP", true},       {"SI.tmp", true},
        {"SI1A2B.tmp.bak", false}, {"XSI3.tmp", false},   {"notes.txt", false},
        {"SI4.dat", false},
    };
    for (const Entry& e : entries) std::ofstream(folder / e.name) << "left";
    std::filesystem::create_directory(folder / "SIkept.tmp");
    RemoveStagedCalibrationFiles(path);
    for (const Entry& e : entries) EXPECT_NE(std::filesystem::exists(folder / e.name), e.removed) << e.name;
    EXPECT_TRUE(std::filesystem::is_directory(folder / "SIkept.tmp"));
    EXPECT_EQ(ReadAll(path), good);
    // A folder that does not exist holds nothing to remove.
    RemoveStagedCalibrationFiles("C:\\no\\such\\folder\\Calibration.dat");
}

}  // namespace
