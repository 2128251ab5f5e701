#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "fake_platform.h"
#include "log/error_text.h"
#include "prereq/process_runner.h"
#include "prereq/system_checks.h"
#include "test_support.h"
#include "win/handles.h"
#include "win/text.h"

// The component tool (tests/tools/component_tool.cpp) is built beside the test program, so
// "#Root#\component_tool.exe" reaches it.
namespace {

std::wstring Line(const std::wstring& text)
{
    return L"Setup.exe [2026.12.04 16:44:05]: " + text + L"\r\n";
}

std::wstring ToolPath()
{
    return RootFolder() + L"\\component_tool.exe";
}

// The tool's command line with the program's folder written out, as the log shows it.
std::wstring Tool(const std::wstring& options)
{
    return L"\"" + ToolPath() + L"\" " + options;
}

std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

class ProcessRunnerTest : public RunTest {
protected:
    std::wstring Log() const { return ReadLogText(g_Settings.LogPath); }

    // Runs the tool through RunExe with "#Root#" in its command; true when RunExe answered true.
    bool RunTool(const std::wstring& options, std::wstring& text, DWORD& exitCode)
    {
        return RunExe(L"\"#Root#\\component_tool.exe\" " + options, text, exitCode);
    }

    // The tool copied under a name with a blank, as installers on media often are.
    std::wstring BlankNamedTool()
    {
        const std::wstring path = scratch.File(L"setup tool.exe");
        CopyFileW(ToolPath().c_str(), path.c_str(), FALSE);
        return path;
    }
};

}  // namespace

TEST_F(ProcessRunnerTest, RunExeAnswersTheToolsTrimmedTextAndExitCode)
{
    // Standard output and standard error share the pipe; blanks inside the text stay.
    const std::wstring options = L"--print \"\\r\\n\\t status:  \" --print-err \"3 of 4\\r\\n\" --exit 2";
    std::wstring text;
    DWORD exitCode = 0;
    ASSERT_TRUE(RunTool(options, text, exitCode));
    EXPECT_EQ(text, L"status:  3 of 4");
    EXPECT_EQ(exitCode, 2u);
    EXPECT_EQ(Log(), Line(L"Process '" + Tool(options) + L"' return code 2") +
                         Line(L"Process '" + Tool(options) + L"' return text 'status:  3 of 4'"));
}

TEST_F(ProcessRunnerTest, RunExeWithoutOutputAnswersAnEmptyText)
{
    std::wstring text = L"earlier";
    DWORD exitCode = 0;
    ASSERT_TRUE(RunTool(L"--exit -1", text, exitCode));
    EXPECT_EQ(text, L"");
    EXPECT_EQ(exitCode, 0xFFFFFFFFu);
    EXPECT_EQ(Log(), Line(L"Process '" + Tool(L"--exit -1") + L"' return code -1") +
                         Line(L"Process '" + Tool(L"--exit -1") + L"' return text ''"));

    // Only blanks and line ends: trimmed away.
    ASSERT_TRUE(RunTool(L"--print \" \\t\\r\\n \"", text, exitCode));
    EXPECT_EQ(text, L"");
}

TEST_F(ProcessRunnerTest, RunExeReadsUtf8UpToTheFirstZeroByte)
{
    std::wstring text;
    DWORD exitCode = 1;
    // Raw UTF-8 bytes: Cyrillic, a CJK character, and a character outside the basic plane.
    ASSERT_TRUE(RunTool(L"--print \"\\xD0\\x9F\\xD1\\x80\\xD0\\xB8 \\xE6\\x97\\xA5 \\xF0\\x9F\\x98\\x80\"", text, exitCode));
    EXPECT_EQ(text, L"\x041F\x0440\x0438 \x65E5 \xD83D\xDE00");
    EXPECT_EQ(exitCode, 0u);

    // The tool's own encoding of a wide argument comes back unchanged.
    ASSERT_TRUE(RunTool(L"--print \"Grüße, Привет\"", text, exitCode));
    EXPECT_EQ(text, L"Grüße, Привет");

    ASSERT_TRUE(RunTool(L"--print \"shown\\0 hidden\"", text, exitCode));
    EXPECT_EQ(text, L"shown");
}

