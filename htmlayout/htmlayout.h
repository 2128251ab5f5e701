// htmlayout.dll: our small HTML layout engine for the setup's start screen, and the one header
// that the engine and the program share.
//
// What the engine does: it parses a page (UTF-8 with or without byte-order mark, or UTF-16LE
// with one), applies the page's <style> rules, lays out blocks, lines, floats, tables, flex
// rows and columns, and positioned boxes, asks its host for every URL the page names, decodes
// the images with the system's imaging component, paints double-buffered into the host's window
// and turns mouse and keys into events. Markup, properties and selectors it does not know are
// skipped.
//
// Scaling: a CSS pixel is 1/96 inch. Lengths, fonts and images are drawn in device pixels of the
// window's DPI (GetDpiForWindow where the system has it, else the screen's), so a page keeps its
// proportions at 144 or 192 DPI in a DPI-aware process, and HTMLayoutGetMinWidth/Height answer
// in device pixels. Images are resampled smoothly (bilinear); an img may offer denser artwork
// with srcset ("a@2x.png 2x, a@1.5x.png 1.5x"): the smallest density at or above the window's
// is taken, else the densest, src counting as 1x.
//
// Keyboard: Tab and Shift+Tab (and the arrow keys) move the focus through the links, buttons and
// elements with a tabindex of 0 or more, positive tabindex values first in their order, then the
// document order, wrapping; tabindex -1 and hidden elements are left out. The focus is only ever
// set by keys, so the page looks as written until the keyboard is used. The focused element
// matches :focus; the system's dotted focus rectangle is drawn around it unless the page has a
// :focus rule for it, and only while the window has the focus. Enter and Space on the focused
// link or button click it (reason HL_BY_KEY) before the window's handlers see the key; other
// keys go to the handlers first and what they leave navigates. An accesskey attribute makes its
// letter, alone or with Alt, click its element (or focus one that is neither link nor button).
//
// Accessibility: the window answers WM_GETOBJECT for OBJID_CLIENT with an IAccessible object of
// the page. Its children, in document order: each link or button (role link, or push button for
// <button>, <input type=button...> and role="button"; named by aria-label, else the alt text of
// the element or of an image inside, else title, else its text; default action "Jump" or
// "Press"; keyboard shortcut "Alt+" and its access key), each other image with a non-empty alt
// (graphic) and each run of other text (static text). Focus moves raise EVENT_OBJECT_FOCUS.
// oleacc.dll and oleaut32.dll are loaded from the system folder when a client first asks.
//
// Supported, laid out as browsers lay out CSS 2.1 (the usual browser defaults for the HTML
// elements, a CSS pixel 1/96 inch):
//   markup     elements and attributes, comments, <!DOCTYPE>, character references (numeric,
//              the Latin-1 names, the typographic ones such as &middot; &mdash; &hellip; &trade;,
//              arrows, Greek and mathematical ones; the Latin-1 names also without ";"), raw
//              text in <style> and <script>, text in <title>, void elements, tolerant nesting
//              (a stray end tag is dropped, an unclosed element ends with its parent); nesting
//              deeper than 100 levels is flattened into the deepest level. The attributes
//              width, height, align, valign, bgcolor, border, cellspacing and cellpadding act as
//              the styles they stand for.
//   selectors  tag, *, #id, .class, [attr], [attr=value] (value bare or quoted), [attr~=word],
//              :hover, :active, :focus, :first-child, descendant and child (>) combinators,
//              lists with commas. A rule with any other selector is dropped.
//   values     lengths in px, pt, pc, in, cm, mm, em, rem, ex, ch and % where CSS allows them;
//              colours as names, #rgb, #rgba, #rrggbb, #rrggbbaa, rgb(), rgba(), transparent.
//   text       color, font (the shorthand), font-family (the first family the system has;
//              generic names mapped to Windows' fonts), font-size (keywords too), font-weight,
//              font-style, text-decoration (underline), text-align (left, right, center,
//              justify), line-height, vertical-align (baseline, middle, top, bottom),
//              white-space (normal, nowrap), letter-spacing, text-transform.
//   boxes      display (none, block, inline, inline-block, list-item, table and its parts, flex),
//              position (absolute and fixed alike, relative), left, top, right, bottom, width,
//              height, min- and max-width and -height, box-sizing, margin (auto centres),
//              padding, border with its sides and parts (solid, dashed, dotted; other styles are
//              drawn solid), border-radius (anti-aliased), overflow (hidden clips; auto and
//              scroll clip as well), opacity, box-shadow (one outer shadow, blurred), float,
//              clear, cursor (pointer), visibility.
//   background background shorthand, -color, -image, -repeat, -position, -size (cover,
//              contain, lengths), linear-gradient() (angle or "to" side, colour stops);
//              foreground-image (drawn over the content at the box's top left).
//   lists      list-style shorthand, -type (disc, circle, square, decimal, none), -image;
//              markers outside.
//   tables     rows, cells, row groups, colspan, rowspan, border-spacing, border-collapse,
//              table-layout (auto and fixed), cell padding and vertical-align.
//   flex       one line: flex-direction (row, column), justify-content, align-items, gap,
//              flex, flex-grow, flex-shrink, flex-basis; containers nested more than six deep
//              lay out as blocks.
//   behaviors  an element with an href is a link (hand cursor, HL_HYPERLINK_CLICK); <button>
//              and <input type=button|submit|reset> are buttons (HL_BUTTON_CLICK); the behavior
//              property offers a named behavior to the host (below).
//   images     whatever the system's imaging component decodes (PNG, JPEG, GIF, BMP, ICO), at
//              most kMaxImageSide pixels a side; an image without data takes no room.
// Not supported: scripts, forms (fields are not drawn), @media and other at-rules, pseudo-
// elements and the selectors not named above, multiple backgrounds, inset shadows, radial
// gradients, flex-wrap, text directly inside a flex container, white-space: pre, z-index
// (positioned boxes paint after the flow, in document order), clipping text to rounded corners
// (boxes and images are clipped to them), scrolling (content beyond the window is clipped),
// transforms, transitions and animations.
//
// FindIgnored (css.h) names what a page uses of what is not supported, line by line, and
// tests/pages measures what is against a browser.
//
// Loading: every URL of the page (img src or the srcset candidate chosen, url() of the style
// rules) is requested once, while the page loads, through HL_NOTIFY_LOAD_DATA. The host answers
// with HTMLayoutDataReady for that URL (at once or later) or by filling the record's out_data
// and out_data_size; when it does neither and the page came from a file, the engine reads the
// file the URL names beside it.
// A relative URL is joined to the base URL; with no base URL it is requested as written.
//
// Events: the handlers attached to a window receive every event of its elements whose group
// bit is in their subscription (group 0 always): the element's behavior handler (attached
// through HL_NOTIFY_ATTACH_BEHAVIOR) and those of its ancestors first, then the window's, in
// the order attached, until one answers TRUE. A handled mouse press or release has no further
// effect; a click (press and release on the same link or button) sends the behavior event.
//
// Threads: one user-interface thread per window; the engine keeps a process-wide registry of
// live element handles, touched only from user-interface threads of one process at a time.
#pragma once
#include <windows.h>

