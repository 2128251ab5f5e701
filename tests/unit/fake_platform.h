#pragma once
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

// What the unit tests' platform answers and what it was asked.
struct ShownBox {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT flags;
};

struct FakePlatform {
    LANGID userLanguage = 0x0409;
    SYSTEMTIME localTime = {2026, 12, 5, 4, 16, 44, 5, 0};
    std::vector<ShownBox> boxes;
    std::deque<int> answers;  // popped per box; IDOK when empty

    void Reset() { *this = FakePlatform(); }
};

FakePlatform& Fake();
