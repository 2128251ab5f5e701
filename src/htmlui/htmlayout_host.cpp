#include "htmlui/htmlayout_host.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "win/format.h"
#include "win/text.h"

namespace htmlayout {

namespace dom {

element& element::operator=(const element& other)
{
    if (this != &other)
        Take(other.handle_);
    return *this;
}

void element::Take(HELEMENT handle)
{
    // The new reference first: the element may be assigned to itself through another wrapper.
    if (handle && HTMLayout_UseElement(handle) != HL_OK)
        handle = nullptr;
    if (handle_)
        HTMLayout_UnuseElement(handle_);
    handle_ = handle;
}

element element::root_of(HWND window)
{
    HELEMENT root = nullptr;
    if (HTMLayoutGetRootElement(window, &root) != HL_OK)
        return element();
    return element(root);
}

const wchar_t* element::attribute(const char* name) const
{
    LPCWSTR value = nullptr;
    if (!handle_ || HTMLayoutGetAttributeByName(handle_, name, &value) != HL_OK)
        return nullptr;
    return value;
}

std::wstring element::text() const
{
    std::wstring text;
    struct Receiver {
        static VOID CALLBACK Receive(LPCWSTR chars, UINT length, LPVOID param)
        {
            if (chars)
                static_cast<std::wstring*>(param)->assign(chars, length);
        }
    };
    if (handle_)
        HTMLayoutGetElementInnerTextCB(handle_, Receiver::Receive, &text);
    return text;
}

HWND element::root_window() const
{
    HWND window = nullptr;
    if (!handle_ || HTMLayoutGetElementHwnd(handle_, &window, TRUE) != HL_OK)
        return nullptr;
    return window;
}

bool element::call_method(UINT methodId) const
{
    HlMethodRecord method = {methodId};
    return handle_ && HTMLayoutCallBehaviorMethod(handle_, &method) == HL_OK;
}

bool find_first_callback::on_element(HELEMENT handle)
{
    found = element(handle);
    return true;
}

}  // namespace dom

bool selected_cb::on_element(HELEMENT handle)
{
    elements.emplace_back(handle);
    return false;
}

namespace {

BOOL CALLBACK SelectCallback(HELEMENT handle, LPVOID param)
{
    return static_cast<dom::callback*>(param)->on_element(handle);
}

void Select(const dom::element& root, dom::callback& found, const char* format, va_list args)
{
    const std::string selector = FormatNarrowV(format, args);
    if (root)
        HTMLayoutSelectElements(root.get(), selector.c_str(), SelectCallback, &found);
}

}  // namespace

dom::element FindFirst(const dom::element& root, const char* selectorFormat, ...)
{
    dom::find_first_callback first;
    va_list args;
    va_start(args, selectorFormat);
    Select(root, first, selectorFormat, args);
    va_end(args);
    return first.found;
}

void SelectAll(const dom::element& root, dom::callback& found, const char* selectorFormat, ...)
{
    va_list args;
    va_start(args, selectorFormat);
    Select(root, found, selectorFormat, args);
    va_end(args);
}

bool event_handler::OnBehaviorEvent(HELEMENT element, HlBehaviorRecord& record)
{
    return OnButtonEvent(element, record.target, record.cmd, record.reason);
}

BOOL CALLBACK event_handler::ElementProc(LPVOID tag, HELEMENT element, UINT group, LPVOID record)
{
    auto* handler = static_cast<event_handler*>(tag);
    if (!handler)
        return FALSE;
    switch (group) {
    case HL_GROUP_INITIALIZATION:
        if (static_cast<HlInitRecord*>(record)->cmd == 0)
            handler->OnAttached(element);
        else if (static_cast<HlInitRecord*>(record)->cmd == 1)
            handler->OnDetached(element);
        return TRUE;
    case HL_GROUP_MOUSE:
        return handler->OnMouse(element, *static_cast<HlMouseRecord*>(record));
    case HL_GROUP_KEY:
        return handler->OnKey(element, *static_cast<HlKeyRecord*>(record));
    case HL_GROUP_SIZE:
        handler->OnSize(element);
        return FALSE;
    case HL_GROUP_METHOD_CALL:
        return handler->OnMethodCall(element, *static_cast<HlMethodRecord*>(record));
    case HL_GROUP_BEHAVIOR_EVENT:
        return handler->OnBehaviorEvent(element, *static_cast<HlBehaviorRecord*>(record));
    default:  // groups this program does not handle
        return FALSE;
    }
}

LRESULT CALLBACK notification_handler::NotifyProc(UINT, WPARAM, LPARAM lParam, LPVOID param)
{
    auto* handler = static_cast<notification_handler*>(param);
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!handler || !header)
        return 0;
    switch (header->code) {
    case HL_NOTIFY_LOAD_DATA:
        return handler->OnLoadData(*reinterpret_cast<HlLoadDataRecord*>(header));
    case HL_NOTIFY_ATTACH_BEHAVIOR:
        handler->OnAttachBehavior(*reinterpret_cast<HlAttachBehaviorRecord*>(header));
        return 0;
    default:
        return 0;
    }
}

