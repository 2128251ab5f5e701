#include "layout.h"

#include <algorithm>

#include "css.h"

namespace hl {

namespace {

// Further down than any page reaches: where no float ends.
constexpr int kUnbounded = 1 << 20;
// A flex container lays its items out up to three times; deeper nests lay out as blocks, so
// that the work stays bounded whatever the page.
constexpr int kMaxFlexDepth = 6;

bool IsReplaced(const Element* e)
{
    return e->tag == L"img";
}

bool IsAbsolute(const Element* e)
{
    return !e->IsText() && e->style.position == Position::Absolute;
}

bool IsFloat(const Element* e)
{
    return !e->IsText() && !IsAbsolute(e) && e->style.floating != Float::None;
}

bool IsBlockLevel(const Element* e)
{
    if (e->IsText() || IsAbsolute(e) || IsFloat(e))
        return false;
    const Display d = e->style.display;
    return d != Display::Inline && d != Display::InlineBlock && d != Display::None;
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

// Two adjoining vertical margins as one: the largest positive plus the most negative.
int Collapse(int a, int b)
{
    return std::max(std::max(a, b), 0) + std::min(std::min(a, b), 0);
}

std::wstring Transformed(const Element* e)
{
    std::wstring text = e->text;
    const Style::Transform t = e->style.transform;
    if (t == Style::Transform::Upper || t == Style::Transform::Lower) {
        if (!text.empty())
            (t == Style::Transform::Upper ? CharUpperBuffW : CharLowerBuffW)(&text[0], static_cast<DWORD>(text.size()));
    } else if (t == Style::Transform::Capitalize) {
        for (size_t i = 0; i < text.size(); ++i)
            if (!IsSpace(text[i]) && (i == 0 || IsSpace(text[i - 1])))
                CharUpperBuffW(&text[i], 1);
    }
    return text;
}

struct Item {
    enum Kind { Word, Space, Replaced, Atomic, Break, Marker, Edge } kind;
    Element* e;
    std::wstring text;
    int width = 0, height = 0, ascent = 0;
    size_t pendingFrom = 0;  // atomic boxes: the first positioned box found inside
};

// The horizontal room floats leave in a block formatting context.
struct Floats {
    std::vector<Box> left, right;
    // The span [from, to) free at the band y..y+height within [from, to).
    void Band(int y, int height, int& from, int& to) const
    {
        for (const Box& b : left)
            if (b.y < y + std::max(height, 1) && b.y + b.height > y)
                from = std::max(from, b.x + b.width);
        for (const Box& b : right)
            if (b.y < y + std::max(height, 1) && b.y + b.height > y)
                to = std::min(to, b.x);
    }
    // The lowest edge of the floats on the given sides, or y when none is lower.
    int Below(int y, bool lefts, bool rights) const
    {
        for (const Box& b : left)
            if (lefts)
                y = std::max(y, b.y + b.height);
        for (const Box& b : right)
            if (rights)
                y = std::max(y, b.y + b.height);
        return y;
    }
    // The first float bottom below y, where a line may find more room.
    int NextBottom(int y) const
    {
        int next = kUnbounded;
        for (const std::vector<Box>* side : {&left, &right})
            for (const Box& b : *side)
                if (b.y + b.height > y)
                    next = std::min(next, b.y + b.height);
        return next;
    }
};

class Layouter {
public:
    Layouter(Fonts& fonts, const ImageMap& images, int width, int height, int dpi)
        : fonts_(fonts), images_(images), viewport_{0, 0, std::max(width, 0), std::max(height, 0)}, dpi_(dpi) {}

    LayoutResult Run(Document& document)
    {
        Element* root = document.root;
        ForEachDescendant(root, [](Element* e) { e->intrinsicMin = -1; });
        root->intrinsicMin = -1;
        Floats floats;
        LayoutBlockBox(root, 0, 0, viewport_.width, floats, -1, -1);
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
            const Edges edges = EdgesOf(e, 0);
            result.right = std::max(result.right, e->box.x + e->box.width + std::max(edges.margin[1], 0));
            result.bottom = std::max(result.bottom, e->box.y + e->box.height + std::max(edges.margin[2], 0));
        }
        return result;
    }

private:
    struct Pending {
        Element* e;
        int staticX, staticY;
    };
    struct Edges {
        int margin[4], border[4], padding[4];
        int Horizontal() const { return border[1] + border[3] + padding[1] + padding[3]; }
        int Vertical() const { return border[0] + border[2] + padding[0] + padding[2]; }
    };
    struct Widths {
        int min, max;
    };

    static Edges EdgesOf(const Element* e, int base)
    {
        Edges edges;
        const Style& s = e->style;
        for (int i = 0; i < 4; ++i) {
            edges.margin[i] = s.margin[i].Resolve(base);
            edges.padding[i] = std::max(s.padding[i].Resolve(base), 0);
            edges.border[i] = s.border[i].style == BorderStyle::None ? 0 : s.border[i].width;
        }
        return edges;
    }

    const Image* FindImage(const std::wstring& url) const
    {
        return images_.Find(url);
    }

    // A border-box size from the style's width or height (content or border box, as box-sizing
    // says), kept within its minimum and maximum; -1 for auto.
    int Specified(const Element* e, const Length& length, const Length& min, const Length& max, int base,
                  int extra) const
    {
        if (length.IsAuto() || (length.unit == Length::Percent && base < 0))
            return -1;
        return Clamp(e, length.Resolve(base) + (e->style.borderBox ? 0 : extra), min, max, base, extra);
    }

    int Clamp(const Element* e, int size, const Length& min, const Length& max, int base, int extra) const
    {
        const int add = e->style.borderBox ? 0 : extra;
        if (!max.IsAuto() && (max.unit != Length::Percent || base >= 0))
            size = std::min(size, max.Resolve(base) + add);
        if (!min.IsAuto() && (min.unit != Length::Percent || base >= 0))
            size = std::max(size, min.Resolve(base) + add);
        return std::max(size, extra);
    }

    // An image's border box: the size the page gives it, else the image's own CSS size
    // (keeping its proportions when only one side is given).
    void ReplacedSize(const Element* e, int cbWidth, int& width, int& height) const
    {
        const Style& s = e->style;
        const Edges edges = EdgesOf(e, cbWidth);
        const Image* image = FindImage(s.source);
        const int iw = image ? MulDiv(image->width * 2, dpi_, kCssDpi * s.sourceDensity) : 0;
        const int ih = image ? MulDiv(image->height * 2, dpi_, kCssDpi * s.sourceDensity) : 0;
        const int givenW = Specified(e, s.width, s.minWidth, s.maxWidth, cbWidth, edges.Horizontal());
        const int givenH = Specified(e, s.height, s.minHeight, s.maxHeight, -1, edges.Vertical());
        const int w = givenW >= 0 ? givenW - edges.Horizontal() : -1, h = givenH >= 0 ? givenH - edges.Vertical() : -1;
        width = w >= 0 ? w : h >= 0 && ih ? iw * h / ih : iw;
        height = h >= 0 ? h : w >= 0 && iw ? ih * w / iw : ih;
        width = Clamp(e, std::max(width, 0) + edges.Horizontal(), s.minWidth, s.maxWidth, cbWidth, edges.Horizontal());
        height = Clamp(e, std::max(height, 0) + edges.Vertical(), s.minHeight, s.maxHeight, -1, edges.Vertical());
    }

    // ---- intrinsic widths -------------------------------------------------------------------

    // The narrowest and the natural width of e's border box.
    Widths Intrinsic(Element* e)
    {
        if (e->intrinsicMin >= 0)
            return Widths{e->intrinsicMin, e->intrinsicMax};
        const Style& s = e->style;
        const Edges edges = EdgesOf(e, 0);
        Widths w{0, 0};
        if (IsReplaced(e)) {
            int h;
            ReplacedSize(e, 0, w.max, h);
            w.min = w.max;
        } else if (!s.width.IsAuto() && s.width.unit == Length::Pixels) {
            w.min = w.max = Specified(e, s.width, s.minWidth, s.maxWidth, 0, edges.Horizontal());
        } else {
            if (s.display == Display::Table)
                w = TableIntrinsic(e);
            else
                w = ContentIntrinsic(e);
            w.min += edges.Horizontal();
            w.max += edges.Horizontal();
            w.max = std::max(w.max, w.min);
        }
        e->intrinsicMin = w.min;
        e->intrinsicMax = w.max;
        return w;
    }

    // Content's width in the room: its natural width, but no narrower than its narrowest.
    int ShrinkToFit(Element* e, int room)
    {
        const Widths natural = Intrinsic(e);
        return std::min(std::max(natural.min, room), natural.max);
    }

    Widths ContentIntrinsic(Element* e)
    {
        Widths total{0, 0};
        int line = 0;  // the natural width of the inline run so far
        auto endLine = [&] {
            total.max = std::max(total.max, line);
            line = 0;
        };
        std::vector<Element*> stack(e->children.rbegin(), e->children.rend());
        const bool flexRow = e->style.display == Display::Flex && !e->style.flexColumn;
        if (flexRow) {
            int count = 0;
            for (Element* child : e->children) {
                if (child->IsText() || IsAbsolute(child) || child->style.display == Display::None)
                    continue;
                const Widths c = Intrinsic(child);
                const Edges m = EdgesOf(child, 0);
                total.min += c.min + m.margin[1] + m.margin[3];
                total.max += c.max + m.margin[1] + m.margin[3];
                ++count;
            }
            const int gaps = std::max(count - 1, 0) * e->style.columnGap;
            return Widths{total.min + gaps, total.max + gaps};
        }
        while (!stack.empty()) {
            Element* c = stack.back();
            stack.pop_back();
            if (c->style.display == Display::None || IsAbsolute(c))
                continue;
            if (c->IsText()) {
                const std::wstring text = Transformed(c);
                size_t pos = 0;
                while (pos < text.size()) {
                    size_t end = pos;
                    const bool space = IsSpace(text[pos]);
                    while (end < text.size() && IsSpace(text[end]) == space)
                        ++end;
                    const int width = fonts_.TextWidth(c->style, space ? std::wstring(L" ") : text.substr(pos, end - pos));
                    if (!space && !c->style.nowrap)
                        total.min = std::max(total.min, width);
                    line += width;
                    pos = end;
                }
                if (c->style.nowrap)
                    total.min = std::max(total.min, line);
                continue;
            }
            const Edges m = EdgesOf(c, 0);
            const int margins = std::max(m.margin[1], 0) + std::max(m.margin[3], 0);
            if (c->tag == L"br") {
                endLine();
            } else if (IsBlockLevel(c)) {
                endLine();
                const Widths w = Intrinsic(c);
                total.min = std::max(total.min, w.min + margins);
                total.max = std::max(total.max, w.max + margins);
            } else if (IsReplaced(c) || IsFloat(c) || c->style.display == Display::InlineBlock) {
                const Widths w = Intrinsic(c);
                total.min = std::max(total.min, w.min + margins);
                line += w.max + margins;
            } else {  // an inline element: its edges, then its content in the same run
                line += m.margin[3] + m.border[3] + m.padding[3] + m.margin[1] + m.border[1] + m.padding[1];
                stack.insert(stack.end(), c->children.rbegin(), c->children.rend());
            }
        }
        endLine();
        return total;
    }

    // ---- block formatting -------------------------------------------------------------------

    // A box that lays its content out on its own: floats inside stay inside, margins do not
    // collapse through it.
    static bool NewContext(const Element* e)
    {
        const Style& s = e->style;
        return !e->parent || IsFloat(e) || IsAbsolute(e) || s.overflowHidden || s.display == Display::InlineBlock ||
               s.display == Display::TableCell || s.display == Display::Table || s.display == Display::Flex ||
               (e->parent && e->parent->style.display == Display::Flex);
    }

    // The first in-flow block child, when nothing (text, an inline box) comes before it.
    static Element* FirstBlockChild(const Element* e, bool last)
    {
        const size_t n = e->children.size();
        for (size_t i = 0; i < n; ++i) {
            Element* c = e->children[last ? n - 1 - i : i];
            if (c->style.display == Display::None || IsAbsolute(c) || IsFloat(c))
                continue;
            if (c->IsText() && Trim(c->text).empty())
                continue;
            return IsBlockLevel(c) ? c : nullptr;
        }
        return nullptr;
    }

    // Whether e's top (or bottom) margin joins its first (last) child's.
    static bool Joins(const Element* e, bool bottom)
    {
        const Style& s = e->style;
        const int side = bottom ? 2 : 0;
        return (s.display == Display::Block || s.display == Display::ListItem) && !NewContext(e) &&
               (s.border[side].style == BorderStyle::None || s.border[side].width == 0) && s.padding[side].value == 0 &&
               (!bottom || s.height.IsAuto());
    }

    // The margin e brings to its top (bottom) edge once margins that join it are counted in.
    int OuterMargin(const Element* e, int base, bool bottom, int depth = 0) const
    {
        int margin = EdgesOf(e, base).margin[bottom ? 2 : 0];
        const Element* child = depth < kMaxDepth && Joins(e, bottom) ? FirstBlockChild(e, bottom) : nullptr;
        return child ? Collapse(margin, OuterMargin(child, base, bottom, depth + 1)) : margin;
    }

    // Lays out a block-level box whose containing block's content box starts at left and is
    // available wide; its border box starts at top. width and height of -1 come from the style.
    // Answers the border box's height.
    int LayoutBlockBox(Element* e, int left, int top, int available, Floats& outer, int width, int height)
    {
        const Style& s = e->style;
        const Edges edges = EdgesOf(e, available);
        if (IsReplaced(e)) {
            int w, h;
            ReplacedSize(e, available, w, h);
            e->box = {left + edges.margin[3], top, width >= 0 ? width : w, height >= 0 ? height : h};
            return e->box.height;
        }
        int w = width;
        int marginLeft = edges.margin[3];
        if (w < 0) {
            w = Specified(e, s.width, s.minWidth, s.maxWidth, available, edges.Horizontal());
            if (w < 0 && (s.display == Display::Table || IsFloat(e))) {  // shrunk to fit
                w = Clamp(e, ShrinkToFit(e, available - edges.margin[1] - edges.margin[3]), s.minWidth, s.maxWidth,
                          available, edges.Horizontal());
            }
            if (w < 0)
                w = Clamp(e, available - edges.margin[1] - edges.margin[3], s.minWidth, s.maxWidth, available,
                          edges.Horizontal());
            // Auto side margins share what is left: centred when both are auto.
            const bool autoLeft = s.margin[3].IsAuto(), autoRight = s.margin[1].IsAuto();
            const int rest = available - w - (autoLeft ? 0 : edges.margin[3]) - (autoRight ? 0 : edges.margin[1]);
            if (autoLeft && autoRight)
                marginLeft = std::max(rest / 2, 0);
            else if (autoLeft)
                marginLeft = std::max(rest, 0);
        }
        const int x = left + marginLeft;
        const int contentX = x + edges.border[3] + edges.padding[3];
        const int contentY = top + edges.border[0] + edges.padding[0];
        const int contentW = std::max(w - edges.Horizontal(), 0);
        int specifiedH = height >= 0 ? height : Specified(e, s.height, s.minHeight, s.maxHeight, viewport_.height,
                                                          edges.Vertical());
        if (s.height.unit == Length::Percent && height < 0 && e->parent && e->parent->style.height.IsAuto() &&
            e->parent->parent)
            specifiedH = -1;  // a percentage of an auto height is auto
        e->box = {x, top, w, std::max(specifiedH, 0)};
        Floats own;
        Floats& floats = NewContext(e) ? own : outer;
        int contentH;
        if (s.display == Display::Table) {
            contentH = LayoutTable(e, contentX, contentY, contentW);
        } else if (s.display == Display::Flex && flexDepth_ < kMaxFlexDepth) {
            ++flexDepth_;
            contentH = LayoutFlex(e, contentX, contentY, contentW,
                                  specifiedH >= 0 ? std::max(specifiedH - edges.Vertical(), 0) : -1);
            --flexDepth_;
        } else {
            contentH = LayoutChildren(e, contentX, contentY, contentW, floats);
        }
        if (&floats == &own && (s.height.IsAuto() || specifiedH < 0))
            contentH = std::max(contentH, own.Below(contentY, true, true) - contentY);
        int h = specifiedH >= 0 ? specifiedH
                                : Clamp(e, contentH + edges.Vertical(), s.minHeight, s.maxHeight, -1, edges.Vertical());
        e->box = {x, top, w, h};
        if (s.display == Display::ListItem)
            PlaceMarker(e, contentX, contentY);
        return h;
    }

    // Lays out a block container's children in block and inline flow; answers the content height.
    int LayoutChildren(Element* e, int x, int y, int width, Floats& floats)
    {
        int cursor = y;
        int margin = 0;          // the bottom margin still open above the cursor
        bool joinedTop = Joins(e, false) && FirstBlockChild(e, false);  // its top margin is e's
        std::vector<Element*> run;
        auto flush = [&] {
            if (run.empty())
                return;
            const int h = LayoutLines(run, e, x, cursor + (HasLine(run) ? margin : 0), width, floats);
            if (h > 0) {
                cursor += margin + h;
                margin = 0;
                joinedTop = false;
            }
            run.clear();
        };
        for (Element* child : e->children) {
            if (child->style.display == Display::None)
                continue;
            if (!IsBlockLevel(child) && !IsFloat(child)) {
                run.push_back(child);
                continue;
            }
            if (IsFloat(child) && !run.empty()) {
                run.push_back(child);
                continue;
            }
            flush();
            if (IsFloat(child)) {
                PlaceFloat(child, x, cursor + std::max(margin, 0), width, floats);
                continue;
            }
            const int top = OuterMargin(child, width, false);
            int childY = cursor + (joinedTop ? 0 : Collapse(margin, top));
            if (child->style.clearLeft || child->style.clearRight)
                childY = std::max(childY, floats.Below(childY, child->style.clearLeft, child->style.clearRight));
            const size_t pendingBefore = pending_.size();
            const int h = LayoutBlockBox(child, x, childY, width, floats, -1, -1);
            joinedTop = false;
            cursor = childY + h;
            margin = OuterMargin(child, width, true);
            if (child->style.position == Position::Relative)
                ShiftRelative(child, pendingBefore);
        }
        flush();
        if (!Joins(e, true))
            cursor += std::max(margin, 0);
        return cursor - y;
    }

    // Whether the run holds anything that makes a line: text that is not blank, or a box.
    static bool HasLine(const std::vector<Element*>& run)
    {
        for (const Element* e : run)
            if (!e->IsText() || !Trim(e->text).empty())
                return true;
        return false;
    }

    void ShiftRelative(Element* e, size_t pendingBefore)
    {
        const Style& s = e->style;
        const int base = e->parent ? e->parent->box.width : 0;
        Shift(e, !s.left.IsAuto() ? s.left.Resolve(base) : !s.right.IsAuto() ? -s.right.Resolve(base) : 0,
              !s.top.IsAuto() ? s.top.Resolve(0) : !s.bottom.IsAuto() ? -s.bottom.Resolve(0) : 0, pendingBefore);
    }

    // A float's box, shrunk to its content unless it has a width, put as far left (right) as the
    // floats before it allow, no higher than y.
    void PlaceFloat(Element* e, int x, int y, int width, Floats& floats)
    {
        const Edges edges = EdgesOf(e, width);
        const size_t pendingBefore = pending_.size();
        Floats none;
        const int h = LayoutBlockBox(e, 0, 0, width, none, -1, -1);
        const int outerW = e->box.width + edges.margin[1] + edges.margin[3];
        const int outerH = h + edges.margin[0] + edges.margin[2];
        if (e->style.clearLeft || e->style.clearRight)
            y = floats.Below(y, e->style.clearLeft, e->style.clearRight);
        const bool left = e->style.floating == Float::Left;
        for (int tries = 0; tries < 64; ++tries) {
            int from = x, to = x + width;
            floats.Band(y, outerH, from, to);
            if (to - from >= outerW || (from == x && to == x + width))
                break;
            y = std::max(y + 1, floats.NextBottom(y));
        }
        int from = x, to = x + width;
        floats.Band(y, outerH, from, to);
        const int boxX = left ? from + edges.margin[3] : to - outerW + edges.margin[3];
        Shift(e, boxX - e->box.x, y + edges.margin[0] - e->box.y, pendingBefore);
        (left ? floats.left : floats.right).push_back(Box{boxX - edges.margin[3], y, outerW, outerH});
    }

    // ---- inline formatting ------------------------------------------------------------------

    void AddText(Element* e, std::vector<Item>& items)
    {
        int height, ascent;
        fonts_.Metrics(e->style, height, ascent);
        const std::wstring text = Transformed(e);
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
        } else if (IsAbsolute(e) || IsFloat(e)) {
            items.push_back({Item::Marker, e, L""});
        } else if (IsReplaced(e)) {
            int w, h;
            ReplacedSize(e, lineWidth, w, h);
            const Edges edges = EdgesOf(e, lineWidth);
            items.push_back({Item::Replaced, e, L"", w + edges.margin[1] + edges.margin[3],
                             h + edges.margin[0] + edges.margin[2], h + edges.margin[0] + edges.margin[2]});
        } else if (e->tag == L"br") {
            int height, ascent;
            fonts_.Metrics(e->style, height, ascent);
            items.push_back({Item::Break, e, L"", 0, height, ascent});
        } else if (e->style.display != Display::Inline) {
            // An inline block, or a block inside a line: laid out on its own and placed like an image.
            const Edges edges = EdgesOf(e, lineWidth);
            const size_t pendingFrom = pending_.size();
            int width = -1;
            if (e->style.display == Display::InlineBlock && e->style.width.IsAuto())
                width = ShrinkToFit(e, lineWidth - edges.margin[1] - edges.margin[3]);
            Floats none;
            const int h = LayoutBlockBox(e, 0, edges.margin[0], lineWidth, none, width, -1);
            const int outerH = h + edges.margin[0] + edges.margin[2];
            const int baseline = e->style.display == Display::InlineBlock ? LastBaseline(e) : -1;
            items.push_back({Item::Atomic, e, L"", e->box.width + edges.margin[1] + edges.margin[3], outerH,
                             baseline >= 0 ? baseline + edges.margin[0] : outerH, pendingFrom});
        } else {
            const Edges edges = EdgesOf(e, lineWidth);
            inlines.push_back(e);
            if (int start = edges.margin[3] + edges.border[3] + edges.padding[3])
                items.push_back({Item::Edge, e, L"", start});
            for (Element* child : e->children)
                Collect(child, lineWidth, items, inlines);
            if (int end = edges.margin[1] + edges.border[1] + edges.padding[1])
                items.push_back({Item::Edge, e, L"", end});
        }
    }

