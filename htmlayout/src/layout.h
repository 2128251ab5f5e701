// Layout: block, inline, table and flex formatting, floats and positioned boxes.
#pragma once
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dom.h"
#include "image.h"

namespace hl {

// The page's decoded images by URL. A page has a handful, so a list searched in order does.
class ImageMap {
public:
    // An element without an image has an empty URL: it finds none.
    const Image* Find(const std::wstring& url) const
    {
        for (const auto& entry : entries_)
            if (entry.first == url && !url.empty())
                return &entry.second;
        return nullptr;
    }
    void Set(const std::wstring& url, Image image)
    {
        for (auto& entry : entries_)
            if (entry.first == url) {
                entry.second = std::move(image);
                return;
            }
        entries_.emplace_back(url, std::move(image));
    }
    void Clear() { entries_.clear(); }

private:
    std::vector<std::pair<std::wstring, Image>> entries_;
};

// The fonts of a page, made on first use, and a screen-compatible DC to measure text with.
class Fonts {
public:
    Fonts();
    ~Fonts();
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;

    // Selects the style's font into dc (or the measuring DC when dc is null).
    void Select(const Style& style, HDC dc = nullptr);
    // The height (ascent and descent), ascent and the line height "normal" gives.
    void Metrics(const Style& style, int& height, int& ascent, int* normalLine = nullptr);
    // The advance of the text, letter spacing included: never less than nothing (a strongly negative
    // spacing), and at most a million pixels, so that the widths of a line add up without overflow.
    int TextWidth(const Style& style, const std::wstring& text)
    {
        const long long spacing = static_cast<long long>(style.letterSpacing) * static_cast<long long>(text.size());
        return static_cast<int>(std::min(std::max(Advance(style, text) + spacing, 0LL), kMaxTextWidth));
    }
    HDC MeasuringDc() const { return dc_; }

private:
    static constexpr long long kMaxTextWidth = 1 << 20;
    // The glyphs' advance alone, as the font measures it.
    long long Advance(const Style& style, const std::wstring& text);

    struct Entry {
        std::wstring family;  // as the style lists them
        int size;
        bool bold, italic;
        HFONT font;
        int height, ascent, leading;
    };
    const Entry& Find(const Style& style);
    // The first family of the list the system has (generic names mapped), else the first.
    std::wstring Family(const std::wstring& list);

    HDC dc_;
    std::vector<Entry> fonts_;
};

struct LayoutResult {
    int right = 0;   // the right-most and bottom-most edges of all boxes
    int bottom = 0;
    std::vector<Element*> paintOrder;  // back to front
};

// Lays out the page for a client area of the given size, its styles computed for dpi. The page's
// elements get their boxes.
LayoutResult LayOut(Document& document, Fonts& fonts, const ImageMap& images, int width, int height, int dpi);

}  // namespace hl
