#include "host/HostCore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "host/ChannelScaling.h"
#include "host/RowBlocks.h"
#include "host/RowMark.h"
#include "host/SampleBits.h"

namespace {

HostCore* gHost = nullptr;  // the host the callbacks serve; one at a time

// A handle is a pointer to the master pointer of its block.
struct HandleBox {
    char* data;
    int32_t size;
    int32_t locks;
};
std::map<Handle, HandleBox*>& handles() {
    static std::map<Handle, HandleBox*> table;
    return table;
}

struct GrantedBuffer {
    size_t size;
};
std::map<void*, GrantedBuffer>& granted() {
    static std::map<void*, GrantedBuffer> table;
    return table;
}

constexpr uint8_t kGuardByte = 0xA5;
constexpr int32_t kRowGuard = 16;  // guard bytes after each row of an output tile

bool rectEmpty(const Rect& r) { return r.bottom <= r.top || r.right <= r.left; }

// Copies n samples of one image row (every plane in [lo, lo + count) of each
// pixel) into tile bytes at 8 or 16 bits, little-endian.
void packRow(const uint16_t* pixels, int planes, int lo, int count, int32_t columns, int bytesPerSample, uint8_t* out) {
    if (bytesPerSample == 2 && lo == 0 && count == planes) {
        std::memcpy(out, pixels, size_t(columns) * size_t(planes) * 2);
        return;
    }
    for (int32_t x = 0; x < columns; ++x) {
        const uint16_t* px = pixels + size_t(x) * planes + lo;
        for (int p = 0; p < count; ++p) {
            if (bytesPerSample == 2) {
                std::memcpy(out, px + p, 2);
                out += 2;
            } else {
                *out++ = uint8_t(px[p]);
            }
        }
    }
}

void unpackRow(const uint8_t* in, int planes, int lo, int count, int32_t columns, int bytesPerSample,
               uint16_t* pixels) {
    if (bytesPerSample == 2 && lo == 0 && count == planes) {
        std::memcpy(pixels, in, size_t(columns) * size_t(planes) * 2);
        return;
    }
    for (int32_t x = 0; x < columns; ++x) {
        uint16_t* px = pixels + size_t(x) * planes + lo;
        for (int p = 0; p < count; ++p) {
            if (bytesPerSample == 2) {
                std::memcpy(px + p, in, 2);
                in += 2;
            } else {
                px[p] = *in++;
            }
        }
    }
}

}  // namespace

int16_t hostModeFor(int planes, int depth) {
    if (planes == 3) return depth == 16 ? plugInModeRGB48 : plugInModeRGBColor;
    if (planes == 4) return depth == 16 ? plugInModeCMYK64 : plugInModeCMYKColor;
    return plugInModeGrayScale;
}

std::string imageModeMessage(const std::string& what) {
    return "is " + what +
           "; crispcalm filters RGB or CMYK images: convert it to RGB first (for example with "
           "'vips colourspace IN OUT srgb')";
}

bool makeHostImage(HostImage& image, int32_t width, int32_t height, int planes, int depth, bool zeroed) {
    if (width < 1 || height < 1 || width > 30000 || height > 30000) return false;
    if ((planes != 3 && planes != 4) || (depth != 8 && depth != 16)) return false;
    image.width = width;
    image.height = height;
    image.planes = planes;
    image.depth = depth;
    image.mode = hostModeFor(planes, depth);
    try {
        const size_t count = size_t(width) * size_t(height) * size_t(planes);
        if (zeroed)
            image.samples.assign(count, 0);
        else
            image.samples.resize(count);
    } catch (...) {
        image.samples.clear();
        return false;
    }
    return true;
}

struct HostCore::Impl {
    // The host's services are for the thread that called the plug-in only.
    static void checkThread() {
        if (gHost && std::this_thread::get_id() != gHost->callerThread_) ++gHost->stats_.offThreadCalls;
    }

    // ---- handle procs
    static Handle PSCALL newHandle(int32 size) {
        if (size < 0) return nullptr;
        HandleBox* box = new (std::nothrow) HandleBox{nullptr, size, 0};
        if (!box) return nullptr;
        box->data = static_cast<char*>(std::calloc(size_t(size) + 1, 1));
        if (!box->data) {
            delete box;
            return nullptr;
        }
        Handle h = &box->data;
        handles()[h] = box;
        return h;
    }
    static void PSCALL disposeHandle(Handle h) {
        auto it = handles().find(h);
        if (it == handles().end()) return;
        std::free(it->second->data);
        delete it->second;
        handles().erase(it);
    }
    static int32 PSCALL getSize(Handle h) {
        auto it = handles().find(h);
        return it == handles().end() ? 0 : it->second->size;
    }
    static OSErr PSCALL setSize(Handle h, int32 newSize) {
        auto it = handles().find(h);
        if (it == handles().end() || newSize < 0) return nilHandleErr;
        char* p = static_cast<char*>(std::realloc(it->second->data, size_t(newSize) + 1));
        if (!p) return memFullErr;
        if (newSize > it->second->size) std::memset(p + it->second->size, 0, size_t(newSize - it->second->size));
        it->second->data = p;
        it->second->size = newSize;
        return noErr;
    }
    static Ptr PSCALL lock(Handle h, Boolean) {
        auto it = handles().find(h);
        if (it == handles().end()) return nullptr;
        ++it->second->locks;
        return it->second->data;
    }
    static void PSCALL unlock(Handle h) {
        auto it = handles().find(h);
        if (it != handles().end() && it->second->locks > 0) --it->second->locks;
    }
    static void PSCALL recoverSpace(int32) {}
    static void PSCALL disposeRegular(Handle h) { disposeHandle(h); }

