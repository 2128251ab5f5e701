#include "canvas.h"

#include <algorithm>

namespace hl {

namespace {

const Image* Find(const ImageMap& images, const std::wstring& url)
{
    if (url.empty())
        return nullptr;
    auto it = images.find(url);
    return it == images.end() ? nullptr : &it->second;
}

uint32_t Bgr(COLORREF color)
{
    return static_cast<uint32_t>(GetRValue(color)) << 16 | GetGValue(color) << 8 | GetBValue(color) | 0xFF000000u;
}

// Premultiplied "source over": each channel keeps (255 - source alpha) of the background.
uint32_t Blend(uint32_t source, uint32_t target)
{
    const uint32_t alpha = source >> 24;
    if (alpha == 255)
        return source;
    if (alpha == 0)
        return target;
    const uint32_t keep = 255 - alpha;
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t channel = ((source >> shift) & 0xFF) + (((target >> shift) & 0xFF) * keep + 127) / 255;
        result |= std::min(channel, 255u) << shift;
    }
    return result;
}

// Bilinear resampling of premultiplied pixels (the channels of a pixel stay within its alpha),
// pixel centres mapped onto pixel centres: the page's artwork enlarged for a high DPI stays smooth.
void Resample(const Image& image, int width, int height, std::vector<uint32_t>& out)
{
    out.resize(static_cast<size_t>(width) * height);
    // Source positions in 1/256 pixel.
    auto position = [](int i, int source, int target) {
        const long long p = ((2LL * i + 1) * source * 256) / (2LL * target) - 128;
        return static_cast<int>(std::max(0LL, std::min(p, (source - 1) * 256LL)));
    };
    for (int y = 0; y < height; ++y) {
        const int sy = position(y, image.height, height);
        const int y0 = sy >> 8, y1 = std::min(y0 + 1, image.height - 1), fy = sy & 255;
        const uint32_t* top = image.pixels.data() + static_cast<size_t>(y0) * image.width;
        const uint32_t* bottom = image.pixels.data() + static_cast<size_t>(y1) * image.width;
        for (int x = 0; x < width; ++x) {
            const int sx = position(x, image.width, width);
            const int x0 = sx >> 8, x1 = std::min(x0 + 1, image.width - 1), fx = sx & 255;
            uint32_t pixel = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                auto c = [shift](uint32_t p) { return static_cast<int>((p >> shift) & 0xFF); };
                const int upper = c(top[x0]) * (256 - fx) + c(top[x1]) * fx;
                const int lower = c(bottom[x0]) * (256 - fx) + c(bottom[x1]) * fx;
                pixel |= static_cast<uint32_t>((upper * (256 - fy) + lower * fy + (1 << 15)) >> 16) << shift;
            }
            out[static_cast<size_t>(y) * width + x] = pixel;
        }
    }
}

