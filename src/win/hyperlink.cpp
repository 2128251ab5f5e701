#include "win/hyperlink.h"

#include <shellapi.h>
#include <windowsx.h>

#include "platform/platform.h"
#include "win/handles.h"

namespace {

// Where the user's browser settings keep the link colours, as "red,green,blue" texts.
constexpr wchar_t kLinkColorKey[] = L"Software\\Microsoft\\Internet Explorer\\Settings";

void ReadColorValue(HKEY key, const wchar_t* name, COLORREF& color)
{
    wchar_t text[64] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);  // room for the terminator the value may lack
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return;
    ParseColorText(text, color);
}

bool ReadColorPart(const std::wstring& text, size_t& at, unsigned& value)
{
    while (at < text.size() && text[at] == L' ')
        ++at;
    const size_t first = at;
    value = 0;
    while (at < text.size() && text[at] >= L'0' && text[at] <= L'9' && value <= 255)
        value = value * 10 + (text[at++] - L'0');
    while (at < text.size() && text[at] == L' ')
        ++at;
    return at > first && value <= 255;
}

}  // namespace

bool ParseColorText(const std::wstring& text, COLORREF& color)
{
    unsigned parts[3];
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        if (!ReadColorPart(text, at, parts[i]))
            return false;
        if (i < 2) {
            if (at >= text.size() || text[at] != L',')
                return false;
            ++at;
        }
    }
    if (at != text.size())
        return false;
    color = RGB(parts[0], parts[1], parts[2]);
    return true;
}

bool CHyperLink::Subclass(HWND window)
{
    if (!CSubclassedWindow::Subclass(window))
        return false;
    ReadLinkColors();
    baseFont_ = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    const int length = GetWindowTextLengthW(window);
    label_.assign(static_cast<size_t>(length) + 1, L'\0');
    label_.resize(static_cast<size_t>(GetWindowTextW(window, &label_[0], length + 1)));
    UpdateLabelRect();
    return true;
}

void CHyperLink::SetExtendedStyle(DWORD style)
{
    style_ = style;
    InvalidateRect(Handle(), nullptr, TRUE);
}

void CHyperLink::SetLabel(const std::wstring& label)
{
    // The control's WM_SETTEXT handling below takes the label over.
    SetWindowTextW(Handle(), label.c_str());
}

void CHyperLink::SetHyperLink(const std::wstring& target)
{
    target_ = target;
}

bool CHyperLink::Navigate()
{
    if (target_.empty())
        return false;
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", target_.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32)
        return false;
    visited_ = true;
    InvalidateRect(Handle(), nullptr, TRUE);
    return true;
}

void CHyperLink::ReadLinkColors()
{
    // A high-contrast scheme names its own link colour, visited or not.
    if (platform::HighContrastOn()) {
        linkColor_ = visitedColor_ = GetSysColor(COLOR_HOTLIGHT);
        return;
    }
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kLinkColorKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return;
    ReadColorValue(key.Get(), L"Anchor Color", linkColor_);
    ReadColorValue(key.Get(), L"Anchor Color Visited", visitedColor_);
}

bool CHyperLink::IsUnderlined() const
{
    return (style_ & kHyperLinkUnderlineHover) == 0 || hovering_;
}

HFONT CHyperLink::Font()
{
    HFONT base = baseFont_ ? baseFont_ : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (!IsUnderlined())
        return base;
    if (!underlinedFont_) {
        LOGFONTW font = {};
        if (GetObjectW(base, sizeof(font), &font) == sizeof(font)) {
            font.lfUnderline = TRUE;
            underlinedFont_.Reset(CreateFontIndirectW(&font));
        }
    }
    return underlinedFont_ ? underlinedFont_.Get() : base;
}

