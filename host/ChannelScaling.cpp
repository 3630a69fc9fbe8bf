#include "host/ChannelScaling.h"

#include <algorithm>
#include <vector>

namespace {

int32_t width(const VRect& r) { return r.right - r.left; }
int32_t height(const VRect& r) { return r.bottom - r.top; }

bool inside(const VRect& inner, const VRect& outer) {
    return inner.top >= outer.top && inner.left >= outer.left && inner.bottom <= outer.bottom &&
           inner.right <= outer.right;
}

}  // namespace

SourceSpan sourceSpan(int32_t i, int32_t n, int32_t m) {
    SourceSpan span;
    span.first = int32_t(int64_t(i) * m / n);
    const int32_t end = int32_t(int64_t(i + 1) * m / n);
    span.count = end > span.first ? end - span.first : 1;
    return span;
}

OSErr readScaledChannel(const ChannelSource& channel, const PSScaling& scaling, const VRect& writeRect, uint8_t* data,
                        int32_t rowBytes) {
    const VRect& src = scaling.sourceRect;
    const VRect& dst = scaling.destinationRect;
    const VRect whole{0, 0, channel.height, channel.width};
    if (!data || (!channel.samples && !channel.bytes)) return paramErr;
    if (width(src) <= 0 || height(src) <= 0 || width(dst) <= 0 || height(dst) <= 0) return paramErr;
    if (!inside(src, whole) || !inside(writeRect, dst) || width(writeRect) < 0 || height(writeRect) < 0)
        return paramErr;
    if (rowBytes < width(writeRect)) return paramErr;
    if (channel.depth != 8 && channel.depth != 16) return paramErr;

    const int32_t columns = width(writeRect);
    std::vector<SourceSpan> spans(size_t(columns > 0 ? columns : 0));
    for (int32_t x = 0; x < columns; ++x) {
        spans[size_t(x)] = sourceSpan(writeRect.left - dst.left + x, width(dst), width(src));
        spans[size_t(x)].first += src.left;
    }
    // Column sums of the source rows one destination row covers, over the
    // columns the write rectangle needs.
    const int32_t firstColumn = columns ? spans.front().first : 0;
    const int32_t lastColumn = columns ? spans.back().first + spans.back().count : 0;
    std::vector<uint32_t> sums(size_t(lastColumn - firstColumn));
    const uint64_t scale16 = 32768;

    for (int32_t y = writeRect.top; y < writeRect.bottom; ++y) {
        const SourceSpan rows = sourceSpan(y - dst.top, height(dst), height(src));
        std::fill(sums.begin(), sums.end(), 0u);
        for (int32_t sy = src.top + rows.first; sy < src.top + rows.first + rows.count; ++sy) {
            const size_t rowStart = size_t(sy) * size_t(channel.width);
            if (channel.bytes) {
                const uint8_t* p = channel.bytes + rowStart + size_t(firstColumn);
                for (size_t i = 0; i < sums.size(); ++i) sums[i] += p[i];
            } else {
                const uint16_t* p =
                    channel.samples + (rowStart + size_t(firstColumn)) * size_t(channel.stride) + channel.offset;
                for (size_t i = 0; i < sums.size(); ++i) sums[i] += p[i * size_t(channel.stride)];
            }
        }
        uint8_t* out = data + size_t(y - writeRect.top) * size_t(rowBytes);
        for (int32_t x = 0; x < columns; ++x) {
            const SourceSpan& span = spans[size_t(x)];
            uint64_t sum = 0;
            for (int32_t i = 0; i < span.count; ++i) sum += sums[size_t(span.first - firstColumn + i)];
            const uint64_t n = uint64_t(span.count) * uint64_t(rows.count);
            // Mean rounded half up; 16-bit means also brought to 0..255.
            out[x] = channel.depth == 8 ? uint8_t((2 * sum + n) / (2 * n))
                                        : uint8_t((2 * sum * 255 + n * scale16) / (2 * n * scale16));
        }
    }
    return noErr;
}
