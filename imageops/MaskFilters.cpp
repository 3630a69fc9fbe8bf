// Disc-shaped neighbourhood filters over a mask. Every neighbour at offset
// (dy, dx) has the percentage distance d = distance(dy, dx) / r (hundredths of
// a pixel, integer division); only d <= 100 takes part, and the window never
// leaves the rectangle.
//
// The edge map keeps the plain loop's order for its double sums (row by row
// from the top, each row left to right), so it walks a precomputed list of
// neighbours in that order (eight neighbouring pixels at a time, one chain per
// pixel); windows that hold a single value are recognised from running sums
// and give 0 without the walk.
//
// Expansion is the largest of trunc(factor(d) x v) over the window. Without
// falloff that is the plain maximum over the disc, found row by row: the disc
// is a staircase of nested rectangles |dy| <= k, |dx| <= a(k), so its maximum
// is the maximum over the corners of the staircase of a horizontal maximum of
// width a(k) over the vertical maximum of rows y - k .. y + k. Horizontal
// maxima of decreasing widths are built by widening one step at a time from
// the widest, which costs r steps per row. Contraction is the same on the
// complemented values (min v = 65535 - max(65535 - v)). With falloff, the
// disc maximum (minimum) bounds the result, and the neighbours are visited in
// order of increasing d, most of them dismissed by integer bounds, until no
// further one can change it (eight neighbouring pixels at a time).
#include "imageops/MaskFilters.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imageops/DistanceTable.h"
#include "imageops/HostBlock.h"
#include "threads/BandRun.h"

namespace {

constexpr int32_t kMaxRadius = 32767;
constexpr int32_t kMaxEdgeRadius = 100;  // 1/d needs d >= 1 for every true neighbour
constexpr int32_t kBandRows = 32;        // rows per band of work for one thread
constexpr int kMaxThreads = 64;

// Rectangle accepted by the filters: inside equal-sized buffers, not reversed.
bool acceptMaskRect(const ImageBuffer& src, const ImageBuffer& dst, Point16 topLeft, Point16 bottomRight) {
    if (!src.data || !dst.data || src.width != dst.width || src.height != dst.height) return false;
    return topLeft.v >= 0 && topLeft.h >= 0 && bottomRight.v >= topLeft.v && bottomRight.h >= topLeft.h &&
           bottomRight.v <= src.height && bottomRight.h <= src.width;
}

int32_t percentDistance(const DistanceTable& table, int32_t dy, int32_t dx, int32_t r) {
    if (r == 0) return 0;  // only the centre exists
    return table.at(std::abs(dy), std::abs(dx)) / r;
}

// ---- edge map

struct EdgeNeighbour {
    int32_t dy, dx;
    ptrdiff_t offset;  // dy x width + dx
    double weight;     // 1 / d
};

// Distance-weighted mean absolute difference over a window that lies wholly
// inside the rectangle, for four pixels at once: four independent chains of
// additions, each in the list's order.
void edgeSumsOfFour(const uint16_t* const centre[4], const EdgeNeighbour* list, int32_t count, double sums[4]) {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    const int32_t c0 = *centre[0], c1 = *centre[1], c2 = *centre[2], c3 = *centre[3];
    for (int32_t i = 0; i < count; ++i) {
        const ptrdiff_t off = list[i].offset;
        const double w = list[i].weight;
        s0 += w * double(std::abs(c0 - int32_t(centre[0][off])));
        s1 += w * double(std::abs(c1 - int32_t(centre[1][off])));
        s2 += w * double(std::abs(c2 - int32_t(centre[2][off])));
        s3 += w * double(std::abs(c3 - int32_t(centre[3][off])));
    }
    sums[0] = s0, sums[1] = s1, sums[2] = s2, sums[3] = s3;
}

uint16_t edgeResult(double s, double w) { return uint16_t(s / w); }

#if defined(__SSE2__)
// The same sums for eight neighbouring pixels, two lanes of doubles each,
// every lane adding in the list's order.
void edgeSumsOfEight(const uint16_t* centre, const EdgeNeighbour* list, int32_t count, double sums[8]) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(centre));
    const __m128i cLow = _mm_unpacklo_epi16(c, zero), cHigh = _mm_unpackhi_epi16(c, zero);
    __m128d s0 = _mm_setzero_pd(), s1 = _mm_setzero_pd(), s2 = _mm_setzero_pd(), s3 = _mm_setzero_pd();
    auto absolute = [](__m128i d) {
        const __m128i sign = _mm_srai_epi32(d, 31);
        return _mm_sub_epi32(_mm_xor_si128(d, sign), sign);
    };
    for (int32_t i = 0; i < count; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(centre + list[i].offset));
        const __m128i dLow = absolute(_mm_sub_epi32(cLow, _mm_unpacklo_epi16(v, zero)));
        const __m128i dHigh = absolute(_mm_sub_epi32(cHigh, _mm_unpackhi_epi16(v, zero)));
        const __m128d w = _mm_set1_pd(list[i].weight);
        s0 = _mm_add_pd(s0, _mm_mul_pd(w, _mm_cvtepi32_pd(dLow)));
        s1 = _mm_add_pd(s1, _mm_mul_pd(w, _mm_cvtepi32_pd(_mm_shuffle_epi32(dLow, 0x0E))));
        s2 = _mm_add_pd(s2, _mm_mul_pd(w, _mm_cvtepi32_pd(dHigh)));
        s3 = _mm_add_pd(s3, _mm_mul_pd(w, _mm_cvtepi32_pd(_mm_shuffle_epi32(dHigh, 0x0E))));
    }
    _mm_storeu_pd(sums, s0);
    _mm_storeu_pd(sums + 2, s1);
    _mm_storeu_pd(sums + 4, s2);
    _mm_storeu_pd(sums + 6, s3);
}
#endif

