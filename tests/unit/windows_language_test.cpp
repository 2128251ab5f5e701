#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "config/language.h"
#include "config/setup_ini.h"
#include "config/windows_version.h"
#include "support.h"

TEST(WindowsVersion, ValuesAreMajorAndMinorDecimalNumbers)
{
    const struct {
        const wchar_t* value;
        bool valid;
        unsigned major, minor;
    } rows[] = {
        {L"6.1", true, 6, 1},  {L" 6 . 1 ", true, 6, 1}, {L"6..1", true, 6, 1}, {L"6.1.7601", true, 6, 1}, {L"6", true, 6, 0},
        {L".6.1", true, 6, 1}, {L"10.0", true, 10, 0},   {L"6.\t2", true, 6, 2}, {L"6.x", false, 0, 0},     {L"6.1.x", false, 0, 0},
        {L"6 1", false, 0, 0}, {L"+6.1", false, 0, 0},   {L"-6", false, 0, 0},   {L"..", false, 0, 0},      {L" . ", false, 0, 0},
        {L"4294967296", false, 0, 0}, {L"6.99999999999", false, 0, 0}, {L"4294967295.1", true, 4294967295u, 1},
        {L"\x0666.1", false, 0, 0},  // Arabic-Indic six is a digit to Unicode, not to the ini
    };
    for (const auto& row : rows) {
        unsigned major = 99, minor = 99;
        const bool valid = ParseWindowsVersion(row.value, major, minor);
        EXPECT_EQ(valid ? std::to_wstring(major) + L"." + std::to_wstring(minor) : L"invalid",
                  row.valid ? std::to_wstring(row.major) + L"." + std::to_wstring(row.minor) : L"invalid")
            << testing::PrintToString(std::wstring(row.value));
    }
}

