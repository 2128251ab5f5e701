#include "win/process.h"

#include <shellapi.h>

namespace {

// Answers 0 when the process ended, else the failed wait's error code.
DWORD WaitWithMessages(HANDLE process)
{
    for (;;) {
        // Messages already in the queue count too: with one message taken per wake-up, a second
        // one queued beside it would otherwise wait for the next new input.
        const DWORD result = MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0)
            return 0;
        if (result != WAIT_OBJECT_0 + 1)
            return GetLastError();
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

}  // namespace

bool StartProcess(const std::wstring& commandLine, bool inheritHandles, DWORD creationFlags, STARTUPINFOW& startup,
                  StartedProcess& started)
{
    // CreateProcessW may write into the command line it is given.
    std::wstring mutableLine = commandLine;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, inheritHandles ? TRUE : FALSE, creationFlags,
                        nullptr, nullptr, &startup, &info))
        return false;
    started.process.Reset(info.hProcess);
    started.thread.Reset(info.hThread);
    return true;
}

bool StartElevated(const std::wstring& program, const std::wstring& parameters, bool quiet, UniqueHandle& process)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | (quiet ? SEE_MASK_FLAG_NO_UI : 0);
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOW;
    if (!ShellExecuteExW(&info))
        return false;
    process.Reset(info.hProcess);
    return true;
}

DWORD WaitForExitCode(HANDLE process)
{
    const DWORD waited = WaitWithMessages(process);
    if (waited != 0)
        return waited;
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    return exitCode;
}
