// uidriver: a small console helper that the end-to-end tests run under Wine to start programs,
// watch and drive their windows, and ask the Windows Installer about products.
//
//   uidriver run [--timeout S] [--exit-file F] [--cwd DIR] (--cmdline "raw" | -- prog args...)
//   uidriver wait|texts [match] [--timeout S]          print the first matching window
//   uidriver click [match] (--button TEXT | --id N) [--timeout S]
//   uidriver close [match] [--timeout S]               post WM_CLOSE to the first match
//   uidriver gone [match] [--timeout S]                wait until no window matches
//   uidriver list                                      print every visible top-level window
//   uidriver msgbox --title T --text X [--type N]      show a message box, exit with its answer
//   uidriver loadlib NAME                              plain LoadLibraryW, as a careless program
//                                                      would (a control for planted-DLL tests)
//   uidriver product-state {code} | product-info {code} Property | uninstall {code}
//   uidriver patches {code}                            the product's applied patch codes
//   uidriver apply-patch PATCH [PACKAGE] [--type N]    MsiApplyPatchW quietly (N: INSTALLTYPE,
//                                                      default 0), print its answer
//   uidriver rows [match] [--id N] [--timeout S]       print the rows of a list view
//   uidriver click-row [match] --row R [--at icon|label] [--id N] [--timeout S]
//                                                      left click on a row's picture (default)
//                                                      or label, as a mouse would
//   uidriver type-row [match] --row R [--char C] [--id N] [--timeout S]
//                                                      focus and select row R, make it the
//                                                      selection mark, type C (default a blank)
//   uidriver click-control [match] --id N [--at X,Y] [--timeout S]
//                                                      left click on the centre of a control
//                                                      (a static, a hyperlink), or on the
//                                                      client point X,Y of it
//   uidriver move [match] --at X,Y [--timeout S]      move the pointer onto the client point X,Y
//                                                      of the window (negative: its frame)
//   uidriver click-at [match] --at X,Y [--timeout S]  move there and press and release the left
//                                                      button, as a mouse would
//   uidriver key [match] --vk N [--timeout S]         post a key press and release (virtual
//                                                      key N) to the window
//
// The list-view verbs work on the SysListView32 with control id --id (default 10010) of the
// first matching window that has one. Their messages carry pointers, so the structures live in
// memory allocated in the target process; the target must be a 64-bit process like this driver.
// Clicks move the pointer onto the spot (SetCursorPos, so that GetCursorPos and GetMessagePos
// agree) and post WM_LBUTTONDOWN and WM_LBUTTONUP with its client coordinates to the control;
// typing posts WM_CHAR. click-row and type-row return once the list has processed them (a
// posted LVM_SETHOVERTIME marker serves as the fence); click-control returns once posted.
//
// [match] is --title T or --title-contains T, optionally --class C and --process NAME (base
// name of the owning program, case-insensitive). Only visible top-level windows match.
// Default time-outs: run 600 s, texts 0 s (one look), every other wait 30 s.
//
// Output is UTF-8. A window prints as
//   HWND <hex>
//   TITLE <caption>
//   CLASS <class>
//   CHILD <id> <class> <text>       one per descendant control, in EnumChildWindows order
//   STATE <id> <flags>              follows its CHILD line: V visible, E enabled, C checked
//                                   (each letter or '-')
//   ROW <index> <image> <flags> <text>   rows: one per list row, in index order; <image> is the
//                                   small-image index (iImage) as the list answers it; flags
//                                   S selected, F focused (each letter or '-')
//   MARK <index>                    rows: the selection mark (-1 when none), after the rows
//   WINDOW <l> <t> <r> <b>          the window's rectangle on the screen
//   CLIENT <x> <y> <w> <h>          its client area: top left on the screen, width, height
//   POINT <x> <y>                   click-row, click-control: the spot clicked, in the
//                                   control's client coordinates; move, click-at: on the screen
// Texts escape backslash, CR, LF and TAB as \\ \r \n \t. Ids are decimal. In a message box
// under Wine the buttons carry their answers (IDOK 1, IDCANCEL 2, IDABORT 3, IDRETRY 4,
// IDIGNORE 5, IDYES 6, IDNO 7), the message text is the Static with id 65535 (0xFFFF) and
// the icon is a Static with id 1088 (0x440) and no text.
//
// Exit codes: 0 success, 1 bad usage or failed call, 2 time-out or nothing found.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

// ---- owners and text helpers ---------------------------------------------------------------

