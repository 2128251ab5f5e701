#include "guards/process_guards.h"

#include "app/settings.h"
#include "log/setup_log.h"
#include "msi/package_info.h"
#include "platform/platform.h"
#include "win/library.h"
#include "win/process.h"
#include "win/text.h"

namespace {

// A planned restart for an application's installation (0x84040002): the planned flag, the flag
// 0x04000000, major reason application, minor reason installation.
constexpr DWORD kRestartReason = SHTDN_REASON_FLAG_PLANNED | 0x04000000 | SHTDN_REASON_MAJOR_APPLICATION |
                                 SHTDN_REASON_MINOR_INSTALLATION;

}  // namespace

bool IsAlreadyRunning(UniqueHandle& mutex)
{
    const std::wstring name = L"Global\\_KVSETUP_" + g_PackageInfo.ProductCode;
    HANDLE handle = CreateMutexW(nullptr, FALSE, name.c_str());
    const DWORD error = GetLastError();
    mutex.Reset(handle);
    return handle == nullptr || error == ERROR_ALREADY_EXISTS;
}

bool IsUserAdmin()
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueSid administrators;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                  0, 0, 0, 0, 0, 0, administrators.Receive()))
        return false;
    return platform::TokenIsMemberOf(administrators.Get());
}

bool IsNativeX86()
{
    return platform::NativeProcessorArchitecture() == PROCESSOR_ARCHITECTURE_INTEL;
}

bool IsWin2000OrLater()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    // A failed call leaves the major version 0, which answers no.
    platform::GetWindowsVersion(&version);
    return version.dwMajorVersion >= 5;
}

bool EnableShutdownPrivilege()
{
    using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE*);
    using LookupPrivilegeValueAFn = BOOL(WINAPI*)(const char*, const char*, LUID*);
    using AdjustTokenPrivilegesFn = BOOL(WINAPI*)(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*);

    UniqueLibrary advapi = LoadSystemLibrary(L"advapi32.dll");
    auto openToken = GetProc<OpenProcessTokenFn>(advapi.Get(), "OpenProcessToken");
    auto lookup = GetProc<LookupPrivilegeValueAFn>(advapi.Get(), "LookupPrivilegeValueA");
    auto adjust = GetProc<AdjustTokenPrivilegesFn>(advapi.Get(), "AdjustTokenPrivileges");
    if (!openToken || !lookup || !adjust)
        return false;
    UniqueHandle token;
    if (!openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive()))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    lookup(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    adjust(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds without assigning a privilege the token lacks; only the
    // last error tells.
    return GetLastError() == ERROR_SUCCESS;
}

void RestartComputer()
{
    EnableShutdownPrivilege();
    platform::RequestExitWindows(EWX_REBOOT, kRestartReason);
}

bool SplitElevatedCommand(const std::wstring& commandLine, std::wstring& program, std::wstring& parameters)
{
    if (commandLine.size() >= 7 && EqualsNoCase(commandLine.substr(0, 7), L"msiexec")) {
        const size_t blank = commandLine.find_first_of(L" \t");
        if (blank == std::wstring::npos)
            return false;
        program = commandLine.substr(0, blank);
        parameters = commandLine.substr(blank + 1);
        return true;
    }
    if (commandLine.empty() || commandLine[0] != L'"')
        return false;
    const size_t closing = commandLine.find(L'"', 1);
    if (closing == std::wstring::npos)
        return false;
    program = commandLine.substr(1, closing - 1);
    // One character after the closing quote separates the program from its parameters.
    parameters = closing + 2 <= commandLine.size() ? commandLine.substr(closing + 2) : std::wstring();
    return true;
}

DWORD RunElevated(const std::wstring& commandLine)
{
    std::wstring program;
    std::wstring parameters;
    if (!SplitElevatedCommand(commandLine, program, parameters))
        return ERROR_BAD_ARGUMENTS;

    UniqueHandle process;
    // Below the full user-interface level nothing may wait for an answer.
    if (!StartElevated(program, parameters, g_Settings.UILevel != kUILevelFull, process)) {
        const DWORD error = GetLastError();
        LogPrintf(L"Function ::ShellExecuteEx('%s' '%s') failed. Error=%d.\r\n", program.c_str(),
                  parameters.c_str(), static_cast<int>(error));
        return error;
    }
    return WaitForExitCode(process.Get());
}
