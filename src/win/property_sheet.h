#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include "win/dialog.h"
#include "win/handles.h"

// A bitmap of the program's resources, drawn for 96 DPI, smoothly scaled to the screen's DPI.
UniqueBitmap LoadScaledBitmap(int id);

// Wizard buttons value that leaves Back, Next and Finish all disabled (newer headers call it
// PSWIZB_CANCEL).
constexpr DWORD kWizardNoButtons = 0x10;
// The sheet's Next and Finish buttons.
constexpr int kIdWizardNext = 0x3024;
constexpr int kIdWizardFinish = 0x3025;

// One page of a wizard property sheet, made from a dialog template of the program's own
// resources. The derived page sets its controls up and answers the sheet's notifications;
// everything else goes to the system's dialog procedure.
class CPropertyPageImpl {
public:
    virtual ~CPropertyPageImpl() = default;
    CPropertyPageImpl(const CPropertyPageImpl&) = delete;
    CPropertyPageImpl& operator=(const CPropertyPageImpl&) = delete;

    // The page's window once the sheet has created it, else null.
    HWND Handle() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    // The sheet window the page lives in.
    HWND Sheet() const { return GetParent(window_); }
    // What the sheet creates the page from; its texts live as long as the page.
    PROPSHEETPAGEW Description() const;

protected:
    explicit CPropertyPageImpl(int templateId) : templateId_(templateId) {}

    // Wizard 97 header of an interior page; an empty subtitle shows none.
    void SetHeader(std::wstring title, std::wstring subtitle);
    // An exterior page (welcome, completion) shows the watermark instead of the header.
    void HideHeader() { hideHeader_ = true; }
    // Posted: the sheet takes it once it has finished switching pages.
    void SetWizardButtons(DWORD buttons) const;
    // Posted too: the keyboard focus (and the default button) goes to the sheet's button once the
    // sheet has set the buttons; a disabled or hidden button keeps none.
    void FocusSheetButton(int id) const;

    // The set-up once the page and its controls exist; true lets the system set the focus.
    virtual bool OnInitDialog() { return true; }
    // A control's command (its id and notification code); true when handled.
    virtual bool OnCommand(int, int) { return false; }
    // The page becomes the current one.
    virtual void OnSetActive() {}
    // The page is left, forward or back.
    virtual void OnKillActive() {}
    // Next was pressed: 0 moves on, -1 stays on the page.
    virtual LRESULT OnWizardNext() { return 0; }
    // Cancel or the close box: true lets the sheet close.
    virtual bool OnQueryCancel() { return true; }

private:
    static INT_PTR WINAPI Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // False for a notification the page leaves to the system.
    bool OnNotify(UINT code, LRESULT& result);

    int templateId_;
    HWND window_ = nullptr;
    bool hideHeader_ = false;
    std::wstring headerTitle_;
    std::wstring headerSubtitle_;
};

// A modal Wizard 97 property sheet over the pages added to it, in the order added. The sheet
// window's own messages reach Owner::OnSheetMessage first (a CContainedWindow handler).
template <class Owner>
class CPropertySheetImpl {
public:
    CPropertySheetImpl(const CPropertySheetImpl&) = delete;
    CPropertySheetImpl& operator=(const CPropertySheetImpl&) = delete;

    void AddPage(CPropertyPageImpl& page) { pages_.push_back(&page); }
    // The sheet's caption on every page (a wizard shows the current page's title).
    void SetCaption(std::wstring caption) { caption_ = std::move(caption); }
    int PageCount() const { return static_cast<int>(pages_.size()); }
    // The sheet window while it is shown, else null.
    HWND Handle() const { return window_.Handle(); }

    // Runs the sheet until it closes; answers PropertySheetW's result.
    INT_PTR DoModal(HWND owner)
    {
        std::vector<PROPSHEETPAGEW> pages;
        for (const CPropertyPageImpl* page : pages_) {
            pages.push_back(page->Description());
            if (!caption_.empty()) {
                pages.back().dwFlags |= PSP_USETITLE;
                pages.back().pszTitle = caption_.c_str();
            }
        }
        PROPSHEETHEADERW header = {};
        header.dwSize = sizeof(header);
        header.dwFlags = PSH_WIZARD97 | PSH_HEADER | PSH_WATERMARK | PSH_USEHBMWATERMARK | PSH_PROPSHEETPAGE |
                         PSH_USECALLBACK;
        header.hwndParent = owner;
        header.hInstance = GetModuleHandleW(nullptr);
        header.nPages = static_cast<UINT>(pages.size());
        header.ppsp = pages.data();
        // The watermark fills the exterior pages' height at any DPI. The header picture keeps its
        // 49 x 49 pixels, the box a Wizard 97 header shows it in.
        const UniqueBitmap watermark = LoadScaledBitmap(watermarkId_);
        header.hbmWatermark = watermark.Get();
        header.pszbmHeader = MAKEINTRESOURCEW(headerId_);
        header.pfnCallback = &Callback;
        Starting() = this;
        const INT_PTR result = PropertySheetW(&header);
        Starting() = nullptr;
        window_.Unsubclass();
        return result;
    }

protected:
    CPropertySheetImpl(int watermarkId, int headerId)
        : window_(static_cast<Owner&>(*this), &Owner::OnSheetMessage), watermarkId_(watermarkId), headerId_(headerId)
    {
    }
    ~CPropertySheetImpl() = default;

    // The sheet window's default handling of a message.
    LRESULT DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return window_.DefaultProcedure(message, wParam, lParam);
    }

private:
    class SheetWindow : public CContainedWindow<Owner> {
    public:
        using CContainedWindow<Owner>::CContainedWindow;
        using CContainedWindow<Owner>::DefaultProcedure;
    };

    // The sheet being started: its callback gives no way to the object but this one (one
    // modal sheet runs at a time on the one user-interface thread).
    static CPropertySheetImpl*& Starting()
    {
        static CPropertySheetImpl* sheet = nullptr;
        return sheet;
    }

    static int WINAPI Callback(HWND window, UINT message, LPARAM)
    {
        if (message == PSCB_INITIALIZED && Starting())
            Starting()->window_.Subclass(window);
        return 0;
    }

    SheetWindow window_;
    std::vector<CPropertyPageImpl*> pages_;
    std::wstring caption_;
    int watermarkId_;
    int headerId_;
};
