#include "Scanner.h"

namespace {

template <typename Function>
bool Bind(HMODULE module, Function& function, const char* name) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

}  // namespace

Scanner::~Scanner() {
    if (m_module) FreeLibrary(m_module);
}

bool Scanner::Load(const char* libraryFile) {
    m_module = LoadLibraryA(libraryFile);
    if (m_module == nullptr) return false;
    const bool bound = Bind(m_module, GetPaperStatus, "SI_GetPaperStatus") &&
                       Bind(m_module, GetProperty, "SI_GetProperty") &&
                       Bind(m_module, OpenInterface, "SI_OpenInterface") &&
                       Bind(m_module, CloseInterface, "SI_CloseInterface") &&
                       Bind(m_module, Calibrate, "SI_Calibrate") && Bind(m_module, IsCalibrated, "SI_IsCalibrated") &&
                       Bind(m_module, Clean, "SI_Clean");
    if (!bound) {
        FreeLibrary(m_module);
        m_module = nullptr;
    }
    return bound;
}
