#pragma once
#include <windows.h>

#include <string>

#include "win/handles.h"

// A started child process: both handles, closed with their owner.
struct StartedProcess {
    UniqueHandle process;
    UniqueHandle thread;
};

// CreateProcessW with no application name, so the program is the command line's first token;
// no security attributes, environment or folder of its own. False with the Windows error in
// GetLastError when it cannot be started.
bool StartProcess(const std::wstring& commandLine, bool inheritHandles, DWORD creationFlags, STARTUPINFOW& startup,
                  StartedProcess& started);

// Starts the program through the shell verb "runas" (elevated), shown, without an owner window;
// quiet, the shell shows no box of its own when it cannot (the elevation prompt still shows).
// False with the Windows error in GetLastError; otherwise process owns the started process.
bool StartElevated(const std::wstring& program, const std::wstring& parameters, bool quiet, UniqueHandle& process);

// Waits for the process to end while dispatching the thread's window messages, so the setup's
// windows stay responsive. Answers its exit code, or the failed wait's error code.
DWORD WaitForExitCode(HANDLE process);
