// What a publisher is told about a page before it ships: what the engine ignores of it, and the
// start screen's roads it offers no link to.
#include "setupbrand/brand.h"

#include "css.h"
#include "html_parser.h"
#include "htmlui/start_screen.h"
#include "win/format.h"

std::vector<std::wstring> PageWarnings(const std::wstring& pageFile, const std::vector<BYTE>& page)
{
    const std::wstring text = hl::DecodePage(page.data(), page.size());
    std::vector<std::wstring> warnings;
    for (const hl::PageFinding& finding : hl::FindIgnored(text))
        warnings.push_back(Format(L"%s(%d): warning: %s", pageFile.c_str(), finding.line, finding.what.c_str()));
    const auto document = hl::ParseHtml(text, L"");
    // The roads a page must offer: without cancel only the close box leaves the screen.
    const struct {
        int result;
        const wchar_t *href, *consequence;
    } kRoads[] = {{kStartInstall, L"install", L"the start screen cannot start the installation"},
                  {kStartCancel, L"cancel", L"only the window's close box (or Alt+F4) cancels the setup"}};
    for (const auto& road : kRoads) {
        bool linked = false;
        hl::ForEachDescendant(document->root, [&](const hl::Element* e) {
            const std::wstring* href = e->Attribute(L"href");
            linked = linked || (href && StartResultForHref(href->c_str()) == road.result);
        });
        if (!linked)
            warnings.push_back(Format(L"%s: warning: no link with href \"%s\": %s", pageFile.c_str(), road.href,
                                      road.consequence));
    }
    return warnings;
}
