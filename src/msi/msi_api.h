#pragma once
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>

#include "win/handles.h"

// The Windows Installer functions the program uses, looked up by name in msi.dll from the
// system folder. A table is usable only when complete; each operation loads its own and frees
// it on every way out.
struct MsiApi {
    UniqueLibrary module;
    INSTALLUILEVEL(WINAPI* MsiSetInternalUI)(INSTALLUILEVEL, HWND*) = nullptr;
    UINT(WINAPI* MsiInstallProductW)(LPCWSTR, LPCWSTR) = nullptr;
    UINT(WINAPI* MsiApplyPatchW)(LPCWSTR, LPCWSTR, INSTALLTYPE, LPCWSTR) = nullptr;
    UINT(WINAPI* MsiReinstallProductW)(LPCWSTR, DWORD) = nullptr;
    INSTALLSTATE(WINAPI* MsiQueryProductStateW)(LPCWSTR) = nullptr;
    UINT(WINAPI* MsiOpenDatabaseW)(LPCWSTR, LPCWSTR, MSIHANDLE*) = nullptr;
    UINT(WINAPI* MsiDatabaseOpenViewW)(MSIHANDLE, LPCWSTR, MSIHANDLE*) = nullptr;
    UINT(WINAPI* MsiViewExecute)(MSIHANDLE, MSIHANDLE) = nullptr;
    UINT(WINAPI* MsiViewFetch)(MSIHANDLE, MSIHANDLE*) = nullptr;
    UINT(WINAPI* MsiRecordGetStringW)(MSIHANDLE, UINT, LPWSTR, DWORD*) = nullptr;
    UINT(WINAPI* MsiCloseHandle)(MSIHANDLE) = nullptr;
    UINT(WINAPI* MsiGetProductInfoW)(LPCWSTR, LPCWSTR, LPWSTR, DWORD*) = nullptr;
    UINT(WINAPI* MsiEnableLogW)(DWORD, LPCWSTR, DWORD) = nullptr;
    UINT(WINAPI* MsiGetSummaryInformationW)(MSIHANDLE, LPCWSTR, UINT, MSIHANDLE*) = nullptr;
    UINT(WINAPI* MsiSummaryInfoGetPropertyW)(MSIHANDLE, UINT, UINT*, INT*, FILETIME*, LPWSTR,
                                             DWORD*) = nullptr;
    UINT(WINAPI* MsiRecordReadStream)(MSIHANDLE, UINT, char*, DWORD*) = nullptr;

    bool IsComplete() const;
};

MsiApi LoadMsiApi();

// Owner of one Windows Installer handle, closed through the table it came from.
class MsiHandleOwner {
public:
    explicit MsiHandleOwner(const MsiApi& api) : api_(api) {}
    ~MsiHandleOwner()
    {
        if (handle_)
            api_.MsiCloseHandle(handle_);
    }
    MsiHandleOwner(const MsiHandleOwner&) = delete;
    MsiHandleOwner& operator=(const MsiHandleOwner&) = delete;
    MSIHANDLE Get() const { return handle_; }
    MSIHANDLE* Receive() { return &handle_; }

private:
    const MsiApi& api_;
    MSIHANDLE handle_ = 0;
};

// The value of field 1 of the first record the query yields (under 260 characters).
bool MsiQueryValue(const MsiApi& api, MSIHANDLE database, const wchar_t* sql, std::wstring& value);

// Whether the engine can be given the package path: one of MAX_PATH characters or more is
// refused (and logged) before it, which some engines do not survive.
bool EngineTakesPath(const std::wstring& path);

// The installing calls, guarded: an exception escaping the engine is logged and becomes 1603.
UINT CallMsiInstallProduct(const MsiApi& api, const std::wstring& commandLine);
UINT CallMsiApplyPatch(const MsiApi& api, const std::wstring& patchPath, const wchar_t* installPackage,
                       INSTALLTYPE installType, const std::wstring& commandLine);

// Hands the engine the run's user-interface level and its setup log to append to.
void SetEngineUILevel(const MsiApi& api, int level);
void EnableEngineLog(const MsiApi& api);

constexpr UINT kMsiInstallFailure = 1603;
