// The zoom and status texts of the preview.
#include <cstdio>

#include "engine/Preview.h"
#include "imageops/ColorModel.h"

std::string zoomText(double zoom) {
    const double percent = 100 * zoom;
    char text[48];
    if (zoom < 0.1)
        std::snprintf(text, sizeof text, "%.2f%%", percent);
    else if (zoom < 0.25)
        std::snprintf(text, sizeof text, "%.1f%%", percent);
    else
        std::snprintf(text, sizeof text, "%d%%", int(roundHalfAway(percent)));
    return text;
}

void showZoomText(Preview& preview, const double* factors, int count, int index) {
    if (!preview.view || !factors || index < 0 || index > 9 || index >= count) return;
    preview.view->setZoomText(zoomText(factors[index]).c_str());
}

void setStatusText(Preview& preview, const char* text) {
    if (preview.view) preview.view->setStatusText(text ? text : "");
}
