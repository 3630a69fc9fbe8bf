// The host's pixel display: draws an 8-bit planar pixel map (RGB, or CMYK
// with 255 = no ink) into a device context.
#pragma once

#include "hostapi/PluginHost.h"

OSErr PSCALL hostDisplayPixels(const PSPixelMap* source, const VRect* srcRect, int32 dstRow, int32 dstCol,
                               void* platformContext);