#ifdef HTMLAYOUT_BUILDING
#define HTMLAYOUT_API extern "C" __declspec(dllexport)
#else
#define HTMLAYOUT_API extern "C" __declspec(dllimport)
#endif

// An element of a page: an opaque reference that stays valid while the page holds it or the
// host holds a reference taken with HTMLayout_UseElement.
typedef struct HlElement* HELEMENT;

// The largest file the engine reads, a page or an image.
constexpr DWORD kHtmlLayoutMaxData = 32 * 1024 * 1024;

// Results of the element functions.
enum HlResult : UINT {
    HL_OK = 0,
    HL_INVALID_WINDOW = 1,      // the window has no page
    HL_INVALID_HANDLE = 2,      // not a live element
    HL_INVALID_PARAMETER = 4,
    HL_OPERATION_FAILED = 5,    // e.g. a method the element's behavior does not have
};

// Notification codes, in NMHDR::code; the callback gets WM_NOTIFY, 0 and the record.
enum HlNotification : UINT {
    HL_NOTIFY_LOAD_DATA = 2817,         // HlLoadDataRecord
    HL_NOTIFY_DATA_LOADED = 2819,       // HlDataLoadedRecord, after each URL
    HL_NOTIFY_DOCUMENT_COMPLETE = 2820, // NMHDR, once a page has loaded
    HL_NOTIFY_ATTACH_BEHAVIOR = 2823,   // HlAttachBehaviorRecord, per element with "behavior"
};

