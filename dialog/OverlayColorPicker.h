// The overlay colour chosen through the host's colour picker.
#pragma once

#include <cstdint>

#include "services/RunContext.h"

// Opens the host's colour picker through the run's colour services (RGB in
// and out, no prompt), starting at colour (0..65535 per component, handed to
// the host in eight bits, rounded). True when the user picked a colour: chosen
// holds the picked 8-bit components shifted left by 8. False, chosen untouched,
// when the user cancelled, the host has no colour services or answered an
// error.
bool pickColorThroughHost(RunContext& run, const uint16_t colour[3], uint16_t chosen[3]);
