#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/driver.h"
#include "app/settings.h"
#include "config/setup_ini.h"
#include "fake_platform.h"
#include "guards/process_guards.h"
#include "msi/installer.h"
#include "msi/package_info.h"
#include "test_support.h"

namespace {

// An installer that records what the driver asks of it.
class RecordingInstaller : public CInstaller {
public:
    bool Install(bool& restartNeeded) override
    {
        calls.push_back(L"Install");
        langIdAtInstall = g_Settings.LangId;
        transformAtInstall = g_Settings.Transform;
        restartNeeded = needsRestart;
        return installResult;
    }
    bool Prepare() override
    {
        calls.push_back(L"Prepare");
        return prepareResult;
    }
    std::wstring GetProductName() override { return L"Driver Product"; }
    std::wstring GetProductNameLangNeutral() override { return L""; }
    std::wstring GetProductVersion() override { return L"4.5"; }
    std::wstring GetTitle() override
    {
        calls.push_back(L"GetTitle");
        return L"Driver Product (4.5) Setup";
    }
    bool CheckOperationType() override
    {
        calls.push_back(L"CheckOperationType");
        g_Settings.MsiType = L"Bad";
        return operationTypeResult;
    }

    std::vector<std::wstring> calls;
    bool prepareResult = true;
    bool operationTypeResult = true;
    bool installResult = true;
    bool needsRestart = false;
    unsigned langIdAtInstall = 0;
    std::wstring transformAtInstall;
};

unsigned long RunDriver(RecordingInstaller& installer, const wchar_t* commandLine)
{
    std::wstring line = commandLine;
    g_Settings.Mode = ModeInstall;
    if (line.rfind(L"/a", 0) == 0)
        g_Settings.Mode = ModeAdminInstall;
    return RunInstallation(installer, &line[0]);
}

class DriverTest : public testing::Test {
protected:
    void SetUp() override
    {
        Fake().Reset();
        g_Settings = SetupSettings();
        g_PackageInfo = PackageInfo();
        g_PackageInfo.ProductName = L"Driver Product";
        g_PackageInfo.ProductCode = L"{0D0D0D0D-1111-2222-3333-444455556666}";
        // The package path is the program's folder followed by MsiPath.
        WriteBytes(GetModulePath(false, true) + relativePackage, "x");
    }
    void TearDown() override
    {
        DeleteFileW((GetModulePath(false, true) + relativePackage).c_str());
        DeleteFileW(LogFile().c_str());
        g_Settings = SetupSettings();
        g_PackageInfo = PackageInfo();
    }

    static std::wstring LogFile()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        return std::wstring(temp) + L"Driver Product Setup (2026.12.04 16.44).log";
    }

    // An ini naming the package beside the test program, with more "Main" lines.
    std::string PackageIni(const std::string& moreLines) const
    {
        return "[Main]\r\nMsiPath=" + std::string(relativePackage.begin(), relativePackage.end()) +
               "\r\n" + moreLines;
    }

    // The run's own lines without their time stamps, which every line must carry.
    static std::wstring LogLines()
    {
        const std::wstring text = ReadLogText(LogFile());
        const std::wstring stamp = L"Setup.exe [2026.12.04 16:44:05]: ";
        std::wstring lines;
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find(L"\r\n", at);
            end = end == std::wstring::npos ? text.size() : end + 2;
            const std::wstring line = text.substr(at, end - at);
            EXPECT_EQ(line.rfind(stamp, 0), 0u) << line;
            lines += line.substr(line.rfind(stamp, 0) == 0 ? stamp.size() : 0);
            at = end;
        }
        return lines;
    }

    const std::wstring relativePackage = L"driver-package.msi";
};

}  // namespace

