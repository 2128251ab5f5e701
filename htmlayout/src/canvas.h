// The back buffer a page is painted into before it reaches the window in one copy, and the
// painting of laid-out boxes: backgrounds, gradients, shadows, borders with rounded corners,
// images, text and the focus rectangle.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "layout.h"

namespace hl {

class Canvas {
public:
    Canvas() = default;
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // A 32-bit bitmap of that size, kept while the size stays; false when it cannot be made.
    bool Resize(int width, int height);
    HDC Dc() const { return dc_; }

    // Paints the elements in order over the background colour, images at their CSS size for dpi,
    // and the system's focus rectangle around focusMark when there is one.
    void Paint(const std::vector<Element*>& order, COLORREF background, Fonts& fonts, const ImageMap& images,
               int dpi, const Element* focusMark);

private:
    // Fills the pixels of box (rounded by radii, less the hole when given) with the colour that
    // color(x, y) answers, premultiplied, at the coverage of each pixel; clipped.
    template <class Color>
    void FillShape(const Box& box, const int radii[4], const Box* hole, const int holeRadii[4], Color color);
    // Blends an image over the canvas, smoothly resampled to the target's size and clipped.
    void Draw(const Image& image, const Box& target, const Box& clip);
    void PaintBox(const Element* e, const ImageMap& images, int dpi);
    void PaintText(const Element* e, Fonts& fonts);
    void PaintShadow(const Box& box, const int radii[4], const Shadow& shadow);
    void Blend(uint32_t& target, uint32_t source, int coverage) const;
    void Release();

    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    // How much of the pixel the nearest rounded ancestor that hides its overflow leaves, in 1/256.
    int RoundClip(int x, int y) const;

    Box clip_;           // the element's: the canvas within every ancestor that hides its overflow
    bool rounded_ = false;  // and the nearest of those ancestors with rounded corners:
    Box roundBox_;          // its padding box
    int roundRadii_[4] = {0, 0, 0, 0};
    int opacity_ = 255;  // the element's with its ancestors'
};

}  // namespace hl
