// The whole-image apply driver: cuts the work area into the host's tiles,
// runs the selection and the operation on each tile with a mirrored margin,
// and writes the result into the host's output.
#pragma once

#include "hostapi/PluginHost.h"
#include "params/FilterParameters.h"
#include "services/RunContext.h"

// Works on the run's filter record; returns a host result code. Re-evaluates
// the block's curves; changes nothing else in it.
int16 applyFilter(RunContext& run, FilterParameters& params);
