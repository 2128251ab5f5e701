// Property values and the cascade: what a declaration means, the usual browser defaults of the
// HTML elements, and the computed style of every element.
#include <algorithm>
#include <cwchar>
#include <initializer_list>

#include "css.h"

namespace hl {

namespace {

// What relative lengths are relative to.
struct Units {
    int dpi;
    int font;      // the font size em refers to (device pixels)
    int rootFont;  // the root element's, for rem
};

constexpr double kMaxCss = 100000;  // lengths beyond are cut there

// A decimal number with an optional sign, fraction and exponent-free; pos moves past it.
bool ParseNumber(const std::wstring& text, size_t& pos, double& number)
{
    const size_t start = pos;
    double sign = 1;
    if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+'))
        sign = text[pos++] == L'-' ? -1 : 1;
    bool digits = false;
    double value = 0, scale = 0;
    for (; pos < text.size(); ++pos) {
        const wchar_t c = text[pos];
        if (c == L'.' && scale == 0) {
            scale = 1;
        } else if (c >= L'0' && c <= L'9') {
            digits = true;
            if (scale == 0)
                value = std::min(value * 10 + (c - L'0'), kMaxCss * 100);
            else if (scale < 1e6)
                value += (c - L'0') / (scale *= 10);
        } else {
            break;
        }
    }
    if (!digits) {
        pos = start;
        return false;
    }
    number = sign * value;
    return true;
}

int Round(double value)
{
    value = std::max(-kMaxCss * 8, std::min(value, kMaxCss * 8));
    return static_cast<int>(value < 0 ? value - 0.5 : value + 0.5);
}

// "12px", "1.5em", "50%", "0", "auto"; a plain number counts as pixels.
bool ParseLength(const std::wstring& text, Length& length, const Units& units, bool percent = true)
{
    const std::wstring value = Lower(Trim(text));
    if (value == L"auto") {
        length = Length();
        return true;
    }
    size_t pos = 0;
    double number = 0;
    if (!ParseNumber(value, pos, number))
        return false;
    const std::wstring unit = value.substr(pos);
    static const struct {
        const wchar_t* unit;
        double perInch;  // 0: relative to the font
    } kAbsolute[] = {{L"px", 96}, {L"", 96}, {L"pt", 72}, {L"pc", 6}, {L"in", 1}, {L"cm", 2.54}, {L"mm", 25.4}};
    for (const auto& absolute : kAbsolute) {
        if (unit == absolute.unit) {
            length = Length::Px(Round(number * units.dpi / absolute.perInch));
            return true;
        }
    }
    if (unit == L"em" || unit == L"rem" || unit == L"ex" || unit == L"ch") {
        const double font = unit == L"rem" ? units.rootFont : unit == L"em" ? units.font : units.font / 2.0;
        length = Length::Px(Round(number * font));
        return true;
    }
    if (unit == L"%" && percent) {
        length = Length{Length::Percent, Round(std::max(-kMaxCss, std::min(number, kMaxCss)) * 100)};
        return true;
    }
    return false;
}

bool ParsePixels(const std::wstring& text, int& px, const Units& units)
{
    Length length;
    if (!ParseLength(text, length, units, false) || length.IsAuto())
        return false;
    px = length.value;
    return true;
}

// A whole number without a unit: a colour channel, a font weight.
bool ParseInteger(const std::wstring& text, int& number)
{
    const std::wstring value = Trim(text);
    size_t pos = 0;
    double n = 0;
    if (!ParseNumber(value, pos, n) || pos != value.size())
        return false;
    number = Round(n);
    return true;
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

// Words split at white space outside parentheses.
std::vector<std::wstring> Words(const std::wstring& text)
{
    std::vector<std::wstring> words;
    std::wstring current;
    int nesting = 0;
    for (wchar_t c : text) {
        if (c == L'(')
            ++nesting;
        else if (c == L')' && nesting > 0)
            --nesting;
        if (IsSpace(c) && nesting == 0) {
            if (!current.empty())
                words.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        words.push_back(current);
    return words;
}

bool ParseColor(const std::wstring& text, COLORREF& color, BYTE& alpha)
{
    const std::wstring value = Lower(Trim(text));
    static const struct {
        const wchar_t* name;
        COLORREF color;
    } kNamed[] = {
        {L"black", 0x000000},     {L"white", 0xFFFFFF},         {L"red", 0x0000FF},        {L"green", 0x008000},
        {L"blue", 0xFF0000},      {L"gray", 0x808080},          {L"grey", 0x808080},       {L"silver", 0xC0C0C0},
        {L"yellow", 0x00FFFF},    {L"navy", 0x800000},          {L"orange", 0x00A5FF},     {L"purple", 0x800080},
        {L"maroon", 0x000080},    {L"olive", 0x008080},         {L"lime", 0x00FF00},       {L"aqua", 0xFFFF00},
        {L"teal", 0x808000},      {L"fuchsia", 0xFF00FF},       {L"darkgray", 0xA9A9A9},   {L"lightgray", 0xD3D3D3},
        {L"whitesmoke", 0xF5F5F5}, {L"gold", 0x00D7FF},         {L"crimson", 0x3C14DC},    {L"tomato", 0x4763FF},
        {L"steelblue", 0xB48246}, {L"royalblue", 0xE16941},     {L"dodgerblue", 0xFF901E}, {L"darkblue", 0x8B0000},
        {L"darkgreen", 0x006400}, {L"darkred", 0x00008B},       {L"pink", 0xCBC0FF},       {L"brown", 0x2A2AA5},
        {L"beige", 0xDCF5F5},     {L"coral", 0x507FFF},         {L"indigo", 0x82004B},     {L"skyblue", 0xEBCE87},
        {L"lightblue", 0xE6D8AD}, {L"slategray", 0x908070},     {L"dimgray", 0x696969},    {L"gainsboro", 0xDCDCDC},
        {L"ivory", 0xF0FFFF},     {L"lightyellow", 0xE0FFFF},   {L"orangered", 0x0045FF},  {L"seagreen", 0x578B2E},
    };
    alpha = 255;
    if (value == L"transparent") {
        color = 0;
        alpha = 0;
        return true;
    }
    for (const auto& named : kNamed) {
        if (value == named.name) {
            color = named.color;
            return true;
        }
    }
    if (!value.empty() && value[0] == L'#') {
        const size_t count = value.size() - 1;
        if (count != 3 && count != 4 && count != 6 && count != 8)
            return false;
        int digits[8];
        for (size_t i = 0; i < count; ++i)
            if ((digits[i] = HexDigit(value[i + 1])) < 0)
                return false;
        const bool shortForm = count <= 4;
        auto channel = [&](size_t i) { return shortForm ? digits[i] * 17 : digits[2 * i] * 16 + digits[2 * i + 1]; };
        color = RGB(channel(0), channel(1), channel(2));
        alpha = static_cast<BYTE>(count == 4 || count == 8 ? channel(3) : 255);
        return true;
    }
    const size_t open = value.find(L'(');
    const std::wstring function = value.substr(0, open);
    if ((function != L"rgb" && function != L"rgba") || value.back() != L')')
        return false;
    std::wstring inside = value.substr(open + 1, value.size() - open - 2);
    std::replace(inside.begin(), inside.end(), L'/', L',');
    std::vector<std::wstring> parts = SplitTopLevel(inside, L',');
    if (parts.size() == 1)
        parts = Words(inside);
    if (parts.size() != 3 && parts.size() != 4)
        return false;
    double channel[4] = {0, 0, 0, 1};
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::wstring part = Trim(parts[i]);
        size_t pos = 0;
        if (!ParseNumber(part, pos, channel[i]))
            return false;
        const bool percent = part.substr(pos) == L"%";
        if (!percent && pos != part.size())
            return false;
        if (percent)
            channel[i] = channel[i] * (i == 3 ? 0.01 : 2.55);
        channel[i] = std::max(0.0, std::min(channel[i], i == 3 ? 1.0 : 255.0));
    }
    color = RGB(Round(channel[0]), Round(channel[1]), Round(channel[2]));
    alpha = static_cast<BYTE>(Round(channel[3] * 255));
    return true;
}

bool ParseBorderStyle(const std::wstring& word, BorderStyle& style)
{
    if (word == L"none" || word == L"hidden")
        style = BorderStyle::None;
    else if (word == L"dashed")
        style = BorderStyle::Dashed;
    else if (word == L"dotted")
        style = BorderStyle::Dotted;
    else if (word == L"solid" || word == L"double" || word == L"groove" || word == L"ridge" || word == L"inset" ||
             word == L"outset")
        style = BorderStyle::Solid;  // drawn solid
    else
        return false;
    return true;
}

bool ParseBorderWidth(const std::wstring& word, int& width, const Units& units)
{
    if (word == L"thin" || word == L"medium" || word == L"thick") {
        width = DevicePixels(word == L"thin" ? 1 : word == L"medium" ? 3 : 5, units.dpi);
        return true;
    }
    return ParsePixels(word, width, units) && width >= 0;
}

// "1px solid #ccc" in any order; what is left out takes its initial value.
bool ParseBorder(const std::wstring& value, BorderSide& side, const Units& units)
{
    BorderSide parsed;
    parsed.width = DevicePixels(3, units.dpi);
    for (const std::wstring& word : Words(value)) {
        COLORREF color;
        BYTE alpha;
        if (ParseBorderStyle(word, parsed.style))
            continue;
        if (ParseBorderWidth(word, parsed.width, units))
            continue;
        if (!ParseColor(word, color, alpha))
            return false;
        parsed.color = color;
        parsed.currentColor = false;
    }
    side = parsed;
    return true;
}

bool ParseOpacity(const std::wstring& value, BYTE& opacity)
{
    size_t pos = 0;
    double number = 0;
    const std::wstring text = Trim(value);
    if (!ParseNumber(text, pos, number))
        return false;
    if (text.substr(pos) == L"%")
        number /= 100;
    else if (pos != text.size())
        return false;
    opacity = static_cast<BYTE>(Round(std::max(0.0, std::min(number, 1.0)) * 255));
    return true;
}

// linear-gradient(to right, #fff, #000 80%) or (135deg, ...).
bool ParseGradient(const std::wstring& value, Style& style)
{
    const std::wstring text = Lower(Trim(value));
    if (text.compare(0, 16, L"linear-gradient(") != 0 || text.back() != L')')
        return false;
    std::vector<std::wstring> parts = SplitTopLevel(text.substr(16, text.size() - 17), L',');
    int angle = 180;
    const std::wstring first = Trim(parts[0]);
    size_t pos = 0;
    double degrees = 0;
    if (first.compare(0, 3, L"to ") == 0) {
        const std::wstring side = Trim(first.substr(3));
        static const struct {
            const wchar_t* side;
            int angle;
        } kSides[] = {{L"top", 0},          {L"right", 90},           {L"bottom", 180},     {L"left", 270},
                      {L"top right", 45},   {L"right top", 45},       {L"bottom right", 135}, {L"right bottom", 135},
                      {L"bottom left", 225}, {L"left bottom", 225},   {L"top left", 315},   {L"left top", 315}};
        bool known = false;
        for (const auto& s : kSides)
            if (side == s.side) {
                angle = s.angle;
                known = true;
            }
        if (!known)
            return false;
        parts.erase(parts.begin());
    } else if (ParseNumber(first, pos, degrees) && (first.substr(pos) == L"deg" || first.substr(pos) == L"turn")) {
        angle = Round(first.substr(pos) == L"turn" ? degrees * 360 : degrees);
        parts.erase(parts.begin());
    }
    std::vector<GradientStop> stops;
    for (const std::wstring& part : parts) {
        std::vector<std::wstring> words = Words(part);
        GradientStop stop{0, 255, -1};
        if (words.empty() || words.size() > 2 || !ParseColor(words[0], stop.color, stop.alpha))
            return false;
        if (words.size() == 2) {
            size_t at = 0;
            double percent = 0;
            if (!ParseNumber(words[1], at, percent) || words[1].substr(at) != L"%")
                return false;
            stop.percent = Round(std::max(0.0, std::min(percent, 100.0)));
        }
        stops.push_back(stop);
    }
    if (stops.size() < 2)
        return false;
    style.gradientAngle = ((angle % 360) + 360) % 360;
    style.gradient = stops;
    return true;
}

// "left top", "center", "right 10px bottom" reduced to two values, "50% 20px".
bool ParsePosition(const std::wstring& value, Style& style, const Units& units)
{
    const std::vector<std::wstring> words = Words(Lower(value));
    if (words.empty() || words.size() > 2)
        return false;
    Length x{Length::Percent, 5000}, y{Length::Percent, 5000};
    bool xSet = false, ySet = false;
    for (const std::wstring& word : words) {
        const int percent = word == L"left" || word == L"top" ? 0 : word == L"right" || word == L"bottom" ? 10000
                            : word == L"center"                  ? 5000
                                                                 : -1;
        Length length;
        if (percent >= 0) {
            const bool vertical = word == L"top" || word == L"bottom" || (word == L"center" && xSet);
            (vertical ? y : x) = Length{Length::Percent, percent};
            (vertical ? ySet : xSet) = true;
        } else if (ParseLength(word, length, units) && !length.IsAuto()) {
            (xSet ? y : x) = length;
            (xSet ? ySet : xSet) = true;
        } else {
            return false;
        }
    }
    style.backgroundX = x;
    style.backgroundY = y;
    return true;
}

bool ParseRepeat(const std::wstring& word, Style& style)
{
    if (word != L"repeat" && word != L"no-repeat" && word != L"repeat-x" && word != L"repeat-y")
        return false;
    style.repeatX = word == L"repeat" || word == L"repeat-x";
    style.repeatY = word == L"repeat" || word == L"repeat-y";
    return true;
}

bool ParseBackgroundSize(const std::wstring& value, Style& style, const Units& units)
{
    const std::vector<std::wstring> words = Words(Lower(value));
    if (words.size() == 1 && (words[0] == L"cover" || words[0] == L"contain")) {
        style.backgroundSize = words[0] == L"cover" ? Style::Size::Cover : Style::Size::Contain;
        return true;
    }
    Length w, h;
    if (words.empty() || words.size() > 2 || !ParseLength(words[0], w, units) ||
        (words.size() == 2 && !ParseLength(words[1], h, units)))
        return false;
    style.backgroundSize = w.IsAuto() && h.IsAuto() ? Style::Size::Auto : Style::Size::Given;
    style.backgroundWidth = w;
    style.backgroundHeight = h;
    return true;
}

// The background shorthand: a colour, an image or a gradient, repeat, position and "/ size".
bool ParseBackground(const std::wstring& value, Style& style, const std::wstring& baseUrl, const Units& units)
{
    if (SplitTopLevel(value, L',').size() > 1)
        return false;  // layers
    Style parsed = style;
    parsed.hasBackground = false;
    parsed.backgroundImage.clear();
    parsed.gradient.clear();
    parsed.repeatX = parsed.repeatY = true;
    parsed.backgroundX = parsed.backgroundY = Length{Length::Percent, 0};
    parsed.backgroundSize = Style::Size::Auto;
    std::wstring position, size;
    bool sizing = false;
    for (const std::wstring& word : Words(value)) {
        const std::wstring lower = Lower(word);
        COLORREF color;
        BYTE alpha;
        if (lower == L"/") {
            sizing = true;
        } else if (sizing) {
            size += word + L" ";
        } else if (lower == L"none") {
        } else if (!UrlOf(word).empty() && lower.compare(0, 4, L"url(") == 0) {
            parsed.backgroundImage = ResolveUrl(baseUrl, UrlOf(word));
        } else if (lower.compare(0, 16, L"linear-gradient(") == 0) {
            if (!ParseGradient(word, parsed))
                return false;
        } else if (ParseRepeat(lower, parsed)) {
        } else if (ParseColor(lower, color, alpha)) {
            parsed.hasBackground = alpha > 0;
            parsed.background = color;
            parsed.backgroundAlpha = alpha;
        } else if (lower.find(L'/') != std::wstring::npos) {
            const size_t slash = lower.find(L'/');
            position += word.substr(0, slash) + L" ";
            size += word.substr(slash + 1) + L" ";
            sizing = true;
        } else {
            position += word + L" ";
        }
    }
    if ((!position.empty() && !ParsePosition(position, parsed, units)) ||
        (!size.empty() && !ParseBackgroundSize(size, parsed, units)))
        return false;
    style = parsed;
    return true;
}

bool ParseShadow(const std::wstring& value, Shadow& shadow, const Units& units)
{
    if (Lower(Trim(value)) == L"none") {
        shadow = Shadow();
        return true;
    }
    if (SplitTopLevel(value, L',').size() > 1)
        return false;
    Shadow parsed;
    parsed.alpha = 255;
    int lengths[4] = {0, 0, 0, 0};
    int count = 0;
    for (const std::wstring& word : Words(value)) {
        if (count < 4 && ParsePixels(word, lengths[count], units))
            ++count;
        else if (!ParseColor(word, parsed.color, parsed.alpha))
            return false;  // inset among them
    }
    if (count < 2)
        return false;
    parsed.x = lengths[0];
    parsed.y = lengths[1];
    parsed.blur = std::max(lengths[2], 0);
    parsed.spread = lengths[3];
    shadow = parsed;
    return true;
}

bool ParseFontSize(const std::wstring& value, int& size, const Units& units)
{
    static const struct {
        const wchar_t* name;
        int px;
    } kSizes[] = {{L"xx-small", 9}, {L"x-small", 10}, {L"small", 13},   {L"medium", 16},
                  {L"large", 18},    {L"x-large", 24}, {L"xx-large", 32}, {L"xxx-large", 48}};
    for (const auto& named : kSizes) {
        if (value == named.name) {
            size = DevicePixels(named.px, units.dpi);
            return true;
        }
    }
    if (value == L"smaller" || value == L"larger") {
        size = Round(units.font * (value == L"smaller" ? 0.8333 : 1.2));
        return true;
    }
    Length length;
    if (!ParseLength(value, length, units) || length.IsAuto())
        return false;
    size = length.Resolve(units.font);
    size = std::max(1, std::min(size, DevicePixels(400, units.dpi)));
    return true;
}

bool ParseWeight(const std::wstring& value, bool& bold)
{
    int weight = 0;
    if (value == L"bold" || value == L"bolder")
        bold = true;
    else if (value == L"normal" || value == L"lighter")
        bold = false;
    else if (ParseInteger(value, weight))
        bold = weight >= 600;
    else
        return false;
    return true;
}

bool ParseLineHeight(const std::wstring& value, int& lineHeight, const Units& units)
{
    if (value == L"normal") {
        lineHeight = 0;
        return true;
    }
    size_t pos = 0;
    double factor = 0;
    if (ParseNumber(value, pos, factor) && pos == value.size() && factor >= 0) {
        lineHeight = -std::max(1, Round(factor * 100));
        return true;
    }
    Length length;
    if (!ParseLength(value, length, units) || length.IsAuto())
        return false;
    lineHeight = std::max(0, length.Resolve(units.font));
    return true;
}

// The family list as written; the font is made from the first family the system has.
bool ParseFamily(const std::wstring& value, std::wstring& family)
{
    std::wstring list;
    for (std::wstring name : SplitTopLevel(value, L',')) {
        name = Trim(name);
        if (name.size() >= 2 && (name[0] == L'"' || name[0] == L'\'') && name.back() == name[0])
            name = name.substr(1, name.size() - 2);
        if (name.empty() || name.size() >= LF_FACESIZE)
            return false;
        list += (list.empty() ? L"" : L",") + name;
    }
    family = list;
    return !list.empty();
}

// font: [style] [variant] [weight] size[/line-height] family.
bool ParseFont(const std::wstring& value, Style& style, const Units& units)
{
    const std::vector<std::wstring> words = Words(value);
    Style parsed = style;
    parsed.italic = parsed.bold = false;
    parsed.lineHeight = 0;
    size_t i = 0;
    for (; i < words.size(); ++i) {
        const std::wstring word = Lower(words[i]);
        if (word == L"italic" || word == L"oblique")
            parsed.italic = true;
        else if (word != L"normal" && word != L"small-caps" && !ParseWeight(word, parsed.bold))
            break;
    }
    if (i >= words.size())
        return false;
    std::wstring size = Lower(words[i]);
    const size_t slash = size.find(L'/');
    if (slash != std::wstring::npos && !ParseLineHeight(size.substr(slash + 1), parsed.lineHeight, units))
        return false;
    if (!ParseFontSize(size.substr(0, slash), parsed.fontSize, units))
        return false;
    std::wstring family;
    for (++i; i < words.size(); ++i)
        family += (family.empty() ? L"" : L" ") + words[i];
    if (!ParseFamily(family, parsed.fontFamily))
        return false;
    style = parsed;
    return true;
}

// flex: none | auto | grow [shrink] [basis].
bool ParseFlex(const std::wstring& value, Style& style, const Units& units)
{
    const std::vector<std::wstring> words = Words(value);
    if (value == L"none" || value == L"auto") {
        style.flexGrow = style.flexShrink = value == L"auto" ? 100 : 0;
        style.flexBasis = Length();
        return true;
    }
    int numbers[2] = {0, 100};
    int count = 0;
    Length basis = Length::Px(0);
    for (const std::wstring& word : words) {
        size_t pos = 0;
        double number = 0;
        if (count < 2 && ParseNumber(word, pos, number) && pos == word.size() && number >= 0)
            numbers[count++] = Round(number * 100);
        else if (!ParseLength(word, basis, units))
            return false;
    }
    if (count == 0 && words.size() != 1)
        return false;
    style.flexGrow = count ? numbers[0] : 100;
    style.flexShrink = numbers[1];
    style.flexBasis = basis;
    return true;
}

// The properties the engine knows, by name; their order is the switch's below.
enum Property {
    kDisplay, kPosition, kFloat, kClear, kLeft, kTop, kRight, kBottom, kWidth, kHeight, kMinWidth, kMinHeight,
    kMaxWidth, kMaxHeight, kMargin, kPadding, kBorder, kBorderWidth, kBorderStyle, kBorderColor, kBorderRadius,
    kBorderCollapse, kBorderSpacing, kBoxSizing, kOverflow, kOverflowX, kOverflowY, kOpacity, kBoxShadow, kColor,
    kBackground, kBackgroundColor, kBackgroundImage, kForegroundImage, kListStyleImage, kBackgroundRepeat,
    kBackgroundPosition, kBackgroundSize, kFont, kFontFamily, kFontSize, kFontWeight, kFontStyle, kTextDecoration,
    kTextDecorationLine, kTextAlign, kLineHeight, kVerticalAlign, kWhiteSpace, kLetterSpacing, kTextTransform,
    kListStyleType, kListStyle, kListStylePosition, kTableLayout, kFlexDirection, kFlexWrap, kJustifyContent,
    kAlignItems, kGap, kRowGap, kColumnGap, kFlex, kFlexGrow, kFlexShrink, kFlexBasis, kCursor, kVisibility,
    kBehavior, kPropertyCount
};
const char* const kPropertyNames[] = {
    "display", "position", "float", "clear", "left", "top", "right", "bottom", "width", "height",
    "min-width", "min-height", "max-width", "max-height", "margin", "padding", "border", "border-width",
    "border-style", "border-color", "border-radius", "border-collapse", "border-spacing", "box-sizing",
    "overflow", "overflow-x", "overflow-y", "opacity", "box-shadow", "color", "background",
    "background-color", "background-image", "foreground-image", "list-style-image", "background-repeat",
    "background-position", "background-size", "font", "font-family", "font-size", "font-weight", "font-style",
    "text-decoration", "text-decoration-line", "text-align", "line-height", "vertical-align", "white-space",
    "letter-spacing", "text-transform", "list-style-type", "list-style", "list-style-position",
    "table-layout", "flex-direction", "flex-wrap", "justify-content", "align-items", "gap", "row-gap",
    "column-gap", "flex", "flex-grow", "flex-shrink", "flex-basis", "cursor", "visibility", "behavior"};
static_assert(sizeof(kPropertyNames) / sizeof(kPropertyNames[0]) == kPropertyCount, "one name a property");

const wchar_t kBadValue[] = L"has a value the engine does not take";

// Whether the text is the ASCII name.
bool SameText(const std::wstring& text, const char* name)
{
    size_t i = 0;
    while (name[i] && i < text.size() && text[i] == static_cast<unsigned char>(name[i]))
        ++i;
    return !name[i] && i == text.size();
}

// The value's position among the keywords (separated by '|'), or -1.
int Keyword(const std::wstring& value, const wchar_t* keywords)
{
    int index = 0;
    for (const wchar_t* k = keywords; *k; ++index) {
        const wchar_t* end = wcschr(k, L'|');
        const size_t n = end ? static_cast<size_t>(end - k) : wcslen(k);
        if (value.size() == n && value.compare(0, n, k, n) == 0)
            return index;
        k += n + (end ? 1 : 0);
    }
    return -1;
}

// A side's or a corner's property ("margin-top", "border-left-color", "border-top-left-radius"):
// the property of all sides it belongs to, and which side.
int SideProperty(const std::wstring& p, int& side)
{
    static const wchar_t* const kSides[] = {L"top", L"right", L"bottom", L"left"};
    static const wchar_t* const kCorners[] = {L"top-left", L"top-right", L"bottom-right", L"bottom-left"};
    for (int i = 0; i < 4; ++i) {
        side = i;
        for (const wchar_t* base : {L"margin-", L"padding-", L"border-"}) {
            const std::wstring stem = base + std::wstring(kSides[i]);
            if (p == stem)
                return base[0] == L'm' ? kMargin : base[0] == L'p' ? kPadding : kBorder;
            if (base[0] == L'b' && p.compare(0, stem.size() + 1, stem + L"-") == 0) {
                const std::wstring part = p.substr(stem.size());
                if (part == L"-width" || part == L"-style" || part == L"-color")
                    return part == L"-width" ? kBorderWidth : part == L"-style" ? kBorderStyle : kBorderColor;
            }
        }
        if (p == L"border-" + std::wstring(kCorners[i]) + L"-radius")
            return kBorderRadius;
    }
    side = -1;
    return -1;
}

// Applies a declaration; answers why it was left out (whole or in part), or null.
const wchar_t* Apply(Style& style, const Declaration& d, const std::wstring& baseUrl, const Units& units)
{
    const std::wstring& p = d.property;
    const std::wstring value = Lower(d.value);
    int side = -1;
    int property = 0;
    while (property < kPropertyCount && !SameText(p, kPropertyNames[property]))
        ++property;
    if (property == kPropertyCount)
        property = SideProperty(p, side);
    if (property < 0)
        return L"is not a property the engine knows";
    int k = -1;
    BYTE alpha = 255;
    // The sides a property of all four sides sets: one to four values, or the one side named.
    auto sides = [&](auto parse) {
        const std::vector<std::wstring> words = side >= 0 ? std::vector<std::wstring>{value} : Words(value);
        if (words.empty() || words.size() > 4)
            return false;
        int which[4] = {0, words.size() > 1 ? 1 : 0, words.size() > 2 ? 2 : 0, words.size() > 3 ? 3 : words.size() > 1};
        for (int i = 0; i < 4; ++i)
            if ((side < 0 || side == i) && !parse(words[side >= 0 ? 0 : which[i]], i))
                return false;
        return true;
    };
    Length* const boxLengths[] = {&style.left,     &style.top,       &style.right,    &style.bottom,   &style.width,
                                  &style.height,   &style.minWidth,  &style.minHeight, &style.maxWidth, &style.maxHeight};
    bool ok = true;
    switch (property) {
    case kDisplay: {
        static const Display kDisplays[] = {Display::None,          Display::Block,         Display::Inline,
                                            Display::InlineBlock,   Display::ListItem,      Display::Table,
                                            Display::TableRowGroup, Display::TableRowGroup, Display::TableRowGroup,
                                            Display::TableRow,      Display::TableCell,     Display::Flex, Display::Flex};
        if ((ok = (k = Keyword(value, L"none|block|inline|inline-block|list-item|table|table-row-group|"
                                      L"table-header-group|table-footer-group|table-row|table-cell|flex|inline-flex")) >= 0))
            style.display = kDisplays[k];
        break;
    }
    case kPosition:
        if ((ok = (k = Keyword(value, L"static|relative|absolute|fixed")) >= 0))
            style.position = k == 0 ? Position::Static : k == 1 ? Position::Relative : Position::Absolute;
        break;
    case kFloat:
        if ((ok = (k = Keyword(value, L"none|left|right")) >= 0))
            style.floating = static_cast<Float>(k);
        break;
    case kClear:
        if ((ok = (k = Keyword(value, L"none|left|right|both")) >= 0)) {
            style.clearLeft = k == 1 || k == 3;
            style.clearRight = k == 2 || k == 3;
        }
        break;
    case kLeft: case kTop: case kRight: case kBottom: case kWidth: case kHeight: case kMinWidth: case kMinHeight:
    case kMaxWidth: case kMaxHeight:
        if (property >= kMaxWidth && value == L"none")
            *boxLengths[property - kLeft] = Length();
        else
            ok = ParseLength(value, *boxLengths[property - kLeft], units);
        break;
    case kMargin: case kPadding: {
        Length* target = property == kMargin ? style.margin : style.padding;
        ok = sides([&](const std::wstring& w, int i) {
            return ParseLength(w, target[i], units) && (property == kMargin || (!target[i].IsAuto() && target[i].value >= 0));
        });
        break;
    }
    case kBorder: {
        BorderSide parsed;
        ok = ParseBorder(d.value, parsed, units);
        for (int i = 0; i < 4 && ok; ++i)
            if (side < 0 || side == i)
                style.border[i] = parsed;
        break;
    }
    case kBorderWidth: case kBorderStyle: case kBorderColor: {
        BorderSide parsed[4];
        std::copy(style.border, style.border + 4, parsed);
        ok = sides([&](const std::wstring& w, int i) {
            BorderSide& s = parsed[i];
            if (property == kBorderWidth)
                return ParseBorderWidth(w, s.width, units);
            if (property == kBorderStyle)
                return ParseBorderStyle(w, s.style);
            s.currentColor = w == L"currentcolor";
            return s.currentColor || ParseColor(w, s.color, alpha);
        });
        if (ok)
            std::copy(parsed, parsed + 4, style.border);
        break;
    }
    case kBorderRadius: {
        int radii[4];
        std::copy(style.radius, style.radius + 4, radii);
        const std::wstring before = value.substr(0, value.find(L'/'));
        ok = side >= 0 ? ParsePixels(Words(value).empty() ? value : Words(value)[0], radii[side], units)
                       : (side = -1, true);
        if (side < 0) {
            const std::vector<std::wstring> words = Words(before);
            ok = !words.empty() && words.size() <= 4;
            const size_t n = words.size();
            const size_t which[4] = {0, n > 1 ? 1u : 0u, n > 2 ? 2u : 0u, n > 3 ? 3u : n > 1 ? 1u : 0u};
            for (int i = 0; i < 4 && ok; ++i)
                ok = ParsePixels(words[which[i]], radii[i], units) && radii[i] >= 0;
        }
        if (ok)
            std::copy(radii, radii + 4, style.radius);
        break;
    }
    case kBorderCollapse:
        if ((ok = (k = Keyword(value, L"separate|collapse")) >= 0))
            style.collapse = k == 1;
        break;
    case kBorderSpacing: {
        const std::vector<std::wstring> words = Words(value);
        int x = 0, y = 0;
        ok = !words.empty() && words.size() <= 2 && ParsePixels(words[0], x, units) && ParsePixels(words.back(), y, units);
        if (ok) {
            style.spacingX = std::max(x, 0);
            style.spacingY = std::max(y, 0);
        }
        break;
    }
    case kBoxSizing:
        if ((ok = (k = Keyword(value, L"content-box|border-box")) >= 0))
            style.borderBox = k == 1;
        break;
    case kOverflow: case kOverflowX: case kOverflowY:
        if ((ok = (k = Keyword(value, L"visible|hidden|clip|auto|scroll")) >= 0))
            style.overflowHidden = k > 0;
        if (k > 2)
            return L"scrolls nowhere: the content is clipped";
        break;
    case kOpacity:
        ok = ParseOpacity(value, style.opacity);
        break;
    case kBoxShadow:
        ok = ParseShadow(d.value, style.shadow, units);
        break;
    case kColor:
        ok = ParseColor(value, style.color, alpha);
        break;
    case kBackground:
        ok = ParseBackground(d.value, style, baseUrl, units);
        break;
    case kBackgroundColor:
        if ((ok = ParseColor(value, style.background, alpha))) {
            style.hasBackground = alpha > 0;
            style.backgroundAlpha = alpha;
        }
        break;
    case kBackgroundImage: case kForegroundImage: case kListStyleImage: {
        std::wstring& image = property == kBackgroundImage   ? style.backgroundImage
                              : property == kForegroundImage ? style.foregroundImage
                                                             : style.listImage;
        if (property == kBackgroundImage)
            style.gradient.clear();
        if (value == L"none")
            image.clear();
        else if (!UrlOf(d.value).empty())
            image = ResolveUrl(baseUrl, UrlOf(d.value));
        else
            ok = property == kBackgroundImage && ParseGradient(value, style);
        break;
    }
    case kBackgroundRepeat:
        ok = ParseRepeat(value, style);
        break;
    case kBackgroundPosition:
        ok = ParsePosition(value, style, units);
        break;
    case kBackgroundSize:
        ok = ParseBackgroundSize(value, style, units);
        break;
    case kFont:
        ok = ParseFont(d.value, style, units);
        break;
    case kFontFamily:
        ok = ParseFamily(d.value, style.fontFamily);
        break;
    case kFontSize:
        ok = ParseFontSize(value, style.fontSize, units);
        break;
    case kFontWeight:
        ok = ParseWeight(value, style.bold);
        break;
    case kFontStyle:
        if ((ok = (k = Keyword(value, L"normal|italic|oblique")) >= 0))
            style.italic = k > 0;
        break;
    case kTextDecoration: case kTextDecorationLine:
        if ((ok = (k = Keyword(value, L"none|underline")) >= 0))
            style.underline = k == 1;
        break;
    case kTextAlign: {
        static const TextAlign kAligns[] = {TextAlign::Left, TextAlign::Right, TextAlign::Center, TextAlign::Justify,
                                            TextAlign::Left, TextAlign::Right};
        if ((ok = (k = Keyword(value, L"left|right|center|justify|start|end")) >= 0))
            style.textAlign = kAligns[k];
        break;
    }
    case kLineHeight:
        ok = ParseLineHeight(value, style.lineHeight, units);
        break;
    case kVerticalAlign: {
        static const VerticalAlign kAligns[] = {VerticalAlign::Baseline, VerticalAlign::Middle, VerticalAlign::Top,
                                                VerticalAlign::Bottom, VerticalAlign::Top, VerticalAlign::Bottom};
        if ((ok = (k = Keyword(value, L"baseline|middle|top|bottom|text-top|text-bottom")) >= 0))
            style.verticalAlign = kAligns[k];
        break;
    }
    case kWhiteSpace:
        k = Keyword(value, L"normal|nowrap|pre");
        style.nowrap = k > 0;
        ok = k == 0 || k == 1;
        break;
    case kLetterSpacing:
        if (value == L"normal")
            style.letterSpacing = 0;
        else
            ok = ParsePixels(value, style.letterSpacing, units);
        break;
    case kTextTransform:
        if ((ok = (k = Keyword(value, L"none|uppercase|lowercase|capitalize")) >= 0))
            style.transform = static_cast<Style::Transform>(k);
        break;
    case kListStyleType:
        if ((ok = (k = Keyword(value, L"disc|circle|square|decimal|none")) >= 0))
            style.listStyle = static_cast<ListStyle>(k);
        break;
    case kListStyle:
        for (const std::wstring& word : Words(value)) {
            const bool image = !UrlOf(word).empty();
            if (word != L"outside" && Apply(style, {image ? L"list-style-image" : L"list-style-type", word}, baseUrl, units))
                ok = false;
        }
        break;
    case kListStylePosition:
        ok = value == L"outside";
        break;
    case kTableLayout:
        if ((ok = (k = Keyword(value, L"auto|fixed")) >= 0))
            style.fixedTable = k == 1;
        break;
    case kFlexDirection:
        if ((ok = (k = Keyword(value, L"row|column")) >= 0))
            style.flexColumn = k == 1;
        break;
    case kFlexWrap:
        ok = value == L"nowrap";
        break;
    case kJustifyContent: {
        static const Justify kJustify[] = {Justify::Start, Justify::Start, Justify::Start, Justify::Start,
                                           Justify::End, Justify::End, Justify::End, Justify::Center,
                                           Justify::SpaceBetween, Justify::SpaceAround, Justify::SpaceEvenly};
        if ((ok = (k = Keyword(value, L"flex-start|start|left|normal|flex-end|end|right|center|space-between|"
                                      L"space-around|space-evenly")) >= 0))
            style.justifyContent = kJustify[k];
        break;
    }
    case kAlignItems: {
        static const Align kAlign[] = {Align::Stretch, Align::Stretch, Align::Start, Align::Start,
                                       Align::Start,   Align::End,     Align::End,   Align::Center};
        if ((ok = (k = Keyword(value, L"stretch|normal|flex-start|start|baseline|flex-end|end|center")) >= 0))
            style.alignItems = kAlign[k];
        break;
    }
    case kGap: case kRowGap: case kColumnGap: {
        const std::vector<std::wstring> words = Words(value);
        int row = 0, column = 0;
        ok = !words.empty() && words.size() <= 2 && ParsePixels(words[0], row, units) &&
             ParsePixels(words.back(), column, units);
        if (ok && property != kColumnGap)
            style.rowGap = std::max(row, 0);
        if (ok && property != kRowGap)
            style.columnGap = std::max(property == kGap ? column : row, 0);
        break;
    }
    case kFlex:
        ok = ParseFlex(value, style, units);
        break;
    case kFlexGrow: case kFlexShrink: {
        size_t pos = 0;
        double number = 0;
        if ((ok = ParseNumber(value, pos, number) && pos == value.size() && number >= 0))
            (property == kFlexGrow ? style.flexGrow : style.flexShrink) = Round(number * 100);
        break;
    }
    case kFlexBasis:
        ok = ParseLength(value, style.flexBasis, units);
        break;
    case kCursor:
        style.pointer = value == L"pointer" || value == L"hand";
        break;
    case kVisibility:
        if ((ok = (k = Keyword(value, L"visible|hidden|collapse")) >= 0))
            style.visible = k == 0;
        break;
    case kBehavior:
        style.behavior.clear();
        for (wchar_t c : Trim(d.value))
            if (c < 0x80)
                style.behavior += static_cast<char>(c);
        break;
    }
    return ok ? nullptr : kBadValue;
}

// The usual browser defaults, as a style sheet whose rules come before the page's.
const char kDefaultSheet[] =
    "html,body,div,p,h1,h2,h3,h4,h5,h6,ul,ol,form,center,header,footer,section,article,nav,main,blockquote,pre,hr,"
    "dl,dt,dd,address,fieldset,figure,figcaption,aside,caption,details,summary,menu,legend{display:block}"
    "head,title,style,script,meta,link,base,template,noscript,datalist{display:none}"
    "li{display:list-item}table{display:table;border-spacing:2px;border-collapse:separate}"
    "thead,tbody,tfoot{display:table-row-group}tr{display:table-row}"
    "td,th{display:table-cell;vertical-align:middle;padding:1px}th{font-weight:bold;text-align:center}"
    "body{margin:8px}p,dl,pre{margin:1em 0}blockquote,figure{margin:1em 40px}dd{margin-left:40px}"
    "ul,ol{margin:1em 0;padding-left:40px}ol{list-style-type:decimal}ul ul,ol ul{list-style-type:circle}"
    "ul ul ul,ol ul ul,ul ol ul{list-style-type:square}li ul,li ol,ul ul,ol ol,ul ol,ol ul{margin:0}"
    "h1{font-size:2em;margin:.67em 0}h2{font-size:1.5em;margin:.83em 0}h3{font-size:1.17em;margin:1em 0}"
    "h4{margin:1.33em 0}h5{font-size:.83em;margin:1.67em 0}h6{font-size:.67em;margin:2.33em 0}"
    "h1,h2,h3,h4,h5,h6,b,strong{font-weight:bold}i,em,cite,var,address,dfn{font-style:italic}"
    "u,ins{text-decoration:underline}a[href]{color:#0000ee;text-decoration:underline;cursor:pointer}"
    "center{text-align:center}small{font-size:smaller}big{font-size:larger}"
    "pre,code,kbd,samp,tt{font-family:monospace;font-size:.8125em}pre{white-space:pre}"
    "hr{margin:.5em auto;border:1px solid gray}"
    "button{display:inline-block;padding:1px 6px;border:2px solid #767676;background-color:#efefef;text-align:center}";

const std::vector<Rule>& DefaultRules()
{
    static std::vector<Rule>* rules = nullptr;
    if (!rules) {
        rules = new std::vector<Rule>;  // kept for the life of the process
        ParseStyleSheet(std::wstring(kDefaultSheet, kDefaultSheet + sizeof(kDefaultSheet) - 1), *rules);
    }
    return *rules;
}

// HTML's presentational attributes, as the declarations they stand for.
void AddHints(const Element* e, std::vector<Declaration>& hints)
{
    const std::wstring& tag = e->tag;
    const Element* table = nullptr;
    for (const Element* a = e->parent; a && !table; a = a->parent)
        if (a->tag == L"table")
            table = a;
    auto attribute = [](const Element* of, const wchar_t* name) {
        const std::wstring* value = of ? of->Attribute(name) : nullptr;
        return value ? *value : std::wstring();
    };
    auto add = [&](const wchar_t* property, const std::wstring& value) {
        if (!value.empty())
            hints.push_back({property, value});
    };
    auto pixels = [](const std::wstring& value) {
        return value.empty() || value.back() == L'%' ? value : value + L"px";
    };
    if (tag == L"img" || tag == L"table" || tag == L"td" || tag == L"th") {
        add(L"width", pixels(attribute(e, L"width")));
        add(L"height", pixels(attribute(e, L"height")));
    }
    if (tag == L"table") {
        add(L"border-spacing", pixels(attribute(e, L"cellspacing")));
        const std::wstring border = attribute(e, L"border");
        if (!border.empty() && border != L"0")
            add(L"border", pixels(border) + L" solid gray");
    }
    if (tag == L"td" || tag == L"th") {
        add(L"padding", pixels(attribute(table, L"cellpadding")));
        const std::wstring border = attribute(table, L"border");
        if (!border.empty() && border != L"0")
            add(L"border", L"1px solid gray");
    }
    const std::wstring align = Lower(attribute(e, L"align"));
    if (tag == L"img")
        add(L"float", align == L"left" || align == L"right" ? align : L"");
    else if (tag == L"table" && align == L"center")
        add(L"margin", L"0 auto");
    else if (tag != L"table")
        add(L"text-align", align);
    add(L"vertical-align", attribute(e, L"valign"));
    add(L"background-color", attribute(e, L"bgcolor"));
}

// What an element takes from its parent before any rule.
Style Inherited(const Style& parent)
{
    Style style;
    style.color = parent.color;
    style.fontFamily = parent.fontFamily;
    style.fontSize = parent.fontSize;
    style.bold = parent.bold;
    style.italic = parent.italic;
    style.underline = parent.underline;
    style.pointer = parent.pointer;
    style.visible = parent.visible;
    style.nowrap = parent.nowrap;
    style.textAlign = parent.textAlign;
    style.lineHeight = parent.lineHeight;
    style.letterSpacing = parent.letterSpacing;
    style.transform = parent.transform;
    style.listStyle = parent.listStyle;
    style.listImage = parent.listImage;
    style.spacingX = parent.spacingX;
    style.spacingY = parent.spacingY;
    style.collapse = parent.collapse;
    return style;
}

// The candidate whose density is the smallest at or above the window's, else the densest; src
// is a 1x candidate.
void ChooseSource(Element* e, const std::wstring& baseUrl, int dpi)
{
    const std::wstring* src = e->Attribute(L"src");
    const std::wstring* srcset = e->Attribute(L"srcset");
    std::vector<SourceCandidate> candidates = srcset ? SrcsetCandidates(*srcset) : std::vector<SourceCandidate>();
    if (src)
        candidates.insert(candidates.begin(), {*src, 2});
    const int wanted = (dpi * 2 + kCssDpi - 1) / kCssDpi;
    const SourceCandidate* best = nullptr;
    for (const SourceCandidate& c : candidates) {
        const bool fits = c.halves >= wanted, bestFits = best && best->halves >= wanted;
        if (!best || (fits != bestFits ? fits : fits ? c.halves < best->halves : c.halves > best->halves))
            best = &c;
    }
    if (!best)
        return;
    e->style.source = ResolveUrl(baseUrl, best->url);
    e->style.sourceDensity = best->halves;
}

// The declarations of the rules that match, in cascade order: by specificity, then position.
void AddMatching(const Element* e, const std::vector<Rule>& rules, std::vector<const Declaration*>& out)
{
    std::vector<const Rule*> matched;
    for (const Rule& rule : rules)
        if (Matches(rule.selector, e))
            matched.push_back(&rule);
    std::sort(matched.begin(), matched.end(), [](const Rule* a, const Rule* b) {
        return a->selector.specificity != b->selector.specificity ? a->selector.specificity < b->selector.specificity
                                                                  : a->order < b->order;
    });
    for (const Rule* rule : matched)
        for (const Declaration& d : rule->declarations)
            out.push_back(&d);
}

void ComputeOne(Element* e, const std::vector<Rule>& rules, const Style& parent, const std::wstring& baseUrl,
                Units units)
{
    units.font = parent.fontSize;
    e->style = Inherited(parent);
    if (!e->IsText()) {
        // The browser's defaults, the markup's hints, the page's rules, the style attribute.
        std::vector<const Declaration*> declarations;
        AddMatching(e, DefaultRules(), declarations);
        std::vector<Declaration> hints;
        AddHints(e, hints);
        for (const Declaration& d : hints)
            declarations.push_back(&d);
        AddMatching(e, rules, declarations);
        std::vector<Declaration> inlineStyle;
        if (const std::wstring* attribute = e->Attribute(L"style"))
            inlineStyle = ParseDeclarations(*attribute);
        for (const Declaration& d : inlineStyle)
            declarations.push_back(&d);
        // The font size first: em in every other value of the element means its own size.
        auto isFont = [](const Declaration* d) { return d->property == L"font" || d->property == L"font-size"; };
        for (const Declaration* d : declarations)
            if (isFont(d))
                Apply(e->style, *d, baseUrl, units);
        units.font = e->style.fontSize;
        if (e->tag == L"html")
            units.rootFont = units.font;
        for (const Declaration* d : declarations)
            if (!isFont(d))
                Apply(e->style, *d, baseUrl, units);
        if (e->tag == L"img")
            ChooseSource(e, baseUrl, units.dpi);
    }
    for (Element* child : e->children)
        ComputeOne(child, rules, e->style, baseUrl, units);
}

}  // namespace

std::vector<SourceCandidate> SrcsetCandidates(const std::wstring& srcset)
{
    std::vector<SourceCandidate> candidates;
    for (const std::wstring& part : SplitTopLevel(srcset, L',')) {
        const std::wstring text = Trim(part);
        const size_t space = text.find_first_of(L" \t\r\n\f");
        const std::wstring descriptor = space == std::wstring::npos ? L"1x" : Lower(Trim(text.substr(space)));
        size_t pos = 0;
        double density = 0;
        if (space == 0 || text.empty() || !ParseNumber(descriptor, pos, density) || descriptor.substr(pos) != L"x" ||
            density < 0 || density > 8)
            continue;
        const int halves = static_cast<int>(density * 2);
        if (halves > 0)
            candidates.push_back({text.substr(0, space), halves});
    }
    return candidates;
}

const wchar_t* DeclarationProblem(const Declaration& d)
{
    Style scratch;
    return Apply(scratch, d, L"", Units{kCssDpi, 16, 16});
}

void ComputeStyles(Element* root, const std::vector<Rule>& rules, const std::wstring& baseUrl, int dpi)
{
    Style parent;
    Units units{dpi, 0, DevicePixels(16, dpi)};
    if (root->parent) {
        parent = root->parent->style;
    } else {
        parent.fontFamily = L"Times New Roman";
        parent.fontSize = units.rootFont;
    }
    ComputeOne(root, rules, parent, baseUrl, units);
}

}  // namespace hl
