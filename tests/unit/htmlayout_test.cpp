// The HTML engine's selector matching, state, DPI, tab order, bounded layout and findings; its
// parsers, layout and painting against arbitrary input are fuzzed on the host (tests/fuzz).
#include <gtest/gtest.h>


#include "css.h"
#include "html_parser.h"
#include "layout.h"
#include "view.h"

namespace {

const wchar_t kPage[] =
    L"<html><body>"
    L"<div id=a class='x y'><p id=b role='default-button'>t</p><span id=c name=OK></span></div>"
    L"<div id=d><div id=e class=y><img id=f src=i.png href=go></div></div>"
    L"</body></html>";

// The ids of what the selector finds, in order; "invalid" when the engine refuses it.
std::wstring Select(hl::Document& document, const wchar_t* selector)
{
    std::vector<hl::Element*> found;
    if (!hl::SelectBelow(document.root, selector, found))
        return L"invalid";
    std::wstring ids;
    for (const hl::Element* e : found) {
        const std::wstring* id = e->Attribute(L"id");
        ids += (ids.empty() ? L"" : L",") + (id ? *id : e->tag);
    }
    return ids;
}

TEST(HtmlEngine, SelectorsMatchInDocumentOrder)
{
    const struct {
        const wchar_t* selector;
        const wchar_t* ids;
    } cases[] = {
        {L"div", L"a,d,e"},
        {L"DIV.x", L"a"},
        {L"#e", L"e"},
        {L".y", L"a,e"},
        {L"[class~=y]", L"a,e"},
        {L"[role='default-button']", L"b"},
        {L"[role=\"default-button\"]", L"b"},
        {L"[ role = default-button ]", L"b"},
        {L"[role='cancel-button']", L""},
        {L"[name]", L"c"},
        {L"[name='ok']", L""},  // values keep their case
        {L"div > img", L"f"},
        {L"#d img", L"f"},
        {L"#d > img", L""},
        {L"body > div > div > img", L"f"},
        {L"div p, img", L"b,f"},
        {L"*:first-child", L"body,a,b,e,f"},
        {L"title", L""},
        {L"div + p", L"invalid"},
        {L"p::before", L"invalid"},
        {L":nth-child(2)", L"invalid"},
        {L"[role=", L"invalid"},
        {L"div >", L"invalid"},
        {L"", L"invalid"},
    };
    std::unique_ptr<hl::Document> document = hl::ParseHtml(kPage, L"");
    for (const auto& c : cases)
        EXPECT_EQ(Select(*document, c.selector), c.ids) << c.selector;
}

TEST(HtmlEngine, StateSelectorsFollowTheElementState)
{
    std::unique_ptr<hl::Document> document = hl::ParseHtml(kPage, L"");
    std::vector<hl::Element*> found;
    ASSERT_TRUE(hl::SelectBelow(document->root, L"#e", found));
    EXPECT_EQ(Select(*document, L"#d > div:hover > img"), L"");
    found[0]->state = hl::kHover;
    EXPECT_EQ(Select(*document, L"#d > div:hover > img, :active"), L"f");
    found[0]->state = hl::kActive;
    EXPECT_EQ(Select(*document, L"div:hover img, div:active"), L"e");
}

hl::Element* ById(hl::Document& document, const wchar_t* id)
{
    std::vector<hl::Element*> found;
    hl::SelectBelow(document.root, std::wstring(L"#") + id, found);
    return found.empty() ? nullptr : found[0];
}

TEST(HtmlEngine, LengthsAreDevicePixelsAndImagesFollowTheDpi)
{
    const wchar_t kImages[] = L"src=a.png srcset='b.png 2x, c.png 1.5x'";
    const struct {
        const wchar_t* img;
        int dpi;
        const wchar_t* source;
        int density;  // image pixels per two CSS pixels
    } cases[] = {
        {kImages, 96, L"a.png", 2},
        {kImages, 120, L"c.png", 3},
        {kImages, 144, L"c.png", 3},
        {kImages, 192, L"b.png", 4},
        {kImages, 384, L"b.png", 4},  // none dense enough: the densest
        {L"srcset='b.png 2x, c.png'", 96, L"c.png", 2},
        {L"src=a.png srcset='b.png 0x, c.png 9x, d.png 2w, , e.png x'", 192, L"a.png", 2},
    };
    for (const auto& c : cases) {
        std::unique_ptr<hl::Document> document = hl::ParseHtml(std::wstring(L"<img id=i ") + c.img + L">", L"");
        hl::ComputeStyles(document->root, document->rules, L"", c.dpi);
        const hl::Style& style = ById(*document, L"i")->style;
        EXPECT_EQ(style.source, c.source) << c.img << " at " << c.dpi;
        EXPECT_EQ(style.sourceDensity, c.density) << c.img << " at " << c.dpi;
    }
    // Halves round away from zero; colour channels and weights are numbers, not lengths.
    std::unique_ptr<hl::Document> document = hl::ParseHtml(
        L"<div id=d style='width:11px;margin:1px -3px;color:rgb(100,0,0);font-weight:600'></div><p id=p>t</p>", L"");
    hl::ComputeStyles(document->root, document->rules, L"", 144);
    const hl::Style& div = ById(*document, L"d")->style;
    EXPECT_EQ(div.width.value, 17);
    EXPECT_EQ(div.margin[0].value, 2);
    EXPECT_EQ(div.margin[1].value, -5);
    EXPECT_EQ(div.color, RGB(100, 0, 0));
    EXPECT_TRUE(div.bold);
    EXPECT_EQ(ById(*document, L"p")->style.fontSize, 24);  // the default 16px
    EXPECT_EQ(ById(*document, L"p")->style.margin[0].value, 24);  // 1em
}

LRESULT CALLBACK EngineWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    BOOL handled = FALSE;
    hl::View* view = hl::View::Of(window, message != WM_NCDESTROY);
    const LRESULT result = view ? view->Proc(message, wParam, lParam, handled) : 0;
    return handled ? result : DefWindowProcW(window, message, wParam, lParam);
}

