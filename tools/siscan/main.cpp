// siscan: scans one page with the scanner library and writes it as PNM.
#include "PageScan.h"
#include "ScannerLibrary.h"
#include "SiscanOptions.h"

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    const std::string_view program = argc > 0 ? argv[0] : "siscan";
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedOptions parsed = ParseSiscanOptions(args);
    if (parsed.help) {
        std::cout << SiscanUsage(program);
        return 0;
    }
    if (!parsed.options) {
        std::cerr << "siscan: " << parsed.error << '\n' << SiscanUsage(program);
        return 2;
    }
    ScannerLibrary library;
    if (!library.Loaded()) {
        std::cerr << "siscan: " << library.Error() << '\n';
        return 1;
    }
    return ScanPage(library, *parsed.options, std::cerr);
}
