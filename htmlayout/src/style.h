// The computed style of an element and the box layout gives it.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

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

enum class Display { Inline, Block, InlineBlock, ListItem, Table, TableRowGroup, TableRow, TableCell, Flex, None };
enum class Position { Static, Relative, Absolute };
enum class Float { None, Left, Right };
enum class TextAlign { Left, Right, Center, Justify };
enum class VerticalAlign { Baseline, Middle, Top, Bottom };
enum class BorderStyle { None, Solid, Dashed, Dotted };
enum class ListStyle { Disc, Circle, Square, Decimal, None };
enum class Justify { Start, End, Center, SpaceBetween, SpaceAround, SpaceEvenly };
enum class Align { Stretch, Start, End, Center };

// A length in device pixels, a percentage of a base the layout knows, or auto.
struct Length {
    enum Unit : unsigned char { Auto, Pixels, Percent } unit = Auto;
    int value = 0;  // pixels, or hundredths of a percent
    bool IsAuto() const { return unit == Auto; }
    static Length Px(int px) { return Length{Pixels, px}; }
    // Against the base (a containing block's width or height); auto gives the fallback.
    int Resolve(int base, int fallback = 0) const
    {
        return unit == Pixels ? value : unit == Percent ? static_cast<int>(static_cast<long long>(base) * value / 10000)
                                                    : fallback;
    }
};

struct BorderSide {
    int width = 0;  // device pixels; 0 where the style is none
    BorderStyle style = BorderStyle::None;
    COLORREF color = 0;
    bool currentColor = true;  // no colour given: the element's text colour
};

struct GradientStop {
    COLORREF color;
    BYTE alpha;
    int percent;  // -1: spaced evenly between its neighbours
};

struct Shadow {
    int x = 0, y = 0, blur = 0, spread = 0;
    COLORREF color = 0;
    BYTE alpha = 0;  // 0: no shadow
};

struct Style {
    Display display = Display::Inline;
    Position position = Position::Static;
    Float floating = Float::None;
    bool clearLeft = false, clearRight = false;
    Length left, top, right, bottom, width, height;
    Length minWidth, minHeight, maxWidth, maxHeight;  // max: auto means none
    // Top, right, bottom, left; percentages of the containing block's width.
    Length margin[4] = {Length::Px(0), Length::Px(0), Length::Px(0), Length::Px(0)};
    Length padding[4] = {Length::Px(0), Length::Px(0), Length::Px(0), Length::Px(0)};
    BorderSide border[4];
    int radius[4] = {0, 0, 0, 0};  // top left, top right, bottom right, bottom left
    bool borderBox = false;        // box-sizing: border-box
    bool overflowHidden = false;
    BYTE opacity = 255;
    Shadow shadow;
    // Background: a colour, then an image or a gradient over it.
    bool hasBackground = false;
    COLORREF background = 0;
    BYTE backgroundAlpha = 255;
    std::wstring backgroundImage;  // URLs as resolved against the base
    bool repeatX = true, repeatY = true;
    Length backgroundX = Length{Length::Percent, 0}, backgroundY = Length{Length::Percent, 0};
    enum class Size { Auto, Cover, Contain, Given } backgroundSize = Size::Auto;
    Length backgroundWidth, backgroundHeight;
    int gradientAngle = 180;  // degrees, 0 pointing up; no stops: no gradient
    std::vector<GradientStop> gradient;
    std::wstring foregroundImage;
    std::wstring source;    // an img element's src, or the srcset candidate that suits the DPI
    int sourceDensity = 2;  // the source's image pixels per two CSS pixels: 2 for 1x, 3 for 1.5x
    std::string behavior;
    VerticalAlign verticalAlign = VerticalAlign::Baseline;
    // Flex containers and their items.
    bool flexColumn = false;
    Justify justifyContent = Justify::Start;
    Align alignItems = Align::Stretch;
    int rowGap = 0, columnGap = 0;
    int flexGrow = 0, flexShrink = 1;  // in hundredths
    Length flexBasis;
    // Inherited.
    COLORREF color = RGB(0, 0, 0);
    std::wstring fontFamily = L"Tahoma";
    int fontSize = 13;
    bool bold = false;
    bool italic = false;
    bool underline = false;  // text-decoration reaches the text inside
    bool pointer = false;    // cursor: pointer
    bool visible = true;
    bool nowrap = false;
    TextAlign textAlign = TextAlign::Left;
    int lineHeight = 0;  // pixels; a negative value is a factor of the font size in hundredths,
                            // and 0 the font's own (normal)
    int letterSpacing = 0;
    enum class Transform { None, Upper, Lower, Capitalize } transform = Transform::None;
    ListStyle listStyle = ListStyle::Disc;
    std::wstring listImage;
    int spacingX = 0, spacingY = 0;  // border-spacing
    bool collapse = false;           // border-collapse
    bool fixedTable = false;         // table-layout: fixed (not inherited; on the table)
};

// Where layout put an element, in the window's client coordinates: its border box. Inline
// elements get the union of their pieces.
struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    bool Contains(POINT p) const { return p.x >= x && p.y >= y && p.x < x + width && p.y < y + height; }
};

// A word or run of words of a text node, where layout put it (top left), and the baseline's
// distance from that top.
struct TextPiece {
    int x, y, width, height, ascent;
    std::wstring text;
};

}  // namespace hl