behavior_factory* behavior_factory::first_ = nullptr;

behavior_factory::behavior_factory(const char* name) : name_(name), next_(first_)
{
    first_ = this;
}

behavior_factory* behavior_factory::Find(const char* name)
{
    for (behavior_factory* factory = first_; factory; factory = factory->next_)
        if (name && strcmp(factory->name_, name) == 0)
            return factory;
    return nullptr;
}

bool ResourceForUrl(const wchar_t* url, PageResource& resource)
{
    if (!url || !*url)
        return false;
    const std::wstring text = std::wstring(url).substr(0, MAX_PATH - 1);
    const size_t dot = text.rfind(L'.');
    resource.name = text.substr(0, dot);
    resource.type = dot == std::wstring::npos ? L"" : text.substr(dot + 1);
    resource.htmlType = dot == std::wstring::npos || EqualsNoCase(resource.type, L"html");
    if (resource.htmlType)
        resource.type.clear();
    return true;
}

bool LoadProgramResource(const wchar_t* name, const wchar_t* type, const void*& data, DWORD& size)
{
    HMODULE program = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(program, name, type);
    HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
    data = loaded ? LockResource(loaded) : nullptr;
    size = found ? SizeofResource(program, found) : 0;
    return data && size;
}

int ButtonResult(const wchar_t* name)
{
    static const wchar_t* const kNames[] = {L"OK",     L"CANCEL", L"ABORT", L"RETRY", L"IGNORE",
                                            L"YES",    L"NO",     L"CLOSE", L"HELP"};
    for (int i = 0; i < 9; ++i)
        if (name && EqualsNoCase(name, kNames[i]))
            return i + 1;
    return -1;
}

dialog::dialog(HWND parent, DWORD extraStyle)
    : event_handler(HL_GROUP_BEHAVIOR_EVENT),
      parent_(parent),
      style_(WS_POPUP | WS_CAPTION | WS_SYSMENU | extraStyle)
{
}

dialog::~dialog() = default;

int dialog::RunModal(const void* data, UINT size)
{
    pageData_ = data;
    pageSize_ = size;
    if (!Create())
        return result_;
    ShowWindow(window_, SW_SHOW);
    HWND owner = GetAncestor(window_, GA_ROOTOWNER);
    // No dialog-message processing: Enter and Escape reach the page.
    MSG message;
    while (IsWindow(window_)) {
        if (GetMessageW(&message, nullptr, 0, 0) <= 0)
            break;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (owner && owner != window_ && IsWindow(owner)) {
        EnableWindow(owner, TRUE);
        SetForegroundWindow(owner);
    }
    return result_;
}

HWND dialog::Create()
{
    // A template with no controls, no menu, class or title: three zero words after the header,
    // which needs DWORD alignment.
    struct {
        DLGTEMPLATE header;
        WORD menu, windowClass, title;
    } __attribute__((aligned(4))) page = {};
    page.header.style = style_;
    page.header.dwExtendedStyle = extendedStyle_;
    HINSTANCE instance = parent_ ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent_, GWLP_HINSTANCE)) : nullptr;
    window_ = CreateDialogIndirectParamW(instance, &page.header, parent_, DialogProc,
                                         reinterpret_cast<LPARAM>(this));
    return window_;
}

INT_PTR CALLBACK dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The engine sees every message first.
    BOOL handled = FALSE;
    const LRESULT engineResult = HTMLayoutProcND(window, message, wParam, lParam, &handled);
    if (handled) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, engineResult);
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(window, DWLP_MSGRESULT, reinterpret_cast<dialog*>(lParam)->InitWindow(window));
        return TRUE;
    case WM_DESTROY:
        if (auto* self = reinterpret_cast<dialog*>(GetWindowLongPtrW(window, DWLP_USER)))
            HTMLayoutWindowDetachEventHandler(window, ElementProc, static_cast<event_handler*>(self));
        break;
    case WM_CLOSE:
        if (HWND parent = GetParent(window)) {
            EnableWindow(parent, TRUE);
            SetForegroundWindow(parent);
        }
        DestroyWindow(window);
        break;
    case WM_USER:
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
    return TRUE;
}

