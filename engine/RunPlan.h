// The plan of one apply run: what the image is, the area to work on, how it
// is cut into tiles and how large the working buffers are. Worked out from
// the filter record's fields alone, without calling the host.
#pragma once

#include <cstdint>

#include "base/Geometry.h"
#include "base/Modes.h"
#include "engine/OperationPlan.h"
#include "hostapi/PluginHost.h"
#include "imageops/MirrorPad.h"

struct RunPlan {
    ImageClass imageClass = ImageClass::Unsupported;
    int planes = 0;  // 3 RGB, 4 CMYK
    int depth = 8;   // bits per host sample
    int32_t imageWidth = 0, imageHeight = 0;
    Rect filterRect{};  // the host's filter rectangle, kept inside the image
    Rect work{};        // the part that is worked on: the filter rectangle or the selection's bounds in it
    int32_t tileWidth = 0, tileHeight = 0, tileRows = 0, tileCols = 0;
    int32_t bufferWidth = 0, bufferHeight = 0;  // a tile with its margin on every side
    // Buffers a run may leave out (planImage decides; a caller planning by
    // hand keeps both): the host's selection, when the host has one, and a
    // whole HSI form of each tile, which only CMYK tiles need.
    bool hostSelection = true;
    bool tileHsi = true;
    OperationPlan operation;
};

// Where one tile lies: its rectangle in the image, the padded rectangle
// fetched around it, the margins that fell outside the image, and the tile's
// place in the working buffers.
struct TilePlacement {
    Rect tile{};
    Rect fetched{};
    MissingMargins missing;
    int32_t fetchedWidth = 0, fetchedHeight = 0;
    Point16 topLeft, bottomRight;  // the tile in the buffers: [r, r + size)
    Point16 usedEnd;               // end of the fetched block with its mirrored margins
};

// Largest tile side, in pixels, for a host that states no tile size.
constexpr int32_t kUnstatedTileSide = 512;

bool emptyRect(const Rect& r);

// The image's class and an advance procedure:
// a host result code, noErr when the record can be worked with.
int16 checkRecord(const FilterRecord& record);
// Class, planes, depth, image size and the filter rectangle; false for an
// image without pixels.
bool planImage(const FilterRecord& record, RunPlan& plan);
// Tiles and buffer sizes for the work area and the settings (curves
// evaluated); false when the operation's margin is wider than the image.
bool planTiles(const FilterRecord& record, const FilterParameters& params, const Rect& work, RunPlan& plan);
// Tile (row, col) of the plan's grid.
TilePlacement placeTile(const RunPlan& plan, int32_t row, int32_t col);
