#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "deploy/deployment_scan.h"
#include "deploy/deployment_settings.h"
#include "support.h"

namespace {

// The entries of a section (or, for no section, the section names) joined by "|".
std::wstring Listed(const wchar_t* section, const std::wstring& ini)
{
    wchar_t buffer[4096] = {};
    if (section)
        GetPrivateProfileSectionW(section, buffer, 4096, ini.c_str());
    else
        GetPrivateProfileSectionNamesW(buffer, 4096, ini.c_str());
    std::wstring joined;
    for (const wchar_t* entry = buffer; *entry; entry += wcslen(entry) + 1)
        joined += (joined.empty() ? L"" : L"|") + std::wstring(entry);
    return joined;
}

using DeploySettingsTest = RunTest;

}  // namespace

TEST(DeployScan, FormatSizeKeepsOnlyTheLastDivisionsFraction)
{
    const struct {
        uint64_t bytes;
        const wchar_t* text;
    } cases[] = {
        {0, L"0.00 Bytes"},          {1023, L"1023.00 Bytes"},   {1024, L"1.00 KB"},
        {1536, L"1.50 KB"},          {1572864, L"1.50 MB"},      {1049088, L"1.00 MB"},
        {1ull << 30, L"1.00 GB"},    {1ull << 40, L"1.00 TB"},   {1ull << 50, L"1024.00 TB"},
        {~0ull, L"16777216.00 TB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatSize(c.bytes), c.text) << c.bytes;
}

TEST(DeployScan, EstimatedFileSizeAddsAClusterBeyondTheLastFullOne)
{
    const struct {
        uint64_t size;
        uint32_t cluster;
        uint64_t counted;
    } cases[] = {
        {0, 4096, 4096},    {1, 4096, 4096},   {4095, 4096, 4096},  {4096, 4096, 8192},
        {4097, 4096, 8192}, {8192, 4096, 12288}, {0, 512, 512},     {700, 512, 1024},
        // An unknown cluster size counts as the fallback size.
        {0, 0, 4096},       {100, 0, 4096},    {4096, 0, 8192},
        {5ull << 30, 65536, (5ull << 30) + 65536}, {(5ull << 30) + 1, 65536, (5ull << 30) + 65536},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EstimatedFileSize(c.size, c.cluster), c.counted) << c.size << " / " << c.cluster;
}

TEST(DeployScan, IsExcludedComparesWholePathsFoldingOnlyLatinLetters)
{
    const std::vector<std::wstring> list = {L"C:\\Dist\\Help", L"C:\\Dist\\setup.ini", L"C:\\Dist\\\x0414\x0430\x043D",
                                            L"C:\\Dist\\Docs\\", L"C:\\Dist\\\x00C9t\x00E9"};
    const struct {
        const wchar_t* path;
        bool excluded;
    } cases[] = {
        {L"C:\\Dist\\Help", true},
        {L"c:\\dist\\HELP", true},
        {L"C:\\Dist\\SETUP.INI", true},
        {L"C:\\Dist\\Help\\", false},
        {L"C:\\Dist\\Help\\a.txt", false},
        {L"Help", false},
        {L"C:\\Dist\\Sub\\setup.ini", false},
        {L"C:\\Dist\\Docs", false},
        {L"C:\\Dist\\\x0414\x0430\x043D", true},
        {L"C:\\Dist\\\x0434\x0430\x043D", false},
        {L"C:\\DIST\\\x00C9T\x00E9", true},
        {L"C:\\Dist\\\x00E9t\x00E9", false},
        {L"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsExcluded(list, c.path), c.excluded) << testing::PrintToString(std::wstring(c.path));
    EXPECT_FALSE(IsExcluded({}, L"C:\\Dist\\Help"));
}

TEST_F(DeploySettingsTest, WriteDeploymentSettingsRewritesTheCopysIni)
{
    const struct {
        const char* before;  // the copy's ini before the writing; null: none
        const wchar_t* commonFolder;
        int uploadChoice;
        bool writable;
        const wchar_t* sections;
        const wchar_t* main;
        const wchar_t* properties;
    } cases[] = {
        {"[DeploymentExcludeFolders]\r\nFolder0=#Root#\\Help\r\n[Main]\r\nShowStartDialog=1\r\nMsiPath=x.msi\r\n"
         "[DeploymentExcludeFiles]\r\nFile0=#Root#\\a.txt\r\n[InstallProperties]\r\nCOMMON_FOLDER=old\r\n",
         L"\\\\srv\\common", 2, true, L"Main|InstallProperties", L"ShowStartDialog=0|MsiPath=x.msi",
         L"COMMON_FOLDER=\\\\srv\\common|AFTER_DEPLOYMENT=1|UPLOAD_CMDLOG_TO_BRIXWELL_SERVER=2"},
        {nullptr, L"", 0, true, L"Main|InstallProperties", L"ShowStartDialog=0",
         L"AFTER_DEPLOYMENT=1|COMMON_FOLDER=|UPLOAD_CMDLOG_TO_BRIXWELL_SERVER=0"},
        {"[Main]\r\nMsiPath=y.msi\r\n", L"C:\\Common Files", -1, true, L"Main|InstallProperties",
         L"MsiPath=y.msi|ShowStartDialog=0",
         L"AFTER_DEPLOYMENT=1|COMMON_FOLDER=C:\\Common Files|UPLOAD_CMDLOG_TO_BRIXWELL_SERVER=-1"},
        // The first failed write ends the writing with its message.
        {nullptr, L"x", 1, false, L"", L"", L""},
    };
    g_Settings.UILevel = kUILevelFull;
    for (const auto& c : cases) {
        Fake().boxes.clear();
        const std::wstring copy = TempPath(L"copy");
        CreateDirectoryW(copy.c_str(), nullptr);
        DeploymentState state;
        state.DestinationFolder = copy + (c.writable ? L"\\" : L"\\missing\\");
        state.CommonFolder = c.commonFolder;
        state.UploadChoice = c.uploadChoice;
        const std::wstring ini = state.DestinationFolder + SetupIniFileName();
        if (c.before)
            WriteBytes(ini, c.before);
        EXPECT_EQ(WriteDeploymentSettings(state), c.writable) << c.uploadChoice;
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, ini.c_str());
        EXPECT_EQ(Listed(nullptr, ini), c.sections) << c.uploadChoice;
        EXPECT_EQ(Listed(L"Main", ini), c.main) << c.uploadChoice;
        EXPECT_EQ(Listed(L"InstallProperties", ini), c.properties) << c.uploadChoice;
        ASSERT_EQ(Fake().boxes.size(), c.writable ? 0u : 1u) << c.uploadChoice;
        if (!c.writable) {
            EXPECT_EQ(Fake().boxes[0].rfind(L"Cannot write to file\n'" + ini + L"'.\n\nError(", 0), 0u);
        }
        DeleteFileW(ini.c_str());
        RemoveDirectoryW(copy.c_str());
    }
}