TEST_F(ProcessRunnerTest, RunExeKeepsTheLastChunkOfLongOutput)
{
    // The filler's k-th 4096-byte block is all the letter 'A' + k.
    std::wstring text;
    DWORD exitCode = 0;
    ASSERT_TRUE(RunTool(L"--print-bytes 4096", text, exitCode));
    EXPECT_EQ(text, std::wstring(4096, L'A'));  // a full chunk has no end mark but the buffer's end

    // The last chunk is written over the one before; what lies beyond its end stays.
    ASSERT_TRUE(RunTool(L"--print-bytes 4100", text, exitCode));
    EXPECT_EQ(text, L"BBBB" + std::wstring(4092, L'A'));

    ASSERT_TRUE(RunTool(L"--print-bytes 8192", text, exitCode));
    EXPECT_EQ(text, std::wstring(4096, L'B'));

    ASSERT_TRUE(RunTool(L"--print-bytes 4096 --print \" last words\\r\\n\"", text, exitCode));
    EXPECT_EQ(text, L"last words\r\n" + std::wstring(4096 - 13, L'A'));

    // Far more than a pipe holds, written at once: read while the tool runs, so nobody blocks.
    ASSERT_TRUE(RunTool(L"--print-bytes 65536 --exit 3", text, exitCode));
    EXPECT_EQ(text, std::wstring(4096, L'P'));
    EXPECT_EQ(exitCode, 3u);
    ASSERT_TRUE(RunTool(L"--print-bytes 1000000", text, exitCode));
    const size_t lastChunk = 1000000 / 4096;
    EXPECT_EQ(text, std::wstring(1000000 % 4096, static_cast<wchar_t>(L'A' + lastChunk % 26)) +
                        std::wstring(4096 - 1000000 % 4096, static_cast<wchar_t>(L'A' + (lastChunk - 1) % 26)));
}

TEST_F(ProcessRunnerTest, RunExeDoesNotWaitForAProcessTheToolLeftBehind)
{
    // The tool starts a copy of itself that inherits the pipe and waits for this event.
    const wchar_t eventName[] = L"ProcessRunnerTestGrandchild";
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, eventName));
    ASSERT_TRUE(release);
    std::wstring text;
    DWORD exitCode = 0;
    ASSERT_TRUE(RunTool(L"--print tool --spawn \"--wait-event ProcessRunnerTestGrandchild --print late\" --exit 4",
                        text, exitCode));
    EXPECT_EQ(text, L"tool");
    EXPECT_EQ(exitCode, 4u);
    SetEvent(release.Get());
}

TEST_F(ProcessRunnerTest, RunExeLogsAProgramThatCannotStart)
{
    std::wstring text = L"earlier";
    DWORD exitCode = 5;
    EXPECT_FALSE(RunExe(L"\"#Root#\\no_such_tool.exe\" /check", text, exitCode));
    EXPECT_EQ(text, L"earlier");
    EXPECT_EQ(exitCode, 5u);
    EXPECT_EQ(Log(), Line(L"RunExe::Function CreateProcess('\"" + RootFolder() + L"\\no_such_tool.exe\" /check') failed. " +
                          ErrorText(ERROR_FILE_NOT_FOUND)));
}

namespace {

constexpr UINT kCountMessage = WM_APP + 11;
int g_dispatched = 0;

LRESULT CALLBACK CountMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kCountMessage)
        ++g_dispatched;
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TEST_F(ProcessRunnerTest, OnlyTheInstallerWaitDispatchesMessages)
{
    HWND window = CreateMessageWindow(L"ProcessRunnerTest", CountMessages);
    ASSERT_NE(window, nullptr);
    g_dispatched = 0;

    PostMessageW(window, kCountMessage, 0, 0);
    PostMessageW(window, kCountMessage, 0, 0);
    std::wstring text;
    DWORD exitCode = 0;
    ASSERT_TRUE(RunTool(L"--sleep 50", text, exitCode));
    EXPECT_EQ(g_dispatched, 0);

    // Both, although they were queued together before the wait began.
    std::wstring errorText;
    EXPECT_EQ(MsiInstall(Tool(L"--sleep 300"), 0, errorText), 0u);
    EXPECT_EQ(g_dispatched, 2);
    DestroyWindow(window);
}