TEST_F(DriverTest, MissingIniEndsWithTwoAfterTheLogBegan)
{
    DeleteFileW(GetIniPath().c_str());
    RecordingInstaller installer;
    EXPECT_EQ(RunDriver(installer, L"/i /quiet"), kExitClosed);
    EXPECT_EQ(installer.calls, std::vector<std::wstring>{L"Prepare"});
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].text, L"Can't find ini file:\r\n'" + GetIniPath() + L"'");
    EXPECT_EQ(Fake().boxes[0].caption, L"Installation Error");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(g_Settings.LogPath, LogFile());
    EXPECT_EQ(ReadLogText(LogFile()), L"Setup.exe [2026.12.04 16:44:05]: UILevel is set to 2\r\n");
}

TEST_F(DriverTest, FailedPrepareEndsBeforeTheLog)
{
    RecordingInstaller installer;
    installer.prepareResult = false;
    EXPECT_EQ(RunDriver(installer, L"/i"), kExitRefused);
    EXPECT_EQ(g_Settings.LogPath, L"");
    EXPECT_TRUE(Fake().boxes.empty());
}

TEST_F(DriverTest, StagesRunInOrderAndFillTheSettings)
{
    SetupIniFile ini(PackageIni("MsiProp=FROM_INI=1\r\n"));
    const std::wstring transform = GetModulePath(false, true) + L"1033.mst";
    WriteBytes(transform, "mst");
    RecordingInstaller installer;
    EXPECT_EQ(RunDriver(installer, L"/i /passive"), kExitSuccess);
    DeleteFileW(transform.c_str());
    // The language and its transform were chosen before Install.
    EXPECT_EQ(installer.langIdAtInstall, 1033u);
    EXPECT_EQ(installer.transformAtInstall, transform);
    EXPECT_EQ(installer.calls,
              (std::vector<std::wstring>{L"Prepare", L"GetTitle", L"CheckOperationType", L"Install"}));
    EXPECT_EQ(installer.Title, L"Driver Product (4.5) Setup");
    EXPECT_EQ(g_Settings.UILevel, kUILevelBasicProgress);
    EXPECT_EQ(g_Settings.PackagePath, GetModulePath(false, true) + relativePackage);
    EXPECT_EQ(g_Settings.Properties, L"FROM_INI=1");

    RecordingInstaller withProperties;
    withProperties.installResult = false;
    EXPECT_EQ(RunDriver(withProperties, L"/i A=1 B=\"x y\""), kExitRefused);
    EXPECT_EQ(g_Settings.Properties, L"A=1 B=\"x y\"");
    EXPECT_TRUE(Fake().boxes.empty());
}

TEST_F(DriverTest, RefusalsReportTheirMessage)
{
    SetupIniFile ini("[Main]\r\nMsiPath=absent.msi\r\n");
    RecordingInstaller badType;
    badType.operationTypeResult = false;
    EXPECT_EQ(RunDriver(badType, L"/i"), kExitRefused);
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].text,
              L"The setup was authored with an incorrect operation type 'Bad' and cannot continue.");
    EXPECT_EQ(Fake().boxes[0].caption, L"Driver Product (4.5) Setup");

    RecordingInstaller missingPackage;
    EXPECT_EQ(RunDriver(missingPackage, L"/i"), kExitRefused);
    ASSERT_EQ(Fake().boxes.size(), 2u);
    EXPECT_EQ(Fake().boxes[1].text,
              L"Setup was unable to find the file\n'" + GetModulePath(false, true) + L"absent.msi'.");
    EXPECT_EQ(missingPackage.calls.back(), L"CheckOperationType");

    // An administrative install without its folder shows the usage box.
    RecordingInstaller admin;
    EXPECT_EQ(RunDriver(admin, L"/a"), kExitRefused);
    ASSERT_EQ(Fake().boxes.size(), 3u);
    EXPECT_EQ(Fake().boxes[2].caption, L"Usage Info");
    EXPECT_EQ(Fake().boxes[2].flags, static_cast<UINT>(MB_ICONINFORMATION));
}

