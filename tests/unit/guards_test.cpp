#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "fake_platform.h"
#include "guards/process_guards.h"
#include "msi/package_info.h"
#include "prereq/process_runner.h"
#include "test_support.h"

namespace {

class GuardsTest : public RunTest {};

bool MutexExists(const wchar_t* name)
{
    UniqueHandle handle(OpenMutexW(SYNCHRONIZE, FALSE, name));
    return static_cast<bool>(handle);
}

}  // namespace

TEST_F(GuardsTest, ProductMutexMarksTheRunningSetupOfOneProduct)
{
    g_PackageInfo.ProductCode = L"{11111111-2222-3333-4444-555555555555}";
    const wchar_t name[] = L"Global\\_KVSETUP_{11111111-2222-3333-4444-555555555555}";
    UniqueHandle first;
    EXPECT_FALSE(IsAlreadyRunning(first));
    ASSERT_TRUE(first);
    EXPECT_TRUE(MutexExists(name));
    {
        UniqueHandle second;
        EXPECT_TRUE(IsAlreadyRunning(second));
        EXPECT_TRUE(second);  // the other instance's mutex, which the caller closes

        g_PackageInfo.ProductCode = L"{99999999-2222-3333-4444-555555555555}";
        UniqueHandle otherProduct;
        EXPECT_FALSE(IsAlreadyRunning(otherProduct));
        g_PackageInfo.ProductCode = L"{11111111-2222-3333-4444-555555555555}";
    }
    first.Reset();
    EXPECT_FALSE(MutexExists(name));
    UniqueHandle again;
    EXPECT_FALSE(IsAlreadyRunning(again));
}

TEST_F(GuardsTest, MutexThatCannotBeCreatedCountsAsARunningSetup)
{
    // Another kind of object holds the name, so the mutex cannot be created.
    g_PackageInfo.ProductCode = L"{EEEEEEEE-2222-3333-4444-555555555555}";
    UniqueHandle squatter(CreateEventW(nullptr, TRUE, FALSE, L"Global\\_KVSETUP_{EEEEEEEE-2222-3333-4444-555555555555}"));
    ASSERT_TRUE(squatter);
    UniqueHandle mutex;
    EXPECT_TRUE(IsAlreadyRunning(mutex));
    EXPECT_FALSE(mutex);
}

TEST_F(GuardsTest, EmptyProductCodeUsesTheBareName)
{
    UniqueHandle mutex;
    EXPECT_FALSE(IsAlreadyRunning(mutex));
    EXPECT_TRUE(MutexExists(L"Global\\_KVSETUP_"));
}

TEST_F(GuardsTest, SystemFactsComeThroughThePlatform)
{
    EXPECT_TRUE(IsUserAdmin());
    Fake().administrator = false;
    EXPECT_FALSE(IsUserAdmin());

    EXPECT_FALSE(IsNativeX86());
    Fake().nativeArchitecture = PROCESSOR_ARCHITECTURE_IA64;
    EXPECT_FALSE(IsNativeX86());
    Fake().nativeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    EXPECT_TRUE(IsNativeX86());

    Fake().major = 5;
    Fake().minor = 0;
    EXPECT_TRUE(IsWin2000OrLater());
    Fake().major = 4;
    Fake().minor = 90;
    EXPECT_FALSE(IsWin2000OrLater());
    // A failed version query leaves major version 0.
    Fake().major = 10;
    Fake().versionCallFails = true;
    EXPECT_FALSE(IsWin2000OrLater());
}

TEST_F(GuardsTest, RestartIsAPlannedRestartForAnInstallationWithThePrivilegeEnabled)
{
    // Start from a token whose shutdown privilege is off.
    HANDLE token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    UniqueHandle tokenOwner(token);
    TOKEN_PRIVILEGES off = {};
    off.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &off.Privileges[0].Luid));
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &off, 0, nullptr, nullptr));
    ASSERT_FALSE(ShutdownPrivilegeEnabled());

    RestartComputer();
    ASSERT_EQ(Fake().exits.size(), 1u);
    EXPECT_EQ(Fake().exits[0].flags, static_cast<UINT>(EWX_REBOOT));
    EXPECT_EQ(Fake().exits[0].reason, 0x84040002u);
    EXPECT_TRUE(Fake().exits[0].shutdownPrivilegeEnabled);
    EXPECT_TRUE(EnableShutdownPrivilege());
}

namespace {

constexpr UINT kSetEvent = WM_APP + 7;

LRESULT CALLBACK SetEventOnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kSetEvent)
        SetEvent(reinterpret_cast<HANDLE>(lParam));
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TEST(WaitWithMessages, DispatchesTheThreadsMessagesWhileItWaits)
{
    HWND window = CreateMessageWindow(L"WaitWithMessagesTest", SetEventOnMessage);
    ASSERT_NE(window, nullptr);
    // Only the window procedure, reached through the wait's dispatching, ends the wait.
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PostMessageW(window, kSetEvent, 0, reinterpret_cast<LPARAM>(event.Get()));
    EXPECT_EQ(WaitWithMessages(event.Get()), 0u);
    DestroyWindow(window);

    EXPECT_EQ(WaitWithMessages(nullptr), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ElevatedCommand, SplitsQuotedProgramsAndMsiexec)
{
    struct Case {
        const wchar_t* line;
        bool valid;
        const wchar_t* program;
        const wchar_t* parameters;
    };
    const Case cases[] = {
        {L"msiexec /i \"C:\\R\\a b.msi\" /qn", true, L"msiexec", L"/i \"C:\\R\\a b.msi\" /qn"},
        {L"MsiExec.exe\t/x {A}", true, L"MsiExec.exe", L"/x {A}"},
        {L"msiexec", false, L"", L""},
        {L"\"C:\\Redist\\vc redist.exe\" /q /norestart", true, L"C:\\Redist\\vc redist.exe", L"/q /norestart"},
        // Exactly one separator is skipped, whatever it is.
        {L"\"C:\\a.exe\"x/q", true, L"C:\\a.exe", L"/q"},
        {L"\"C:\\a.exe\"", true, L"C:\\a.exe", L""},
        {L"\"C:\\a.exe\" ", true, L"C:\\a.exe", L""},
        {L"C:\\a.exe /q", false, L"", L""},
        {L"\"C:\\a.exe /q", false, L"", L""},
        {L"", false, L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring program;
        std::wstring parameters;
        EXPECT_EQ(SplitElevatedCommand(c.line, program, parameters), c.valid) << c.line;
        if (c.valid) {
            EXPECT_EQ(program, c.program) << c.line;
            EXPECT_EQ(parameters, c.parameters) << c.line;
        }
    }
}

TEST_F(GuardsTest, RunElevatedAnswersTheExitCodeOrTheError)
{
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring cmd = std::wstring(L"\"") + system + L"\\cmd.exe\" /c exit 7";
    EXPECT_EQ(RunElevated(cmd), 7u);

    const std::wstring marker = scratch.File(L"started.txt");
    EXPECT_EQ(RunElevated(std::wstring(system) + L"\\cmd.exe /c echo x > \"" + marker + L"\""),
              static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
    EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadLogText(g_Settings.LogPath), L"");
}
