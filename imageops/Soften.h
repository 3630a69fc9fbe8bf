// Gaussian disc blur whose radius follows the selection weight.
#pragma once

#include <cstdint>

#include "base/Geometry.h"
#include "imageops/ImageBuffer.h"

// Builds the distance and weight tables for one size (releasing old ones);
// false when the distance table cannot be allocated.
bool prepareSoftenTables(double size);
void releaseSoftenTables();
// The tables must be prepared for this size (or a larger one); false without
// them, and for the rejected calls of sharpenRegion.
bool softenRegion(const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, int model, const uint8_t flags[4],
                  Point16 topLeft, Point16 bottomRight, double size, uint8_t progressMode);
