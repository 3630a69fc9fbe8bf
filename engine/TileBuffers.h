// Every working buffer of one apply run, each with one role, and the soften
// tables. Taken once for the run, given back in a fixed order when it ends.
#pragma once

#include "engine/RegionSteps.h"
#include "engine/RunPlan.h"
#include "imageops/ImageBuffer.h"
#include "imageops/Soften.h"
#include "services/RunContext.h"

struct TileBuffers {
    ImageBuffer hsiTile;     // the tile's HSI form, read by the selection, when the plan asks for one
    SelectionMasks masks;    // the selection steps
    ImageBuffer inputTile;   // the tile in the image's class, margins mirrored
    ImageBuffer outputTile;  // the result in the image's class
    ImageBuffer modelIn;     // the tile in the HSI or YUV model, when that is the working model
    ImageBuffer modelOut;    // the result in that model
    SoftenTables soften;

    TileBuffers() = default;
    TileBuffers(const TileBuffers&) = delete;
    TileBuffers& operator=(const TileBuffers&) = delete;
    ~TileBuffers();

    // Takes the buffers of the plan's size (the model pair only for HSI and
    // YUV, the host's selection only when it has one); false as soon as one
    // cannot be had.
    bool allocate(const RunContext& run, const RunPlan& plan);
    // The operation's source and destination in the working model.
    const ImageBuffer& source() const;
    ImageBuffer& destination();

private:
    ColorModel model_ = ColorModel::RGB;
};
