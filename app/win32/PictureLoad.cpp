#include "app/win32/PictureLoad.h"

#include "res/ScaledPictures.h"

#include <objbase.h>
#include <wincodec.h>

#include <cstdlib>
#include <utility>

namespace tarvane {
namespace {

// Owns one reference to a COM object.
template <class T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T** put() {
        reset();
        return &object_;
    }
    void reset() {
        if (object_ != nullptr) object_->Release();
        object_ = nullptr;
    }

private:
    T* object_ = nullptr;
};

// COM on this thread for as long as it lives, if it was not there already.
class ComScope {
public:
    ComScope() : ours_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComScope() {
        if (ours_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool ours_;
};

// Scales `source` to `size` if it has another, converts it to 32-bit
// premultiplied BGRA and copies it into a top-down DIB section.
UniqueBitmap toBitmap(IWICImagingFactory* factory, IWICBitmapSource* source, PictureSize size) {
    UINT width = 0;
    UINT height = 0;
    if (FAILED(source->GetSize(&width, &height)) || width == 0 || height == 0) return {};
    ComRef<IWICBitmapScaler> scaler;
    if (size.width > 0 && size.height > 0 &&
        (static_cast<int>(width) != size.width || static_cast<int>(height) != size.height)) {
        // Fant averages every source pixel when shrinking; cubic is the smoother way up.
        const bool shrinking = size.width < static_cast<int>(width);
        if (FAILED(factory->CreateBitmapScaler(scaler.put())) ||
            FAILED(scaler->Initialize(source, static_cast<UINT>(size.width), static_cast<UINT>(size.height),
                                      shrinking ? WICBitmapInterpolationModeFant
                                                : WICBitmapInterpolationModeCubic))) {
            return {};
        }
        source = scaler.get();
        width = static_cast<UINT>(size.width);
        height = static_cast<UINT>(size.height);
    }
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(source, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
        return {};
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) return {};
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)))) return {};
    return bitmap;
}

UniqueBitmap loadBitmapResource(HINSTANCE instance, int bitmapId) {
    return UniqueBitmap(static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
}

} // namespace

PictureSize pictureBaseSize(HINSTANCE instance, int bitmapId) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(bitmapId), MAKEINTRESOURCEW(2)); // RT_BITMAP
    if (found == nullptr || SizeofResource(instance, found) < sizeof(BITMAPINFOHEADER)) return {0, 0};
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(instance, found)));
    if (header == nullptr) return {0, 0};
    return {static_cast<int>(header->biWidth), std::abs(static_cast<int>(header->biHeight))};
}

UniqueBitmap loadPicture(HINSTANCE instance, int bitmapId, int percent, PictureSize size) {
    if (percent == 100 && size == pictureBaseSize(instance, bitmapId)) return loadBitmapResource(instance, bitmapId);

    const ComScope com;
    ComRef<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.put())))) {
        return {};
    }
    if (percent == 100) {
        const UniqueBitmap own = loadBitmapResource(instance, bitmapId);
        ComRef<IWICBitmap> source;
        if (!own || FAILED(factory->CreateBitmapFromHBITMAP(own.get(), nullptr, WICBitmapIgnoreAlpha, source.put())))
            return {};
        return toBitmap(factory.get(), source.get(), size);
    }

    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(TARVANE_SCALED_PICTURE(bitmapId, percent)),
                                MAKEINTRESOURCEW(10)); // RT_RCDATA
    if (found == nullptr) return {};
    const DWORD length = SizeofResource(instance, found);
    auto* bytes = static_cast<BYTE*>(LockResource(LoadResource(instance, found)));
    if (bytes == nullptr || length == 0) return {};
    ComRef<IWICStream> stream;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    // WIC only reads the resource's memory.
    if (FAILED(factory->CreateStream(stream.put())) || FAILED(stream->InitializeFromMemory(bytes, length)) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put()))) {
        return {};
    }
    return toBitmap(factory.get(), frame.get(), size);
}

} // namespace tarvane
