#include "dom.h"

#include <set>

#include "css.h"

namespace hl {

namespace {

// Every node alive in the process: a handle the host passes in is checked against it, so that a
// stale or foreign handle answers HL_INVALID_HANDLE instead of being followed.
std::set<const void*>& LiveNodes()
{
    static std::set<const void*> nodes;
    return nodes;
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
    LiveNodes().insert(e);
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
    LiveNodes().erase(e);
    delete e;
}

bool IsLive(const void* e)
{
    return e && LiveNodes().count(e) != 0;
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