void CHyperLink::UpdateLabelRect()
{
    RECT client;
    GetClientRect(Handle(), &client);
    labelRect_ = RECT{};
    if (label_.empty())
        return;
    HDC dc = GetDC(Handle());
    if (!dc)
        return;
    RECT text = client;
    HGDIOBJ old = SelectObject(dc, Font());
    DrawTextW(dc, label_.c_str(), static_cast<int>(label_.size()), &text,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
    IntersectRect(&labelRect_, &text, &client);
}

bool CHyperLink::IsOverLabel(POINT client) const
{
    return PtInRect(&labelRect_, client) != FALSE;
}

void CHyperLink::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    if (!dc)
        return;
    RECT client;
    GetClientRect(Handle(), &client);
    // The dialog's own background for static controls.
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(GetParent(Handle()), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(Handle())));
    FillRect(dc, &client, brush ? brush : GetSysColorBrush(COLOR_3DFACE));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, visited_ ? visitedColor_ : linkColor_);
    HGDIOBJ old = SelectObject(dc, Font());
    DrawTextW(dc, label_.c_str(), static_cast<int>(label_.size()), &client,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    // The focus shows as on other controls: once the keyboard has been used in the dialog.
    if (GetFocus() == Handle() && !(SendMessageW(Handle(), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS))
        DrawFocusRect(dc, &labelRect_);
    EndPaint(Handle(), &paint);
}

bool CHyperLink::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
    case WM_PAINT:
        Paint();
        return true;
    case WM_ERASEBKGND:
        // Painting fills the background itself.
        result = 1;
        return true;
    case WM_SETTEXT:
        result = DefaultProcedure(message, wParam, lParam);
        label_ = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
        UpdateLabelRect();
        InvalidateRect(Handle(), nullptr, TRUE);
        return true;
    case WM_SETFONT:
        result = DefaultProcedure(message, wParam, lParam);
        baseFont_ = reinterpret_cast<HFONT>(wParam);
        underlinedFont_.Reset();
        UpdateLabelRect();
        return true;
    case WM_NCHITTEST:
        // A static control lets the mouse through to its parent; the link wants it.
        result = HTCLIENT;
        return true;
    case WM_GETDLGCODE: {
        // Enter and Space open the link, as on the system's link control; the dialog would take
        // Enter for its default button.
        const MSG* key = reinterpret_cast<const MSG*>(lParam);
        result = DLGC_WANTCHARS;
        if (key && key->message == WM_KEYDOWN && (key->wParam == VK_RETURN || key->wParam == VK_SPACE))
            result |= DLGC_WANTMESSAGE;
        return true;
    }
    case WM_KEYDOWN:
        if (wParam != VK_RETURN && wParam != VK_SPACE)
            return false;
        Navigate();
        return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_UPDATEUISTATE:
        result = DefaultProcedure(message, wParam, lParam);
        InvalidateRect(Handle(), nullptr, TRUE);
        return true;
    case WM_SETCURSOR: {
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(Handle(), &cursor);
        if (!IsOverLabel(cursor))
            return false;
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        result = TRUE;
        return true;
    }
    case WM_MOUSEMOVE: {
        const bool over = IsOverLabel(point);
        if (over != hovering_) {
            hovering_ = over;
            if (over) {
                TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, Handle(), 0};
                TrackMouseEvent(&track);
            }
            if (style_ & kHyperLinkUnderlineHover)
                InvalidateRect(Handle(), nullptr, TRUE);
        }
        return true;
    }
    case WM_MOUSELEAVE:
        if (hovering_) {
            hovering_ = false;
            if (style_ & kHyperLinkUnderlineHover)
                InvalidateRect(Handle(), nullptr, TRUE);
        }
        return true;
    case WM_LBUTTONDOWN:
        if (IsOverLabel(point))
            SetCapture(Handle());
        return true;
    case WM_LBUTTONUP:
        // A click is a press and a release on the label.
        if (GetCapture() == Handle()) {
            ReleaseCapture();
            if (IsOverLabel(point))
                Navigate();
        }
        return true;
    default:
        return false;
    }
}
