// Selectors, style rules and the cascade.
#pragma once
#include <string>
#include <vector>

#include "dom.h"

namespace hl {

// One condition of a compound selector.
struct Condition {
    enum Kind { Id, Class, HasAttribute, AttributeEquals, AttributeHasWord, Hover, Active, FirstChild };
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

// Appends the rules of a style sheet; anything malformed is skipped up to the next rule.
void ParseStyleSheet(const std::wstring& text, std::vector<Rule>& rules);
// Parses a style attribute's declarations.
std::vector<Declaration> ParseDeclarations(const std::wstring& text);

// The url(...) of a property value, or empty.
std::wstring UrlOf(const std::wstring& value);

// A URL of the page joined to its base: relative ones are appended to the base's folder.
std::wstring ResolveUrl(const std::wstring& base, const std::wstring& url);

// Computes the style of every element below and including root: defaults by tag, the rules by
// specificity and order, the style attribute, inheritance from the parent.
void ComputeStyles(Element* root, const std::vector<Rule>& rules, const std::wstring& baseUrl);

}  // namespace hl
