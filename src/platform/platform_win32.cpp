#include "platform/platform.h"

#include "win/library.h"

namespace platform {

LANGID UserDefaultLangId()
{
    return GetUserDefaultLangID();
}

SYSTEMTIME LocalTime()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now;
}

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags)
{
    return MessageBoxW(owner, text, caption, flags);
}

WORD NativeProcessorArchitecture()
{
    using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);
    SYSTEM_INFO info = {};
    // GetNativeSystemInfo came with Windows XP; before it a process saw the system as it is.
    auto getNative = GetProc<GetNativeSystemInfoFn>(GetModuleHandleW(L"kernel32.dll"), "GetNativeSystemInfo");
    if (getNative)
        getNative(&info);
    else
        GetSystemInfo(&info);
    return info.wProcessorArchitecture;
}

bool TokenIsMemberOf(PSID group)
{
    using CheckTokenMembershipFn = BOOL(WINAPI*)(HANDLE, PSID, BOOL*);
    UniqueLibrary advapi = LoadSystemLibrary(L"advapi32.dll");
    auto check = GetProc<CheckTokenMembershipFn>(advapi.Get(), "CheckTokenMembership");
    BOOL member = FALSE;
    if (!check || !check(nullptr, group, &member))
        return false;
    return member != FALSE;
}

BOOL GetWindowsVersion(OSVERSIONINFOW* version)
{
    return GetVersionExW(version);
}

BOOL VerifyWindowsVersion(OSVERSIONINFOEXW* version, DWORD typeMask, DWORDLONG conditionMask)
{
    return VerifyVersionInfoW(version, typeMask, conditionMask);
}

bool HighContrastOn()
{
    HIGHCONTRASTW contrast = {};
    contrast.cbSize = sizeof(contrast);
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

BOOL RequestExitWindows(UINT flags, DWORD reason)
{
    return ExitWindowsEx(flags, reason);
}

HMODULE LoadLibraryWithFlags(const wchar_t* path, DWORD flags)
{
    return LoadLibraryExW(path, nullptr, flags);
}

}  // namespace platform
