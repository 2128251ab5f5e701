#include "win/library.h"

namespace {

HMODULE LoadWithFlags(const wchar_t* path, DWORD flags)
{
    return LoadLibraryExW(path, nullptr, flags);
}

// Loads what `file` names with the search flags. Systems without the flags answer
// ERROR_INVALID_PARAMETER: the full path is loaded with the altered search path instead.
UniqueLibrary LoadSearching(const wchar_t* file, DWORD flags, const std::wstring& fullPath, LibraryLoader load)
{
    HMODULE module = load(file, flags);
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER && !fullPath.empty())
        module = load(fullPath.c_str(), LOAD_WITH_ALTERED_SEARCH_PATH);
    return UniqueLibrary(module);
}

}  // namespace

UniqueLibrary LoadSystemLibrary(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    std::wstring path;
    if (length != 0 && length < MAX_PATH)
        path.append(folder, length).append(1, L'\\').append(name);
    // By its name: a library of that name already loaded is the one answered.
    return LoadSearching(name, LOAD_LIBRARY_SEARCH_SYSTEM32, path, LoadWithFlags);
}

UniqueLibrary LoadLibraryAt(const std::wstring& path, DWORD searchFlags, LibraryLoader load)
{
    return LoadSearching(path.c_str(), searchFlags, path, load ? load : LoadWithFlags);
}

void RestrictDllSearchToSystemFolder()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefault = GetProc<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Also drop the current directory from the search of older systems.
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
    auto setDllDirectory = GetProc<SetDllDirectoryFn>(kernel, "SetDllDirectoryW");
    if (setDllDirectory)
        setDllDirectory(L"");
}
