// uidriver: the console helper the end-to-end scenarios run under Wine to start programs, drive
// their windows as a person would, and ask the Windows Installer about products.
//
//   uidriver run --exit-file F [--cwd DIR] [--timeout S] --cmdline "raw"
//                                       runs the program, writes its 32-bit exit code into F;
//                                       with --console 1 in a new console, whose text it prints
//   uidriver kill DIR                   ends every process whose program lies below DIR
//   uidriver texts MATCH [--timeout S]  the first matching window as JSON (waits up to S): its
//                                       children with texts, states and screen rectangles
//   uidriver close MATCH                posts WM_CLOSE to it
//   uidriver click MATCH (--button TEXT | --id N)   presses a visible, enabled button
//   uidriver rows MATCH                 the rows of its list view 10010 as JSON
//   uidriver click-row MATCH --row R [--at icon|label]   a mouse click on a row
//   uidriver type-row MATCH --row R [--char C]           selects the row, types C (a blank)
//   uidriver click-at MATCH --id N [--at X,Y]            a mouse click on a control's point
//   uidriver set-text MATCH --id N --text T, select MATCH --id N --index I
//                                       types into an edit, picks a combo box's item
//   uidriver mouse MATCH --at X,Y [--press click|down|up]   moves the pointer onto the window's
//                                       client point (and presses the left button there) through
//                                       SendInput, as a mouse would
//   uidriver key MATCH --vk N           posts a key press and release of virtual key N to the
//                                       window holding the focus in it
//   uidriver type MATCH --keys K,K...   brings the window to the front and types through SendInput,
//                                       as a keyboard would: tab, return, space, escape, up, down,
//                                       left, right or a letter, each with shift+, alt+ or ctrl+ if
//                                       wanted; prints the accessible names of the focus events
//                                       the window raised meanwhile as a JSON list
//   uidriver accessible MATCH           its client area's accessible object as JSON: name, role,
//                                       focus (child id) and the children with name, role, state,
//                                       screen rectangle, default action and keyboard shortcut
//   uidriver list                       every top-level window, one per line
//   uidriver loadlib NAME               a plain LoadLibraryW, as a careless program would
//   uidriver product-state|uninstall CODE, uidriver product-info CODE PROPERTY
//
// MATCH is --title T (exact) or --contains T, optionally --class C and --with ID (a control the
// window holds); only visible top-level windows match. texts gives the window's client area too: its top left on the screen and size. Waits poll every 100 ms (default 30 s; texts 0 s). Exit code
// 0 on success, 1 for a failed call or bad usage, 2 when nothing matched in time.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <msi.h>
#include <msiquery.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace {

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() { if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

void Write(DWORD which, const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string bytes(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &bytes[0], n, nullptr, nullptr);
    DWORD done = 0;
    WriteFile(GetStdHandle(which), bytes.data(), (DWORD)bytes.size(), &done, nullptr);
}
void Out(const std::wstring& text) { Write(STD_OUTPUT_HANDLE, text + L"\n"); }
int Fail(int code, const std::wstring& text) {
    Write(STD_ERROR_HANDLE, L"uidriver: " + text + L"\n");
    return code;
}

std::wstring Json(const std::wstring& s) {
    std::wstring r = L"\"";
    for (wchar_t c : s) {
        wchar_t escaped[8] = {c, 0};
        if (c == L'"' || c == L'\\' || c < 0x20) _snwprintf(escaped, 8, L"\\u%04x", c);
        r += escaped;
    }
    return r + L"\"";
}

// The command line's "--name value" pairs; the bare words come under "".
struct Options : std::map<std::wstring, std::wstring> {
    std::vector<std::wstring> words;
    bool has(const wchar_t* name) const { return count(name) > 0; }
    std::wstring get(const wchar_t* name) const { return has(name) ? at(name) : std::wstring(); }
    long number(const wchar_t* name, long otherwise = -1) const {
        return has(name) ? wcstol(at(name).c_str(), nullptr, 0) : otherwise;
    }
};

bool Parse(int argc, wchar_t** argv, Options& o) {
    for (int i = 2; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a.rfind(L"--", 0) != 0) o.words.push_back(a);
        else if (i + 1 < argc) o[a.substr(2)] = argv[++i];
        else return false;
    }
    return true;
}

