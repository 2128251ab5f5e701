#include "win/library.h"

#include <string>

UniqueLibrary LoadSystemLibrary(const wchar_t* name)
{
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module)
        return UniqueLibrary(module);
    // Systems without the search flags answer ERROR_INVALID_PARAMETER: name the full path instead.
    if (GetLastError() != ERROR_INVALID_PARAMETER)
        return UniqueLibrary();
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return UniqueLibrary();
    std::wstring path(folder, length);
    path += L'\\';
    path += name;
    return UniqueLibrary(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
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