    // ---- buffer suite
    static Ptr PSCALL bufferNew(uint32* requestedSize, uint32 minimumSize) {
        checkThread();
        if (!gHost) return nullptr;
        size_t size = requestedSize ? *requestedSize : minimumSize;
        if (size < minimumSize) size = minimumSize;
        HostStats& s = gHost->stats_;
        if (gHost->bufferLimit_ && s.liveBufferBytes + size > gHost->bufferLimit_) return nullptr;
        void* p = std::malloc(size ? size : 1);
        if (!p) return nullptr;
        std::memset(p, 0xCD, size);  // the plug-in must not rely on the host zeroing
        granted()[p] = {size};
        if (requestedSize) *requestedSize = uint32(size);
        ++s.liveBuffers;
        ++s.buffersGranted;
        s.liveBufferBytes += size;
        s.peakBufferBytes = std::max(s.peakBufferBytes, s.liveBufferBytes);
        return static_cast<Ptr>(p);
    }
    static void PSCALL bufferDispose(Ptr* buffer) {
        checkThread();
        if (!buffer || !*buffer) return;
        auto it = granted().find(*buffer);
        if (it != granted().end()) {
            if (gHost) {
                --gHost->stats_.liveBuffers;
                gHost->stats_.liveBufferBytes -= it->second.size;
            }
            granted().erase(it);
            std::free(*buffer);
        }
        *buffer = nullptr;
    }
    static uint32 PSCALL bufferGetSize(Ptr buffer) {
        auto it = granted().find(buffer);
        return it == granted().end() ? 0 : uint32(it->second.size);
    }
    static uint32 PSCALL bufferGetSpace() {
        if (!gHost || !gHost->bufferLimit_) return 0x7FFFFFFF;
        return uint32(gHost->bufferLimit_ - gHost->stats_.liveBufferBytes);
    }

    // ---- the record's buffer procs: the same blocks, the block is its own id
    static OSErr PSCALL procsAllocate(int32 size, BufferID* id) {
        if (!id || size < 0) return paramErr;
        uint32 requested = uint32(size);
        Ptr block = bufferNew(&requested, uint32(size));
        *id = reinterpret_cast<BufferID>(block);
        return block ? noErr : memFullErr;
    }
    static Ptr PSCALL procsLock(BufferID id, Boolean) { return reinterpret_cast<Ptr>(id); }
    static void PSCALL procsUnlock(BufferID) {}
    static void PSCALL procsFree(BufferID id) {
        Ptr block = reinterpret_cast<Ptr>(id);
        bufferDispose(&block);
    }
    static int32 PSCALL procsSpace() { return int32(std::min<uint32>(bufferGetSpace(), 0x7FFFFFFF)); }

    // ---- file-list suite: only the URL browser is served
    static SPErr PSCALL browseUrl(const char* url) {
        if (!gHost || !url) return kSPBadParameterError;
        gHost->stats_.browsedUrls.emplace_back(url);
        return kSPNoError;
    }
    static SPErr PSCALL notImplemented0() { return kSPBadParameterError; }

    // ---- basic suite
    static SPErr PSCALL acquireSuite(const char* name, int32 version, const void** suite) {
        if (!name || !suite) return kSPBadParameterError;
        static PSBufferSuite1 bufferSuite = {bufferNew, bufferDispose, bufferGetSize, bufferGetSpace};
        static PSGetFileListSuite4 fileListSuite = {};
        fileListSuite.BrowseUrl = browseUrl;
        const bool offersBuffers = !gHost || !gHost->quirks_.noBufferSuite;
        if (std::strcmp(name, kPSBufferSuite) == 0 && version == 1 && offersBuffers) {
            *suite = &bufferSuite;
            return kSPNoError;
        }
        if (std::strcmp(name, kPSGetFileListSuite) == 0 && version >= 1 && version <= 4) {
            *suite = &fileListSuite;
            return kSPNoError;
        }
        *suite = nullptr;
        return kSPSuiteNotFoundError;
    }
    static SPErr PSCALL releaseSuite(const char*, int32) { return kSPNoError; }
    static SPBoolean PSCALL isEqual(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }
    static SPErr PSCALL allocateBlock(size_t size, void** block) {
        if (!block) return kSPBadParameterError;
        *block = std::malloc(size ? size : 1);
        return *block ? kSPNoError : kSPBadParameterError;
    }
    static SPErr PSCALL freeBlock(void* block) {
        std::free(block);
        return kSPNoError;
    }
    static SPErr PSCALL reallocateBlock(void* block, size_t size, void** out) {
        if (!out) return kSPBadParameterError;
        *out = std::realloc(block, size ? size : 1);
        return *out ? kSPNoError : kSPBadParameterError;
    }
    static SPErr PSCALL undefined() { return kSPNoError; }