// Event groups (also the subscription bits) and their records.
enum HlEventGroup : UINT {
    HL_GROUP_INITIALIZATION = 0,  // HlInitRecord: 0 handler attached, 1 detached
    HL_GROUP_MOUSE = 1,           // HlMouseRecord
    HL_GROUP_KEY = 2,             // HlKeyRecord
    HL_GROUP_FOCUS = 4,           // (not sent)
    HL_GROUP_SCROLL = 8,          // (not sent)
    HL_GROUP_TIMER = 16,          // (not sent)
    HL_GROUP_SIZE = 32,           // no record (null): the window's client area changed
    HL_GROUP_DRAW = 64,           // (not sent)
    HL_GROUP_DATA_ARRIVED = 128,  // (not sent)
    HL_GROUP_BEHAVIOR_EVENT = 256,  // HlBehaviorRecord
    HL_GROUP_METHOD_CALL = 512,   // HlMethodRecord, before the built-in method runs
    HL_GROUP_EXCHANGE = 4096,     // (not sent)
    HL_GROUP_GESTURE = 8192,      // (not sent)
    HL_GROUP_ALL = 0xFFFF,
};

enum HlMouseCommand : UINT {
    HL_MOUSE_ENTER = 0, HL_MOUSE_LEAVE = 1, HL_MOUSE_MOVE = 2, HL_MOUSE_UP = 3, HL_MOUSE_DOWN = 4,
};
enum HlKeyCommand : UINT { HL_KEY_DOWN = 0, HL_KEY_UP = 1, HL_KEY_CHAR = 2 };
enum HlBehaviorCommand : UINT {
    HL_BUTTON_CLICK = 0,        // target: the button
    HL_HYPERLINK_CLICK = 0x8080,  // target: the element with the href
};
enum HlClickReason : UINT { HL_BY_MOUSE = 0, HL_BY_KEY = 1, HL_BY_METHOD = 2 };
enum HlMethod : UINT { HL_METHOD_CLICK = 0 };

struct HlInitRecord {
    UINT cmd;
};
struct HlMouseRecord {
    UINT cmd;
    HELEMENT target;
    POINT pos;           // relative to the target's box
    POINT pos_document;  // in the window's client area
    UINT button_state;   // MK_* flags of the message
    UINT alt_state;      // 1 Ctrl, 2 Shift, 4 Alt
};
struct HlKeyRecord {
    UINT cmd;
    HELEMENT target;     // the focused element, else the root element
    UINT key_code;       // virtual key, or the character for HL_KEY_CHAR
    UINT alt_state;
};
struct HlBehaviorRecord {
    UINT cmd;
    HELEMENT target;
    HELEMENT source;     // the element the user acted on (the target itself for clicks)
    UINT_PTR reason;     // HlClickReason
};
struct HlMethodRecord {
    UINT method_id;
};

