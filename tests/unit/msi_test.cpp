#include <gtest/gtest.h>

#include "app/settings.h"
#include "fake_platform.h"
#include "log/messages.h"
#include "msi/installer.h"
#include "msi/msi_api.h"
#include "msi/package_info.h"
#include "log/setup_log.h"
#include "resources/string_ids.h"
#include "test_support.h"
#include "win/library.h"

namespace {

// Authors a small package database with the real msi.dll: a Property table and a template.
constexpr UINT kStringType = 30;  // kStringType

void Execute(const MsiApi& api, MSIHANDLE database, const wchar_t* sql)
{
    MsiHandleOwner view(api);
    ASSERT_EQ(api.MsiDatabaseOpenViewW(database, sql, view.Receive()), 0u) << sql;
    ASSERT_EQ(api.MsiViewExecute(view.Get(), 0), 0u) << sql;
}

void AuthorPackage(const std::wstring& path, const std::wstring& templateText,
                   const std::vector<std::pair<std::wstring, std::wstring>>& properties)
{
        MsiApi api = LoadMsiApi();
        using CommitFn = UINT(WINAPI*)(MSIHANDLE);
        using SetPropertyFn = UINT(WINAPI*)(MSIHANDLE, UINT, UINT, INT, FILETIME*, LPCWSTR);
        auto commit = GetProc<CommitFn>(api.module.Get(), "MsiDatabaseCommit");
        auto setProperty = GetProc<SetPropertyFn>(api.module.Get(), "MsiSummaryInfoSetPropertyW");
        auto persist = GetProc<CommitFn>(api.module.Get(), "MsiSummaryInfoPersist");
        ASSERT_TRUE(api.IsComplete() && commit && setProperty && persist);
        MsiHandleOwner database(api);
        ASSERT_EQ(api.MsiOpenDatabaseW(path.c_str(), MSIDBOPEN_CREATE, database.Receive()), 0u);
        Execute(api, database.Get(),
                L"CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, `Value` CHAR(0) NOT NULL "
                L"LOCALIZABLE PRIMARY KEY `Property`)");
        for (const auto& property : properties) {
            Execute(api, database.Get(),
                    (L"INSERT INTO `Property` (`Property`, `Value`) VALUES ('" + property.first +
                     L"', '" + property.second + L"')").c_str());
        }
        {
            MsiHandleOwner summary(api);
            ASSERT_EQ(api.MsiGetSummaryInformationW(database.Get(), nullptr, 2, summary.Receive()), 0u);
            ASSERT_EQ(setProperty(summary.Get(), 7, kStringType, 0, nullptr, templateText.c_str()), 0u);
            ASSERT_EQ(persist(summary.Get()), 0u);
        }
        ASSERT_EQ(commit(database.Get()), 0u);
}

const std::vector<std::pair<std::wstring, std::wstring>> kProductProperties = {
    {L"ProductName", L"Unit Product"},
    {L"ProductVersion", L"3.2.1"},
    {L"ProductLanguage", L"1049"},
    {L"ProductCode", L"{6A1C0E52-3D4B-4F1A-9E2C-7B5D8F0A1C33}"},
};

using MsiTest = RunTest;

}  // namespace

TEST_F(MsiTest, PackageIdentityIsReadFromTheDatabase)
{
    const std::wstring path = scratch.File(L"product.msi");
    auto properties = kProductProperties;
    properties.push_back({L"ProductNameLangNeutral", L"Unit Product LN"});
    ASSERT_NO_FATAL_FAILURE(AuthorPackage(path, L"x64;1049", properties));

    ASSERT_TRUE(ReadPackageInfo(path));
    EXPECT_EQ(g_PackageInfo.ProductName, L"Unit Product");
    EXPECT_EQ(g_PackageInfo.ProductVersion, L"3.2.1");
    EXPECT_EQ(g_PackageInfo.ProductLanguage, L"1049");
    EXPECT_EQ(g_PackageInfo.ProductCode, L"{6A1C0E52-3D4B-4F1A-9E2C-7B5D8F0A1C33}");
    EXPECT_EQ(g_PackageInfo.ProductNameLangNeutral, L"Unit Product LN");
    EXPECT_EQ(PackagePlatform(), L"x64");

    // Not installed: no comparison is made.
    bool advertised = true;
    int comparison = 7;
    EXPECT_FALSE(QueryInstalledProduct(path, &advertised, &comparison));
    EXPECT_FALSE(advertised);
    EXPECT_EQ(comparison, 7);
}

