// Compiled inside one layer's library with one header of another layer: it
// builds when that layer lies below and fails when it does not.
#include CC_PROBE_HEADER
