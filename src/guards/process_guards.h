#pragma once
#include <windows.h>

#include <string>

#include "win/handles.h"

// Marks a running setup of the package's product with the mutex "Global\_KVSETUP_" + ProductCode.
// mutex receives the handle (empty when creation failed); the caller keeps it until it is done.
// True when another setup of the product runs, or when the mutex could not be created.
bool IsAlreadyRunning(UniqueHandle& mutex);

// Whether the process token is a member of the Administrators group; false when that cannot
// be told.
bool IsUserAdmin();

// Whether Windows itself is 32-bit x86 (a 32-bit process on 64-bit Windows sees false).
bool IsNativeX86();

// Whether Windows reports major version 5 or later.
bool IsWin2000OrLater();

// Enables SeShutdownPrivilege in the process token. True without error.
bool EnableShutdownPrivilege();

// Restarts the computer as a planned restart for an installation; failures are not reported.
void RestartComputer();

// The program and parameter parts of a command line started elevated: a quoted program and
// what follows the one separator after its closing quote, or for msiexec the text before and
// after the first blank or tab. False when the line has no such form.
bool SplitElevatedCommand(const std::wstring& commandLine, std::wstring& program, std::wstring& parameters);

// Starts the command line with the shell verb "runas" and waits for it while dispatching
// window messages. Answers the process's exit code, or a Windows error code (160 for a command
// line that cannot be split).
DWORD RunElevated(const std::wstring& commandLine);
