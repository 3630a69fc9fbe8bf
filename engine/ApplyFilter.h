// The whole-image apply driver: cuts the work area into the host's tiles,
// runs the selection and the operation on each tile with a mirrored margin,
// and writes the result into the host's output.
#pragma once

#include <cstdint>
#include <vector>

#include "hostapi/PluginHost.h"
#include "params/FilterParameters.h"
#include "services/RunContext.h"

// Works on the run's filter record; returns a host result code. Re-evaluates
// the block's curves; changes nothing else in it.
int16 applyFilter(RunContext& run, FilterParameters& params);

// The same run up to each tile's final selection, the host's output left
// alone: selection gets the filter rectangle's size, row by row, 65535 =
// fully selected, 0 outside the part worked on. Tiles are shaped one at a
// time, as applyFilter shapes them. A host result code.
int16 filterSelection(RunContext& run, FilterParameters& params, std::vector<uint16_t>& selection);
