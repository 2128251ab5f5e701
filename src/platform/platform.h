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

// The processor architecture of Windows itself (GetNativeSystemInfo where the system has it,
// else GetSystemInfo): PROCESSOR_ARCHITECTURE_INTEL on 32-bit Windows only.
WORD NativeProcessorArchitecture();

// CheckTokenMembership of the caller's own token, looked up in advapi32 at run time; false when
// the library, the function or the call fails.
bool TokenIsMemberOf(PSID group);

// GetVersionExW into the record (whose size field the caller set).
BOOL GetWindowsVersion(OSVERSIONINFOW* version);

// VerifyVersionInfoW.
BOOL VerifyWindowsVersion(OSVERSIONINFOEXW* version, DWORD typeMask, DWORDLONG conditionMask);

// A high-contrast scheme is on (SystemParametersInfoW SPI_GETHIGHCONTRAST, HCF_HIGHCONTRASTON).
bool HighContrastOn();

// ExitWindowsEx: ends the session, or restarts the computer.
BOOL RequestExitWindows(UINT flags, DWORD reason);

// LoadLibraryExW. Windows before 8 without the update that adds the LOAD_LIBRARY_SEARCH_ flags
// refuses them with ERROR_INVALID_PARAMETER.
HMODULE LoadLibraryWithFlags(const wchar_t* path, DWORD flags);

}  // namespace platform