class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : h_(h) {}
    ~Handle() { if (h_ && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
private:
    HANDLE h_;
};

class Library {
public:
    explicit Library(const wchar_t* name)
        : h_(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {}
    ~Library() { if (h_) FreeLibrary(h_); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    template <class F> F proc(const char* name) const {
        return h_ ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(h_, name))) : nullptr;
    }
private:
    HMODULE h_;
};

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

void Write(DWORD which, const std::wstring& text) {
    std::string s = Utf8(text);
    DWORD done = 0;
    WriteFile(GetStdHandle(which), s.data(), (DWORD)s.size(), &done, nullptr);
}
void Out(const std::wstring& text) { Write(STD_OUTPUT_HANDLE, text + L"\n"); }
int Fail(int code, const std::wstring& text) {
    Write(STD_ERROR_HANDLE, L"uidriver: " + text + L"\n");
    return code;
}

std::wstring Escape(const std::wstring& s) {
    std::wstring r;
    for (wchar_t c : s) {
        switch (c) {
        case L'\\': r += L"\\\\"; break;
        case L'\r': r += L"\\r"; break;
        case L'\n': r += L"\\n"; break;
        case L'\t': r += L"\\t"; break;
        default: r += c;
        }
    }
    return r;
}

// "&Yes" -> "Yes", "A && B" -> "A & B".
std::wstring StripAccelerators(const std::wstring& s) {
    std::wstring r;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'&') {
            if (i + 1 < s.size() && s[i + 1] == L'&') { r += L'&'; ++i; }
            continue;
        }
        r += s[i];
    }
    return r;
}

std::wstring ClassOf(HWND h) {
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

// The caption of a top-level window: Wine and Windows answer it for another process's window
// without sending it a message, so a hung program cannot hang us.
std::wstring CaptionOf(HWND h) {
    int n = GetWindowTextLengthW(h);
    std::wstring s(n + 1, L'\0');
    s.resize(GetWindowTextW(h, &s[0], n + 1));
    return s;
}

// A control's text through WM_GETTEXT (the system marshals it across processes), bounded.
std::wstring ControlText(HWND h) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) return {};
    std::wstring s(len + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, len + 1, (LPARAM)&s[0], SMTO_ABORTIFHUNG, 2000, &got))
        return {};
    s.resize(got < len ? got : len);
    return s;
}

// CommandLineToArgvW's quoting rules, in reverse.
std::wstring QuoteArg(const std::wstring& a) {
    if (!a.empty() && a.find_first_of(L" \t\"") == std::wstring::npos) return a;
    std::wstring r = L"\"";
    size_t slashes = 0;
    for (wchar_t c : a) {
        if (c == L'\\') { ++slashes; continue; }
        if (c == L'"') r.append(slashes * 2 + 1, L'\\');
        else r.append(slashes, L'\\');
        slashes = 0;
        r += c;
    }
    r.append(slashes * 2, L'\\');
    return r + L"\"";
}

// ---- options -------------------------------------------------------------------------------

struct Options {
    std::wstring title, titleContains, cls, process, button, exitFile, cmdline, cwd, text, at, chr;
    bool hasTitle = false;     // --title "" matches windows with an empty caption
    bool hasContains = false;  // --title-contains "" matches any caption
    bool hasId = false;
    long id = 0;
    bool hasRow = false;
    long row = 0;
    double timeout = -1;
    UINT type = MB_OK;
    std::vector<std::wstring> positional, program;
};

bool ParseOptions(int argc, wchar_t** argv, Options& o, std::wstring& error) {
    for (int i = 2; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--") {
            for (++i; i < argc; ++i) o.program.push_back(argv[i]);
            break;
        }
        if (a.rfind(L"--", 0) != 0) { o.positional.push_back(a); continue; }
        if (i + 1 >= argc) { error = L"missing value after " + a; return false; }
        std::wstring v = argv[++i];
        if (a == L"--title") { o.title = v; o.hasTitle = true; }
        else if (a == L"--title-contains") { o.titleContains = v; o.hasContains = true; }
        else if (a == L"--class") o.cls = v;
        else if (a == L"--process") o.process = v;
        else if (a == L"--button") o.button = v;
        else if (a == L"--id" || a == L"--vk") { o.hasId = true; o.id = wcstol(v.c_str(), nullptr, 0); }
        else if (a == L"--timeout") o.timeout = wcstod(v.c_str(), nullptr);
        else if (a == L"--exit-file") o.exitFile = v;
        else if (a == L"--cmdline") o.cmdline = v;
        else if (a == L"--cwd") o.cwd = v;
        else if (a == L"--text") o.text = v;
        else if (a == L"--type") o.type = (UINT)wcstoul(v.c_str(), nullptr, 0);
        else if (a == L"--row") { o.hasRow = true; o.row = wcstol(v.c_str(), nullptr, 10); }
        else if (a == L"--at") o.at = v;
        else if (a == L"--char") o.chr = v;
        else { error = L"unknown option " + a; return false; }
    }
    return true;
}