    // ---- property procs
    static OSErr PSCALL getProperty(PIType signature, PIType key, int32, intptr* simple, Handle* complex) {
        if (complex) *complex = nullptr;
        if (!gHost || signature != kPhotoshopSignature) return errPlugInPropertyUndefined;
        if (key == propWatchSuspension) {
            if (simple) *simple = gHost->watchSuspension_;
            return noErr;
        }
        if (key == propHWND && gHost->mainWindow_) {
            if (simple) *simple = gHost->mainWindow_;
            return noErr;
        }
        return errPlugInPropertyUndefined;
    }
    static OSErr PSCALL setProperty(PIType signature, PIType key, int32, intptr simple, Handle) {
        if (!gHost || signature != kPhotoshopSignature) return errPlugInPropertyUndefined;
        if (key == propWatchSuspension) {
            gHost->watchSuspension_ = simple;
            return noErr;
        }
        return errPlugInPropertyUndefined;
    }

    // ---- image services
    static OSErr PSCALL advanceState() {
        checkThread();
        return gHost ? gHost->advance() : paramErr;
    }
    static void PSCALL progress(int32 done, int32 total) {
        checkThread();
        if (!gHost) return;
        ++gHost->stats_.progressCalls;
        if (gHost->onProgress && gHost->onProgress(done, total)) gHost->abortRequested_ = true;
    }
    static Boolean PSCALL testAbort() {
        checkThread();
        if (!gHost) return 0;
        ++gHost->stats_.abortCalls;
        return gHost->abortRequested_ ? 1 : 0;
    }

    // The picker works in RGB only; a cancelled pick is userCanceledErr.
    static OSErr chooseColor(ColorServicesInfo* info) {
        if (!gHost || !gHost->onChooseColor) return errPlugInHostInsufficient;
        if (info->sourceSpace != plugIncolorServicesRGBSpace ||
            (info->resultSpace != plugIncolorServicesRGBSpace && info->resultSpace != plugIncolorServicesChosenSpace))
            return paramErr;
        int16_t rgb[3] = {info->colorComponents[0], info->colorComponents[1], info->colorComponents[2]};
        for (int16_t& c : rgb) c = int16_t(std::clamp<int>(c, 0, 255));
        if (!gHost->onChooseColor(rgb)) return userCanceledErr;
        for (int i = 0; i < 3; ++i) info->colorComponents[i] = rgb[i];
        info->colorComponents[3] = 0;
        info->resultSpace = plugIncolorServicesRGBSpace;
        return noErr;
    }

    // Eight-bit colour conversion between RGB (0) and CMYK (2); CMYK
    // components follow the host convention, 255 = no ink.
    static OSErr PSCALL colorServices(ColorServicesInfo* info) {
        checkThread();
        if (info && info->selector == plugIncolorServicesChooseColor) return chooseColor(info);
        if (!info || info->selector != plugIncolorServicesConvertColor) return paramErr;
        int16* c = info->colorComponents;
        for (int i = 0; i < 4; ++i)
            if (c[i] < 0 || c[i] > 255) return paramErr;
        if (info->sourceSpace == info->resultSpace) return noErr;
        if (info->sourceSpace == plugIncolorServicesRGBSpace && info->resultSpace == plugIncolorServicesCMYKSpace) {
            int ink[3] = {255 - c[0], 255 - c[1], 255 - c[2]};
            int k = std::min(ink[0], std::min(ink[1], ink[2]));
            for (int i = 0; i < 3; ++i) c[i] = int16(255 - (ink[i] - k));
            c[3] = int16(255 - k);
            return noErr;
        }
        if (info->sourceSpace == plugIncolorServicesCMYKSpace && info->resultSpace == plugIncolorServicesRGBSpace) {
            int k = 255 - c[3];
            for (int i = 0; i < 3; ++i) c[i] = int16(255 - std::min(255, (255 - c[i]) + k));
            c[3] = 0;
            return noErr;
        }
        return paramErr;
    }

