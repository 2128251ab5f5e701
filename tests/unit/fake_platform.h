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

struct ExitRequest {
    UINT flags;
    DWORD reason;
    bool shutdownPrivilegeEnabled;  // in the process token when the request was made
};

struct FakePlatform {
    LANGID userLanguage = 0x0409;
    // 64-bit Windows 7 with service pack 1, a user in the Administrators group.
    WORD nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    bool administrator = true;
    DWORD major = 6;
    DWORD minor = 1;
    WORD servicePackMajor = 1;
    WORD servicePackMinor = 0;
    bool versionCallFails = false;
    std::vector<ExitRequest> exits;
    SYSTEMTIME localTime = {2026, 12, 5, 4, 16, 44, 5, 0};
    std::vector<ShownBox> boxes;
    std::deque<int> answers;  // popped per box; IDOK when empty

    void Reset() { *this = FakePlatform(); }
};

FakePlatform& Fake();

// Whether SeShutdownPrivilege is enabled in the process token right now.
bool ShutdownPrivilegeEnabled();