TEST_F(MsiTest, LangNeutralNameIsOptionalButTheOthersAreNot)
{
    const std::wstring path = scratch.File(L"plain.msi");
    ASSERT_NO_FATAL_FAILURE(AuthorPackage(path, L"Intel;1033", kProductProperties));
    ASSERT_TRUE(ReadPackageInfo(path));
    EXPECT_EQ(g_PackageInfo.ProductNameLangNeutral, L"");
    EXPECT_EQ(PackagePlatform(), L"Intel");

    auto withoutCode = kProductProperties;
    withoutCode.pop_back();
    const std::wstring broken = scratch.File(L"broken.msi");
    ASSERT_NO_FATAL_FAILURE(AuthorPackage(broken, L"Intel;1033", withoutCode));
    g_PackageInfo = PackageInfo();
    EXPECT_FALSE(ReadPackageInfo(broken));
    EXPECT_EQ(g_PackageInfo.ProductName, L"Unit Product");
    EXPECT_FALSE(ReadPackageInfo(scratch.File(L"absent.msi")));
}

TEST_F(MsiTest, ValuesOf260CharactersOrMoreAreRefused)
{
    const std::wstring path = scratch.File(L"long.msi");
    ASSERT_NO_FATAL_FAILURE(AuthorPackage(
        path, L"Intel;1033", {{L"Short", std::wstring(259, L'a')}, {L"Long", std::wstring(300, L'b')}}));
    MsiApi api = LoadMsiApi();
    MsiHandleOwner database(api);
    ASSERT_EQ(api.MsiOpenDatabaseW(path.c_str(), MSIDBOPEN_READONLY, database.Receive()), 0u);
    std::wstring value;
    EXPECT_TRUE(MsiQueryValue(api, database.Get(),
                              L"SELECT `Value` FROM `Property` WHERE `Property`='Short'", value));
    EXPECT_EQ(value.size(), 259u);
    EXPECT_FALSE(MsiQueryValue(api, database.Get(),
                               L"SELECT `Value` FROM `Property` WHERE `Property`='Long'", value));
    EXPECT_FALSE(MsiQueryValue(api, database.Get(),
                               L"SELECT `Value` FROM `Property` WHERE `Property`='None'", value));
}

TEST(PackagePlatformText, IsThePartBeforeTheFirstSemicolon)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"Intel;1033", L"Intel"}, {L"x64;1033,1049", L"x64"}, {L";1033", L""},
        {L"", L""},                {L"Arm64", L"Arm64"},
    };
    for (const auto& c : cases) {
        g_PackageInfo.Template = c.first;
        EXPECT_EQ(PackagePlatform(), c.second) << c.first;
    }
    g_PackageInfo = PackageInfo();
}

