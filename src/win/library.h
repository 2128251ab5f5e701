#pragma once
#include "win/handles.h"

// Loads a Windows library from the system folder only, never from the program's folder or the
// current directory, so that a DLL planted beside setup.exe cannot run.
UniqueLibrary LoadSystemLibrary(const wchar_t* name);

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
