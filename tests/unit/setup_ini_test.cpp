#include <gtest/gtest.h>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "fake_platform.h"
#include "test_support.h"

namespace {

using IniTest = RunTest;

}  // namespace

TEST_F(IniTest, PathsFollowTheProgramFile)
{
    wchar_t module[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring program(module, length);
    std::wstring folder = program.substr(0, program.rfind(L'\\'));
    std::wstring stem = program.substr(0, program.rfind(L'.'));
    EXPECT_EQ(GetModulePath(false, false), folder);
    EXPECT_EQ(GetModulePath(false, true), folder + L"\\");
    EXPECT_EQ(GetModulePath(true, false), stem);
    EXPECT_EQ(GetIniPath(), stem + L".ini");
}

TEST_F(IniTest, StringsAreReadInTheProductCodePage)
{
    SetupIniFile ini("[Main]\r\nName=\xCF\xF0\xE8\xEC\xE5\xF0\r\nMinWinVersion=5.1.2600\r\n");
    g_Settings.CodePage = 1251;
    EXPECT_EQ(IniReadString(kMainSection, L"Name", nullptr), L"\x041F\x0440\x0438\x043C\x0435\x0440");
    g_Settings.CodePage = 1252;
    EXPECT_EQ(IniReadString(kMainSection, L"Name", nullptr), L"\x00CF\x00F0\x00E8\x00EC\x00E5\x00F0");
    EXPECT_EQ(VersionText(IniReadVersion(kMainSection, L"MinWinVersion")), L"5.1.2600.0");
}

TEST_F(IniTest, WritesAreLoggedAndFailuresShown)
{
    const std::wstring copy = scratch.File(L"copy.ini");
    EXPECT_EQ(IniWriteStringLogged(L"Main", L"ShowStartDialog", L"0", copy, true), 1);
    wchar_t value[16] = {};
    GetPrivateProfileStringW(L"Main", L"ShowStartDialog", L"", value, 16, copy.c_str());
    EXPECT_STREQ(value, L"0");

    g_Settings.UILevel = kUILevelFull;
    const std::wstring unreachable = scratch.File(L"no folder\\setup.ini");
    EXPECT_EQ(IniWriteStringLogged(L"Main", L"Key", L"V", unreachable, true), 0);
    const std::wstring log = ReadLogText(g_Settings.LogPath);
    EXPECT_NE(log.find(L"]: String write to file '" + copy +
                       L"'. Section='Main' Key='ShowStartDialog' Value='0'.\r\n"),
              std::wstring::npos);
    const std::wstring failure = L"]: Can't write string to file '" + unreachable +
                                 L"'. Section='Main' Key='Key' Value='V'. Error(";
    EXPECT_NE(log.find(failure), std::wstring::npos) << std::string(log.begin(), log.end());
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].text.rfind(L"Cannot write to file\n'" + unreachable + L"'.\n\nError(", 0), 0u);
    EXPECT_EQ(Fake().boxes[0].caption, L"Installation Error");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_ICONERROR));

    g_Settings.UILevel = kUILevelNone;
    IniWriteStringLogged(L"Main", L"Key", L"V", unreachable, true);
    EXPECT_EQ(Fake().boxes.size(), 1u);
}

TEST_F(IniTest, DeletingASectionRemovesAllItsKeys)
{
    const std::wstring copy = scratch.File(L"copy.ini");
    WriteBytes(copy, "[DeploymentExcludeFiles]\r\nA=1\r\nB=2\r\n[Main]\r\nMsiPath=x.msi\r\n");
    EXPECT_NE(IniDeleteSection(L"DeploymentExcludeFiles", copy), 0);
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, copy.c_str());
    std::string text = ReadBytes(copy);
    EXPECT_EQ(text.find("DeploymentExcludeFiles"), std::string::npos);
    EXPECT_NE(text.find("MsiPath=x.msi"), std::string::npos);
}

TEST_F(IniTest, ASnapshotLooksAtTheFileOnce)
{
    SetupIniFile ini("[Main]\r\nA=1\r\n");
    {
        const SetupIniSnapshot snapshot;
        EXPECT_EQ(IniReadInt(kMainSection, L"A", 0), 1);
        WriteBytes(GetIniPath(), "[Main]\r\nA=22\r\nOptional=0\r\n");
        EXPECT_EQ(IniReadInt(kMainSection, L"A", 0), 1);
        {
            const SetupIniSnapshot nested;
            EXPECT_EQ(IniReadOptional(kMainSection, L"Optional", 1), -1);
        }
        EXPECT_EQ(IniReadString(kMainSection, L"A", nullptr), L"1");
    }
    EXPECT_EQ(IniReadInt(kMainSection, L"A", 0), 22);
    EXPECT_EQ(IniReadOptional(kMainSection, L"Optional", 1), 0);

    // A file that is missing when the snapshot looks stays missing for it.
    DeleteFileW(GetIniPath().c_str());
    {
        const SetupIniSnapshot snapshot;
        EXPECT_EQ(IniReadInt(kMainSection, L"A", 5), 5);
        WriteBytes(GetIniPath(), "[Main]\r\nA=3\r\n");
        EXPECT_EQ(IniReadInt(kMainSection, L"A", 5), 5);
    }
    EXPECT_EQ(IniReadInt(kMainSection, L"A", 5), 3);
}
