// Thin wrappers over the host's services, each given the record or suite of
// the call it serves. Every wrapper tolerates a missing host or procedure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostapi/PluginHost.h"

// The library's module instance (an HINSTANCE on Windows), recorded at attach
// and read-only afterwards.
extern void* moduleInstance;

// Attach notification body: reason 1 (process) or 2 (thread) keeps the handle,
// anything else stores null. Always succeeds.
bool recordModuleInstance(void* instance, uint32_t reason);

Handle newHostHandle(const FilterRecord* record, int32_t size);
void disposeHostHandle(const FilterRecord* record, Handle h);
// Pointer to the handle's data, or null. moveHigh is always true.
void* lockHostHandle(const FilterRecord* record, Handle h);
void unlockHostHandle(const FilterRecord* record, Handle h);
// Size of a handle, or -1 when the host cannot tell.
int32_t hostHandleSize(const FilterRecord* record, Handle h);

// Zero-filled block of exactly size bytes from the host's buffer suite, or null.
void* allocBuffer(SPBasicSuite* basic, size_t size);
void freeBuffer(SPBasicSuite* basic, void* block);

// Opens "http://<hostName>" through the host. False without the suite.
bool browseWebAddress(SPBasicSuite* basic, const char* hostName);
