#include "win/property_sheet.h"

#include <utility>

UniqueBitmap LoadScaledBitmap(int id)
{
    UniqueBitmap original(static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    BITMAP size = {};
    GetObjectW(original.Get(), sizeof(size), &size);
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    const int width = MulDiv(size.bmWidth, dpi, 96), height = MulDiv(size.bmHeight, dpi, 96);
    UniqueBitmap scaled(CreateCompatibleBitmap(screen, width, height));
    const UniqueMemoryDC from(CreateCompatibleDC(screen)), to(CreateCompatibleDC(screen));
    ReleaseDC(nullptr, screen);
    const HGDIOBJ oldFrom = SelectObject(from.Get(), original.Get()), oldTo = SelectObject(to.Get(), scaled.Get());
    SetStretchBltMode(to.Get(), HALFTONE);
    SetBrushOrgEx(to.Get(), 0, 0, nullptr);
    StretchBlt(to.Get(), 0, 0, width, height, from.Get(), 0, 0, size.bmWidth, size.bmHeight, SRCCOPY);
    SelectObject(from.Get(), oldFrom);
    SelectObject(to.Get(), oldTo);
    return scaled;
}

PROPSHEETPAGEW CPropertyPageImpl::Description() const
{
    PROPSHEETPAGEW page = {};
    page.dwSize = sizeof(page);
    page.hInstance = GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(templateId_);
    page.pfnDlgProc = &Procedure;
    page.lParam = reinterpret_cast<LPARAM>(this);
    if (hideHeader_)
        page.dwFlags |= PSP_HIDEHEADER;
    if (!headerTitle_.empty()) {
        page.dwFlags |= PSP_USEHEADERTITLE;
        page.pszHeaderTitle = headerTitle_.c_str();
    }
    if (!headerSubtitle_.empty()) {
        page.dwFlags |= PSP_USEHEADERSUBTITLE;
        page.pszHeaderSubTitle = headerSubtitle_.c_str();
    }
    return page;
}

void CPropertyPageImpl::SetHeader(std::wstring title, std::wstring subtitle)
{
    headerTitle_ = std::move(title);
    headerSubtitle_ = std::move(subtitle);
}

void CPropertyPageImpl::SetWizardButtons(DWORD buttons) const
{
    PostMessageW(Sheet(), PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(buttons));
}

void CPropertyPageImpl::FocusSheetButton(int id) const
{
    PostMessageW(Sheet(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(Sheet(), id)), TRUE);
}

bool CPropertyPageImpl::OnNotify(UINT code, LRESULT& result)
{
    switch (code) {
    case PSN_SETACTIVE:
        // The watermark takes the header's place: without a full repaint the previous
        // interior page's header stays drawn over it.
        if (hideHeader_)
            RedrawWindow(Sheet(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        OnSetActive();
        result = 0;
        return true;
    case PSN_KILLACTIVE:
        OnKillActive();
        result = FALSE;
        return true;
    case PSN_WIZNEXT:
        result = OnWizardNext();
        return true;
    case PSN_QUERYCANCEL:
        result = OnQueryCancel() ? FALSE : TRUE;
        return true;
    default:
        return false;
    }
}

INT_PTR WINAPI CPropertyPageImpl::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CPropertyPageImpl* self;
    if (message == WM_INITDIALOG) {
        // The sheet hands the page a copy of its description, which carries the page object.
        self = reinterpret_cast<CPropertyPageImpl*>(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
        SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
        return self->OnInitDialog();
    }
    self = reinterpret_cast<CPropertyPageImpl*>(GetWindowLongPtrW(window, DWLP_USER));
    // Messages before WM_INITDIALOG (the font) belong to the system alone.
    if (!self)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        return self->OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!self->OnNotify(reinterpret_cast<const NMHDR*>(lParam)->code, result))
            return FALSE;
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
    case WM_NCDESTROY:
        self->window_ = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}
