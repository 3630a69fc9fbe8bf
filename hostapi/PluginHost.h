// Our own declaration of the filter host interface (host version 5+), with
// the names and layouts hosts use. FilterRecord is packed to 4 bytes;
// every other structure uses natural alignment. All callbacks are cdecl.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define PSCALL __cdecl
#elif defined(__i386__)
#define PSCALL __attribute__((cdecl))
#else
#define PSCALL
#endif

using int16 = int16_t;
using int32 = int32_t;
using uint16 = uint16_t;
using uint32 = uint32_t;
using Boolean = unsigned char;
using OSErr = int16_t;
using Fixed = int32_t;
using OSType = uint32_t;
using PIType = uint32_t;
using Ptr = char*;
using Handle = char**;
using SPErr = int32_t;
using SPBoolean = int32_t;
using intptr = intptr_t;
using Str255 = unsigned char[256];
using FilterColor = unsigned char[4];
using BufferID = struct OpaqueBufferID*;
using ChannelReadPort = struct OpaqueChannelReadPort*;
using ChannelWritePort = struct OpaqueChannelWritePort*;

// Four-character code with the first character in the most significant byte.
constexpr uint32_t fourCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
           uint32_t(uint8_t(s[3]));
}

struct Point {
    int16 v;
    int16 h;
};
struct Rect {
    int16 top, left, bottom, right;
};
struct VPoint {
    int32 v, h;
};
struct VRect {
    int32 top, left, bottom, right;
};
struct RGBColor {
    uint16 red, green, blue;
};
struct PlugInMonitor {
    Fixed gamma, redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY, ambient;
};
struct PlatformData {
    intptr hwnd;
};

// ---- callbacks -------------------------------------------------------------
typedef Boolean(PSCALL* TestAbortProc)();
typedef void(PSCALL* ProgressProc)(int32 done, int32 total);
typedef void(PSCALL* HostProc)(int16 selector, intptr* data);
typedef void(PSCALL* ProcessEventProc)(void* event);
typedef OSErr(PSCALL* AdvanceStateProc)();

struct PSPixelMap;
struct ColorServicesInfo;
struct PSScaling;
struct PixelMemoryDesc;
typedef OSErr(PSCALL* DisplayPixelsProc)(const PSPixelMap* source, const VRect* srcRect, int32 dstRow, int32 dstCol,
                                         void* platformContext);
typedef OSErr(PSCALL* ColorServicesProc)(ColorServicesInfo* info);

typedef Handle(PSCALL* NewPIHandleProc)(int32 size);
typedef void(PSCALL* DisposePIHandleProc)(Handle h);
typedef int32(PSCALL* GetPIHandleSizeProc)(Handle h);
typedef OSErr(PSCALL* SetPIHandleSizeProc)(Handle h, int32 newSize);
typedef Ptr(PSCALL* LockPIHandleProc)(Handle h, Boolean moveHigh);
typedef void(PSCALL* UnlockPIHandleProc)(Handle h);
typedef void(PSCALL* RecoverSpaceProc)(int32 size);
typedef void(PSCALL* DisposeRegularHandlePIHandleProc)(Handle h);

typedef OSErr(PSCALL* AllocateBufferProc)(int32 size, BufferID* bufferID);
typedef Ptr(PSCALL* LockBufferProc)(BufferID bufferID, Boolean moveHigh);
typedef void(PSCALL* UnlockBufferProc)(BufferID bufferID);
typedef void(PSCALL* FreeBufferProc)(BufferID bufferID);
typedef int32(PSCALL* BufferSpaceProc)();

typedef OSErr(PSCALL* GetPropertyProc)(PIType signature, PIType key, int32 index, intptr* simpleProperty,
                                       Handle* complexProperty);
typedef OSErr(PSCALL* SetPropertyProc)(PIType signature, PIType key, int32 index, intptr simpleProperty,
                                       Handle complexProperty);

typedef OSErr(PSCALL* ReadPixelsProc)(ChannelReadPort port, const PSScaling* scaling, const VRect* writeRect,
                                      const PixelMemoryDesc* destination, VRect* wroteRect);
typedef OSErr(PSCALL* WriteBasePixelsProc)(ChannelWritePort port, const VRect* writeRect,
                                           const PixelMemoryDesc* source);
typedef OSErr(PSCALL* ReadPortForWritePortProc)(ChannelReadPort* readPort, ChannelWritePort writePort);