    // ---- channel ports: read only
    static OSErr PSCALL readPixels(ChannelReadPort port, const PSScaling* scaling, const VRect* writeRect,
                                   const PixelMemoryDesc* destination, VRect* wroteRect) {
        if (!gHost || !port || !scaling || !writeRect || !destination) return paramErr;
        const int* slot = reinterpret_cast<const int*>(port);
        if (slot < gHost->portSlots_ || slot >= gHost->portSlots_ + kMaxChannels) return paramErr;
        const OSErr err = gHost->readChannel(*slot, *scaling, *writeRect, *destination);
        if (wroteRect) *wroteRect = err == noErr ? *writeRect : VRect{0, 0, 0, 0};
        return err;
    }
    static OSErr PSCALL writeBasePixels(ChannelWritePort, const VRect*, const PixelMemoryDesc*) { return paramErr; }
    static OSErr PSCALL readPortForWritePort(ChannelReadPort* readPort, ChannelWritePort) {
        if (readPort) *readPort = nullptr;
        return paramErr;
    }

    static OSErr PSCALL displayPixels(const PSPixelMap* source, const VRect* srcRect, int32 dstRow, int32 dstCol,
                                      void* platformContext) {
        if (!gHost || !gHost->display_ || !source || !srcRect) return paramErr;
        return gHost->display_(*source, *srcRect, dstRow, dstCol, platformContext);
    }
};

namespace {
const HandleProcs kHandleProcs = {1,
                                  8,
                                  HostCore::Impl::newHandle,
                                  HostCore::Impl::disposeHandle,
                                  HostCore::Impl::getSize,
                                  HostCore::Impl::setSize,
                                  HostCore::Impl::lock,
                                  HostCore::Impl::unlock,
                                  HostCore::Impl::recoverSpace,
                                  HostCore::Impl::disposeRegular};
SPBasicSuite gBasicSuite = {HostCore::Impl::acquireSuite, HostCore::Impl::releaseSuite,
                            HostCore::Impl::isEqual,      HostCore::Impl::allocateBlock,
                            HostCore::Impl::freeBlock,    HostCore::Impl::reallocateBlock,
                            HostCore::Impl::undefined};
const PropertyProcs kPropertyProcs = {1, 2, HostCore::Impl::getProperty, HostCore::Impl::setProperty};
const BufferProcs kBufferProcs = {2,
                                  5,
                                  HostCore::Impl::procsAllocate,
                                  HostCore::Impl::procsLock,
                                  HostCore::Impl::procsUnlock,
                                  HostCore::Impl::procsFree,
                                  HostCore::Impl::procsSpace};
ChannelPortProcs gChannelPortProcs = {1, 3, HostCore::Impl::readPixels, HostCore::Impl::writeBasePixels,
                                      HostCore::Impl::readPortForWritePort};
const char* const kRgbNames[] = {"Red", "Green", "Blue"};
const char* const kCmykNames[] = {"Cyan", "Magenta", "Yellow", "Black"};
}  // namespace

HostCore::HostCore() {
    gHost = this;
    FilterRecord& r = record_;
    r.abortProc = Impl::testAbort;
    r.progressProc = Impl::progress;
    r.hostSig = kPhotoshopSignature;
    r.sSPBasic = &gBasicSuite;
    r.advanceState = Impl::advanceState;
    r.colorServices = Impl::colorServices;
    r.maxSpace = 1 << 30;
    r.supportsPadding = 0;
    r.filterCase = 1;
    about_.sSPBasic = &gBasicSuite;
    setQuirks(HostQuirks{});
    setTileSize(256, 256);
}

HostCore::~HostCore() {
    if (record_.parameters) Impl::disposeHandle(record_.parameters);
    if (gHost == this) gHost = nullptr;
}

void HostCore::setMainWindow(intptr_t window) {
    mainWindow_ = window;
    platformData_.hwnd = window;
    record_.platformData = window ? &platformData_ : nullptr;
}

void HostCore::setHasBasicSuite(bool has) {
    HostQuirks q = quirks_;
    q.noBasicSuite = q.noBufferProcs = !has;
    setQuirks(q);
}

void HostCore::setQuirks(const HostQuirks& quirks) {
    quirks_ = quirks;
    FilterRecord& r = record_;
    r.sSPBasic = quirks.noBasicSuite ? nullptr : &gBasicSuite;
    about_.sSPBasic = r.sSPBasic;
    handleProcs_ = kHandleProcs;
    propertyProcs_ = kPropertyProcs;
    bufferProcs_ = kBufferProcs;
    if (quirks.zeroVersions) {
        handleProcs_.handleProcsVersion = handleProcs_.numHandleProcs = 0;
        propertyProcs_.propertyProcsVersion = propertyProcs_.numPropertyProcs = 0;
        bufferProcs_.bufferProcsVersion = bufferProcs_.numBufferProcs = 0;
    }
    r.handleProcs = &handleProcs_;
    r.propertyProcs = &propertyProcs_;
    r.bufferProcs = quirks.noBufferProcs ? nullptr : &bufferProcs_;
    setTileSize(tileWidth_, tileHeight_);
}

void HostCore::setImage(HostImage image) {
    image_ = std::move(image);
    FilterRecord& r = record_;
    r.imageSize = {int16(image_.height), int16(image_.width)};
    r.planes = int16(image_.planes);
    r.filterRect = {0, 0, int16(image_.height), int16(image_.width)};
    r.wholeSize = r.imageSize;
    r.imageMode = image_.mode;
    r.depth = image_.depth;
    r.imageHRes = r.imageVRes = 72 << 16;
    describeDocument();
}