template <class Probe> bool Poll(double seconds, Probe probe) {
    ULONGLONG end = GetTickCount64() + (ULONGLONG)(seconds * 1000);
    for (;;) {
        if (probe()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(100);
    }
}

// ---- windows -----------------------------------------------------------------------------

std::wstring ClassOf(HWND h) {
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

// A top-level caption comes without a message to the window, so a hung program cannot hang us.
std::wstring CaptionOf(HWND h) {
    std::wstring s(GetWindowTextLengthW(h) + 1, L'\0');
    s.resize(GetWindowTextW(h, &s[0], (int)s.size()));
    return s;
}

std::wstring ControlText(HWND h) {
    DWORD_PTR len = 0, got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) return {};
    std::wstring s(len + 1, L'\0');
    if (!SendMessageTimeoutW(h, WM_GETTEXT, len + 1, (LPARAM)&s[0], SMTO_ABORTIFHUNG, 2000, &got)) return {};
    s.resize(got < len ? got : len);
    return s;
}

BOOL CALLBACK Collect(HWND h, LPARAM p) {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
    return TRUE;
}

std::vector<HWND> Windows(HWND parent = nullptr) {
    std::vector<HWND> all;
    if (parent) EnumChildWindows(parent, Collect, (LPARAM)&all);
    else EnumWindows(Collect, (LPARAM)&all);
    return all;
}

long IdOf(HWND h) { return (long)GetWindowLongPtrW(h, GWLP_ID) & 0xFFFF; }

bool HasControl(HWND h, long id) {
    for (HWND c : Windows(h))
        if (IdOf(c) == (id & 0xFFFF)) return true;
    return false;
}

bool Matches(HWND h, const Options& o) {
    std::wstring caption = CaptionOf(h);
    return IsWindowVisible(h) && (!o.has(L"title") || caption == o.at(L"title")) &&
           caption.find(o.get(L"contains")) != std::wstring::npos &&
           (!o.has(L"class") || ClassOf(h) == o.at(L"class")) && (!o.has(L"with") || HasControl(h, o.number(L"with")));
}

bool IsCheckable(HWND h) {
    LONG type = GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK;
    return lstrcmpiW(ClassOf(h).c_str(), L"Button") == 0 &&
           (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
            type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE);
}

std::wstring Bool(bool b) { return b ? L"true" : L"false"; }

// The window holding the keyboard focus in the thread of h, or null.
HWND FocusOf(HWND h) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &info) ? info.hwndFocus : nullptr;
}

void PrintWindow(HWND h) {
    RECT client = {};
    GetClientRect(h, &client);
    POINT origin = {0, 0};
    ClientToScreen(h, &origin);
    std::wstring out = L"{\"title\": " + Json(CaptionOf(h)) + L", \"class\": " + Json(ClassOf(h)) +
                       L", \"client\": [" + std::to_wstring(origin.x) + L", " + std::to_wstring(origin.y) + L", " +
                       std::to_wstring(client.right) + L", " + std::to_wstring(client.bottom) + L"], \"children\": [";
    bool first = true;
    const HWND focus = FocusOf(h);
    for (HWND c : Windows(h)) {
        RECT box = {};
        GetWindowRect(c, &box);
        DWORD_PTR check = 0;
        if (IsCheckable(c)) SendMessageTimeoutW(c, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &check);
        out += (first ? L"" : L", ") + std::wstring(L"{\"id\": ") + std::to_wstring(IdOf(c)) +
               L", \"class\": " + Json(ClassOf(c)) + L", \"text\": " + Json(ControlText(c)) +
               L", \"visible\": " + Bool(IsWindowVisible(c)) + L", \"enabled\": " + Bool(IsWindowEnabled(c)) +
               L", \"checked\": " + Bool(check == BST_CHECKED) + L", \"focused\": " + Bool(c == focus) +
               L", \"rect\": [" + std::to_wstring(box.left) + L", " + std::to_wstring(box.top) + L", " +
               std::to_wstring(box.right - box.left) + L", " + std::to_wstring(box.bottom - box.top) + L"]}";
        first = false;
    }
    Out(out + L"]}");
}

// The first matching window that has a child `pick` likes (any window when pick is null).
template <class Pick> bool Find(const Options& o, double timeout, HWND& window, HWND& child, Pick pick) {
    return Poll(timeout, [&] {
        for (HWND w : Windows()) {
            if (!Matches(w, o)) continue;
            for (HWND c : Windows(w))
                if (pick(c)) { window = w; child = c; return true; }
        }
        return false;
    });
}

