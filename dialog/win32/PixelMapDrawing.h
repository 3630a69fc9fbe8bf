// Drawing a planar preview map straight into a window, for hosts that offer
// no displayPixels.
#pragma once

#include <windows.h>

#include "hostapi/PluginHost.h"

// Draws the map's bounds (8-bit RGB, or CMYK with 255 = no ink) with its
// top-left corner at (dstCol, dstRow) of dc, as a 24-bit device-independent
// bitmap. CMYK is shown by subtracting the inks, as hosts display it. False
// for other modes or when memory is short.
bool drawPixelMap(HDC dc, const PSPixelMap& map, int32 dstRow, int32 dstCol);
