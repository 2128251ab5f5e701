#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/driver.h"
#include "app/settings.h"
#include "config/setup_ini.h"
#include "fake_platform.h"
#include "msi/installer.h"
#include "test_support.h"

namespace {

// An installer that records what the driver asks of it.
class RecordingInstaller : public CInstaller {
public:
    bool Install(bool&) override
    {
        calls.push_back(L"Install");
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
        // The package path is the program's folder followed by MsiPath.
        WriteBytes(GetModulePath(false, true) + relativePackage, "x");
    }
    void TearDown() override
    {
        DeleteFileW((GetModulePath(false, true) + relativePackage).c_str());
        DeleteFileW(LogFile().c_str());
        g_Settings = SetupSettings();
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
    RecordingInstaller installer;
    EXPECT_EQ(RunDriver(installer, L"/i /passive"), kExitSuccess);
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
}