// ---- expansion and contraction

// Vertical and horizontal maxima of rows, on values complemented when the
// minimum is wanted. Loops run in fixed blocks so that the compiler turns them
// into vector code.
constexpr int32_t kBlock = 16;

void maxInto(uint16_t* __restrict acc, const uint16_t* __restrict row, int32_t n, uint16_t flip) {
    int32_t i = 0;
    for (; i + kBlock <= n; i += kBlock)
        for (int32_t l = 0; l < kBlock; ++l) acc[i + l] = std::max<uint16_t>(acc[i + l], uint16_t(row[i + l] ^ flip));
    for (; i < n; ++i) acc[i] = std::max<uint16_t>(acc[i], uint16_t(row[i] ^ flip));
}

void copyFlipped(uint16_t* __restrict out, const uint16_t* __restrict row, int32_t n, uint16_t flip) {
    int32_t i = 0;
    for (; i + kBlock <= n; i += kBlock)
        for (int32_t l = 0; l < kBlock; ++l) out[i + l] = uint16_t(row[i + l] ^ flip);
    for (; i < n; ++i) out[i] = uint16_t(row[i] ^ flip);
}

// out[i] = max(in[i - 1], in[i], in[i + 1]) for i in [from, to).
void widenByOne(uint16_t* __restrict out, const uint16_t* __restrict in, int32_t from, int32_t to) {
    int32_t i = from;
    for (; i + kBlock <= to; i += kBlock)
        for (int32_t l = 0; l < kBlock; ++l) out[i + l] = std::max(std::max(in[i + l - 1], in[i + l]), in[i + l + 1]);
    for (; i < to; ++i) out[i] = std::max(std::max(in[i - 1], in[i]), in[i + 1]);
}

// The disc of one radius: the half-width a(k) of each row offset k = 0..r and
// the corners of its staircase (k = r, and every k with a(k) > a(k + 1)).
struct Disc {
    int32_t radius = 0;
    HostBlock<int32_t> halfWidth;
    HostBlock<int32_t> corners;
    int32_t cornerCount = 0;

    bool build(const RunContext& run, const DistanceTable& table, int32_t r) {
        radius = r;
        if (!halfWidth.take(run, size_t(r) + 1) || !corners.take(run, size_t(r) + 1)) return false;
        for (int32_t k = 0; k <= r; ++k) {
            int32_t a = -1;
            while (a < r && percentDistance(table, k, a + 1, r) <= 100) ++a;
            halfWidth.data[k] = a;  // a(k) >= 0: d(k, 0) = 100 k / r <= 100
        }
        for (int32_t k = 0; k <= r; ++k)
            if (k == r || halfWidth.data[k] > halfWidth.data[k + 1]) corners.data[cornerCount++] = k;
        return true;
    }
};

