// The one settings record of the filter. The host keeps it as 24,672 opaque
// bytes in its parameters handle; we decode and encode it field by field in a
// fixed little-endian layout and never overlay the struct on those bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/Modes.h"
#include "curves/Curve.h"

constexpr size_t kFilterParametersSize = 24672;
constexpr uint32_t kParametersSignature = 0x5158534E;  // 'QXSN', first character most significant
// The result overlay's colour until the user picks one: 16-bit red, green, blue.
constexpr uint16_t kDefaultOverlayColor[3] = {0xCC00, 0x6600, 0};

struct FilterParameters {
    uint32_t signature = 0;
    uint8_t showDialog = 0;
    uint8_t showResult = 0;
    uint16_t overlayColor[3] = {0, 0, 0};
    // The typed fields hold whatever code was stored, known or not, so that a
    // block goes back to the host as it came.
    Operation operation = Operation(0);
    int32_t amount = 0;
    ColorSpace colorSpace = ColorSpace(0);
    ImageClass imageClass = ImageClass(0);
    int32_t channelEnabled[4] = {0, 0, 0, 0};
    SelectionSource selectionSource = SelectionSource(0);
    int32_t opacity = 0;
    int32_t contractExpand = 0;
    int32_t falloff = 0;
    CurveSet curves;
    int32_t sampleFlags[3] = {0, 0, 0};

    // Every default but showDialog and imageClass.
    void setDefaults();
    bool isValid() const { return signature == kParametersSignature; }
    // Copies the settings of source onto target, keeping the target's
    // signature, showDialog and imageClass. Null on either side does nothing.
    static void copySettings(const FilterParameters* source, FilterParameters* target);
};

// Byte offsets of the stored layout.
namespace ParamOffset {
constexpr size_t signature = 0, showDialog = 4, showResult = 5, overlayColor = 6, operation = 12, amount = 16,
                 colorSpace = 20, imageClass = 24, channelEnabled = 28, selectionSource = 44, opacity = 48,
                 contractExpand = 52, falloff = 56, curves = 60, sampleFlags = 24660;
}

// True when the first four bytes hold the signature (nothing else is read).
bool hasParametersSignature(const uint8_t* bytes, size_t size);
// Decodes a stored block. False when size is below the block size.
bool readFilterParameters(const uint8_t* bytes, size_t size, FilterParameters& out);
// Encodes into exactly kFilterParametersSize bytes. False when size is short.
bool writeFilterParameters(const FilterParameters& in, uint8_t* bytes, size_t size);

// RGB and RGB48 give RGB, CMYK and CMYK64 give CMYK, anything else Unsupported.
ImageClass imageClassForMode(int16_t imageMode);
// 3 for RGB, 4 for CMYK, 0 otherwise.
int planesForClass(ImageClass imageClass);
// HSI or YUV when chosen; any other colour space works in the image's own
// model (RGB or CMYK, the class's code).
ColorModel colorModelFor(ColorSpace colorSpace, ImageClass imageClass);
