#pragma once

#include "hostapi/PluginHost.h"

#if defined(_WIN32)
#define PLUGIN_EXPORT __declspec(dllexport)
#else
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" PLUGIN_EXPORT void PSCALL PluginMain(int16 selector, void* paramBlock, intptr* data, int16* result);

// Memory figures stated at the prepare selector, in bytes.
constexpr int32 kBufferSpace = 5600000;
constexpr int32 kMaxSpace = 16480000;
constexpr int32 kMinimumDesktopHeight = 768;
