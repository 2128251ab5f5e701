#include "view.h"

#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "accessible.h"
#include "css.h"
#include "htmlayout.h"
#include "html_parser.h"
#include "win/handles.h"
#include "win/library.h"

namespace hl {

namespace {

const wchar_t kViewProperty[] = L"HtmlLayoutView";

UINT AltState()
{
    return (GetKeyState(VK_CONTROL) < 0 ? 1u : 0u) | (GetKeyState(VK_SHIFT) < 0 ? 2u : 0u) |
           (GetKeyState(VK_MENU) < 0 ? 4u : 0u);
}

void SetStateOnChain(Element* e, unsigned flag, bool on)
{
    for (; e; e = e->parent)
        e->state = on ? (e->state | flag) : (e->state & ~flag);
}

bool IsInside(const Element* e, const Element* ancestor)
{
    for (; e; e = e->parent)
        if (e == ancestor)
            return true;
    return false;
}

// The window's DPI where the system keeps one per window, else the screen's; a process that
// did not declare itself DPI-aware is told 96 and stretched by the system.
int WindowDpi(HWND window)
{
    using GetDpiForWindow = UINT(WINAPI*)(HWND);
    int dpi = 0;
    if (auto get = GetProc<GetDpiForWindow>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow"))
        dpi = static_cast<int>(get(window));
    if (dpi <= 0) {
        HDC screen = GetDC(nullptr);
        dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : kCssDpi;
        if (screen)
            ReleaseDC(nullptr, screen);
    }
    return std::max(kCssDpi / 2, std::min(dpi, kCssDpi * 8));
}

// The tabindex attribute: none, or a number.
bool TabIndex(const Element* e, int& index)
{
    const std::wstring* value = e->Attribute(L"tabindex");
    if (!value || value->empty())
        return false;
    wchar_t* end = nullptr;
    const long number = std::wcstol(value->c_str(), &end, 10);
    if (end == value->c_str())
        return false;
    index = static_cast<int>(std::max(-1L, std::min(number, 32767L)));
    return true;
}

}  // namespace

bool ReadLocalFile(const std::wstring& url, std::vector<BYTE>& data)
{
    std::wstring path = url;
    if (_wcsnicmp(path.c_str(), L"file://", 7) == 0) {
        path = path.substr(7);
        if (path.size() > 2 && path[0] == L'/' && path[2] == L':')
            path = path.substr(1);
    }
    const size_t colon = path.find(L':');
    if (colon != std::wstring::npos && colon != 1)
        return false;  // another scheme
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD size = file ? GetFileSize(file.Get(), nullptr) : INVALID_FILE_SIZE;
    if (size == INVALID_FILE_SIZE || size > kHtmlLayoutMaxData)
        return false;
    data.resize(size);
    DWORD read = 0;
    return size == 0 || (ReadFile(file.Get(), data.data(), size, &read, nullptr) && read == size);
}

Element* BehaviorElement(Element* e)
{
    for (; e; e = e->parent)
        if (!e->IsText() && (e->IsLink() || e->IsButton()))
            return e;
    return nullptr;
}

bool IsShown(const Element* e)
{
    if (!e->style.visible)
        return false;
    for (; e; e = e->parent)
        if (e->style.display == Display::None)
            return false;
    return true;
}

View::Hold::~Hold()
{
    if (--view_->holds_ == 0 && view_->destroyed_)
        delete view_;
}

View* View::Of(HWND window, bool create)
{
    if (!window || !IsWindow(window))
        return nullptr;
    View* view = static_cast<View*>(GetPropW(window, kViewProperty));
    if (view || !create)
        return view;
    view = new View(window);
    view->dpi_ = WindowDpi(window);
    if (!SetPropW(window, kViewProperty, view)) {
        delete view;
        return nullptr;
    }
    return view;
}

void View::SetCallback(HlNotifyProc callback, void* param)
{
    callback_ = callback;
    callbackParam_ = param;
}

void View::Attach(HlElementProc proc, void* tag, UINT subscription)
{
    Hold hold(this);
    handlers_.push_back({proc, tag, subscription});
    HlInitRecord attached = {0};
    proc(tag, reinterpret_cast<HELEMENT>(Root()), HL_GROUP_INITIALIZATION, &attached);
}

bool View::Detach(HlElementProc proc, void* tag)
{
    Hold hold(this);
    auto it = std::find_if(handlers_.begin(), handlers_.end(),
                           [&](const Handler& h) { return h.proc == proc && h.tag == tag; });
    if (it == handlers_.end())
        return false;
    handlers_.erase(it);
    HlInitRecord detached = {1};
    proc(tag, reinterpret_cast<HELEMENT>(Root()), HL_GROUP_INITIALIZATION, &detached);
    return true;
}

void View::ReleaseDocument()
{
    if (hover_)
        Unuse(std::exchange(hover_, nullptr));
    if (pressed_)
        Unuse(std::exchange(pressed_, nullptr));
    if (focus_)
        Unuse(std::exchange(focus_, nullptr));
    paintOrder_.clear();
    document_.reset();
    images_.Clear();
    layoutValid_ = false;
}

bool View::Load(const std::wstring& text, const std::wstring& baseUrl, bool fromFile)
{
    Hold hold(this);
    ReleaseDocument();
    baseUrl_ = baseUrl;
    document_ = ParseHtml(text, baseUrl);
    Document* document = document_.get();
    document->root->view = this;
    ForEachDescendant(document->root, [this](Element* e) { e->view = this; });
    Restyle();
    // The host may load another page or close the window from inside any notification.
    auto replaced = [&] { return destroyed_ || document_.get() != document; };
    loading_ = true;
    // Of the srcset candidates only those the DPI chose.
    std::vector<std::wstring> chosen;
    ForEachDescendant(document->root, [&](Element* e) {
        if (!e->style.source.empty())
            chosen.push_back(e->style.source);
    });
    auto among = [](const std::vector<std::wstring>& list, const std::wstring& url) {
        return std::find(list.begin(), list.end(), url) != list.end();
    };
    std::vector<std::wstring> urls;
    for (const std::wstring& url : document->urls)
        if (!among(document->alternates, url) || among(chosen, url))
            urls.push_back(url);
    for (const std::wstring& url : urls) {
        RequestData(url, fromFile);
        if (replaced())
            return !destroyed_;
    }
    loading_ = false;
    AttachBehaviors();
    if (replaced())
        return !destroyed_;
    InvalidateLayout();
    NMHDR complete = {window_, 0, HL_NOTIFY_DOCUMENT_COMPLETE};
    Notify(complete);
    return true;
}

void View::RequestData(const std::wstring& url, bool fromFile)
{
    HlLoadDataRecord request = {};
    request.header = {window_, 0, HL_NOTIFY_LOAD_DATA};
    request.uri = url.c_str();
    request.data_type = 1;
    Notify(request.header);
    std::vector<BYTE> file;
    if (request.out_data && request.out_data_size)
        DataReady(url, static_cast<const BYTE*>(request.out_data), request.out_data_size);
    else if (fromFile && !images_.Find(url) && ReadLocalFile(url, file))
        DataReady(url, file.data(), static_cast<DWORD>(file.size()));
    HlDataLoadedRecord loaded = {};
    loaded.header = {window_, 0, HL_NOTIFY_DATA_LOADED};
    loaded.uri = url.c_str();
    loaded.status = images_.Find(url) ? 0 : 1;
    Notify(loaded.header);
}

void View::AttachBehaviors()
{
    std::vector<Element*> elements;
    ForEachDescendant(document_->root, [&](Element* e) {
        if (!e->IsText() && !e->style.behavior.empty()) {
            Use(e);
            elements.push_back(e);
        }
    });
    for (Element* e : elements) {
        HlAttachBehaviorRecord record = {};
        record.header = {window_, 0, HL_NOTIFY_ATTACH_BEHAVIOR};
        record.element = reinterpret_cast<HELEMENT>(e);
        record.behavior_name = e->style.behavior.c_str();
        if (!destroyed_ && e->view == this)
            Notify(record.header);
        if (record.element_proc && e->view == this) {
            e->proc = record.element_proc;
            e->procTag = record.element_tag;
            e->procEvents = record.element_events;
        }
        Unuse(e);
    }
}

bool View::DataReady(const std::wstring& uri, const BYTE* data, DWORD size)
{
    Image image;
    if (!document_ || !decoder_.Decode(data, size, image))
        return false;
    images_.Set(uri, std::move(image));
    if (!loading_)
        InvalidateLayout();
    return true;
}

LRESULT View::Notify(NMHDR& header)
{
    if (!callback_ || destroyed_)
        return 0;
    return callback_(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header), callbackParam_);
}

void View::Restyle()
{
    if (document_)
        ComputeStyles(document_->root, document_->rules, baseUrl_, dpi_);
    InvalidateLayout();
}

void View::InvalidateLayout()
{
    layoutValid_ = false;
    if (!destroyed_)
        InvalidateRect(window_, nullptr, FALSE);
}

LayoutResult View::LayOutAt(int width, int height)
{
    if (!document_)
        return LayoutResult();
    return LayOut(*document_, fonts_, images_, width, height, dpi_);
}

void View::EnsureLayout()
{
    RECT client = {};
    GetClientRect(window_, &client);
    if (layoutValid_ && client.right == layoutWidth_ && client.bottom == layoutHeight_)
        return;
    paintOrder_ = LayOutAt(client.right, client.bottom).paintOrder;
    layoutValid_ = true;
    layoutWidth_ = client.right;
    layoutHeight_ = client.bottom;
}

int View::MinWidth()
{
    RECT client = {};
    GetClientRect(window_, &client);
    const int width = LayOutAt(0, client.bottom).right;
    layoutValid_ = false;
    paintOrder_.clear();
    return width;
}

int View::MinHeight(int width)
{
    RECT client = {};
    GetClientRect(window_, &client);
    const int height = LayOutAt(width, client.bottom).bottom;
    layoutValid_ = false;
    paintOrder_.clear();
    return height;
}

void View::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    if (!dc)
        return;
    EnsureLayout();
    COLORREF background = RGB(255, 255, 255);
    if (Element* root = Root()) {
        // The page's background is the root's, else the body's.
        const Element* body = nullptr;
        for (const Element* child : root->children)
            if (child->tag == L"body")
                body = child;
        if (root->style.hasBackground)
            background = root->style.background;
        else if (body && body->style.hasBackground)
            background = body->style.background;
    }
    const RECT& area = paint.rcPaint;
    if (canvas_.Resize(layoutWidth_, layoutHeight_)) {
        canvas_.Paint(paintOrder_, background, fonts_, images_, dpi_, FocusMark());
        BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, canvas_.Dc(), area.left,
               area.top, SRCCOPY);
    }
    EndPaint(window_, &paint);
}

