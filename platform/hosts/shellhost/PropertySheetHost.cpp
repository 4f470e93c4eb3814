#include "PropertySheetHost.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>

namespace shellhost {

BOOL CALLBACK PageCollector::Add(HPROPSHEETPAGE page, LPARAM lParam) {
    auto* collector = reinterpret_cast<PageCollector*>(lParam);
    if (collector == nullptr || page == nullptr) return FALSE;
    collector->pages.push_back(page);
    return TRUE;
}

int ShowSheet(PageCollector& pages, const std::string& caption) {
    if (pages.pages.empty()) {
        std::fputs("no pages\n", stdout);
        std::fflush(stdout);
        return 1;
    }
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    InitCommonControlsEx(&controls);
    PROPSHEETHEADERA header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_DEFAULT;
    header.pszCaption = caption.c_str();
    header.nPages = static_cast<UINT>(pages.pages.size());
    header.phpage = pages.pages.data();
    std::printf("sheet %d\n", static_cast<int>(PropertySheetA(&header)));
    std::fflush(stdout);
    pages.pages.clear();
    return 0;
}

}  // namespace shellhost