TEST_F(DriverTest, AdministrativeInstallTakesItsFolderAndTheBasicLevel)
{
    SetupIniFile ini(PackageIni(""));
    RecordingInstaller admin;
    EXPECT_EQ(RunDriver(admin, L"/a \"C:\\Admin Image\""), kExitSuccess);
    EXPECT_EQ(g_Settings.AdminTargetDir, L"C:\\Admin Image");
    EXPECT_EQ(g_Settings.UILevel, kUILevelBasicProgress);
    EXPECT_EQ(g_Settings.Properties, L"");
    // An administrative image takes no language transform.
    EXPECT_EQ(g_Settings.LangId, 0u);
    // The level is logged before the administrative target is known.
    EXPECT_EQ(LogLines(), L"UILevel is set to 5\r\n");
}

TEST_F(DriverTest, ProcessorCheckComesFirstAndShowsAtEveryLevel)
{
    SetupIniFile ini(PackageIni("MinWinVersion=99\r\nAdminNeed=1\r\n"));
    Fake().nativeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    Fake().administrator = false;
    g_PackageInfo.Template = L"Intel64;1033";
    RecordingInstaller itanium;
    EXPECT_EQ(RunDriver(itanium, L"/i /quiet"), kExitRefused);
    EXPECT_EQ(itanium.calls, std::vector<std::wstring>{L"Prepare"});
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].text, L"This installation package is not supported by this processor type.");
    EXPECT_EQ(Fake().boxes[0].caption, L"");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(LogLines(), L"UILevel is set to 2\r\n");

    // The same package passes on 64-bit Windows, and a 32-bit one on 32-bit Windows; the next
    // refusal is the version's.
    Fake().nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    RecordingInstaller on64;
    EXPECT_EQ(RunDriver(on64, L"/i /quiet"), kExitRefused);
    Fake().nativeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    g_PackageInfo.Template = L"Intel;1033";
    RecordingInstaller x86;
    EXPECT_EQ(RunDriver(x86, L"/i /quiet"), kExitRefused);
    EXPECT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(x86.calls, (std::vector<std::wstring>{L"Prepare", L"GetTitle"}));
}

TEST_F(DriverTest, PlatformAndRightsRefusalsInTheirOrder)
{
    const std::wstring title = L"Driver Product (4.5) Setup";
    {
        SetupIniFile ini(PackageIni("Os32Need=1\r\nMinWinVersion=x\r\n"));
        Fake().major = 4;
        RecordingInstaller nt4;
        EXPECT_EQ(RunDriver(nt4, L"/i"), kExitRefused);
        ASSERT_EQ(Fake().boxes.size(), 1u);
        EXPECT_EQ(Fake().boxes[0].text, L"Driver Product (4.5) doesn't support this Windows version.");
        EXPECT_EQ(Fake().boxes[0].caption, title);
        EXPECT_EQ(LogLines(), L"UILevel is set to 5\r\nDriver Product (4.5) doesn't support this Windows version.\r\n");
    }
    DeleteFileW(LogFile().c_str());
    Fake().Reset();
    {
        SetupIniFile ini(PackageIni("Os32Need=1\r\nMinWinVersion=x\r\n"));
        RecordingInstaller on64;
        EXPECT_EQ(RunDriver(on64, L"/i /passive"), kExitRefused);
        EXPECT_TRUE(Fake().boxes.empty());
        EXPECT_EQ(LogLines(), L"UILevel is set to 67\r\n"
                              L"This installation package is not supported by this processor type.\r\n");
    }
    DeleteFileW(LogFile().c_str());
    {
        // The version requirement comes before the rights.
        SetupIniFile ini(PackageIni("Os32Need=0\r\nMinWinVersion=x\r\n"));
        Fake().administrator = false;
        RecordingInstaller badVersion;
        EXPECT_EQ(RunDriver(badVersion, L"/i /quiet"), kExitRefused);
        EXPECT_EQ(LogLines(), L"UILevel is set to 2\r\n"
                              L"CheckWinVersion() failed. Invalid version 'x' in variable 'MinWinVersion'.\r\n");
    }
    DeleteFileW(LogFile().c_str());
    {
        // AdminNeed absent means it is needed.
        SetupIniFile ini(PackageIni(""));
        RecordingInstaller user;
        EXPECT_EQ(RunDriver(user, L"/i"), kExitRefused);
        ASSERT_EQ(Fake().boxes.size(), 1u);
        EXPECT_EQ(Fake().boxes[0].text, L"Admin priviledges are required.");
        EXPECT_EQ(Fake().boxes[0].caption, title);
        EXPECT_EQ(user.calls, (std::vector<std::wstring>{L"Prepare", L"GetTitle"}));
    }
    {
        SetupIniFile ini(PackageIni("AdminNeed=0\r\n"));
        RecordingInstaller user;
        EXPECT_EQ(RunDriver(user, L"/i"), kExitSuccess);
        EXPECT_EQ(user.calls.back(), L"Install");
    }
}

