#include "fake_platform.h"

#include "platform/platform.h"

bool ShutdownPrivilegeEnabled()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    LUID shutdown;
    LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &shutdown);
    BYTE buffer[4096];
    DWORD size = 0;
    bool enabled = false;
    if (GetTokenInformation(token, TokenPrivileges, buffer, sizeof(buffer), &size)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer);
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID& luid = privileges->Privileges[i].Luid;
            if (luid.LowPart == shutdown.LowPart && luid.HighPart == shutdown.HighPart)
                enabled = (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    CloseHandle(token);
    return enabled;
}

FakePlatform& Fake()
{
    static FakePlatform fake;
    return fake;
}

namespace platform {

LANGID UserDefaultLangId()
{
    return Fake().userLanguage;
}

SYSTEMTIME LocalTime()
{
    return Fake().localTime;
}

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags)
{
    FakePlatform& fake = Fake();
    fake.boxes.push_back({owner, text ? text : L"", caption ? caption : L"", flags});
    if (fake.answers.empty())
        return IDOK;
    int answer = fake.answers.front();
    fake.answers.pop_front();
    return answer;
}

WORD NativeProcessorArchitecture()
{
    return Fake().nativeArchitecture;
}

bool TokenIsMemberOf(PSID group)
{
    // Only the Administrators group is ever asked about; any other SID is a fault of the caller.
    return Fake().administrator && IsWellKnownSid(group, WinBuiltinAdministratorsSid);
}

BOOL GetWindowsVersion(OSVERSIONINFOW* version)
{
    // As Windows: a record of another size is refused and left as it was.
    if (Fake().versionCallFails || version->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW))
        return FALSE;
    version->dwMajorVersion = Fake().major;
    version->dwMinorVersion = Fake().minor;
    return TRUE;
}

// Answers as Windows does for the "at least" comparison of all four numbers, which is the one
// the program asks: the numbers compare in order, the first unequal one decides.
BOOL VerifyWindowsVersion(OSVERSIONINFOEXW* wanted, DWORD typeMask, DWORDLONG conditionMask)
{
    const DWORD all = VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR;
    DWORDLONG atLeast = 0;
    for (DWORD type : {VER_MAJORVERSION, VER_MINORVERSION, VER_SERVICEPACKMAJOR, VER_SERVICEPACKMINOR})
        atLeast = VerSetConditionMask(atLeast, type, VER_GREATER_EQUAL);
    if (typeMask != all || conditionMask != atLeast || wanted->dwOSVersionInfoSize != sizeof(*wanted))
        return FALSE;
    const FakePlatform& fake = Fake();
    const unsigned long long have[] = {fake.major, fake.minor, fake.servicePackMajor, fake.servicePackMinor};
    const unsigned long long want[] = {wanted->dwMajorVersion, wanted->dwMinorVersion, wanted->wServicePackMajor,
                                       wanted->wServicePackMinor};
    for (int i = 0; i < 4; ++i) {
        if (have[i] != want[i])
            return have[i] > want[i];
    }
    return TRUE;
}

BOOL RequestExitWindows(UINT flags, DWORD reason)
{
    Fake().exits.push_back({flags, reason, ShutdownPrivilegeEnabled()});
    return TRUE;
}

}  // namespace platform
