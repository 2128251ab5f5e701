#include "css.h"

#include <algorithm>
#include <cwctype>

namespace hl {

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f';
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

namespace {

constexpr size_t kMaxCompounds = 16;

bool IsIdentChar(wchar_t c)
{
    return std::iswalnum(c) || c == L'-' || c == L'_' || c >= 0x80;
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

}  // namespace

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

void ParseStyleSheet(const std::wstring& source, std::vector<Rule>& rules, SheetFindings* findings)
{
    // Comments and the markup comment brackets a sheet may carry go first, blanked in place so
    // that an offset still names its line.
    std::wstring text = source;
    for (size_t i = 0; i < text.size();) {
        size_t end;
        if (text.compare(i, 2, L"/*") == 0) {
            const size_t close = text.find(L"*/", i + 2);
            end = close == std::wstring::npos ? text.size() : close + 2;
        } else if (text.compare(i, 4, L"<!--") == 0 || text.compare(i, 3, L"-->") == 0) {
            end = i + (text[i] == L'<' ? 4 : 3);
        } else {
            ++i;
            continue;
        }
        for (; i < end; ++i)
            if (text[i] != L'\n')
                text[i] = L' ';
    }
    auto report = [findings](size_t at, const std::wstring& what) {
        if (findings)
            findings->push_back({at, what});
    };
    unsigned order = rules.empty() ? 0 : rules.back().order + 1;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find_first_of(L"{;}", pos);
        if (open == std::wstring::npos)
            break;
        if (text[open] != L'{') {  // a bare at-rule ("@import ...;") or a stray brace
            if (!Trim(text.substr(pos, open - pos)).empty())
                report(pos, L"'" + Trim(text.substr(pos, open - pos)) + L"' is ignored");
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
        const size_t start = text.find_first_not_of(L" \t\r\n\f", pos);
        const std::wstring prelude = Trim(text.substr(pos, open - pos));
        const std::wstring body = text.substr(open + 1, std::min(close, text.size()) - open - 1);
        pos = close + 1;
        std::vector<Selector> selectors;
        if (prelude.empty() || prelude[0] == L'@' || !ParseSelectorList(prelude, selectors)) {
            report(start, (prelude[0] == L'@' ? L"at-rule '" : L"selector '") + prelude.substr(0, 60) +
                              L"' is not supported: its rules are dropped");
            continue;
        }
        const std::vector<Declaration> declarations = ParseDeclarations(body);
        size_t cursor = 0;
        for (const Declaration& d : declarations) {
            cursor = std::min(Lower(body).find(d.property, cursor), body.size());
            const wchar_t* problem = DeclarationProblem(d);
            if (problem)
                report(open + 1 + cursor, L"'" + d.property + L": " + d.value.substr(0, 60) + L"' " + problem);
        }
        for (const Selector& selector : selectors)
            rules.push_back({selector, declarations, order++});
    }
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

}  // namespace hl