TEST_F(DriverTest, SecondSetupOfTheSameProductIsRefused)
{
    SetupIniFile ini(PackageIni(""));
    UniqueHandle firstRun;
    ASSERT_FALSE(IsAlreadyRunning(firstRun));

    RecordingInstaller second;
    EXPECT_EQ(RunDriver(second, L"/i"), kExitRefused);
    EXPECT_EQ(second.calls, (std::vector<std::wstring>{L"Prepare", L"GetTitle"}));
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].text, L"Installation 'Driver Product' already run.");
    EXPECT_EQ(Fake().boxes[0].caption, L"Installation Error");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(LogLines(), L"UILevel is set to 5\r\n"
                          L"Installation or deployment of product 'Driver Product' already run.\r\n");

    RecordingInstaller quiet;
    EXPECT_EQ(RunDriver(quiet, L"/i /quiet"), kExitRefused);
    EXPECT_EQ(Fake().boxes.size(), 1u);

    // The refused runs closed their handles, and a finished run leaves no mark.
    firstRun.Reset();
    RecordingInstaller later;
    EXPECT_EQ(RunDriver(later, L"/i /quiet"), kExitSuccess);
    RecordingInstaller again;
    EXPECT_EQ(RunDriver(again, L"/i /quiet"), kExitSuccess);
}

TEST_F(DriverTest, RestartIsAskedAtFullLevelAndDoneUnaskedBelowIt)
{
    SetupIniFile ini(PackageIni(""));
    const std::wstring question =
        L"You must restart your system for the configuration changes to take effect. Do you want restart now?";
    RecordingInstaller declined;
    declined.needsRestart = true;
    Fake().answers = {IDNO};
    EXPECT_EQ(RunDriver(declined, L"/i"), kExitRestartDeclined);
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].text, question);
    EXPECT_EQ(Fake().boxes[0].caption, L"Driver Product (4.5) Setup");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_TRUE(Fake().exits.empty());

    RecordingInstaller accepted;
    accepted.needsRestart = true;
    Fake().answers = {IDYES};
    EXPECT_EQ(RunDriver(accepted, L"/i"), kExitSuccess);
    ASSERT_EQ(Fake().exits.size(), 1u);
    EXPECT_EQ(Fake().exits[0].flags, static_cast<UINT>(EWX_REBOOT));
    EXPECT_EQ(Fake().exits[0].reason, 0x84040002u);

    DeleteFileW(LogFile().c_str());
    RecordingInstaller passive;
    passive.needsRestart = true;
    EXPECT_EQ(RunDriver(passive, L"/i /passive"), kExitSuccess);
    EXPECT_EQ(Fake().boxes.size(), 2u);
    EXPECT_EQ(Fake().exits.size(), 2u);
    const std::wstring lines = LogLines();
    EXPECT_NE(lines.find(question + L"\r\nAuto-reboot in passive mode\r\n"), std::wstring::npos) << lines;

    RecordingInstaller failed;
    failed.needsRestart = true;
    failed.installResult = false;
    EXPECT_EQ(RunDriver(failed, L"/i"), kExitRefused);
    EXPECT_EQ(Fake().boxes.size(), 2u);
    EXPECT_EQ(Fake().exits.size(), 2u);
}