typedef int16(PSCALL* CountPIResourcesProc)(uint32 type);
typedef Handle(PSCALL* GetPIResourceProc)(uint32 type, int16 index);
typedef void(PSCALL* DeletePIResourceProc)(uint32 type, int16 index);
typedef OSErr(PSCALL* AddPIResourceProc)(uint32 type, Handle data);
typedef OSErr(PSCALL* Interpolate1DProc)(void* source, void* destination, Rect* area, void* coords, int16 method);
typedef OSErr(PSCALL* Interpolate2DProc)(void* source, void* destination, Rect* area, void* coords, int16 method);

// ---- proc tables (natural alignment) ---------------------------------------
struct HandleProcs {
    int16 handleProcsVersion;
    int16 numHandleProcs;
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    SetPIHandleSizeProc setSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;
    RecoverSpaceProc recoverSpaceProc;
    DisposeRegularHandlePIHandleProc disposeRegularHandleProc;
};

struct BufferProcs {
    int16 bufferProcsVersion;
    int16 numBufferProcs;
    AllocateBufferProc allocateProc;
    LockBufferProc lockProc;
    UnlockBufferProc unlockProc;
    FreeBufferProc freeProc;
    BufferSpaceProc spaceProc;
};

struct PropertyProcs {
    int16 propertyProcsVersion;
    int16 numPropertyProcs;
    GetPropertyProc getPropertyProc;
    SetPropertyProc setPropertyProc;
};

struct ChannelPortProcs {
    int16 channelPortProcsVersion;
    int16 numChannelPortProcs;
    ReadPixelsProc readPixelsProc;
    WriteBasePixelsProc writeBasePixelsProc;
    ReadPortForWritePortProc readPortForWritePortProc;
};

struct ResourceProcs {
    int16 resourceProcsVersion;
    int16 numResourceProcs;
    CountPIResourcesProc countProc;
    GetPIResourceProc getProc;
    DeletePIResourceProc deleteProc;
    AddPIResourceProc addProc;
};

struct ImageServicesProcs {
    int16 imageServicesProcsVersion;
    int16 numImageServicesProcs;
    Interpolate1DProc interpolate1DProc;
    Interpolate2DProc interpolate2DProc;
};

// ---- basic suite and the suites we acquire ---------------------------------
struct SPBasicSuite {
    SPErr(PSCALL* AcquireSuite)(const char* name, int32 version, const void** suite);
    SPErr(PSCALL* ReleaseSuite)(const char* name, int32 version);
    SPBoolean(PSCALL* IsEqual)(const char* token1, const char* token2);
    SPErr(PSCALL* AllocateBlock)(size_t size, void** block);
    SPErr(PSCALL* FreeBlock)(void* block);
    SPErr(PSCALL* ReallocateBlock)(void* block, size_t newSize, void** newBlock);
    SPErr(PSCALL* Undefined)();
};

struct PSBufferSuite1 {
    Ptr(PSCALL* New)(uint32* requestedSize, uint32 minimumSize);
    void(PSCALL* Dispose)(Ptr* buffer);
    uint32(PSCALL* GetSize)(Ptr buffer);
    uint32(PSCALL* GetSpace)();
};

struct PSGetFileListSuite4 {
    SPErr(PSCALL* GetFileHandleList)(void* descriptor, Boolean recurse);
    SPErr(PSCALL* GetBrowserNameList)(void* descriptor);
    SPErr(PSCALL* BrowseUrlWithIndexBrowser)(uint16 index, const char* url);
    SPErr(PSCALL* BrowseUrl)(const char* url);
    SPErr(PSCALL* GetBrowserFileSpec)(uint16 index, Handle* fileSpec);
    SPErr(PSCALL* GetDefaultSystemScript)(int16* script);
    SPErr(PSCALL* HasDoubleByteInString)(const char* text, Boolean* hasDoubleByte);
    SPErr(PSCALL* GetWebTemplateFolderSpec)(Handle* fileSpec);
    SPErr(PSCALL* GetWebTemplateList)(void* descriptor, Boolean recurse);
};

// ---- records passed with selectors -----------------------------------------
struct AboutRecord {
    void* platformData;
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    char reserved[244];
};

struct ColorServicesInfo {
    int32 infoSize;
    int16 selector;
    int16 sourceSpace;
    int16 resultSpace;
    Boolean resultGamutInfoValid;
    Boolean resultInGamut;
    void* reservedSourceSpaceInfo;
    void* reservedResultSpaceInfo;
    int16 colorComponents[4];
    void* reserved;
    union {
        Str255* pickerPrompt;
        Point* globalSamplePoint;
        int32 specialColorID;
    } selectorParameter;
};