// ---- windows -------------------------------------------------------------------------------

std::wstring ProcessBaseName(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W e = {};
    e.dwSize = sizeof e;
    for (BOOL ok = Process32FirstW(snap.get(), &e); ok; ok = Process32NextW(snap.get(), &e)) {
        if (e.th32ProcessID != pid) continue;
        std::wstring n = e.szExeFile;
        size_t slash = n.find_last_of(L"\\/");
        return slash == std::wstring::npos ? n : n.substr(slash + 1);
    }
    return {};
}

bool Matches(HWND h, const Options& o) {
    if (!IsWindowVisible(h)) return false;
    std::wstring caption = CaptionOf(h);
    if (o.hasTitle && caption != o.title) return false;
    if (!o.titleContains.empty() && caption.find(o.titleContains) == std::wstring::npos) return false;
    if (!o.cls.empty() && ClassOf(h) != o.cls) return false;
    if (!o.process.empty() && lstrcmpiW(ProcessBaseName(h).c_str(), o.process.c_str()) != 0) return false;
    return true;
}

BOOL CALLBACK CollectWindow(HWND h, LPARAM p) {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> all;
    EnumWindows(CollectWindow, (LPARAM)&all);
    return all;
}

std::vector<HWND> FindWindows(const Options& o) {
    std::vector<HWND> found;
    for (HWND h : TopLevelWindows())
        if (Matches(h, o)) found.push_back(h);
    return found;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(parent, CollectWindow, (LPARAM)&all);
    return all;
}

long ControlId(HWND h) { return (long)GetWindowLongPtrW(h, GWLP_ID); }

bool IdEquals(long id, long wanted) { return id == wanted || (id & 0xFFFF) == (wanted & 0xFFFF); }

bool IsCheckable(HWND h) {
    if (lstrcmpiW(ClassOf(h).c_str(), L"Button") != 0) return false;
    switch (GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) {
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: case BS_3STATE: case BS_AUTO3STATE: return true;
    default: return false;
    }
}

void PrintWindow(HWND h) {
    wchar_t hex[32];
    _snwprintf(hex, 32, L"%llx", (unsigned long long)(ULONG_PTR)h);
    Out(L"HWND " + std::wstring(hex));
    Out(L"TITLE " + Escape(CaptionOf(h)));
    Out(L"CLASS " + Escape(ClassOf(h)));
    RECT frame = {}, client = {};
    GetWindowRect(h, &frame);
    GetClientRect(h, &client);
    POINT origin = {0, 0};
    ClientToScreen(h, &origin);
    Out(L"WINDOW " + std::to_wstring(frame.left) + L" " + std::to_wstring(frame.top) + L" " +
        std::to_wstring(frame.right) + L" " + std::to_wstring(frame.bottom));
    Out(L"CLIENT " + std::to_wstring(origin.x) + L" " + std::to_wstring(origin.y) + L" " +
        std::to_wstring(client.right) + L" " + std::to_wstring(client.bottom));
    for (HWND c : Children(h)) {
        std::wstring id = std::to_wstring(ControlId(c));
        Out(L"CHILD " + id + L" " + ClassOf(c) + L" " + Escape(ControlText(c)));
        std::wstring flags;
        flags += IsWindowVisible(c) ? L'V' : L'-';
        flags += IsWindowEnabled(c) ? L'E' : L'-';
        DWORD_PTR check = 0;
        if (IsCheckable(c))
            SendMessageTimeoutW(c, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &check);
        flags += check == BST_CHECKED ? L'C' : L'-';
        Out(L"STATE " + id + L" " + flags);
    }
}

std::wstring Describe(const Options& o) {
    std::wstring d = o.hasTitle ? L"title \"" + o.title + L"\""
                                      : L"title containing \"" + o.titleContains + L"\"";
    if (!o.cls.empty()) d += L", class \"" + o.cls + L"\"";
    if (!o.process.empty()) d += L", process \"" + o.process + L"\"";
    return d;
}

