#include "layout.h"

#include <algorithm>

namespace hl {

namespace {

// Wider than any window: the width at which a box's content takes its natural width.
constexpr int kUnbounded = 1 << 20;

bool IsReplaced(const Element* e)
{
    return e->tag == L"img";
}

bool IsAbsolute(const Element* e)
{
    return !e->IsText() && e->style.position == Position::Absolute;
}

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f';
}

void Unite(Box& box, const Box& other)
{
    if (other.width <= 0 && other.height <= 0)
        return;
    if (box.width <= 0 && box.height <= 0) {
        box = other;
        return;
    }
    const int right = std::max(box.x + box.width, other.x + other.width);
    const int bottom = std::max(box.y + box.height, other.y + other.height);
    box.x = std::min(box.x, other.x);
    box.y = std::min(box.y, other.y);
    box.width = right - box.x;
    box.height = bottom - box.y;
}

struct Item {
    enum Kind { Word, Space, Replaced, Atomic, Break, Marker } kind;
    Element* e;
    std::wstring text;
    int width = 0, height = 0, ascent = 0;
    size_t pendingFrom = 0;  // atomic boxes: the first positioned box found inside
};

class Layouter {
public:
    Layouter(Fonts& fonts, const ImageMap& images, int width, int height, int dpi)
        : fonts_(fonts), images_(images), viewport_{0, 0, std::max(width, 0), std::max(height, 0)}, dpi_(dpi) {}

    LayoutResult Run(Document& document)
    {
        Element* root = document.root;
        LayoutBlock(root, 0, 0, viewport_.width, -1, -1);
        // Boxes taken out of the flow, once their containing blocks have their places; a box
        // laid out here may add its own positioned descendants to the end of the list.
        for (size_t i = 0; i < pending_.size(); ++i)
            LayoutAbsolute(pending_[i]);
        LayoutResult result;
        Order(root, result.paintOrder);
        for (const Element* e : result.paintOrder) {
            if (e->IsText()) {
                for (const TextPiece& piece : e->pieces) {
                    result.right = std::max(result.right, piece.x + piece.width);
                    result.bottom = std::max(result.bottom, piece.y + piece.height);
                }
                continue;
            }
            result.right = std::max(result.right, e->box.x + e->box.width + std::max(e->style.margin[1], 0));
            result.bottom = std::max(result.bottom, e->box.y + e->box.height + std::max(e->style.margin[2], 0));
        }
        return result;
    }

private:
    struct Pending {
        Element* e;
        int staticX, staticY;
    };

    const Image* FindImage(const std::wstring& url) const
    {
        auto it = images_.find(url);
        return it == images_.end() ? nullptr : &it->second;
    }

    // An image's box: the size the page gives it, else the image's own CSS size (keeping its
    // proportions when only one side is given), plus padding.
    void ReplacedSize(const Element* e, int& width, int& height) const
    {
        const Style& s = e->style;
        const Image* image = FindImage(s.source);
        const int iw = image ? MulDiv(image->width * 2, dpi_, kCssDpi * s.sourceDensity) : 0;
        const int ih = image ? MulDiv(image->height * 2, dpi_, kCssDpi * s.sourceDensity) : 0;
        width = !s.width.isAuto ? std::max(s.width.px, 0) : !s.height.isAuto && ih ? iw * s.height.px / ih : iw;
        height = !s.height.isAuto ? std::max(s.height.px, 0) : !s.width.isAuto && iw ? ih * s.width.px / iw : ih;
        width = std::max(width, 0) + s.padding[1] + s.padding[3];
        height = std::max(height, 0) + s.padding[0] + s.padding[2];
    }

    // Lays out a block-level box at x, y (its margin edge) in a space availableWidth wide;
    // a width or height of -1 is taken from the style. Answers the height with margins.
    int LayoutBlock(Element* e, int x, int y, int availableWidth, int width, int height)
    {
        const Style& s = e->style;
        const int bx = x + s.margin[3], by = y + s.margin[0];
        if (IsReplaced(e)) {
            int w, h;
            ReplacedSize(e, w, h);
            e->box = {bx, by, width >= 0 ? width : w, height >= 0 ? height : h};
            return s.margin[0] + e->box.height + s.margin[2];
        }
        const int horizontal = s.padding[1] + s.padding[3], vertical = s.padding[0] + s.padding[2];
        int w = width;
        if (w < 0)
            w = !s.width.isAuto ? std::max(s.width.px, 0) + horizontal
                                : std::max(availableWidth - s.margin[1] - s.margin[3], 0);
        const int contentHeight =
            LayoutChildren(e, bx + s.padding[3], by + s.padding[0], std::max(w - horizontal, 0));
        int h = height;
        if (h < 0)
            h = (!s.height.isAuto ? std::max(s.height.px, 0) : contentHeight) + vertical;
        e->box = {bx, by, w, h};
        return s.margin[0] + h + s.margin[2];
    }

