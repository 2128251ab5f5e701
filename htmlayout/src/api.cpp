// The engine's exported functions: argument checks, then the view or the element.
#include <algorithm>
#include <vector>

#include "css.h"
#include "html_parser.h"
#include "view.h"

using hl::Element;
using hl::View;

namespace {

const char kClassName[] = "HTMLayout";

Element* Live(HELEMENT handle)
{
    return hl::IsLive(handle) ? reinterpret_cast<Element*>(handle) : nullptr;
}

std::wstring Wide(const char* text)
{
    std::wstring wide;
    for (; *text; ++text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}

LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    BOOL handled = FALSE;
    const LRESULT result = HTMLayoutProcND(window, message, wParam, lParam, &handled);
    return handled ? result : DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

// The library's entry point. The engine has no static object to construct or destroy and no
// thread-local data, so the C runtime's start-up code, a tenth of the library, is left out (the
// build refuses a library that would need it). msvcrt initialises itself.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

LPCSTR WINAPI HTMLayoutClassNameA()
{
    static bool registered = false;
    if (!registered) {
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&EngineWindowProc), &self);
        WNDCLASSW windowClass = {};
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = EngineWindowProc;
        windowClass.hInstance = self;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = L"HTMLayout";
        registered = RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }
    return kClassName;
}

LRESULT WINAPI HTMLayoutProcND(HWND window, UINT message, WPARAM wParam, LPARAM lParam, BOOL* handled)
{
    BOOL mine = FALSE;
    // A window's view is made by its first message; its last message frees it.
    View* view = View::Of(window, message != WM_NCDESTROY);
    const LRESULT result = view ? view->Proc(message, wParam, lParam, mine) : 0;
    if (handled)
        *handled = mine;
    return result;
}

VOID WINAPI HTMLayoutSetCallback(HWND window, HlNotifyProc callback, LPVOID param)
{
    if (View* view = View::Of(window, true))
        view->SetCallback(callback, param);
}

UINT WINAPI HTMLayoutWindowAttachEventHandler(HWND window, HlElementProc proc, LPVOID tag, UINT subscription)
{
    View* view = View::Of(window, true);
    if (!view)
        return HL_INVALID_WINDOW;
    if (!proc)
        return HL_INVALID_PARAMETER;
    view->Attach(proc, tag, subscription);
    return HL_OK;
}

UINT WINAPI HTMLayoutWindowDetachEventHandler(HWND window, HlElementProc proc, LPVOID tag)
{
    View* view = View::Of(window, false);
    if (!view)
        return HL_INVALID_WINDOW;
    return view->Detach(proc, tag) ? HL_OK : HL_INVALID_PARAMETER;
}

BOOL WINAPI HTMLayoutLoadHtmlEx(HWND window, const BYTE* html, UINT size, LPCWSTR baseUrl)
{
    View* view = View::Of(window, true);
    if (!view || (!html && size))
        return FALSE;
    return view->Load(hl::DecodePage(html, size), baseUrl ? baseUrl : L"", false);
}

BOOL WINAPI HTMLayoutLoadFile(HWND window, LPCWSTR fileName)
{
    View* view = View::Of(window, true);
    std::vector<BYTE> data;
    if (!view || !fileName || !hl::ReadLocalFile(fileName, data))
        return FALSE;
    return view->Load(hl::DecodePage(data.data(), data.size()), fileName, true);
}

BOOL WINAPI HTMLayoutDataReady(HWND window, LPCWSTR uri, LPBYTE data, DWORD size)
{
    View* view = View::Of(window, false);
    return view && uri && data && view->DataReady(uri, data, size);
}

UINT WINAPI HTMLayoutGetRootElement(HWND window, HELEMENT* root)
{
    if (!root)
        return HL_INVALID_PARAMETER;
    *root = nullptr;
    View* view = View::Of(window, false);
    if (!view || !view->Root())
        return HL_INVALID_WINDOW;
    *root = reinterpret_cast<HELEMENT>(view->Root());
    return HL_OK;
}

UINT WINAPI HTMLayoutSelectElements(HELEMENT element, LPCSTR selector, HlSelectCallback callback, LPVOID param)
{
    Element* e = Live(element);
    if (!e)
        return HL_INVALID_HANDLE;
    // The matches are taken first: the callback may change the page.
    std::vector<Element*> found;
    if (!selector || !callback || !hl::SelectBelow(e, Wide(selector), found))
        return HL_INVALID_PARAMETER;
    for (Element* match : found)
        hl::Use(match);
    bool stopped = false;
    for (Element* match : found) {
        stopped = stopped || callback(reinterpret_cast<HELEMENT>(match), param);
        hl::Unuse(match);
    }
    return HL_OK;
}

UINT WINAPI HTMLayoutGetElementInnerTextCB(HELEMENT element, HlTextReceiver receiver, LPVOID param)
{
    Element* e = Live(element);
    if (!e)
        return HL_INVALID_HANDLE;
    if (!receiver)
        return HL_INVALID_PARAMETER;
    const std::wstring text = hl::InnerText(e);
    receiver(text.c_str(), static_cast<UINT>(text.size()), param);
    return HL_OK;
}

UINT WINAPI HTMLayoutGetMinWidth(HWND window)
{
    View* view = View::Of(window, false);
    return view ? static_cast<UINT>(view->MinWidth()) : 0;
}

UINT WINAPI HTMLayoutGetMinHeight(HWND window, UINT width)
{
    View* view = View::Of(window, false);
    return view ? static_cast<UINT>(view->MinHeight(static_cast<int>(std::min(width, 1u << 20)))) : 0;
}

UINT WINAPI HTMLayoutGetAttributeByName(HELEMENT element, LPCSTR name, LPCWSTR* value)
{
    Element* e = Live(element);
    if (!e)
        return HL_INVALID_HANDLE;
    if (!name || !value)
        return HL_INVALID_PARAMETER;
    std::wstring key = Wide(name);
    for (wchar_t& c : key)
        c = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
    const std::wstring* found = e->Attribute(key);
    *value = found ? found->c_str() : nullptr;
    return HL_OK;
}

UINT WINAPI HTMLayoutGetElementHwnd(HELEMENT element, HWND* window, BOOL rootWindow)
{
    Element* e = Live(element);
    if (!e)
        return HL_INVALID_HANDLE;
    if (!window)
        return HL_INVALID_PARAMETER;
    *window = e->view ? e->view->Window() : nullptr;
    if (*window && rootWindow)
        *window = GetAncestor(*window, GA_ROOT);
    return HL_OK;
}

UINT WINAPI HTMLayoutCallBehaviorMethod(HELEMENT element, HlMethodRecord* method)
{
    Element* e = Live(element);
    if (!e)
        return HL_INVALID_HANDLE;
    if (!method)
        return HL_INVALID_PARAMETER;
    return e->view && e->view->CallMethod(e, method) ? HL_OK : HL_OPERATION_FAILED;
}

UINT WINAPI HTMLayout_UseElement(HELEMENT element)
{
    Element* e = Live(element);
    if (!e)
        return HL_INVALID_HANDLE;
    hl::Use(e);
    ++e->hostRefs;
    return HL_OK;
}

UINT WINAPI HTMLayout_UnuseElement(HELEMENT element)
{
    Element* e = Live(element);
    if (!e || e->hostRefs == 0)
        return HL_INVALID_HANDLE;
    --e->hostRefs;
    hl::Unuse(e);
    return HL_OK;
}