Element* View::HitTest(POINT point)
{
    if (!document_)
        return nullptr;
    EnsureLayout();
    for (auto it = paintOrder_.rbegin(); it != paintOrder_.rend(); ++it) {
        Element* e = *it;
        if (!e->style.visible)
            continue;
        if (!e->IsText()) {
            if (e->box.Contains(point))
                return e;
            continue;
        }
        for (const TextPiece& piece : e->pieces)
            if (Box{piece.x, piece.y, piece.width, piece.height}.Contains(point))
                return e->parent;
    }
    return document_->root;
}

void View::SetHover(Element* e)
{
    if (e == hover_)
        return;
    SetStateOnChain(hover_, kHover, false);
    SetStateOnChain(e, kHover, true);
    if (e)
        Use(e);
    if (hover_)
        Unuse(hover_);
    hover_ = e;
    Restyle();
}

void View::SetPressed(Element* e)
{
    SetStateOnChain(pressed_, kActive, false);
    SetStateOnChain(e, kActive, true);
    if (e)
        Use(e);
    if (pressed_)
        Unuse(pressed_);
    pressed_ = e;
    Restyle();
}

void View::OnMouse(UINT message, WPARAM wParam, LPARAM lParam)
{
    const POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    auto send = [&](UINT command, Element* target) {
        if (!target)
            return false;
        HlMouseRecord record = {command, reinterpret_cast<HELEMENT>(target),
                                {point.x - target->box.x, point.y - target->box.y}, point,
                                static_cast<UINT>(wParam), AltState()};
        return Dispatch(target, HL_GROUP_MOUSE, &record);
    };
    switch (message) {
    case WM_MOUSEMOVE: {
        if (!tracking_) {
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, window_, 0};
            tracking_ = TrackMouseEvent(&track) != FALSE;
        }
        SetHover(HitTest(point));
        send(HL_MOUSE_MOVE, hover_);
        break;
    }
    case WM_MOUSELEAVE:
        tracking_ = false;
        SetHover(nullptr);
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (GetFocus() != window_)
            SetFocus(window_);
        SetCapture(window_);
        SetPressed(HitTest(point));
        pressHandled_ = send(HL_MOUSE_DOWN, pressed_);
        break;
    case WM_LBUTTONUP: {
        // A click is a press and a release on the same link or button.
        Element* pressed = pressed_;
        if (pressed)
            Use(pressed);
        SetPressed(nullptr);
        if (GetCapture() == window_)
            ReleaseCapture();
        Element* hit = HitTest(point);
        if (hit)
            Use(hit);
        const bool handled = send(HL_MOUSE_UP, hit) || pressHandled_;
        Element* behavior = BehaviorElement(pressed);
        if (!handled && behavior && behavior->view == this && IsInside(hit, behavior))
            Click(behavior, HL_BY_MOUSE);
        if (hit)
            Unuse(hit);
        if (pressed)
            Unuse(pressed);
        break;
    }
    }
}

