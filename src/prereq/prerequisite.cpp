#include "prereq/prerequisite.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

#include "config/setup_ini.h"
#include "guards/process_guards.h"
#include "log/error_text.h"
#include "log/setup_log.h"
#include "msi/package_info.h"
#include "platform/platform.h"
#include "prereq/registry_conditions.h"
#include "prereq/system_checks.h"
#include "win/format.h"

namespace {

constexpr int kPrerequisiteSections = 100;
constexpr int kNumberedRegConditions = 32;
static_assert(kNumberedRegConditions <= 100, "numbered key names carry one or two digits");

bool ContainsNoCase(std::wstring text, const wchar_t* lowerCaseWord)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towlower(c));
    return text.find(lowerCaseWord) != std::wstring::npos;
}

// The package or program of a section without InstPath: the registry value InstRegPath names,
// up to its first blank, with the whole value before InstParams. False when it cannot be read.
bool ReadInstallCommandFromRegistry(const wchar_t* section, PrerequisiteInfo& record)
{
    const std::wstring regPath = IniReadString(section, L"InstRegPath", nullptr);
    std::wstring value;
    const LONG result = ReadRegistryPathValue(regPath, false, value);
    if (result != ERROR_SUCCESS) {
        LogPrintf(L"Can't read registry value from path '%s'. %s\r\n", regPath.c_str(), ErrorText(result).c_str());
        return false;
    }
    const size_t blank = value.find(L' ');
    if (blank != std::wstring::npos) {
        record.InstPath = value.substr(0, blank);
        record.InstParams = value + L' ' + IniReadString(section, L"InstParams", nullptr);
    }
    return true;
}

// Reads one "PreReq%d" section. False when the section is no prerequisite (no name, nothing to run).
bool ReadPrerequisite(const wchar_t* section, PrerequisiteInfo& record)
{
    // Up to 86 keys: one look at the file's time stamp for all of them.
    const SetupIniSnapshot snapshot;
    record.Name = IniReadString(section, L"Name", nullptr);
    if (record.Name.empty())
        return false;
    record.Url = IniReadString(section, L"Url", nullptr);
    record.InstPath = IniReadString(section, L"InstPath", nullptr);
    if (record.InstPath.empty()) {
        if (!ReadInstallCommandFromRegistry(section, record))
            return false;
    } else {
        ExpandPathMacros(record.InstPath);
        record.InstParams = IniReadString(section, L"InstParams", nullptr);
        record.UpdateParams = IniReadString(section, L"UpdateParams", nullptr);
        if (ContainsNoCase(record.Name, L"libre office") &&
            IniReadInt(section, L"NotAssociateWithMSOfficeFiles", 0) != 0)
            record.InstParams += L" REGISTER_NO_MSO_TYPES=1 ";
    }
    if (record.InstPath.empty())
        return false;

    record.IsUninstall = IniReadInt(section, L"IsUninstall", 0);
    record.AdminNeed = IniReadInt(section, L"AdminNeed", 1);
    record.RunAs = IniReadInt(section, L"RunAs", 0);
    record.OSbit = IniReadInt(section, L"OSbit", 0);
    record.OSver = wcstol(IniReadString(section, L"OSver", nullptr).c_str(), nullptr, 10);
    record.Key64 = IniReadInt(section, L"Key64", 0);
    record.FilePath = IniReadString(section, L"FilePath", nullptr);
    ExpandPathMacros(record.FilePath);
    record.FileVer = IniReadVersion(section, L"FileVer");
    record.FileTryLoad = IniReadInt(section, L"FileTryLoad", 0);
    record.MsiProd = IniReadString(section, L"MsiProd", nullptr);
    ReadRegConditions(section, record.RegConditions);
    record.ChooseDownload = IniReadString(section, L"ChooseDownload", nullptr);
    record.RunExeCond = IniReadString(section, L"RunExeCond", nullptr);
    record.SkipIfFoundInPath = IniReadString(section, L"SkipIfFoundInPath", nullptr);
    record.Selected = true;
    const int optional = IniReadOptional(section, L"Optional", 1);
    record.OptionalState = optional == -1 ? 2 : optional == 0 ? 1 : 0;
    return true;
}

void AppendRegCondition(const wchar_t* section, const wchar_t* pathKey, const wchar_t* conditionKey,
                        std::vector<RegCondition>& list)
{
    RegCondition condition{IniReadString(section, pathKey, nullptr), IniReadString(section, conditionKey, nullptr)};
    if (!condition.RegPath.empty() && !condition.RegCond.empty())
        list.push_back(std::move(condition));
}