// The ini's minimum against the running Windows: all four numbers at least the wanted ones,
// service-pack numbers cut to 16 bits; a shortfall names the wanted Windows in a box at the full
// level (or shows the author's message), and only an invalid value is logged.
TEST_F(RunTest, WindowsVersionCheckNamesTheWantedWindows)
{
    g_Settings.UILevel = kUILevelFull;
    const std::wstring stamp = L"Setup.exe [2026.12.04 16:44:05]: ", sp = L" (Servi\u0441e Pack ";
    const auto tooOld = [](const std::wstring& windows) {
        return L"Can't  itstall product.\r\nProduct can installed on " + windows + L" and above.";
    };
    const struct {
        const char* ini;
        DWORD major, minor;
        WORD spMajor, spMinor;
        std::wstring box, log;  // box: empty when the check passes
    } rows[] = {
        {"MinWinServicePack=x\r\nMinWinMessage=never", 4, 0, 0, 0, L"", L""},
        {"MinWinVersion=5.1\r\nMinWinServicePack=2", 5, 1, 3, 0, L"", L""},
        {"MinWinVersion=5.1\r\nMinWinServicePack=2", 6, 0, 0, 0, L"", L""},
        {"MinWinVersion=5.1\r\nMinWinServicePack=2", 5, 1, 1, 0, tooOld(L"'Windows XP'" + sp + L"2)"), L""},
        {"MinWinVersion=5.2\r\nMinWinServicePack=1.5", 5, 2, 1, 5, L"", L""},
        {"MinWinVersion=5.2\r\nMinWinServicePack=1.5", 5, 2, 1, 4, tooOld(L"'Windows XP 64-Bit'" + sp + L"1.5)"), L""},
        {"MinWinVersion=5.0", 4, 0, 6, 0, tooOld(L"'Windows 2000'"), L""},
        {"MinWinVersion=6.0", 5, 2, 2, 0, tooOld(L"'Windows Vista'"), L""},
        {"MinWinVersion=6.1\r\nMinWinServicePack=65537.65536", 6, 1, 1, 0, L"", L""},  // 65537 is 0x10001
        {"MinWinVersion=6.1\r\nMinWinServicePack=65537.65536", 6, 1, 0, 0, tooOld(L"'Windows 7'" + sp + L"1)"), L""},
        {"MinWinVersion=6.2", 6, 1, 1, 0, tooOld(L"'Windows 8'"), L""},
        {"MinWinVersion=6.3", 6, 2, 0, 0, tooOld(L"'Windows 8.1'"), L""},
        {"MinWinVersion=6.4", 6, 3, 0, 0, tooOld(L"'Windows 6.4'"), L""},
        {"MinWinVersion=7.0\r\nMinWinServicePack=6", 6, 3, 0, 0, tooOld(L"'Windows 7.0'" + sp + L"6)"), L""},
        {"MinWinVersion=10.1\r\nMinWinServicePack=0.5", 10, 1, 0, 4, tooOld(L"'Windows 10'"), L""},
        {"MinWinVersion=10\r\nMinWinMessage=Needs Windows 10.\\r\\nSee %s\\x.\\n", 6, 1, 1, 0, L"Needs Windows 10.\r\nSee %s\\x.\n", L""},
        {"MinWinVersion=6.x\r\nMinWinServicePack=1.y", 10, 0, 0, 0,
         L"An irrecoverable internal error occured.\r\nLog file:\r\n'" + g_Settings.LogPath + L"'",
         stamp + L"CheckWinVersion() failed. Invalid version '6.x' in variable 'MinWinVersion'.\r\n" + stamp +
             L"CheckWinVersion() failed. Invalid version '1.y' in variable 'MinWinServicePack'.\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.ini << " on " << row.major << "." << row.minor << " pack " << row.spMajor << "." << row.spMinor);
        WriteSetupIni(std::string("[Main]\r\n") + row.ini + "\r\n");
        DeleteFileW(g_Settings.LogPath.c_str());
        Fake() = FakePlatform();
        Fake().major = row.major, Fake().minor = row.minor, Fake().servicePackMajor = row.spMajor, Fake().servicePackMinor = row.spMinor;
        EXPECT_EQ(CheckWinVersion(), row.box.empty());
        EXPECT_EQ(Fake().boxes, row.box.empty() ? std::vector<std::wstring>() : std::vector<std::wstring>{row.box});
        EXPECT_EQ(ReadLogText(), row.log);
    }
}

// The ini's LangId or else the user's language, with its transform beside the program. The user's
// language falls back to its primary language with the default sub-language, the Chinese scripts
// apart (2052 simplified, 1028 traditional); the ini's does not fall back.
TEST_F(RunTest, LanguageTransformIsChosenWithItsFallback)
{
    const struct {
        const char* ini;
        LANGID user;
        std::vector<unsigned> transforms;  // beside the program
        unsigned langId, transform;        // transform 0: none
    } rows[] = {
        {"LangId=1049", 1033, {1049, 1033}, 1049, 1049}, {"LangId=1049", 1033, {1033}, 1049, 0},
        {"LangId=0", 2057, {1033}, 1033, 1033},          {"", 1049, {}, 1049, 0},
        {"", 1041, {1041, 1033}, 1041, 1041},            {"", 3082, {1034, 3082}, 3082, 3082},
        {"", 3082, {1034}, 1034, 1034},                  {"", 5124, {1028}, 1028, 1028},
        {"", 4100, {2052, 3076}, 3076, 3076},  // 2052 | 0x400 is Hong Kong's number: its file is taken
        {"", 3076, {2052}, 1028, 0},                     {"", 0x7C04, {1028}, 1028, 1028},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "ini " << row.ini << ", user language " << row.user);
        WriteSetupIni(std::string("[Main]\r\n") + row.ini + "\r\n");
        Fake().userLanguage = row.user;
        const auto transform = [](unsigned id) { return GetModulePath(false, true) + std::to_wstring(id) + L".mst"; };
        for (unsigned id : row.transforms)
            WriteBytes(transform(id), "mst");
        SetupSettings settings;
        SelectLanguageTransform(settings);
        EXPECT_EQ(settings.LangId, row.langId);
        EXPECT_EQ(settings.Transform, row.transform ? transform(row.transform) : L"");
        for (unsigned id : row.transforms)
            DeleteFileW(transform(id).c_str());
    }
}
