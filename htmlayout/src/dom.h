// The element tree of a page.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "style.h"

namespace hl {

class View;
struct Rule;

// Deeper nesting is flattened by the parser, so that every walk of the tree may recurse.
constexpr int kMaxDepth = 100;

enum ElementState : unsigned { kHover = 1, kActive = 2, kFocus = 4 };

// One node: an element, or a run of text (empty tag). Reference counted: the parent holds one
// reference, the host may hold more. A node that outlives its page keeps its tag, attributes and
// text but loses its parent, children and view.
struct Element {
    std::wstring tag;  // lower case; empty for text
    std::vector<std::pair<std::wstring, std::wstring>> attributes;  // names lower case
    std::wstring text;
    Element* parent = nullptr;
    std::vector<Element*> children;
    View* view = nullptr;
    unsigned state = 0;
    int refs = 1;
    int hostRefs = 0;  // the host's share of refs: it can never drop the page's own
    size_t live = 0;   // the node's place in the list of live nodes

    Style style;
    Box box;
    std::vector<TextPiece> pieces;  // text nodes; a list item's marker
    int intrinsicMin = -1, intrinsicMax = 0;  // the narrowest and natural widths, once a layout knows them
    // A behavior handler the host attached through the attach notification.
    HlElementProc proc = nullptr;
    void* procTag = nullptr;
    UINT procEvents = 0;

    bool IsText() const { return tag.empty(); }
    const std::wstring* Attribute(const std::wstring& name) const;
    // The element's link or button behavior, if any.
    bool IsLink() const { return Attribute(L"href") != nullptr; }
    bool IsButton() const;
    int Depth() const;
};

Element* NewElement(std::wstring tag);
// Takes and drops a reference; the last drop frees the node (and, for a node still in a page,
// is never reached while the page holds it).
void Use(Element* e);
void Unuse(Element* e);
// True when e is a node this process made and has not freed: the handle check of every entry.
bool IsLive(const void* e);

void AppendChild(Element* parent, Element* child);
// Unlinks the whole tree below and including root from its page and drops the page's references.
void ReleaseTree(Element* root);

// Calls visit(node) for root's descendants (not root) in document order.
template <class Visit>
void ForEachDescendant(Element* root, Visit&& visit)
{
    for (Element* child : root->children) {
        visit(child);
        ForEachDescendant(child, visit);
    }
}

// The concatenated text of the node and everything below it.
std::wstring InnerText(const Element* e);

// A parsed page: the root element (always "html") and the style rules in source order.
struct Document {
    Element* root = nullptr;
    std::vector<Rule> rules;
    std::vector<std::wstring> urls;  // every URL the page names, each once, in order
    // Those of urls named only as srcset candidates: a view asks for the one its DPI chooses.
    std::vector<std::wstring> alternates;
    Document();
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
};

}  // namespace hl
