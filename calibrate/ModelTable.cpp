#include "ModelTable.h"

#include <array>
#include <cctype>

namespace {

constexpr std::array<ModelRow, 10> kModels{{
    {"CALVSA.dll", "Calvessa"},
    {"CALVRN.dll", "Calveron"},
    {"OSTRVL.dll", "Ostravel"},
    {"Pelimar.DLL", "RM410"},
    {"Pelinox.DLL", "RM460"},
    {"Pelidor.DLL", "RM310"},
    {"HVN32.dll", "Halvern32"},
    {"HVN12.dll", "Halvern12"},
    {"HVN70.dll", "Halvern70"},
    {"HVN52.dll", "Halvern52"},
}};

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> ModelForLibrary(std::string_view libraryFile) {
    for (const ModelRow& row : kModels)
        if (EqualIgnoringCase(row.libraryFile, libraryFile)) return std::string(row.model);
    return std::nullopt;
}
