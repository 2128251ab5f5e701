#include "accessible.h"

#include <oleacc.h>

#include <algorithm>
#include <string>
#include <vector>

#include "view.h"
#include "win/library.h"

namespace hl {

namespace {

// The accessibility and automation libraries, loaded from the system folder when a client
// first asks and kept for the life of the process: objects handed out may outlive any window.
struct Ole {
    using FromObject = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    using FromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    using AllocString = BSTR(WINAPI*)(const OLECHAR*);
    FromObject lresultFromObject = nullptr;
    FromWindow objectFromWindow = nullptr;
    AllocString allocString = nullptr;
};

const Ole& OleFunctions()
{
    static Ole ole;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        const HMODULE acc = LoadSystemLibrary(L"oleacc.dll").Release();
        const HMODULE aut = LoadSystemLibrary(L"oleaut32.dll").Release();
        ole.lresultFromObject = GetProc<Ole::FromObject>(acc, "LresultFromObject");
        ole.objectFromWindow = GetProc<Ole::FromWindow>(acc, "AccessibleObjectFromWindow");
        ole.allocString = GetProc<Ole::AllocString>(aut, "SysAllocString");
    }
    return ole;
}

// An [out] VARIANT before it is filled; automation's own helpers are not loaded for this.
void Empty(VARIANT* v)
{
    v->vt = VT_EMPTY;
}

struct Item {
    Element* e;
    LONG role;
};

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f' || c == 0xA0;
}

// Text as a reader speaks it: runs of white space as one blank, none at either end.
std::wstring Collapse(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        if (!IsBlank(c))
            out += c;
        else if (!out.empty() && out.back() != L' ')
            out += L' ';
    }
    if (!out.empty() && out.back() == L' ')
        out.pop_back();
    return out;
}

std::wstring AttributeText(const Element* e, const wchar_t* name)
{
    const std::wstring* value = e->Attribute(name);
    return value ? Collapse(*value) : std::wstring();
}

LONG RoleOf(const Element* e)
{
    const std::wstring role = AttributeText(e, L"role");
    if (role == L"button" || (role != L"link" && e->IsButton()))
        return ROLE_SYSTEM_PUSHBUTTON;
    return ROLE_SYSTEM_LINK;
}

// The page's readable parts in document order. What lies inside a link or a button is that
// element's name, not a part of its own.
std::vector<Item> Items(View& view)
{
    std::vector<Item> items;
    if (Element* root = view.Root())
        ForEachDescendant(root, [&](Element* e) {
            Element* behavior = BehaviorElement(e->IsText() ? e->parent : e);
            if (!IsShown(e) || (behavior && behavior != e))
                return;
            if (behavior)
                items.push_back({e, RoleOf(e)});
            else if (e->tag == L"img" && !AttributeText(e, L"alt").empty())
                items.push_back({e, ROLE_SYSTEM_GRAPHIC});
            else if (e->IsText() && !e->pieces.empty() && !Collapse(e->text).empty())
                items.push_back({e, ROLE_SYSTEM_STATICTEXT});
        });
    return items;
}

std::wstring NameOf(const Item& item)
{
    const Element* e = item.e;
    if (e->IsText())
        return Collapse(e->text);
    if (item.role == ROLE_SYSTEM_GRAPHIC)
        return AttributeText(e, L"alt");
    std::wstring name = AttributeText(e, L"aria-label");
    if (name.empty() && e->tag == L"img")
        name = AttributeText(e, L"alt");
    if (name.empty())
        ForEachDescendant(const_cast<Element*>(e), [&](Element* d) {
            if (name.empty() && d->tag == L"img")
                name = AttributeText(d, L"alt");
        });
    if (name.empty())
        name = AttributeText(e, L"title");
    return name.empty() ? Collapse(InnerText(e)) : name;
}

// Child ids count the items from 1; CHILDID_SELF (0) is the page itself.
LONG ChildId(const std::vector<Item>& items, const Element* e)
{
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].e == e)
            return static_cast<LONG>(i + 1);
    return CHILDID_SELF;
}

class PageObject final : public IAccessible {
public:
    explicit PageObject(HWND window) : window_(window) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (riid != __uuidof(IUnknown) && riid != __uuidof(IDispatch) && riid != __uuidof(IAccessible))
            return E_NOINTERFACE;
        *out = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG refs = InterlockedDecrement(&refs_);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

