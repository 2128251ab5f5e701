#include "dom.h"

#include <algorithm>

#include "css.h"

namespace hl {

namespace {

// Every node alive in the process: a handle the host passes in is checked against it, so that a
// stale or foreign handle answers HL_INVALID_HANDLE instead of being followed. Each node knows its
// place, so freeing one takes constant time however large the page; the search happens only when
// the host calls in.
std::vector<Element*>& LiveNodes()
{
    // Never destroyed: a host may still check a handle while the process ends.
    static auto* nodes = new std::vector<Element*>;
    return *nodes;
}

}  // namespace

const std::wstring* Element::Attribute(const std::wstring& name) const
{
    for (const auto& attribute : attributes)
        if (attribute.first == name)
            return &attribute.second;
    return nullptr;
}

bool Element::IsButton() const
{
    if (tag == L"button")
        return true;
    if (tag != L"input")
        return false;
    const std::wstring* type = Attribute(L"type");
    return type && (_wcsicmp(type->c_str(), L"button") == 0 || _wcsicmp(type->c_str(), L"submit") == 0 ||
                    _wcsicmp(type->c_str(), L"reset") == 0);
}

int Element::Depth() const
{
    int depth = 0;
    for (const Element* e = parent; e; e = e->parent)
        ++depth;
    return depth;
}

Element* NewElement(std::wstring tag)
{
    Element* e = new Element;
    e->tag = std::move(tag);
    e->live = LiveNodes().size();
    LiveNodes().push_back(e);
    return e;
}

void Use(Element* e)
{
    ++e->refs;
}

void Unuse(Element* e)
{
    if (--e->refs > 0)
        return;
    auto& nodes = LiveNodes();
    nodes.back()->live = e->live;
    nodes[e->live] = nodes.back();
    nodes.pop_back();
    delete e;
}

bool IsLive(const void* e)
{
    const auto& nodes = LiveNodes();
    return e && std::find(nodes.begin(), nodes.end(), e) != nodes.end();
}

void AppendChild(Element* parent, Element* child)
{
    child->parent = parent;
    child->view = parent->view;
    parent->children.push_back(child);
}

void ReleaseTree(Element* root)
{
    std::vector<Element*> children;
    children.swap(root->children);
    for (Element* child : children)
        ReleaseTree(child);
    root->parent = nullptr;
    root->view = nullptr;
    root->proc = nullptr;
    Unuse(root);
}

std::wstring InnerText(const Element* e)
{
    if (e->IsText())
        return e->text;
    std::wstring text;
    for (const Element* child : e->children)
        text += InnerText(child);
    return text;
}

Document::Document() = default;

Document::~Document()
{
    if (root)
        ReleaseTree(root);
}

}  // namespace hl
