// The dialog classes of the MFC-like subset.
#pragma once

#include <afxwin.h>
