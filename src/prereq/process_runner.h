#pragma once
#include <windows.h>

#include <string>

#include "prereq/prerequisite.h"

// A checking tool's command as it is started: "#Root#" replaced by the program's folder.
std::wstring CheckingToolCommand(const std::wstring& command);
// How long RunExe lets a checking tool run. The setup waits as long as the tool takes; the
// checker, which must always come to an end, sets a limit: a tool still running then is ended,
// counts as one that could not be run, and is counted in cutShort.
struct CheckingToolLimit {
    DWORD milliseconds = INFINITE;
    unsigned cutShort = 0;
};
extern CheckingToolLimit g_CheckingToolLimit;

// Runs a checking tool without a window ("#Root#" replaced), collecting its standard output
// and error (UTF-8, the last 4096-byte read, trimmed). True when it ran and was read.
bool RunExe(const std::wstring& command, std::wstring& text, DWORD& exitCode);

// Builds the component's command line from its record and runs it to its end. Answers the
// component's exit code or a Windows error code; errorText gets string 133 or 134 on failure.
DWORD InstallComponent(const PrerequisiteInfo& record, std::wstring& errorText);

// Runs a command line as a child (or elevated through the shell), waiting while dispatching
// messages. 0, 1641 and 3010 are success; other codes fill errorText.
DWORD MsiInstall(const std::wstring& command, int runElevated, std::wstring& errorText);
