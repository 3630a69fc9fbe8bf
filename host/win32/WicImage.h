// PNG, TIFF, JPEG and BMP files through the Windows Imaging Component, as
// 8-bit RGB host images.
#pragma once

#include <string>

#include "host/HostImage.h"

// True when the file name's extension is one this reader handles.
bool isWicImagePath(const std::string& path);
bool readWicImage(const std::string& path, HostImage& image, std::string& error);
// The container follows the extension; 16-bit images are written at 8 bits.
bool writeWicImage(const std::string& path, const HostImage& image, std::string& error);
