#include "msi/msi_api.h"

#include "app/settings.h"
#include "log/setup_log.h"
#include "win/exception_guard.h"
#include "win/library.h"

namespace {

// INSTALLLOGMODE_FATALEXIT up to INSTALLLOGMODE_EXTRADEBUG, without RESOLVESOURCE.
constexpr DWORD kEngineLogMode = 0x1FDF;
constexpr DWORD kLogAppend = 1;  // INSTALLLOGATTRIBUTES_APPEND

template <class Function>
void Bind(HMODULE module, Function& pointer, const char* name)
{
    pointer = GetProc<Function>(module, name);
}

// An exception escaping the engine is logged and the call answers 1603.
template <class Call>
UINT GuardEngineCall(Call call)
{
    UINT result = kMsiInstallFailure;
    DWORD exceptionCode = 0;
    if (RunGuarded([&] { result = call(); }, exceptionCode))
        return result;
    LogPrintf(L"Hardware exception occur. Exception code 0x%X.\r\n", static_cast<unsigned>(exceptionCode));
    return kMsiInstallFailure;
}

}  // namespace

bool MsiApi::IsComplete() const
{
    return module && MsiSetInternalUI && MsiInstallProductW && MsiApplyPatchW &&
           MsiReinstallProductW && MsiQueryProductStateW && MsiOpenDatabaseW && MsiDatabaseOpenViewW &&
           MsiViewExecute && MsiViewFetch && MsiRecordGetStringW && MsiCloseHandle &&
           MsiGetProductInfoW && MsiEnableLogW && MsiGetSummaryInformationW &&
           MsiSummaryInfoGetPropertyW && MsiRecordReadStream;
}

MsiApi LoadMsiApi()
{
    MsiApi api;
    api.module = LoadSystemLibrary(L"msi.dll");
    if (!api.module)
        return api;
    HMODULE m = api.module.Get();
    // Each operation takes and frees its own reference, but the library stays mapped for the
    // rest of the run: unloading it (and the two dozen libraries it brings) between the
    // package reading and the installation would only load it all again.
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(m), &pinned);
    Bind(m, api.MsiSetInternalUI, "MsiSetInternalUI");
    Bind(m, api.MsiInstallProductW, "MsiInstallProductW");
    Bind(m, api.MsiApplyPatchW, "MsiApplyPatchW");
    Bind(m, api.MsiReinstallProductW, "MsiReinstallProductW");
    Bind(m, api.MsiQueryProductStateW, "MsiQueryProductStateW");
    Bind(m, api.MsiOpenDatabaseW, "MsiOpenDatabaseW");
    Bind(m, api.MsiDatabaseOpenViewW, "MsiDatabaseOpenViewW");
    Bind(m, api.MsiViewExecute, "MsiViewExecute");
    Bind(m, api.MsiViewFetch, "MsiViewFetch");
    Bind(m, api.MsiRecordGetStringW, "MsiRecordGetStringW");
    Bind(m, api.MsiCloseHandle, "MsiCloseHandle");
    Bind(m, api.MsiGetProductInfoW, "MsiGetProductInfoW");
    Bind(m, api.MsiEnableLogW, "MsiEnableLogW");
    Bind(m, api.MsiGetSummaryInformationW, "MsiGetSummaryInformationW");
    Bind(m, api.MsiSummaryInfoGetPropertyW, "MsiSummaryInfoGetPropertyW");
    Bind(m, api.MsiRecordReadStream, "MsiRecordReadStream");
    return api;
}

bool MsiQueryValue(const MsiApi& api, MSIHANDLE database, const wchar_t* sql, std::wstring& value)
{
    MsiHandleOwner view(api);
    MsiHandleOwner record(api);
    wchar_t buffer[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (api.MsiDatabaseOpenViewW(database, sql, view.Receive()) != ERROR_SUCCESS ||
        api.MsiViewExecute(view.Get(), 0) != ERROR_SUCCESS ||
        api.MsiViewFetch(view.Get(), record.Receive()) != ERROR_SUCCESS ||
        api.MsiRecordGetStringW(record.Get(), 1, buffer, &size) != ERROR_SUCCESS)
        return false;
    value = buffer;
    return true;
}

bool EngineTakesPath(const std::wstring& path)
{
    if (path.size() < MAX_PATH)
        return true;
    LogPrintf(L"Package path '%s' is too long for the Windows Installer.\r\n", path.c_str());
    return false;
}

UINT CallMsiInstallProduct(const MsiApi& api, const std::wstring& commandLine)
{
    return GuardEngineCall(
        [&] { return api.MsiInstallProductW(g_Settings.PackagePath.c_str(), commandLine.c_str()); });
}

UINT CallMsiApplyPatch(const MsiApi& api, const std::wstring& patchPath, const wchar_t* installPackage,
                       INSTALLTYPE installType, const std::wstring& commandLine)
{
    if (!EngineTakesPath(patchPath))
        return ERROR_FILENAME_EXCED_RANGE;
    return GuardEngineCall([&] {
        return api.MsiApplyPatchW(patchPath.c_str(), installPackage, installType, commandLine.c_str());
    });
}

void SetEngineUILevel(const MsiApi& api, int level)
{
    api.MsiSetInternalUI(static_cast<INSTALLUILEVEL>(level), nullptr);
}

void EnableEngineLog(const MsiApi& api)
{
    api.MsiEnableLogW(kEngineLogMode, g_Settings.LogPath.c_str(), kLogAppend);
}
