#include "services/Platform.h"

PlatformServices& platformServices() {
    static PlatformServices services = defaultPlatformServices();
    return services;
}
