// Image-acquisition result codes.
#pragma once

#include <windef.h>

#define WIA_ERROR_BUSY ((HRESULT)0x80210006)