std::wstring StripAccelerators(const std::wstring& s) {
    std::wstring r;
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] != L'&' || (i + 1 < s.size() && s[i + 1] == L'&' && ++i)) r += s[i];
    return r;
}

int Click(const Options& o, double timeout) {
    HWND window = nullptr, button = nullptr;
    if (!Find(o, timeout, window, button, [&](HWND c) {
            bool named = o.has(L"id") ? IdOf(c) == (o.number(L"id") & 0xFFFF)
                                      : StripAccelerators(ControlText(c)) == StripAccelerators(o.get(L"button"));
            return named && IsWindowVisible(c) && IsWindowEnabled(c);
        }))
        return Fail(2, L"no visible, enabled button " + o.get(L"id") + o.get(L"button"));
    // A box must change state, so it gets a real click; a push button gets the notification its
    // dialog acts on, which works whether or not the dialog has the focus.
    if (IsCheckable(button))
        PostMessageW(button, BM_CLICK, 0, 0);
    else
        PostMessageW(GetParent(button) ? GetParent(button) : window, WM_COMMAND,
                     MAKEWPARAM(IdOf(button), BN_CLICKED), (LPARAM)button);
    return 0;
}

// ---- list view and mouse -------------------------------------------------------------------

// Memory in the list's process for the messages whose argument is a pointer there (the target
// is a 32-bit process like this one, so the structures agree).
class Remote {
public:
    Remote(HWND list, SIZE_T size) : process_(nullptr) {
        DWORD pid = 0;
        GetWindowThreadProcessId(list, &pid);
        process_.h = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        p_ = process_.h ? VirtualAllocEx(process_.h, nullptr, size, MEM_COMMIT, PAGE_READWRITE) : nullptr;
    }
    ~Remote() { if (p_) VirtualFreeEx(process_.h, p_, 0, MEM_RELEASE); }
    void* at(SIZE_T offset = 0) const { return (char*)p_ + offset; }
    bool put(const void* data, SIZE_T size, SIZE_T offset = 0) const {
        return p_ && WriteProcessMemory(process_.h, at(offset), data, size, nullptr);
    }
    bool get(void* data, SIZE_T size, const void* from) const {
        return p_ && ReadProcessMemory(process_.h, from, data, size, nullptr);
    }
private:
    Handle process_;
    void* p_;
};

LRESULT Send(HWND h, UINT msg, WPARAM w, LPARAM l) {
    DWORD_PTR r = 0;
    return SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, 5000, &r) ? (LRESULT)r : 0;
}

const long kListId = 10010;

int FindList(const Options& o, double timeout, HWND& list) {
    HWND window = nullptr;
    if (!Find(o, timeout, window, list, [](HWND c) { return IdOf(c) == kListId && ClassOf(c) == WC_LISTVIEWW; }))
        return Fail(2, L"no list view");
    if (o.number(L"row") >= Send(list, LVM_GETITEMCOUNT, 0, 0))
        return Fail(1, L"row " + o.get(L"row") + L" is not in the list");
    return 0;
}

int PrintRows(const Options& o, double timeout) {
    HWND list = nullptr;
    if (int r = FindList(o, timeout, list)) return r;
    const int cch = 1024;
    Remote mem(list, sizeof(LVITEMW) + cch * sizeof(wchar_t));
    std::wstring out = L"{\"rows\": [";
    for (int i = 0, n = (int)Send(list, LVM_GETITEMCOUNT, 0, 0); i < n; ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = i;
        item.pszText = (LPWSTR)mem.at(sizeof item);
        item.cchTextMax = cch;
        std::vector<wchar_t> text(cch, L'\0');
        if (!mem.put(&item, sizeof item) || !mem.put(text.data(), 2, sizeof item) ||
            !Send(list, LVM_GETITEMW, 0, (LPARAM)mem.at()) || !mem.get(&item, sizeof item, mem.at()))
            return Fail(1, L"cannot read row " + std::to_wstring(i));
        // The control may answer with a text of its own instead of filling our buffer.
        mem.get(text.data(), (cch - 1) * sizeof(wchar_t), item.pszText);
        out += (i ? L", " : L"") + std::wstring(L"{\"image\": ") + std::to_wstring(item.iImage) +
               L", \"text\": " + Json(text.data()) + L"}";
    }
    Out(out + L"], \"mark\": " + std::to_wstring((int)Send(list, LVM_GETSELECTIONMARK, 0, 0)) + L"}");
    return 0;
}