    // The baseline of the last line inside e, from e's top; -1 without one.
    static int LastBaseline(const Element* e)
    {
        int baseline = -1;
        ForEachDescendant(const_cast<Element*>(e), [&](Element* d) {
            for (const TextPiece& piece : d->pieces)
                if (d->IsText())
                    baseline = std::max(baseline, piece.y + piece.ascent - e->box.y);
        });
        return baseline;
    }

    // The line height an element asks for, and the half-leading it adds around its glyphs.
    void LineMetrics(const Style& style, int& height, int& ascent, int& lineHeight)
    {
        int normal = 0;
        fonts_.Metrics(style, height, ascent, &normal);
        lineHeight = style.lineHeight > 0 ? style.lineHeight : style.lineHeight < 0 ? style.fontSize * -style.lineHeight / 100
                                                                                    : normal;
    }

    // Lays out a run of inline content of the block container in lines; answers their height.
    int LayoutLines(const std::vector<Element*>& run, Element* container, int x, int y, int width, Floats& floats)
    {
        std::vector<Item> items;
        std::vector<Element*> inlines;
        for (Element* e : run)
            Collect(e, width, items, inlines);
        const Style& cs = container->style;
        int strutHeight, strutAscent, strutLine;
        LineMetrics(cs, strutHeight, strutAscent, strutLine);
        int top = y;
        std::vector<std::pair<const Item*, int>> line;  // item, x offset
        int pen = 0, lineLeft = x, lineRight = x + width;
        bool anyLine = false;
        auto startLine = [&] {
            lineLeft = x;
            lineRight = x + width;
            floats.Band(top, strutLine, lineLeft, lineRight);
        };
        startLine();
        auto content = [&] {
            return std::any_of(line.begin(), line.end(), [](const std::pair<const Item*, int>& p) {
                return p.first->kind != Item::Space && p.first->kind != Item::Marker && p.first->kind != Item::Edge;
            });
        };
        auto finish = [&](const Item* lineBreak, bool last) {
            while (!line.empty() && line.back().first->kind == Item::Space)
                line.pop_back();
            const bool hasContent = content();
            // Baseline-aligned boxes set the line's ascent and descent (with their half-leading);
            // top and bottom ones are placed against the result.
            int above = 0, below = 0;
            if (hasContent || lineBreak) {
                const int lead = strutLine - strutHeight;
                above = strutAscent + lead / 2;
                below = strutHeight - strutAscent + lead - lead / 2;
            }
            auto extent = [&](const Item& item, int& up, int& down) {
                if (item.kind == Item::Word || item.kind == Item::Space || item.kind == Item::Break) {
                    int h, a, l;
                    LineMetrics(item.e->style, h, a, l);
                    const int lead = l - h;
                    up = a + lead / 2;
                    down = h - a + lead - lead / 2;
                } else {
                    up = item.ascent;
                    down = item.height - item.ascent;
                }
                const VerticalAlign va = item.e->style.verticalAlign;
                if (va == VerticalAlign::Middle && item.kind != Item::Word && item.kind != Item::Space) {
                    const int mid = cs.fontSize * 27 / 100;  // half the x-height above the baseline
                    up = mid + item.height / 2;
                    down = item.height - up;
                }
            };
            for (const auto& placed : line) {
                const Item& item = *placed.first;
                const VerticalAlign va = item.e->style.verticalAlign;
                if (item.kind == Item::Marker || item.kind == Item::Edge || va == VerticalAlign::Top ||
                    va == VerticalAlign::Bottom)
                    continue;
                int up, down;
                extent(item, up, down);
                above = std::max(above, up);
                below = std::max(below, down);
            }
            for (const auto& placed : line) {
                const Item& item = *placed.first;
                const VerticalAlign va = item.e->style.verticalAlign;
                if ((va == VerticalAlign::Top || va == VerticalAlign::Bottom) && item.kind != Item::Marker)
                    below = std::max(below, item.height - above);
            }
            // Alignment: what is left of the line goes before the items, or between words.
            int lineWidth = 0;
            int spaces = 0;
            for (const auto& placed : line) {
                lineWidth = std::max(lineWidth, placed.second + placed.first->width);
                spaces += placed.first->kind == Item::Space;
            }
            const int room = lineRight - lineLeft - lineWidth;
            int shift = 0, extra = 0;
            if (room > 0 && cs.textAlign == TextAlign::Center)
                shift = room / 2;
            else if (room > 0 && cs.textAlign == TextAlign::Right)
                shift = room;
            const bool justify = room > 0 && cs.textAlign == TextAlign::Justify && !last && !lineBreak && spaces > 0;
            int spaceIndex = 0;
            const int baseline = top + above;
            for (const auto& placed : line) {
                const Item& item = *placed.first;
                if (justify && item.kind == Item::Space)
                    extra = room * ++spaceIndex / spaces;
                int up, down;
                extent(item, up, down);
                const VerticalAlign va = item.e->style.verticalAlign;
                int itemTop = baseline - (item.kind == Item::Word || item.kind == Item::Space ? item.ascent : up);
                if (item.kind != Item::Word && item.kind != Item::Space) {
                    if (va == VerticalAlign::Top)
                        itemTop = top;
                    else if (va == VerticalAlign::Bottom)
                        itemTop = top + above + below - item.height;
                }
                Place(item, lineLeft + placed.second + shift + extra, top, itemTop);
            }
            anyLine = anyLine || hasContent || lineBreak;
            top += above + below;
            line.clear();
            pen = 0;
            startLine();
        };
        const Item* previous = nullptr;
        for (const Item& item : items) {
            switch (item.kind) {
            case Item::Break:
                finish(&item, false);
                break;
            case Item::Space:
                if (content()) {
                    line.emplace_back(&item, pen);
                    pen += item.width;
                }
                break;
            case Item::Marker:
                if (IsFloat(item.e)) {
                    // A float met in a line goes to the line's side; the line gives it room.
                    PlaceFloat(item.e, x, top, width, floats);
                    startLine();
                } else {
                    line.emplace_back(&item, pen);
                }
                break;
            case Item::Edge:
                line.emplace_back(&item, pen);
                pen += item.width;
                break;
            default: {
                // Lines break at blanks (not in nowrap text) and beside images and inline blocks.
                auto atomic = [](const Item* i) { return i->kind == Item::Replaced || i->kind == Item::Atomic; };
                const bool breakable =
                    previous && ((previous->kind == Item::Space && !previous->e->style.nowrap) ||
                                 ((atomic(&item) || atomic(previous)) && !item.e->style.nowrap));
                if (content() && breakable && pen + item.width > lineRight - lineLeft)
                    finish(nullptr, false);
                // A line too narrow beside floats moves below them.
                for (int tries = 0; !content() && pen + item.width > lineRight - lineLeft && tries < 64; ++tries) {
                    const int next = floats.NextBottom(top);
                    if (next >= kUnbounded || (lineLeft == x && lineRight == x + width))
                        break;
                    top = next;
                    startLine();
                }
                line.emplace_back(&item, pen);
                pen += item.width;
            }
            }
            previous = &item;
        }
        if (!line.empty())
            finish(nullptr, true);
        // Inline elements cover what was placed inside them, innermost first, with their edges.
        for (auto it = inlines.rbegin(); it != inlines.rend(); ++it) {
            Element* e = *it;
            e->box = Box();
            for (const Element* child : e->children)
                if (child->style.display != Display::None && !IsAbsolute(child) && !IsFloat(child))
                    Unite(e->box, child->box);
            const Edges edges = EdgesOf(e, width);
            e->box.x -= edges.border[3] + edges.padding[3];
            e->box.width += edges.Horizontal();
            e->box.y -= edges.border[0] + edges.padding[0];
            e->box.height += edges.Vertical();
        }
        return anyLine ? top - y : 0;
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
                pieces.push_back({x, y, item.width, item.height, item.ascent, item.text});
            }
            Unite(e->box, Box{x, y, item.width, item.height});
            break;
        }
        case Item::Replaced: {
            const Edges edges = EdgesOf(e, 0);
            e->box = {x + edges.margin[3], y + edges.margin[0], item.width - edges.margin[1] - edges.margin[3],
                      item.height - edges.margin[0] - edges.margin[2]};
            break;
        }
        case Item::Atomic: {
            const Edges edges = EdgesOf(e, 0);
            Shift(e, x + edges.margin[3] - e->box.x, y + edges.margin[0] - e->box.y, item.pendingFrom);
            break;
        }
        case Item::Marker:
            pending_.push_back({e, x, lineTop});
            break;
        case Item::Break:
        case Item::Edge:
            break;
        }
    }

    // A list item's marker: outside its box, on the first line's baseline.
    void PlaceMarker(Element* e, int contentX, int contentY)
    {
        e->pieces.clear();
        const Style& s = e->style;
        if (s.listStyle == ListStyle::None && s.listImage.empty())
            return;
        int height, ascent;
        fonts_.Metrics(s, height, ascent);
        int baseline = -1;
        ForEachDescendant(e, [&](Element* d) {
            if (d->IsText() && !d->pieces.empty() && baseline < 0)
                baseline = d->pieces.front().y + d->pieces.front().ascent;
        });
        if (baseline < 0)
            baseline = contentY + ascent;
        std::wstring text;
        if (s.listStyle == ListStyle::Decimal) {
            int number = 1;
            for (const Element* sibling : e->parent->children) {
                if (sibling == e)
                    break;
                number += !sibling->IsText() && sibling->style.display == Display::ListItem;
            }
            text = L". ";
            for (; number > 0; number /= 10)
                text.insert(text.begin(), static_cast<wchar_t>(L'0' + number % 10));
        } else {
            static const wchar_t kBullets[] = {0x2022, 0x25E6, 0x25AA};
            text = std::wstring(1, kBullets[static_cast<int>(s.listStyle) % 3]) + L" ";
        }
        if (const Image* image = FindImage(s.listImage)) {
            const int w = DevicePixels(image->width, dpi_), h = DevicePixels(image->height, dpi_);
            e->pieces.push_back({contentX - w - fonts_.TextWidth(s, L" "), baseline - h, w, h, h, L""});
            return;
        }
        if (s.listStyle != ListStyle::Decimal) {  // a bullet's centre lies about an em left of the content
            text.pop_back();
            const int glyph = fonts_.TextWidth(s, text);
            e->pieces.push_back({contentX - s.fontSize * 93 / 100 - glyph / 2, baseline - ascent, glyph, height, ascent, text});
            return;
        }
        const int width = fonts_.TextWidth(s, text);
        e->pieces.push_back({contentX - width, baseline - ascent, width, height, ascent, text});
    }

    // ---- tables -----------------------------------------------------------------------------

    struct Cell {
        Element* e;
        int row, column, rows, columns;
    };

    static int Span(const Element* e, const wchar_t* name)
    {
        const std::wstring* value = e->Attribute(name);
        const int n = value ? _wtoi(value->c_str()) : 1;
        return std::max(1, std::min(n, 100));
    }

    // The cells of a table on its grid, and how many rows and columns it has.
    static std::vector<Cell> Grid(Element* table, std::vector<Element*>& rows, int& columns)
    {
        rows.clear();
        for (Element* child : table->children) {
            if (child->style.display == Display::TableRow)
                rows.push_back(child);
            else if (child->style.display == Display::TableRowGroup)
                for (Element* row : child->children)
                    if (row->style.display == Display::TableRow)
                        rows.push_back(row);
        }
        std::vector<Cell> cells;
        std::vector<std::vector<char>> taken;
        columns = 0;
        for (size_t r = 0; r < rows.size(); ++r) {
            int c = 0;
            for (Element* child : rows[r]->children) {
                if (child->style.display != Display::TableCell)
                    continue;
                auto busy = [&](int row, int column) {
                    return row < static_cast<int>(taken.size()) && column < static_cast<int>(taken[row].size()) &&
                           taken[row][column];
                };
                while (busy(static_cast<int>(r), c))
                    ++c;
                const int rowSpan = std::min(Span(child, L"rowspan"), static_cast<int>(rows.size() - r));
                const int columnSpan = Span(child, L"colspan");
                cells.push_back({child, static_cast<int>(r), c, rowSpan, columnSpan});
                for (int i = 0; i < rowSpan; ++i) {
                    if (taken.size() <= r + i)
                        taken.resize(r + i + 1);
                    if (taken[r + i].size() < static_cast<size_t>(c + columnSpan))
                        taken[r + i].resize(c + columnSpan, 0);
                    for (int j = 0; j < columnSpan; ++j)
                        taken[r + i][c + j] = 1;
                }
                c += columnSpan;
                columns = std::max(columns, c);
            }
        }
        return cells;
    }

    // Each column's narrowest and natural widths, a spanning cell's excess spread evenly.
    std::vector<Widths> ColumnWidths(const std::vector<Cell>& cells, int columns, int tableWidth, bool fixed,
                                     int spacing, std::vector<char>& given)
    {
        std::vector<Widths> widths(columns, Widths{0, 0});
        given.assign(columns, 0);
        for (int pass = 0; pass < 2; ++pass) {
            for (const Cell& cell : cells) {
                if ((cell.columns == 1) != (pass == 0) || (fixed && cell.row > 0))
                    continue;
                Widths w = Intrinsic(cell.e);
                const Length& width = cell.e->style.width;
                if (!width.IsAuto() && (width.unit == Length::Pixels || tableWidth >= 0)) {
                    const Edges edges = EdgesOf(cell.e, 0);
                    const int set = width.Resolve(std::max(tableWidth, 0)) + (cell.e->style.borderBox ? 0 : edges.Horizontal());
                    w.max = std::max(set, w.min);
                    if (fixed)
                        w.min = w.max = set;
                    if (cell.columns == 1)
                        given[cell.column] = true;
                }
                if (fixed && width.IsAuto())
                    w.min = w.max = 0;
                // A spanning cell's excess goes to its columns in proportion to their widths.
                int min = spacing * (cell.columns - 1), max = min;
                for (int i = 0; i < cell.columns; ++i) {
                    min += widths[cell.column + i].min;
                    max += widths[cell.column + i].max;
                }
                const int base = max - spacing * (cell.columns - 1);
                const int extraMin = std::max(w.min - min, 0), extraMax = std::max(w.max - max, 0);
                int gaveMin = 0, gaveMax = 0;
                for (int i = 0; i < cell.columns; ++i) {
                    Widths& c = widths[cell.column + i];
                    const int share = base > 0 ? c.max : 1, of = base > 0 ? base : cell.columns;
                    const bool last = i == cell.columns - 1;  // the rounding's rest
                    const int addMin = last ? extraMin - gaveMin : static_cast<int>(1LL * extraMin * share / of);
                    const int addMax = last ? extraMax - gaveMax : static_cast<int>(1LL * extraMax * share / of);
                    c.min += addMin;
                    c.max += addMax;
                    gaveMin += addMin;
                    gaveMax += addMax;
                    if (given[cell.column + i] && cell.columns == 1)
                        c.max = std::max(c.min, w.max);
                }
            }
        }
        for (Widths& w : widths)
            w.max = std::max(w.max, w.min);
        return widths;
    }

    Widths TableIntrinsic(Element* table)
    {
        std::vector<Element*> rows;
        int columns = 0;
        const std::vector<Cell> cells = Grid(table, rows, columns);
        const int spacing = table->style.collapse ? 0 : table->style.spacingX * (columns + 1);
        Widths total{spacing, spacing};
        std::vector<char> given;
        for (const Widths& w : ColumnWidths(cells, columns, -1, false, table->style.collapse ? 0 : table->style.spacingX,
                                            given)) {
            total.min += w.min;
            total.max += w.max;
        }
        return total;
    }

    // Lays out the rows and cells of a table whose content box is width wide; answers its height.
    int LayoutTable(Element* table, int x, int y, int width)
    {
        std::vector<Element*> rows;
        int columns = 0;
        const std::vector<Cell> cells = Grid(table, rows, columns);
        const Style& s = table->style;
        const int sx = s.collapse ? 0 : s.spacingX, sy = s.collapse ? 0 : s.spacingY;
        std::vector<char> given;
        std::vector<Widths> widths = ColumnWidths(cells, columns, width, s.fixedTable, sx, given);
        // Columns share the width: natural widths when they fit, the rest to the columns without
        // a width of their own (in proportion to their natural widths, or alike in a fixed
        // table), else between narrowest and natural.
        const int room = std::max(width - sx * (columns + 1), 0);
        int min = 0, max = 0, free = 0, freeCount = 0;
        for (int i = 0; i < columns; ++i) {
            min += widths[i].min;
            max += widths[i].max;
            if (!given[i]) {
                free += widths[i].max;
                ++freeCount;
            }
        }
        std::vector<int> column(columns, 0);
        for (int i = 0; i < columns; ++i) {
            const Widths& w = widths[i];
            const bool takes = freeCount == 0 || !given[i];
            const int pool = freeCount ? free : max, count = freeCount ? freeCount : columns;
            if (max <= room)
                column[i] = w.max + (!takes ? 0
                                     : pool > 0 && !s.fixedTable
                                         ? static_cast<int>(static_cast<long long>(room - max) * w.max / pool)
                                         : (room - max) / std::max(count, 1));
            else if (max > min)
                column[i] = w.min + static_cast<int>(static_cast<long long>(std::max(room - min, 0)) * (w.max - w.min) /
                                                      (max - min));
            else
                column[i] = w.min;
        }
        std::vector<int> left(columns + 1, x + sx);
        for (int i = 0; i < columns; ++i)
            left[i + 1] = left[i] + column[i] + sx;
        // Collapsed borders: neighbours share the line between them.
        auto overlap = [&](const Cell& cell) {
            return s.collapse ? EdgesOf(cell.e, 0).border[3] * cell.column : 0;
        };
        std::vector<int> rowHeight(rows.size(), 0);
        std::vector<size_t> marks(cells.size());
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t i = 0; i < cells.size(); ++i) {
                const Cell& cell = cells[i];
                if ((cell.rows == 1) != (pass == 0))
                    continue;
                const int w = left[cell.column + cell.columns] - left[cell.column] - sx;
                Floats own;
                marks[i] = pending_.size();
                const int h = LayoutBlockBox(cell.e, left[cell.column] - overlap(cell), 0, w, own, w, -1);
                int spanned = sy * (cell.rows - 1);
                for (int r = 0; r < cell.rows; ++r)
                    spanned += rowHeight[cell.row + r];
                const int rowSpec = rows[cell.row]->style.height.Resolve(0, 0);
                if (h > spanned)
                    rowHeight[cell.row + cell.rows - 1] += h - spanned;
                rowHeight[cell.row] = std::max(rowHeight[cell.row], rowSpec);
            }
        }
        std::vector<int> top(rows.size() + 1, y + sy);
        for (size_t r = 0; r < rows.size(); ++r) {
            const int collapsed = s.collapse && r > 0 ? EdgesOf(rows[r], 0).border[0] : 0;
            top[r + 1] = top[r] + rowHeight[r] + sy - collapsed;
            // A row without cells spans no column: no width, rather than less than none.
            rows[r]->box = {left[0], top[r], std::max(left[columns] - sx - left[0], 0), rowHeight[r]};
        }
        for (size_t i = 0; i < cells.size(); ++i) {
            const Cell& cell = cells[i];
            const int w = left[cell.column + cell.columns] - left[cell.column] - sx;
            const int h = top[cell.row + cell.rows] - top[cell.row] - sy;
            // The content's own height, not the cell's given one, is what vertical-align moves.
            const Edges edges = EdgesOf(cell.e, 0);
            int contentH = edges.Vertical();
            ForEachDescendant(cell.e, [&](Element* d) {
                if (!IsAbsolute(d) && d->style.display != Display::None && (d->box.width > 0 || d->box.height > 0))
                    contentH = std::max(contentH, d->box.y + d->box.height - cell.e->box.y + edges.padding[2] +
                                                      edges.border[2]);
            });
            const VerticalAlign va = cell.e->style.verticalAlign;
            const int offset = va == VerticalAlign::Middle ? (h - contentH) / 2 : va == VerticalAlign::Bottom ? h - contentH : 0;
            Shift(cell.e, 0, top[cell.row] - cell.e->box.y, marks[i]);
            for (Element* child : cell.e->children)
                if (!IsAbsolute(child))
                    ShiftTree(child, 0, offset);
            cell.e->box.width = w;
            cell.e->box.height = h;
        }
        for (Element* child : table->children)
            if (child->style.display == Display::TableRowGroup) {
                child->box = Box();
                for (Element* row : child->children)
                    Unite(child->box, row->box);
            }
        return rows.empty() ? 0 : top[rows.size()] - y;
    }

    // ---- flex -------------------------------------------------------------------------------

    // Lays out a flex container's items in one line; answers the content height.
    int LayoutFlex(Element* e, int x, int y, int width, int height)
    {
        const Style& s = e->style;
        std::vector<Element*> items;
        for (Element* child : e->children) {
            if (child->style.display == Display::None || IsAbsolute(child))
                continue;
            if (child->IsText()) {  // text straight in a flex container is not shown
                child->pieces.clear();
                child->box = Box();
                continue;
            }
            items.push_back(child);
        }
        const bool row = !s.flexColumn;
        const int gap = row ? s.columnGap : s.rowGap;
        const int n = static_cast<int>(items.size());
        const size_t mark = pending_.size();  // what measuring adds is dropped again
        std::vector<int> size(n), margins(n);
        // Base sizes: flex-basis, else the width or height, else the content's.
        for (int i = 0; i < n; ++i) {
            Element* item = items[i];
            const Style& is = item->style;
            const Edges edges = EdgesOf(item, width);
            margins[i] = row ? edges.margin[1] + edges.margin[3] : edges.margin[0] + edges.margin[2];
            const int extra = row ? edges.Horizontal() : edges.Vertical();
            const Length& main = !is.flexBasis.IsAuto() ? is.flexBasis : row ? is.width : is.height;
            const int base = row ? width : height;
            int basis = main.IsAuto() || (main.unit == Length::Percent && base < 0) ? -1
                        : main.Resolve(base) + (is.borderBox && &main != &is.flexBasis ? 0 : extra);
            if (basis < 0) {
                if (row) {
                    basis = Intrinsic(item).max;
                } else {
                    Floats own;
                    basis = LayoutBlockBox(item, x, y, width, own, CrossWidth(item, width), -1);
                }
            }
            size[i] = row ? Clamp(item, basis, is.minWidth, is.maxWidth, width, extra)
                          : Clamp(item, basis, is.minHeight, is.maxHeight, -1, extra);
        }
        pending_.resize(mark);
        int used = gap * std::max(n - 1, 0);
        int grow = 0, shrink = 0;
        for (int i = 0; i < n; ++i) {
            used += size[i] + margins[i];
            grow += items[i]->style.flexGrow;
            shrink += items[i]->style.flexShrink * size[i] / 100;
        }
        const int mainSize = row ? width : height;
        int free = mainSize >= 0 ? mainSize - used : 0;
        if (free > 0 && grow > 0) {
            for (int i = 0; i < n; ++i)
                size[i] += static_cast<int>(static_cast<long long>(free) * items[i]->style.flexGrow / grow);
            free = 0;
        } else if (free < 0 && shrink > 0) {
            const int deficit = -free;
            for (int i = 0; i < n; ++i)
                size[i] = std::max(0, size[i] - static_cast<int>(static_cast<long long>(deficit) *
                                                                 (items[i]->style.flexShrink * size[i] / 100) / shrink));
            free = 0;
        }
        // Place along the main axis.
        int lead = 0, between = gap;
        if (free > 0) {
            switch (s.justifyContent) {
            case Justify::End: lead = free; break;
            case Justify::Center: lead = free / 2; break;
            case Justify::SpaceBetween: between += n > 1 ? free / (n - 1) : 0; break;
            case Justify::SpaceAround: lead = free / (2 * std::max(n, 1)); between += free / std::max(n, 1); break;
            case Justify::SpaceEvenly: lead = free / (n + 1); between += free / (n + 1); break;
            case Justify::Start: break;
            }
        }
        int cross = 0;
        std::vector<int> outerCross(n);
        for (int i = 0; i < n; ++i) {
            Element* item = items[i];
            Floats own;
            const int h = row ? LayoutBlockBox(item, 0, 0, size[i] + margins[i], own, size[i], -1)
                              : LayoutBlockBox(item, x, 0, width, own, CrossWidth(item, width), size[i]);
            const Edges edges = EdgesOf(item, width);
            outerCross[i] = row ? h + edges.margin[0] + edges.margin[2]
                                : item->box.width + edges.margin[1] + edges.margin[3];
            cross = std::max(cross, outerCross[i]);
        }
        pending_.resize(mark);
        const int lineCross = row ? (height >= 0 ? height : cross) : width;
        int pen = lead;
        for (int i = 0; i < n; ++i) {
            Element* item = items[i];
            const Style& is = item->style;
            const Edges edges = EdgesOf(item, width);
            const Align align = s.alignItems;
            const bool stretch = align == Align::Stretch && (row ? is.height.IsAuto() : is.width.IsAuto());
            int offset = 0;
            Floats own;
            const size_t itemMark = pending_.size();
            const int crossSize = stretch ? lineCross - (row ? edges.margin[0] + edges.margin[2]
                                                             : edges.margin[1] + edges.margin[3])
                                          : -1;
            if (row)
                LayoutBlockBox(item, 0, 0, size[i] + margins[i], own, size[i], crossSize);
            else
                LayoutBlockBox(item, x, 0, width, own, stretch ? crossSize : CrossWidth(item, width), size[i]);
            if (stretch)
                outerCross[i] = lineCross;
            if (align == Align::End)
                offset = lineCross - outerCross[i];
            else if (align == Align::Center)
                offset = (lineCross - outerCross[i]) / 2;
            const int mainPos = pen + (row ? edges.margin[3] : edges.margin[0]);
            const int crossPos = offset + (row ? edges.margin[0] : edges.margin[3]);
            const int targetX = x + (row ? mainPos : crossPos), targetY = y + (row ? crossPos : mainPos);
            Shift(item, targetX - item->box.x, targetY - item->box.y, itemMark);
            pen += size[i] + margins[i] + between;
        }
        return row ? lineCross : height >= 0 ? height : std::max(pen - between, 0);
    }

    // An item's border-box width across a column: its own width, else stretched or shrunk to fit.
    int CrossWidth(Element* item, int width)
    {
        const Edges edges = EdgesOf(item, width);
        const int w = Specified(item, item->style.width, item->style.minWidth, item->style.maxWidth, width,
                                edges.Horizontal());
        if (w >= 0)
            return w;
        const int room = width - edges.margin[1] - edges.margin[3];
        return item->parent->style.alignItems == Align::Stretch ? room : ShrinkToFit(item, room);
    }

    // ---- moving and positioned boxes --------------------------------------------------------

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
            if (a->style.position != Position::Static) {
                const Edges edges = EdgesOf(a, 0);
                return Box{a->box.x + edges.border[3], a->box.y + edges.border[0],
                           a->box.width - edges.border[1] - edges.border[3], a->box.height - edges.border[0] - edges.border[2]};
            }
        return viewport_;
    }

    // By value: laying the box out queues the positioned boxes inside it, which may move pending_.
    void LayoutAbsolute(const Pending p)
    {
        Element* e = p.e;
        const Style& s = e->style;
        const Box cb = ContainingBlock(e);
        const Edges edges = EdgesOf(e, cb.width);
        int w = -1, h = -1;
        if (IsReplaced(e))
            ReplacedSize(e, cb.width, w, h);
        const int given = Specified(e, s.width, s.minWidth, s.maxWidth, cb.width, edges.Horizontal());
        if (given >= 0)
            w = given;
        else if (!s.left.IsAuto() && !s.right.IsAuto())
            w = std::max(cb.width - s.left.Resolve(cb.width) - s.right.Resolve(cb.width) - edges.margin[1] -
                             edges.margin[3],
                         0);
        else if (w < 0)  // as wide as its content, at most the containing block
            w = std::max(ShrinkToFit(e, cb.width - edges.margin[1] - edges.margin[3]), edges.Horizontal());
        const int givenH = Specified(e, s.height, s.minHeight, s.maxHeight, cb.height, edges.Vertical());
        if (givenH >= 0)
            h = givenH;
        else if (!s.top.IsAuto() && !s.bottom.IsAuto())
            h = std::max(cb.height - s.top.Resolve(cb.height) - s.bottom.Resolve(cb.height) - edges.margin[0] -
                             edges.margin[2],
                         0);
        const int x = !s.left.IsAuto()    ? cb.x + s.left.Resolve(cb.width) + edges.margin[3]
                      : !s.right.IsAuto() ? cb.x + cb.width - s.right.Resolve(cb.width) - edges.margin[1] - w
                                          : p.staticX + edges.margin[3];
        const size_t pendingBefore = pending_.size();
        Floats own;
        LayoutBlockBox(e, x - edges.margin[3], 0, w + edges.margin[1] + edges.margin[3], own, w, h);
        const int height = e->box.height;
        const int y = !s.top.IsAuto()    ? cb.y + s.top.Resolve(cb.height) + edges.margin[0]
                      : !s.bottom.IsAuto() ? cb.y + cb.height - s.bottom.Resolve(cb.height) - edges.margin[2] - height
                                           : p.staticY + edges.margin[0];
        Shift(e, 0, y, pendingBefore);
    }

    // Back to front: the flow of a layer in document order (floats over blocks), then its
    // positioned boxes, each with its own layer.
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
        if (!layer && (IsAbsolute(e) || e->style.position == Position::Relative)) {
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
    int flexDepth_ = 0;
    std::vector<Pending> pending_;
};

}  // namespace

LayoutResult LayOut(Document& document, Fonts& fonts, const ImageMap& images, int width, int height, int dpi)
{
    return Layouter(fonts, images, width, height, dpi).Run(document);
}

}  // namespace hl
