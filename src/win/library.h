#pragma once
#include <string>

#include "win/handles.h"

// Loads a Windows library from the system folder only, never from the program's folder or the
// current directory, so that a DLL planted beside setup.exe cannot run.
UniqueLibrary LoadSystemLibrary(const wchar_t* name);

// LoadLibraryExW, or a stand-in of it.
using LibraryLoader = HMODULE (*)(const wchar_t* path, DWORD flags);

// Loads the library at a full path with the search flags. Where the system does not know them
// (ERROR_INVALID_PARAMETER), the same full path is loaded with LOAD_WITH_ALTERED_SEARCH_PATH:
// its own imports are then looked for beside it first and in the system folder, and the current
// directory, dropped from the search at start-up, is not searched.
UniqueLibrary LoadLibraryAt(const std::wstring& path, DWORD searchFlags, LibraryLoader load = nullptr);

// Restricts every later library search of the process (ours and the system's own) to the
// system folder. Called first thing at start-up.
void RestrictDllSearchToSystemFolder();

template <class Function>
Function GetProc(HMODULE module, const char* name)
{
    if (!module)
        return nullptr;
    // The cast through void* keeps -Wcast-function-type quiet: the caller names the real type.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
