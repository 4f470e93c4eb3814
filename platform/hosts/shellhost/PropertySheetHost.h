// The property sheet the shell shows for a device: the pages its handlers
// (or the Still Image control panel's module) add, in one modal sheet.
#pragma once

#include <shobjidl.h>

#include <string>
#include <vector>

namespace shellhost {

struct PageCollector {
    std::vector<HPROPSHEETPAGE> pages;
    static BOOL CALLBACK Add(HPROPSHEETPAGE page, LPARAM lParam);
};

// Shows the pages in a modal sheet ("sheet N" with the sheet's result);
// prints "no pages" when there are none. 0 when a sheet was shown.
int ShowSheet(PageCollector& pages, const std::string& caption);

}  // namespace shellhost