// Returns once the list has handled everything posted to it before: a hover time posted behind
// the input shows when it is done; the old one is put back.
int Fence(HWND list) {
    LRESULT before = Send(list, LVM_GETHOVERTIME, 0, 0);
    DWORD marker = before == 4321 ? 4322 : 4321;
    PostMessageW(list, LVM_SETHOVERTIME, 0, marker);
    bool done = Poll(10, [&] { return (DWORD)Send(list, LVM_GETHOVERTIME, 0, 0) == marker; });
    Send(list, LVM_SETHOVERTIME, 0, before);
    return done ? 0 : Fail(2, L"the list did not handle the input");
}

// Moves the pointer onto the control's client point (so that GetMessagePos agrees) and posts
// a left click there.
void PostClick(HWND control, POINT client) {
    POINT screen = client;
    ClientToScreen(control, &screen);
    SetCursorPos(screen.x, screen.y);
    LPARAM at = MAKELPARAM(client.x, client.y);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
}

int ClickRow(const Options& o, double timeout) {
    HWND list = nullptr;
    if (int r = FindList(o, timeout, list)) return r;
    Remote mem(list, sizeof(RECT));
    RECT rect = {};
    rect.left = o.get(L"at") == L"label" ? LVIR_LABEL : LVIR_ICON;
    if (!mem.put(&rect, sizeof rect) || !Send(list, LVM_GETITEMRECT, o.number(L"row"), (LPARAM)mem.at()) ||
        !mem.get(&rect, sizeof rect, mem.at()) || rect.right <= rect.left)
        return Fail(1, L"row " + o.get(L"row") + L" has no area to click");
    PostClick(list, POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
    return Fence(list);
}

int TypeRow(const Options& o, double timeout) {
    HWND list = nullptr;
    if (int r = FindList(o, timeout, list)) return r;
    // What the arrow keys leave behind: the row focused and selected, and the selection mark.
    Remote mem(list, sizeof(LVITEMW));
    LVITEMW item = {};
    item.state = item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    if (!mem.put(&item, sizeof item) || !Send(list, LVM_SETITEMSTATE, o.number(L"row"), (LPARAM)mem.at()))
        return Fail(1, L"cannot select row " + o.get(L"row"));
    Send(list, LVM_SETSELECTIONMARK, 0, o.number(L"row"));
    PostMessageW(list, WM_CHAR, o.has(L"char") ? o.at(L"char")[0] : L' ', 1);
    return Fence(list);
}

// Types a text into an edit (or picks a combo box's item by index) as a person would leave it.
int SetValue(const std::wstring& verb, const Options& o, double timeout) {
    HWND window = nullptr, control = nullptr;
    if (!Find(o, timeout, window, control, [&](HWND c) { return IdOf(c) == o.number(L"id") && IsWindowEnabled(c); }))
        return Fail(2, L"no enabled control " + o.get(L"id"));
    if (verb == L"select") Send(control, CB_SETCURSEL, o.number(L"index"), 0);
    else SendMessageTimeoutW(control, WM_SETTEXT, 0, (LPARAM)o.get(L"text").c_str(), SMTO_ABORTIFHUNG, 5000, nullptr);
    return 0;
}

int ClickAt(const Options& o, double timeout) {
    HWND window = nullptr, control = nullptr;
    if (!Find(o, timeout, window, control, [&](HWND c) { return IdOf(c) == o.number(L"id") && IsWindowVisible(c); }))
        return Fail(2, L"no visible control " + o.get(L"id"));
    RECT rect = {};
    GetClientRect(control, &rect);
    POINT point = {rect.right / 2, rect.bottom / 2};
    if (o.has(L"at") && swscanf(o.at(L"at").c_str(), L"%ld,%ld", &point.x, &point.y) != 2)
        return Fail(1, L"--at wants X,Y");
    PostClick(control, point);
    return 0;
}

// Real input, for windows that track the pointer themselves: a move where the pointer is put,
// then a press and release when asked.
int Mouse(HWND window, const Options& o) {
    POINT point = {};
    if (swscanf(o.get(L"at").c_str(), L"%ld,%ld", &point.x, &point.y) != 2) return Fail(1, L"--at wants X,Y");
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
    INPUT input[3] = {};
    for (INPUT& i : input) i.type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE;
    const std::wstring press = o.get(L"press");
    UINT count = 1;
    if (press == L"click" || press == L"down") input[count++].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    if (press == L"click" || press == L"up") input[count++].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    return SendInput(count, input, sizeof(INPUT)) == count ? 0 : Fail(1, L"SendInput failed");
}

// As a key press arrives: at the window holding the focus, when that is the window or one of its
// children.
void PostKey(HWND window, UINT key) {
    const HWND focus = FocusOf(window);
    if (focus && (focus == window || IsChild(window, focus))) window = focus;
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    PostMessageW(window, WM_KEYDOWN, key, MAKELPARAM(1, scan));
    PostMessageW(window, WM_KEYUP, key, MAKELPARAM(1, scan | 0xC000));
}

// ---- keyboard and accessibility -------------------------------------------------------------

struct FocusEvent {
    HWND window;
    LONG object, child;
};
std::vector<FocusEvent> focusEvents;

void CALLBACK OnFocusEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD) {
    focusEvents.push_back({window, object, child});
}

