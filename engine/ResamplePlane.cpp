#include "engine/ResamplePlane.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imageops/ColorModel.h"

namespace {

uint32_t sampleAt(const uint8_t* row, int32_t column, int depth) {
    if (depth == 8) return row[column];
    uint16_t v;
    std::memcpy(&v, row + 2 * size_t(column), 2);
    return uint32_t(v) * 10 / 1285;
}

}  // namespace

bool resamplePlane(const void* source, int32_t sourceRowBytes, const VRect& sourceRect, int depth, uint8_t* destination,
                   int32_t destinationRowBytes, const VRect& destinationRect) {
    if (depth != 8 && depth != 16) return false;
    const int32_t dw = destinationRect.right - destinationRect.left;
    const int32_t dh = destinationRect.bottom - destinationRect.top;
    if (dw <= 0 || dh <= 0) return true;
    const int32_t sw = sourceRect.right - sourceRect.left;
    const int32_t sh = sourceRect.bottom - sourceRect.top;
    if (sw <= 0 || sh <= 0 || !source || !destination) return false;

    const double rx = double(sw) / dw, ry = double(sh) / dh;
    const int32_t blockWidth = int32_t(std::max<int64_t>(1, roundHalfAway(rx)));
    const int32_t blockHeight = int32_t(std::max<int64_t>(1, roundHalfAway(ry)));
    // Column corners and widths, the same for every row.
    std::vector<int32_t> corner(static_cast<size_t>(dw)), width(static_cast<size_t>(dw));
    for (int32_t x = 0; x < dw; ++x) {
        const int32_t c = sourceRect.left + int32_t(x * rx);
        corner[size_t(x)] = c;
        width[size_t(x)] = std::min(blockWidth, sourceRect.right - c);
    }
    const uint8_t* base = static_cast<const uint8_t*>(source);
    for (int32_t y = 0; y < dh; ++y) {
        const int32_t top = sourceRect.top + int32_t(y * ry);
        const int32_t rows = std::min(blockHeight, sourceRect.bottom - top);
        uint8_t* out =
            destination + size_t(destinationRect.top + y) * size_t(destinationRowBytes) + size_t(destinationRect.left);
        for (int32_t x = 0; x < dw; ++x) {
            uint32_t sum = 0;
            for (int32_t r = 0; r < rows; ++r) {
                const uint8_t* row = base + size_t(top + r) * size_t(sourceRowBytes);
                for (int32_t i = 0; i < width[size_t(x)]; ++i) sum += sampleAt(row, corner[size_t(x)] + i, depth);
            }
            out[x] = uint8_t(roundHalfAway(double(sum) / (rows * width[size_t(x)])));
        }
    }
    return true;
}
