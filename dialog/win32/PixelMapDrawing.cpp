#include "dialog/win32/PixelMapDrawing.h"

#include <algorithm>
#include <vector>

bool drawPixelMap(HDC dc, const PSPixelMap& map, int32 dstRow, int32 dstCol) {
    const bool cmyk = map.imageMode == plugInModeCMYKColor;
    if (!dc || !map.baseAddr || (!cmyk && map.imageMode != plugInModeRGBColor)) return false;
    const int32 width = map.bounds.right - map.bounds.left, height = map.bounds.bottom - map.bounds.top;
    if (width <= 0 || height <= 0) return true;
    const int32 stride = (width * 3 + 3) & ~3;  // DIB rows end on 4 bytes
    std::vector<uint8_t> dib;
    try {
        dib.assign(size_t(stride) * size_t(height), 0);
    } catch (...) {
        return false;
    }
    const uint8_t* base = static_cast<const uint8_t*>(map.baseAddr);
    const size_t plane = size_t(map.planeBytes);
    for (int32 y = 0; y < height; ++y) {
        const uint8_t* row = base + size_t(y) * size_t(map.rowBytes);
        uint8_t* bgr = dib.data() + size_t(y) * size_t(stride);
        for (int32 x = 0; x < width; ++x, bgr += 3) {
            const uint8_t* at = row + size_t(x) * size_t(map.colBytes);
            const int ink = cmyk ? 255 - at[3 * plane] : 0;  // black ink, added to each colour's
            for (int c = 0; c < 3; ++c)
                bgr[2 - c] = cmyk ? uint8_t(255 - std::min(255, (255 - at[c * plane]) + ink)) : at[c * plane];
        }
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // rows top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    return SetDIBitsToDevice(dc, dstCol, dstRow, DWORD(width), DWORD(height), 0, 0, 0, UINT(height), dib.data(), &info,
                             DIB_RGB_COLORS) == height;
}