// Maximum of the (complemented when flip = 0xFFFF) source over the disc window
// of every pixel of row y, clipped to the rectangle; the result is written
// complemented back, so with flip it is the minimum. Scratch rows: q holds n
// values, t and u n + 2r.
void discExtremeRow(const ImageBuffer& src, const Disc& disc, int32_t y, int32_t top, int32_t left, int32_t bottom,
                    int32_t right, uint16_t flip, uint16_t* q, uint16_t* t, uint16_t* u, uint16_t* out) {
    const int32_t r = disc.radius, n = right - left;
    const int32_t* a = disc.halfWidth.data;
    auto row = [&](int32_t yy) { return src.data + size_t(yy) * size_t(src.width) + size_t(left); };

    // Beyond kLast no more rows of the rectangle join the vertical maximum.
    const int32_t kLast = std::min(r, std::max(y - top, bottom - 1 - y));
    copyFlipped(q, row(y), n, flip);
    int32_t kDone = 0;
    auto growTo = [&](int32_t k) {
        for (++kDone; kDone <= k; ++kDone) {
            if (y - kDone >= top) maxInto(q, row(y - kDone), n, flip);
            if (y + kDone < bottom) maxInto(q, row(y + kDone), n, flip);
        }
        kDone = k;
    };

    // t[r + i] is column left + i; columns outside the rectangle hold 0, the
    // neutral value of the maximum.
    bool first = true;
    int32_t width = 0;  // horizontal reach still to apply to t
    for (int32_t c = 0; c < disc.cornerCount; ++c) {
        const int32_t k = std::min(disc.corners.data[c], kLast);
        const int32_t ak = a[k];
        growTo(k);
        if (first) {
            std::memset(t + (r - ak), 0, size_t(ak) * sizeof(uint16_t));
            std::memcpy(t + r, q, size_t(n) * sizeof(uint16_t));
            std::memset(t + r + n, 0, size_t(ak) * sizeof(uint16_t));
            first = false;
        } else {
            // Widen what t holds from reach width down to ak, then join q.
            for (int32_t reach = width; reach > ak; --reach) {
                widenByOne(u, t, r - reach + 1, r + n + reach - 1);
                std::swap(t, u);
            }
            maxInto(t + r, q, n, 0);
        }
        width = ak;
        if (k == kLast) break;
    }
    for (int32_t reach = width; reach > 0; --reach) {
        widenByOne(u, t, r - reach + 1, r + n + reach - 1);
        std::swap(t, u);
    }
    copyFlipped(out, t + r, n, flip);
}

// A neighbour of the falloff walk.
struct DiscNeighbour {
    int32_t dy, dx;
    ptrdiff_t offset;
};

// Neighbours of the disc, centre excluded, in order of increasing d, limited to
// offsets that can fall inside a rectangle of the given size; groupStart[d]
// .. groupStart[d + 1] hold those at distance d.
struct FalloffList {
    HostBlock<DiscNeighbour> entries;
    int32_t groupStart[102] = {};

    bool build(const RunContext& run, const DistanceTable& table, int32_t r, int32_t width, int32_t rectHeight,
               int32_t rectWidth) {
        const int32_t reachY = std::min(r, rectHeight - 1), reachX = std::min(r, rectWidth - 1);
        int32_t counts[101] = {};
        for (int32_t dy = -reachY; dy <= reachY; ++dy)
            for (int32_t dx = -reachX; dx <= reachX; ++dx) {
                const int32_t d = percentDistance(table, dy, dx, r);
                if ((dy || dx) && d <= 100) ++counts[d];
            }
        groupStart[0] = 0;
        for (int32_t d = 0; d <= 100; ++d) groupStart[d + 1] = groupStart[d] + counts[d];
        if (!entries.take(run, size_t(groupStart[101]))) return false;
        int32_t fill[101];
        std::memcpy(fill, groupStart, sizeof fill);
        for (int32_t dy = -reachY; dy <= reachY; ++dy)
            for (int32_t dx = -reachX; dx <= reachX; ++dx) {
                const int32_t d = percentDistance(table, dy, dx, r);
                if ((dy || dx) && d <= 100) entries.data[fill[d]++] = {dy, dx, ptrdiff_t(dy) * width + dx};
            }
        return true;
    }
};