// Polls `probe` every 100 ms until it answers true or the time-out passes; probes at least once.
template <class Probe> bool Poll(double seconds, Probe probe) {
    ULONGLONG end = GetTickCount64() + (ULONGLONG)(seconds * 1000);
    for (;;) {
        if (probe()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(100);
    }
}

// The button a person would press: by id, or by caption without accelerator marks.
HWND FindButton(HWND window, const Options& o) {
    for (HWND c : Children(window)) {
        if (o.hasId ? IdEquals(ControlId(c), o.id)
                    : StripAccelerators(ControlText(c)) == StripAccelerators(o.button))
            return c;
    }
    return nullptr;
}

int Click(const Options& o, double timeout) {
    if (o.button.empty() && !o.hasId) return Fail(1, L"click needs --button or --id");
    HWND target = nullptr, button = nullptr;
    bool ok = Poll(timeout, [&] {
        for (HWND w : FindWindows(o)) {
            HWND b = FindButton(w, o);
            if (b && IsWindowVisible(b) && IsWindowEnabled(b)) { target = w; button = b; return true; }
        }
        return false;
    });
    if (!ok) {
        std::wstring what = o.hasId ? L"id " + std::to_wstring(o.id) : L"\"" + o.button + L"\"";
        return Fail(2, L"no visible, enabled button " + what + L" in a window with " + Describe(o));
    }
    // Check boxes and radio buttons must change state, so they get a real click; push buttons
    // get the notification their dialog acts on, which works whether or not it has the focus.
    if (IsCheckable(button)) {
        PostMessageW(button, BM_CLICK, 0, 0);
    } else {
        HWND parent = GetParent(button);
        if (!parent) parent = target;
        PostMessageW(parent, WM_COMMAND, MAKEWPARAM(ControlId(button) & 0xFFFF, BN_CLICKED),
                     (LPARAM)button);
    }
    return 0;
}

// ---- list views and mouse clicks in another process -----------------------------------------

// Memory in another process, for the messages whose argument is a pointer there.
class RemoteMemory {
public:
    RemoteMemory(HANDLE process, SIZE_T size)
        : process_(process),
          p_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~RemoteMemory() { if (p_) VirtualFreeEx(process_, p_, 0, MEM_RELEASE); }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    void* get() const { return p_; }
    bool write(const void* data, SIZE_T size, SIZE_T offset = 0) const {
        SIZE_T done = 0;
        return WriteProcessMemory(process_, (char*)p_ + offset, data, size, &done) && done == size;
    }
    bool read(void* data, SIZE_T size, SIZE_T offset = 0) const {
        SIZE_T done = 0;
        return ReadProcessMemory(process_, (char*)p_ + offset, data, size, &done) && done == size;
    }
private:
    HANDLE process_;
    void* p_;
};

// A message to another process's control that answers within 5 s, or false.
bool SendTo(HWND h, UINT msg, WPARAM w, LPARAM l, LRESULT& result) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, 5000, &r)) return false;
    result = (LRESULT)r;
    return true;
}

// A list view and its process, opened for memory access.
struct ListTarget {
    HWND list = nullptr;
    std::unique_ptr<Handle> process;
};

HWND FindControl(HWND window, long id, const wchar_t* cls) {
    for (HWND c : Children(window))
        if (IdEquals(ControlId(c), id) && (!cls || lstrcmpiW(ClassOf(c).c_str(), cls) == 0))
            return c;
    return nullptr;
}

// The list view --id (default 10010) of the first matching window that has one, waiting up to
// the time-out for it; refuses a process of other bitness, whose structures differ from ours.
int FindListTarget(const Options& o, double timeout, ListTarget& t) {
    long id = o.hasId ? o.id : 10010;
    if (!Poll(timeout, [&] {
            for (HWND w : FindWindows(o))
                if ((t.list = FindControl(w, id, WC_LISTVIEWW)) != nullptr) return true;
            return false;
        }))
        return Fail(2, L"no list view " + std::to_wstring(id) + L" in a window with " + Describe(o));
    DWORD pid = 0;
    GetWindowThreadProcessId(t.list, &pid);
    t.process.reset(new Handle(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                           PROCESS_QUERY_INFORMATION, FALSE, pid)));
    if (!t.process->get())
        return Fail(1, L"OpenProcess failed with " + std::to_wstring(GetLastError()));
    BOOL mine = FALSE, theirs = FALSE;
    IsWow64Process(GetCurrentProcess(), &mine);
    IsWow64Process(t.process->get(), &theirs);
    if (mine != theirs) return Fail(1, L"the list belongs to a process of other bitness");
    return 0;
}

