#include "win/library.h"

namespace {

HMODULE LoadWithFlags(const wchar_t* path, DWORD flags)
{
    return LoadLibraryExW(path, nullptr, flags);
}

}  // namespace

UniqueLibrary LoadSystemLibrary(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return UniqueLibrary();
    std::wstring path(folder, length);
    path += L'\\';
    path += name;
    return LoadLibraryAt(path, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

UniqueLibrary LoadLibraryAt(const std::wstring& path, DWORD searchFlags, LibraryLoader load)
{
    if (!load)
        load = LoadWithFlags;
    HMODULE module = load(path.c_str(), searchFlags);
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER)
        module = load(path.c_str(), LOAD_WITH_ALTERED_SEARCH_PATH);
    return UniqueLibrary(module);
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