void HostCore::setSelection(std::vector<uint8_t> selection) {
    selection_ = std::move(selection);
    record_.haveMask = selection_.empty() ? 0 : 1;
    record_.filterCase = selection_.empty() ? 1 : 2;
    describeDocument();
}

void HostCore::setChannelPorts(bool served) {
    channelPorts_ = served;
    describeDocument();
}

void HostCore::setDisplayPixels(DisplayPixels display) {
    display_ = std::move(display);
    record_.displayPixels = display_ ? Impl::displayPixels : nullptr;
}

void HostCore::describeDocument() {
    FilterRecord& r = record_;
    const bool served = channelPorts_ && image_.width > 0 && (image_.planes == 3 || image_.planes == 4);
    r.channelPortProcs = served ? &gChannelPortProcs : nullptr;
    r.documentInfo = served ? &document_ : nullptr;
    if (!served) return;
    document_ = ReadImageDocumentDesc{};
    document_.minVersion = 0;
    document_.maxVersion = 0;
    document_.imageMode = image_.mode;
    document_.depth = image_.depth;
    document_.bounds = VRect{0, 0, image_.height, image_.width};
    document_.hResolution = document_.vResolution = 72 << 16;
    for (int i = 0; i < 256; ++i) document_.redLUT[i] = document_.greenLUT[i] = document_.blueLUT[i] = uint8_t(i);
    const bool rgb = image_.planes == 3;
    for (int slot = 0; slot < kMaxChannels; ++slot) {
        ReadChannelDesc& c = channels_[slot];
        c = ReadChannelDesc{};
        c.port = reinterpret_cast<ChannelReadPort>(&portSlots_[slot]);
        c.bounds = document_.bounds;
        c.depth = slot < image_.planes ? image_.depth : 8;
        c.tileSize = VPoint{tileHeight_, tileWidth_};
        c.target = c.shown = 1;
        if (slot < image_.planes) {
            c.channelType = int16(rgb ? 1 + slot : 4 + slot);
            c.name = rgb ? kRgbNames[slot] : kCmykNames[slot];
            c.next = slot + 1 < image_.planes ? &channels_[slot + 1] : nullptr;
        } else {
            c.channelType = 19;  // selection mask
            c.name = "Selection";
        }
    }
    document_.targetCompositeChannels = &channels_[0];
    document_.mergedCompositeChannels = &channels_[0];
    document_.selection = selection_.empty() ? nullptr : &channels_[kMaxChannels - 1];
}

OSErr HostCore::readChannel(int slot, const PSScaling& scaling, const VRect& writeRect, const PixelMemoryDesc& memory) {
    // Eight bits per sample, one byte per column, whole bytes per row.
    if (memory.depth != 8 || memory.colBits != 8 || memory.bitOffset != 0 || memory.rowBits % 8 != 0) return paramErr;
    ChannelSource channel;
    channel.width = image_.width;
    channel.height = image_.height;
    if (slot == kMaxChannels - 1) {
        if (selection_.size() != size_t(image_.width) * size_t(image_.height)) return paramErr;
        channel.bytes = selection_.data();
    } else {
        if (slot >= image_.planes) return paramErr;
        if (readMark_ && !readMark_->wait(image_.height)) return readErr;
        channel.samples = image_.samples.data();
        channel.stride = image_.planes;
        channel.offset = slot;
        channel.depth = image_.depth;
    }
    return readScaledChannel(channel, scaling, writeRect, static_cast<uint8_t*>(memory.data), memory.rowBits / 8);
}

std::vector<uint8_t> HostCore::takeSelection() {
    std::vector<uint8_t> selection = std::move(selection_);
    setSelection({});
    return selection;
}

void HostCore::setRowMarks(RowMark* read, RowMark* finished) {
    readMark_ = read;
    finishedMark_ = finished;
    finishedRows_ = 0;
}

void HostCore::setTileSize(int32_t width, int32_t height) {
    tileWidth_ = width;
    tileHeight_ = height;
    if (quirks_.zeroTileSize) width = height = 0;
    record_.outTileWidth = record_.inTileWidth = record_.maskTileWidth = int16(width);
    record_.outTileHeight = record_.inTileHeight = record_.maskTileHeight = int16(height);
}

Handle HostCore::newHandle(int32_t size) { return Impl::newHandle(size); }
void HostCore::disposeHandle(Handle h) { Impl::disposeHandle(h); }

std::vector<uint8_t> HostCore::parameterBytes() const {
    // A copy: the record's packing leaves the field misaligned for a reference.
    const Handle parameters = record_.parameters;
    auto it = handles().find(parameters);
    if (it == handles().end()) return {};
    return std::vector<uint8_t>(it->second->data, it->second->data + it->second->size);
}