std::wstring Bstr(BSTR b) {
    std::wstring s = b ? b : L"";
    SysFreeString(b);
    return s;
}

std::wstring AccName(IAccessible* acc, LONG child) {
    BSTR name = nullptr;
    VARIANT id = {};
    id.vt = VT_I4;
    id.lVal = child;
    return SUCCEEDED(acc->get_accName(id, &name)) ? Bstr(name) : std::wstring();
}

// Waits for the program to take the input, answering our own messages (the focus events).
void Pump(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (GetTickCount64() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(20);
    }
}

int Type(HWND window, const std::wstring& keys) {
    static const std::map<std::wstring, WORD> kNamed = {
        {L"tab", VK_TAB}, {L"return", VK_RETURN}, {L"space", VK_SPACE}, {L"escape", VK_ESCAPE},
        {L"up", VK_UP}, {L"down", VK_DOWN}, {L"left", VK_LEFT}, {L"right", VK_RIGHT}};
    static const std::map<std::wstring, WORD> kModifiers = {{L"shift", VK_SHIFT}, {L"alt", VK_MENU}, {L"ctrl", VK_CONTROL}};
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, OnFocusEvent, pid, 0,
                                         WINEVENT_OUTOFCONTEXT);
    SetForegroundWindow(window);
    Pump(300);
    std::wstring names = L"[";
    size_t start = 0;
    while (start <= keys.size()) {
        const size_t comma = std::min(keys.find(L',', start), keys.size());
        std::wstring token = keys.substr(start, comma - start);
        start = comma + 1;
        std::vector<WORD> down;
        for (size_t plus; (plus = token.find(L'+')) != std::wstring::npos; token = token.substr(plus + 1)) {
            auto m = kModifiers.find(token.substr(0, plus));
            if (m == kModifiers.end()) return Fail(1, L"unknown modifier in " + token);
            down.push_back(m->second);
        }
        auto named = kNamed.find(token);
        if (named != kNamed.end()) down.push_back(named->second);
        else if (token.size() == 1) down.push_back(LOBYTE(VkKeyScanW(token[0])));
        else return Fail(1, L"unknown key " + token);
        std::vector<INPUT> input;
        for (size_t i = 0; i < down.size() * 2; ++i) {
            INPUT in = {};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = down[i < down.size() ? i : down.size() * 2 - 1 - i];
            in.ki.dwFlags = i < down.size() ? 0 : KEYEVENTF_KEYUP;
            input.push_back(in);
        }
        focusEvents.clear();
        if (SendInput((UINT)input.size(), input.data(), sizeof(INPUT)) != input.size()) return Fail(1, L"SendInput failed");
        Pump(500);
        for (const FocusEvent& e : focusEvents) {
            IAccessible* acc = nullptr;
            VARIANT child = {};
            if (!IsWindow(e.window) || FAILED(AccessibleObjectFromEvent(e.window, e.object, e.child, &acc, &child)))
                continue;
            names += (names.size() > 1 ? L"," : L"") + Json(AccName(acc, child.lVal));
            acc->Release();
        }
    }
    if (hook) UnhookWinEvent(hook);
    Out(names + L"]");
    return 0;
}

