#include "win/dialog.h"

namespace {

// The window property that leads a subclassed control's messages back to its object.
constexpr wchar_t kSubclassProperty[] = L"SetupSubclassedWindow";

}  // namespace

INT_PTR CDialogImpl::DoModal(HWND owner)
{
    const INT_PTR code = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                                         Procedure, reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
    bigIcon_.Reset();
    smallIcon_.Reset();
    return code;
}

void CDialogImpl::EndDialog(INT_PTR code)
{
    ::EndDialog(window_, code);
}

void CenterWindowOver(HWND window, HWND over)
{
    RECT work;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        SetRect(&work, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    RECT area = work;
    if (over && IsWindowVisible(over) && !IsIconic(over))
        GetWindowRect(over, &area);
    RECT dialog;
    GetWindowRect(window, &dialog);
    const LONG width = dialog.right - dialog.left;
    const LONG height = dialog.bottom - dialog.top;
    LONG x = area.left + (area.right - area.left - width) / 2;
    LONG y = area.top + (area.bottom - area.top - height) / 2;
    // Near a screen edge the owner's centre would push the dialog partly out of sight.
    if (x + width > work.right)
        x = work.right - width;
    if (y + height > work.bottom)
        y = work.bottom - height;
    if (x < work.left)
        x = work.left;
    if (y < work.top)
        y = work.top;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetWindowIcons(HWND window, int iconId, UniqueIcon& bigIcon, UniqueIcon& smallIcon)
{
    HINSTANCE module = GetModuleHandleW(nullptr);
    bigIcon.Reset(static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
    smallIcon.Reset(static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.Get()));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.Get()));
}

INT_PTR CALLBACK CDialogImpl::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialogImpl* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogImpl*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
    } else {
        self = reinterpret_cast<CDialogImpl*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (the font) belong to the system alone.
    if (!self)
        return FALSE;
    if (message == WM_INITDIALOG)
        return self->OnInitDialog();
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED)
        return self->OnButton(LOWORD(wParam));
    return FALSE;
}

bool CSubclassedWindow::Subclass(HWND window)
{
    if (!window || window_ || GetPropW(window, kSubclassProperty))
        return false;
    if (!SetPropW(window, kSubclassProperty, this))
        return false;
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CSubclassedWindow::Procedure)));
    if (!original_) {
        RemovePropW(window, kSubclassProperty);
        return false;
    }
    window_ = window;
    return true;
}

void CSubclassedWindow::Unsubclass()
{
    if (!window_)
        return;
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    RemovePropW(window_, kSubclassProperty);
    window_ = nullptr;
    original_ = nullptr;
}

LRESULT CSubclassedWindow::DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcW(original_, window_, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassedWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<CSubclassedWindow*>(GetPropW(window, kSubclassProperty));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        const LRESULT result = self->DefaultProcedure(message, wParam, lParam);
        self->Unsubclass();
        return result;
    }
    LRESULT result = 0;
    if (self->OnMessage(message, wParam, lParam, result))
        return result;
    return self->DefaultProcedure(message, wParam, lParam);
}
