#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "dialog_script.h"
#include "fake_platform.h"
#include "msi/installer.h"
#include "prereq/prerequisite_dialogs.h"
#include "prereq/prerequisite_flow.h"
#include "prereq/system_checks.h"
#include "prerequisite_test_support.h"
#include "test_support.h"
#include "win/text.h"

namespace {

class TitledInstaller : public CInstaller {
public:
    TitledInstaller() { Title = L"Flow Product (2.0) Setup"; }
    bool Install(bool&) override { return true; }
    bool Prepare() override { return true; }
    std::wstring GetProductName() override { return L"Flow Product"; }
    std::wstring GetProductNameLangNeutral() override { return L""; }
    std::wstring GetProductVersion() override { return L"2.0"; }
    std::wstring GetTitle() override { return Title; }
    bool CheckOperationType() override { return true; }
};

std::string Ansi(const std::wstring& text)
{
    return WideToAnsi(text, CP_ACP);
}

// One "PreReq%d" section of a component that needs no rights (unless extra says so), is missing
// until its file exists, and runs the command.
std::string Section(int number, const char* name, const std::wstring& command, const std::wstring& filePath,
                    const char* extra = "")
{
    // The first of two equal keys counts: extra keys come before the defaults.
    return "[PreReq" + std::to_string(number) + "]\r\n" + extra + "Name=" + name +
           "\r\nInstPath=#System#\\cmd.exe\r\nInstParams=" + Ansi(command) + "\r\nFilePath=" + Ansi(filePath) +
           "\r\nAdminNeed=0\r\n";
}

class PrerequisiteFlowTest : public RunTest {
protected:
    int Run()
    {
        restart = -1;
        return CheckAndInstallPrerequisites(installer, L"PreReq%d", restart);
    }

    TitledInstaller installer;
    ScratchFolder files;
    int restart = -1;
};

}  // namespace

TEST_F(PrerequisiteFlowTest, NothingMissingGoesOnSilently)
{
    CopyFileW(VersionedFile().c_str(), files.File(L"present.dll").c_str(), FALSE);
    SetupIniFile ini(Section(0, "Present", MarkerCommand(files.File(L"ran.txt")), files.File(L"present.dll")));
    bool shown = false;
    DialogScript script;
    script.Then([&](HWND dialog) {
        shown = true;
        PostClick(dialog, IDCANCEL);
    });
    for (int level : {kUILevelFull, kUILevelNone}) {
        g_Settings.UILevel = level;
        EXPECT_EQ(Run(), kPrereqGoOn);
        EXPECT_EQ(restart, 0);
    }
    EXPECT_FALSE(shown);
    EXPECT_FALSE(FileExists(files.File(L"ran.txt")));
    EXPECT_FALSE(FileExists(g_Settings.LogPath));
    EXPECT_TRUE(Fake().boxes.empty());
}

TEST_F(PrerequisiteFlowTest, PassiveRunInstallsEveryListedComponentAndCarriesTheRestart)
{
    g_Settings.UILevel = kUILevelBasicProgress;
    SetupIniFile ini(Section(0, "Optional Part", MarkerCommand(files.File(L"optional.txt")), files.File(L"a.dll"),
                             "Optional=0\r\n") +
                     Section(2, "Restarting Part", L"cmd.exe /c exit 3010", files.File(L"b.dll")));
    EXPECT_EQ(Run(), kPrereqGoOn);
    EXPECT_EQ(restart, 1);
    EXPECT_TRUE(FileExists(files.File(L"optional.txt")));
    EXPECT_TRUE(Fake().boxes.empty());
    ExpectLinesInOrder(ReadLogText(g_Settings.LogPath),
                       {L"Setup.exe [2026.12.04 16:44:05]: Installing prerequisites passively:\r\n",
                        L"Setup.exe [2026.12.04 16:44:05]:   Optional Part\r\n",
                        L"Setup.exe [2026.12.04 16:44:05]:   Restarting Part\r\n",
                        L"Setup.exe [2026.12.04 16:44:05]: Try install prerequisites:\r\n",
                        L"Setup.exe [2026.12.04 16:44:05]:  'Optional Part'\r\n",
                        L"Setup.exe [2026.12.04 16:44:05]:  'Restarting Part'\r\n",
                        L"Setup.exe [2026.12.04 16:44:05]: Installed prerequisites:\r\n",
                        L"Setup.exe [2026.12.04 16:44:05]:  'Optional Part'\r\n",
                        L"Setup.exe [2026.12.04 16:44:05]:  'Restarting Part'\r\n"});
}

