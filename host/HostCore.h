// The stand-in host: owns the filter record, the parameters handle, grants
// memory through the basic suite's buffer suite and the record's buffer
// procs, serves tiles through advanceState, converts colours, reports
// progress and answers abort, and describes the document with channel ports
// that read its channels scaled. It
// checks that the plug-in writes nothing outside outRect and frees every
// buffer it took.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/HostImage.h"
#include "host/KeptOriginals.h"
#include "hostapi/PluginHost.h"
#include "threads/WorkerPool.h"

class RowMark;

struct HostStats {
    size_t liveBuffers = 0;  // buffers granted and not yet disposed
    size_t liveBufferBytes = 0;
    size_t peakBufferBytes = 0;
    size_t buffersGranted = 0;
    size_t advanceCalls = 0;
    size_t progressCalls = 0;
    size_t abortCalls = 0;
    bool wroteOutsideOutRect = false;
    bool badRequest = false;    // a rectangle or plane range outside the image
    size_t offThreadCalls = 0;  // callbacks from a thread other than the one that called the plug-in
    std::vector<std::string> browsedUrls;
};

// What a host may leave out or bend; all false is the full host.
struct HostQuirks {
    bool noBasicSuite = false;   // no basic suite in the record (nor in the about record)
    bool noBufferSuite = false;  // the basic suite hands out no buffer suite
    bool noBufferProcs = false;  // no buffer procs in the record
    bool zeroVersions = false;   // every procedure table states version 0 and 0 procedures
    bool zeroTileSize = false;   // tile sizes of 0 in the record
    bool movingData = false;     // inData, outData and maskData at a new place after every advanceState
};

class HostCore {
public:
    HostCore();
    ~HostCore();
    HostCore(const HostCore&) = delete;
    HostCore& operator=(const HostCore&) = delete;

    // The image the filter works on; its mode decides imageMode and depth.
    void setImage(HostImage image);
    HostImage& image() { return image_; }
    // 8-bit selection, one byte per pixel (0 = not selected); empty = none.
    void setSelection(std::vector<uint8_t> selection);
    // The selection back from the host, which is left without one.
    std::vector<uint8_t> takeSelection();
    void setTileSize(int32_t width, int32_t height);
    // Limit on the buffer memory granted at once, in bytes (0 = no limit;
    // the default is 1 GiB).
    void setBufferLimit(size_t bytes) { bufferLimit_ = bytes; }
    // Threads sharing the host's own copies of large tiles (default 1).
    void setCopyThreads(int threads) { copyThreads_ = threads < 1 ? 1 : threads; }
    // Reading and writing beside a run (null: the image is whole and nothing
    // is written during it). Pixels are served only once read has reached
    // their rows; a request for output marks the rows above it (one row
    // short, so that no word of changed bits is shared with a row still being
    // written) in finished, and output asked for above that mark is refused.
    void setRowMarks(RowMark* read, RowMark* finished);
    // Without a basic suite and buffer procs the host looks older than
    // version 5.
    void setHasBasicSuite(bool has);
    void setQuirks(const HostQuirks& quirks);
    const HostQuirks& quirks() const { return quirks_; }

    // Called on every progress report (done, total); return true to abort.
    std::function<bool(int32_t, int32_t)> onProgress;
    // The colour picker: gets the 8-bit RGB colour to start from and returns
    // true with the chosen one, or false when the user cancelled. Without it
    // the host has no picker.
    std::function<bool(int16_t rgb[3])> onChooseColor;
    // The host's main window (an HWND on Windows), answered as a property and
    // through platformData; 0 = none.
    void setMainWindow(intptr_t window);

    // Without channel ports the record carries no document description.
    void setChannelPorts(bool served);
    // What displayPixels does with a pixel map; without one the record
    // offers no displayPixels.
    using DisplayPixels =
        std::function<OSErr(const PSPixelMap&, const VRect& source, int32 row, int32 column, void* platformContext)>;
    void setDisplayPixels(DisplayPixels display);

    FilterRecord& record() { return record_; }
    const HostStats& stats() const { return stats_; }

    // The parameters handle's bytes (empty when the plug-in made none).
    std::vector<uint8_t> parameterBytes() const;
    // Replaces the parameters handle with these bytes, as a host replaying a
    // stored action does.
    void setParameterBytes(const std::vector<uint8_t>& bytes);

    // Calls the entry point with a selector and this host's record, then
    // takes back the last output tile. About uses an about record.
    int16 call(PluginMainProc entry, int16 selector);
    // Runs work with this host's record as the start call of a plug-in linked
    // into the host would run; its result is the call's.
    int16 callStart(const std::function<int16(FilterRecord&)>& work);

    // Handle procs, as a test may call them directly.
    Handle newHandle(int32_t size);
    void disposeHandle(Handle h);

    struct Impl;  // callback glue, in the .cpp

private:
    friend struct Impl;
    FilterRecord record_{};
    HostQuirks quirks_;
    HandleProcs handleProcs_{};
    BufferProcs bufferProcs_{};
    PropertyProcs propertyProcs_{};
    AboutRecord about_{};
    HostImage image_;
    // One copy of the image: output goes straight back into image_; what
    // later input tiles need of the pixels written over is kept aside here.
    KeptOriginals originals_;
    std::vector<uint16_t> originalRow_;
    bool running_ = false;
    std::thread::id callerThread_;  // the thread of the current call into the plug-in
    std::vector<uint8_t> selection_;
    RowMark* readMark_ = nullptr;
    RowMark* finishedMark_ = nullptr;
    int32_t finishedRows_ = 0;
    HostStats stats_;
    size_t bufferLimit_ = size_t(1) << 30;  // like a host with 1 GiB for plug-ins
    int copyThreads_ = 1;
    WorkerPool copyWorkers_;  // the copies' other threads, kept from tile to tile
    int32_t tileWidth_ = 256;
    int32_t tileHeight_ = 256;
    bool abortRequested_ = false;
    intptr_t watchSuspension_ = 0;
    intptr_t mainWindow_ = 0;
    PlatformData platformData_{};

    // Tile memory lent to the plug-in.
    // Tiles are written whole before they are lent: they grow unzeroed.
    ByteVector inTile_, outTile_;
    ByteVector maskTile_;                  // a scaled selection request
    ByteVector oldIn_, oldOut_, oldMask_;  // the previous tiles, with moving data
    Rect lentOutRect_{};
    int16 lentOutLo_ = 0, lentOutHi_ = -1;
    int32_t outGuard_ = 0;

    // The document description and its channel ports: one per composite
    // channel, then the selection's; a port names its slot here.
    static constexpr int kMaxChannels = 5;
    ReadImageDocumentDesc document_{};
    ReadChannelDesc channels_[kMaxChannels]{};
    int portSlots_[kMaxChannels] = {0, 1, 2, 3, 4};
    bool channelPorts_ = true;
    DisplayPixels display_;

    bool takeBackOutput();
    void moveTile(ByteVector& tile, ByteVector& old);
    OSErr advance();
    OSErr awaitRows();
    bool scaledTile(const Rect& rect, Fixed rate, int lo, int count, bool mask, ByteVector& tile, int32& rowBytes);
    void describeDocument();
    OSErr readChannel(int slot, const PSScaling& scaling, const VRect& writeRect, const PixelMemoryDesc& memory);
};
