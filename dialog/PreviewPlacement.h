// The arithmetic of what the preview pane shows: the zoom factors on offer,
// the part of the image shown and the scroll bars that follow it. Where the
// scaled part sits in the pane is the preview's own (placePreview).
#pragma once

#include <cstdint>

// Up to ten zoom factors: the fit factor first, then the powers of two from
// 1/16 to 16 that are larger.
struct ZoomTable {
    double factors[10] = {};
    int32_t lastIndex = 0;
};

// Fit factor: the smaller of pane width / image width and pane height /
// image height, at most 1.
double fitFactor(int32_t paneWidth, int32_t paneHeight, int32_t imageWidth, int32_t imageHeight);
ZoomTable makeZoomTable(double fit);
// The first index whose factor lies strictly between 0.99 and 1.01; 0 when
// none does.
int32_t zoomIndexOfOne(const ZoomTable& table);

// A part of the image in image pixels; bottom and right exclusive.
struct ImagePart {
    int32_t top = 0, left = 0, bottom = 0, right = 0;
};

// One scroll bar: range 0..maximum, page size and position.
struct ScrollState {
    int32_t maximum = 0, page = 0, position = 0;
};

struct PreviewView {
    ImagePart part;
    ScrollState vertical, horizontal;
};

// The first view: the part at the fit factor, centred on the image.
PreviewView initialView(int32_t paneWidth, int32_t paneHeight, int32_t imageWidth, int32_t imageHeight, double fit);
// The view at zoom z around the centre of the part shown so far.
PreviewView zoomedView(const ImagePart& shown, int32_t paneWidth, int32_t paneHeight, int32_t imageWidth,
                       int32_t imageHeight, double z);
// The view shown at a press moved by a drag of (dx, dy) pane pixels, press
// point minus cursor point: trunc(d / z) image pixels on each axis, limited so
// that the part stays inside the image; the scroll bars follow.
PreviewView pannedView(const PreviewView& atPress, int32_t dx, int32_t dy, double z, int32_t imageWidth,
                       int32_t imageHeight);
