#include "prereq/system_checks.h"

#include <shlobj.h>

#include <cwchar>

#include "config/setup_ini.h"
#include "log/error_text.h"
#include "log/setup_log.h"
#include "platform/platform.h"
#include "prereq/process_runner.h"
#include "win/handles.h"
#include "win/library.h"

namespace {

// shell32.dll from the system folder, held for the folder query of one expansion.
class CShell32 {
public:
    CShell32()
        : module_(LoadSystemLibrary(L"shell32.dll")),
          getFolderPath_(GetProc<GetFolderPathFn>(module_.Get(), "SHGetFolderPathW"))
    {
    }

    // The common program files folder; empty when the library or the function is missing.
    std::wstring CommonProgramFiles() const
    {
        wchar_t folder[MAX_PATH] = {};
        if (getFolderPath_)
            getFolderPath_(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT, folder);
        return folder;
    }

private:
    using GetFolderPathFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    UniqueLibrary module_;
    GetFolderPathFn getFolderPath_;
};

Version VersionOf(DWORD versionMS, DWORD versionLS)
{
    return Version{HIWORD(versionMS), LOWORD(versionMS), HIWORD(versionLS), LOWORD(versionLS)};
}

}  // namespace

bool IsFullyQualified(const std::wstring& path)
{
    if (path.compare(0, 2, L"\\\\") == 0)
        return true;
    return path.size() >= 3 && (path[0] | 0x20) >= L'a' && (path[0] | 0x20) <= L'z' && path[1] == L':' &&
           path[2] == L'\\';
}

void ReplaceMacro(std::wstring& text, const wchar_t* macro, const std::wstring& replacement)
{
    const size_t macroLength = wcslen(macro);
    for (size_t at = text.find(macro); at != std::wstring::npos;
         at = text.find(macro, at + replacement.size()))
        text.replace(at, macroLength, replacement);
}

std::wstring RootFolder()
{
    return GetModulePath(false, false);
}

void ExpandPathMacros(std::wstring& path)
{
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    ReplaceMacro(path, L"#System#", system);
    // Loading shell32 is the costly part of an expansion: only a path that uses the macro pays.
    if (path.find(L"#CommonProgramFiles#") != std::wstring::npos)
        ReplaceMacro(path, L"#CommonProgramFiles#", CShell32().CommonProgramFiles());
    ReplaceMacro(path, L"#Root#", RootFolder());
}

bool IsValidFileVersion(const std::wstring& path, const Version& lowest, int tryLoad)
{
    if (tryLoad) {
        // The file the ini names, by its own path: whether it loads is what is asked. An
        // installed library finds its own dependencies beside itself and in the system folder;
        // the setup's folder, which may be a downloads folder, is never searched (the "default
        // directories" flag would add it).
        UniqueLibrary library = IsFullyQualified(path)
                                    ? LoadLibraryAt(path, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32,
                                                    platform::LoadLibraryWithFlags)
                                    : UniqueLibrary(LoadLibraryExW(path.c_str(), nullptr, 0));
        if (!library) {
            LogPrintf(L"IsValidFileVersion() failed. Can't load file '%s'. %s\r\n", path.c_str(),
                      ErrorText(GetLastError()).c_str());
            return false;
        }
    }
    DWORD versionMS = 0;
    DWORD versionLS = 0;
    const DWORD error = ReadFileVersion(path, versionMS, versionLS);
    if (error != ERROR_SUCCESS) {
        LogPrintf(L"IsValidFileVersion() failed. Can't get version of file '%s'. %s\r\n", path.c_str(),
                  ErrorText(error).c_str());
        return false;
    }
    const Version version = VersionOf(versionMS, versionLS);
    if (CompareVersion(version, lowest) >= 0)
        return true;
    LogPrintf(L"IsValidFileVersion() failed. Current version(%s) of file '%s' early of required file "
              L"vesion(%s).\r\n",
              VersionText(version).c_str(), path.c_str(), VersionText(lowest).c_str());
    return false;
}

namespace {

// The last error of a failed call, or the fallback when the call left none: a failure must
// never read as success, which would count an unreadable file as new enough.
DWORD FailureCode(DWORD fallback)
{
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

}  // namespace

DWORD ReadFileVersion(const std::wstring& path, DWORD& versionMS, DWORD& versionLS)
{
    using GetFileVersionInfoSizeWFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using GetFileVersionInfoWFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using VerQueryValueWFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

    // version.dll is no protected system library: it comes from the system folder by name.
    UniqueLibrary version = LoadSystemLibrary(L"version.dll");
    auto getSize = GetProc<GetFileVersionInfoSizeWFn>(version.Get(), "GetFileVersionInfoSizeW");
    auto getInfo = GetProc<GetFileVersionInfoWFn>(version.Get(), "GetFileVersionInfoW");
    auto queryValue = GetProc<VerQueryValueWFn>(version.Get(), "VerQueryValueW");
    if (!getSize || !getInfo || !queryValue)
        return FailureCode(ERROR_PROC_NOT_FOUND);

    DWORD handle = 0;
    const DWORD size = getSize(path.c_str(), &handle);
    if (size == 0)
        return FailureCode(ERROR_RESOURCE_TYPE_NOT_FOUND);
    UniqueResource<NullableTraits<HGLOBAL, &GlobalFree>> block(GlobalAlloc(GPTR, size));
    if (!block)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (!getInfo(path.c_str(), 0, size, block.Get()))
        return FailureCode(ERROR_RESOURCE_TYPE_NOT_FOUND);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    // A block too short for the fixed information is read like a failed query, never past its end.
    if (queryValue(block.Get(), L"\\", reinterpret_cast<void**>(&fixed), &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        versionMS = fixed->dwFileVersionMS;
        versionLS = fixed->dwFileVersionLS;
    } else {
        versionMS = 0xFFFFFFFF;
        versionLS = 0xFFFFFFFF;
    }
    return ERROR_SUCCESS;
}

bool FileExists(const std::wstring& path)
{
    // No "insert a disk" box for an empty drive.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW(path.c_str(), &data));
    SetErrorMode(previousMode);
    return static_cast<bool>(find);
}

bool FindInPath(const std::wstring& names)
{
    std::vector<std::wstring> files;
    SplitList(names, L';', true, files);
    const DWORD size = GetEnvironmentVariableW(L"Path", nullptr, 0);
    if (size == 0)
        return false;
    std::wstring path(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"Path", &path[0], size);
    // A variable that grew between the two calls reads as unset.
    path.resize(length < size ? length : 0);
    std::vector<std::wstring> folders;
    SplitList(path, L';', true, folders);
    for (std::wstring& folder : folders) {
        if (folder.back() != L'\\')
            folder += L'\\';
        for (const std::wstring& file : files) {
            if (FileExists(folder + file))
                return true;
        }
    }
    return false;
}

bool UsesCheckingToolAnswer(const PrerequisiteInfo& record)
{
    // The rule serves the Stavora family only; for any other record the tool's answer is unused.
    return record.Name.compare(0, 7, L"Stavora") == 0;
}

bool CheckRunExeCondition(PrerequisiteInfo& record)
{
    std::wstring text;
    DWORD exitCode = 0;
    if (!RunExe(record.RunExeCond, text, exitCode))
        return false;
    if (!UsesCheckingToolAnswer(record))
        return false;
    record.Installed = false;
    switch (exitCode) {
    case 1:
        record.Installed = true;
        return false;
    case 2:
    case 4:
        record.ConditionText = text;
        record.UpdateMode = 1;
        return true;
    case 3:
        record.ConditionText = text;
        return true;
    default:
        return true;
    }
}
