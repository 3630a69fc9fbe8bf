#include "host/win32/DisplayPixels.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

// One pixel of the map as blue, green, red for a DIB.
void pixelToBgr(const PSPixelMap& map, const uint8_t* at, uint8_t* bgr) {
    if (map.imageMode == plugInModeCMYKColor) {
        // 255 = no ink: a plain subtraction of the inks, like the host's
        // colour conversion.
        const int k = 255 - at[3 * map.planeBytes];
        for (int c = 0; c < 3; ++c) bgr[2 - c] = uint8_t(255 - std::min(255, (255 - at[c * map.planeBytes]) + k));
        return;
    }
    for (int c = 0; c < 3; ++c) bgr[2 - c] = at[c * map.planeBytes];
}

}  // namespace

OSErr PSCALL hostDisplayPixels(const PSPixelMap* source, const VRect* srcRect, int32 dstRow, int32 dstCol,
                               void* platformContext) {
    HDC dc = static_cast<HDC>(platformContext);
    if (!source || !srcRect || !dc || !source->baseAddr) return paramErr;
    if (source->imageMode != plugInModeRGBColor && source->imageMode != plugInModeCMYKColor) return paramErr;
    const VRect& b = source->bounds;
    // Only the part of the source rectangle inside the map is drawn.
    const int32 top = std::max(srcRect->top, b.top), left = std::max(srcRect->left, b.left);
    const int32 bottom = std::min(srcRect->bottom, b.bottom), right = std::min(srcRect->right, b.right);
    if (bottom <= top || right <= left) return noErr;
    const int32 width = right - left, height = bottom - top;
    const int32 stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> dib;
    try {
        dib.assign(size_t(stride) * size_t(height), 0);
    } catch (...) {
        return memFullErr;
    }
    const uint8_t* base = static_cast<const uint8_t*>(source->baseAddr);
    for (int32 y = 0; y < height; ++y) {
        const uint8_t* row = base + size_t(top - b.top + y) * source->rowBytes;
        uint8_t* out = dib.data() + size_t(y) * stride;
        for (int32 x = 0; x < width; ++x)
            pixelToBgr(*source, row + size_t(left - b.left + x) * source->colBytes, out + 3 * x);
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    // The destination is where the source rectangle's corner goes.
    const int x = dstCol + (left - srcRect->left), y = dstRow + (top - srcRect->top);
    const int lines = SetDIBitsToDevice(dc, x, y, DWORD(width), DWORD(height), 0, 0, 0, UINT(height), dib.data(), &info,
                                        DIB_RGB_COLORS);
    return lines == height ? noErr : paramErr;
}
