#include "engine/TileBuffers.h"

TileBuffers::~TileBuffers() {
    releaseSoftenTables(soften);
    for (ImageBuffer* b :
         {&hsiTile, &masks.selection, &masks.shaped, &masks.host, &inputTile, &outputTile, &modelIn, &modelOut})
        b->release();
}

bool TileBuffers::allocate(const RunContext& run, const RunPlan& plan) {
    model_ = plan.operation.model;
    const int32_t w = plan.bufferWidth, h = plan.bufferHeight;
    const int channels = plan.imageClass == ImageClass::RGB ? RgbChannels : CmykChannels;
    if ((plan.tileHsi && !hsiTile.allocate(run, w, h, HsiChannels)) ||
        !masks.selection.allocate(run, w, h, MaskChannels) ||
        (movesWeights(plan.operation) && !masks.shaped.allocate(run, w, h, MaskChannels)) ||
        (plan.hostSelection && !masks.host.allocate(run, w, h, MaskChannels)) ||
        !inputTile.allocate(run, w, h, channels) || !outputTile.allocate(run, w, h, channels))
        return false;
    if (model_ == ColorModel::HSI)
        return modelIn.allocate(run, w, h, HsiChannels) && modelOut.allocate(run, w, h, HsiChannels);
    if (model_ == ColorModel::YUV)
        return modelIn.allocate(run, w, h, YuvChannels) && modelOut.allocate(run, w, h, YuvChannels);
    return true;
}

const ImageBuffer& TileBuffers::source() const {
    return model_ == ColorModel::HSI || model_ == ColorModel::YUV ? modelIn : inputTile;
}

ImageBuffer& TileBuffers::destination() {
    return model_ == ColorModel::HSI || model_ == ColorModel::YUV ? modelOut : outputTile;
}