    int LayoutChildren(Element* e, int x, int y, int width)
    {
        int cursor = y;
        std::vector<Element*> run;
        auto flush = [&] {
            if (!run.empty())
                cursor += LayoutLines(run, x, cursor, width);
            run.clear();
        };
        for (Element* child : e->children) {
            if (child->style.display == Display::None)
                continue;
            if (child->IsText() || IsAbsolute(child) || child->style.display == Display::Inline) {
                run.push_back(child);
                continue;
            }
            flush();
            const size_t pendingBefore = pending_.size();
            cursor += LayoutBlock(child, x, cursor, width, -1, -1);
            if (child->style.position == Position::Relative) {
                const Style& s = child->style;
                Shift(child, !s.left.isAuto ? s.left.px : !s.right.isAuto ? -s.right.px : 0,
                      !s.top.isAuto ? s.top.px : !s.bottom.isAuto ? -s.bottom.px : 0, pendingBefore);
            }
        }
        flush();
        return cursor - y;
    }

    void AddText(Element* e, std::vector<Item>& items)
    {
        int height, ascent;
        fonts_.Metrics(e->style, height, ascent);
        const std::wstring& text = e->text;
        size_t pos = 0;
        while (pos < text.size()) {
            if (IsSpace(text[pos])) {
                while (pos < text.size() && IsSpace(text[pos]))
                    ++pos;
                if (items.empty() || items.back().kind != Item::Space)
                    items.push_back({Item::Space, e, L" ", fonts_.TextWidth(e->style, L" "), height, ascent});
                continue;
            }
            size_t end = pos;
            while (end < text.size() && !IsSpace(text[end]))
                ++end;
            std::wstring word = text.substr(pos, end - pos);
            const int width = fonts_.TextWidth(e->style, word);
            items.push_back({Item::Word, e, std::move(word), width, height, ascent});
            pos = end;
        }
    }

    void Collect(Element* e, int lineWidth, std::vector<Item>& items, std::vector<Element*>& inlines)
    {
        if (e->style.display == Display::None)
            return;
        if (e->IsText()) {
            e->pieces.clear();
            e->box = Box();
            AddText(e, items);
        } else if (IsAbsolute(e)) {
            items.push_back({Item::Marker, e, L""});
        } else if (IsReplaced(e)) {
            int w, h;
            ReplacedSize(e, w, h);
            items.push_back({Item::Replaced, e, L"", w + e->style.margin[1] + e->style.margin[3], h, h});
        } else if (e->tag == L"br") {
            int height, ascent;
            fonts_.Metrics(e->style, height, ascent);
            items.push_back({Item::Break, e, L"", 0, height, ascent});
        } else if (e->style.display == Display::Block) {
            // A block inside a line is laid out on its own and placed like an image.
            const size_t pendingFrom = pending_.size();
            const int h = LayoutBlock(e, 0, 0, lineWidth, -1, -1);
            const int w = e->box.width + e->style.margin[1] + e->style.margin[3];
            items.push_back({Item::Atomic, e, L"", w, h, h, pendingFrom});
        } else {
            inlines.push_back(e);
            for (Element* child : e->children)
                Collect(child, lineWidth, items, inlines);
        }
    }

