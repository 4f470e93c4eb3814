// An acquisition through the TWAIN Source Manager: opens it and the source,
// negotiates the options, enables the source without user interface and
// writes every page it transfers as a BMP file.
#pragma once

#include "TwacquireOptions.h"

#include <ostream>

// 0 on success, else the TWAIN condition code of the failure (or 1).
int Acquire(const TwacquireOptions& options, std::ostream& out, std::ostream& messages);
