#include "host/KeptOriginals.h"

#include <algorithm>

#include "host/SampleBits.h"

void KeptOriginals::start(const HostImage& image) {
    width_ = image.width;
    height_ = image.height;
    planes_ = image.planes;
    margin_ = 0;
    marginKnown_ = false;
    keepFrom_ = 0;
    written_.assign((size_t(image.width) * size_t(image.height) + 63) / 64, 0);
    kept_.clear();
    keptSamples_ = 0;
}

void KeptOriginals::finish() {
    written_ = std::vector<uint64_t>();
    kept_.clear();
    keptSamples_ = 0;
}

void KeptOriginals::noteRequest(const Rect& in, const Rect& out) {
    const bool haveIn = in.bottom > in.top && in.right > in.left;
    if (haveIn && out.bottom > out.top && out.right > out.left) {
        // A side cut at the image's edge does not show the margin.
        const int32_t sides[4][2] = {{in.top, out.top - in.top},
                                     {height_ - in.bottom, in.bottom - out.bottom},
                                     {in.left, out.left - in.left},
                                     {width_ - in.right, in.right - out.right}};
        for (const auto& side : sides)
            if (side[0] > 0) {
                margin_ = std::max(margin_, side[1]);
                marginKnown_ = true;
            }
    }
    if (haveIn && in.top > keepFrom_) {
        keepFrom_ = in.top;
        for (auto it = kept_.begin(); it != kept_.end() && it->first < keepFrom_; it = kept_.erase(it))
            for (const Segment& s : it->second) keptSamples_ -= s.samples.size();
    }
}

void KeptOriginals::keep(const HostImage& image, int32_t y, int32_t left, int32_t right) {
    // Only pixels not written yet hold originals.
    for (int32_t x = left; x < right;) {
        if (written(x, y)) {
            ++x;
            continue;
        }
        int32_t end = x;
        while (end < right && !written(end, y)) ++end;
        const uint16_t* from = &image.samples[image.index(x, y, 0)];
        Segment s{x, std::vector<uint16_t>(from, from + size_t(end - x) * size_t(planes_))};
        keptSamples_ += s.samples.size();
        kept_[y].push_back(std::move(s));
        x = end;
    }
}

void KeptOriginals::beforeWrite(const HostImage& image, const Rect& out) {
    // Until a request shows the margin, whole tiles are kept.
    const int32_t margin = marginKnown_ ? margin_ : out.bottom - out.top + out.right - out.left;
    for (int32_t y = out.top; y < out.bottom; ++y) {
        if (y >= keepFrom_) {
            // The rows below may ask for the last rows; the tile to the right
            // for the last columns.
            const int32_t left = y >= out.bottom - margin ? out.left : std::max<int32_t>(out.left, out.right - margin);
            keep(image, y, left, out.right);
        }
        setBitRun(written_.data(), bit(out.left, y), size_t(out.right - out.left));
    }
}

bool KeptOriginals::untouched(int32_t y, int32_t left, int32_t right) const {
    return written_.empty() || countBitRun(written_.data(), bit(left, y), size_t(right - left)) == 0;
}

bool KeptOriginals::originalRow(const HostImage& image, int32_t y, int32_t left, int32_t right,
                                std::vector<uint16_t>& row) const {
    const uint16_t* from = &image.samples[image.index(left, y, 0)];
    row.assign(from, from + size_t(right - left) * size_t(planes_));
    if (written_.empty()) return true;  // no run going on
    const int32_t overwritten = int32_t(countBitRun(written_.data(), bit(left, y), size_t(right - left)));
    if (overwritten == 0) return true;
    auto segments = kept_.find(y);
    if (segments == kept_.end()) return false;
    int32_t restored = 0;
    for (const Segment& s : segments->second) {
        const int32_t a = std::max(left, s.left);
        const int32_t b = std::min(right, s.left + int32_t(s.samples.size() / size_t(planes_)));
        if (a >= b) continue;
        std::copy(s.samples.begin() + size_t(a - s.left) * planes_, s.samples.begin() + size_t(b - s.left) * planes_,
                  row.begin() + size_t(a - left) * planes_);
        restored += b - a;
    }
    return restored == overwritten;
}