LRESULT dialog::InitWindow(HWND window)
{
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
    window_ = window;
    HTMLayoutSetCallback(window, NotifyProc, static_cast<notification_handler*>(this));
    HTMLayoutWindowAttachEventHandler(window, ElementProc, static_cast<event_handler*>(this), HL_GROUP_ALL);
    if (!pageData_)
        return 0;
    if (pageSize_ == 0)
        HTMLayoutLoadFile(window, static_cast<const wchar_t*>(pageData_));
    else
        HTMLayoutLoadHtmlEx(window, static_cast<const BYTE*>(pageData_), pageSize_, baseUrl_.c_str());

    const dom::element root = dom::element::root_of(window);
    if (!root)
        return 0;
    if (const dom::element title = FindFirst(root, "title"))
        SetWindowTextW(window, title.text().c_str());

    const UINT width = HTMLayoutGetMinWidth(window);
    const UINT height = HTMLayoutGetMinHeight(window, width);
    RECT frame = {x_, y_, x_ + static_cast<LONG>(width), y_ + static_cast<LONG>(height)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    const int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
    RECT area = {};
    if (placement_ == kCentredOnScreen)
        GetClientRect(GetDesktopWindow(), &area);
    else if (placement_ == kCentredOnParent)
        GetWindowRect(parent_, &area);
    if (placement_ == kCentredOnScreen || placement_ == kCentredOnParent) {
        frame.left = area.left + (area.right - area.left - frameWidth) / 2;
        frame.top = area.top + (area.bottom - area.top - frameHeight) / 2;
    }
    // Whatever the page asks for, the window stays on the work area of its screen, its caption
    // and its borders reachable: a larger page is cut, not the window pushed off the screen.
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromRect(&frame, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    const int shownWidth = std::min<int>(frameWidth, work.right - work.left);
    const int shownHeight = std::min<int>(frameHeight, work.bottom - work.top);
    frame.left = std::max<LONG>(work.left, std::min<LONG>(frame.left, work.right - shownWidth));
    frame.top = std::max<LONG>(work.top, std::min<LONG>(frame.top, work.bottom - shownHeight));
    SetWindowPos(window, nullptr, frame.left, frame.top, shownWidth, shownHeight, SWP_NOZORDER);
    PostMessageW(window, WM_USER, 0, 0);
    return 0;
}

bool dialog::OnKey(HELEMENT, HlKeyRecord& record)
{
    if (record.cmd != HL_KEY_DOWN)
        return false;
    const char* selector = record.key_code == VK_RETURN   ? "[role='default-button']"
                           : record.key_code == VK_ESCAPE ? "[role='cancel-button']"
                                                          : nullptr;
    if (!selector)
        return false;
    const dom::element button = FindFirst(dom::element::root_of(window_), selector);
    return button && button.call_method(HL_METHOD_CLICK);
}

bool dialog::OnBehaviorEvent(HELEMENT element, HlBehaviorRecord& record)
{
    const dom::element target(record.target);
    if (record.cmd == HL_BUTTON_CLICK) {
        const wchar_t* name = target.attribute("name");
        if (!name)
            return false;
        result_ = 0;
        const int code = ButtonResult(name);
        if (code < 0)
            return OnButtonEvent(element, record.target, record.cmd, record.reason);
        result_ = code;
        PostMessageW(target.root_window(), WM_CLOSE, 0, 0);
        return true;
    }
    if (record.cmd == HL_HYPERLINK_CLICK) {
        const wchar_t* href = target.attribute("href");
        if (!href)
            return false;
        ShellExecuteW(target.root_window(), L"open", href, nullptr, nullptr, SW_SHOWNORMAL);
        return true;
    }
    return false;
}

LRESULT dialog::OnLoadData(HlLoadDataRecord& record)
{
    PageResource resource;
    if (!ResourceForUrl(record.uri, resource))
        return 0;
    const void* data = nullptr;
    DWORD size = 0;
    // Without data the engine goes on loading the URL its own way.
    if (LoadProgramResource(resource.name.c_str(),
                            resource.htmlType ? MAKEINTRESOURCEW(23) : resource.type.c_str(), data, size))
        HTMLayoutDataReady(record.header.hwndFrom, record.uri, static_cast<LPBYTE>(const_cast<void*>(data)), size);
    return 0;
}

void dialog::OnAttachBehavior(HlAttachBehaviorRecord& record)
{
    behavior_factory* factory = behavior_factory::Find(record.behavior_name);
    event_handler* handler = factory ? factory->Create(record.element) : nullptr;
    if (!handler)
        return;
    record.element_proc = ElementProc;
    record.element_tag = handler;
    record.element_events = handler->subscription();
}

}  // namespace htmlayout
