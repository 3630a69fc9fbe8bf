// The exported entry point: records the host's pointers, refuses hosts and
// screens the filter cannot work with, answers each selector and decides the
// host result code. Nothing below throws past this function.
#include "entry/PluginMain.h"

#include <cstdlib>
#include <vector>

#include "engine/ApplyFilter.h"
#include "engine/ThreadCount.h"
#include "params/FilterParameters.h"
#include "services/BufferService.h"
#include "services/HostServices.h"
#include "services/Platform.h"
#include "services/RunContext.h"

namespace {

const char* const kTitleError = "Error";

void refuse(const char* text, int16* result) {
    platformServices().showMessage(text, kTitleError, MessageError);
    *result = 1;
}

void parametersSelector(FilterRecord* record, int16* result) {
    if (!record->parameters) {
        Handle h = newHostHandle(record, int32_t(kFilterParametersSize));
        if (!h) {
            *result = memFullErr;
            return;
        }
        void* block = lockHostHandle(record, h);
        if (!block) {
            disposeHostHandle(record, h);
            record->parameters = nullptr;
            *result = memFullErr;
            return;
        }
        FilterParameters params;
        params.setDefaults();
        // Fields the defaults leave alone start as zero in a fresh handle.
        writeFilterParameters(params, static_cast<uint8_t*>(block), kFilterParametersSize);
        unlockHostHandle(record, h);
        record->parameters = h;
    }
    // A handle the host kept may be shorter than the block; never touch it then.
    int32_t size = hostHandleSize(record, record->parameters);
    if (size >= 0 && size < int32_t(kFilterParametersSize)) {
        *result = filterBadParameters;
        return;
    }
    uint8_t* block = static_cast<uint8_t*>(lockHostHandle(record, record->parameters));
    if (!block) {
        *result = memFullErr;
        return;
    }
    block[ParamOffset::showDialog] = 1;
    unlockHostHandle(record, record->parameters);
}

void prepareSelector(FilterRecord* record) {
    record->bufferSpace = kBufferSpace;
    record->maxSpace = kMaxSpace;
}

// One run of the engine on the record, reporting to the host, on the host's
// thread and as many workers as CRISPCALM_THREADS asks for, or one per core.
int16 apply(FilterRecord* record, FilterParameters& params) {
    RunContext run(record, ProgressMode::Host, platformServices().setDialogProgress);
    run.setThreads(threadCountFor(std::getenv("CRISPCALM_THREADS")));
    return applyFilter(run, params);
}

void startSelector(FilterRecord* record, int16* result) {
    const ImageClass imageClass = imageClassForMode(record->imageMode);
    if (imageClass != ImageClass::RGB && imageClass != ImageClass::CMYK) {
        refuse("Please make sure that the image is in RGB or CMYK mode and that all channels are selected", result);
        return;
    }
    uint8_t* bytes = static_cast<uint8_t*>(lockHostHandle(record, record->parameters));
    if (!bytes) {
        *result = memFullErr;
        return;
    }
    int32_t size = hostHandleSize(record, record->parameters);
    if (!hasParametersSignature(bytes, size < 0 ? 4 : size_t(size)) ||
        (size >= 0 && size < int32_t(kFilterParametersSize))) {
        unlockHostHandle(record, record->parameters);
        *result = filterBadParameters;
        return;
    }
    FilterParameters params;
    readFilterParameters(bytes, kFilterParametersSize, params);

    if (params.showDialog == 1) {
        int outcome = platformServices().runMainDialog(record, &params);
        if (outcome == 1) {
            *result = apply(record, params);
            params.showDialog = 0;
        } else {
            *result = outcome == 0 ? userCanceledErr : memFullErr;
        }
    } else {
        if (params.colorSpace != ColorSpace::Hsi) {
            const bool rgbMismatch = params.imageClass == ImageClass::RGB && record->imageMode != plugInModeRGBColor &&
                                     record->imageMode != plugInModeRGB48;
            const bool cmykMismatch = params.imageClass == ImageClass::CMYK &&
                                      record->imageMode != plugInModeCMYKColor && record->imageMode != plugInModeCMYK64;
            if (rgbMismatch || cmykMismatch)
                refuse("The 'Last Filter' command cannot be applied because the image type is incompatible", result);
        }
        if (*result == noErr) *result = apply(record, params);
    }
    // The dialog's edits and the re-evaluated curves go back to the host.
    writeFilterParameters(params, bytes, kFilterParametersSize);
    unlockHostHandle(record, record->parameters);
}

void dispatch(int16 selector, void* paramBlock, int16* result) {
    if (selector == filterSelectorAbout) {
        AboutRecord* about = static_cast<AboutRecord*>(paramBlock);
        platformServices().showAboutBox(about ? about->sSPBasic : nullptr);
        return;
    }
    FilterRecord* record = static_cast<FilterRecord*>(paramBlock);
    // Buffers come from the basic suite, the record's buffer procs or plain
    // memory; a host with neither a basic suite nor buffer procs is too old.
    if (bufferSourceFor(record) == BufferSource::None) {
        refuse("This plug-in needs Photoshop version 5 or higher", result);
        return;
    }
    if (platformServices().desktopHeight() < kMinimumDesktopHeight) {
        refuse("Please set your monitor resolution to 1024x768 or higher", result);
        return;
    }
    switch (selector) {
        case filterSelectorParameters:
            parametersSelector(record, result);
            break;
        case filterSelectorPrepare:
            prepareSelector(record);
            break;
        case filterSelectorStart:
            startSelector(record, result);
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" PLUGIN_EXPORT void PSCALL PluginMain(int16 selector, void* paramBlock, intptr* data, int16* result) {
    (void)data;
    int16 scratch = noErr;
    if (!result) result = &scratch;
    try {
        dispatch(selector, paramBlock, result);
    } catch (...) {
        *result = memFullErr;
    }
}