    // Clients call the interface's own methods; there is no type information to dispatch by.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        if (!parent)
            return E_POINTER;
        *parent = nullptr;
        const Ole& ole = OleFunctions();
        if (!IsWindow(window_) || !ole.objectFromWindow)
            return RPC_E_DISCONNECTED;
        return ole.objectFromWindow(window_, static_cast<DWORD>(OBJID_WINDOW), __uuidof(IDispatch),
                                    reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override
    {
        Page page(window_);
        if (!count)
            return E_POINTER;
        *count = page.view ? static_cast<LONG>(page.items.size()) : 0;
        return page.view ? S_OK : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        Page page(window_);
        const HRESULT found = page.Find(child);
        return FAILED(found) ? found : S_FALSE;  // the children are simple elements, no objects
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        return Text(child, name, kName);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        return Text(child, value, kValue);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override
    {
        return Text(child, description, kNone);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        Page page(window_);
        if (!role)
            return E_POINTER;
        Empty(role);
        const HRESULT found = page.Find(child);
        if (FAILED(found))
            return found;
        role->vt = VT_I4;
        role->lVal = page.item ? page.item->role : ROLE_SYSTEM_CLIENT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        Page page(window_);
        if (!state)
            return E_POINTER;
        Empty(state);
        const HRESULT found = page.Find(child);
        if (FAILED(found))
            return found;
        const bool windowFocused = GetFocus() == window_;
        LONG flags = STATE_SYSTEM_FOCUSABLE;
        if (const Item* item = page.item) {
            const std::vector<Element*> order = page.view->FocusOrder();
            flags = std::find(order.begin(), order.end(), item->e) != order.end() ? STATE_SYSTEM_FOCUSABLE : 0;
            if (windowFocused && page.view->Focused() == item->e)
                flags |= STATE_SYSTEM_FOCUSED;
            if (item->e->state & kHover)
                flags |= STATE_SYSTEM_HOTTRACKED;
            if (item->e->state & kActive)
                flags |= STATE_SYSTEM_PRESSED;
            if (item->role == ROLE_SYSTEM_LINK)
                flags |= STATE_SYSTEM_LINKED;
            if (item->role == ROLE_SYSTEM_STATICTEXT || item->role == ROLE_SYSTEM_GRAPHIC)
                flags |= STATE_SYSTEM_READONLY;
        } else if (windowFocused && !page.view->Focused()) {
            flags |= STATE_SYSTEM_FOCUSED;
        }
        state->vt = VT_I4;
        state->lVal = flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override
    {
        return Text(child, help, kNone);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override
    {
        if (file)
            *file = nullptr;
        if (topic)
            *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override
    {
        return Text(child, shortcut, kShortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        Page page(window_);
        if (!focus)
            return E_POINTER;
        Empty(focus);
        if (!page.view)
            return RPC_E_DISCONNECTED;
        if (GetFocus() != window_)
            return S_FALSE;
        focus->vt = VT_I4;
        focus->lVal = ChildId(page.items, page.view->Focused());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override
    {
        if (!selection)
            return E_POINTER;
        Empty(selection);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        return Text(child, action, kAction);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override
    {
        Page page(window_);
        const HRESULT found = page.Find(child);
        if (FAILED(found))
            return found;
        if (!(flags & SELFLAG_TAKEFOCUS))
            return S_FALSE;
        SetFocus(window_);
        page.view->SetFocused(page.item ? page.item->e : nullptr);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override
    {
        Page page(window_);
        if (!left || !top || !width || !height)
            return E_POINTER;
        const HRESULT found = page.Find(child);
        if (FAILED(found))
            return found;
        RECT client = {};
        GetClientRect(window_, &client);
        Box box{0, 0, client.right, client.bottom};
        if (page.item)
            box = page.item->e->box;
        POINT origin = {box.x, box.y};
        ClientToScreen(window_, &origin);
        *left = origin.x;
        *top = origin.y;
        *width = box.width;
        *height = box.height;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override
    {
        Page page(window_);
        if (!end)
            return E_POINTER;
        Empty(end);
        const HRESULT found = page.Find(start);
        if (FAILED(found))
            return found;
        const LONG count = static_cast<LONG>(page.items.size());
        const LONG from = page.item ? static_cast<LONG>(page.item - page.items.data()) + 1 : CHILDID_SELF;
        LONG to = 0;
        if (from == CHILDID_SELF && direction == NAVDIR_FIRSTCHILD)
            to = count > 0 ? 1 : 0;
        else if (from == CHILDID_SELF && direction == NAVDIR_LASTCHILD)
            to = count;
        else if (from != CHILDID_SELF && (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN || direction == NAVDIR_RIGHT))
            to = from < count ? from + 1 : 0;
        else if (from != CHILDID_SELF &&
                 (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP || direction == NAVDIR_LEFT))
            to = from - 1;
        if (to <= 0)
            return S_FALSE;
        end->vt = VT_I4;
        end->lVal = to;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* hit) override
    {
        Page page(window_);
        if (!hit)
            return E_POINTER;
        Empty(hit);
        if (!page.view)
            return RPC_E_DISCONNECTED;
        POINT point = {x, y};
        ScreenToClient(window_, &point);
        RECT client = {};
        GetClientRect(window_, &client);
        if (!PtInRect(&client, point))
            return S_FALSE;
        hit->vt = VT_I4;
        hit->lVal = CHILDID_SELF;
        for (Element* e = page.view->HitTest(point); e && hit->lVal == CHILDID_SELF; e = e->parent)
            hit->lVal = ChildId(page.items, e);
        for (size_t i = 0; i < page.items.size() && hit->lVal == CHILDID_SELF; ++i)
            for (const TextPiece& piece : page.items[i].e->pieces)
                if (Box{piece.x, piece.y, piece.width, piece.height}.Contains(point))
                    hit->lVal = static_cast<LONG>(i + 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        Page page(window_);
        const HRESULT found = page.Find(child);
        if (FAILED(found))
            return found;
        return page.item && page.view->Activate(page.item->e, HL_BY_METHOD) ? S_OK : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    // The page as it is at the moment of a call: the object holds only the window, which may be
    // gone or show another page by then.
    struct Page {
        explicit Page(HWND window) : view(View::Of(window, false))
        {
            if (view && !view->Root())
                view = nullptr;
            if (view)
                items = Items(*view);
        }
        // Resolves a child id: item stays null for the page itself.
        HRESULT Find(const VARIANT& child)
        {
            if (!view)
                return RPC_E_DISCONNECTED;
            if (child.vt != VT_I4 || child.lVal < 0 || child.lVal > static_cast<LONG>(items.size()))
                return E_INVALIDARG;
            item = child.lVal == CHILDID_SELF ? nullptr : &items[static_cast<size_t>(child.lVal - 1)];
            return S_OK;
        }
        View* view;
        std::vector<Item> items;
        const Item* item = nullptr;
    };

    enum TextKind { kNone, kName, kValue, kShortcut, kAction };

    std::wstring TextOf(TextKind kind, const Item* item) const
    {
        switch (kind) {
        case kName: {
            if (item)
                return NameOf(*item);
            std::wstring title(static_cast<size_t>(GetWindowTextLengthW(window_)) + 1, L'\0');
            title.resize(static_cast<size_t>(GetWindowTextW(window_, &title[0], static_cast<int>(title.size()))));
            return title;
        }
        case kValue:
            return item && item->role == ROLE_SYSTEM_LINK ? AttributeText(item->e, L"href") : std::wstring();
        case kShortcut: {
            std::wstring key = item && !item->e->IsText() ? AttributeText(item->e, L"accesskey") : L"";
            if (key.size() != 1)
                return std::wstring();
            CharUpperBuffW(&key[0], 1);
            return L"Alt+" + key;
        }
        case kAction:
            return !item ? L"" : item->role == ROLE_SYSTEM_PUSHBUTTON ? L"Press" : item->role == ROLE_SYSTEM_LINK ? L"Jump" : L"";
        case kNone:
            break;
        }
        return std::wstring();
    }

    HRESULT Text(const VARIANT& child, BSTR* out, TextKind kind)
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        Page page(window_);
        const HRESULT found = page.Find(child);
        if (FAILED(found))
            return found;
        const std::wstring text = TextOf(kind, page.item);
        const Ole& ole = OleFunctions();
        if (text.empty())
            return S_FALSE;
        *out = ole.allocString ? ole.allocString(text.c_str()) : nullptr;
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    HWND window_;
    LONG refs_ = 1;
};

}  // namespace

LRESULT AnswerGetObject(View& view, WPARAM wParam, LPARAM lParam)
{
    if (static_cast<LONG>(lParam) != static_cast<LONG>(OBJID_CLIENT) || !view.Root())
        return 0;
    const Ole& ole = OleFunctions();
    if (!ole.lresultFromObject)
        return 0;
    PageObject* object = new PageObject(view.Window());
    const LRESULT result = ole.lresultFromObject(__uuidof(IAccessible), wParam, object);
    object->Release();
    return result > 0 ? result : 0;
}

void NotifyAccessibleFocus(View& view)
{
    if (GetFocus() == view.Window() && view.Root())
        NotifyWinEvent(EVENT_OBJECT_FOCUS, view.Window(), OBJID_CLIENT, ChildId(Items(view), view.Focused()));
}

}  // namespace hl
