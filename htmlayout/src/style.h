// The computed style of an element and the box layout gives it.
#pragma once
#include <windows.h>

#include <string>

#include "htmlayout.h"

namespace hl {

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
    std::wstring source;  // an img element's src
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
