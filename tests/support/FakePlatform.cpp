#include "tests/support/FakePlatform.h"

FakePlatform* FakePlatform::current = nullptr;

namespace {
int fakeMessage(const char* text, const char* title, int kind) {
    FakePlatform::current->messages.push_back({text ? text : "", title ? title : "", kind});
    return 1;
}
int32_t fakeHeight() { return FakePlatform::current->desktopHeight; }
int fakeDialog(FilterRecord*, FilterParameters* block) {
    ++FakePlatform::current->dialogRuns;
    if (FakePlatform::current->editInDialog) FakePlatform::current->editInDialog(block);
    return FakePlatform::current->dialogOutcome;
}
void fakeAbout(SPBasicSuite*) { ++FakePlatform::current->aboutShown; }
void fakeProgress(int) {}
}  // namespace

FakePlatform::FakePlatform() : saved_(platformServices()) {
    current = this;
    platformServices() = PlatformServices{fakeMessage, fakeHeight, fakeDialog, fakeAbout, fakeProgress};
}

FakePlatform::~FakePlatform() {
    platformServices() = saved_;
    current = nullptr;
}