void HostCore::setParameterBytes(const std::vector<uint8_t>& bytes) {
    if (record_.parameters) Impl::disposeHandle(record_.parameters);
    record_.parameters = Impl::newHandle(int32_t(bytes.size()));
    if (record_.parameters && !bytes.empty()) std::memcpy(*record_.parameters, bytes.data(), bytes.size());
}

int16 HostCore::call(PluginMainProc entry, int16 selector) {
    if (selector == filterSelectorStart)
        return callStart([&](FilterRecord& record) {
            int16 result = noErr;
            intptr data = 0;
            entry(selector, &record, &data, &result);
            return result;
        });
    gHost = this;
    callerThread_ = std::this_thread::get_id();
    abortRequested_ = false;
    int16 result = noErr;
    intptr data = 0;
    if (selector == filterSelectorAbout)
        entry(selector, &about_, &data, &result);
    else
        entry(selector, &record_, &data, &result);
    return result;
}

int16 HostCore::callStart(const std::function<int16(FilterRecord&)>& work) {
    gHost = this;
    callerThread_ = std::this_thread::get_id();
    abortRequested_ = false;
    // Like a real host, the filter reads the original pixels whatever it has
    // already written to the output.
    running_ = true;
    originals_.start(image_);
    const int16 result = work(record_);
    takeBackOutput();
    running_ = false;
    originals_.finish();
    originalRow_ = std::vector<uint16_t>();
    return result;
}

bool HostCore::takeBackOutput() {
    if (outTile_.empty() || rectEmpty(lentOutRect_)) {
        outTile_.clear();
        return true;
    }
    const int bytesPerSample = image_.depth == 16 ? 2 : 1;
    const int32_t cols = lentOutRect_.right - lentOutRect_.left;
    const int32_t rows = lentOutRect_.bottom - lentOutRect_.top;
    const int nPlanes = lentOutHi_ - lentOutLo_ + 1;
    const int32_t rowBytes = cols * nPlanes * bytesPerSample;
    const int32_t stride = rowBytes + kRowGuard;
    bool clean = true;
    for (int32_t i = 0; i < outGuard_; ++i)
        if (outTile_[size_t(i)] != kGuardByte || outTile_[outTile_.size() - 1 - size_t(i)] != kGuardByte) clean = false;
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* row = outTile_.data() + outGuard_ + size_t(y) * size_t(stride);
        for (int32_t g = 0; g < kRowGuard; ++g)
            if (row[rowBytes + g] != kGuardByte) clean = false;
    }
    if (running_) originals_.beforeWrite(image_, lentOutRect_);
    const bool track = image_.changed.size() == (image_.samples.size() + 63) / 64;
    const size_t rowSamples = size_t(cols) * size_t(image_.planes);
    // Rows of the image do not overlap; the changed bits of neighbouring rows
    // may share a word, which setDifferenceBits allows for.
    // All planes at 16 bits (the usual case) go over the row and mark it in one pass.
    const bool whole = track && bytesPerSample == 2 && lentOutLo_ == 0 && nPlanes == image_.planes;
    forRowBlocks(copyThreads_, rows, size_t(rows) * size_t(stride), copyWorkers_, [&](int32_t begin, int32_t end) {
        std::vector<uint16_t> before;  // a row as it was before output went over it
        for (int32_t y = begin; y < end; ++y) {
            const uint8_t* row = outTile_.data() + outGuard_ + size_t(y) * size_t(stride);
            const size_t at = image_.index(lentOutRect_.left, lentOutRect_.top + y, 0);
            if (whole) {
                storeMarkingDifferences(row, &image_.samples[at], rowSamples, image_.changed.data(), at);
                continue;
            }
            if (track)
                before.assign(image_.samples.begin() + ptrdiff_t(at),
                              image_.samples.begin() + ptrdiff_t(at + rowSamples));
            unpackRow(row, image_.planes, lentOutLo_, nPlanes, cols, bytesPerSample, &image_.samples[at]);
            if (track) setDifferenceBits(before.data(), &image_.samples[at], rowSamples, image_.changed.data(), at);
        }
    });
    if (!clean) stats_.wroteOutsideOutRect = true;
    outTile_.clear();
    lentOutRect_ = {};
    return clean;
}

// With moving data the previous tile stays alive until the next call, its
// bytes spoiled, and the next one is a new block: a plug-in that keeps an old
// pointer reads junk and its writes are lost.
void HostCore::moveTile(ByteVector& tile, ByteVector& old) {
    if (!quirks_.movingData) return;
    std::fill(tile.begin(), tile.end(), uint8_t(0x5A));
    old = std::move(tile);
    tile = ByteVector();
}

