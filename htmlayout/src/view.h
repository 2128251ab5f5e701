// A page shown in a window: loading, layout, painting, input and the host's handlers.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "canvas.h"
#include "dom.h"
#include "image.h"
#include "layout.h"

namespace hl {

class View {
public:
    // The window's view, made on first use when asked; null for a window without one.
    static View* Of(HWND window, bool create);

    LRESULT Proc(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);

    void SetCallback(HlNotifyProc callback, void* param);
    void Attach(HlElementProc proc, void* tag, UINT subscription);
    bool Detach(HlElementProc proc, void* tag);
    // Replaces the page. fromFile lets URLs the host does not serve be read from files.
    bool Load(const std::wstring& text, const std::wstring& baseUrl, bool fromFile);
    bool DataReady(const std::wstring& uri, const BYTE* data, DWORD size);

    Element* Root() const { return document_ ? document_->root : nullptr; }
    HWND Window() const { return window_; }
    int MinWidth();
    int MinHeight(int width);

    // The element's built-in method; false when it has none by that number.
    bool CallMethod(Element* e, HlMethodRecord* method);

    // The elements the keyboard reaches, in the order Tab visits them.
    std::vector<Element*> FocusOrder() const;
    Element* Focused() const { return focus_; }
    // Gives e (null: nothing) the keyboard focus, shows it and tells accessibility clients.
    void SetFocused(Element* e);
    // What a click on e's link or button does; false when e has neither.
    bool Activate(Element* e, UINT reason);
    // Where the system's focus rectangle goes: the focused element, unless the page styles
    // :focus for it itself or the window is not focused.
    const Element* FocusMark() const;
    Element* HitTest(POINT point);

private:
    // Entry points hold one, so that a window destroyed by a handler called from inside them
    // keeps its view until they have returned.
    class Hold {
    public:
        explicit Hold(View* view) : view_(view) { ++view_->holds_; }
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        View* view_;
    };

    struct Handler {
        HlElementProc proc;
        void* tag;
        UINT subscription;
    };

    explicit View(HWND window) : window_(window) {}

    void ReleaseDocument();
    void Restyle();
    void InvalidateLayout();
    void EnsureLayout();
    LayoutResult LayOutAt(int width, int height);
    void Paint();

    void SetHover(Element* e);
    void SetPressed(Element* e);
    void OnMouse(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnKey(UINT command, WPARAM key);
    // Tab, Shift+Tab and the arrows move the focus; Enter and Space activate what has it.
    bool Navigate(WPARAM key);
    // The element whose accesskey is c, focused and activated; false when there is none.
    bool AccessKey(WPARAM c);

    // Offers the event to the behaviors of target and its ancestors, then to the window's
    // handlers; true when one handled it.
    bool Dispatch(Element* target, UINT group, void* record);
    bool Click(Element* e, UINT reason);
    LRESULT Notify(NMHDR& header);
    void RequestData(const std::wstring& url, bool fromFile);
    void AttachBehaviors();

    HWND window_;
    int holds_ = 0;
    bool destroyed_ = false;
    HlNotifyProc callback_ = nullptr;
    void* callbackParam_ = nullptr;
    std::vector<Handler> handlers_;

    std::unique_ptr<Document> document_;
    std::wstring baseUrl_;
    bool loading_ = false;
    ImageMap images_;
    ImageDecoder decoder_;
    Fonts fonts_;
    Canvas canvas_;
    int dpi_ = kCssDpi;  // the window's, at its first message

    bool layoutValid_ = false;
    int layoutWidth_ = 0;
    int layoutHeight_ = 0;
    std::vector<Element*> paintOrder_;

    Element* hover_ = nullptr;    // the deepest element under the mouse, with a reference
    Element* pressed_ = nullptr;  // where the left button went down, with a reference
    Element* focus_ = nullptr;    // the keyboard focus, with a reference; only keys set it
    bool tracking_ = false;
    bool pressHandled_ = false;
};

// The bytes of a local file named by a path or a file: URL (at most 32 MiB).
bool ReadLocalFile(const std::wstring& url, std::vector<BYTE>& data);

// Every element's behavior: itself or its nearest ancestor that is a link or a button.
Element* BehaviorElement(Element* e);

// False for an element that display: none or visibility: hidden hides, or one inside such.
bool IsShown(const Element* e);

}  // namespace hl
