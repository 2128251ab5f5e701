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

void Canvas::Draw(const Image& image, const Box& dest, const Box& clip, bool scale)
{
    const Box target = scale ? dest : Box{dest.x, dest.y, image.width, image.height};
    const Box area = Intersect(Intersect(target, clip), Box{0, 0, width_, height_});
    if (target.width <= 0 || target.height <= 0)
        return;
    for (int y = area.y; y < area.y + area.height; ++y) {
        // Nearest source pixel: the page's images are shown at their own size.
        const int sy = static_cast<int>(static_cast<long long>(y - target.y) * image.height / target.height);
        const uint32_t* source = image.pixels.data() + static_cast<size_t>(sy) * image.width;
        uint32_t* row = bits_ + static_cast<size_t>(y) * width_;
        for (int x = area.x; x < area.x + area.width; ++x) {
            const int sx = static_cast<int>(static_cast<long long>(x - target.x) * image.width / target.width);
            row[x] = Blend(source[sx], row[x]);
        }
    }
}

void Canvas::Paint(const std::vector<Element*>& order, COLORREF background, Fonts& fonts, const ImageMap& images)
{
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
            Draw(*image, e->box, e->box, false);
        if (const Image* image = Find(images, s.source)) {
            const Box content{e->box.x + s.padding[3], e->box.y + s.padding[0],
                              e->box.width - s.padding[1] - s.padding[3], e->box.height - s.padding[0] - s.padding[2]};
            Draw(*image, content, content, true);
        }
        if (const Image* image = Find(images, s.foregroundImage))
            Draw(*image, e->box, e->box, false);
    }
}

}  // namespace hl
