#include "css.h"

#include <algorithm>
#include <cwctype>

namespace hl {

namespace {

constexpr size_t kMaxCompounds = 16;

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f';
}

bool IsIdentChar(wchar_t c)
{
    return std::iswalnum(c) || c == L'-' || c == L'_' || c >= 0x80;
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        if (c < 0x80)
            c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring Trim(const std::wstring& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool HasWord(const std::wstring& list, const std::wstring& word)
{
    if (word.empty())
        return false;
    size_t pos = 0;
    while (pos < list.size()) {
        while (pos < list.size() && IsSpace(list[pos]))
            ++pos;
        size_t end = pos;
        while (end < list.size() && !IsSpace(list[end]))
            ++end;
        if (list.compare(pos, end - pos, word) == 0 && end > pos)
            return true;
        pos = end;
    }
    return false;
}

// Reads a selector from text at pos; the text holds no commas outside brackets.
class SelectorReader {
public:
    explicit SelectorReader(const std::wstring& text) : s_(text) {}

    bool Read(Selector& selector)
    {
        SkipSpace();
        if (AtEnd())
            return false;
        Compound::Combinator combinator = Compound::None;
        for (;;) {
            Compound compound;
            compound.combinator = combinator;
            if (!ReadCompound(compound) || selector.compounds.size() == kMaxCompounds)
                return false;
            selector.compounds.push_back(compound);
            const bool spaced = SkipSpace();
            if (AtEnd())
                break;
            if (s_[pos_] == L'>') {
                ++pos_;
                SkipSpace();
                combinator = Compound::Child;
            } else if (spaced) {
                combinator = Compound::Descendant;
            } else {
                return false;
            }
        }
        unsigned ids = 0, classes = 0, tags = 0;
        for (const Compound& c : selector.compounds) {
            tags += !c.tag.empty();
            for (const Condition& condition : c.conditions)
                condition.kind == Condition::Id ? ++ids : ++classes;
        }
        selector.specificity = std::min(ids, 255u) << 16 | std::min(classes, 255u) << 8 | std::min(tags, 255u);
        return true;
    }

private:
    bool AtEnd() const { return pos_ >= s_.size(); }

    bool SkipSpace()
    {
        const size_t start = pos_;
        while (!AtEnd() && IsSpace(s_[pos_]))
            ++pos_;
        return pos_ != start;
    }

    std::wstring Ident()
    {
        const size_t start = pos_;
        while (!AtEnd() && IsIdentChar(s_[pos_]))
            ++pos_;
        return s_.substr(start, pos_ - start);
    }

    // A quoted string or a bare word up to "]".
    bool Value(std::wstring& value)
    {
        if (AtEnd())
            return false;
        const wchar_t quote = s_[pos_];
        if (quote == L'\'' || quote == L'"') {
            const size_t close = s_.find(quote, pos_ + 1);
            if (close == std::wstring::npos)
                return false;
            value = s_.substr(pos_ + 1, close - pos_ - 1);
            pos_ = close + 1;
            return true;
        }
        value = Ident();
        return !value.empty();
    }

    bool Attribute(Compound& compound)
    {
        SkipSpace();
        Condition condition{Condition::HasAttribute, Lower(Ident()), L""};
        if (condition.name.empty())
            return false;
        SkipSpace();
        if (AtEnd())
            return false;
        if (s_[pos_] == L'=' || (s_[pos_] == L'~' && pos_ + 1 < s_.size() && s_[pos_ + 1] == L'=')) {
            condition.kind = s_[pos_] == L'=' ? Condition::AttributeEquals : Condition::AttributeHasWord;
            pos_ += condition.kind == Condition::AttributeEquals ? 1 : 2;
            SkipSpace();
            if (!Value(condition.value))
                return false;
            SkipSpace();
        }
        if (AtEnd() || s_[pos_] != L']')
            return false;
        ++pos_;
        compound.conditions.push_back(condition);
        return true;
    }

    bool ReadCompound(Compound& compound)
    {
        bool any = false;
        if (!AtEnd() && s_[pos_] == L'*') {
            ++pos_;
            any = true;
        } else if (!AtEnd() && IsIdentChar(s_[pos_])) {
            compound.tag = Lower(Ident());
            any = true;
        }
        while (!AtEnd()) {
            const wchar_t c = s_[pos_];
            if (c == L'#' || c == L'.') {
                ++pos_;
                std::wstring name = Ident();
                if (name.empty())
                    return false;
                compound.conditions.push_back({c == L'#' ? Condition::Id : Condition::Class, name, L""});
            } else if (c == L'[') {
                ++pos_;
                if (!Attribute(compound))
                    return false;
            } else if (c == L':') {
                ++pos_;
                const std::wstring name = Lower(Ident());
                if (name == L"hover")
                    compound.conditions.push_back({Condition::Hover, L"", L""});
                else if (name == L"active")
                    compound.conditions.push_back({Condition::Active, L"", L""});
                else if (name == L"focus")
                    compound.conditions.push_back({Condition::Focus, L"", L""});
                else if (name == L"first-child")
                    compound.conditions.push_back({Condition::FirstChild, L"", L""});
                else
                    return false;
            } else {
                break;
            }
            any = true;
        }
        return any;
    }

    const std::wstring& s_;
    size_t pos_ = 0;
};

bool MatchesCondition(const Condition& condition, const Element* e)
{
    switch (condition.kind) {
    case Condition::Id: {
        const std::wstring* id = e->Attribute(L"id");
        return id && *id == condition.name;
    }
    case Condition::Class: {
        const std::wstring* classes = e->Attribute(L"class");
        return classes && HasWord(*classes, condition.name);
    }
    case Condition::HasAttribute:
        return e->Attribute(condition.name) != nullptr;
    case Condition::AttributeEquals: {
        const std::wstring* value = e->Attribute(condition.name);
        return value && *value == condition.value;
    }
    case Condition::AttributeHasWord: {
        const std::wstring* value = e->Attribute(condition.name);
        return value && HasWord(*value, condition.value);
    }
    case Condition::Hover:
        return (e->state & kHover) != 0;
    case Condition::Active:
        return (e->state & kActive) != 0;
    case Condition::Focus:
        return (e->state & kFocus) != 0;
    case Condition::FirstChild:
        if (!e->parent)
            return false;
        for (const Element* sibling : e->parent->children)
            if (!sibling->IsText())
                return sibling == e;
        return false;
    }
    return false;
}

bool MatchesCompound(const Compound& compound, const Element* e)
{
    if (e->IsText() || (!compound.tag.empty() && compound.tag != e->tag))
        return false;
    for (const Condition& condition : compound.conditions)
        if (!MatchesCondition(condition, e))
            return false;
    return true;
}

// Right to left. Every ancestor of one element has its own depth, so (compound, depth) names a
// tried pairing: remembering the failed ones keeps the walk linear in depth times compounds.
class Matcher {
public:
    explicit Matcher(const Selector& selector)
        : selector_(selector), failed_(selector.compounds.size() * (kMaxDepth + 2), false) {}

    bool From(size_t index, const Element* e, int depth)
    {
        const size_t key = index * (kMaxDepth + 2) + static_cast<size_t>(depth);
        const bool remembered = depth >= 0 && depth <= kMaxDepth + 1;
        if (remembered && failed_[key])
            return false;
        bool result = MatchesCompound(selector_.compounds[index], e) && Left(index, e, depth);
        if (remembered && !result)
            failed_[key] = true;
        return result;
    }

private:
    bool Left(size_t index, const Element* e, int depth)
    {
        if (index == 0)
            return true;
        if (selector_.compounds[index].combinator == Compound::Child)
            return e->parent && From(index - 1, e->parent, depth - 1);
        for (const Element* p = e->parent; p; p = p->parent)
            if (From(index - 1, p, --depth))
                return true;
        return false;
    }

    const Selector& selector_;
    std::vector<bool> failed_;
};

// Splits at a separator outside quotes, brackets and parentheses.
std::vector<std::wstring> SplitTopLevel(const std::wstring& text, wchar_t separator)
{
    std::vector<std::wstring> parts;
    std::wstring current;
    wchar_t quote = 0;
    int nesting = 0;
    for (wchar_t c : text) {
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == L'\'' || c == L'"') {
            quote = c;
        } else if (c == L'(' || c == L'[') {
            ++nesting;
        } else if ((c == L')' || c == L']') && nesting > 0) {
            --nesting;
        } else if (c == separator && nesting == 0) {
            parts.push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    parts.push_back(current);
    return parts;
}

// A decimal number with an optional sign and fraction; the fraction is dropped (pixels are
// whole). Values beyond 100000 are cut there.
bool ParseNumber(const std::wstring& text, size_t& pos, int& number)
{
    const size_t start = pos;
    const bool negative = pos < text.size() && text[pos] == L'-';
    if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+'))
        ++pos;
    bool digits = false, fraction = false;
    long value = 0;
    for (; pos < text.size(); ++pos) {
        const wchar_t c = text[pos];
        if (c == L'.' && !fraction) {
            fraction = true;
        } else if (c >= L'0' && c <= L'9') {
            digits = true;
            if (!fraction)
                value = std::min(value * 10 + (c - L'0'), 100000L);
        } else {
            break;
        }
    }
    if (!digits) {
        pos = start;
        return false;
    }
    number = static_cast<int>(negative ? -value : value);
    return true;
}

// "12px", "12", "-3.5px", "auto", in device pixels; other units leave the property as it was.
bool ParseLength(const std::wstring& text, Length& length, int dpi)
{
    const std::wstring value = Lower(Trim(text));
    if (value == L"auto") {
        length = Length();
        return true;
    }
    size_t pos = 0;
    int number = 0;
    if (!ParseNumber(value, pos, number))
        return false;
    const std::wstring unit = value.substr(pos);
    if (!unit.empty() && unit != L"px")
        return false;
    length = Length::Px(DevicePixels(number, dpi));
    return true;
}

bool ParsePixels(const std::wstring& text, int& px, int dpi)
{
    Length length;
    if (!ParseLength(text, length, dpi) || length.isAuto)
        return false;
    px = length.px;
    return true;
}

// A number without a unit: a colour channel, a font weight.
bool ParseInteger(const std::wstring& text, int& number)
{
    const std::wstring value = Trim(text);
    size_t pos = 0;
    return ParseNumber(value, pos, number) && pos == value.size();
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

bool ParseColor(const std::wstring& text, COLORREF& color)
{
    const std::wstring value = Lower(Trim(text));
    static const struct {
        const wchar_t* name;
        COLORREF color;
    } kNamed[] = {{L"black", RGB(0, 0, 0)},       {L"white", RGB(255, 255, 255)}, {L"red", RGB(255, 0, 0)},
                  {L"green", RGB(0, 128, 0)},     {L"blue", RGB(0, 0, 255)},      {L"gray", RGB(128, 128, 128)},
                  {L"grey", RGB(128, 128, 128)},  {L"silver", RGB(192, 192, 192)}, {L"yellow", RGB(255, 255, 0)},
                  {L"navy", RGB(0, 0, 128)},      {L"orange", RGB(255, 165, 0)}};
    for (const auto& named : kNamed) {
        if (value == named.name) {
            color = named.color;
            return true;
        }
    }
    if (!value.empty() && value[0] == L'#' && (value.size() == 4 || value.size() == 7)) {
        int digits[6];
        const size_t count = value.size() - 1;
        for (size_t i = 0; i < count; ++i)
            if ((digits[i] = HexDigit(value[i + 1])) < 0)
                return false;
        if (count == 3)
            color = RGB(digits[0] * 17, digits[1] * 17, digits[2] * 17);
        else
            color = RGB(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3], digits[4] * 16 + digits[5]);
        return true;
    }
    if (value.compare(0, 4, L"rgb(") == 0 && value.back() == L')') {
        const std::vector<std::wstring> parts = SplitTopLevel(value.substr(4, value.size() - 5), L',');
        int channel[3];
        if (parts.size() != 3)
            return false;
        for (int i = 0; i < 3; ++i) {
            if (!ParseInteger(parts[i], channel[i]))
                return false;
            channel[i] = std::max(0, std::min(255, channel[i]));
        }
        color = RGB(channel[0], channel[1], channel[2]);
        return true;
    }
    return false;
}

// One to four lengths for top, right, bottom, left.
void ParseSides(const std::wstring& value, int sides[4], int dpi)
{
    std::vector<int> lengths;
    size_t pos = 0;
    while (pos < value.size()) {
        while (pos < value.size() && IsSpace(value[pos]))
            ++pos;
        size_t end = pos;
        while (end < value.size() && !IsSpace(value[end]))
            ++end;
        if (end == pos)
            break;
        int px = 0;
        if (!ParsePixels(value.substr(pos, end - pos), px, dpi) || lengths.size() == 4)
            return;
        lengths.push_back(px);
        pos = end;
    }
    if (lengths.empty())
        return;
    const int top = lengths[0];
    const int right = lengths.size() > 1 ? lengths[1] : top;
    const int bottom = lengths.size() > 2 ? lengths[2] : top;
    const int left = lengths.size() > 3 ? lengths[3] : right;
    sides[0] = top;
    sides[1] = right;
    sides[2] = bottom;
    sides[3] = left;
}

int SideIndex(const std::wstring& side)
{
    static const wchar_t* kSides[] = {L"top", L"right", L"bottom", L"left"};
    for (int i = 0; i < 4; ++i)
        if (side == kSides[i])
            return i;
    return -1;
}

void Apply(Style& style, const Declaration& d, const std::wstring& baseUrl, int dpi)
{
    const std::wstring& p = d.property;
    const std::wstring value = Lower(d.value);
    if (p == L"display") {
        if (value == L"none")
            style.display = Display::None;
        else if (value == L"inline")
            style.display = Display::Inline;
        else if (!value.empty())
            style.display = Display::Block;
    } else if (p == L"position") {
        if (value == L"absolute" || value == L"fixed")
            style.position = Position::Absolute;
        else if (value == L"relative")
            style.position = Position::Relative;
        else if (value == L"static")
            style.position = Position::Static;
    } else if (p == L"left") {
        ParseLength(value, style.left, dpi);
    } else if (p == L"top") {
        ParseLength(value, style.top, dpi);
    } else if (p == L"right") {
        ParseLength(value, style.right, dpi);
    } else if (p == L"bottom") {
        ParseLength(value, style.bottom, dpi);
    } else if (p == L"width") {
        ParseLength(value, style.width, dpi);
    } else if (p == L"height") {
        ParseLength(value, style.height, dpi);
    } else if (p == L"margin") {
        ParseSides(value, style.margin, dpi);
    } else if (p == L"padding") {
        ParseSides(value, style.padding, dpi);
    } else if (p.compare(0, 7, L"margin-") == 0 && SideIndex(p.substr(7)) >= 0) {
        ParsePixels(value, style.margin[SideIndex(p.substr(7))], dpi);
    } else if (p.compare(0, 8, L"padding-") == 0 && SideIndex(p.substr(8)) >= 0) {
        ParsePixels(value, style.padding[SideIndex(p.substr(8))], dpi);
    } else if (p == L"color") {
        ParseColor(value, style.color);
    } else if (p == L"background-color" || p == L"background") {
        if (value == L"transparent" || value == L"none")
            style.hasBackground = false;
        else if (ParseColor(value, style.background))
            style.hasBackground = true;
        if (p == L"background" && !UrlOf(d.value).empty())
            style.backgroundImage = ResolveUrl(baseUrl, UrlOf(d.value));
    } else if (p == L"background-image" || p == L"foreground-image") {
        std::wstring& image = p == L"background-image" ? style.backgroundImage : style.foregroundImage;
        const std::wstring url = UrlOf(d.value);
        if (!url.empty())
            image = ResolveUrl(baseUrl, url);
        else if (value == L"none")
            image.clear();
    } else if (p == L"font-family") {
        std::wstring family = Trim(SplitTopLevel(d.value, L',')[0]);
        if (family.size() >= 2 && (family[0] == L'"' || family[0] == L'\'') && family.back() == family[0])
            family = family.substr(1, family.size() - 2);
        if (!family.empty() && family.size() < LF_FACESIZE)
            style.fontFamily = family;
    } else if (p == L"font-size") {
        int px = 0;
        if (ParsePixels(value, px, dpi) && px > 0)
            style.fontSize = std::min(px, 400);
    } else if (p == L"font-weight") {
        int weight = 0;
        if (value == L"bold" || value == L"bolder")
            style.bold = true;
        else if (value == L"normal" || value == L"lighter")
            style.bold = false;
        else if (ParseInteger(value, weight))
            style.bold = weight >= 600;
    } else if (p == L"cursor") {
        style.pointer = value == L"pointer" || value == L"hand";
    } else if (p == L"visibility") {
        style.visible = value != L"hidden" && value != L"collapse";
    } else if (p == L"behavior") {
        style.behavior.clear();
        for (wchar_t c : Trim(d.value))
            if (c < 0x80)
                style.behavior += static_cast<char>(c);
    }
}

const wchar_t* const kBlockTags[] = {
    L"html", L"body", L"div", L"p", L"h1", L"h2", L"h3", L"h4", L"h5", L"h6", L"ul", L"ol", L"li", L"form",
    L"center", L"header", L"footer", L"section", L"article", L"nav", L"main", L"table", L"tr", L"td", L"th",
    L"tbody", L"thead", L"blockquote", L"pre", L"hr", L"dl", L"dt", L"dd", L"address", L"fieldset", L"figure"};
const wchar_t* const kHiddenTags[] = {L"head", L"title", L"style", L"script", L"meta", L"link", L"base",
                                      L"template", L"noscript"};

template <size_t N>
bool OneOf(const std::wstring& tag, const wchar_t* const (&list)[N])
{
    for (const wchar_t* item : list)
        if (tag == item)
            return true;
    return false;
}

// What the page gets before any of its rules: inheritance and the usual look of a few tags.
Style DefaultStyle(const Element* e, const Style& parent, int dpi)
{
    Style style;
    style.color = parent.color;
    style.fontFamily = parent.fontFamily;
    style.fontSize = parent.fontSize;
    style.bold = parent.bold;
    style.pointer = parent.pointer;
    style.visible = parent.visible;
    const std::wstring& tag = e->tag;
    if (OneOf(tag, kBlockTags))
        style.display = Display::Block;
    else if (OneOf(tag, kHiddenTags))
        style.display = Display::None;
    if (tag == L"body")
        std::fill(style.margin, style.margin + 4, DevicePixels(8, dpi));
    if (tag == L"p" || tag == L"ul" || tag == L"ol")
        style.margin[0] = style.margin[2] = style.fontSize;
    if (tag == L"ul" || tag == L"ol")
        style.padding[3] = DevicePixels(40, dpi);
    if (tag.size() == 2 && tag[0] == L'h' && tag[1] >= L'1' && tag[1] <= L'6') {
        static const int kSizes[] = {26, 20, 16, 13, 11, 10};
        style.fontSize = DevicePixels(kSizes[tag[1] - L'1'], dpi);
        style.bold = true;
        style.margin[0] = style.margin[2] = style.fontSize * 2 / 3;
    }
    if (tag == L"b" || tag == L"strong" || tag == L"th")
        style.bold = true;
    if (tag == L"a" && e->IsLink())
        style.color = RGB(0, 0, 238);
    return style;
}

struct MatchedRule {
    unsigned specificity;
    unsigned order;
    const Rule* rule;
};

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

void ComputeOne(Element* e, const std::vector<Rule>& rules, const Style& parent, const std::wstring& baseUrl, int dpi)
{
    e->style = DefaultStyle(e, parent, dpi);
    if (!e->IsText()) {
        std::vector<MatchedRule> matched;
        for (const Rule& rule : rules)
            if (Matches(rule.selector, e))
                matched.push_back({rule.selector.specificity, rule.order, &rule});
        std::sort(matched.begin(), matched.end(), [](const MatchedRule& a, const MatchedRule& b) {
            return a.specificity != b.specificity ? a.specificity < b.specificity : a.order < b.order;
        });
        for (const MatchedRule& m : matched)
            for (const Declaration& d : m.rule->declarations)
                Apply(e->style, d, baseUrl, dpi);
        if (e->tag == L"img")
            ChooseSource(e, baseUrl, dpi);
        if (const std::wstring* inline_style = e->Attribute(L"style"))
            for (const Declaration& d : ParseDeclarations(*inline_style))
                Apply(e->style, d, baseUrl, dpi);
    }
    for (Element* child : e->children)
        ComputeOne(child, rules, e->style, baseUrl, dpi);
}

}  // namespace

bool ParseSelectorList(const std::wstring& text, std::vector<Selector>& out)
{
    std::vector<Selector> parsed;
    for (const std::wstring& part : SplitTopLevel(text, L',')) {
        Selector selector;
        if (!SelectorReader(part).Read(selector))
            return false;
        parsed.push_back(selector);
    }
    out.insert(out.end(), parsed.begin(), parsed.end());
    return true;
}

bool Matches(const Selector& selector, const Element* e)
{
    if (selector.compounds.empty())
        return false;
    return Matcher(selector).From(selector.compounds.size() - 1, e, e->Depth());
}

bool SelectBelow(Element* root, const std::wstring& selectorList, std::vector<Element*>& found)
{
    std::vector<Selector> selectors;
    if (!ParseSelectorList(selectorList, selectors))
        return false;
    ForEachDescendant(root, [&](Element* e) {
        if (std::any_of(selectors.begin(), selectors.end(), [e](const Selector& s) { return Matches(s, e); }))
            found.push_back(e);
    });
    return true;
}

std::vector<Declaration> ParseDeclarations(const std::wstring& text)
{
    std::vector<Declaration> declarations;
    for (const std::wstring& part : SplitTopLevel(text, L';')) {
        const size_t colon = part.find(L':');
        if (colon == std::wstring::npos)
            continue;
        Declaration d{Lower(Trim(part.substr(0, colon))), Trim(part.substr(colon + 1))};
        const size_t bang = d.value.find(L'!');
        if (bang != std::wstring::npos && Lower(Trim(d.value.substr(bang + 1))) == L"important")
            d.value = Trim(d.value.substr(0, bang));
        if (!d.property.empty())
            declarations.push_back(d);
    }
    return declarations;
}

void ParseStyleSheet(const std::wstring& source, std::vector<Rule>& rules)
{
    // Comments and the markup comment brackets a sheet may carry go first.
    std::wstring text;
    for (size_t i = 0; i < source.size();) {
        if (source.compare(i, 2, L"/*") == 0) {
            const size_t end = source.find(L"*/", i + 2);
            i = end == std::wstring::npos ? source.size() : end + 2;
            text += L' ';
        } else if (source.compare(i, 4, L"<!--") == 0 || source.compare(i, 3, L"-->") == 0) {
            i += source[i] == L'<' ? 4 : 3;
            text += L' ';
        } else {
            text += source[i++];
        }
    }
    unsigned order = rules.empty() ? 0 : rules.back().order + 1;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find_first_of(L"{;}", pos);
        if (open == std::wstring::npos)
            break;
        if (text[open] != L'{') {  // a bare at-rule ("@import ...;") or a stray brace
            pos = open + 1;
            continue;
        }
        // The block ends at its matching brace; nested blocks (inside @media) are skipped whole.
        size_t close = open + 1;
        for (int depth = 1; close < text.size(); ++close) {
            if (text[close] == L'{')
                ++depth;
            else if (text[close] == L'}' && --depth == 0)
                break;
        }
        const std::wstring prelude = Trim(text.substr(pos, open - pos));
        const std::wstring body = text.substr(open + 1, std::min(close, text.size()) - open - 1);
        pos = close + 1;
        std::vector<Selector> selectors;
        if (prelude.empty() || prelude[0] == L'@' || !ParseSelectorList(prelude, selectors))
            continue;
        const std::vector<Declaration> declarations = ParseDeclarations(body);
        for (const Selector& selector : selectors)
            rules.push_back({selector, declarations, order++});
    }
}

std::vector<SourceCandidate> SrcsetCandidates(const std::wstring& srcset)
{
    std::vector<SourceCandidate> candidates;
    for (const std::wstring& part : SplitTopLevel(srcset, L',')) {
        const std::wstring text = Trim(part);
        const size_t space = text.find_first_of(L" \t\r\n\f");
        const std::wstring descriptor = space == std::wstring::npos ? L"1x" : Lower(Trim(text.substr(space)));
        size_t pos = 0;
        int whole = 0;
        if (space == 0 || text.empty() || !ParseNumber(descriptor, pos, whole) || descriptor.substr(pos) != L"x" ||
            whole < 0 || whole > 8)
            continue;
        const size_t point = descriptor.find(L'.');
        const int halves = whole * 2 + (point != std::wstring::npos && descriptor[point + 1] >= L'5');
        if (halves > 0)
            candidates.push_back({text.substr(0, space), halves});
    }
    return candidates;
}

std::wstring UrlOf(const std::wstring& value)
{
    const std::wstring lower = Lower(value);
    const size_t start = lower.find(L"url(");
    if (start == std::wstring::npos)
        return L"";
    const size_t end = value.find(L')', start + 4);
    if (end == std::wstring::npos)
        return L"";
    std::wstring url = Trim(value.substr(start + 4, end - start - 4));
    if (url.size() >= 2 && (url[0] == L'"' || url[0] == L'\'') && url.back() == url[0])
        url = url.substr(1, url.size() - 2);
    return url;
}

std::wstring ResolveUrl(const std::wstring& base, const std::wstring& url)
{
    if (base.empty() || url.empty() || url[0] == L'/' || url[0] == L'\\')
        return url;
    const size_t colon = url.find(L':');
    if (colon != std::wstring::npos && url.find_first_of(L"/\\") > colon)
        return url;  // has a scheme or a drive
    const size_t slash = base.find_last_of(L"/\\");
    return slash == std::wstring::npos ? url : base.substr(0, slash + 1) + url;
}

bool HasFocusCondition(const Selector& selector)
{
    for (const Compound& compound : selector.compounds)
        for (const Condition& condition : compound.conditions)
            if (condition.kind == Condition::Focus)
                return true;
    return false;
}

void ComputeStyles(Element* root, const std::vector<Rule>& rules, const std::wstring& baseUrl, int dpi)
{
    Style parent;
    if (root->parent)
        parent = root->parent->style;
    else
        parent.fontSize = DevicePixels(parent.fontSize, dpi);
    ComputeOne(root, rules, parent, baseUrl, dpi);
}

}  // namespace hl