int PrintAccessible(HWND window) {
    IAccessible* acc = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, (DWORD)OBJID_CLIENT, __uuidof(IAccessible), (void**)&acc)) || !acc)
        return Fail(1, L"no accessible object");
    auto text = [&](HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), LONG child) {
        BSTR b = nullptr;
        VARIANT id = {};
        id.vt = VT_I4;
        id.lVal = child;
        return SUCCEEDED((acc->*get)(id, &b)) ? Bstr(b) : std::wstring();
    };
    auto number = [&](HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), LONG child) {
        VARIANT id = {}, out = {};
        id.vt = VT_I4;
        id.lVal = child;
        return SUCCEEDED((acc->*get)(id, &out)) && out.vt == VT_I4 ? out.lVal : -1;
    };
    auto role = [&](LONG child) {
        wchar_t name[64] = {};
        GetRoleTextW((DWORD)number(&IAccessible::get_accRole, child), name, 64);
        return Json(name);
    };
    LONG count = 0;
    acc->get_accChildCount(&count);
    VARIANT focus = {};
    acc->get_accFocus(&focus);
    std::wstring json = L"{\"name\": " + Json(text(&IAccessible::get_accName, CHILDID_SELF)) + L", \"role\": " +
                        role(CHILDID_SELF) + L", \"focus\": " + std::to_wstring(focus.vt == VT_I4 ? focus.lVal : -1) +
                        L", \"children\": [";
    for (LONG child = 1; child <= count; ++child) {
        VARIANT id = {};
        id.vt = VT_I4;
        id.lVal = child;
        LONG l = 0, t = 0, w = 0, h = 0;
        acc->accLocation(&l, &t, &w, &h, id);
        json += (child > 1 ? L", " : L"") + std::wstring(L"{\"name\": ") + Json(text(&IAccessible::get_accName, child)) +
                L", \"role\": " + role(child) + L", \"state\": " + std::to_wstring(number(&IAccessible::get_accState, child)) +
                L", \"rect\": [" + std::to_wstring(l) + L", " + std::to_wstring(t) + L", " + std::to_wstring(w) + L", " +
                std::to_wstring(h) + L"], \"action\": " + Json(text(&IAccessible::get_accDefaultAction, child)) +
                L", \"shortcut\": " + Json(text(&IAccessible::get_accKeyboardShortcut, child)) + L"}";
    }
    acc->Release();
    Out(json + L"]}");
    return 0;
}

// ---- processes and products ----------------------------------------------------------------

// A console of our own, wide enough for a long line, as the program's standard output and error.
HANDLE NewConsole() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    FreeConsole();
    AllocConsole();
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherited, OPEN_EXISTING, 0, nullptr);
    SetConsoleScreenBufferSize(screen, {400, 100});
    return screen;
}

// The console's characters as its cells hold them, line by line, up to the cursor.
void PrintConsole(HANDLE screen) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(screen, &info);
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        std::wstring line(info.dwSize.X, L' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(screen, &line[0], info.dwSize.X, {0, y}, &read);
        line.erase(line.find_last_not_of(L' ') + 1);
        Out(line);
    }
}

int Run(const Options& o, double timeout) {
    std::wstring cmd = o.get(L"cmdline");
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    Handle screen(o.has(L"console") ? NewConsole() : nullptr);
    if (screen.h) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = screen.h;
    }
    PROCESS_INFORMATION pi = {};
    if (cmd.empty() || !CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, screen.h != nullptr, 0, nullptr,
                                       o.has(L"cwd") ? o.at(L"cwd").c_str() : nullptr, &si, &pi))
        return Fail(1, L"cannot start " + cmd + L": " + std::to_wstring(GetLastError()));
    Handle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(process.h, (DWORD)(timeout * 1000)) != WAIT_OBJECT_0) {
        TerminateProcess(process.h, 1);
        return Fail(2, L"time-out, killed: " + cmd);
    }
    if (screen.h) PrintConsole(screen.h);
    DWORD code = 0;
    GetExitCodeProcess(process.h, &code);
    char text[16];
    int n = snprintf(text, sizeof text, "%lu", code);
    Handle file(CreateFileW(o.get(L"exit-file").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD done = 0;
    return WriteFile(file.h, text, n, &done, nullptr) ? 0 : Fail(1, L"cannot write " + o.get(L"exit-file"));
}

int Kill(const std::wstring& folder) {
    Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W e = {};
    e.dwSize = sizeof e;
    for (BOOL ok = Process32FirstW(snap.h, &e); ok; ok = Process32NextW(snap.h, &e)) {
        Handle process(OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, e.th32ProcessID));
        wchar_t path[MAX_PATH * 2] = {};
        DWORD size = MAX_PATH * 2;
        if (process.h && QueryFullProcessImageNameW(process.h, 0, path, &size) &&
            CompareStringOrdinal(path, (int)folder.size(), folder.c_str(), (int)folder.size(), TRUE) == CSTR_EQUAL)
            TerminateProcess(process.h, 1);
    }
    return 0;
}