struct PSPixelMask {
    PSPixelMask* next;
    void* maskData;
    int32 rowBytes;
    int32 colBytes;
    int32 maskDescription;
};

struct PSPixelMap {
    int32 version;
    VRect bounds;
    int32 imageMode;
    int32 rowBytes;
    int32 colBytes;
    int32 planeBytes;
    void* baseAddr;
    void* mat;
    PSPixelMask* masks;
    int32 maskPhaseRow;
    int32 maskPhaseCol;
    // version 2 tail
    void* pixelOverlays;
    uint32 colorManagementOptions;
};

struct PixelMemoryDesc {
    void* data;
    int32 rowBits;
    int32 colBits;
    int32 bitOffset;
    int32 depth;
};

struct PSScaling {
    VRect sourceRect;
    VRect destinationRect;
};

struct ReadChannelDesc {
    int32 minVersion;
    int32 maxVersion;
    ReadChannelDesc* next;
    ChannelReadPort port;
    VRect bounds;
    int32 depth;
    VPoint tileSize;
    VPoint tileOrigin;
    Boolean target;
    Boolean shown;
    int16 channelType;
    void* contextInfo;
    const char* name;
};

struct ReadImageDocumentDesc {
    int32 minVersion;
    int32 maxVersion;
    int32 imageMode;
    int32 depth;
    VRect bounds;
    Fixed hResolution;
    Fixed vResolution;
    unsigned char redLUT[256];
    unsigned char greenLUT[256];
    unsigned char blueLUT[256];
    ReadChannelDesc* targetCompositeChannels;
    ReadChannelDesc* targetTransparency;
    ReadChannelDesc* targetLayerMask;
    ReadChannelDesc* mergedCompositeChannels;
    ReadChannelDesc* mergedTransparency;
    ReadChannelDesc* alphaChannels;
    ReadChannelDesc* selection;
};

struct PIDescriptorParameters {
    int16 descriptorParametersVersion;
    int16 playInfo;
    int16 recordInfo;
    void* descriptor;
    void* writeDescriptorProcs;
    void* readDescriptorProcs;
};

#pragma pack(push, 4)
struct FilterRecord {
    int32 serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;
    Point imageSize;
    int16 planes;
    Rect filterRect;
    RGBColor background;
    RGBColor foreground;
    int32 maxSpace;
    int32 bufferSpace;
    Rect inRect;
    int16 inLoPlane;
    int16 inHiPlane;
    Rect outRect;
    int16 outLoPlane;
    int16 outHiPlane;
    void* inData;
    int32 inRowBytes;
    void* outData;
    int32 outRowBytes;
    Boolean isFloating;
    Boolean haveMask;
    Boolean autoMask;
    Rect maskRect;
    void* maskData;
    int32 maskRowBytes;
    FilterColor backColor;
    FilterColor foreColor;
    OSType hostSig;
    HostProc hostProc;
    int16 imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point floatCoord;
    Point wholeSize;
    PlugInMonitor monitor;
    PlatformData* platformData;
    BufferProcs* bufferProcs;
    ResourceProcs* resourceProcs;
    ProcessEventProc processEvent;
    DisplayPixelsProc displayPixels;
    HandleProcs* handleProcs;
    Boolean supportsDummyChannels;
    Boolean supportsAlternateLayouts;
    int16 wantLayout;
    int16 filterCase;
    int16 dummyPlaneValue;
    void* premiereHook;
    AdvanceStateProc advanceState;
    Boolean supportsAbsolute;
    Boolean wantsAbsolute;
    GetPropertyProc getPropertyObsolete;
    Boolean cannotUndo;
    Boolean supportsPadding;
    int16 inputPadding;
    int16 outputPadding;
    int16 maskPadding;
    char samplingSupport;
    char reservedByte;
    Fixed inputRate;
    Fixed maskRate;
    ColorServicesProc colorServices;
    int16 inLayerPlanes;
    int16 inTransparencyMask;
    int16 inLayerMasks;
    int16 inInvertedLayerMasks;
    int16 inNonLayerPlanes;
    int16 outLayerPlanes;
    int16 outTransparencyMask;
    int16 outLayerMasks;
    int16 outInvertedLayerMasks;
    int16 outNonLayerPlanes;
    int16 absLayerPlanes;
    int16 absTransparencyMask;
    int16 absLayerMasks;
    int16 absInvertedLayerMasks;
    int16 absNonLayerPlanes;
    int16 inPreDummyPlanes;
    int16 inPostDummyPlanes;
    int16 outPreDummyPlanes;
    int16 outPostDummyPlanes;
    int32 inColumnBytes;
    int32 inPlaneBytes;
    int32 outColumnBytes;
    int32 outPlaneBytes;
    ImageServicesProcs* imageServicesProcs;
    PropertyProcs* propertyProcs;
    int16 inTileHeight;
    int16 inTileWidth;
    Point inTileOrigin;
    int16 absTileHeight;
    int16 absTileWidth;
    Point absTileOrigin;
    int16 outTileHeight;
    int16 outTileWidth;
    Point outTileOrigin;
    int16 maskTileHeight;
    int16 maskTileWidth;
    Point maskTileOrigin;
    PIDescriptorParameters* descriptorParameters;
    Str255* errorString;
    ChannelPortProcs* channelPortProcs;
    ReadImageDocumentDesc* documentInfo;
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    int32 depth;
    Handle iCCprofileData;
    int32 iCCprofileSize;
    int32 canUseICCProfiles;
    int32 hasImageScrap;
    void* bigDocumentData;
    void* input3DScene;
    void* output3DScene;
    Boolean createNewLayer;
    Handle iCCWorkingProfileData;
    int32 iCCWorkingProfileSize;
    int64_t bufferSpace64;
    int64_t maxSpace64;
};
#pragma pack(pop)

