#include "msi/package_info.h"

#include "log/version.h"
#include "msi/msi_api.h"

PackageInfo g_PackageInfo;

namespace {

constexpr UINT kTemplateProperty = 7;  // PID_TEMPLATE
constexpr DWORD kTemplateChars = 128;

const wchar_t kQueryProductName[] = L"SELECT `Value` FROM `Property` WHERE `Property`='ProductName'";
const wchar_t kQueryProductVersion[] =
    L"SELECT `Value` FROM `Property` WHERE `Property`='ProductVersion'";
const wchar_t kQueryProductLanguage[] =
    L"SELECT `Value` FROM `Property` WHERE `Property`='ProductLanguage'";
const wchar_t kQueryProductCode[] = L"SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'";
const wchar_t kQueryProductNameLangNeutral[] =
    L"SELECT `Value` FROM `Property` WHERE `Property`='ProductNameLangNeutral'";

bool OpenPackage(const MsiApi& api, const std::wstring& msiPath, MsiHandleOwner& database)
{
    return api.IsComplete() && EngineTakesPath(msiPath) &&
           api.MsiOpenDatabaseW(msiPath.c_str(), MSIDBOPEN_READONLY, database.Receive()) ==
               ERROR_SUCCESS;
}

bool ReadTemplate(const MsiApi& api, MSIHANDLE database, std::wstring& text)
{
    MsiHandleOwner summary(api);
    if (api.MsiGetSummaryInformationW(database, nullptr, 0, summary.Receive()) != ERROR_SUCCESS)
        return false;
    wchar_t buffer[kTemplateChars] = {};
    DWORD size = kTemplateChars;
    UINT type = 0;
    INT number = 0;
    FILETIME time = {};
    if (api.MsiSummaryInfoGetPropertyW(summary.Get(), kTemplateProperty, &type, &number, &time, buffer,
                                       &size) != ERROR_SUCCESS)
        return false;
    text = buffer;
    return true;
}

}  // namespace

bool ReadPackageInfo(const std::wstring& msiPath)
{
    MsiApi api = LoadMsiApi();
    MsiHandleOwner database(api);
    if (!OpenPackage(api, msiPath, database))
        return false;
    PackageInfo& info = g_PackageInfo;
    if (!ReadTemplate(api, database.Get(), info.Template) ||
        !MsiQueryValue(api, database.Get(), kQueryProductName, info.ProductName) ||
        !MsiQueryValue(api, database.Get(), kQueryProductVersion, info.ProductVersion) ||
        !MsiQueryValue(api, database.Get(), kQueryProductLanguage, info.ProductLanguage) ||
        !MsiQueryValue(api, database.Get(), kQueryProductCode, info.ProductCode))
        return false;
    MsiQueryValue(api, database.Get(), kQueryProductNameLangNeutral, info.ProductNameLangNeutral);
    return true;
}

bool PackageIs64Bit()
{
    const std::wstring platform = PackagePlatform();
    return platform.size() >= 2 && platform.compare(platform.size() - 2, 2, L"64") == 0;
}

std::wstring PackagePlatform()
{
    const std::wstring& text = g_PackageInfo.Template;
    size_t separator = text.find(L';');
    if (text.empty() || separator == 0)
        return std::wstring();
    return text.substr(0, separator);
}

bool QueryInstalledProduct(const std::wstring& msiPath, bool* advertised, int* comparison)
{
    MsiApi api = LoadMsiApi();
    MsiHandleOwner database(api);
    if (!OpenPackage(api, msiPath, database))
        return false;
    std::wstring productCode;
    std::wstring productVersion;
    if (!MsiQueryValue(api, database.Get(), kQueryProductCode, productCode) ||
        !MsiQueryValue(api, database.Get(), kQueryProductVersion, productVersion))
        return false;
    const Version packageVersion = ParseVersion(productVersion);
    INSTALLSTATE state = api.MsiQueryProductStateW(productCode.c_str());
    if (advertised)
        *advertised = state == INSTALLSTATE_ADVERTISED;
    if (state != INSTALLSTATE_DEFAULT)
        return false;
    if (comparison) {
        wchar_t installed[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (api.MsiGetProductInfoW(productCode.c_str(), L"VersionString", installed, &size) ==
            ERROR_SUCCESS)
            *comparison = CompareVersion(ParseVersion(installed), packageVersion);
        else
            *comparison = -1;
    }
    return true;
}
