#include <windows.h>
#include <windowsx.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dialog_script.h"
#include "test_support.h"
#include "win/dialog.h"
#include "win/hyperlink.h"

namespace {

// Template 201 serves as a plain dialog here: two buttons and two statics.
constexpr int kTemplate = 201;
constexpr int kStatic = 1004;
constexpr int kLinkStatic = 1005;

// A dialog that ends with 42 on its first button and with 7 on cancel, keeps a contained window
// over one static, and may centre itself over a window.
class TestDialog : public CDialogImpl {
public:
    explicit TestDialog(int templateId = kTemplate) : CDialogImpl(templateId), contained(*this, &TestDialog::OnContained) {}

    bool OnInitDialog() override
    {
        handleAtInit = Handle();
        CenterWindow(centreOver);
        SetIcons(128);
        subclassed = contained.Subclass(Item(kStatic));
        subclassedTwice = contained.Subclass(Item(kStatic));
        return true;
    }

    bool OnButton(int id) override
    {
        if (id == IDOK)
            EndDialog(42);
        else if (id == IDCANCEL)
            EndDialog(7);
        return id == IDOK || id == IDCANCEL;
    }

    // Consumes WM_SETTEXT (the static keeps its text) and answers WM_GETDLGCODE itself.
    bool OnContained(UINT message, WPARAM, LPARAM, LRESULT& result)
    {
        seen.push_back(message);
        if (message == WM_SETTEXT) {
            result = TRUE;
            return true;
        }
        if (message == WM_GETDLGCODE) {
            result = DLGC_WANTCHARS;
            return true;
        }
        return false;
    }