int RowCount(HWND list) {
    LRESULT n = 0;
    return SendTo(list, LVM_GETITEMCOUNT, 0, 0, n) ? (int)n : -1;
}

// Row text, small-image index and state (selected, focused) through LVM_GETITEMW.
bool ReadRow(const ListTarget& t, int index, std::wstring& text, int& image, UINT& state) {
    const int cch = 1024;
    RemoteMemory mem(t.process->get(), sizeof(LVITEMW) + cch * sizeof(wchar_t));
    if (!mem.get()) return false;
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    item.iItem = index;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.pszText = (LPWSTR)((char*)mem.get() + sizeof(LVITEMW));
    item.cchTextMax = cch;
    wchar_t empty = 0;
    LRESULT ok = 0;
    if (!mem.write(&item, sizeof item) || !mem.write(&empty, sizeof empty, sizeof item) ||
        !SendTo(t.list, LVM_GETITEMW, 0, (LPARAM)mem.get(), ok) || !ok || !mem.read(&item, sizeof item))
        return false;
    std::vector<wchar_t> buf(cch, L'\0');
    // The control may answer with a pointer of its own instead of filling our buffer.
    SIZE_T got = 0;
    ReadProcessMemory(t.process->get(), item.pszText, buf.data(), (cch - 1) * sizeof(wchar_t), &got);
    text.assign(buf.data(), wcsnlen(buf.data(), got / sizeof(wchar_t)));
    image = item.iImage;
    state = item.state;
    return true;
}

int PrintRows(const Options& o, double timeout) {
    ListTarget t;
    if (int r = FindListTarget(o, timeout, t)) return r;
    int count = RowCount(t.list);
    if (count < 0) return Fail(1, L"LVM_GETITEMCOUNT did not answer");
    for (int i = 0; i < count; ++i) {
        std::wstring text;
        int image = 0;
        UINT state = 0;
        if (!ReadRow(t, i, text, image, state)) return Fail(1, L"cannot read row " + std::to_wstring(i));
        std::wstring flags;
        flags += state & LVIS_SELECTED ? L'S' : L'-';
        flags += state & LVIS_FOCUSED ? L'F' : L'-';
        Out(L"ROW " + std::to_wstring(i) + L" " + std::to_wstring(image) + L" " + flags + L" " +
            Escape(text));
    }
    LRESULT mark = -1;
    if (!SendTo(t.list, LVM_GETSELECTIONMARK, 0, 0, mark)) return Fail(1, L"LVM_GETSELECTIONMARK did not answer");
    Out(L"MARK " + std::to_wstring((int)mark));
    return 0;
}

// Waits until the list has handled every message posted to its thread before this call: a
// changed hover time posted behind them shows when they are done; the old one is put back.
int Fence(HWND list) {
    LRESULT before = 0, now = 0;
    if (!SendTo(list, LVM_GETHOVERTIME, 0, 0, before)) return Fail(1, L"LVM_GETHOVERTIME did not answer");
    DWORD marker = (DWORD)before == 4321 ? 4322 : 4321;
    PostMessageW(list, LVM_SETHOVERTIME, 0, marker);
    bool done = Poll(10, [&] { return SendTo(list, LVM_GETHOVERTIME, 0, 0, now) && (DWORD)now == marker; });
    SendTo(list, LVM_SETHOVERTIME, 0, before, now);
    return done ? 0 : Fail(2, L"the list did not handle the posted input within 10 s");
}

// Moves the pointer onto the control's client point and posts a left click there.
void PostClick(HWND control, POINT client) {
    POINT screen = client;
    ClientToScreen(control, &screen);
    SetCursorPos(screen.x, screen.y);
    LPARAM at = MAKELPARAM(client.x, client.y);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
    Out(L"POINT " + std::to_wstring(client.x) + L" " + std::to_wstring(client.y));
}

int CheckRow(const Options& o, const ListTarget& t) {
    if (!o.hasRow) return Fail(1, L"this command needs --row");
    int count = RowCount(t.list);
    if (o.row < 0 || o.row >= count)
        return Fail(1, L"row " + std::to_wstring(o.row) + L" is not in the list (" +
                       std::to_wstring(count) + L" rows)");
    return 0;
}

