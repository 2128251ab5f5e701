#include "prereq/process_runner.h"

#include <algorithm>

#include "app/settings.h"
#include "guards/process_guards.h"
#include "log/error_text.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "prereq/system_checks.h"
#include "resources/string_ids.h"
#include "win/handles.h"
#include "win/process.h"
#include "win/text.h"

CheckingToolLimit g_CheckingToolLimit;

namespace {

constexpr size_t kOutputChunk = 4096;
// How long one look at an empty pipe waits for the tool to end before looking again.
constexpr DWORD kPipePollMs = 10;

// Reads the tool's output while it runs, so a tool that fills the pipe never blocks. The output
// goes into the buffer in 4096-byte chunks from its start, each chunk written over the last from
// the buffer's start, whatever sizes the single reads had: at the end the buffer holds the last
// chunk, followed by what the chunk before it left beyond its end. Reading stops when the pipe
// breaks, or once the tool has ended and the pipe is empty: a process the tool left behind may
// still hold the pipe open, and its later output is not waited for.
// Answers 0 (or ERROR_BROKEN_PIPE) when everything was read, else the failed read's code.
DWORD ReadToolOutput(HANDLE pipe, HANDLE process, std::string& buffer)
{
    buffer.assign(kOutputChunk, '\0');
    size_t filled = 0;
    bool ended = false;
    const DWORD start = GetTickCount();
    for (;;) {
        if (!ended && GetTickCount() - start >= g_CheckingToolLimit.milliseconds)
            return WAIT_TIMEOUT;
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
            return GetLastError();
        if (available == 0) {
            if (ended)
                return 0;
            // Once the tool has ended, everything it wrote is in the pipe: one more look drains it.
            ended = WaitForSingleObject(process, kPipePollMs) == WAIT_OBJECT_0;
            continue;
        }
        const size_t start = filled == kOutputChunk ? 0 : filled;
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(available, kOutputChunk - start));
        DWORD read = 0;
        if (!ReadFile(pipe, &buffer[start], wanted, &read, nullptr))
            return GetLastError();
        if (read == 0)
            return 0;
        filled = start + read;
    }
}

std::wstring TrimBlanks(const std::wstring& text)
{
    const wchar_t blanks[] = L"\t\r\n ";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos)
        return std::wstring();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::wstring CheckingToolCommand(const std::wstring& command)
{
    std::wstring commandLine = command;
    ReplaceMacro(commandLine, L"#Root#", RootFolder());
    return commandLine;
}

bool RunExe(const std::wstring& command, std::wstring& text, DWORD& exitCode)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), &inheritable, 0)) {
        LogPrintf(L"RunExe::Function CreatePipe() failed. %s\r\n", ErrorText(GetLastError()).c_str());
        return false;
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd.Get();
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();

    // The log names the command as it was started, with the program's folder in place.
    const std::wstring commandLine = CheckingToolCommand(command);
    StartedProcess started;
    if (!StartProcess(commandLine, true, CREATE_NO_WINDOW, startup, started)) {
        LogPrintf(L"RunExe::Function CreateProcess('%s') failed. %s\r\n", commandLine.c_str(),
                  ErrorText(GetLastError()).c_str());
        return false;
    }
    const HANDLE process = started.process.Get();
    // Only the tool may hold the write end now, so the pipe breaks when it is done with it.
    writeEnd.Reset();

    std::string buffer;
    const DWORD readError = ReadToolOutput(readEnd.Get(), process, buffer);

    if (readError == WAIT_TIMEOUT) {
        TerminateProcess(process, WAIT_TIMEOUT);
        ++g_CheckingToolLimit.cutShort;
        return false;
    }
    WaitForSingleObject(process, INFINITE);
    GetExitCodeProcess(process, &exitCode);
    LogPrintf(L"Process '%s' return code %d\r\n", commandLine.c_str(), static_cast<int>(exitCode));

    if (readError != 0 && readError != ERROR_BROKEN_PIPE) {
        LogPrintf(L"RunExe::Function ReadFile() failed. %s\r\n", ErrorText(readError).c_str());
        return false;
    }
    // Up to the first zero byte; a full buffer has none and ends at its end.
    const size_t zero = buffer.find('\0');
    const size_t length = zero == std::string::npos ? buffer.size() : zero;
    text = TrimBlanks(AnsiToWide(buffer.data(), length, CP_UTF8));
    LogPrintf(L"Process '%s' return text '%s'\r\n", commandLine.c_str(), text.c_str());
    return true;
}

DWORD InstallComponent(const PrerequisiteInfo& record, std::wstring& errorText)
{
    std::wstring command = record.InstParams;
    if (record.UpdateMode == 1) {
        if (record.UpdateParams.empty()) {
            ReportMessage(g_Settings, GetForegroundWindow(), FormatText(IDS_NO_UPDATE_PARAMS, record.Name.c_str()),
                          LoadText(IDS_INSTALLATION_ERROR), MB_ICONWARNING);
            return ERROR_INVALID_PARAMETER;
        }
        command = record.UpdateParams;
    }

    wchar_t temp[MAX_PATH] = {};
    const DWORD tempLength = GetTempPathW(MAX_PATH, temp);
    if (tempLength == 0 || tempLength > MAX_PATH) {
        // A folder too long for the buffer sets no error code; it must not read as success.
        const DWORD error = GetLastError();
        return error != 0 ? error : ERROR_INSUFFICIENT_BUFFER;
    }

    if (!command.empty()) {
        ReplaceMacro(command, L"#InstPath#", record.InstPath);
        ReplaceMacro(command, L"#Root#", RootFolder());
        ReplaceMacro(command, L"#Temp#", temp);
    } else {
        command = L"\"" + record.InstPath + L"\"";
    }

    LogPrintf(L"Install the component '%s'.\r\n", record.Name.c_str());
    return MsiInstall(command, record.RunAs, errorText);
}

DWORD MsiInstall(const std::wstring& command, int runElevated, std::wstring& errorText)
{
    DWORD code = 0;
    if (runElevated == 0) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOW;
        StartedProcess started;
        if (StartProcess(command, false, CREATE_DEFAULT_ERROR_MODE, startup, started)) {
            code = WaitForExitCode(started.process.Get());
        } else {
            code = GetLastError();
            LogPrintf(L"Function ::CreateProcess(%s) failed. Error=%d.\r\n", command.c_str(), static_cast<int>(code));
        }
    } else {
        code = RunElevated(command);
    }
    LogPrintf(L"MsiInstall(%s) return code %d\r\n", command.c_str(), static_cast<int>(code));

    switch (code) {
    case ERROR_SUCCESS:
    case ERROR_SUCCESS_REBOOT_INITIATED:
    case ERROR_SUCCESS_REBOOT_REQUIRED:
        return code;
    case ERROR_FILE_NOT_FOUND:
        errorText = FormatText(IDS_FILE_NOT_FOUND, command.c_str());
        return code;
    default:
        LogPrintf(L"MsiInstall('%s') failed. %s\r\n", command.c_str(), ErrorText(code).c_str());
        errorText = FormatText(IDS_UNABLE_TO_INSTALL, command.c_str());
        return code;
    }
}
