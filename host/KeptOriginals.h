// The pixels a run has written over, as they were, for the input tiles that
// still need them. The host keeps one copy of the image and writes output
// straight into it; before a write this keeps the originals a later request
// may ask for: with the plug-in's margin m (the widest seen between a
// request's input and output rectangles, where the image's edge does not cut
// it), the last m rows of each output tile and its last m columns; the whole
// tile while no request has shown the margin. Requests go down the image, so rows above a
// request's input are let go. A request that would need a pixel written over
// and not kept is refused rather than served with output.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "host/HostImage.h"
#include "hostapi/PluginHost.h"

class KeptOriginals {
public:
    void start(const HostImage& image);
    void finish();
    // Before serving a request: learns the margin and lets go of the rows
    // above the input rectangle.
    void noteRequest(const Rect& in, const Rect& out);
    // Before image's pixels in out are overwritten.
    void beforeWrite(const HostImage& image, const Rect& out);
    // Samples of row y, columns [left, right), as they were before the run;
    // false when a pixel there was written over and not kept.
    bool originalRow(const HostImage& image, int32_t y, int32_t left, int32_t right, std::vector<uint16_t>& row) const;
    // True when no pixel of row y in [left, right) was written over, so
    // the image itself holds the originals.
    bool untouched(int32_t y, int32_t left, int32_t right) const;
    size_t keptSamples() const { return keptSamples_; }

private:
    struct Segment {
        int32_t left;
        std::vector<uint16_t> samples;
    };
    bool written(int32_t x, int32_t y) const { return (written_[bit(x, y) >> 6] >> (bit(x, y) & 63)) & 1; }
    size_t bit(int32_t x, int32_t y) const { return size_t(y) * size_t(width_) + size_t(x); }
    void keep(const HostImage& image, int32_t y, int32_t left, int32_t right);

    int32_t width_ = 0, height_ = 0;
    int planes_ = 0;
    int32_t margin_ = 0;
    bool marginKnown_ = false;
    int32_t keepFrom_ = 0;           // rows above are let go
    std::vector<uint64_t> written_;  // one bit per pixel
    std::map<int32_t, std::vector<Segment>> kept_;
    size_t keptSamples_ = 0;
};