bool View::OnKey(UINT command, WPARAM key)
{
    Element* target = focus_ ? focus_ : Root();
    if (!target)
        return false;
    HlKeyRecord record = {command, reinterpret_cast<HELEMENT>(target), static_cast<UINT>(key), AltState()};
    return Dispatch(target, HL_GROUP_KEY, &record);
}

bool View::Dispatch(Element* target, UINT group, void* record)
{
    auto subscribed = [group](UINT events) { return group == HL_GROUP_INITIALIZATION || (events & group) != 0; };
    std::vector<Element*> chain;
    for (Element* e = target; e; e = e->parent) {
        Use(e);
        chain.push_back(e);
    }
    bool handled = false;
    for (Element* e : chain) {
        if (e->proc && subscribed(e->procEvents) && e->proc(e->procTag, reinterpret_cast<HELEMENT>(e), group, record)) {
            handled = true;
            break;
        }
    }
    // The window's handlers, as attached now: one may detach itself or another on the way.
    const std::vector<Handler> handlers = handlers_;
    for (const Handler& h : handlers) {
        if (handled || destroyed_)
            break;
        const bool attached = std::any_of(handlers_.begin(), handlers_.end(),
                                          [&](const Handler& a) { return a.proc == h.proc && a.tag == h.tag; });
        if (attached && subscribed(h.subscription))
            handled = h.proc(h.tag, reinterpret_cast<HELEMENT>(Root()), group, record) != FALSE;
    }
    for (Element* e : chain)
        Unuse(e);
    return handled;
}

