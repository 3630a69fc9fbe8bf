#include "dialog/PreviewPlacement.h"

#include <algorithm>

#include "imageops/ColorModel.h"

double fitFactor(int32_t paneWidth, int32_t paneHeight, int32_t imageWidth, int32_t imageHeight) {
    if (imageWidth < 1 || imageHeight < 1) return 1.0;
    const double f = std::min(double(paneWidth) / imageWidth, double(paneHeight) / imageHeight);
    return std::min(f, 1.0);
}

ZoomTable makeZoomTable(double fit) {
    static const double kSteps[9] = {1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 2, 1, 2, 4, 8, 16};
    ZoomTable t;
    t.factors[0] = fit;
    int32_t n = 1;
    for (double s : kSteps)
        if (s > fit) t.factors[n++] = s;
    t.lastIndex = n - 1;
    return t;
}

int32_t zoomIndexOfOne(const ZoomTable& table) {
    for (int32_t i = 0; i <= table.lastIndex; ++i)
        if (table.factors[i] > 0.99 && table.factors[i] < 1.01) return i;
    return 0;
}

namespace {

// A scroll bar over a span of the image with a visible length.
ScrollState scrollFor(int32_t imageLength, double visible, int32_t position) {
    ScrollState s;
    s.page = int32_t(roundHalfAway(visible));
    s.maximum = std::max(imageLength - s.page, int32_t(0));
    s.position = position;
    return s;
}

}  // namespace

PreviewView initialView(int32_t paneWidth, int32_t paneHeight, int32_t imageWidth, int32_t imageHeight, double fit) {
    PreviewView v;
    ImagePart& p = v.part;
    p.left = int32_t((imageWidth - paneWidth / fit) / 2);
    p.right = int32_t(p.left + paneWidth / fit);
    p.top = int32_t((imageHeight - paneHeight / fit) / 2);
    p.bottom = int32_t(p.top + paneHeight / fit);
    p.left = std::max(p.left, int32_t(0));
    p.top = std::max(p.top, int32_t(0));
    p.right = std::min(p.right, imageWidth);
    p.bottom = std::min(p.bottom, imageHeight);
    v.vertical = scrollFor(imageHeight, paneHeight / fit, p.top);
    v.horizontal = scrollFor(imageWidth, paneWidth / fit, p.left);
    return v;
}

namespace {

// One axis of a re-placed part: the visible length around a centre, kept
// inside the image.
void placeAxis(int32_t centre, double visible, int32_t length, int32_t& low, int32_t& high) {
    const int32_t span = int32_t(roundHalfAway(visible));
    low = std::max(int32_t(roundHalfAway(centre - visible / 2)), int32_t(0));
    high = low + span;
    if (high > length) {
        high = length;
        low = length - span;
    }
}

}  // namespace

PreviewView zoomedView(const ImagePart& shown, int32_t paneWidth, int32_t paneHeight, int32_t imageWidth,
                       int32_t imageHeight, double z) {
    const int32_t cx = (shown.left + shown.right) / 2, cy = (shown.top + shown.bottom) / 2;
    const double vw = std::min(paneWidth / z, double(imageWidth));
    const double vh = std::min(paneHeight / z, double(imageHeight));
    PreviewView v;
    placeAxis(cx, vw, imageWidth, v.part.left, v.part.right);
    placeAxis(cy, vh, imageHeight, v.part.top, v.part.bottom);
    v.vertical = scrollFor(imageHeight, vh, v.part.top);
    v.horizontal = scrollFor(imageWidth, vw, v.part.left);
    return v;
}

namespace {

// A move along one axis of the part [low, high) within 0..length.
int32_t limitedMove(int32_t move, int32_t low, int32_t high, int32_t length) {
    return std::clamp(move, std::min(-low, int32_t(0)), std::max(length - high, int32_t(0)));
}

}  // namespace

PreviewView pannedView(const PreviewView& atPress, int32_t dx, int32_t dy, double z, int32_t imageWidth,
                       int32_t imageHeight) {
    PreviewView v = atPress;
    if (!(z > 0)) return v;
    const int32_t mx = limitedMove(int32_t(dx / z), v.part.left, v.part.right, imageWidth);
    const int32_t my = limitedMove(int32_t(dy / z), v.part.top, v.part.bottom, imageHeight);
    v.part.left += mx;
    v.part.right += mx;
    v.part.top += my;
    v.part.bottom += my;
    v.horizontal.position = v.part.left;
    v.vertical.position = v.part.top;
    return v;
}