    HWND centreOver = nullptr;
    HWND handleAtInit = nullptr;
    bool subclassed = false;
    bool subclassedTwice = true;
    CContainedWindow<TestDialog> contained;
    std::vector<UINT> seen;
};

RECT WorkArea()
{
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

POINT Centre(const RECT& rect)
{
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

SIZE IconSize(HICON icon)
{
    ICONINFO info = {};
    SIZE size = {};
    if (!GetIconInfo(icon, &info))
        return size;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    size = {bitmap.bmWidth, info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2};
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return size;
}

}  // namespace

TEST(DialogLayer, ModalDialogRunsUntilEndDialogAndForgetsItsWindow)
{
    TestDialog dialog;
    RECT rect = {};
    SIZE big = {}, small = {};
    std::wstring after;
    LRESULT code = 0;
    DialogScript script;
    script.Then([&](HWND window) {
        GetWindowRect(window, &rect);
        big = IconSize(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0)));
        small = IconSize(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)));
        HWND item = GetDlgItem(window, kStatic);
        SetWindowTextW(item, L"before");  // consumed by the contained window's handler
        after = WindowText(item);
        code = SendMessageW(item, WM_GETDLGCODE, 0, 0);
        PostClick(window, IDOK);
    });
    EXPECT_EQ(dialog.DoModal(nullptr), 42);
    EXPECT_FALSE(script.TimedOut());
    EXPECT_NE(dialog.handleAtInit, nullptr);
    EXPECT_EQ(dialog.Handle(), nullptr);

    EXPECT_TRUE(dialog.subclassed);
    EXPECT_FALSE(dialog.subclassedTwice);
    EXPECT_EQ(after, L"");
    EXPECT_EQ(code, DLGC_WANTCHARS);
    EXPECT_NE(std::find(dialog.seen.begin(), dialog.seen.end(), static_cast<UINT>(WM_SETTEXT)), dialog.seen.end());
    // The window went, and the contained window let go of it.
    EXPECT_EQ(dialog.contained.Handle(), nullptr);

    // Without an owner the dialog sits in the middle of the work area.
    const POINT centre = Centre(rect);
    const POINT workCentre = Centre(WorkArea());
    EXPECT_NEAR(centre.x, workCentre.x, 1);
    EXPECT_NEAR(centre.y, workCentre.y, 1);

    EXPECT_EQ(big.cx, GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(big.cy, GetSystemMetrics(SM_CYICON));
    EXPECT_EQ(small.cx, GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(small.cy, GetSystemMetrics(SM_CYSMICON));
}

TEST(DialogLayer, CloseBoxAndEscapeCancel)
{
    for (UINT message : {static_cast<UINT>(WM_CLOSE), static_cast<UINT>(WM_KEYDOWN)}) {
        TestDialog dialog;
        DialogScript script;
        script.Then([message](HWND window) {
            if (message == WM_CLOSE)
                PostMessageW(window, WM_CLOSE, 0, 0);
            else
                PostMessageW(GetDlgItem(window, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
        });
        EXPECT_EQ(dialog.DoModal(nullptr), 7) << message;
        EXPECT_FALSE(script.TimedOut());
    }
}

TEST(DialogLayer, MissingTemplateCannotBeShown)
{
    TestDialog dialog(4242);
    EXPECT_EQ(dialog.DoModal(nullptr), -1);
    EXPECT_EQ(dialog.handleAtInit, nullptr);
}

TEST(DialogLayer, CentresOverAVisibleWindowAndStaysOnTheWorkArea)
{
    const RECT work = WorkArea();
    struct Case {
        int x, y;
        bool centred;  // else clamped to the work area's bottom right corner
    };
    for (const Case& c : {Case{work.left + 40, work.top + 30, true}, Case{work.right - 60, work.bottom - 40, false}}) {
        HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, c.x, c.y, 700, 500, nullptr,
                                     nullptr, nullptr, nullptr);
        ASSERT_NE(owner, nullptr);
        RECT ownerRect;
        GetWindowRect(owner, &ownerRect);
        TestDialog dialog;
        dialog.centreOver = owner;
        RECT rect = {};
        DialogScript script;
        script.Then([&](HWND window) {
            GetWindowRect(window, &rect);
            PostClick(window, IDCANCEL);
        });
        EXPECT_EQ(dialog.DoModal(owner), 7);
        DestroyWindow(owner);
        if (c.centred) {
            EXPECT_NEAR(Centre(rect).x, Centre(ownerRect).x, 1);
            EXPECT_NEAR(Centre(rect).y, Centre(ownerRect).y, 1);
        } else {
            EXPECT_EQ(rect.right, work.right);
            EXPECT_EQ(rect.bottom, work.bottom);
        }
    }
}

TEST(HyperLinkColors, ParseRedGreenBlueTexts)
{
    COLORREF color = RGB(1, 2, 3);
    EXPECT_TRUE(ParseColorText(L"0,128,255", color));
    EXPECT_EQ(color, RGB(0, 128, 255));
    EXPECT_TRUE(ParseColorText(L" 12 , 34,56 ", color));
    EXPECT_EQ(color, RGB(12, 34, 56));
    EXPECT_TRUE(ParseColorText(L"007,0,0", color));
    EXPECT_EQ(color, RGB(7, 0, 0));
    for (const wchar_t* bad : {L"", L"256,0,0", L"0,0,99999999999", L"1,2", L"1,2,3,4", L"a,b,c", L"1,,3", L"-1,2,3",
                               L"1;2;3", L"1,2,3x"}) {
        color = RGB(9, 9, 9);
        EXPECT_FALSE(ParseColorText(bad, color)) << bad;
        EXPECT_EQ(color, RGB(9, 9, 9)) << bad;
    }
}

namespace {

constexpr wchar_t kColorKey[] = L"Software\\Microsoft\\Internet Explorer\\Settings";

// Sets the user's link colour values for one test and puts back what was there.
class LinkColorValues {
public:
    LinkColorValues()
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, kColorKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key_.Receive(),
                        nullptr);
        Save(L"Anchor Color", link_);
        Save(L"Anchor Color Visited", visited_);
    }
    ~LinkColorValues()
    {
        Restore(L"Anchor Color", link_);
        Restore(L"Anchor Color Visited", visited_);
    }
    void Set(const wchar_t* name, const std::wstring& text)
    {
        RegSetValueExW(key_.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    void Remove(const wchar_t* name) { RegDeleteValueW(key_.Get(), name); }

private:
    struct Saved {
        bool present = false;
        std::wstring text;
    };
    void Save(const wchar_t* name, Saved& saved)
    {
        wchar_t text[256] = {};
        DWORD size = sizeof(text) - sizeof(wchar_t);
        saved.present = RegQueryValueExW(key_.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) ==
                        ERROR_SUCCESS;
        saved.text = text;
    }
    void Restore(const wchar_t* name, const Saved& saved)
    {
        if (saved.present)
            Set(name, saved.text);
        else
            Remove(name);
    }

    UniqueRegKey key_;
    Saved link_;
    Saved visited_;
};

// A dialog whose second static is a link.
class LinkDialog : public CDialogImpl {
public:
    LinkDialog() : CDialogImpl(kTemplate) {}

    bool OnInitDialog() override
    {
        link.Subclass(Item(kLinkStatic));
        link.SetExtendedStyle(style);
        link.SetLabel(L"download page");
        link.SetHyperLink(target);
        return true;
    }

    bool OnButton(int id) override
    {
        if (id == IDCANCEL)
            EndDialog(IDCANCEL);
        return id == IDCANCEL;
    }

    DWORD style = kHyperLinkUnderlineHover | kHyperLinkNoTooltip;
    std::wstring target;
    CHyperLink link;
};

// How many pixels of the label's rectangle have exactly this colour.
int PixelsOfColor(HWND window, const RECT& rect, COLORREF color)
{
    UpdateWindow(window);
    HDC dc = GetDC(window);
    int count = 0;
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        for (LONG x = rect.left; x < rect.right; ++x)
            count += GetPixel(dc, x, y) == color;
    }
    ReleaseDC(window, dc);
    return count;
}

LPARAM PointIn(const RECT& rect)
{
    return MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

void PostMouseClick(HWND window, LPARAM point)
{
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(window, WM_LBUTTONUP, 0, point);
}

}  // namespace

TEST(HyperLink, LinkColoursComeFromTheUsersBrowserSettings)
{
    LinkColorValues values;
    values.Set(L"Anchor Color", L"10,20,30");
    values.Set(L"Anchor Color Visited", L"40,50,60");
    {
        LinkDialog dialog;
        DialogScript script;
        script.Then([](HWND window) { PostClick(window, IDCANCEL); });
        dialog.DoModal(nullptr);
        EXPECT_EQ(dialog.link.LinkColor(), RGB(10, 20, 30));
        EXPECT_EQ(dialog.link.VisitedColor(), RGB(40, 50, 60));
    }
    // Missing or unreadable values leave the usual blue and purple.
    values.Remove(L"Anchor Color");
    values.Set(L"Anchor Color Visited", L"purple");
    LinkDialog dialog;
    DialogScript script;
    script.Then([](HWND window) { PostClick(window, IDCANCEL); });
    dialog.DoModal(nullptr);
    EXPECT_EQ(dialog.link.LinkColor(), RGB(0, 0, 255));
    EXPECT_EQ(dialog.link.VisitedColor(), RGB(128, 0, 128));
}

TEST(HyperLink, ClickOnTheLabelOpensTheTargetAndMarksItVisited)
{
    LinkColorValues values;
    values.Set(L"Anchor Color", L"0,0,250");
    values.Set(L"Anchor Color Visited", L"250,0,0");
    ScratchFolder scratch;
    // A target the shell opens and that ends by itself.
    const std::wstring target = scratch.File(L"open me.cmd");
    WriteBytes(target, "@exit 0\r\n");

    LinkDialog dialog;
    dialog.target = target;
    RECT label = {};
    int linkPixelsBefore = 0, visitedPixelsBefore = 0, linkPixelsAfter = 0, visitedPixelsAfter = 0;
    bool visitedAfterMiss = true;
    HCURSOR overLabel = nullptr, besideLabel = nullptr;
    HWND link = nullptr;
    DialogScript script;
    script
        .Then([&](HWND window) {
            link = GetDlgItem(window, kLinkStatic);
            label = dialog.link.LabelRect();
            linkPixelsBefore = PixelsOfColor(link, label, RGB(0, 0, 250));
            visitedPixelsBefore = PixelsOfColor(link, label, RGB(250, 0, 0));

            // The hand shows over the label only.
            POINT point = {(label.left + label.right) / 2, (label.top + label.bottom) / 2};
            ClientToScreen(link, &point);
            SetCursorPos(point.x, point.y);
            SetCursor(nullptr);
            SendMessageW(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            overLabel = GetCursor();
            point = {label.right + 5, (label.top + label.bottom) / 2};
            ClientToScreen(link, &point);
            SetCursorPos(point.x, point.y);
            SetCursor(nullptr);
            SendMessageW(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            besideLabel = GetCursor();

            // A click beside the label is no click on the link.
            PostMouseClick(link, MAKELPARAM(label.right + 5, label.top + 1));
        })
        .Then([&](HWND) {
            visitedAfterMiss = dialog.link.IsVisited();
            PostMouseClick(link, PointIn(label));
        })
        .Then([&](HWND window) {
            linkPixelsAfter = PixelsOfColor(link, label, RGB(0, 0, 250));
            visitedPixelsAfter = PixelsOfColor(link, label, RGB(250, 0, 0));
            PostClick(window, IDCANCEL);
        });
    dialog.DoModal(nullptr);
    EXPECT_FALSE(script.TimedOut());

    EXPECT_GT(label.right, label.left);
    EXPECT_GT(label.bottom, label.top);
    EXPECT_GT(linkPixelsBefore, 0);
    EXPECT_EQ(visitedPixelsBefore, 0);
    EXPECT_EQ(overLabel, LoadCursorW(nullptr, IDC_HAND));
    EXPECT_NE(besideLabel, LoadCursorW(nullptr, IDC_HAND));
    EXPECT_FALSE(visitedAfterMiss);
    EXPECT_TRUE(dialog.link.IsVisited());
    EXPECT_EQ(linkPixelsAfter, 0);
    EXPECT_GT(visitedPixelsAfter, 0);
}

TEST(HyperLink, UnderlineFollowsThePointerWhenAsked)
{
    LinkColorValues values;
    values.Set(L"Anchor Color", L"0,0,250");
    // The display's pointer starts far from where the label will be.
    SetCursorPos(0, 0);
    LinkDialog dialog;
    int plain = 0, hovered = 0, left = 0;
    HWND link = nullptr;
    DialogScript script;
    script
        .Then([&](HWND window) {
            link = GetDlgItem(window, kLinkStatic);
            plain = PixelsOfColor(link, dialog.link.LabelRect(), RGB(0, 0, 250));
            // The pointer really is over the label, or the control hears at once that it left.
            const LPARAM point = PointIn(dialog.link.LabelRect());
            POINT screen = {GET_X_LPARAM(point), GET_Y_LPARAM(point)};
            ClientToScreen(link, &screen);
            SetCursorPos(screen.x, screen.y);
            PostMessageW(link, WM_MOUSEMOVE, 0, point);
        })
        .Then([&](HWND) {
            hovered = PixelsOfColor(link, dialog.link.LabelRect(), RGB(0, 0, 250));
            SetCursorPos(0, 0);
            PostMessageW(link, WM_MOUSELEAVE, 0, 0);
        })
        .Then([&](HWND window) {
            left = PixelsOfColor(link, dialog.link.LabelRect(), RGB(0, 0, 250));
            PostClick(window, IDCANCEL);
        });
    dialog.DoModal(nullptr);
    EXPECT_FALSE(script.TimedOut());
    EXPECT_GT(plain, 0);
    // The underline adds a line of the link's colour under the label.
    EXPECT_GT(hovered, plain);
    EXPECT_EQ(left, plain);

    // Without the hover style the label is always underlined.
    LinkDialog underlined;
    underlined.style = kHyperLinkNoTooltip;
    int always = 0;
    DialogScript second;
    second.Then([&](HWND window) {
        always = PixelsOfColor(GetDlgItem(window, kLinkStatic), underlined.link.LabelRect(), RGB(0, 0, 250));
        PostClick(window, IDCANCEL);
    });
    underlined.DoModal(nullptr);
    EXPECT_EQ(always, hovered);
}

TEST(HyperLink, TargetThatCannotBeOpenedStaysUnvisited)
{
    ScratchFolder scratch;
    LinkDialog dialog;
    dialog.target = scratch.File(L"missing.cmd");
    bool navigated = true;
    DialogScript script;
    script
        .Then([&](HWND window) {
            PostMouseClick(GetDlgItem(window, kLinkStatic), PointIn(dialog.link.LabelRect()));
        })
        .Then([&](HWND window) {
            navigated = dialog.link.Navigate();
            PostClick(window, IDCANCEL);
        });
    dialog.DoModal(nullptr);
    EXPECT_FALSE(script.TimedOut());
    EXPECT_FALSE(navigated);
    EXPECT_FALSE(dialog.link.IsVisited());
}
