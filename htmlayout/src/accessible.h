// The page as screen readers and other accessibility clients see it.
#pragma once
#include <windows.h>

namespace hl {

class View;

// The answer to WM_GETOBJECT: for OBJID_CLIENT an accessible object of the page, whose children
// are its links and buttons (push buttons and links, named by aria-label, the alt text of an
// image inside, title or text), its other images with alt text (graphics) and its text (static
// text), in document order; 0 for any other object, which the system then answers.
LRESULT AnswerGetObject(View& view, WPARAM wParam, LPARAM lParam);

// Tells accessibility clients where the keyboard focus is now, while the window has it.
void NotifyAccessibleFocus(View& view);

}  // namespace hl
