// Selectors, style rules and the cascade.
#pragma once
#include <string>
#include <vector>

#include "dom.h"

namespace hl {

// One condition of a compound selector.
struct Condition {
    enum Kind { Id, Class, HasAttribute, AttributeEquals, AttributeHasWord, Hover, Active, Focus, FirstChild };
    Kind kind;
    std::wstring name;   // attribute name (lower case), id or class
    std::wstring value;
};

// tag#id.class[attr]:hover ... and how it joins the compound on its left.
struct Compound {
    std::wstring tag;  // empty: any
    std::vector<Condition> conditions;
    enum Combinator { None, Descendant, Child } combinator = None;  // to the previous compound
};

struct Selector {
    std::vector<Compound> compounds;  // left to right
    unsigned specificity = 0;         // ids << 16 | classes, attributes, states << 8 | tags
};

bool IsSpace(wchar_t c);
// ASCII letters lowered; others kept.
std::wstring Lower(std::wstring text);
std::wstring Trim(const std::wstring& text);
// Splits at a separator outside quotes, brackets and parentheses.
std::vector<std::wstring> SplitTopLevel(const std::wstring& text, wchar_t separator);

// Parses a comma-separated list; false (and nothing appended) when any part is not one the
// engine supports.
bool ParseSelectorList(const std::wstring& text, std::vector<Selector>& out);
bool Matches(const Selector& selector, const Element* e);

// The elements below root (not root itself) that match any selector of the list, in document
// order; false when the list is not one the engine supports.
bool SelectBelow(Element* root, const std::wstring& selectorList, std::vector<Element*>& found);

struct Declaration {
    std::wstring property;  // lower case
    std::wstring value;     // trimmed, without "!important"
};

struct Rule {
    Selector selector;
    std::vector<Declaration> declarations;
    unsigned order = 0;  // position in the page
};

// What a sheet holds that the engine leaves out, by offset in the sheet's text.
using SheetFindings = std::vector<std::pair<size_t, std::wstring>>;

// Appends the rules of a style sheet; anything malformed is skipped up to the next rule, and
// reported to findings when given.
void ParseStyleSheet(const std::wstring& text, std::vector<Rule>& rules, SheetFindings* findings = nullptr);
// Why the engine leaves a declaration out ("is not a property the engine knows", "has a value
// the engine does not take"), or null when it applies it.
const wchar_t* DeclarationProblem(const Declaration& d);
// Parses a style attribute's declarations.
std::vector<Declaration> ParseDeclarations(const std::wstring& text);

// A candidate of an img's srcset ("a.png 2x, b.png 1.5x"; a bare URL counts as 1x), its
// density counted in halves (1.5x is 3). Malformed candidates and densities beyond 8x are left out.
struct SourceCandidate {
    std::wstring url;
    int halves;
};
std::vector<SourceCandidate> SrcsetCandidates(const std::wstring& srcset);

// The url(...) of a property value, or empty.
std::wstring UrlOf(const std::wstring& value);

// A URL of the page joined to its base: relative ones are appended to the base's folder.
std::wstring ResolveUrl(const std::wstring& base, const std::wstring& url);

// True when any condition of the selector is :focus: a page with such a rule draws its own
// focus mark.
bool HasFocusCondition(const Selector& selector);

// Computes the style of every element below and including root: the usual browser defaults by
// tag, the rules by specificity and order, the style attribute, inheritance from the parent.
// Lengths come out in device pixels of dpi, and an img's source is the srcset candidate that
// suits dpi.
void ComputeStyles(Element* root, const std::vector<Rule>& rules, const std::wstring& baseUrl, int dpi);

// What the engine ignores of a page, for the publisher: elements, properties, values and
// selectors, each with the line (from 1) where it stands.
struct PageFinding {
    int line;
    std::wstring what;
};
std::vector<PageFinding> FindIgnored(const std::wstring& page);

}  // namespace hl
