// ANSI code page text to wide text and back.
#pragma once

#include <string>
#include <string_view>

std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);
