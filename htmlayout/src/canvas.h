// The back buffer a page is painted into before it reaches the window in one copy.
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
    void Fill(const Box& box, COLORREF color);
    // Blends an image over the canvas, smoothly resampled to the target's size and clipped to
    // clip.
    void Draw(const Image& image, const Box& target, const Box& clip);
    void Release();

    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace hl
