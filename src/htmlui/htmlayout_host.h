#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "htmlayout.h"

// The program's layer over htmlayout.dll: the probe that the engine loads, a modal window that
// shows a page from memory, the dispatch of the engine's events and notifications, and small
// element operations.

// The engine's file name beside the program; also the name its delay-import carries.
extern const wchar_t kHtmlEngineFile[];

// True when htmlayout.dll loads from the program's folder with every function the program
// calls. A failure is logged ("Can't find file: ...", "Function '...' was not found in ...")
// and answers false; any other exception on the way is logged and left to the system.
bool IsHtmlLayoutAvailable();

namespace htmlayout {

namespace dom {

// One element of a page, holding one engine reference on it while it lives.
class element {
public:
    element() = default;
    explicit element(HELEMENT handle) { Take(handle); }
    element(const element& other) { Take(other.handle_); }
    element& operator=(const element& other);
    ~element() { Take(nullptr); }

    HELEMENT get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    // The page's root element in that window, or an empty element.
    static element root_of(HWND window);
    // The attribute's value, or null when the element has no such attribute.
    const wchar_t* attribute(const char* name) const;
    std::wstring text() const;
    // The top-level window of the element's page.
    HWND root_window() const;
    // Calls the element's behavior method; true when the engine answered 0.
    bool call_method(UINT methodId) const;

private:
    // A handle the engine refuses a reference on is not kept.
    void Take(HELEMENT handle);
    HELEMENT handle_ = nullptr;
};

// Receives the elements a selection finds, in document order.
class callback {
public:
    virtual bool on_element(HELEMENT handle) = 0;  // true stops the selection
    virtual ~callback() = default;
};

// Keeps the first element found and stops.
class find_first_callback : public callback {
public:
    bool on_element(HELEMENT handle) override;
    element found;
};

}  // namespace dom

// Appends every element found (each with its own reference) and goes on.
class selected_cb : public dom::callback {
public:
    bool on_element(HELEMENT handle) override;
    std::vector<dom::element> elements;
};

// The first element below `root` that matches the selector made from the 8-bit format ("%S"
// inserts a wide string), or an empty element.
dom::element FindFirst(const dom::element& root, const char* selectorFormat, ...);
// Calls back for every element below `root` that matches.
void SelectAll(const dom::element& root, dom::callback& found, const char* selectorFormat, ...);

// Handles the events of a page's elements. Each operation answers whether it handled the event;
// by default none does.
class event_handler {
public:
    explicit event_handler(UINT subscription) : subscription_(subscription) {}
    virtual ~event_handler() = default;
    event_handler(const event_handler&) = delete;
    event_handler& operator=(const event_handler&) = delete;

    UINT subscription() const { return subscription_; }

    virtual void OnAttached(HELEMENT) {}
    virtual void OnDetached(HELEMENT) {}
    virtual bool OnMouse(HELEMENT, HlMouseRecord&) { return false; }
    virtual bool OnKey(HELEMENT, HlKeyRecord&) { return false; }
    virtual void OnSize(HELEMENT) {}
    virtual bool OnMethodCall(HELEMENT, HlMethodRecord&) { return false; }
    // Forwards to OnButtonEvent.
    virtual bool OnBehaviorEvent(HELEMENT element, HlBehaviorRecord& record);
    virtual bool OnButtonEvent(HELEMENT, HELEMENT, UINT, UINT_PTR) { return false; }

    // The callback the engine calls for the events of the handler given as tag.
    static BOOL CALLBACK ElementProc(LPVOID tag, HELEMENT element, UINT group, LPVOID record);

private:
    UINT subscription_;
};

// Handles the engine's notifications about a page.
class notification_handler {
public:
    virtual ~notification_handler() = default;
    virtual LRESULT OnLoadData(HlLoadDataRecord&) { return 0; }
    virtual void OnAttachBehavior(HlAttachBehaviorRecord&) {}

    static LRESULT CALLBACK NotifyProc(UINT message, WPARAM wParam, LPARAM lParam, LPVOID param);
};

// Makes the handler of a named behavior for an element. Factories register themselves in one
// list, which OnAttachBehavior looks names up in; this program registers none.
class behavior_factory {
public:
    explicit behavior_factory(const char* name);
    virtual ~behavior_factory() = default;
    virtual event_handler* Create(HELEMENT element) = 0;

    static behavior_factory* Find(const char* name);

private:
    const char* name_;
    behavior_factory* next_;
    static behavior_factory* first_;
};

// Where a page's URL is looked for among the program's resources: the name before the last
// dot of its first 259 characters, and as type the extension, or the HTML type (23) when there
// is no dot or the extension is "html" in any case. False for an empty URL.
struct PageResource {
    std::wstring name;
    std::wstring type;  // the extension, when not the HTML type
    bool htmlType;
};
bool ResourceForUrl(const wchar_t* url, PageResource& resource);

// A resource of the program's own module (names and types ignore case): false when it is
// missing or empty.
bool LoadProgramResource(const wchar_t* name, const wchar_t* type, const void*& data, DWORD& size);

// The result code of a button named in the page (OK 1 ... HELP 9, case ignored); -1 for any
// other name.
int ButtonResult(const wchar_t* name);

// A page held in memory, shown in a top-level window of its own and run modally until the
// window closes; a click on a named button or a link may set the result code on the way.
class dialog : public event_handler, public notification_handler {
public:
    enum Placement { kCentredOnScreen = 1, kCentredOnParent = 2 };

    dialog(HWND parent, DWORD extraStyle);
    ~dialog() override;

    // Shows the page (size 0: data is a wide file name or URL) and answers the result code once
    // the window is gone, or when the message loop ends early.
    int RunModal(const void* data, UINT size);
    // The window, without its page shown yet; null when it could not be made.
    virtual HWND Create();

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    bool OnKey(HELEMENT element, HlKeyRecord& record) override;
    bool OnBehaviorEvent(HELEMENT element, HlBehaviorRecord& record) override;
    LRESULT OnLoadData(HlLoadDataRecord& record) override;
    void OnAttachBehavior(HlAttachBehaviorRecord& record) override;

    HWND window_ = nullptr;
    HWND parent_;
    int x_ = 0;
    int y_ = 0;
    int placement_ = kCentredOnScreen;
    DWORD style_;
    DWORD extendedStyle_ = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    const void* pageData_ = nullptr;
    UINT pageSize_ = 0;
    std::wstring baseUrl_;
    int result_ = 2;

private:
    LRESULT InitWindow(HWND window);
};

}  // namespace htmlayout