TEST_F(MsiTest, SuccessAndCancelAreNotReported)
{
    g_Settings.UILevel = kUILevelFull;
    EXPECT_EQ(EvaluateInstallResult(L"T", 0), kInstallSucceeded);
    EXPECT_EQ(EvaluateInstallResult(L"T", 1641), kInstallSucceeded);
    EXPECT_EQ(EvaluateInstallResult(L"T", 3010), kInstallSucceeded);
    EXPECT_EQ(EvaluateInstallResult(L"T", 1602), kInstallCancelled);
    EXPECT_TRUE(Fake().boxes.empty());
    EXPECT_EQ(GetFileAttributesW(g_Settings.LogPath.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MsiTest, FailuresAreLoggedAndShownWithTheLogFile)
{
    g_Settings.UILevel = kUILevelFull;
    EXPECT_EQ(EvaluateInstallResult(L"Title (1.0) Setup", 1638), kInstallFailed);
    const std::wstring newer = LoadText(IDS_NEWER_VERSION_INSTALLED);
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].text, newer + L"\r\n\r\nLog file:\r\n'" + g_Settings.LogPath + L"'");
    EXPECT_EQ(Fake().boxes[0].caption, L"Title (1.0) Setup");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_ICONERROR));

    g_Settings.UILevel = kUILevelNone;
    EXPECT_EQ(EvaluateInstallResult(L"T", 7086), kInstallFailed);
    EXPECT_EQ(EvaluateInstallResult(L"T", 1642), kInstallFailed);
    EXPECT_EQ(EvaluateInstallResult(L"T", 1603), kInstallFailed);
    EXPECT_EQ(Fake().boxes.size(), 1u);

    const std::wstring log = ReadLogText(g_Settings.LogPath);
    const std::wstring stamp = L"Setup.exe [2026.12.04 16:44:05]: ";
    EXPECT_NE(log.find(stamp + newer + L"\r\n" + stamp + L"Install() failed. Error(1638) '"),
              std::wstring::npos);
    EXPECT_NE(log.find(stamp + LoadText(IDS_UPDATE_DISABLED) + L"\r\n" + stamp +
                       L"Install() failed. Error(7086) 'Unknown error 0x00001BAE'\r\n"),
              std::wstring::npos);
    EXPECT_NE(log.find(stamp + LoadText(IDS_PATCH_TARGET_NOT_FOUND) + L"\r\n"), std::wstring::npos);
    EXPECT_NE(log.find(stamp + LoadText(IDS_INTERNAL_ERROR) + L"\r\n" + stamp +
                       L"Install() failed. Error(1603) '"),
              std::wstring::npos);
}

namespace {

DWORD g_raisedCode = 0;

UINT WINAPI FaultingInstall(LPCWSTR, LPCWSTR)
{
    RaiseException(g_raisedCode, 0, 0, nullptr);
    return 0;
}

UINT WINAPI CrashingInstall(LPCWSTR, LPCWSTR)
{
    *static_cast<volatile int*>(nullptr) = 1;
    return 0;
}

UINT WINAPI FaultingPatch(LPCWSTR, LPCWSTR, INSTALLTYPE, LPCWSTR)
{
    RaiseException(0xC0000094, 0, 0, nullptr);
    return 0;
}

UINT WINAPI QuietInstall(LPCWSTR package, LPCWSTR commandLine)
{
    return package == g_Settings.PackagePath && std::wstring(commandLine) == L"A=1" ? 1605u : 1u;
}

}  // namespace

TEST_F(MsiTest, EngineExceptionsBecomeFatalErrors)
{
    MsiApi api;
    api.MsiInstallProductW = FaultingInstall;
    api.MsiApplyPatchW = FaultingPatch;
    g_raisedCode = 0xE0434352;
    EXPECT_EQ(CallMsiInstallProduct(api, L""), 1603u);
    api.MsiInstallProductW = CrashingInstall;
    EXPECT_EQ(CallMsiInstallProduct(api, L""), 1603u);
    EXPECT_EQ(CallMsiApplyPatch(api, L"p.msp", nullptr, INSTALLTYPE_DEFAULT, L""), 1603u);
    g_Settings.PackagePath = L"C:\\pkg.msi";
    api.MsiInstallProductW = QuietInstall;
    EXPECT_EQ(CallMsiInstallProduct(api, L"A=1"), 1605u);

    EXPECT_EQ(ReadLogText(g_Settings.LogPath),
              L"Setup.exe [2026.12.04 16:44:05]: Hardware exception occur. Exception code 0xE0434352.\r\n"
              L"Setup.exe [2026.12.04 16:44:05]: Hardware exception occur. Exception code 0xC0000005.\r\n"
              L"Setup.exe [2026.12.04 16:44:05]: Hardware exception occur. Exception code 0xC0000094.\r\n");
}
