// pagebox: a page of the corpus (tests/pages) laid out and painted by the engine's own code, as
// the start screen shows it, for e2e_test_pages to hold against a browser's measurements.
//
//   pagebox PAGE.html WIDTH HEIGHT SHOT.bmp [ENGINE.dll ENGINE-SHOT.bmp]
//
// Opens a window whose client area is WIDTH x HEIGHT, loads the page from its file (its images
// from the files beside it), paints it, writes the client area to SHOT.bmp and prints as JSON
// {"boxes": {id: [x, y, w, h]}, "text": {id: [x, y, w, h]}}: the border box of every element
// with an id below <body>, and the box around the element's own text (its text nodes' pieces),
// in client coordinates. An element that is not shown gets 0, 0, 0, 0, as in a browser.
// Given the shipped engine, which another compiler builds from the same sources, it also paints
// the page through the engine's own window class into ENGINE-SHOT.bmp, to be compared with SHOT.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "html_parser.h"
#include "view.h"
#include "win/handles.h"
#include "win/library.h"

namespace {

LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    BOOL handled = FALSE;
    hl::View* view = hl::View::Of(window, true);
    const LRESULT result = view ? view->Proc(message, wParam, lParam, handled) : 0;
    return handled ? result : DefWindowProcW(window, message, wParam, lParam);
}

std::string Json(const std::wstring& id, int x, int y, int width, int height)
{
    char box[200];
    snprintf(box, sizeof box, "\"%ls\": [%d, %d, %d, %d]", id.c_str(), x, y, width, height);
    return box;
}

// Shows the window and writes its client area as a 24-bit bottom-up BMP file.
bool WriteShot(HWND window, int width, int height, const wchar_t* path)
{
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    void* bits = nullptr;
    UniqueMemoryDC memory(CreateCompatibleDC(nullptr));
    UniqueBitmap bitmap(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0));
    HDC screen = GetDC(window);
    HGDIOBJ old = SelectObject(memory.Get(), bitmap.Get());
    const bool copied = bitmap && BitBlt(memory.Get(), 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory.Get(), old);
    ReleaseDC(window, screen);
    const DWORD size = ((width * 3 + 3) & ~3) * height;
    BITMAPFILEHEADER file = {0x4D42, DWORD(sizeof file + sizeof info + size), 0, 0, DWORD(sizeof file + sizeof info)};
    UniqueHandle out(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return copied && out && WriteFile(out.Get(), &file, sizeof file, &written, nullptr) &&
           WriteFile(out.Get(), &info, sizeof info, &written, nullptr) && WriteFile(out.Get(), bits, size, &written, nullptr);
}

// The page painted by the shipped engine in a window of its own class.
bool ShootThroughEngine(const wchar_t* engine, const wchar_t* page, int width, int height, const wchar_t* path)
{
    UniqueLibrary library(LoadLibraryW(engine));
    auto className = GetProc<LPCSTR(WINAPI*)()>(library.Get(), "HTMLayoutClassNameA");
    auto loadFile = GetProc<BOOL(WINAPI*)(HWND, LPCWSTR)>(library.Get(), "HTMLayoutLoadFile");
    HWND window = className && loadFile ? CreateWindowExA(WS_EX_TOPMOST, className(), "engine", WS_POPUP, 0, 0, width,
                                                          height, nullptr, nullptr, nullptr, nullptr)
                                        : nullptr;
    const bool written = window && loadFile(window, page) && WriteShot(window, width, height, path);
    if (window)
        DestroyWindow(window);
    return written;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5 && argc != 7) {
        fwprintf(stderr, L"usage: pagebox PAGE.html WIDTH HEIGHT SHOT.bmp [ENGINE.dll ENGINE-SHOT.bmp]\n");
        return 1;
    }
    const int width = _wtoi(argv[2]), height = _wtoi(argv[3]);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = PageProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"pagebox";
    RegisterClassW(&windowClass);
    // A pop-up has no frame: its client area is the whole window, the page's viewport.
    HWND window = CreateWindowExW(WS_EX_TOPMOST, L"pagebox", L"pagebox", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    std::vector<BYTE> data;
    hl::View* view = window ? hl::View::Of(window, true) : nullptr;
    if (!view || !hl::ReadLocalFile(argv[1], data) || !view->Load(hl::DecodePage(data.data(), data.size()), argv[1], true)) {
        fwprintf(stderr, L"pagebox: cannot load %ls\n", argv[1]);
        return 2;
    }
    if (!WriteShot(window, width, height, argv[4])) {
        fwprintf(stderr, L"pagebox: cannot write %ls\n", argv[4]);
        return 3;
    }
    std::string boxes, text;
    for (hl::Element* body : view->Root()->children)
        hl::ForEachDescendant(body, [&](hl::Element* e) {
            const std::wstring* id = e->Attribute(L"id");
            if (body->tag != L"body" || e->IsText() || !id)
                return;
            const bool shown = hl::IsShown(e);
            const hl::Box& b = e->box;
            boxes += (boxes.empty() ? "" : ", ") + (shown ? Json(*id, b.x, b.y, b.width, b.height) : Json(*id, 0, 0, 0, 0));
            int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
            for (const hl::Element* child : e->children) {
                if (!shown || !child->IsText() || child->text.find_first_not_of(L" \t\r\n") == std::wstring::npos)
                    continue;
                for (const hl::TextPiece& p : child->pieces) {
                    left = std::min(left, p.x), top = std::min(top, p.y);
                    right = std::max(right, p.x + p.width), bottom = std::max(bottom, p.y + p.height);
                }
            }
            if (right > left)
                text += (text.empty() ? "" : ", ") + Json(*id, left, top, right - left, bottom - top);
        });
    printf("{\"boxes\": {%s}, \"text\": {%s}}\n", boxes.c_str(), text.c_str());
    DestroyWindow(window);
    if (argc == 7 && !ShootThroughEngine(argv[5], argv[1], width, height, argv[6])) {
        fwprintf(stderr, L"pagebox: %ls cannot show %ls\n", argv[5], argv[1]);
        return 4;
    }
    return 0;
}
