#include "services/HostServices.h"

#include <cstdio>
#include <cstring>

FilterRecord* hostRecord = nullptr;
SPBasicSuite* hostBasicSuite = nullptr;
void* moduleInstance = nullptr;

bool recordModuleInstance(void* instance, uint32_t reason) {
    moduleInstance = (reason == 1 || reason == 2) ? instance : nullptr;
    return true;
}

namespace {
HandleProcs* handleProcs() { return hostRecord ? hostRecord->handleProcs : nullptr; }
}  // namespace

Handle newHostHandle(int32_t size) {
    HandleProcs* p = handleProcs();
    return (p && p->newProc) ? p->newProc(size) : nullptr;
}

void disposeHostHandle(Handle h) {
    HandleProcs* p = handleProcs();
    if (p && p->disposeProc && h) p->disposeProc(h);
}

void* lockHostHandle(Handle h) {
    HandleProcs* p = handleProcs();
    return (p && p->lockProc && h) ? p->lockProc(h, 1) : nullptr;
}

void unlockHostHandle(Handle h) {
    HandleProcs* p = handleProcs();
    if (p && p->unlockProc && h) p->unlockProc(h);
}

int32_t hostHandleSize(Handle h) {
    HandleProcs* p = handleProcs();
    if (!p || !h || p->numHandleProcs < 3 || !p->getSizeProc) return -1;
    return p->getSizeProc(h);
}

void* allocBuffer(size_t size) {
    if (!hostBasicSuite || !hostBasicSuite->AcquireSuite || size > 0xFFFFFFFFu) return nullptr;
    const void* raw = nullptr;
    if (hostBasicSuite->AcquireSuite(kPSBufferSuite, kPSBufferSuiteVersion1, &raw) != kSPNoError || !raw)
        return nullptr;
    const PSBufferSuite1* suite = static_cast<const PSBufferSuite1*>(raw);
    uint32 requested = uint32(size);
    Ptr block = suite->New ? suite->New(&requested, uint32(size)) : nullptr;
    if (hostBasicSuite->ReleaseSuite) hostBasicSuite->ReleaseSuite(kPSBufferSuite, kPSBufferSuiteVersion1);
    if (block) std::memset(block, 0, size);
    return block;
}

void freeBuffer(void* block) {
    if (!block || !hostBasicSuite || !hostBasicSuite->AcquireSuite) return;
    const void* raw = nullptr;
    if (hostBasicSuite->AcquireSuite(kPSBufferSuite, kPSBufferSuiteVersion1, &raw) != kSPNoError || !raw) return;
    const PSBufferSuite1* suite = static_cast<const PSBufferSuite1*>(raw);
    Ptr p = static_cast<Ptr>(block);
    if (suite->Dispose) suite->Dispose(&p);
    if (hostBasicSuite->ReleaseSuite) hostBasicSuite->ReleaseSuite(kPSBufferSuite, kPSBufferSuiteVersion1);
}

bool browseWebAddress(const char* hostName) {
    if (!hostBasicSuite || !hostBasicSuite->AcquireSuite || !hostName) return false;
    const void* raw = nullptr;
    if (hostBasicSuite->AcquireSuite(kPSGetFileListSuite, kPSGetFileListSuiteVersion4, &raw) != kSPNoError || !raw)
        return false;
    const PSGetFileListSuite4* suite = static_cast<const PSGetFileListSuite4*>(raw);
    char url[512];
    std::snprintf(url, sizeof url, "http://%s", hostName);
    SPErr err = suite->BrowseUrl ? suite->BrowseUrl(url) : kSPBadParameterError;
    if (hostBasicSuite->ReleaseSuite) hostBasicSuite->ReleaseSuite(kPSGetFileListSuite, kPSGetFileListSuiteVersion4);
    return err == kSPNoError;
}