int ClickRow(const Options& o, double timeout) {
    if (!o.at.empty() && o.at != L"icon" && o.at != L"label") return Fail(1, L"--at is icon or label");
    ListTarget t;
    if (int r = FindListTarget(o, timeout, t)) return r;
    if (int r = CheckRow(o, t)) return r;
    RemoteMemory mem(t.process->get(), sizeof(RECT));
    RECT rect = {};
    rect.left = o.at == L"label" ? LVIR_LABEL : LVIR_ICON;
    LRESULT ok = 0;
    if (!mem.get() || !mem.write(&rect, sizeof rect) ||
        !SendTo(t.list, LVM_GETITEMRECT, (WPARAM)o.row, (LPARAM)mem.get(), ok) || !ok ||
        !mem.read(&rect, sizeof rect))
        return Fail(1, L"LVM_GETITEMRECT failed for row " + std::to_wstring(o.row));
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return Fail(1, L"row " + std::to_wstring(o.row) + L" has no " + (o.at.empty() ? L"icon" : o.at) +
                       L" area to click");
    PostClick(t.list, POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
    return Fence(t.list);
}

int TypeRow(const Options& o, double timeout) {
    if (o.chr.size() > 1) return Fail(1, L"--char takes one character");
    ListTarget t;
    if (int r = FindListTarget(o, timeout, t)) return r;
    if (int r = CheckRow(o, t)) return r;
    // What the arrow keys leave behind: the row focused and selected, and the selection mark.
    RemoteMemory mem(t.process->get(), sizeof(LVITEMW));
    LVITEMW item = {};
    item.state = item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    LRESULT ok = 0;
    if (!mem.get() || !mem.write(&item, sizeof item) ||
        !SendTo(t.list, LVM_SETITEMSTATE, (WPARAM)o.row, (LPARAM)mem.get(), ok) || !ok ||
        !SendTo(t.list, LVM_SETSELECTIONMARK, 0, o.row, ok))
        return Fail(1, L"cannot focus row " + std::to_wstring(o.row));
    wchar_t c = o.chr.empty() ? L' ' : o.chr[0];
    PostMessageW(t.list, WM_CHAR, c, 1);
    return Fence(t.list);
}

int ClickControl(const Options& o, double timeout) {
    if (!o.hasId) return Fail(1, L"click-control needs --id");
    HWND control = nullptr;
    if (!Poll(timeout, [&] {
            for (HWND w : FindWindows(o))
                if ((control = FindControl(w, o.id, nullptr)) != nullptr && IsWindowVisible(control))
                    return true;
            return false;
        }))
        return Fail(2, L"no visible control " + std::to_wstring(o.id) + L" in a window with " + Describe(o));
    RECT rect = {};
    GetClientRect(control, &rect);
    POINT point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    if (!o.at.empty()) {
        // A link reacts only on its label, which need not cover the control's centre.
        wchar_t rest = 0;
        if (swscanf(o.at.c_str(), L"%ld,%ld%lc", &point.x, &point.y, &rest) != 2 || !PtInRect(&rect, point))
            return Fail(1, L"--at " + o.at + L" is not a point X,Y inside the control's client area");
    }
    PostClick(control, point);
    return 0;
}

// Input the system delivers as it would a person's: the pointer moved onto the window's client
// point --at, then, for click-at, the left button pressed and released there.
int MouseAt(const Options& o, double timeout, bool click) {
    POINT point = {};
    wchar_t rest = 0;
    if (swscanf(o.at.c_str(), L"%ld,%ld%lc", &point.x, &point.y, &rest) != 2)
        return Fail(1, L"--at X,Y is needed");
    HWND window = nullptr;
    if (!Poll(timeout, [&] {
            auto w = FindWindows(o);
            window = w.empty() ? nullptr : w.front();
            return window != nullptr;
        }))
        return Fail(2, L"no visible window with " + Describe(o));
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
    INPUT input[3] = {};
    for (INPUT& i : input) i.type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE;  // no distance: a move message where the pointer is
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    if (SendInput(click ? 3 : 1, input, sizeof(INPUT)) != (click ? 3u : 1u))
        return Fail(1, L"SendInput failed with " + std::to_wstring(GetLastError()));
    Out(L"POINT " + std::to_wstring(point.x) + L" " + std::to_wstring(point.y));
    return 0;
}

int Key(const Options& o, double timeout) {
    if (!o.hasId) return Fail(1, L"key needs --vk");
    HWND window = nullptr;
    if (!Poll(timeout, [&] {
            auto w = FindWindows(o);
            window = w.empty() ? nullptr : w.front();
            return window != nullptr;
        }))
        return Fail(2, L"no visible window with " + Describe(o));
    const UINT scan = MapVirtualKeyW((UINT)o.id, 0 /*MAPVK_VK_TO_VSC*/);
    PostMessageW(window, WM_KEYDOWN, (WPARAM)o.id, MAKELPARAM(1, scan));
    PostMessageW(window, WM_KEYUP, (WPARAM)o.id, MAKELPARAM(1, scan | 0xC000));
    return 0;
}

// ---- processes -----------------------------------------------------------------------------

int Run(const Options& o, double timeout) {
    std::wstring cmd = o.cmdline;
    if (cmd.empty()) {
        for (const auto& a : o.program) cmd += (cmd.empty() ? L"" : L" ") + QuoteArg(a);
    } else if (!o.program.empty()) {
        return Fail(1, L"give either --cmdline or a program after --, not both");
    }
    if (cmd.empty()) return Fail(1, L"run needs a program");
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                        o.cwd.empty() ? nullptr : o.cwd.c_str(), &si, &pi))
        return Fail(1, L"CreateProcessW failed with " + std::to_wstring(GetLastError()) + L": " + cmd);
    Handle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(process.get(), (DWORD)(timeout * 1000)) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
        return Fail(2, L"time-out after " + std::to_wstring((long)timeout) + L" s, killed: " + cmd);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    std::wstring text = std::to_wstring(code);
    if (!o.exitFile.empty()) {
        std::string bytes = Utf8(text);
        Handle f(CreateFileW(o.exitFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD done = 0;
        if (f.get() == INVALID_HANDLE_VALUE ||
            !WriteFile(f.get(), bytes.data(), (DWORD)bytes.size(), &done, nullptr))
            return Fail(1, L"cannot write " + o.exitFile);
    }
    Out(L"EXIT " + text);
    return 0;
}

// ---- Windows Installer ---------------------------------------------------------------------

int Msi(const std::wstring& verb, const Options& o) {
    Library msi(L"msi.dll");
    if (o.positional.empty()) return Fail(1, verb + L" needs a product code or patch");
    const wchar_t* code = o.positional[0].c_str();
    if (verb == L"patches") {
        auto enumPatches = msi.proc<UINT(WINAPI*)(LPCWSTR, DWORD, LPWSTR, LPWSTR, LPDWORD)>("MsiEnumPatchesW");
        if (!enumPatches) return Fail(1, L"msi.dll or MsiEnumPatchesW missing");
        for (DWORD i = 0;; ++i) {
            wchar_t patch[39] = {};
            std::wstring transforms(1024, L'\0');
            DWORD len = (DWORD)transforms.size();
            UINT r = enumPatches(code, i, patch, &transforms[0], &len);
            if (r == ERROR_NO_MORE_ITEMS) return 0;
            if (r != ERROR_SUCCESS) return Fail(1, L"MsiEnumPatchesW answered " + std::to_wstring(r));
            Out(patch);
        }
    }
    if (verb == L"product-state") {
        auto query = msi.proc<INT(WINAPI*)(LPCWSTR)>("MsiQueryProductStateW");
        if (!query) return Fail(1, L"msi.dll or MsiQueryProductStateW missing");
        Out(std::to_wstring(query(code)));
        return 0;
    }
    if (verb == L"product-info") {
        auto info = msi.proc<UINT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD)>("MsiGetProductInfoW");
        if (!info) return Fail(1, L"msi.dll or MsiGetProductInfoW missing");
        if (o.positional.size() < 2) return Fail(1, L"product-info needs a property name");
        std::wstring buf(1024, L'\0');
        DWORD len = (DWORD)buf.size();
        UINT r = info(code, o.positional[1].c_str(), &buf[0], &len);
        if (r == ERROR_MORE_DATA) {
            buf.assign(++len, L'\0');
            r = info(code, o.positional[1].c_str(), &buf[0], &len);
        }
        if (r != ERROR_SUCCESS) return Fail(1, L"MsiGetProductInfoW answered " + std::to_wstring(r));
        buf.resize(len);
        Out(buf);
        return 0;
    }
    auto setUi = msi.proc<INT(WINAPI*)(INT, HWND*)>("MsiSetInternalUI");
    if (!setUi) return Fail(1, L"msi.dll or MsiSetInternalUI missing");
    setUi(2 /*INSTALLUILEVEL_NONE*/, nullptr);
    if (verb == L"apply-patch") {
        auto apply = msi.proc<UINT(WINAPI*)(LPCWSTR, LPCWSTR, INT, LPCWSTR)>("MsiApplyPatchW");
        if (!apply) return Fail(1, L"msi.dll or MsiApplyPatchW missing");
        const wchar_t* package = o.positional.size() > 1 ? o.positional[1].c_str() : nullptr;
        Out(std::to_wstring(apply(code, package, (INT)o.type, L"")));
        return 0;
    }
    // uninstall
    auto configure = msi.proc<UINT(WINAPI*)(LPCWSTR, int, INT)>("MsiConfigureProductW");
    if (!configure) return Fail(1, L"msi.dll or MsiConfigureProductW missing");
    UINT r = configure(code, 0 /*INSTALLLEVEL_DEFAULT*/, 2 /*INSTALLSTATE_ABSENT*/);
    Out(std::to_wstring(r));
    return r == ERROR_SUCCESS || r == ERROR_UNKNOWN_PRODUCT ? 0
         : Fail(1, L"MsiConfigureProductW answered " + std::to_wstring(r));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Fail(1, L"usage: uidriver run|wait|texts|click|close|gone|list|msgbox|loadlib|"
                                 L"product-state|product-info|uninstall|patches|apply-patch|rows|click-row|type-row|"
                                 L"click-control|move|click-at|key ...");
    std::wstring verb = argv[1];
    Options o;
    std::wstring error;
    if (!ParseOptions(argc, argv, o, error)) return Fail(1, error);
    double timeout = o.timeout >= 0 ? o.timeout : verb == L"run" ? 600 : verb == L"texts" ? 0 : 30;

    if (verb == L"run") return Run(o, timeout);
    if (verb == L"product-state" || verb == L"product-info" || verb == L"uninstall" ||
        verb == L"patches" || verb == L"apply-patch")
        return Msi(verb, o);
    if (verb == L"msgbox") return MessageBoxW(nullptr, o.text.c_str(), o.title.c_str(), o.type);
    if (verb == L"loadlib") {
        if (o.positional.empty()) return Fail(1, L"loadlib needs a library name");
        HMODULE h = LoadLibraryW(o.positional[0].c_str());
        if (!h) return Fail(1, L"LoadLibraryW failed with " + std::to_wstring(GetLastError()));
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(h, path, MAX_PATH);
        Out(path);
        FreeLibrary(h);
        return 0;
    }
    if (verb == L"list") {
        for (HWND h : TopLevelWindows()) {
            if (!IsWindowVisible(h)) continue;
            wchar_t hex[32];
            _snwprintf(hex, 32, L"%llx", (unsigned long long)(ULONG_PTR)h);
            Out(std::wstring(hex) + L" " + ClassOf(h) + L" " + Escape(CaptionOf(h)) + L" [" +
                ProcessBaseName(h) + L"]");
        }
        return 0;
    }

    if (!o.hasTitle && !o.hasContains) return Fail(1, verb + L" needs --title or --title-contains");
    if (verb == L"wait" || verb == L"texts" || verb == L"close") {
        HWND found = nullptr;
        if (!Poll(timeout, [&] {
                auto w = FindWindows(o);
                found = w.empty() ? nullptr : w.front();
                return found != nullptr;
            }))
            return Fail(2, L"no visible window with " + Describe(o));
        if (verb == L"close") PostMessageW(found, WM_CLOSE, 0, 0);
        else PrintWindow(found);
        return 0;
    }
    if (verb == L"click") return Click(o, timeout);
    if (verb == L"rows") return PrintRows(o, timeout);
    if (verb == L"click-row") return ClickRow(o, timeout);
    if (verb == L"type-row") return TypeRow(o, timeout);
    if (verb == L"click-control") return ClickControl(o, timeout);
    if (verb == L"move" || verb == L"click-at") return MouseAt(o, timeout, verb == L"click-at");
    if (verb == L"key") return Key(o, timeout);
    if (verb == L"gone") {
        if (!Poll(timeout, [&] { return FindWindows(o).empty(); }))
            return Fail(2, L"a window with " + Describe(o) + L" is still there");
        return 0;
    }
    return Fail(1, L"unknown command " + verb);
}
