// Decoded images and the system's imaging component that decodes them.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "win/handles.h"

struct IWICImagingFactory;

namespace hl {

constexpr UINT kMaxImageSide = 8192;

// Pixels as 32-bit premultiplied BGRA, top row first.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    // The image resampled to the size it was last shown at, kept while that size is shown.
    mutable std::vector<uint32_t> shown;
    mutable int shownWidth = 0;
    mutable int shownHeight = 0;
};

// windowscodecs.dll, taken from the system folder only, and one imaging factory from it.
class ImageDecoder {
public:
    ImageDecoder() = default;
    ~ImageDecoder();
    ImageDecoder(const ImageDecoder&) = delete;
    ImageDecoder& operator=(const ImageDecoder&) = delete;

    // False for data the imaging component cannot read, and for images larger than
    // kMaxImageSide a side.
    bool Decode(const BYTE* data, DWORD size, Image& image);

private:
    bool Start();

    UniqueLibrary library_;
    IWICImagingFactory* factory_ = nullptr;
    bool started_ = false;
};

}  // namespace hl
