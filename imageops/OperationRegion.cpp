#include "imageops/OperationRegion.h"

bool channelLayoutFor(ColorModel model, ChannelLayout& layout) {
    switch (model) {
        case ColorModel::HSI:
            layout = {HsiChannels, 3, {0, 1, 4, 0}};
            return true;
        case ColorModel::RGB:
        case ColorModel::YUV:
            layout = {RgbChannels, 3, {0, 1, 2, 0}};
            return true;
        case ColorModel::CMYK:
            layout = {CmykChannels, 4, {0, 1, 2, 3}};
            return true;
        default:
            return false;
    }
}

bool acceptRegion(const ImageBuffer& src, const ImageBuffer& dst, const ImageBuffer& mask, Point16 topLeft,
                  Point16 bottomRight, double half) {
    const int32_t top = topLeft.v, left = topLeft.h, bottom = bottomRight.v, right = bottomRight.h;
    // The neighbourhood must fit between the rectangle and the buffer's edges
    // (a NaN half fails every comparison).
    if (!(left >= half) || !(src.width - right >= half) || !(top >= half) || !(src.height - bottom >= half))
        return false;
    if (dst.width != src.width || dst.height != src.height) return false;
    // Beyond that: a rectangle inside the buffers, the right way round.
    if (left < 0 || top < 0 || right < left || bottom < top || right > src.width || bottom > src.height) return false;
    if (!src.data || !dst.data || !mask.data || mask.width < right || mask.height < bottom) return false;
    return true;
}