struct HlLoadDataRecord {
    NMHDR header;
    LPCWSTR uri;
    LPVOID out_data;      // the host may point this at the data instead of HTMLayoutDataReady
    UINT out_data_size;
    UINT data_type;       // 0 page, 1 image
    HELEMENT principal;   // the element that wants it (null for style rules)
};
struct HlDataLoadedRecord {
    NMHDR header;
    LPCWSTR uri;
    UINT status;          // 0 data arrived and decoded, 1 no data or undecodable
};

typedef BOOL(CALLBACK* HlElementProc)(LPVOID tag, HELEMENT element, UINT group, LPVOID record);

struct HlAttachBehaviorRecord {
    NMHDR header;
    HELEMENT element;
    LPCSTR behavior_name;       // the value of the element's "behavior" property
    HlElementProc element_proc;  // out: the handler for this element, or null
    LPVOID element_tag;          // out
    UINT element_events;         // out: its subscription
};

typedef LRESULT(CALLBACK* HlNotifyProc)(UINT message, WPARAM wParam, LPARAM lParam, LPVOID param);
// Answers TRUE to stop the walk.
typedef BOOL(CALLBACK* HlSelectCallback)(HELEMENT element, LPVOID param);
typedef VOID(CALLBACK* HlTextReceiver)(LPCWSTR text, UINT length, LPVOID param);

// The engine's window class name (registered on the first call); also the load probe.
HTMLAYOUT_API LPCSTR WINAPI HTMLayoutClassNameA();
// The engine's handling of a message of a window that shows a page. *handled tells whether the
// caller should use the result instead of its own handling.
HTMLAYOUT_API LRESULT WINAPI HTMLayoutProcND(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                             BOOL* handled);
HTMLAYOUT_API VOID WINAPI HTMLayoutSetCallback(HWND window, HlNotifyProc callback, LPVOID param);
HTMLAYOUT_API UINT WINAPI HTMLayoutWindowAttachEventHandler(HWND window, HlElementProc proc, LPVOID tag,
                                                            UINT subscription);
HTMLAYOUT_API UINT WINAPI HTMLayoutWindowDetachEventHandler(HWND window, HlElementProc proc, LPVOID tag);
HTMLAYOUT_API BOOL WINAPI HTMLayoutLoadHtmlEx(HWND window, const BYTE* html, UINT size, LPCWSTR baseUrl);
HTMLAYOUT_API BOOL WINAPI HTMLayoutLoadFile(HWND window, LPCWSTR fileName);
HTMLAYOUT_API BOOL WINAPI HTMLayoutDataReady(HWND window, LPCWSTR uri, LPBYTE data, DWORD size);
HTMLAYOUT_API UINT WINAPI HTMLayoutGetRootElement(HWND window, HELEMENT* root);
// The elements below `element` (not itself) that match the selector, in document order.
HTMLAYOUT_API UINT WINAPI HTMLayoutSelectElements(HELEMENT element, LPCSTR selector,
                                                  HlSelectCallback callback, LPVOID param);
HTMLAYOUT_API UINT WINAPI HTMLayoutGetElementInnerTextCB(HELEMENT element, HlTextReceiver receiver,
                                                         LPVOID param);
HTMLAYOUT_API UINT WINAPI HTMLayoutGetMinWidth(HWND window);
HTMLAYOUT_API UINT WINAPI HTMLayoutGetMinHeight(HWND window, UINT width);
// *value is null when the element has no such attribute; it stays valid while the element lives.
HTMLAYOUT_API UINT WINAPI HTMLayoutGetAttributeByName(HELEMENT element, LPCSTR name, LPCWSTR* value);
HTMLAYOUT_API UINT WINAPI HTMLayoutGetElementHwnd(HELEMENT element, HWND* window, BOOL rootWindow);
HTMLAYOUT_API UINT WINAPI HTMLayoutCallBehaviorMethod(HELEMENT element, HlMethodRecord* method);
HTMLAYOUT_API UINT WINAPI HTMLayout_UseElement(HELEMENT element);
HTMLAYOUT_API UINT WINAPI HTMLayout_UnuseElement(HELEMENT element);