uint16_t clampToChannel(double v) {
    if (!(v > 0)) return 0;
    if (v >= 65535) return 65535;
    return uint16_t(v);
}

// trunc(factor x v), kept within 0..65535 (a falloff above 1 would go below 0).
uint16_t expandValue(double factor, uint16_t v) { return clampToChannel(factor * v); }

// trunc(v + (((65535 - v) x f) x d) x 0.01), kept within 0..65535.
uint16_t contractValue(double f, double d, uint16_t v) { return clampToChannel(v + (((65535 - v) * f) * d) * 0.01); }

enum class Shape { Expand, Contract };

// Cheap integer bounds on the per-neighbour values of the falloff walk, per
// distance d, so that most neighbours are dismissed without the double
// arithmetic:
// - expansion: value(d, v) = trunc(factor(d) v) <= (v K(d)) >> 16 with
//   K(d) = ceil(factor(d) 65536) + 1;
// - contraction: value(d, v) = trunc(v + (((65535 - v) f) d) 0.01)
//   >= 65535 - (((65535 - v) K(d)) >> 16) - 2 with
//   K(d) = ceil(max(0, 1 - f d 0.01) 65536) + 2 (the margins cover every
//   rounding of the double expression).
// Both bounds are monotonic in v, and in d, so once the bound at the disc's
// extreme cannot beat the best value, no neighbour further out can either.
// That needs a falloff above 0 (expansion: any; contraction: any, since
// values above 1 just saturate); a negative falloff visits every neighbour.
struct FalloffBounds {
    Shape shape;
    double falloff;
    bool usable;  // the bounds hold
    double factor[101];
    uint32_t k[101];

    FalloffBounds(Shape s, double f) : shape(s), falloff(f), usable(f > 0) {
        for (int32_t d = 0; d <= 100; ++d) {
            factor[d] = 1 - ((d * f) * 0.01);
            double scaled;
            if (s == Shape::Expand) {
                scaled = factor[d] <= 0 ? -1.0 : std::ceil(factor[d] * 65536) + 1;
            } else {
                const double rest = 1 - (f * d) * 0.01;
                scaled = std::ceil((rest > 0 ? rest : 0) * 65536) + 2;
            }
            k[d] = scaled < 0 ? 0 : uint32_t(std::min(scaled, 65537.0));
        }
    }
    uint16_t value(int32_t d, uint16_t v) const {
        return shape == Shape::Expand ? expandValue(factor[d], v) : contractValue(falloff, d, v);
    }
    // True when a neighbour of value v at distance d might improve on best.
    bool mayImprove(int32_t d, uint16_t v, uint16_t best) const {
        if (shape == Shape::Expand) return ((uint32_t(v) * k[d]) >> 16) > best;
        return 65535 - int32_t(((uint32_t(65535 - v)) * k[d]) >> 16) - 2 < int32_t(best);
    }
};

// One pixel of the falloff walk; within(e) tells whether a neighbour lies
// inside the rectangle. extreme is the disc's maximum (expansion) or minimum
// (contraction) around the pixel.
template <typename Within>
uint16_t falloffPixel(const FalloffBounds& b, const FalloffList& list, const uint16_t* centre, uint16_t extreme,
                      Within within) {
    const bool expand = b.shape == Shape::Expand;
    uint16_t best = *centre;  // the pixel itself, d = 0
    for (int32_t d = 0; d <= 100; ++d) {
        if (b.usable) {
            if (expand ? best >= extreme : best <= extreme) break;
            if (!b.mayImprove(d, extreme, best)) break;
        }
        for (int32_t i = list.groupStart[d]; i < list.groupStart[d + 1]; ++i) {
            const DiscNeighbour& e = list.entries.data[i];
            if (!within(e)) continue;
            const uint16_t v = centre[e.offset];
            if (b.usable && !b.mayImprove(d, v, best)) continue;
            const uint16_t value = b.value(d, v);
            best = expand ? std::max(best, value) : std::min(best, value);
        }
    }
    return best;
}