    // Lays out a run of inline content in lines; answers their height.
    int LayoutLines(const std::vector<Element*>& run, int x, int y, int width)
    {
        std::vector<Item> items;
        std::vector<Element*> inlines;
        for (Element* e : run)
            Collect(e, width, items, inlines);
        int top = y;
        std::vector<std::pair<const Item*, int>> line;  // item, x offset
        int pen = 0;
        auto finish = [&](const Item* lineBreak) {
            while (!line.empty() && line.back().first->kind == Item::Space)
                line.pop_back();
            int ascent = 0, descent = 0;
            bool content = false;
            for (const auto& placed : line) {
                const Item& item = *placed.first;
                if (item.kind == Item::Marker)
                    continue;
                content = true;
                ascent = std::max(ascent, item.ascent);
                descent = std::max(descent, item.height - item.ascent);
            }
            if (!content && lineBreak) {
                ascent = lineBreak->ascent;
                descent = lineBreak->height - lineBreak->ascent;
            }
            for (const auto& placed : line)
                Place(*placed.first, x + placed.second, top, top + ascent - placed.first->ascent);
            top += ascent + descent;
            line.clear();
            pen = 0;
        };
        for (const Item& item : items) {
            switch (item.kind) {
            case Item::Break:
                finish(&item);
                break;
            case Item::Space:
                if (!line.empty()) {
                    line.emplace_back(&item, pen);
                    pen += item.width;
                }
                break;
            case Item::Marker:
                line.emplace_back(&item, pen);
                break;
            default: {
                const bool hasContent = std::any_of(line.begin(), line.end(), [](const std::pair<const Item*, int>& p) {
                    return p.first->kind != Item::Space && p.first->kind != Item::Marker;
                });
                if (hasContent && pen + item.width > width)
                    finish(nullptr);
                line.emplace_back(&item, pen);
                pen += item.width;
            }
            }
        }
        if (!line.empty())
            finish(nullptr);
        // Inline elements cover what was placed inside them, innermost first.
        for (auto it = inlines.rbegin(); it != inlines.rend(); ++it) {
            Element* e = *it;
            e->box = Box();
            for (const Element* child : e->children)
                if (child->style.display != Display::None && !IsAbsolute(child))
                    Unite(e->box, child->box);
        }
        return top - y;
    }

    void Place(const Item& item, int x, int lineTop, int y)
    {
        Element* e = item.e;
        switch (item.kind) {
        case Item::Word:
        case Item::Space: {
            std::vector<TextPiece>& pieces = e->pieces;
            if (!pieces.empty() && pieces.back().y == y && pieces.back().x + pieces.back().width == x) {
                pieces.back().text += item.text;
                pieces.back().width += item.width;
            } else {
                pieces.push_back({x, y, item.width, item.height, item.text});
            }
            Unite(e->box, Box{x, y, item.width, item.height});
            break;
        }
        case Item::Replaced:
            e->box = {x + e->style.margin[3], y, item.width - e->style.margin[1] - e->style.margin[3], item.height};
            break;
        case Item::Atomic:
            Shift(e, x, y, item.pendingFrom);
            break;
        case Item::Marker:
            pending_.push_back({e, x, lineTop});
            break;
        case Item::Break:
            break;
        }
    }

    // Moves a laid-out box with everything inside it, and the static places of positioned
    // boxes found inside it since pendingFrom.
    void Shift(Element* e, int dx, int dy, size_t pendingFrom)
    {
        if (dx == 0 && dy == 0)
            return;
        ShiftTree(e, dx, dy);
        for (size_t i = pendingFrom; i < pending_.size(); ++i) {
            pending_[i].staticX += dx;
            pending_[i].staticY += dy;
        }
    }

    void ShiftTree(Element* e, int dx, int dy)
    {
        e->box.x += dx;
        e->box.y += dy;
        for (TextPiece& piece : e->pieces) {
            piece.x += dx;
            piece.y += dy;
        }
        for (Element* child : e->children)
            if (!IsAbsolute(child))
                ShiftTree(child, dx, dy);
    }

    Box ContainingBlock(const Element* e) const
    {
        for (const Element* a = e->parent; a; a = a->parent)
            if (a->style.position != Position::Static)
                return a->box;
        return viewport_;
    }

    // The right-most edge of the content inside e, blocks of automatic width counting by their
    // own content.
    static int ContentRight(const Element* e)
    {
        int right = e->box.x + e->style.padding[3];
        for (const Element* child : e->children) {
            if (child->style.display == Display::None || IsAbsolute(child))
                continue;
            if (child->IsText()) {
                for (const TextPiece& piece : child->pieces)
                    right = std::max(right, piece.x + piece.width);
                continue;
            }
            const bool fluid = child->style.display == Display::Block && !IsReplaced(child) &&
                               child->style.width.isAuto;
            const int edge = fluid ? ContentRight(child) + child->style.padding[1] : child->box.x + child->box.width;
            right = std::max(right, edge + std::max(child->style.margin[1], 0));
        }
        return right;
    }