int Msi(const std::wstring& verb, const Options& o) {
    const wchar_t* code = o.words.empty() ? L"" : o.words[0].c_str();
    if (verb == L"product-state") {
        Out(std::to_wstring(MsiQueryProductStateW(code)));
    } else if (verb == L"product-info" && o.words.size() == 2) {
        std::wstring value(4096, L'\0');
        DWORD size = (DWORD)value.size();
        if (MsiGetProductInfoW(code, o.words[1].c_str(), &value[0], &size) != ERROR_SUCCESS) return 1;
        Out(value.substr(0, size));
    } else {
        MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
        Out(std::to_wstring(MsiConfigureProductW(code, 0, INSTALLSTATE_ABSENT)));
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    CoInitialize(nullptr);  // accessible objects of other processes come through COM
    Options o;
    if (argc < 2 || !Parse(argc, argv, o)) return Fail(1, L"bad usage; see the head of uidriver.cpp");
    std::wstring verb = argv[1];
    double timeout = o.has(L"timeout") ? wcstod(o.at(L"timeout").c_str(), nullptr) : verb == L"texts" ? 0 : 30;
    if (verb == L"run") return Run(o, timeout);
    if (verb == L"kill" && o.words.size() == 1) return Kill(o.words[0]);
    if (verb == L"product-state" || verb == L"product-info" || verb == L"uninstall")
        return Msi(verb, o);
    if (verb == L"loadlib" && o.words.size() == 1) {
        HMODULE h = LoadLibraryW(o.words[0].c_str());
        return h ? 0 : Fail(1, L"LoadLibraryW failed with " + std::to_wstring(GetLastError()));
    }
    if (verb == L"list") {
        for (HWND h : Windows())
            Out(std::wstring(IsWindowVisible(h) ? L"visible " : L"hidden ") + ClassOf(h) + L" \"" + CaptionOf(h) + L"\"");
        return 0;
    }
    if (!o.has(L"title") && !o.has(L"contains")) return Fail(1, verb + L" needs --title or --contains");
    if (verb == L"texts" || verb == L"close" || verb == L"mouse" || verb == L"key" || verb == L"type" ||
        verb == L"accessible") {
        HWND found = nullptr;
        if (!Poll(timeout, [&] {
                for (HWND h : Windows())
                    if (Matches(h, o)) { found = h; return true; }
                return false;
            }))
            return Fail(2, L"no such window");
        if (verb == L"close") PostMessageW(found, WM_CLOSE, 0, 0);
        else if (verb == L"mouse") return Mouse(found, o);
        else if (verb == L"key") PostKey(found, (UINT)o.number(L"vk"));
        else if (verb == L"type") return Type(found, o.get(L"keys"));
        else if (verb == L"accessible") return PrintAccessible(found);
        else PrintWindow(found);
        return 0;
    }
    if (verb == L"click" && (o.has(L"id") || o.has(L"button"))) return Click(o, timeout);
    if (verb == L"rows") return PrintRows(o, timeout);
    if (verb == L"click-row" && o.has(L"row")) return ClickRow(o, timeout);
    if (verb == L"type-row" && o.has(L"row")) return TypeRow(o, timeout);
    if (verb == L"click-at" && o.has(L"id")) return ClickAt(o, timeout);
    if ((verb == L"set-text" || verb == L"select") && o.has(L"id")) return SetValue(verb, o, timeout);
    return Fail(1, L"bad usage of " + verb);
}
