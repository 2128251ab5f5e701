// The engine's one measure of text: GDI fonts on a screen-compatible DC. Kept apart from layout so
// that a build without GDI can measure with a stand-in of its own.
#include "layout.h"

#include "css.h"

namespace hl {

namespace {

int CALLBACK FamilyFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

}  // namespace

Fonts::Fonts() : dc_(CreateCompatibleDC(nullptr)) {}

Fonts::~Fonts()
{
    if (dc_)
        DeleteDC(dc_);
    for (const Entry& entry : fonts_)
        DeleteObject(entry.font);
}

std::wstring Fonts::Family(const std::wstring& list)
{
    static const struct {
        const wchar_t* generic;
        const wchar_t* face;
    } kGeneric[] = {{L"serif", L"Times New Roman"}, {L"sans-serif", L"Arial"}, {L"monospace", L"Courier New"},
                    {L"cursive", L"Comic Sans MS"},  {L"fantasy", L"Impact"},   {L"system-ui", L"Segoe UI"}};
    std::vector<std::wstring> names = SplitTopLevel(list, L',');
    for (std::wstring& name : names) {
        for (const auto& g : kGeneric)
            if (_wcsicmp(name.c_str(), g.generic) == 0)
                name = g.face;
        LOGFONTW query = {};
        query.lfCharSet = DEFAULT_CHARSET;
        wcsncpy(query.lfFaceName, name.c_str(), LF_FACESIZE - 1);
        bool found = false;
        EnumFontFamiliesExW(dc_, &query, FamilyFound, reinterpret_cast<LPARAM>(&found), 0);
        if (found)
            return name;
    }
    return names.empty() ? std::wstring() : names[0];
}

const Fonts::Entry& Fonts::Find(const Style& style)
{
    for (const Entry& entry : fonts_)
        if (entry.size == style.fontSize && entry.bold == style.bold && entry.italic == style.italic &&
            entry.family == style.fontFamily)
            return entry;
    Entry entry{style.fontFamily, style.fontSize, style.bold, style.italic, nullptr, style.fontSize, style.fontSize, 0};
    entry.font = CreateFontW(-style.fontSize, 0, 0, 0, style.bold ? FW_BOLD : FW_NORMAL, style.italic, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, Family(style.fontFamily).c_str());
    if (!entry.font)
        entry.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics;
    if (dc_ && SelectObject(dc_, entry.font) && GetTextMetricsW(dc_, &metrics)) {
        entry.height = metrics.tmHeight;
        entry.ascent = metrics.tmAscent;
        entry.leading = metrics.tmExternalLeading;
    }
    fonts_.push_back(entry);
    return fonts_.back();
}

void Fonts::Select(const Style& style, HDC dc)
{
    SelectObject(dc ? dc : dc_, Find(style).font);
}

void Fonts::Metrics(const Style& style, int& height, int& ascent, int* normalLine)
{
    const Entry& entry = Find(style);
    height = entry.height;
    ascent = entry.ascent;
    if (normalLine)
        *normalLine = entry.height + entry.leading;
}

long long Fonts::Advance(const Style& style, const std::wstring& text)
{
    Select(style);
    SIZE size = {0, 0};
    if (!dc_ || !GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size))
        return static_cast<long long>(text.size()) * style.fontSize / 2;
    return size.cx;
}

}  // namespace hl
