// The filter's modes as typed values. The numbers are the stored codes of the
// parameter block and the host's conventions; params/ converts stored fields
// to these types in one place, and every interface takes the types.
#pragma once

#include <cstdint>

enum class Operation : int32_t { Sharpen = 1, Soften = 2 };

// The "Color Space:" choice: the image's own model, HSI or YUV.
enum class ColorSpace : int32_t { ImageModel = 1, Hsi = 2, Yuv = 3 };

// What the image holds, from the host's image mode; Mask is the host's
// selection channel (one 8-bit plane).
enum class ImageClass : int32_t { RGB = 2, CMYK = 3, Mask = 4, Unsupported = 9 };

// The model the engine applies the operation in.
enum class ColorModel : int32_t { HSI = 1, RGB = 2, CMYK = 3, YUV = 5 };

// "Color Selection": the curves' weights themselves or their edge map.
enum class SelectionSource : int32_t { EdgesOnly = 0, FromCurves = 1 };

// Where long loops report: to the host (with its abort check) or to the open
// dialog's progress bar.
enum class ProgressMode : uint8_t { Host = 0, Dialog = 1 };
