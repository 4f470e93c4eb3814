// twacquire: acquires pages from a TWAIN data source and writes them as BMP files.
#include "TwacquireOptions.h"
#include "TwainAcquire.h"

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    const std::string_view program = argc > 0 ? argv[0] : "twacquire";
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedTwacquireOptions parsed = ParseTwacquireOptions(args);
    if (parsed.help) {
        std::cout << TwacquireUsage(program);
        return 0;
    }
    if (!parsed.options) {
        std::cerr << "twacquire: " << parsed.error << '\n' << TwacquireUsage(program);
        return 2;
    }
    return Acquire(*parsed.options, std::cout, std::cerr);
}