    void LayoutAbsolute(const Pending& p)
    {
        Element* e = p.e;
        const Style& s = e->style;
        const Box cb = ContainingBlock(e);
        const int horizontal = s.padding[1] + s.padding[3], vertical = s.padding[0] + s.padding[2];
        int w = -1, h = -1;
        if (IsReplaced(e))
            ReplacedSize(e, w, h);
        if (!s.width.isAuto)
            w = std::max(s.width.px, 0) + horizontal;
        else if (!s.left.isAuto && !s.right.isAuto)
            w = std::max(cb.width - s.left.px - s.right.px - s.margin[1] - s.margin[3], 0);
        else if (w < 0) {  // as wide as its content, at most the containing block
            const size_t before = pending_.size();
            LayoutBlock(e, 0, 0, kUnbounded, -1, -1);
            pending_.resize(before);
            w = std::min(ContentRight(e) - e->box.x + s.padding[1], std::max(cb.width, 0));
            w = std::max(w, horizontal);
        }
        if (!s.height.isAuto)
            h = std::max(s.height.px, 0) + vertical;
        else if (!s.top.isAuto && !s.bottom.isAuto)
            h = std::max(cb.height - s.top.px - s.bottom.px - s.margin[0] - s.margin[2], 0);
        const int x = !s.left.isAuto    ? cb.x + s.left.px
                      : !s.right.isAuto ? cb.x + cb.width - s.right.px - s.margin[1] - w - s.margin[3]
                                        : p.staticX;
        const size_t pendingBefore = pending_.size();
        LayoutBlock(e, x, 0, w + s.margin[1] + s.margin[3], w, h);
        const int height = e->box.height;
        const int y = !s.top.isAuto    ? cb.y + s.top.px
                      : !s.bottom.isAuto ? cb.y + cb.height - s.bottom.px - s.margin[2] - height - s.margin[0]
                                         : p.staticY;
        Shift(e, 0, y, pendingBefore);
    }

    // Back to front: the flow of a layer in document order, then its positioned boxes, each
    // with its own layer.
    static void Order(Element* layer, std::vector<Element*>& order)
    {
        std::vector<Element*> positioned;
        Visit(layer, order, positioned, true);
        for (Element* e : positioned)
            Order(e, order);
    }

    static void Visit(Element* e, std::vector<Element*>& order, std::vector<Element*>& positioned, bool layer)
    {
        if (e->style.display == Display::None)
            return;
        if (!layer && IsAbsolute(e)) {
            positioned.push_back(e);
            return;
        }
        order.push_back(e);
        for (Element* child : e->children)
            Visit(child, order, positioned, false);
    }

    Fonts& fonts_;
    const ImageMap& images_;
    const Box viewport_;
    const int dpi_;
    std::vector<Pending> pending_;
};

}  // namespace

Fonts::Fonts() : dc_(CreateCompatibleDC(nullptr)) {}

Fonts::~Fonts()
{
    if (dc_)
        DeleteDC(dc_);
    for (const Entry& entry : fonts_)
        DeleteObject(entry.font);
}

const Fonts::Entry& Fonts::Find(const Style& style)
{
    for (const Entry& entry : fonts_)
        if (entry.size == style.fontSize && entry.bold == style.bold && entry.family == style.fontFamily)
            return entry;
    Entry entry{style.fontFamily, style.fontSize, style.bold, nullptr, style.fontSize, style.fontSize};
    entry.font = CreateFontW(-style.fontSize, 0, 0, 0, style.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, style.fontFamily.c_str());
    if (!entry.font)
        entry.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics;
    if (dc_ && SelectObject(dc_, entry.font) && GetTextMetricsW(dc_, &metrics)) {
        entry.height = metrics.tmHeight;
        entry.ascent = metrics.tmAscent;
    }
    fonts_.push_back(entry);
    return fonts_.back();
}

void Fonts::Select(const Style& style, HDC dc)
{
    SelectObject(dc ? dc : dc_, Find(style).font);
}

void Fonts::Metrics(const Style& style, int& height, int& ascent)
{
    const Entry& entry = Find(style);
    height = entry.height;
    ascent = entry.ascent;
}

int Fonts::TextWidth(const Style& style, const std::wstring& text)
{
    Select(style);
    SIZE size = {0, 0};
    if (!dc_ || !GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size))
        return static_cast<int>(text.size()) * style.fontSize / 2;
    return size.cx;
}

LayoutResult LayOut(Document& document, Fonts& fonts, const ImageMap& images, int width, int height, int dpi)
{
    return Layouter(fonts, images, width, height, dpi).Run(document);
}

}  // namespace hl