#if defined(__SSE2__)
constexpr int32_t kLanes = 8;

// Unsigned 16-bit comparisons and the bounds on eight lanes.
inline __m128i greaterU16(__m128i a, __m128i b) {
    const __m128i bias = _mm_set1_epi16(int16_t(0x8000));
    return _mm_cmpgt_epi16(_mm_xor_si128(a, bias), _mm_xor_si128(b, bias));
}
inline __m128i scaleU16(__m128i v, uint32_t k) {
    return k > 65535 ? v : _mm_mulhi_epu16(v, _mm_set1_epi16(int16_t(uint16_t(k))));
}
// Lanes whose neighbour value v might improve on best.
inline int improvingLanes(const FalloffBounds& b, int32_t d, __m128i v, __m128i best) {
    if (b.shape == Shape::Expand) return _mm_movemask_epi8(greaterU16(scaleU16(v, b.k[d]), best));
    const __m128i ones = _mm_set1_epi16(-1);
    const __m128i low =
        _mm_subs_epu16(_mm_xor_si128(scaleU16(_mm_xor_si128(v, ones), b.k[d]), ones), _mm_set1_epi16(2));
    return _mm_movemask_epi8(greaterU16(best, low));
}

// Eight neighbouring pixels whose windows lie wholly inside the rectangle.
void falloffStrip(const FalloffBounds& b, const FalloffList& list, const uint16_t* centre, const uint16_t* extreme,
                  uint16_t* out) {
    const bool expand = b.shape == Shape::Expand;
    __m128i best = _mm_loadu_si128(reinterpret_cast<const __m128i*>(centre));
    const __m128i bound = _mm_loadu_si128(reinterpret_cast<const __m128i*>(extreme));
    for (int32_t d = 0; d <= 100; ++d) {
        // Done when no lane can improve any more (the extreme itself is the limit).
        const __m128i open = expand ? greaterU16(bound, best) : greaterU16(best, bound);
        if (!(_mm_movemask_epi8(open) & improvingLanes(b, d, bound, best))) break;
        for (int32_t i = list.groupStart[d]; i < list.groupStart[d + 1]; ++i) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(centre + list.entries.data[i].offset));
            const int lanes = improvingLanes(b, d, v, best);
            if (!lanes) continue;
            alignas(16) uint16_t vs[kLanes], bs[kLanes];
            _mm_store_si128(reinterpret_cast<__m128i*>(vs), v);
            _mm_store_si128(reinterpret_cast<__m128i*>(bs), best);
            for (int l = 0; l < kLanes; ++l) {
                if (!(lanes & (3 << (2 * l)))) continue;
                const uint16_t value = b.value(d, vs[l]);
                bs[l] = expand ? std::max(bs[l], value) : std::min(bs[l], value);
            }
            best = _mm_load_si128(reinterpret_cast<const __m128i*>(bs));
        }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), best);
}
#endif

