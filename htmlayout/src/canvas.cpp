#include "canvas.h"

#include <algorithm>
#include <cmath>

#include "css.h"

namespace hl {

namespace {

// A colour premultiplied by its alpha, as the canvas keeps its pixels.
uint32_t Premultiplied(COLORREF color, int alpha)
{
    return static_cast<uint32_t>(alpha) << 24 | static_cast<uint32_t>(GetRValue(color) * alpha / 255) << 16 |
           static_cast<uint32_t>(GetGValue(color) * alpha / 255) << 8 | static_cast<uint32_t>(GetBValue(color) * alpha / 255);
}

// How much of the pixel at x, y (in 1/256) lies inside the box with rounded corners.
int Coverage(const Box& b, const int r[4], int x, int y)
{
    if (x < b.x || y < b.y || x >= b.x + b.width || y >= b.y + b.height)
        return 0;
    const double px = x + 0.5, py = y + 0.5;
    const double cx[4] = {double(b.x + r[0]), double(b.x + b.width - r[1]), double(b.x + b.width - r[2]), double(b.x + r[3])};
    const double cy[4] = {double(b.y + r[0]), double(b.y + r[1]), double(b.y + b.height - r[2]), double(b.y + b.height - r[3])};
    for (int i = 0; i < 4; ++i) {
        const bool inCorner = r[i] > 0 && (i == 0 || i == 3 ? px < cx[i] : px > cx[i]) && (i < 2 ? py < cy[i] : py > cy[i]);
        if (!inCorner)
            continue;
        const double d = std::sqrt((px - cx[i]) * (px - cx[i]) + (py - cy[i]) * (py - cy[i]));
        return static_cast<int>(std::max(0.0, std::min(1.0, r[i] - d + 0.5)) * 256);
    }
    return 256;
}

// Corner radii no larger than the box allows: where two meet on a side, both shrink alike.
void FitRadii(const Box& b, const int in[4], int out[4])
{
    double scale = 1;
    const int sides[4] = {b.width, b.height, b.width, b.height};
    for (int i = 0; i < 4; ++i) {
        const int sum = in[i] + in[(i + 1) % 4];
        if (sum > sides[i])
            scale = std::min(scale, sides[i] / static_cast<double>(sum));
    }
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<int>(in[i] * scale);
}

// Two premultiplied pixels mixed, f/256 of the second: the red and blue channels, then alpha and
// green, two at a time in one word each.
uint32_t Mix(uint32_t a, uint32_t b, uint32_t f)
{
    const uint32_t rb = (((a & 0xFF00FFu) * (256 - f) + (b & 0xFF00FFu) * f) >> 8) & 0xFF00FFu;
    const uint32_t ag = (((a >> 8) & 0xFF00FFu) * (256 - f) + ((b >> 8) & 0xFF00FFu) * f) & 0xFF00FF00u;
    return rb | ag;
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
    std::vector<int> columns(width);
    for (int x = 0; x < width; ++x)
        columns[x] = position(x, image.width, width);
    for (int y = 0; y < height; ++y) {
        const int sy = position(y, image.height, height);
        const int y0 = sy >> 8, y1 = std::min(y0 + 1, image.height - 1);
        const uint32_t fy = static_cast<uint32_t>(sy & 255);
        const uint32_t* top = image.pixels.data() + static_cast<size_t>(y0) * image.width;
        const uint32_t* bottom = image.pixels.data() + static_cast<size_t>(y1) * image.width;
        uint32_t* row = out.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            const int sx = columns[x];
            const int x0 = sx >> 8, x1 = std::min(x0 + 1, image.width - 1);
            const uint32_t fx = static_cast<uint32_t>(sx & 255);
            row[x] = Mix(Mix(top[x0], top[x1], fx), Mix(bottom[x0], bottom[x1], fx), fy);
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

void Canvas::Draw(const Image& image, const Box& target, const Box& clip)
{
    const Box area = Intersect(Intersect(target, clip), clip_);
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
            const int cover = RoundClip(x, y);
            if (cover == 0)
                continue;
            const uint32_t source =
                nearest ? image.pixels[static_cast<size_t>(sy) * image.width +
                                       static_cast<size_t>(static_cast<long long>(x - target.x) * image.width / target.width)]
                        : pixels[static_cast<size_t>(y - target.y) * target.width + (x - target.x)];
            Blend(row[x], source, cover);
        }
    }
}


// Premultiplied "source over" at a pixel's coverage and the element's opacity.
void Canvas::Blend(uint32_t& target, uint32_t source, int coverage) const
{
    const uint32_t scale = static_cast<uint32_t>(coverage) * static_cast<uint32_t>(opacity_);  // up to 256 * 255
    if (scale != 256u * 255u) {
        uint32_t scaled = 0;
        for (int shift = 0; shift < 32; shift += 8)
            scaled |= (((source >> shift) & 0xFF) * scale / (256u * 255u)) << shift;
        source = scaled;
    }
    const uint32_t alpha = source >> 24;
    if (alpha == 255) {
        target = source;
        return;
    }
    if (alpha == 0)
        return;
    const uint32_t keep = 255 - alpha;
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t channel = ((source >> shift) & 0xFF) + (((target >> shift) & 0xFF) * keep + 127) / 255;
        result |= std::min(channel, 255u) << shift;
    }
    target = result;
}

int Canvas::RoundClip(int x, int y) const
{
    return rounded_ ? Coverage(roundBox_, roundRadii_, x, y) : 256;
}

template <class Color>
void Canvas::FillShape(const Box& box, const int radii[4], const Box* hole, const int holeRadii[4], Color color)
{
    const Box area = Intersect(box, clip_);
    const bool round = radii[0] || radii[1] || radii[2] || radii[3] ||
                       (hole && (holeRadii[0] || holeRadii[1] || holeRadii[2] || holeRadii[3]));
    static const int kSquare[4] = {0, 0, 0, 0};
    for (int y = area.y; y < area.y + area.height; ++y) {
        uint32_t* row = bits_ + static_cast<size_t>(y) * width_;
        for (int x = area.x; x < area.x + area.width; ++x) {
            int cover = round ? Coverage(box, radii, x, y) : 256;
            if (hole)
                cover -= Coverage(*hole, round ? holeRadii : kSquare, x, y);
            cover = cover * RoundClip(x, y) / 256;
            if (cover > 0)
                Blend(row[x], color(x, y), cover);
        }
    }
}

// An outer shadow: the box (with its corners) moved and spread, blurred, shown only outside the
// box itself.
void Canvas::PaintShadow(const Box& b, const int radii[4], const Shadow& shadow)
{
    const Box shape{b.x + shadow.x - shadow.spread, b.y + shadow.y - shadow.spread, b.width + 2 * shadow.spread,
                    b.height + 2 * shadow.spread};
    const int reach = std::min(shadow.blur, 255);  // beyond, the blur is spread too thin to see
    const Box area = Intersect(Box{shape.x - reach, shape.y - reach, shape.width + 2 * reach, shape.height + 2 * reach},
                               Box{-reach, -reach, width_ + 2 * reach, height_ + 2 * reach});
    if (area.width <= 0 || area.height <= 0 || shape.width <= 0 || shape.height <= 0)
        return;
    int spread[4];
    for (int i = 0; i < 4; ++i)
        spread[i] = radii[i] ? std::max(radii[i] + shadow.spread, 0) : 0;
    std::vector<int> mask(static_cast<size_t>(area.width) * area.height);
    for (int y = 0; y < area.height; ++y)
        for (int x = 0; x < area.width; ++x)
            mask[static_cast<size_t>(y) * area.width + x] = Coverage(shape, spread, area.x + x, area.y + y);
    // Three box blurs, a near Gaussian of half the blur radius.
    const int half = std::max(1, reach / 3);
    std::vector<int> line;
    for (int pass = 0; pass < 6 && reach > 0; ++pass) {
        const bool across = pass % 2 == 0;
        const int lines = across ? area.height : area.width, length = across ? area.width : area.height;
        for (int l = 0; l < lines; ++l) {
            auto at = [&](int i) -> int& {
                return mask[across ? static_cast<size_t>(l) * area.width + i : static_cast<size_t>(i) * area.width + l];
            };
            line.assign(length + 1, 0);
            for (int i = 0; i < length; ++i)
                line[i + 1] = line[i] + at(i);
            for (int i = 0; i < length; ++i) {
                const int from = std::max(0, i - half), to = std::min(length, i + half + 1);
                at(i) = (line[to] - line[from]) / (2 * half + 1);
            }
        }
    }
    const uint32_t color = Premultiplied(shadow.color, shadow.alpha);
    const Box visible = Intersect(area, clip_);
    for (int y = visible.y; y < visible.y + visible.height; ++y)
        for (int x = visible.x; x < visible.x + visible.width; ++x) {
            const int outside = 256 - Coverage(b, radii, x, y);
            if (outside > 0)
                Blend(bits_[static_cast<size_t>(y) * width_ + x], color,
                      mask[static_cast<size_t>(y - area.y) * area.width + (x - area.x)] * outside / 256);
        }
}

void Canvas::PaintBox(const Element* e, const ImageMap& images, int dpi)
{
    const Style& s = e->style;
    const Box& b = e->box;
    if (b.width <= 0 || b.height <= 0)
        return;
    int radii[4];
    FitRadii(b, s.radius, radii);
    int border[4];
    for (int i = 0; i < 4; ++i)
        border[i] = s.border[i].style == BorderStyle::None ? 0 : s.border[i].width;
    const Box padding{b.x + border[3], b.y + border[0], b.width - border[1] - border[3], b.height - border[0] - border[2]};
    if (s.shadow.alpha)
        PaintShadow(b, radii, s.shadow);
    if (s.hasBackground) {
        const uint32_t color = Premultiplied(s.background, s.backgroundAlpha);
        FillShape(b, radii, nullptr, nullptr, [color](int, int) { return color; });
    }
    if (s.gradient.size() >= 2) {
        // The colours along the gradient line, which crosses the box through its centre at the
        // angle, as long as the box's projection on it.
        const double angle = s.gradientAngle * 3.14159265358979 / 180;
        const double dx = std::sin(angle), dy = -std::cos(angle);
        const double length = std::fabs(b.width * dx) + std::fabs(b.height * dy);
        std::vector<GradientStop> stops = s.gradient;
        stops.front().percent = std::max(stops.front().percent, 0);
        if (stops.back().percent < 0)
            stops.back().percent = 100;
        for (size_t i = 1; i < stops.size(); ++i) {
            if (stops[i].percent >= 0) {
                stops[i].percent = std::max(stops[i].percent, stops[i - 1].percent);
                continue;
            }
            size_t next = i;
            while (stops[next].percent < 0)
                ++next;
            stops[i].percent = stops[i - 1].percent + (stops[next].percent - stops[i - 1].percent) / int(next - i + 1);
        }
        uint32_t ramp[257];
        for (int t = 0; t <= 256; ++t) {
            const int at = t * 100;  // in 1/256 percent
            size_t i = 0;
            while (i + 1 < stops.size() && stops[i + 1].percent * 256 <= at)
                ++i;
            const GradientStop& a = stops[i];
            const GradientStop& c = stops[std::min(i + 1, stops.size() - 1)];
            const int span = (c.percent - a.percent) * 256;
            const int f = span > 0 ? std::max(0, std::min(256, (at - a.percent * 256) * 256 / span)) : 0;
            auto mix = [f](int from, int to) { return from + (to - from) * f / 256; };
            ramp[t] = Premultiplied(RGB(mix(GetRValue(a.color), GetRValue(c.color)), mix(GetGValue(a.color), GetGValue(c.color)),
                                        mix(GetBValue(a.color), GetBValue(c.color))),
                                    mix(a.alpha, c.alpha));
        }
        const double cx = b.x + b.width / 2.0, cy = b.y + b.height / 2.0;
        FillShape(b, radii, nullptr, nullptr, [&](int x, int y) {
            const double t = length > 0 ? ((x + 0.5 - cx) * dx + (y + 0.5 - cy) * dy) / length + 0.5 : 0;
            return ramp[static_cast<int>(std::max(0.0, std::min(1.0, t)) * 256)];
        });
    }
    if (const Image* image = images.Find(s.backgroundImage)) {
        // The image's size and place in the padding box; tiles where it repeats.
        int w = DevicePixels(image->width, dpi), h = DevicePixels(image->height, dpi);
        if (s.backgroundSize == Style::Size::Cover || s.backgroundSize == Style::Size::Contain) {
            const double sx = padding.width / double(std::max(w, 1)), sy = padding.height / double(std::max(h, 1));
            const double scale = s.backgroundSize == Style::Size::Cover ? std::max(sx, sy) : std::min(sx, sy);
            w = static_cast<int>(w * scale + 0.5);
            h = static_cast<int>(h * scale + 0.5);
        } else if (s.backgroundSize == Style::Size::Given) {
            const int givenW = s.backgroundWidth.Resolve(padding.width, -1), givenH = s.backgroundHeight.Resolve(padding.height, -1);
            const int ratioW = givenH >= 0 && h ? w * givenH / h : w, ratioH = givenW >= 0 && w ? h * givenW / w : h;
            w = givenW >= 0 ? givenW : ratioW;
            h = givenH >= 0 ? givenH : ratioH;
        }
        if (w > 0 && h > 0) {
            const int x0 = padding.x + s.backgroundX.Resolve(padding.width - w);
            const int y0 = padding.y + s.backgroundY.Resolve(padding.height - h);
            // Tiles only where the box can be seen: a tiny tile on a huge box stays cheap.
            const Box seen = Intersect(b, clip_);
            auto start = [](int origin, int from, int step) {  // the last tile edge at or before from
                const long long d = static_cast<long long>(from) - origin;
                return static_cast<int>(origin + (d >= 0 ? d / step : -((-d + step - 1) / step)) * step);
            };
            const int fromX = s.repeatX ? start(x0, seen.x, w) : x0, toX = s.repeatX ? seen.x + seen.width : x0 + 1;
            const int fromY = s.repeatY ? start(y0, seen.y, h) : y0, toY = s.repeatY ? seen.y + seen.height : y0 + 1;
            for (int y = fromY; y < toY; y += h)
                for (int x = fromX; x < toX; x += w)
                    Draw(*image, Box{x, y, w, h}, b);
        }
    }
    if (const Image* image = images.Find(s.source)) {
        const Box content{padding.x + s.padding[3].Resolve(0), padding.y + s.padding[0].Resolve(0),
                          padding.width - s.padding[1].Resolve(0) - s.padding[3].Resolve(0),
                          padding.height - s.padding[0].Resolve(0) - s.padding[2].Resolve(0)};
        Draw(*image, content, content);
    }
    if (const Image* image = images.Find(s.foregroundImage))
        Draw(*image, Box{b.x, b.y, DevicePixels(image->width, dpi), DevicePixels(image->height, dpi)}, b);
    if (border[0] || border[1] || border[2] || border[3]) {
        int inner[4];
        for (int i = 0; i < 4; ++i)
            inner[i] = std::max(0, radii[i] - std::max(border[i], border[(i + 3) % 4]));
        // Each pixel of the ring belongs to the side it lies furthest beyond, measured in that
        // side's widths; dashes and dots run along it.
        FillShape(b, radii, &padding, inner, [&](int x, int y) {
            const double depth[4] = {double(padding.y - y) / std::max(border[0], 1), double(x - (padding.x + padding.width - 1)) / std::max(border[1], 1),
                                     double(y - (padding.y + padding.height - 1)) / std::max(border[2], 1), double(padding.x - x) / std::max(border[3], 1)};
            int side = 0;
            for (int i = 1; i < 4; ++i)
                if (border[i] && (depth[i] > depth[side] || !border[side]))
                    side = i;
            const BorderSide& bs = s.border[side];
            if (bs.style != BorderStyle::Solid) {
                const int along = side % 2 == 0 ? x - b.x : y - b.y;
                const int dash = bs.width * (bs.style == BorderStyle::Dashed ? 3 : 1);
                if (dash > 0 && (along / dash) % 2 == 1)
                    return 0u;
            }
            return Premultiplied(bs.currentColor ? s.color : bs.color, 255);
        });
    }
}

void Canvas::PaintText(const Element* e, Fonts& fonts)
{
    const Style& s = e->style;
    fonts.Select(s, dc_);
    SetTextColor(dc_, s.color);
    const int saved = SaveDC(dc_);
    IntersectClipRect(dc_, clip_.x, clip_.y, clip_.x + clip_.width, clip_.y + clip_.height);
    for (const TextPiece& piece : e->pieces) {
        const Box area = Intersect(Box{piece.x, piece.y, piece.width, piece.height}, clip_);
        if (area.width <= 0 || area.height <= 0)
            continue;
        // GDI writes its pixels whole: under opacity they are mixed with what was there after.
        std::vector<uint32_t> under;
        if (opacity_ < 255)
            for (int y = area.y; y < area.y + area.height; ++y)
                under.insert(under.end(), bits_ + static_cast<size_t>(y) * width_ + area.x,
                             bits_ + static_cast<size_t>(y) * width_ + area.x + area.width);
        const int n = static_cast<int>(piece.text.size());
        std::vector<INT> advances;
        if (s.letterSpacing && n > 0) {
            std::vector<INT> extents(n);
            SIZE size;
            GetTextExtentExPointW(dc_, piece.text.c_str(), n, 0, nullptr, extents.data(), &size);
            for (int i = 0; i < n; ++i)
                advances.push_back(extents[i] - (i ? extents[i - 1] : 0) + s.letterSpacing);
        }
        ExtTextOutW(dc_, piece.x, piece.y, 0, nullptr, piece.text.c_str(), static_cast<UINT>(n),
                    advances.empty() ? nullptr : advances.data());
        GdiFlush();
        if (s.underline) {
            const int thickness = std::max(1, (s.fontSize + 10) / 22);
            const uint32_t color = Premultiplied(s.color, 255);
            const int opacity = opacity_;
            opacity_ = 255;
            static const int kSquare[4] = {0, 0, 0, 0};
            FillShape(Box{piece.x, piece.y + piece.ascent + std::max(1, s.fontSize * 17 / 200), piece.width, thickness}, kSquare,
                      nullptr, nullptr, [color](int, int) { return color; });
            opacity_ = opacity;
        }
        if (opacity_ < 255) {
            size_t i = 0;
            for (int y = area.y; y < area.y + area.height; ++y)
                for (int x = area.x; x < area.x + area.width; ++x, ++i) {
                    uint32_t drawn = bits_[static_cast<size_t>(y) * width_ + x] | 0xFF000000u;
                    bits_[static_cast<size_t>(y) * width_ + x] = under[i];
                    Blend(bits_[static_cast<size_t>(y) * width_ + x], drawn, 256);
                }
        }
    }
    RestoreDC(dc_, saved);
}

void Canvas::Paint(const std::vector<Element*>& order, COLORREF background, Fonts& fonts, const ImageMap& images,
                   int dpi, const Element* focusMark)
{
    if (!dc_)
        return;
    clip_ = Box{0, 0, width_, height_};
    opacity_ = 255;
    rounded_ = false;
    static const int kSquare[4] = {0, 0, 0, 0};
    const uint32_t page = Premultiplied(background, 255);
    FillShape(clip_, kSquare, nullptr, nullptr, [page](int, int) { return page; });
    SetBkMode(dc_, TRANSPARENT);
    for (const Element* e : order) {
        const Style& s = e->style;
        if (!s.visible && !e->IsText())
            continue;
        // What ancestors clip away and how transparent they make the element.
        clip_ = Box{0, 0, width_, height_};
        rounded_ = false;
        int opacity = 255;
        for (const Element* a = e->IsText() ? e->parent : e; a; a = a->parent) {
            opacity = opacity * a->style.opacity / 255;
            if (a != e && a->style.overflowHidden) {
                int border[4];
                for (int i = 0; i < 4; ++i)
                    border[i] = a->style.border[i].style == BorderStyle::None ? 0 : a->style.border[i].width;
                const Box inside{a->box.x + border[3], a->box.y + border[0], a->box.width - border[1] - border[3],
                                 a->box.height - border[0] - border[2]};
                clip_ = Intersect(clip_, inside);
                // The nearest rounded one also clips to its corners (text excepted).
                int radii[4];
                FitRadii(a->box, a->style.radius, radii);
                if (!rounded_ && (radii[0] || radii[1] || radii[2] || radii[3])) {
                    rounded_ = true;
                    roundBox_ = inside;
                    for (int i = 0; i < 4; ++i)
                        roundRadii_[i] = std::max(0, radii[i] - std::max(border[i], border[(i + 3) % 4]));
                }
            }
        }
        opacity_ = opacity;
        if (opacity_ == 0 || !s.visible)
            continue;
        if (e->IsText()) {
            PaintText(e, fonts);
            continue;
        }
        PaintBox(e, images, dpi);
        for (const TextPiece& marker : e->pieces) {  // a list item's marker
            if (const Image* image = images.Find(s.listImage))
                Draw(*image, Box{marker.x, marker.y, marker.width, marker.height}, clip_);
            else
                PaintText(e, fonts);
            break;
        }
    }
    clip_ = Box{0, 0, width_, height_};
    opacity_ = 255;
    rounded_ = false;
    if (focusMark) {
        const RECT mark = {focusMark->box.x, focusMark->box.y, focusMark->box.x + focusMark->box.width,
                           focusMark->box.y + focusMark->box.height};
        // The system's dotted rectangle inverts what lies below: the alpha channel stays as it was.
        DrawFocusRect(dc_, &mark);
        GdiFlush();
    }
}

}  // namespace hl
