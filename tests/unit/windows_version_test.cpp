#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "config/windows_version.h"
#include "fake_platform.h"
#include "test_support.h"

namespace {

class WindowsVersionTest : public RunTest {
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        g_Settings.UILevel = kUILevelFull;
    }

    void SetWindows(DWORD major, DWORD minor, WORD servicePackMajor, WORD servicePackMinor = 0)
    {
        Fake().major = major;
        Fake().minor = minor;
        Fake().servicePackMajor = servicePackMajor;
        Fake().servicePackMinor = servicePackMinor;
    }

    // The one box CheckWinVersion showed.
    std::wstring ShownText()
    {
        EXPECT_EQ(Fake().boxes.size(), 1u);
        if (Fake().boxes.size() != 1)
            return L"";
        EXPECT_EQ(Fake().boxes[0].caption, L"Installation Error");
        EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(Fake().boxes[0].owner, nullptr);
        return Fake().boxes[0].text;
    }

    static std::wstring TooOld(const std::wstring& windows)
    {
        return L"Can't  itstall product.\r\nProduct can installed on " + windows + L" and above.";
    }
};

}  // namespace

TEST(WindowsVersionValue, ParsesMajorAndMinorNumbers)
{
    struct Case {
        const wchar_t* value;
        bool valid;
        unsigned major;
        unsigned minor;
    };
    const Case cases[] = {
        {L"6.1", true, 6, 1},           {L" 6 . 1 ", true, 6, 1},     {L"6..1", true, 6, 1},
        {L"6.1.7601", true, 6, 1},      {L"6", true, 6, 0},            {L".6.1", true, 6, 1},
        {L"10.0", true, 10, 0},         {L"6.\t2", true, 6, 2},        {L"6.x", false, 0, 0},
        {L"6.1.x", false, 0, 0},        {L"6 1", false, 0, 0},         {L"+6.1", false, 0, 0},
        {L"-6", false, 0, 0},           {L"..", false, 0, 0},          {L" . ", false, 0, 0},
        {L"\x0666.1", false, 0, 0},  // Arabic-Indic six is a digit to Unicode, not to the ini
        {L"4294967295.1", true, 4294967295u, 1}, {L"4294967296", false, 0, 0},
        {L"6.99999999999", false, 0, 0},
    };
    for (const Case& c : cases) {
        unsigned major = 99;
        unsigned minor = 99;
        EXPECT_EQ(ParseWindowsVersion(c.value, major, minor), c.valid) << c.value;
        if (c.valid) {
            EXPECT_EQ(major, c.major) << c.value;
            EXPECT_EQ(minor, c.minor) << c.value;
        }
    }
}

TEST(WindowsVersionText, NamesKnownVersionsAndServicePacks)
{
    EXPECT_EQ(WindowsVersionText(5, 1, 2, 0), L"'Windows XP' (Servi\u0441e Pack 2)");
    EXPECT_EQ(WindowsVersionText(5, 2, 1, 5), L"'Windows XP 64-Bit' (Servi\u0441e Pack 1.5)");
    EXPECT_EQ(WindowsVersionText(5, 0, 0, 5), L"'Windows 2000'");
    EXPECT_EQ(WindowsVersionText(6, 0, 0, 0), L"'Windows Vista'");
    EXPECT_EQ(WindowsVersionText(6, 1, 1, 0), L"'Windows 7' (Servi\u0441e Pack 1)");
    EXPECT_EQ(WindowsVersionText(6, 2, 0, 0), L"'Windows 8'");
    EXPECT_EQ(WindowsVersionText(6, 3, 0, 0), L"'Windows 8.1'");
    EXPECT_EQ(WindowsVersionText(10, 1, 0, 0), L"'Windows 10'");
    EXPECT_EQ(WindowsVersionText(6, 4, 0, 0), L"'Windows 6.4'");
    EXPECT_EQ(WindowsVersionText(4, 0, 6, 0), L"'Windows 4.0' (Servi\u0441e Pack 6)");
    // The letter after "Servi" is Cyrillic, so the Latin spelling must not appear.
    EXPECT_EQ(WindowsVersionText(5, 1, 3, 0).find(L"Service"), std::wstring::npos);
}