bool reshapeMask(const RunContext& run, Shape shape, const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft,
                 Point16 bottomRight, double size, double falloff) {
    if (!acceptMaskRect(src, dst, topLeft, bottomRight)) return false;
    const int32_t top = topLeft.v, left = topLeft.h, bottom = bottomRight.v, right = bottomRight.h;
    if (!std::isfinite(falloff)) falloff = 0;  // a damaged factor acts as none
    const bool plain = falloff == 0;
    // Radii the rectangle cannot use change nothing but the cost: the disc
    // holds the whole rectangle from every pixel once the farthest offset in
    // it has d <= 100, and every d is 0 once r exceeds that offset's distance.
    // The table needs the disc's radius and the offsets the rectangle holds.
    const int32_t farthest = distanceHundredths(std::max(bottom - top - 1, 0), std::max(right - left - 1, 0));
    const int32_t discRadius = std::min(radiusForSize(size), farthest / 101 + 1);
    const int32_t r = plain ? discRadius : std::min(radiusForSize(size), farthest + 1);
    const int32_t tableRadius = std::max(discRadius, std::min(r, std::max(bottom - top, right - left) - 1));

    DistanceTable table;
    if (!table.build(run, tableRadius)) return false;
    if (top == bottom || left == right) return true;

    const int32_t n = right - left, width = src.width;
    Disc disc;
    if (!disc.build(run, table, discRadius)) return false;
    const int32_t bands = (bottom - top + kBandRows - 1) / kBandRows;
    const int threads = std::max(1, std::min({run.threads(), kMaxThreads, int(bands)}));
    // Scratch rows per thread, taken here on the host's thread.
    struct RowScratch {
        HostBlock<uint16_t> q, t, u, extreme;
    } scratch[kMaxThreads];
    for (int i = 0; i < threads; ++i)
        if (!scratch[i].q.take(run, size_t(n)) || !scratch[i].t.take(run, size_t(n) + 2 * size_t(discRadius)) ||
            !scratch[i].u.take(run, size_t(n) + 2 * size_t(discRadius)) || !scratch[i].extreme.take(run, size_t(n)))
            return false;

    FalloffList list;
    if (!plain && !list.build(run, table, r, width, bottom - top, right - left)) return false;
    const FalloffBounds bounds(shape, falloff);

    const uint16_t flip = shape == Shape::Expand ? 0 : 0xFFFF;
    auto reshapeRow = [&](int32_t y, RowScratch& rs) {
        uint16_t* out = dst.data + size_t(y) * size_t(width);
        const uint16_t* in = src.data + size_t(y) * size_t(width);
        const uint16_t* extreme = rs.extreme.data;
        discExtremeRow(src, disc, y, top, left, bottom, right, flip, rs.q.data, rs.t.data, rs.u.data, rs.extreme.data);
        if (plain) {
            std::memcpy(out + left, extreme, size_t(n) * sizeof(uint16_t));
            return;
        }
        const bool rowsInside = y - r >= top && y + r < bottom;
        int32_t x = left;
        while (x < right) {
            const bool inside = rowsInside && x - r >= left && x + r < right;
#if defined(__SSE2__)
            if (inside && bounds.usable && x + kLanes - 1 + r < right) {
                falloffStrip(bounds, list, in + x, extreme + (x - left), out + x);
                x += kLanes;
                continue;
            }
#endif
            const int32_t px = x, py = y;
            auto within = [&](const DiscNeighbour& e) {
                return inside || (py + e.dy >= top && py + e.dy < bottom && px + e.dx >= left && px + e.dx < right);
            };
            out[x] = falloffPixel(bounds, list, in + x, extreme[x - left], within);
            ++x;
        }
    };
    BandRun bandRun(
        threads, bands, [] { return true; }, &run.workers());
    return bandRun.run([&](int32_t band, int slot) {
        const int32_t first = top + band * kBandRows, end = std::min(first + kBandRows, bottom);
        for (int32_t y = first; y < end; ++y) {
            reshapeRow(y, scratch[slot]);
            if (!bandRun.rowDone(slot)) return false;
        }
        return true;
    });
}

// The rectangle an edge map is made of, and its window's radius.
struct EdgeRegion {
    const ImageBuffer& src;
    ImageBuffer& dst;
    int32_t top, left, bottom, right;
    int32_t r;
};

// The window's neighbours in the plain loop's order, and the weight sum of a
// whole window.
struct EdgeWindow {
    HostBlock<EdgeNeighbour> list;
    int32_t count = 0;
    double fullWeight = 0;

    bool build(const RunContext& run, const DistanceTable& table, int32_t r, int32_t width) {
        if (!list.take(run, size_t(2 * r + 1) * size_t(2 * r + 1))) return false;
        for (int32_t dy = -r; dy <= r; ++dy)
            for (int32_t dx = -r; dx <= r; ++dx) {
                if (!dy && !dx) continue;
                const int32_t d = percentDistance(table, dy, dx, r);
                if (d > 100) continue;
                const double w = 1.0 / d;
                list.data[count++] = {dy, dx, ptrdiff_t(dy) * width + dx, w};
                fullWeight += w;
            }
        return true;
    }
};

