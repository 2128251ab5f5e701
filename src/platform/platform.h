#pragma once
#include <windows.h>

// The few facts and actions of Windows that a test must control. The program links the Win32
// implementation (platform_win32.cpp); the unit tests link a scripted fake.
namespace platform {

// The user's default UI language for the program's texts (GetUserDefaultLangID).
LANGID UserDefaultLangId();

// The local time used for log stamps and the log file's name.
SYSTEMTIME LocalTime();

// A message box; answers the button pressed (IDOK, IDYES, ...).
int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

}  // namespace platform