TEST_F(ProcessRunnerTest, MsiInstallTreatsTheRestartCodesAsSuccess)
{
    for (DWORD code : {0u, 1641u, 3010u}) {
        Fake().Reset();
        DeleteFileW(g_Settings.LogPath.c_str());
        const std::wstring command = Tool(L"--exit " + std::to_wstring(code));
        std::wstring errorText = L"untouched";
        EXPECT_EQ(MsiInstall(command, 0, errorText), code);
        EXPECT_EQ(errorText, L"untouched");
        EXPECT_EQ(Log(), Line(L"MsiInstall(" + command + L") return code " + std::to_wstring(code)));
    }
}

TEST_F(ProcessRunnerTest, MsiInstallExplainsAFailedComponent)
{
    const std::wstring cancelled = Tool(L"--exit 1602");
    std::wstring errorText;
    EXPECT_EQ(MsiInstall(cancelled, 0, errorText), 1602u);
    EXPECT_EQ(errorText, L"Setup was unable to install\n'" + cancelled + L"'.");
    EXPECT_EQ(Log(), Line(L"MsiInstall(" + cancelled + L") return code 1602") +
                         Line(L"MsiInstall('" + cancelled + L"') failed. " + ErrorText(1602)));

    // Code 2 from a component that ran reads as a missing file, like a program that is not there.
    DeleteFileW(g_Settings.LogPath.c_str());
    const std::wstring two = Tool(L"--exit 2");
    EXPECT_EQ(MsiInstall(two, 0, errorText), 2u);
    EXPECT_EQ(errorText, L"Setup was unable to find the file\n'" + two + L"'.");
    EXPECT_EQ(Log(), Line(L"MsiInstall(" + two + L") return code 2"));

    DeleteFileW(g_Settings.LogPath.c_str());
    const std::wstring missing = L"\"" + scratch.File(L"missing.exe") + L"\" /quiet";
    EXPECT_EQ(MsiInstall(missing, 0, errorText), 2u);
    EXPECT_EQ(errorText, L"Setup was unable to find the file\n'" + missing + L"'.");
    EXPECT_EQ(Log(), Line(L"Function ::CreateProcess(" + missing + L") failed. Error=2.") +
                         Line(L"MsiInstall(" + missing + L") return code 2"));
}

