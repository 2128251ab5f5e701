// Style resolution, layout and painting of a page at a size and DPI the input chooses: every box
// and every piece of text gets a size that is neither negative nor beyond what any page can
// reach, and painting (one 2 x 2 image, i.png, for every picture the page names) stays inside
// its canvas.
#include <algorithm>
#include <cassert>
#include <cstdint>

#include "canvas.h"
#include "css.h"
#include "html_parser.h"
#include "layout.h"

using namespace hl;

namespace {

constexpr int kLimit = 1 << 30;

void CheckBoxes(const Element* e)
{
    assert(e->box.width >= 0 && e->box.height >= 0 && e->box.width < kLimit && e->box.height < kLimit);
    assert(e->box.x > -kLimit && e->box.y > -kLimit && e->box.x < kLimit && e->box.y < kLimit);
    for (const TextPiece& piece : e->pieces)
        assert(piece.width >= 0 && piece.height >= 0 && piece.width < kLimit && piece.ascent <= piece.height);
    for (const Element* child : e->children)
        CheckBoxes(child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    // The window: 0 to 2047 pixels wide and high, at 96, 120, 144 or 192 DPI.
    const int width = (data[0] | data[1] << 8) & 0x7FF;
    const int height = (data[2] | data[3] << 8) & 0x7FF;
    static const int kDpi[] = {96, 120, 144, 192};
    const int dpi = kDpi[data[1] >> 3 & 3];
    const std::unique_ptr<Document> document = ParseHtml(DecodePage(data + 4, size - 4), L"res:setup.exe/");
    ComputeStyles(document->root, document->rules, L"res:setup.exe/", dpi);
    Fonts fonts;
    static ImageMap images;
    if (!images.Find(L"res:setup.exe/i.png"))
        images.Set(L"res:setup.exe/i.png", Image{2, 2, {0xFF336699u, 0x80000000u, 0u, 0xFFFFFFFFu}, {}});
    const LayoutResult result = LayOut(*document, fonts, images, width, height, dpi);
    assert(result.right >= 0 && result.bottom >= 0 && result.right < kLimit && result.bottom < kLimit);
    CheckBoxes(document->root);
    std::vector<Element*> found;  // the host's selector calls, with the page's first bytes
    SelectBelow(document->root, DecodePage(data + 4, std::min<size_t>(size - 4, 40)), found);
    // A canvas of at most 640 x 480 keeps an input's time short; the page is clipped to it.
    Canvas canvas;
    if (canvas.Resize(std::min(width, 640) + 1, std::min(height, 480) + 1))
        canvas.Paint(result.paintOrder, RGB(255, 255, 255), fonts, images, dpi,
                     result.paintOrder.empty() ? nullptr : result.paintOrder.back());
    return 0;
}
