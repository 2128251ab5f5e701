#pragma once
#include <string>

// The identity of the product package, read once by the product installer and kept for the
// whole run (empty in a patch run).
struct PackageInfo {
    std::wstring ProductName;
    std::wstring ProductNameLangNeutral;
    std::wstring ProductVersion;
    std::wstring ProductLanguage;
    std::wstring ProductCode;
    std::wstring Template;  // summary property 7, such as "Intel;1033"
};

extern PackageInfo g_PackageInfo;

bool ReadPackageInfo(const std::wstring& msiPath);

// The template's part before its first ";" ("Intel", "x64"), or empty.
std::wstring PackagePlatform();
// The package is for 64-bit Windows only: its platform text ends in "64" ("x64", "Intel64").
bool PackageIs64Bit();

// Whether the package's product is installed. advertised (optional) tells whether it is only
// advertised; comparison (optional) gets CompareVersion(installed, package) when installed,
// -1 when the installed version cannot be read, and stays untouched otherwise.
bool QueryInstalledProduct(const std::wstring& msiPath, bool* advertised, int* comparison);