bool View::Click(Element* e, UINT reason)
{
    HlBehaviorRecord record = {};
    record.cmd = e->IsLink() ? HL_HYPERLINK_CLICK : HL_BUTTON_CLICK;
    record.target = reinterpret_cast<HELEMENT>(e);
    record.source = record.target;
    record.reason = reason;
    return Dispatch(e, HL_GROUP_BEHAVIOR_EVENT, &record);
}

bool View::CallMethod(Element* e, HlMethodRecord* method)
{
    Hold hold(this);
    Use(e);
    bool done = Dispatch(e, HL_GROUP_METHOD_CALL, method);
    if (!done && method->method_id == HL_METHOD_CLICK)
        done = Activate(e, HL_BY_METHOD);
    Unuse(e);
    return done;
}

bool View::Activate(Element* e, UINT reason)
{
    Hold hold(this);
    Element* behavior = BehaviorElement(e);
    if (!behavior || behavior->view != this || destroyed_)
        return false;
    Click(behavior, reason);
    return true;
}

std::vector<Element*> View::FocusOrder() const
{
    // Positive tabindex values first, in their order, then the rest in document order; a
    // negative one leaves the element out. Links and buttons need no tabindex to be reached.
    struct Entry {
        int index;
        size_t position;
        Element* e;
    };
    std::vector<Entry> found;
    if (Element* root = Root())
        ForEachDescendant(root, [&](Element* e) {
            int index = 0;
            const bool indexed = !e->IsText() && TabIndex(e, index);
            if (e->IsText() || (!indexed && !e->IsLink() && !e->IsButton()) || index < 0 || !IsShown(e))
                return;
            found.push_back({index > 0 ? index : 32768, found.size(), e});
        });
    std::sort(found.begin(), found.end(), [](const Entry& a, const Entry& b) {
        return a.index != b.index ? a.index < b.index : a.position < b.position;
    });
    std::vector<Element*> order;
    for (const Entry& entry : found)
        order.push_back(entry.e);
    return order;
}

void View::SetFocused(Element* e)
{
    if (e == focus_)
        return;
    if (focus_) {
        focus_->state &= ~kFocus;
        Unuse(focus_);
    }
    focus_ = e;
    if (e) {
        Use(e);
        e->state |= kFocus;
    }
    Restyle();
    NotifyAccessibleFocus(*this);
}

