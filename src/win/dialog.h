#pragma once
#include <windows.h>

#include "win/handles.h"

// Centres the window over a visible window, else over the work area of the screen, and keeps
// it inside that work area.
void CenterWindowOver(HWND window, HWND over);
// The icon resource at the system's large and small icon sizes becomes the window's icons; the
// owners keep them alive as long as the window shows them.
void SetWindowIcons(HWND window, int iconId, UniqueIcon& bigIcon, UniqueIcon& smallIcon);

// Base of the program's modal dialogs, each made from a dialog template of the program's own
// resources. The derived class sets the window up and handles its buttons; everything else goes
// to the system's dialog procedure.
class CDialogImpl {
public:
    virtual ~CDialogImpl() = default;
    CDialogImpl(const CDialogImpl&) = delete;
    CDialogImpl& operator=(const CDialogImpl&) = delete;

    // Runs the dialog until EndDialog and answers its code; -1 when the window could not be made.
    INT_PTR DoModal(HWND owner);
    // The dialog window while it is shown, else null.
    HWND Handle() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }

protected:
    explicit CDialogImpl(int templateId) : templateId_(templateId) {}

    // The set-up once the window and its controls exist; true lets the system set the focus.
    virtual bool OnInitDialog() { return true; }
    // A button was clicked (IDCANCEL also for Esc and the close box). True when handled.
    virtual bool OnButton(int) { return false; }

    void EndDialog(INT_PTR code);
    void CenterWindow(HWND over) { CenterWindowOver(window_, over); }
    // The icons live as long as the window.
    void SetIcons(int iconId) { SetWindowIcons(window_, iconId, bigIcon_, smallIcon_); }

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    HWND window_ = nullptr;
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;
};

// A control whose window procedure is replaced, so that OnMessage sees its messages before the
// control does. The control's own procedure is restored when the window or this object goes.
class CSubclassedWindow {
public:
    CSubclassedWindow() = default;
    virtual ~CSubclassedWindow() { Unsubclass(); }
    CSubclassedWindow(const CSubclassedWindow&) = delete;
    CSubclassedWindow& operator=(const CSubclassedWindow&) = delete;

    // False when the window is null or already taken over by this object or another.
    bool Subclass(HWND window);
    void Unsubclass();
    HWND Handle() const { return window_; }

protected:
    // True when the message was consumed; result then goes back to the sender.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // The control's own handling of a message.
    LRESULT DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    WNDPROC original_ = nullptr;
};

// A control contained in a dialog whose messages one member function of the dialog handles.
template <class Owner>
class CContainedWindow : public CSubclassedWindow {
public:
    using Handler = bool (Owner::*)(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    CContainedWindow(Owner& owner, Handler handler) : owner_(owner), handler_(handler) {}

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        return (owner_.*handler_)(message, wParam, lParam, result);
    }

private:
    Owner& owner_;
    Handler handler_;
};
