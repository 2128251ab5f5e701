#pragma once
#include <windows.h>

#include <string>

#include "win/dialog.h"

// Extended styles of CHyperLink. Without kHyperLinkUnderlineHover the label is always
// underlined. The control never shows a tooltip; kHyperLinkNoTooltip is accepted for that.
constexpr DWORD kHyperLinkUnderlineHover = 0x02;
constexpr DWORD kHyperLinkNoTooltip = 0x40;

// A static control turned into a link: it draws its label in the user's link colours (visited
// or not), shows the hand cursor over the label, and a click on the label opens the target with
// the shell's "open" verb, marking the link visited when that worked. From the keyboard it is a
// tab stop with a focus rectangle, and Enter or Space opens it.
class CHyperLink : public CSubclassedWindow {
public:
    // Takes over the static control and reads the link colours of the current user (the system's
    // link colour on a high-contrast scheme).
    bool Subclass(HWND window);

    void SetExtendedStyle(DWORD style);
    // Also the control's window text.
    void SetLabel(const std::wstring& label);
    void SetHyperLink(const std::wstring& target);
    // Opens the target; true (and visited) when the shell could.
    bool Navigate();

    bool IsVisited() const { return visited_; }
    COLORREF LinkColor() const { return linkColor_; }
    COLORREF VisitedColor() const { return visitedColor_; }
    // The label's rectangle in client coordinates: where the cursor and clicks count.
    RECT LabelRect() const { return labelRect_; }

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void ReadLinkColors();
    void UpdateLabelRect();
    bool IsOverLabel(POINT client) const;
    bool IsUnderlined() const;
    HFONT Font();
    void Paint();

    DWORD style_ = 0;
    std::wstring label_;
    std::wstring target_;
    bool visited_ = false;
    bool hovering_ = false;
    COLORREF linkColor_ = RGB(0, 0, 255);
    COLORREF visitedColor_ = RGB(128, 0, 128);
    RECT labelRect_ = {};
    HFONT baseFont_ = nullptr;  // the dialog's, not owned
    UniqueFont underlinedFont_;
};

// Reads a colour written as "red,green,blue" (decimal, 0 to 255 each, blanks allowed around the
// numbers). False, with the colour untouched, for any other text.
bool ParseColorText(const std::wstring& text, COLORREF& color);
