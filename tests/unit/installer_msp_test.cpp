#include <gtest/gtest.h>

#include "app/settings.h"
#include "fake_platform.h"
#include "msi/installer_msp.h"
#include "test_support.h"

namespace {

using PatchInstallerTest = RunTest;

const wchar_t kStamp[] = L"Setup.exe [2026.12.04 16:44:05]: ";

}  // namespace

TEST_F(PatchInstallerTest, NamesVersionAndLanguageComeFromTheIni)
{
    SetupIniFile ini("[Main]\r\nMsiPatch=1\r\nName=Patched Product\r\nProductNameLangNeutral=Neutral\r\n"
                     "VersionTarget=2.0\r\nProductLangID=1049\r\n");
    CInstallerMsp patch;
    EXPECT_TRUE(patch.Prepare());
    EXPECT_EQ(g_Settings.CodePage, 1251u);
    EXPECT_EQ(patch.GetProductName(), L"Patched Product");
    EXPECT_EQ(patch.GetProductNameLangNeutral(), L"Neutral");
    EXPECT_EQ(patch.GetProductVersion(), L"2.0");
    EXPECT_EQ(patch.GetTitle(), L"Patched Product Update");
}

TEST_F(PatchInstallerTest, PrepareNeverFails)
{
    CInstallerMsp patch;
    {
        SetupIniFile ini("[Main]\r\nProductLangID=1041\r\n");
        EXPECT_TRUE(patch.Prepare());
        EXPECT_EQ(g_Settings.CodePage, 932u);
    }
    {
        // A number that is no language: the system's ANSI code page (0) is used.
        SetupIniFile ini("[Main]\r\nProductLangID=77777\r\n");
        EXPECT_TRUE(patch.Prepare());
        EXPECT_EQ(g_Settings.CodePage, 0u);
    }
    // No ini at all: empty names, and still no refusal.
    EXPECT_TRUE(patch.Prepare());
    EXPECT_EQ(patch.GetProductName(), L"");
    EXPECT_EQ(patch.GetTitle(), L" Update");
}

TEST_F(PatchInstallerTest, OperationTypeIsMinorOrMajor)
{
    CInstallerMsp patch;
    {
        SetupIniFile ini("[Main]\r\nName=P\r\n");
        EXPECT_TRUE(patch.CheckOperationType());
        EXPECT_EQ(g_Settings.MsiType, L"Major");
    }
    struct Case {
        const char* value;
        bool accepted;
        const wchar_t* read;
    };
    const Case cases[] = {
        {"Minor", true, L"Minor"},     {"minor", true, L"minor"},
        {"MAJOR", true, L"MAJOR"},     {" Major ", true, L"Major"},
        {"Install", false, L"Install"}, {"InstallUpgrade", false, L"InstallUpgrade"},
        {"Majors", false, L"Majors"},
    };
    for (const Case& c : cases) {
        SetupIniFile ini(std::string("[Main]\r\nMsiType=") + c.value + "\r\n");
        EXPECT_EQ(patch.CheckOperationType(), c.accepted) << c.value;
        EXPECT_EQ(g_Settings.MsiType, c.read) << c.value;
    }
}

TEST_F(PatchInstallerTest, DeclinedAtTheFullLevelAppliesNothing)
{
    SetupIniFile ini("[Main]\r\nName=P\r\nVersionTarget=2.0\r\nSendErrorLogTo=support@example.com\r\n");
    CInstallerMsp patch;
    patch.Title = patch.GetTitle();
    g_Settings.UILevel = kUILevelFull;
    g_Settings.PackagePath = scratch.File(L"absent.msp");
    Fake().answers = {IDNO};
    bool restart = false;
    EXPECT_TRUE(patch.Install(restart));
    EXPECT_FALSE(restart);
    ASSERT_EQ(Fake().boxes.size(), 1u);
    // The target version first, the product's name second.
    EXPECT_EQ(Fake().boxes[0].text, L"Do you want to apply patch '2.0' to 'P'?");
    EXPECT_EQ(Fake().boxes[0].caption, L"P Update");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(ReadLogText(g_Settings.LogPath),
              std::wstring(kStamp) + L"Do you want to apply patch '2.0' to 'P'?\r\n");
}

TEST_F(PatchInstallerTest, UnattendedRunAppliesWithoutAskingAndReportsAFailure)
{
    SetupIniFile ini("[Main]\r\nName=P\r\nVersionTarget=2.0\r\n");
    CInstallerMsp patch;
    patch.Title = patch.GetTitle();
    g_Settings.UILevel = kUILevelNone;
    g_Settings.Properties = L"A=1";
    g_Settings.PackagePath = scratch.File(L"absent.msp");
    bool restart = false;
    EXPECT_FALSE(patch.Install(restart));
    EXPECT_TRUE(Fake().boxes.empty());
    const std::wstring log = ReadLogText(g_Settings.LogPath);
    const std::wstring stamp = kStamp;
    EXPECT_EQ(log.find(stamp + L"Do you want to apply patch '2.0' to 'P'?\r\n" + stamp +
                       L"Auto-upgrading in passive mode\r\n" + stamp +
                       L"Calling MsiApplyPatch with command line: 'A=1'\r\n\r\n\r\n"),
              0u)
        << log;
    // No mail address: the failure report stops at its log line.
    EXPECT_NE(log.find(stamp + L"An irrecoverable internal error occured.\r\n" + stamp + L"Install() failed. Error("),
              std::wstring::npos)
        << log;
    EXPECT_NE(log.find(stamp + L"Can't read email address from ini file.\r\n"), std::wstring::npos) << log;
}