// A request at a rate other than 1 (16.16 fixed point, source pixels per
// delivered pixel): the rectangle scaled to trunc(size / rate) pixels a side,
// at least 1, by the channel ports' rule (means at eight bits); 16-bit images
// get those means brought back to 0..32768.
bool HostCore::scaledTile(const Rect& rect, Fixed rate, int lo, int count, bool mask, ByteVector& tile,
                          int32& rowBytes) {
    const int32_t cols = rect.right - rect.left, rows = rect.bottom - rect.top;
    const int32_t width = std::max<int32_t>(1, int32_t(int64_t(cols) * 65536 / rate));
    const int32_t height = std::max<int32_t>(1, int32_t(int64_t(rows) * 65536 / rate));
    const int bytesPerSample = mask || image_.depth == 8 ? 1 : 2;
    rowBytes = width * count * bytesPerSample;
    tile.assign(size_t(rowBytes) * size_t(height), 0);
    // The rectangle's pixels as they were before the run (the selection as it is).
    HostImage part;
    if (!mask) {
        part.width = cols;
        part.height = rows;
        part.planes = image_.planes;
        part.depth = image_.depth;
        part.samples.resize(size_t(cols) * size_t(rows) * size_t(image_.planes));
        for (int32_t y = 0; y < rows; ++y) {
            const int32_t row = rect.top + y;
            if (running_ && !originals_.originalRow(image_, row, rect.left, rect.right, originalRow_)) return false;
            const uint16_t* from = running_ ? originalRow_.data() : &image_.samples[image_.index(rect.left, row, 0)];
            std::copy(from, from + size_t(cols) * size_t(image_.planes), &part.samples[part.index(0, y, 0)]);
        }
    }
    PSScaling scaling;
    scaling.sourceRect = mask ? VRect{rect.top, rect.left, rect.bottom, rect.right} : VRect{0, 0, rows, cols};
    scaling.destinationRect = VRect{0, 0, height, width};
    std::vector<uint8_t> plane(size_t(width) * size_t(height));
    for (int p = 0; p < count; ++p) {
        ChannelSource channel;
        if (mask) {
            channel.width = image_.width;
            channel.height = image_.height;
            channel.bytes = selection_.data();
        } else {
            channel.width = cols;
            channel.height = rows;
            channel.samples = part.samples.data();
            channel.stride = part.planes;
            channel.offset = lo + p;
            channel.depth = part.depth;
        }
        if (readScaledChannel(channel, scaling, scaling.destinationRect, plane.data(), width) != noErr) return false;
        for (size_t i = 0; i < plane.size(); ++i) {
            uint8_t* at = tile.data() + (i * size_t(count) + size_t(p)) * size_t(bytesPerSample);
            if (bytesPerSample == 1) {
                *at = plane[i];
            } else {
                const uint16_t v = uint16_t((uint32_t(plane[i]) * 32768 * 2 + 255) / (2 * 255));
                std::memcpy(at, &v, 2);
            }
        }
    }
    return true;
}

// Waits for the rows a request reads or writes, and marks the rows above its
// output as finished.
OSErr HostCore::awaitRows() {
    const FilterRecord& r = record_;
    int32_t need = 0;
    for (const Rect* q : {&r.inRect, &r.outRect})
        if (!rectEmpty(*q)) need = std::max<int32_t>(need, std::min<int32_t>(q->bottom, image_.height));
    if (readMark_ && need > 0 && !readMark_->wait(need)) return readErr;
    if (!finishedMark_ || rectEmpty(r.outRect)) return noErr;
    if (r.outRect.top < finishedRows_) {
        stats_.badRequest = true;
        return paramErr;
    }
    const int32_t finished = size_t(image_.width) * size_t(image_.planes) >= 64 ? r.outRect.top - 1 : 0;
    if (finished > finishedRows_) {
        finishedRows_ = finished;
        finishedMark_->reach(finished);
    }
    return noErr;
}