TEST_F(ProcessRunnerTest, MsiInstallRunsElevatedThroughTheShell)
{
    const std::wstring record = scratch.File(L"elevated.txt");
    const std::wstring command = L"\"" + BlankNamedTool() + L"\" --record \"" + record + L"\" --exit 3010";
    std::wstring errorText = L"untouched";
    EXPECT_EQ(MsiInstall(command, 1, errorText), 3010u);
    EXPECT_EQ(errorText, L"untouched");
    const std::string recorded = ReadBytes(record);
    EXPECT_NE(recorded.find("--exit 3010\r\n"), std::string::npos) << recorded;
    EXPECT_EQ(Log(), Line(L"MsiInstall(" + command + L") return code 3010"));

    // A line the shell start cannot split into program and parameters.
    DeleteFileW(g_Settings.LogPath.c_str());
    const std::wstring unquoted = ToolPath() + L" --exit 0";
    EXPECT_EQ(MsiInstall(unquoted, 1, errorText), static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
    EXPECT_EQ(errorText, L"Setup was unable to install\n'" + unquoted + L"'.");
    EXPECT_EQ(Log(), Line(L"MsiInstall(" + unquoted + L") return code 160") +
                         Line(L"MsiInstall('" + unquoted + L"') failed. " + ErrorText(ERROR_BAD_ARGUMENTS)));
}

TEST_F(ProcessRunnerTest, InstallComponentQuotesTheInstallerWhenThereAreNoParameters)
{
    PrerequisiteInfo record;
    record.Name = L"Redistributable";
    record.InstPath = BlankNamedTool();
    std::wstring errorText = L"untouched";
    EXPECT_EQ(InstallComponent(record, errorText), 0u);
    EXPECT_EQ(errorText, L"untouched");
    EXPECT_EQ(Log(), Line(L"Install the component 'Redistributable'.") +
                         Line(L"MsiInstall(\"" + record.InstPath + L"\") return code 0"));
}

TEST_F(ProcessRunnerTest, InstallComponentExpandsItsMacros)
{
    const std::wstring recordName = L"process-runner-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    const std::wstring recordFile = TempFolder() + recordName;
    DeleteFileW(recordFile.c_str());
    const std::wstring copy = scratch.File(L"copy.exe");

    PrerequisiteInfo record;
    record.Name = L"Runtime";
    record.InstPath = BlankNamedTool();
    record.InstParams = L"\"#InstPath#\" --record \"#Temp#" + recordName + L"\" --copy \"#Root#\\component_tool.exe\" \"" +
                        copy + L"\" --exit 3010";
    std::wstring errorText = L"untouched";
    EXPECT_EQ(InstallComponent(record, errorText), 3010u);
    EXPECT_EQ(errorText, L"untouched");

    const std::wstring command = L"\"" + record.InstPath + L"\" --record \"" + recordFile + L"\" --copy \"" + ToolPath() +
                                 L"\" \"" + copy + L"\" --exit 3010";
    const std::string recorded = ReadBytes(recordFile);
    DeleteFileW(recordFile.c_str());
    EXPECT_EQ(AnsiToWide(recorded, CP_UTF8), command + L"\r\n");
    EXPECT_NE(GetFileAttributesW(copy.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Log(), Line(L"Install the component 'Runtime'.") + Line(L"MsiInstall(" + command + L") return code 3010"));
}

TEST_F(ProcessRunnerTest, InstallComponentInUpdateModeRunsTheUpdateParameters)
{
    const std::wstring recordFile = scratch.File(L"update.txt");
    PrerequisiteInfo record;
    record.Name = L"Stavora Agent";
    record.InstPath = ToolPath();
    record.InstParams = L"\"#InstPath#\" --record \"" + recordFile + L"\"";
    record.UpdateParams = L"\"#InstPath#\" --record \"" + recordFile + L"\" --exit 1602";
    record.UpdateMode = 1;
    std::wstring errorText;
    EXPECT_EQ(InstallComponent(record, errorText), 1602u);

    const std::wstring command = Tool(L"--record \"" + recordFile + L"\" --exit 1602");
    EXPECT_EQ(AnsiToWide(ReadBytes(recordFile), CP_UTF8), command + L"\r\n");
    EXPECT_EQ(errorText, L"Setup was unable to install\n'" + command + L"'.");
    EXPECT_EQ(Log(), Line(L"Install the component 'Stavora Agent'.") +
                         Line(L"MsiInstall(" + command + L") return code 1602") +
                         Line(L"MsiInstall('" + command + L"') failed. " + ErrorText(1602)));
}

TEST_F(ProcessRunnerTest, InstallComponentInUpdateModeWithoutUpdateParametersIsRefused)
{
    const std::wstring recordFile = scratch.File(L"never.txt");
    PrerequisiteInfo record;
    record.Name = L"Stavora Agent";
    record.InstPath = ToolPath();
    record.InstParams = L"\"#InstPath#\" --record \"" + recordFile + L"\"";
    record.UpdateMode = 1;
    const std::wstring message =
        L"Can't find update parameter for prerequisite 'Stavora Agent'.\r\n\r\n"
        L"Error no update parameter found in the setup file.ini";

    g_Settings.UILevel = kUILevelFull;
    std::wstring errorText = L"untouched";
    EXPECT_EQ(InstallComponent(record, errorText), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(errorText, L"untouched");
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].owner, GetForegroundWindow());
    EXPECT_EQ(Fake().boxes[0].text, message);
    EXPECT_EQ(Fake().boxes[0].caption, L"Installation Error");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(Log(), Line(message));
    EXPECT_EQ(GetFileAttributesW(recordFile.c_str()), INVALID_FILE_ATTRIBUTES);

    // Quiet: logged, not shown.
    DeleteFileW(g_Settings.LogPath.c_str());
    g_Settings.UILevel = kUILevelNone;
    EXPECT_EQ(InstallComponent(record, errorText), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Log(), Line(message));
}

TEST_F(ProcessRunnerTest, InstallComponentWithoutATemporaryFolderRunsNothing)
{
    const std::wstring recordFile = scratch.File(L"never.txt");
    PrerequisiteInfo record;
    record.Name = L"Runtime";
    record.InstPath = ToolPath();
    record.InstParams = L"\"#InstPath#\" --record \"" + recordFile + L"\"";

    wchar_t saved[MAX_PATH] = {};
    const DWORD savedLength = GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", (L"C:\\" + std::wstring(300, L'x')).c_str());
    std::wstring errorText = L"untouched";
    const DWORD code = InstallComponent(record, errorText);
    SetEnvironmentVariableW(L"TMP", savedLength ? saved : nullptr);

    EXPECT_NE(code, 0u);
    EXPECT_NE(code, 1641u);
    EXPECT_NE(code, 3010u);
    EXPECT_EQ(errorText, L"untouched");
    EXPECT_EQ(GetFileAttributesW(recordFile.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Log(), L"");
}

namespace {

// A record of the product family the checking-tool rule serves, its tool printing a two-line
// text (the list dialog breaks it at the two characters "\n") and exiting with the code.
PrerequisiteInfo CheckedRecord(const std::wstring& name, int exitCode)
{
    PrerequisiteInfo record;
    record.Name = name;
    record.RunExeCond = L"\"#Root#\\component_tool.exe\" --print \"Version 1.2 found\\\\nUpdate to 1.3\\r\\n\" --exit " +
                        std::to_wstring(exitCode);
    record.Installed = true;
    record.ConditionText = L"before";
    return record;
}

}  // namespace

TEST_F(ProcessRunnerTest, CheckingToolExitCodesDecideAStavoraComponent)
{
    struct Case {
        int exitCode;
        bool answer;
        bool installed;
        const wchar_t* conditionText;
        int updateMode;
    };
    const Case cases[] = {
        {0, true, false, L"before", 0},
        {1, false, true, L"before", 0},
        {2, true, false, L"Version 1.2 found\\nUpdate to 1.3", 1},
        {3, true, false, L"Version 1.2 found\\nUpdate to 1.3", 0},
        {4, true, false, L"Version 1.2 found\\nUpdate to 1.3", 1},
        {5, true, false, L"before", 0},
        {1603, true, false, L"before", 0},
    };
    for (const Case& c : cases) {
        PrerequisiteInfo record = CheckedRecord(L"Stavora Runtime", c.exitCode);
        EXPECT_EQ(CheckRunExeCondition(record), c.answer) << c.exitCode;
        EXPECT_EQ(record.Installed, c.installed) << c.exitCode;
        EXPECT_EQ(record.ConditionText, c.conditionText) << c.exitCode;
        EXPECT_EQ(record.UpdateMode, c.updateMode) << c.exitCode;
    }
    // The tool's own line end is gone; the log shows what it answered.
    const std::wstring command = Tool(L"--print \"Version 1.2 found\\\\nUpdate to 1.3\\r\\n\" --exit 2");
    EXPECT_NE(Log().find(Line(L"Process '" + command + L"' return code 2") +
                         Line(L"Process '" + command + L"' return text 'Version 1.2 found\\nUpdate to 1.3'")),
              std::wstring::npos);
}
