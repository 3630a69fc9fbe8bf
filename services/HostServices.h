// Thin wrappers over the host's services, reached through the pointers the
// entry point records on every call. Every wrapper tolerates a missing host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostapi/PluginHost.h"

// Filter record of the current call (null during the about selector, whose
// record has no handle or image services).
extern FilterRecord* hostRecord;
extern SPBasicSuite* hostBasicSuite;
// The library's module instance (an HINSTANCE on Windows), recorded at attach.
extern void* moduleInstance;

// Attach notification body: reason 1 (process) or 2 (thread) keeps the handle,
// anything else stores null. Always succeeds.
bool recordModuleInstance(void* instance, uint32_t reason);

Handle newHostHandle(int32_t size);
void disposeHostHandle(Handle h);
// Pointer to the handle's data, or null. moveHigh is always true.
void* lockHostHandle(Handle h);
void unlockHostHandle(Handle h);
// Size of a handle, or -1 when the host cannot tell.
int32_t hostHandleSize(Handle h);

// Zero-filled block of exactly size bytes from the host's buffer suite, or null.
void* allocBuffer(size_t size);
void freeBuffer(void* block);

// Opens "http://<hostName>" through the host. False without the suite.
bool browseWebAddress(const char* hostName);