const Element* View::FocusMark() const
{
    if (!focus_ || !document_ || GetFocus() != window_)
        return nullptr;
    bool styled = false;
    for (const Rule& rule : document_->rules) {
        if (styled || !HasFocusCondition(rule.selector))
            continue;
        styled = Matches(rule.selector, focus_);
        ForEachDescendant(focus_, [&](Element* e) { styled = styled || Matches(rule.selector, e); });
    }
    return styled ? nullptr : focus_;
}

bool View::Navigate(WPARAM key)
{
    if (key != VK_TAB && key != VK_LEFT && key != VK_RIGHT && key != VK_UP && key != VK_DOWN)
        return false;
    const std::vector<Element*> order = FocusOrder();
    if (order.empty())
        return false;
    const bool back = key == VK_LEFT || key == VK_UP || (key == VK_TAB && GetKeyState(VK_SHIFT) < 0);
    const size_t count = order.size();
    const size_t at = static_cast<size_t>(std::find(order.begin(), order.end(), focus_) - order.begin());
    // From nothing focused, forward starts at the first and backward at the last; both wrap.
    SetFocused(order[at == count ? (back ? count - 1 : 0) : back ? (at + count - 1) % count : (at + 1) % count]);
    return true;
}

bool View::AccessKey(WPARAM c)
{
    Element* root = Root();
    if (!root || c <= L' ' || c > 0xFFFF)
        return false;
    auto upper = [](wchar_t ch) {
        CharUpperBuffW(&ch, 1);
        return ch;
    };
    Element* found = nullptr;
    ForEachDescendant(root, [&](Element* e) {
        const std::wstring* key = found || e->IsText() ? nullptr : e->Attribute(L"accesskey");
        if (key && key->size() == 1 && upper((*key)[0]) == upper(static_cast<wchar_t>(c)) && IsShown(e))
            found = e;
    });
    if (!found)
        return false;
    Use(found);
    if (!Activate(found, HL_BY_KEY) && !destroyed_)
        SetFocused(found);
    Unuse(found);
    return true;
}

LRESULT View::Proc(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled)
{
    Hold hold(this);
    handled = FALSE;
    switch (message) {
    case WM_PAINT:
        Paint();
        handled = TRUE;
        return 0;
    case WM_ERASEBKGND:  // the paint covers every pixel from the back buffer
        handled = TRUE;
        return 1;
    case WM_SIZE:
        InvalidateLayout();
        Dispatch(Root(), HL_GROUP_SIZE, nullptr);
        return 0;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
        if (!document_)
            return 0;
        OnMouse(message, wParam, lParam);
        handled = TRUE;
        return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != window_ && pressed_)
            SetPressed(nullptr);
        return 0;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == window_ && LOWORD(lParam) == HTCLIENT && document_) {
            POINT point;
            GetCursorPos(&point);
            ScreenToClient(window_, &point);
            Element* hit = HitTest(point);
            const bool hand = hit && (BehaviorElement(hit) || hit->style.pointer);
            SetCursor(LoadCursorW(nullptr, hand ? IDC_HAND : IDC_ARROW));
            handled = TRUE;
            return TRUE;
        }
        return 0;
    case WM_KEYDOWN: {
        // Enter and Space belong to the focused link or button before the page's handlers see
        // them; the keys the handlers leave move the focus.
        const bool press = focus_ && (wParam == VK_RETURN || wParam == VK_SPACE);
        handled = (press && Activate(focus_, HL_BY_KEY)) || OnKey(HL_KEY_DOWN, wParam) || Navigate(wParam);
        return 0;
    }
    case WM_KEYUP:
        handled = OnKey(HL_KEY_UP, wParam);
        return 0;
    case WM_CHAR:  // a letter alone, or with Alt below, presses the element of that access key
        handled = OnKey(HL_KEY_CHAR, wParam) || AccessKey(wParam);
        return 0;
    case WM_SYSCHAR:
        handled = AccessKey(wParam);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:  // the focus mark shows only while the window has the focus
        InvalidateRect(window_, nullptr, FALSE);
        if (message == WM_SETFOCUS)
            NotifyAccessibleFocus(*this);
        return 0;
    case WM_GETOBJECT: {
        const LRESULT object = AnswerGetObject(*this, wParam, lParam);
        handled = object != 0;
        return object;
    }
    case WM_GETDLGCODE:
        handled = TRUE;
        return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
    case WM_NCDESTROY:
        RemovePropW(window_, kViewProperty);
        ReleaseDocument();
        destroyed_ = true;  // the last hold frees the view
        return 0;
    }
    return 0;
}

}  // namespace hl
