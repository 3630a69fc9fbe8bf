// The whole-image apply driver: cuts the work area into the host's tiles,
// runs the selection and the operation on each tile with a mirrored margin,
// and writes the result into the host's output.
#pragma once

#include "hostapi/PluginHost.h"
#include "params/FilterParameters.h"

// Returns a host result code. Re-evaluates the block's curves; changes
// nothing else in it. threads: how many threads share each tile's work (the
// host's thread included, which alone calls the host); the bytes are the same
// for every count.
int16 applyFilter(FilterRecord* record, FilterParameters& params, int threads = 1);