TEST(HtmlEngine, TabVisitsPositiveTabindexFirstThenTheDocumentOrder)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = EngineWindow;
    windowClass.lpszClassName = L"EngineUnderTest";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"EngineUnderTest", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                nullptr, nullptr);
    SetFocus(window);
    hl::View* view = hl::View::Of(window, true);
    ASSERT_TRUE(view->Load(L"<a id=a href=x>a</a><button id=b>b</button><span id=c tabindex=0>c</span>"
                           L"<a id=d href=y tabindex=-1>d</a><a id=e href=z tabindex=2>e</a>"
                           L"<div id=f tabindex=1>f</div><a id=g href=q style='display:none'>g</a>"
                           L"<p style='visibility:hidden'><a id=h href=r>h</a></p><span id=i>i</span>",
                           L"", false));
    std::wstring ids;
    for (const hl::Element* e : view->FocusOrder())
        ids += *e->Attribute(L"id");
    EXPECT_EQ(ids, L"feabc");
    // The system's focus rectangle shows where the page has no :focus rule of its own for it.
    for (const wchar_t* rules : {L"", L"div:focus {color: red}", L"a:focus img {color: red}", L"a:focus {color: red}"}) {
        view->Load(std::wstring(L"<style>") + rules + L"</style><a id=a href=x>a<img></a>", L"", false);
        BOOL handled = FALSE;
        view->Proc(WM_KEYDOWN, VK_TAB, 0, handled);
        ASSERT_TRUE(handled && view->Focused()) << rules;
        EXPECT_EQ(view->FocusMark(), *rules && rules[0] == L'a' ? nullptr : view->Focused()) << rules;
    }
    DestroyWindow(window);
}

TEST(HtmlEngine, DeepNestsOfMultiPassLayoutStayBounded)
{
    // Flex items are laid out more than once: a hundred nested containers must not multiply that.
    std::wstring page;
    for (int i = 0; i < 100; ++i)
        page += i % 2 ? L"<div style='display:flex;flex-direction:column'>" : L"<div style='display:flex'>";
    page += L"<table><tr><td><span style='display:inline-block;float:left'>x</span></td></tr></table>";
    std::unique_ptr<hl::Document> document = hl::ParseHtml(page, L"");
    hl::ComputeStyles(document->root, document->rules, L"", 96);
    hl::Fonts fonts;
    EXPECT_GT(hl::LayOut(*document, fonts, hl::ImageMap(), 600, 400, 96).bottom, 0);
}

TEST(HtmlEngine, FindIgnoredNamesWhatThePageLosesByLine)
{
    const std::wstring page =
        L"<html><head><style>\n"
        L"a + b { color: red }\n"
        L"p { columns: 2; color: nonsense; font-size: 12px }\n"
        L"@media print { p { color: red } }\n"
        L"</style></head><body>\n"
        L"<video src=x></video><script>x()</script><blink>b</blink>\n"
        L"<div style='display: grid; color: red'>text</div></body></html>";
    std::wstring found;
    for (const hl::PageFinding& f : hl::FindIgnored(page))
        found += std::to_wstring(f.line) + L" " + f.what + L"\n";
    EXPECT_EQ(found,
              L"2 selector 'a + b' is not supported: its rules are dropped\n"
              L"3 'columns: 2' is not a property the engine knows\n"
              L"3 'color: nonsense' has a value the engine does not take\n"
              L"4 at-rule '@media print' is not supported: its rules are dropped\n"
              L"6 <video>: media are not drawn\n"
              L"6 <script>: scripts do not run\n"
              L"6 <blink> is not an element the engine knows: it is laid out as an inline box\n"
              L"7 'display: grid' has a value the engine does not take\n");
}

}  // namespace
