// The markup parser: any bytes make a document whose tree is well formed.
#include <algorithm>
#include <cassert>
#include <cstdint>
#include <set>

#include "css.h"
#include "html_parser.h"

using namespace hl;

namespace {

void CheckTree(const Element* e, int depth)
{
    assert(depth <= kMaxDepth + 1 && IsLive(e));  // the text of an element at the deepest level
    for (const auto& attribute : e->attributes)
        assert(attribute.first == Lower(attribute.first) && !attribute.first.empty());
    assert(e->tag == Lower(e->tag));
    for (const Element* child : e->children) {
        assert(child->parent == e && !(e->IsText()));
        CheckTree(child, depth + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::unique_ptr<Document> document = ParseHtml(DecodePage(data, size), L"res:setup.exe/");
    assert(document->root && document->root->tag == L"html" && !document->root->parent);
    CheckTree(document->root, 0);
    // Every URL once; the srcset alternates among them.
    assert(std::set<std::wstring>(document->urls.begin(), document->urls.end()).size() == document->urls.size());
    for (const std::wstring& url : document->alternates)
        assert(std::find(document->urls.begin(), document->urls.end(), url) != document->urls.end());
    return 0;
}
