#include "services/HostServices.h"

#include <cstdio>
#include <cstring>

void* moduleInstance = nullptr;

bool recordModuleInstance(void* instance, uint32_t reason) {
    moduleInstance = (reason == 1 || reason == 2) ? instance : nullptr;
    return true;
}

namespace {
HandleProcs* handleProcs(const FilterRecord* record) { return record ? record->handleProcs : nullptr; }
}  // namespace

Handle newHostHandle(const FilterRecord* record, int32_t size) {
    HandleProcs* p = handleProcs(record);
    return (p && p->newProc) ? p->newProc(size) : nullptr;
}

void disposeHostHandle(const FilterRecord* record, Handle h) {
    HandleProcs* p = handleProcs(record);
    if (p && p->disposeProc && h) p->disposeProc(h);
}

void* lockHostHandle(const FilterRecord* record, Handle h) {
    HandleProcs* p = handleProcs(record);
    return (p && p->lockProc && h) ? p->lockProc(h, 1) : nullptr;
}

void unlockHostHandle(const FilterRecord* record, Handle h) {
    HandleProcs* p = handleProcs(record);
    if (p && p->unlockProc && h) p->unlockProc(h);
}

int32_t hostHandleSize(const FilterRecord* record, Handle h) {
    HandleProcs* p = handleProcs(record);
    if (!p || !h || !procOffered(p->numHandleProcs, 3) || !p->getSizeProc) return -1;
    return p->getSizeProc(h);
}

bool hasBufferSuite(SPBasicSuite* basic) {
    if (!basic || !basic->AcquireSuite) return false;
    const void* raw = nullptr;
    if (basic->AcquireSuite(kPSBufferSuite, kPSBufferSuiteVersion1, &raw) != kSPNoError || !raw) return false;
    if (basic->ReleaseSuite) basic->ReleaseSuite(kPSBufferSuite, kPSBufferSuiteVersion1);
    return true;
}

void* allocBuffer(SPBasicSuite* basic, size_t size) {
    if (!basic || !basic->AcquireSuite || size > 0xFFFFFFFFu) return nullptr;
    const void* raw = nullptr;
    if (basic->AcquireSuite(kPSBufferSuite, kPSBufferSuiteVersion1, &raw) != kSPNoError || !raw) return nullptr;
    const PSBufferSuite1* suite = static_cast<const PSBufferSuite1*>(raw);
    uint32 requested = uint32(size);
    Ptr block = suite->New ? suite->New(&requested, uint32(size)) : nullptr;
    if (basic->ReleaseSuite) basic->ReleaseSuite(kPSBufferSuite, kPSBufferSuiteVersion1);
    if (block) std::memset(block, 0, size);
    return block;
}

void freeBuffer(SPBasicSuite* basic, void* block) {
    if (!block || !basic || !basic->AcquireSuite) return;
    const void* raw = nullptr;
    if (basic->AcquireSuite(kPSBufferSuite, kPSBufferSuiteVersion1, &raw) != kSPNoError || !raw) return;
    const PSBufferSuite1* suite = static_cast<const PSBufferSuite1*>(raw);
    Ptr p = static_cast<Ptr>(block);
    if (suite->Dispose) suite->Dispose(&p);
    if (basic->ReleaseSuite) basic->ReleaseSuite(kPSBufferSuite, kPSBufferSuiteVersion1);
}

bool browseWebAddress(SPBasicSuite* basic, const char* hostName) {
    if (!basic || !basic->AcquireSuite || !hostName) return false;
    const void* raw = nullptr;
    if (basic->AcquireSuite(kPSGetFileListSuite, kPSGetFileListSuiteVersion4, &raw) != kSPNoError || !raw) return false;
    const PSGetFileListSuite4* suite = static_cast<const PSGetFileListSuite4*>(raw);
    char url[512];
    std::snprintf(url, sizeof url, "http://%s", hostName);
    SPErr err = suite->BrowseUrl ? suite->BrowseUrl(url) : kSPBadParameterError;
    if (basic->ReleaseSuite) basic->ReleaseSuite(kPSGetFileListSuite, kPSGetFileListSuiteVersion4);
    return err == kSPNoError;
}
