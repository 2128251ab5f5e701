// The computed style of an element and the box layout gives it.
#pragma once
#include <windows.h>

#include <string>

#include "htmlayout.h"

namespace hl {

// CSS pixels are 1/96 inch. The cascade turns every length of a page into device pixels of the
// window's DPI (rounded half away from zero), so that layout, hit testing and painting never
// meet a CSS pixel; images are shown at their CSS size in device pixels the same way.
constexpr int kCssDpi = 96;
inline int DevicePixels(int css, int dpi)
{
    return MulDiv(css, dpi, kCssDpi);
}

enum class Display { Inline, Block, None };
enum class Position { Static, Relative, Absolute };

// A length in pixels, or auto.
struct Length {
    bool isAuto = true;
    int px = 0;
    static Length Px(int value) { return Length{false, value}; }
};

struct Style {
    Display display = Display::Inline;
    Position position = Position::Static;
    Length left, top, right, bottom, width, height;
    int margin[4] = {0, 0, 0, 0};   // top, right, bottom, left
    int padding[4] = {0, 0, 0, 0};
    bool hasBackground = false;
    COLORREF background = 0;
    std::wstring backgroundImage;  // URLs as resolved against the base
    std::wstring foregroundImage;
    std::wstring source;  // an img element's src, or the srcset candidate that suits the DPI
    int sourceDensity = 2;  // the source's image pixels per two CSS pixels: 2 for 1x, 3 for 1.5x
    std::string behavior;
    // Inherited.
    COLORREF color = RGB(0, 0, 0);
    std::wstring fontFamily = L"Tahoma";
    int fontSize = 13;
    bool bold = false;
    bool pointer = false;  // cursor: pointer
    bool visible = true;
};

// Where layout put an element, in the window's client coordinates: its border box. Inline
// elements get the union of their pieces.
struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    bool Contains(POINT p) const { return p.x >= x && p.y >= y && p.x < x + width && p.y < y + height; }
};

// A word or run of words of a text node, where layout put it (top left).
struct TextPiece {
    int x, y, width, height;
    std::wstring text;
};

}  // namespace hl