// Running sums of v and v^2 over the clipped square window: per column of
// the rectangle over the window's rows, and their prefix sums along the row.
// A window whose sum is N c and sum of squares N c^2 holds c only.
struct WindowSums {
    HostBlock<uint64_t> columnSum, columnSquares, prefixSum, prefixSquares;
    int32_t n = 0;

    bool take(const RunContext& run, int32_t columns) {
        n = columns;
        return columnSum.take(run, size_t(n)) && columnSquares.take(run, size_t(n)) &&
               prefixSum.take(run, size_t(n) + 1) && prefixSquares.take(run, size_t(n) + 1);
    }
    void addRow(const ImageBuffer& src, int32_t yy, int32_t left, bool add) {
        const uint16_t* p = src.data + size_t(yy) * size_t(src.width) + size_t(left);
        for (int32_t i = 0; i < n; ++i) {
            const uint64_t v = p[i];
            if (add) {
                columnSum.data[i] += v;
                columnSquares.data[i] += v * v;
            } else {
                columnSum.data[i] -= v;
                columnSquares.data[i] -= v * v;
            }
        }
    }
    void makePrefix() {
        prefixSum.data[0] = prefixSquares.data[0] = 0;
        for (int32_t i = 0; i < n; ++i) {
            prefixSum.data[i + 1] = prefixSum.data[i] + columnSum.data[i];
            prefixSquares.data[i + 1] = prefixSquares.data[i] + columnSquares.data[i];
        }
    }
};

// Row y: flat windows map to 0, windows cut by the rectangle are walked
// here skipping what lies outside, and whole windows are either done eight
// at a time or left in pending for edgeWholeWindows. Returns their count.
int32_t edgeRow(const EdgeRegion& g, const EdgeWindow& window, const WindowSums& sums, int32_t* pending, int32_t y) {
    const int32_t r = g.r, top = g.top, left = g.left, bottom = g.bottom, right = g.right;
    const uint64_t rows = uint64_t(std::min(bottom - 1, y + r) - std::max(top, y - r) + 1);
    const uint16_t* in = g.src.data + size_t(y) * size_t(g.src.width);
    uint16_t* out = g.dst.data + size_t(y) * size_t(g.src.width);
    const bool rowsInside = y - r >= top && y + r < bottom;
    int32_t pendingCount = 0;
    for (int32_t x = left; x < right; ++x) {
        const uint64_t c = in[x];
        const int32_t from = std::max(left, x - r) - left, to = std::min(right - 1, x + r) - left;
        const uint64_t cells = rows * uint64_t(to - from + 1);
        const uint64_t sum = sums.prefixSum.data[to + 1] - sums.prefixSum.data[from];
        const uint64_t squares = sums.prefixSquares.data[to + 1] - sums.prefixSquares.data[from];
        if (sum == cells * c && squares == cells * c * c) {
            out[x] = 0;
            continue;
        }
        if (rowsInside && x - r >= left && x + r < right) {
#if defined(__SSE2__)
            // Eight whole windows side by side; a flat one among them sums to
            // exactly 0 like the shortcut.
            if (x + 7 + r < right) {
                double eight[8];
                edgeSumsOfEight(in + x, window.list.data, window.count, eight);
                for (int j = 0; j < 8; ++j) out[x + j] = edgeResult(eight[j], window.fullWeight);
                x += 7;
                continue;
            }
#endif
            pending[pendingCount++] = x;
            continue;
        }
        double s = 0, w = 0;
        bool any = false;
        for (int32_t i = 0; i < window.count; ++i) {
            const EdgeNeighbour& e = window.list.data[i];
            const int32_t yy = y + e.dy, xx = x + e.dx;
            if (yy < top || yy >= bottom || xx < left || xx >= right) continue;
            w += e.weight;
            s += e.weight * double(std::abs(int32_t(c) - int32_t(in[x + e.offset])));
            any = true;
        }
        out[x] = any ? edgeResult(s, w) : 0;
    }
    return pendingCount;
}