TEST_F(WindowsVersionTest, NoRequirementIsMet)
{
    SetupIniFile ini("[Main]\r\nMinWinServicePack=x\r\nMinWinMessage=never\r\n");
    SetWindows(4, 0, 0);
    EXPECT_TRUE(CheckWinVersion());
    EXPECT_TRUE(Fake().boxes.empty());
    EXPECT_EQ(ReadLogText(g_Settings.LogPath), L"");
}

TEST_F(WindowsVersionTest, ServicePackDecidesWithinTheSameVersion)
{
    SetupIniFile ini("[Main]\r\nMinWinVersion=5.1\r\nMinWinServicePack=2\r\n");
    SetWindows(5, 1, 3);
    EXPECT_TRUE(CheckWinVersion());
    SetWindows(6, 0, 0);
    EXPECT_TRUE(CheckWinVersion());
    EXPECT_TRUE(Fake().boxes.empty());

    SetWindows(5, 1, 1);
    EXPECT_FALSE(CheckWinVersion());
    EXPECT_EQ(ShownText(), TooOld(L"'Windows XP' (Servi\u0441e Pack 2)"));
    // The refusal itself is not logged here; the driver's exit code tells.
    EXPECT_EQ(ReadLogText(g_Settings.LogPath), L"");
}

TEST_F(WindowsVersionTest, ShortfallNamesTheRequiredVersion)
{
    SetupIniFile ini("[Main]\r\nMinWinVersion=6.4\r\n");
    SetWindows(6, 3, 0);
    EXPECT_FALSE(CheckWinVersion());
    EXPECT_EQ(ShownText(), TooOld(L"'Windows 6.4'"));

    Fake().boxes.clear();
    SetupIniFile tenOne("[Main]\r\nMinWinVersion=10.1\r\nMinWinServicePack=0.5\r\n");
    SetWindows(10, 1, 0, 4);
    EXPECT_FALSE(CheckWinVersion());
    EXPECT_EQ(ShownText(), TooOld(L"'Windows 10'"));
}

TEST_F(WindowsVersionTest, ServicePackNumbersAreCutTo16Bits)
{
    // 65537 is 0x10001: service pack 1.
    SetupIniFile ini("[Main]\r\nMinWinVersion=6.1\r\nMinWinServicePack=65537.65536\r\n");
    SetWindows(6, 1, 1);
    EXPECT_TRUE(CheckWinVersion());
    SetWindows(6, 1, 0);
    EXPECT_FALSE(CheckWinVersion());
    EXPECT_EQ(ShownText(), TooOld(L"'Windows 7' (Servi\u0441e Pack 1)"));
}

TEST_F(WindowsVersionTest, AuthorsMessageWithLineBreaks)
{
    SetupIniFile ini("[Main]\r\nMinWinVersion=10\r\nMinWinMessage=Needs Windows 10.\\r\\nSee %s\\x.\\n\r\n");
    SetWindows(6, 1, 1);
    EXPECT_FALSE(CheckWinVersion());
    EXPECT_EQ(ShownText(), L"Needs Windows 10.\r\nSee %s\\x.\n");
}

TEST_F(WindowsVersionTest, BelowTheFullLevelNothingIsShown)
{
    SetupIniFile ini("[Main]\r\nMinWinVersion=11\r\n");
    g_Settings.UILevel = kUILevelBasicProgress;
    EXPECT_FALSE(CheckWinVersion());
    EXPECT_TRUE(Fake().boxes.empty());
}

TEST_F(WindowsVersionTest, InvalidValuesAreLoggedAndReportedAsInternalError)
{
    SetupIniFile ini("[Main]\r\nMinWinVersion=6.x\r\nMinWinServicePack=1.y\r\n");
    EXPECT_FALSE(CheckWinVersion());
    wchar_t longPath[MAX_PATH];
    ASSERT_NE(GetLongPathNameW(g_Settings.LogPath.c_str(), longPath, MAX_PATH), 0u);
    EXPECT_EQ(ShownText(), L"An irrecoverable internal error occured.\r\nLog file:\r\n'" + std::wstring(longPath) + L"'");
    const std::wstring stamp = L"Setup.exe [2026.12.04 16:44:05]: ";
    EXPECT_EQ(ReadLogText(g_Settings.LogPath),
              stamp + L"CheckWinVersion() failed. Invalid version '6.x' in variable 'MinWinVersion'.\r\n" + stamp +
                  L"CheckWinVersion() failed. Invalid version '1.y' in variable 'MinWinServicePack'.\r\n");
}
