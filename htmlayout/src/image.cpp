#include "image.h"

#include <wincodec.h>

#include "win/library.h"

namespace hl {

namespace {

// 32-bit BGRA with premultiplied alpha, what painting blends.
constexpr GUID kPremultipliedBgra = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x10}};

template <class T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (p_)
            p_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    T** Receive() { return &p_; }

private:
    T* p_ = nullptr;
};

}  // namespace

ImageDecoder::~ImageDecoder()
{
    if (factory_)
        factory_->Release();
}

bool ImageDecoder::Start()
{
    if (started_)
        return factory_ != nullptr;
    started_ = true;
    library_ = LoadSystemLibrary(L"windowscodecs.dll");
    // The factory through the library's own export: no class registration or COM apartment
    // needed to reach it.
    using CreateFactory = HRESULT(WINAPI*)(UINT, IWICImagingFactory**);
    auto create = GetProc<CreateFactory>(library_.Get(), "WICCreateImagingFactory_Proxy");
    return create && SUCCEEDED(create(WINCODEC_SDK_VERSION, &factory_)) && factory_;
}

bool ImageDecoder::Decode(const BYTE* data, DWORD size, Image& image)
{
    if (!data || size == 0 || !Start())
        return false;
    ComRef<IWICStream> stream;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    ComRef<IWICFormatConverter> converter;
    UINT width = 0, height = 0;
    if (FAILED(factory_->CreateStream(stream.Receive())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), size)) ||
        FAILED(factory_->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                 decoder.Receive())) ||
        FAILED(decoder->GetFrame(0, frame.Receive())) ||
        FAILED(factory_->CreateFormatConverter(converter.Receive())) ||
        FAILED(converter->Initialize(frame.Get(), kPremultipliedBgra, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height)))
        return false;
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide)
        return false;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    if (FAILED(converter->CopyPixels(nullptr, width * 4, width * height * 4, reinterpret_cast<BYTE*>(pixels.data()))))
        return false;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.swap(pixels);
    return true;
}

}  // namespace hl
