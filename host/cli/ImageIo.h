// Image files as the command-line host sees them: libvips on Linux, binary
// PNM on Windows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/HostImage.h"

struct LoadedImage {
    HostImage image;
    std::shared_ptr<void> keep;  // what the writer needs to write it back alike
};

bool startImageIo(const char* argv0, std::string& error);
bool loadImage(const std::string& path, LoadedImage& loaded, std::string& error);
// Writes beside path and renames into place on success.
bool saveImage(const std::string& path, const LoadedImage& loaded, std::string& error);
bool loadSelection(const std::string& path, int32_t width, int32_t height, std::vector<uint8_t>& selection,
                   std::string& error);
