#include "BoardProfile.h"

namespace emulator {

namespace {

constexpr GpioWiring kGl841Wiring{1, 2, 3, 4, 5, 6, 11, 13};
constexpr GpioWiring kGl125Wiring{1, 2, 5, 5, 6, 7, 19, 13};

constexpr std::uint32_t kSignalBMoveVersion = 0x20050121;

constexpr std::array<BoardProfile, 5> kBoards{{
    {"RM310-GL841", 0x17C4, 0x00F0, ChipKind::Gl841, "CM635", 600, 2496, 22, 4.16, 600,
     600.0, 0.0, 0, 2.529e-3, 0.59, 268.0 / 600.0, 1.5, 512, 4.16, kGl841Wiring,
     0x0101, 0x20050121, "3105001001", "RM310-GL841"},
    {"RM310-GL125", 0x17C4, 0x00F2, ChipKind::Gl125, "CM218_02", 600, 2592, 82, 4.32, 0,
     600.0, 0.0, 0, 2.607e-3, 0.59, 268.0 / 600.0, 1.5, 512, 4.32, kGl125Wiring,
     0x0102, 0x20061120, "3125001002", "RM310-GL125"},
    {"RM410", 0x17C4, 0x00F1, ChipKind::Gl841, "CM651", 600, 5184, 22, 8.64, 1200,
     609.4, 600.0, 0x20051021, 2.697e-3, 0.58, 268.0 / 600.0, 1.5, 512, 8.64, kGl841Wiring,
     0x0201, 0x20051021, "4105001003", "RM410"},
    {"RM1100", 0x1F63, 0x4800, ChipKind::Gl841, "CM651", 600, 5184, 22, 8.64, 1200,
     609.4, 600.0, 0x20051021, 2.697e-3, 0.58, 268.0 / 600.0, 1.5, 512, 8.64, kGl841Wiring,
     0x0202, 0x20051021, "1105001004", "RM1100"},
    {"RM460", 0x17C4, 0x4811, ChipKind::Gl125, "CM215_04_300", 300, 2592, 82, 8.64, 0,
     600.0, 0.0, 0, 1.327e-3, 0.80, 268.0 / 600.0, 1.5, 512, 8.64, kGl125Wiring,
     0x0301, 0x20061120, "4605001005", "RM460"},
}};

} // namespace

double BoardProfile::MotorStepsPerInch() const
{
    if (lowVersionStepsPerInch > 0.0 && boardVersion < lowVersionLimit)
        return lowVersionStepsPerInch;
    return stepsPerInch;
}

int BoardProfile::SignalBLine() const
{
    if (chip == ChipKind::Gl841 && boardVersion < kSignalBMoveVersion)
        return 8;
    return 12;
}

const std::array<BoardProfile, 5>& Boards()
{
    return kBoards;
}

std::optional<BoardProfile> FindBoard(std::string_view name)
{
    for (const BoardProfile& board : kBoards) {
        if (board.name == name)
            return board;
    }
    return std::nullopt;
}

} // namespace emulator
