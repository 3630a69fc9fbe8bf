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

// Whether a procedure table whose header states count procedures offers its
// index-th one (1-based). Hosts that leave the count at 0 state nothing: the
// table's non-null procedures are then used as they are.
inline bool procOffered(int16 count, int index) { return count == 0 || count >= index; }

// Whether the basic suite hands out the buffer suite.
bool hasBufferSuite(SPBasicSuite* basic);
// Zero-filled block of exactly size bytes from the host's buffer suite, or null.
void* allocBuffer(SPBasicSuite* basic, size_t size);
void freeBuffer(SPBasicSuite* basic, void* block);

// Opens "http://<hostName>" through the host. False without the suite.
bool browseWebAddress(SPBasicSuite* basic, const char* hostName);