// The pending whole windows of row y, four at a time, then one by one.
void edgeWholeWindows(const EdgeRegion& g, const EdgeWindow& window, const int32_t* pending, int32_t count, int32_t y) {
    const uint16_t* in = g.src.data + size_t(y) * size_t(g.src.width);
    uint16_t* out = g.dst.data + size_t(y) * size_t(g.src.width);
    int32_t p = 0;
    for (; p + 4 <= count; p += 4) {
        const uint16_t* centres[4];
        for (int j = 0; j < 4; ++j) centres[j] = in + pending[p + j];
        double four[4];
        edgeSumsOfFour(centres, window.list.data, window.count, four);
        for (int j = 0; j < 4; ++j) out[pending[p + j]] = edgeResult(four[j], window.fullWeight);
    }
    for (; p < count; ++p) {
        const uint16_t* centre = in + pending[p];
        const int32_t c = *centre;
        double s = 0;
        for (int32_t i = 0; i < window.count; ++i)
            s += window.list.data[i].weight * double(std::abs(c - int32_t(centre[window.list.data[i].offset])));
        out[pending[p]] = edgeResult(s, window.fullWeight);
    }
}

}  // namespace

int32_t radiusForSize(double size) {
    // Not positive (or NaN): no neighbourhood. Huge: no rectangle of 16-bit
    // coordinates can use more.
    if (!(size > 0)) return 0;
    const double r = std::ceil(size * 0.5) + 0.1;
    if (r >= kMaxRadius) return kMaxRadius;
    return int32_t(r);
}

bool edgeMask(const RunContext& run, const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight) {
    if (!acceptMaskRect(src, dst, topLeft, bottomRight)) return false;
    const double shorter = std::min(src.width, src.height);
    const int32_t r = std::min(int32_t(std::ceil(shorter * 0.0025) + 0.1), kMaxEdgeRadius);

    DistanceTable table;
    if (!table.build(run, r)) return false;
    if (topLeft.v == bottomRight.v || topLeft.h == bottomRight.h) return true;

    EdgeRegion region{src, dst, topLeft.v, topLeft.h, bottomRight.v, bottomRight.h, r};
    EdgeWindow window;
    const int32_t n = region.right - region.left;
    if (!window.build(run, table, r, src.width)) return false;
    const int32_t bands = (region.bottom - region.top + kBandRows - 1) / kBandRows;
    const int threads = std::max(1, std::min({run.threads(), kMaxThreads, int(bands)}));
    // Window sums and pending columns per thread, taken on the host's thread.
    struct RowScratch {
        WindowSums sums;
        HostBlock<int32_t> pending;
    } scratch[kMaxThreads];
    for (int i = 0; i < threads; ++i)
        if (!scratch[i].sums.take(run, n) || !scratch[i].pending.take(run, size_t(n))) return false;

    // Each band starts its window sums afresh, so bands do not depend on each other.
    BandRun bandRun(
        threads, bands, [] { return true; }, &run.workers());
    return bandRun.run([&](int32_t band, int slot) {
        WindowSums& sums = scratch[slot].sums;
        const int32_t first = region.top + band * kBandRows, end = std::min(first + kBandRows, region.bottom);
        for (int32_t y = first; y < end; ++y) {
            if (y == first) {
                std::fill(sums.columnSum.data, sums.columnSum.data + n, uint64_t(0));
                std::fill(sums.columnSquares.data, sums.columnSquares.data + n, uint64_t(0));
                for (int32_t yy = std::max(region.top, y - r); yy <= std::min(region.bottom - 1, y + r); ++yy)
                    sums.addRow(src, yy, region.left, true);
            } else {
                if (y + r < region.bottom) sums.addRow(src, y + r, region.left, true);
                if (y - r - 1 >= region.top) sums.addRow(src, y - r - 1, region.left, false);
            }
            sums.makePrefix();
            const int32_t count = edgeRow(region, window, sums, scratch[slot].pending.data, y);
            edgeWholeWindows(region, window, scratch[slot].pending.data, count, y);
            if (!bandRun.rowDone(slot)) return false;
        }
        return true;
    });
}

bool expandMask(const RunContext& run, const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight,
                double size, double falloff) {
    return reshapeMask(run, Shape::Expand, src, dst, topLeft, bottomRight, size, falloff);
}

bool contractMask(const RunContext& run, const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight,
                  double size, double falloff) {
    return reshapeMask(run, Shape::Contract, src, dst, topLeft, bottomRight, size, falloff);
}