Box Intersect(const Box& a, const Box& b)
{
    const int left = std::max(a.x, b.x), top = std::max(a.y, b.y);
    const int right = std::min(a.x + a.width, b.x + b.width), bottom = std::min(a.y + a.height, b.y + b.height);
    return Box{left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

}  // namespace

Canvas::~Canvas()
{
    Release();
}

void Canvas::Release()
{
    if (dc_) {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    if (bitmap_)
        DeleteObject(bitmap_);
    dc_ = nullptr;
    bitmap_ = nullptr;
    bits_ = nullptr;
    width_ = height_ = 0;
}

bool Canvas::Resize(int width, int height)
{
    if (dc_ && width == width_ && height == height_)
        return true;
    Release();
    if (width <= 0 || height <= 0)
        return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    dc_ = CreateCompatibleDC(nullptr);
    if (!bitmap_ || !dc_ || !bits) {
        Release();
        return false;
    }
    previous_ = SelectObject(dc_, bitmap_);
    bits_ = static_cast<uint32_t*>(bits);
    width_ = width;
    height_ = height;
    return true;
}

void Canvas::Fill(const Box& box, COLORREF color)
{
    const Box area = Intersect(box, Box{0, 0, width_, height_});
    const uint32_t pixel = Bgr(color);
    for (int y = area.y; y < area.y + area.height; ++y)
        std::fill_n(bits_ + static_cast<size_t>(y) * width_ + area.x, area.width, pixel);
}

void Canvas::Draw(const Image& image, const Box& target, const Box& clip)
{
    const Box area = Intersect(Intersect(target, clip), Box{0, 0, width_, height_});
    if (area.width <= 0 || area.height <= 0)
        return;
    const bool resized = target.width != image.width || target.height != image.height;
    // Resampled once for the size shown; a target far larger than the window, of which little
    // shows, takes the nearest pixels instead.
    const bool nearest = resized && static_cast<long long>(target.width) * target.height > 4LL * width_ * height_;
    if (resized && !nearest && (image.shownWidth != target.width || image.shownHeight != target.height)) {
        Resample(image, target.width, target.height, image.shown);
        image.shownWidth = target.width;
        image.shownHeight = target.height;
    }
    const uint32_t* pixels = resized ? image.shown.data() : image.pixels.data();
    for (int y = area.y; y < area.y + area.height; ++y) {
        uint32_t* row = bits_ + static_cast<size_t>(y) * width_;
        const int sy = nearest ? static_cast<int>(static_cast<long long>(y - target.y) * image.height / target.height) : 0;
        for (int x = area.x; x < area.x + area.width; ++x) {
            const uint32_t source =
                nearest ? image.pixels[static_cast<size_t>(sy) * image.width +
                                       static_cast<size_t>(static_cast<long long>(x - target.x) * image.width / target.width)]
                        : pixels[static_cast<size_t>(y - target.y) * target.width + (x - target.x)];
            row[x] = Blend(source, row[x]);
        }
    }
}

void Canvas::Paint(const std::vector<Element*>& order, COLORREF background, Fonts& fonts, const ImageMap& images,
                   int dpi, const Element* focusMark)
{
    auto cssSize = [dpi](const Box& box, const Image& image) {
        return Box{box.x, box.y, DevicePixels(image.width, dpi), DevicePixels(image.height, dpi)};
    };
    if (!dc_)
        return;
    Fill(Box{0, 0, width_, height_}, background);
    SetBkMode(dc_, TRANSPARENT);
    for (const Element* e : order) {
        const Style& s = e->style;
        if (!s.visible)
            continue;
        if (e->IsText()) {
            // GDI draws into the same bits; what it queued must land before the next direct write.
            fonts.Select(s, dc_);
            SetTextColor(dc_, s.color);
            for (const TextPiece& piece : e->pieces)
                ExtTextOutW(dc_, piece.x, piece.y, 0, nullptr, piece.text.c_str(),
                            static_cast<UINT>(piece.text.size()), nullptr);
            GdiFlush();
            continue;
        }
        if (s.hasBackground)
            Fill(e->box, s.background);
        if (const Image* image = Find(images, s.backgroundImage))
            Draw(*image, cssSize(e->box, *image), e->box);
        if (const Image* image = Find(images, s.source)) {
            const Box content{e->box.x + s.padding[3], e->box.y + s.padding[0],
                              e->box.width - s.padding[1] - s.padding[3], e->box.height - s.padding[0] - s.padding[2]};
            Draw(*image, content, content);
        }
        if (const Image* image = Find(images, s.foregroundImage))
            Draw(*image, cssSize(e->box, *image), e->box);
    }
    if (focusMark) {
        const RECT mark = {focusMark->box.x, focusMark->box.y, focusMark->box.x + focusMark->box.width,
                           focusMark->box.y + focusMark->box.height};
        // The system's dotted rectangle inverts what lies below: the alpha channel stays as it was.
        DrawFocusRect(dc_, &mark);
        GdiFlush();
    }
}

}  // namespace hl
