// The live preview of the main dialog: fetches the shown part of the image
// from the host at preview size, runs the filter's selection and operation on
// it, tints the selection when asked, and hands the result to the host's
// display. The dialog owns a Preview, implements PreviewControls, and calls
// these functions from its events:
// - opening: fill record, block, view, pane and zoom; allocatePreviewBuffers
//   with the pane's size, then allocatePreviewHsi; fetchPreview(first part);
// - painted: showPreview;
// - an edit: parametersChanged = true, then renderPreview;
// - "Preview" box: renderPreview;
// - zoom or scroll: set zoom, showZoomText, fetchPreview(new part);
// - end of the run: releasePreview.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/Geometry.h"
#include "curves/Curve.h"
#include "hostapi/PluginHost.h"
#include "imageops/ImageBuffer.h"
#include "params/FilterParameters.h"
#include "services/RunContext.h"

// What the preview needs from the dialog that shows it.
class PreviewControls {
public:
    virtual ~PreviewControls() = default;
    // Copies the dialog's controls into the working block (readFromControls).
    virtual void readControls(FilterParameters& block) = 0;
    // State of the "Preview" check box.
    virtual bool previewChecked() = 0;
    // The status label; an empty text clears it.
    virtual void setStatusText(const char* text) = 0;
    // The zoom value label.
    virtual void setZoomText(const char* text) = 0;
    // The progress bar, 0..100.
    virtual void setProgress(int percent) = 0;
    // The dialog's drawing surface for the host's displayPixels (an HDC on
    // Windows), or null; handed back through releaseDisplayContext.
    virtual void* displayContext() = 0;
    virtual void releaseDisplayContext(void* context) = 0;
    // For a host without displayPixels: draws the map's bounds with their
    // top-left corner at (row, column) of the dialog itself; false when it
    // cannot.
    virtual bool drawPixels(const PSPixelMap& map, int32_t row, int32_t column) {
        (void)map;
        (void)row;
        (void)column;
        return false;
    }
};

// An 8-bit image laid out plane by plane (all of plane 0, then plane 1, ...),
// each plane width x height bytes with rows of width bytes. Memory from the
// host's buffer service.
struct PreviewPlanes {
    uint8_t* data = nullptr;
    int planes = 0;
    int32_t width = 0;
    int32_t height = 0;
    ImageClass imageClass = ImageClass::Unsupported;  // what the samples hold

    size_t planeBytes() const { return size_t(width) * size_t(height); }
    uint8_t* plane(int p) const { return data + size_t(p) * planeBytes(); }
};

// Where the scaled image part lies in the pane, in pane pixels.
struct PreviewPlacement {
    int32_t left = 0, top = 0;
    int32_t width = 0, height = 0;  // scaled size
};

// The shown part (image pixels) scaled by zoom: min(pane, round(zoom x part))
// on each axis, half away from zero, centred (integer halves). A part or
// pane that is not positive gives an empty placement.
PreviewPlacement placePreview(int32_t paneWidth, int32_t paneHeight, double zoom, const VRect& part);

// The factor from preview pixels back to image pixels that sizes the
// operation: zoom x min(document width, height) / min(scaled width, height);
// 0 for an empty placement.
double previewScale(double zoom, int32_t documentWidth, int32_t documentHeight, const PreviewPlacement& placement);

struct Preview {
    FilterRecord* record = nullptr;     // the host's record for this run
    FilterParameters* block = nullptr;  // the dialog's working parameters
    PreviewControls* view = nullptr;
    VRect pane{};       // the preview pane in the dialog's client coordinates
    double zoom = 1.0;  // factor of the current zoom entry
    VRect part{};       // image part shown, image coordinates
    PreviewPlacement placement;
    // The run context of the preview's work (made with the buffers): memory
    // from the host's buffer suite, its colour services, and progress on the
    // dialog's bar. Declared before the buffers it lends to.
    std::unique_ptr<RunContext> run;
    PreviewPlanes unprocessed;  // as fetched, 3 planes for RGB, 4 for CMYK
    PreviewPlanes processed;    // what the filter makes of it
    PreviewPlanes mask;         // the host's selection, 255 = fully selected
    bool hasSelection = false;  // false: the document has none, all is selected
    // HSI form of the data the operation runs on (the unprocessed preview, or
    // its 1:1 copy when zoomed in), rebuilt only when hsiStale is set.
    ImageBuffer hsi;
    bool hsiStale = true;
    bool parametersChanged = false;
};

// The run context and the three pane-sized planar buffers for the record's
// image (3 planes for RGB, 4 for CMYK); false when the mode is neither or
// memory is short.
bool allocatePreviewBuffers(Preview& preview, int32_t paneWidth, int32_t paneHeight);
// The pane-sized HSI cache, after the buffers; false when memory is short.
bool allocatePreviewHsi(Preview& preview);
void releasePreview(Preview& preview);

// Fetches the image part (image coordinates) at the current zoom, scaled by
// the host, with the host's selection, then renders it. False when the host
// cannot deliver it (no channel ports, a read error, a mode that is neither
// RGB nor CMYK); the buffers then hold light grey.
bool fetchPreview(Preview& preview, const VRect& part);
// Renders after an edit (parametersChanged) and shows the result; false when
// memory for the zoomed-in copy is short.
bool renderPreview(Preview& preview);
// Hands the processed preview ("Preview" checked) or the unprocessed one to
// the host's displayPixels, or without one to the dialog's own drawing; true
// when it was displayed.
bool showPreview(Preview& preview);

// The rubber band from press to cursor (dialog client coordinates) over the
// preview buffers: the cursor clamped to the placed image, both corners
// included, bottom and right exclusive. False when the press lies outside the
// placed image.
bool sampleRectangle(const Preview& preview, Point16 press, Point16 cursor, VRect& rect);
// The minima and maxima in HSI of rect of the processed buffer, or of the
// unprocessed one; false for a rectangle outside the buffers or short memory.
bool samplePreview(Preview& preview, const VRect& rect, bool processed, SampleStats& stats);

// The zoom factor as the zoom label shows it: "%.2f%%" below 0.1, "%.1f%%"
// below 0.25, else the rounded percentage "%d%%".
std::string zoomText(double zoom);
// Shows factors[index] in the zoom label; indexes outside 0..9 or beyond
// count do nothing.
void showZoomText(Preview& preview, const double* factors, int count, int index);
void setStatusText(Preview& preview, const char* text);