TEST_F(PrerequisiteFlowTest, PassiveRunLogsWhatItCannotDoAndStillGoesOn)
{
    g_Settings.UILevel = kUILevelNone;
    Fake().administrator = false;
    const std::wstring missingPackage = files.File(L"download.exe");
    SetupIniFile ini(
        "[PreReq0]\r\nName=Downloadable\r\nUrl=http://downloads.example.invalid/\r\nInstPath=" + Ansi(missingPackage) +
        "\r\nInstParams=" + Ansi(MarkerCommand(files.File(L"downloaded.txt"))) + "\r\nFilePath=" +
        Ansi(files.File(L"d.dll")) + "\r\nAdminNeed=0\r\n" +
        Section(1, "Failing", L"cmd.exe /c exit 1603", files.File(L"f.dll")) +
        Section(2, "Needs Rights", MarkerCommand(files.File(L"rights.txt")), files.File(L"r.dll"), "AdminNeed=1\r\n") +
        Section(3, "After Rights", MarkerCommand(files.File(L"after.txt")), files.File(L"s.dll")));
    EXPECT_EQ(Run(), kPrereqGoOn);
    EXPECT_EQ(restart, 0);
    EXPECT_TRUE(Fake().boxes.empty());
    EXPECT_FALSE(FileExists(files.File(L"downloaded.txt")));
    EXPECT_FALSE(FileExists(files.File(L"rights.txt")));
    EXPECT_FALSE(FileExists(files.File(L"after.txt")));
    const std::wstring log = ReadLogText(g_Settings.LogPath);
    ExpectLinesInOrder(log, {L"]: Prerequisite 'Downloadable' not installed.\r\n",
                             L"]: Setup was unable to install\n'cmd.exe /c exit 1603'.",
                             L"]: Prerequisite 'Needs Rights' not installed.\r\nNeed admistrative privilege\r\n"});
    EXPECT_EQ(log.find(L"Install the component 'After Rights'"), std::wstring::npos);
    EXPECT_EQ(log.find(L"Installed prerequisites"), std::wstring::npos);
}

TEST_F(PrerequisiteFlowTest, FullLevelAsksThroughTheListDialog)
{
    g_Settings.UILevel = kUILevelFull;
    SetupIniFile ini(Section(0, "Restarting Part",
                             CopyVersionedFileCommand(files.File(L"r.dll")) + L" && exit 3010", files.File(L"r.dll")));
    std::wstring caption, heading;
    {
        DialogScript script;
        script.Then([&](HWND dialog) {
            caption = WindowText(dialog);
            heading = ItemText(dialog, kIdHeading);
            PostClick(dialog, IDCANCEL);
        });
        EXPECT_EQ(Run(), kPrereqCancelled);
        EXPECT_EQ(restart, 0);
    }
    EXPECT_EQ(caption, L"Flow Product (2.0) Setup");
    EXPECT_EQ(heading, L"Flow Product requires the following components to be installed:");

    // Installed with a restart to come: nothing missing, nothing asked.
    DialogScript script;
    script.Then([](HWND dialog) { PostClick(dialog, IDOK); });
    EXPECT_EQ(Run(), kPrereqGoOn);
    EXPECT_EQ(restart, 1);
    EXPECT_TRUE(Fake().boxes.empty());
}
