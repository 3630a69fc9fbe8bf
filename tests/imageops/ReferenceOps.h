// Plain, literal versions of the neighbourhood operations: every pixel visits
// its whole neighbourhood, distances come from sqrt and weights from exp, in
// the order the operations are defined. The fast versions must give the same
// bytes. They take valid arguments only (no rejection checks).
#pragma once

#include <cstdint>

#include "imageops/ImageBuffer.h"

namespace reference {

void sharpenRegion(const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, ColorModel model,
                   const uint8_t flags[4], Point16 topLeft, Point16 bottomRight, double size, double amount);
void softenRegion(const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, ColorModel model,
                  const uint8_t flags[4], Point16 topLeft, Point16 bottomRight, double size);
void edgeMask(const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight);
void expandMask(const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight, double size,
                double falloff);
void contractMask(const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight, double size,
                  double falloff);

}  // namespace reference
