// What the engine leaves out of a page, said to its author with the line it stands on.
#include <algorithm>
#include <cwctype>

#include "css.h"

namespace hl {

namespace {

// Elements the engine lays out as their usual selves; any other shows as an inline box (or,
// for these, not at all).
const wchar_t* const kKnownTags[] = {
    L"html", L"head", L"title", L"meta", L"style", L"body", L"div", L"p", L"h1", L"h2", L"h3", L"h4", L"h5",
    L"h6", L"ul", L"ol", L"li", L"span", L"a", L"b", L"strong", L"i", L"em", L"u", L"ins", L"img", L"br",
    L"hr", L"table", L"thead", L"tbody", L"tfoot", L"tr", L"td", L"th", L"caption", L"center", L"header",
    L"footer", L"section", L"article", L"nav", L"main", L"aside", L"blockquote", L"pre", L"code", L"kbd",
    L"samp", L"tt", L"dl", L"dt", L"dd", L"address", L"figure", L"figcaption", L"small", L"big", L"label",
    L"button", L"cite", L"var", L"dfn", L"form", L"fieldset", L"legend", L"menu", L"details", L"summary", L"base",
    L"template", L"noscript"};
const struct {
    const wchar_t* tag;
    const wchar_t* what;
} kLeftOut[] = {
    {L"script", L"scripts do not run"},
    {L"link", L"linked style sheets and resources are not read"},
    {L"input", L"form fields are not drawn (type=button, submit and reset are buttons without a face)"},
    {L"select", L"form fields are not drawn"},
    {L"textarea", L"form fields are not drawn"},
    {L"iframe", L"frames are not drawn"},
    {L"video", L"media are not drawn"},
    {L"audio", L"media are not drawn"},
    {L"canvas", L"canvases are not drawn"},
    {L"svg", L"SVG is not drawn"},
    {L"object", L"embedded objects are not drawn"},
    {L"embed", L"embedded objects are not drawn"},
};

class Finder {
public:
    explicit Finder(const std::wstring& page) : page_(page) {}

    std::vector<PageFinding> Run()
    {
        for (size_t pos = page_.find(L'<'); pos != std::wstring::npos; pos = page_.find(L'<', pos + 1)) {
            if (page_.compare(pos, 4, L"<!--") == 0) {
                pos = std::min(page_.find(L"-->", pos), page_.size() - 1);
                continue;
            }
            size_t end = pos + 1;
            while (end < page_.size() && (iswalnum(page_[end]) || page_[end] == L'-'))
                ++end;
            if (end == pos + 1)
                continue;
            const std::wstring tag = Lower(page_.substr(pos + 1, end - pos - 1));
            const size_t close = std::min(page_.find(L'>', end), page_.size());
            Tag(tag, pos);
            Attributes(page_.substr(end, close - end), end);
            if (tag == L"style" || tag == L"script") {
                const size_t stop = std::min(Lower(page_).find(L"</" + tag, close), page_.size());
                if (tag == L"style" && close < stop) {
                    SheetFindings findings;
                    std::vector<Rule> rules;
                    ParseStyleSheet(page_.substr(close + 1, stop - close - 1), rules, &findings);
                    for (const auto& f : findings)
                        Add(close + 1 + f.first, f.second);
                }
                pos = stop;
            }
        }
        return found_;  // in page order, as found
    }

private:
    void Tag(const std::wstring& tag, size_t at)
    {
        for (const auto& left : kLeftOut)
            if (tag == left.tag)
                return Add(at, L"<" + tag + L">: " + left.what);
        if (std::none_of(std::begin(kKnownTags), std::end(kKnownTags), [&](const wchar_t* t) { return tag == t; }))
            Add(at, L"<" + tag + L"> is not an element the engine knows: it is laid out as an inline box");
    }

    // The style attribute's declarations.
    void Attributes(const std::wstring& text, size_t at)
    {
        const std::wstring lower = Lower(text);
        for (size_t pos = lower.find(L"style"); pos != std::wstring::npos; pos = lower.find(L"style", pos + 5)) {
            size_t i = pos + 5;
            while (i < text.size() && IsSpace(text[i]))
                ++i;
            if ((pos > 0 && !IsSpace(text[pos - 1])) || i >= text.size() || text[i] != L'=')
                continue;
            for (++i; i < text.size() && IsSpace(text[i]);)
                ++i;
            const wchar_t quote = i < text.size() && (text[i] == L'"' || text[i] == L'\'') ? text[i] : 0;
            const size_t end = quote ? std::min(text.find(quote, i + 1), text.size()) : text.find_first_of(L" \t\r\n", i);
            const std::wstring value = text.substr(i + (quote ? 1 : 0), std::min(end, text.size()) - i - (quote ? 1 : 0));
            for (const Declaration& d : ParseDeclarations(value))
                if (const wchar_t* problem = DeclarationProblem(d))
                    Add(at + pos, L"'" + d.property + L": " + d.value.substr(0, 60) + L"' " + problem);
        }
    }

    void Add(size_t at, const std::wstring& what)
    {
        const int line = 1 + static_cast<int>(std::count(page_.begin(), page_.begin() + std::min(at, page_.size()), L'\n'));
        found_.push_back({line, what});
    }

    const std::wstring& page_;
    std::vector<PageFinding> found_;
};

}  // namespace

std::vector<PageFinding> FindIgnored(const std::wstring& page)
{
    return Finder(page).Run();
}

}  // namespace hl
