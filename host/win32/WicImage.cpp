#include "host/win32/WicImage.h"

#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

namespace {

// Releases a COM interface when it goes out of scope.
template <class T>
struct ComPtr {
    T* p = nullptr;
    ~ComPtr() {
        if (p) p->Release();
    }
    T** out() { return &p; }
    T* operator->() const { return p; }
};

std::string extensionOf(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos) return std::string();
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool containerFor(const std::string& path, GUID& container) {
    const std::string ext = extensionOf(path);
    if (ext == "png")
        container = GUID_ContainerFormatPng;
    else if (ext == "tif" || ext == "tiff")
        container = GUID_ContainerFormatTiff;
    else if (ext == "jpg" || ext == "jpeg")
        container = GUID_ContainerFormatJpeg;
    else if (ext == "bmp")
        container = GUID_ContainerFormatBmp;
    else
        return false;
    return true;
}

std::wstring widen(const std::string& s) {
    const int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(size_t(std::max(n, 1)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
    w.resize(w.size() - 1);
    return w;
}

bool factory(ComPtr<IWICImagingFactory>& f, std::string& error) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(f.out())))) {
        error = "the Windows Imaging Component is not available";
        return false;
    }
    return true;
}

}  // namespace

bool isWicImagePath(const std::string& path) {
    GUID container;
    return containerFor(path, container);
}

bool readWicImage(const std::string& path, HostImage& image, std::string& error) {
    ComPtr<IWICImagingFactory> f;
    if (!factory(f, error)) return false;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    const std::wstring wide = widen(path);
    HRESULT hr = f->CreateDecoderFromFilename(wide.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                              decoder.out());
    if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, frame.out());
    if (SUCCEEDED(hr)) hr = f->CreateFormatConverter(converter.out());
    if (SUCCEEDED(hr))
        hr = converter->Initialize(frame.p, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom);
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
        error = "cannot read " + path + " (error 0x" + code + ")";
        return false;
    }
    UINT width = 0, height = 0;
    converter->GetSize(&width, &height);
    if (!makeHostImage(image, int32_t(width), int32_t(height), 3, 8)) {
        error = "unsupported image size in " + path;
        return false;
    }
    const UINT stride = width * 3;
    std::vector<uint8_t> bgr(size_t(stride) * height);
    if (FAILED(converter->CopyPixels(nullptr, stride, UINT(bgr.size()), bgr.data()))) {
        error = "cannot read the pixels of " + path;
        return false;
    }
    for (size_t i = 0; i < size_t(width) * height; ++i)
        for (int c = 0; c < 3; ++c) image.samples[3 * i + c] = bgr[3 * i + 2 - c];
    return true;
}

bool writeWicImage(const std::string& path, const HostImage& image, std::string& error) {
    GUID container;
    if (!containerFor(path, container) || image.planes != 3) {
        error = "cannot write this kind of image to " + path;
        return false;
    }
    ComPtr<IWICImagingFactory> f;
    if (!factory(f, error)) return false;
    const UINT width = UINT(image.width), height = UINT(image.height), stride = width * 3;
    std::vector<uint8_t> bgr(size_t(stride) * height);
    for (size_t i = 0; i < size_t(width) * height; ++i)
        for (int c = 0; c < 3; ++c) {
            const uint16_t v = image.samples[3 * i + c];
            // 16-bit host samples run 0..32768.
            bgr[3 * i + 2 - c] = uint8_t(image.depth == 16 ? (uint32_t(v) * 255 + 16384) / 32768 : v);
        }
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    const std::wstring wide = widen(path);
    bool ok = SUCCEEDED(f->CreateStream(stream.out())) &&
              SUCCEEDED(stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE)) &&
              SUCCEEDED(f->CreateEncoder(container, nullptr, encoder.out())) &&
              SUCCEEDED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache)) &&
              SUCCEEDED(encoder->CreateNewFrame(frame.out(), options.out())) &&
              SUCCEEDED(frame->Initialize(options.p)) && SUCCEEDED(frame->SetSize(width, height)) &&
              SUCCEEDED(frame->SetPixelFormat(&format)) && IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) &&
              SUCCEEDED(frame->WritePixels(height, stride, UINT(bgr.size()), bgr.data())) &&
              SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    if (!ok) error = "cannot write " + path;
    return ok;
}