OSErr HostCore::advance() {
    ++stats_.advanceCalls;
    takeBackOutput();
    FilterRecord& r = record_;
    const int bytesPerSample = image_.depth == 16 ? 2 : 1;
    auto inside = [&](const Rect& q) {
        return q.top >= 0 && q.left >= 0 && q.bottom <= image_.height && q.right <= image_.width;
    };
    auto planesOk = [&](int16 lo, int16 hi) { return lo >= 0 && hi < image_.planes && lo <= hi; };

    // Input tile, interleaved.
    moveTile(inTile_, oldIn_);
    moveTile(outTile_, oldOut_);
    moveTile(maskTile_, oldMask_);
    inTile_.clear();
    r.inData = nullptr;
    r.inRowBytes = 0;
    r.outData = nullptr;
    r.maskData = nullptr;
    if (const OSErr err = awaitRows(); err != noErr) return err;
    if (!rectEmpty(r.inRect)) {
        if (!inside(r.inRect) || !planesOk(r.inLoPlane, r.inHiPlane)) {
            stats_.badRequest = true;
            return paramErr;
        }
        if (running_) originals_.noteRequest(r.inRect, r.outRect);
        const int n = r.inHiPlane - r.inLoPlane + 1;
        const int32_t cols = r.inRect.right - r.inRect.left, rows = r.inRect.bottom - r.inRect.top;
        if (r.inputRate > 0 && r.inputRate != 0x10000) {
            int32 rowBytes = 0;
            if (!scaledTile(r.inRect, r.inputRate, r.inLoPlane, n, false, inTile_, rowBytes)) {
                stats_.badRequest = true;
                return paramErr;
            }
            r.inRowBytes = rowBytes;
        } else {
            r.inRowBytes = cols * n * bytesPerSample;
            inTile_.resize(size_t(r.inRowBytes) * size_t(rows));
            // Rows nothing was written over come straight from the image,
            // shared among threads; the others from the kept originals.
            std::vector<int32_t> touched;
            for (int32_t y = 0; y < rows; ++y)
                if (!originals_.untouched(r.inRect.top + y, r.inRect.left, r.inRect.right)) touched.push_back(y);
            for (int32_t y : touched) {
                const int32_t row = r.inRect.top + y;
                if (!originals_.originalRow(image_, row, r.inRect.left, r.inRect.right, originalRow_)) {
                    // Written over and let go: only output could be served.
                    stats_.badRequest = true;
                    inTile_.clear();
                    return paramErr;
                }
                packRow(originalRow_.data(), image_.planes, r.inLoPlane, n, cols, bytesPerSample,
                        inTile_.data() + size_t(y) * r.inRowBytes);
            }
            forRowBlocks(copyThreads_, rows, inTile_.size(), copyWorkers_, [&](int32_t begin, int32_t end) {
                size_t next = size_t(std::lower_bound(touched.begin(), touched.end(), begin) - touched.begin());
                for (int32_t y = begin; y < end; ++y) {
                    if (next < touched.size() && touched[next] == y) {
                        ++next;
                        continue;
                    }
                    packRow(&image_.samples[image_.index(r.inRect.left, r.inRect.top + y, 0)], image_.planes,
                            r.inLoPlane, n, cols, bytesPerSample, inTile_.data() + size_t(y) * r.inRowBytes);
                }
            });
        }
        r.inData = inTile_.data();
    }

    // Output tile: the current pixels, with guard bytes around and after each row.
    r.outData = nullptr;
    r.outRowBytes = 0;
    if (!rectEmpty(r.outRect)) {
        if (!inside(r.outRect) || !planesOk(r.outLoPlane, r.outHiPlane)) {
            stats_.badRequest = true;
            return paramErr;
        }
        const int n = r.outHiPlane - r.outLoPlane + 1;
        const int32_t cols = r.outRect.right - r.outRect.left, rows = r.outRect.bottom - r.outRect.top;
        const int32_t rowBytes = cols * n * bytesPerSample;
        const int32_t stride = rowBytes + kRowGuard;
        outGuard_ = 64;
        outTile_.resize(size_t(stride) * size_t(rows) + 2 * size_t(outGuard_));
        std::memset(outTile_.data(), kGuardByte, size_t(outGuard_));
        std::memset(outTile_.data() + outTile_.size() - size_t(outGuard_), kGuardByte, size_t(outGuard_));
        forRowBlocks(copyThreads_, rows, outTile_.size(), copyWorkers_, [&](int32_t begin, int32_t end) {
            for (int32_t y = begin; y < end; ++y) {
                uint8_t* row = outTile_.data() + outGuard_ + size_t(y) * stride;
                packRow(&image_.samples[image_.index(r.outRect.left, r.outRect.top + y, 0)], image_.planes,
                        r.outLoPlane, n, cols, bytesPerSample, row);
                std::memset(row + rowBytes, kGuardByte, kRowGuard);
            }
        });
        r.outData = outTile_.data() + outGuard_;
        r.outRowBytes = stride;
        lentOutRect_ = r.outRect;
        lentOutLo_ = r.outLoPlane;
        lentOutHi_ = r.outHiPlane;
    }

    // Selection mask, 8 bits, one plane: lent straight from the selection,
    // whose rows lie one image width apart.
    r.maskData = nullptr;
    r.maskRowBytes = 0;
    if (r.haveMask && !selection_.empty() && !rectEmpty(r.maskRect)) {
        if (!inside(r.maskRect)) {
            stats_.badRequest = true;
            return paramErr;
        }
        if (r.maskRate > 0 && r.maskRate != 0x10000) {
            int32 rowBytes = 0;
            if (!scaledTile(r.maskRect, r.maskRate, 0, 1, true, maskTile_, rowBytes)) return paramErr;
            r.maskRowBytes = rowBytes;
            r.maskData = maskTile_.data();
        } else {
            r.maskRowBytes = image_.width;
            r.maskData = selection_.data() + size_t(r.maskRect.top) * size_t(image_.width) + size_t(r.maskRect.left);
            if (quirks_.movingData) {  // a fresh copy each call
                maskTile_.assign(static_cast<const uint8_t*>(r.maskData),
                                 static_cast<const uint8_t*>(r.maskData) +
                                     size_t(r.maskRect.bottom - r.maskRect.top - 1) * size_t(image_.width) +
                                     size_t(r.maskRect.right - r.maskRect.left));
                r.maskData = maskTile_.data();
            }
        }
    }
    return noErr;
}