typedef void(PSCALL* PluginMainProc)(int16 selector, void* paramBlock, intptr* data, int16* result);

// ---- constants ---------------------------------------------------------------
constexpr int16 filterSelectorAbout = 0;
constexpr int16 filterSelectorParameters = 1;
constexpr int16 filterSelectorPrepare = 2;
constexpr int16 filterSelectorStart = 3;
constexpr int16 filterSelectorContinue = 4;
constexpr int16 filterSelectorFinish = 5;

constexpr int16 plugInModeBitmap = 0;
constexpr int16 plugInModeGrayScale = 1;
constexpr int16 plugInModeIndexedColor = 2;
constexpr int16 plugInModeRGBColor = 3;
constexpr int16 plugInModeCMYKColor = 4;
constexpr int16 plugInModeHSLColor = 5;
constexpr int16 plugInModeHSBColor = 6;
constexpr int16 plugInModeMultichannel = 7;
constexpr int16 plugInModeDuotone = 8;
constexpr int16 plugInModeLabColor = 9;
constexpr int16 plugInModeGray16 = 10;
constexpr int16 plugInModeRGB48 = 11;
constexpr int16 plugInModeLab48 = 12;
constexpr int16 plugInModeCMYK64 = 13;
constexpr int16 plugInModeDeepMultichannel = 14;
constexpr int16 plugInModeDuotone16 = 15;

constexpr int16 noErr = 0;
constexpr int16 readErr = -19;
constexpr int16 paramErr = -50;
constexpr int16 memFullErr = -108;
constexpr int16 nilHandleErr = -109;
constexpr int16 userCanceledErr = -128;
constexpr int16 filterBadParameters = -30100;
constexpr int16 filterBadMode = -30101;
constexpr int16 errPlugInHostInsufficient = -30900;
constexpr int16 errPlugInPropertyUndefined = -30901;

constexpr int16 plugIncolorServicesChooseColor = 0;
constexpr int16 plugIncolorServicesConvertColor = 1;
constexpr int16 plugIncolorServicesSamplePoint = 2;
constexpr int16 plugIncolorServicesGetSpecialColor = 3;

constexpr int16 plugIncolorServicesChosenSpace = -1;
constexpr int16 plugIncolorServicesRGBSpace = 0;
constexpr int16 plugIncolorServicesHSBSpace = 1;
constexpr int16 plugIncolorServicesCMYKSpace = 2;
constexpr int16 plugIncolorServicesLabSpace = 3;
constexpr int16 plugIncolorServicesGraySpace = 4;

constexpr SPErr kSPNoError = 0;
constexpr SPErr kSPSuiteNotFoundError = 0x53214664;
constexpr SPErr kSPBadParameterError = 0x5061726D;

constexpr OSType kPhotoshopSignature = fourCC("8BIM");
constexpr PIType propWatchSuspension = fourCC("wtch");
// The handle of the host's main window (Windows).
constexpr PIType propHWND = fourCC("hwnd");

constexpr const char* kPSBufferSuite = "Photoshop Buffer Suite for Plug-ins";
constexpr int32 kPSBufferSuiteVersion1 = 1;
constexpr const char* kPSGetFileListSuite = "Photoshop GetFileList Suite for Plug-ins";
constexpr int32 kPSGetFileListSuiteVersion4 = 4;