// Puts the number (0 to 99) after the seven letters of a numbered key's name, as "%d" writes it:
// 66 names a section, without a formatter call for each.
void SetKeyNumber(wchar_t (&key)[10], int number)
{
    wchar_t* digit = key + 7;
    if (number >= 10)
        *digit++ = static_cast<wchar_t>(L'0' + number / 10);
    *digit++ = static_cast<wchar_t>(L'0' + number % 10);
    *digit = L'\0';
}

// Whether the record applies to this Windows: its bitness and its version bound.
bool AppliesToThisWindows(const PrerequisiteInfo& record)
{
    if (record.OSbit == 1 && !IsNativeX86())
        return false;
    if (record.OSbit == 2 && IsNativeX86())
        return false;
    if (record.OSver == 0)
        return true;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!platform::GetWindowsVersion(&version))
        return false;
    const unsigned current = version.dwMajorVersion * 100 + version.dwMinorVersion;
    const unsigned bound = record.OSver > 0 ? static_cast<unsigned>(record.OSver)
                                            : 0u - static_cast<unsigned>(record.OSver);
    return record.OSver > 0 ? current >= bound : current <= bound;
}

}  // namespace

void ReadPrerequisites(const wchar_t* format, PrerequisiteList& list)
{
    const CLogBurst burst;
    list.clear();
    for (int index = 0; index < kPrerequisiteSections; ++index) {
        const std::wstring section = Format(format, index);
        PrerequisiteInfo record;
        if (!ReadPrerequisite(section.c_str(), record))
            continue;
        // Entries that remove something are always listed; others only when the setup must act.
        if (CheckPrerequisite(record) || record.IsUninstall != 0)
            list.push_back(std::move(record));
    }
}

void ReadPostRequisites(const wchar_t* format, PrerequisiteList& list)
{
    list.clear();
    for (int index = 0;; ++index) {
        const std::wstring section = Format(format, index);
        const SetupIniSnapshot snapshot;
        PrerequisiteInfo record;
        record.RunAs = IniReadInt(section.c_str(), L"RunAs", 0);
        record.Name = IniReadString(section.c_str(), L"Name", nullptr);
        if (record.Name.empty())
            return;
        record.Url = IniReadString(section.c_str(), L"Url", nullptr);
        record.InstPath = IniReadString(section.c_str(), L"InstPath", nullptr);
        if (!record.InstPath.empty()) {
            ExpandPathMacros(record.InstPath);
            record.InstParams = IniReadString(section.c_str(), L"InstParams", nullptr);
        }
        list.push_back(std::move(record));
    }
}

void ReadRegConditions(const wchar_t* section, std::vector<RegCondition>& list)
{
    AppendRegCondition(section, L"RegPath", L"RegCond", list);
    wchar_t pathKey[] = L"RegPath__";
    wchar_t conditionKey[] = L"RegCond__";
    for (int number = 0; number < kNumberedRegConditions; ++number) {
        SetKeyNumber(pathKey, number);
        SetKeyNumber(conditionKey, number);
        AppendRegCondition(section, pathKey, conditionKey, list);
    }
}

bool CheckPrerequisite(PrerequisiteInfo& record)
{
    if (!AppliesToThisWindows(record) || !record.Selected)
        return false;
    record.Installed = true;
    if (!record.SkipIfFoundInPath.empty() && FindInPath(record.SkipIfFoundInPath))
        return false;
    // The first kind of condition the record has decides: file, product, registry, tool.
    if (!record.FilePath.empty()) {
        if (IsValidFileVersion(record.FilePath, record.FileVer, record.FileTryLoad))
            return false;
        record.Installed = false;
        return true;
    }
    if (!record.MsiProd.empty()) {
        // Installed or advertised counts as present; a package that cannot be read does not.
        bool advertised = false;
        return !QueryInstalledProduct(record.InstPath, &advertised, nullptr) && !advertised;
    }
    if (!record.RegConditions.empty()) {
        if (CheckRegConditions(record.RegConditions, record.Key64))
            return false;
        record.Installed = false;
        return true;
    }
    if (!record.RunExeCond.empty())
        return CheckRunExeCondition(record);
    // A record without any condition counts as present.
    return false;
}
