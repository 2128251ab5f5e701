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

namespace PrereqKey {
const wchar_t Name[] = L"Name", Url[] = L"Url", InstPath[] = L"InstPath", InstRegPath[] = L"InstRegPath",
              InstParams[] = L"InstParams", UpdateParams[] = L"UpdateParams",
              NotAssociateWithMSOfficeFiles[] = L"NotAssociateWithMSOfficeFiles", IsUninstall[] = L"IsUninstall",
              AdminNeed[] = L"AdminNeed", RunAs[] = L"RunAs", OSbit[] = L"OSbit", OSver[] = L"OSver",
              Key64[] = L"Key64", FilePath[] = L"FilePath", FileVer[] = L"FileVer", FileTryLoad[] = L"FileTryLoad",
              MsiProd[] = L"MsiProd", RegPath[] = L"RegPath", RegCond[] = L"RegCond",
              ChooseDownload[] = L"ChooseDownload", RunExeCond[] = L"RunExeCond",
              SkipIfFoundInPath[] = L"SkipIfFoundInPath", Optional[] = L"Optional";
}

const wchar_t kPrerequisiteFormat[] = L"PreReq%d";
const wchar_t kPostRequisiteFormat[] = L"PostReq%d";

const IniKey kPrerequisiteKeys[] = {
    {PrereqKey::Name, IniKeyType::String},         {PrereqKey::Url, IniKeyType::String},
    {PrereqKey::InstPath, IniKeyType::String},     {PrereqKey::InstRegPath, IniKeyType::String},
    {PrereqKey::InstParams, IniKeyType::String},   {PrereqKey::UpdateParams, IniKeyType::String},
    {PrereqKey::NotAssociateWithMSOfficeFiles, IniKeyType::Integer},
    {PrereqKey::IsUninstall, IniKeyType::Integer}, {PrereqKey::AdminNeed, IniKeyType::Integer},
    {PrereqKey::RunAs, IniKeyType::Integer},       {PrereqKey::OSbit, IniKeyType::Integer},
    {PrereqKey::OSver, IniKeyType::Decimal},       {PrereqKey::Key64, IniKeyType::Integer},
    {PrereqKey::FilePath, IniKeyType::String},     {PrereqKey::FileVer, IniKeyType::Version},
    {PrereqKey::FileTryLoad, IniKeyType::Integer}, {PrereqKey::MsiProd, IniKeyType::String},
    {PrereqKey::RegPath, IniKeyType::String},      {PrereqKey::RegCond, IniKeyType::String},
    {PrereqKey::ChooseDownload, IniKeyType::String}, {PrereqKey::RunExeCond, IniKeyType::String},
    {PrereqKey::SkipIfFoundInPath, IniKeyType::String}, {PrereqKey::Optional, IniKeyType::Integer},
};
const size_t kPrerequisiteKeyCount = sizeof(kPrerequisiteKeys) / sizeof(kPrerequisiteKeys[0]);
const IniKey kPostRequisiteKeys[] = {
    {PrereqKey::Name, IniKeyType::String},       {PrereqKey::Url, IniKeyType::String},
    {PrereqKey::InstPath, IniKeyType::String},   {PrereqKey::InstParams, IniKeyType::String},
    {PrereqKey::RunAs, IniKeyType::Integer},
};
const size_t kPostRequisiteKeyCount = sizeof(kPostRequisiteKeys) / sizeof(kPostRequisiteKeys[0]);

namespace {

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
    const std::wstring regPath = IniReadString(section, PrereqKey::InstRegPath, nullptr);
    std::wstring value;
    const LONG result = ReadRegistryPathValue(regPath, false, value);
    if (result != ERROR_SUCCESS) {
        LogPrintf(L"Can't read registry value from path '%s'. %s\r\n", regPath.c_str(), ErrorText(result).c_str());
        return false;
    }
    const size_t blank = value.find(L' ');
    if (blank != std::wstring::npos) {
        record.InstPath = value.substr(0, blank);
        record.InstParams = value + L' ' + IniReadString(section, PrereqKey::InstParams, nullptr);
    }
    return true;
}

void AppendRegCondition(const wchar_t* section, const wchar_t* pathKey, const wchar_t* conditionKey,
                        std::vector<RegCondition>& list)
{
    RegCondition condition{IniReadString(section, pathKey, nullptr), IniReadString(section, conditionKey, nullptr)};
    if (!condition.RegPath.empty() && !condition.RegCond.empty())
        list.push_back(std::move(condition));
}

// The names of the numbered condition keys, made once: every section asks for the same ones.
const std::vector<std::pair<std::wstring, std::wstring>>& NumberedConditionKeys()
{
    static const auto keys = [] {
        std::vector<std::pair<std::wstring, std::wstring>> names;
        for (int number = 0; number < kNumberedRegConditions; ++number)
            names.emplace_back(Format(L"%s%d", PrereqKey::RegPath, number), Format(L"%s%d", PrereqKey::RegCond, number));
        return names;
    }();
    return keys;
}

// Whether the record applies to this Windows: its bitness and its version bound. When not,
// the decision says which.
bool AppliesToThisWindows(const PrerequisiteInfo& record, PrerequisiteDecision& decision)
{
    decision = PrerequisiteDecision::OtherBitness;
    if (record.OSbit == 1 && !IsNativeX86())
        return false;
    if (record.OSbit == 2 && IsNativeX86())
        return false;
    if (record.OSver == 0)
        return true;
    decision = PrerequisiteDecision::OtherVersion;
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

bool ReadPrerequisite(const wchar_t* section, PrerequisiteInfo& record)
{
    // Up to 86 keys: one look at the file's time stamp for all of them.
    const SetupIniSnapshot snapshot;
    record.Name = IniReadString(section, PrereqKey::Name, nullptr);
    if (record.Name.empty())
        return false;
    record.Url = IniReadString(section, PrereqKey::Url, nullptr);
    record.InstPath = IniReadString(section, PrereqKey::InstPath, nullptr);
    if (record.InstPath.empty()) {
        if (!ReadInstallCommandFromRegistry(section, record))
            return false;
    } else {
        ExpandPathMacros(record.InstPath);
        record.InstParams = IniReadString(section, PrereqKey::InstParams, nullptr);
        record.UpdateParams = IniReadString(section, PrereqKey::UpdateParams, nullptr);
        if (ContainsNoCase(record.Name, L"libre office") &&
            IniReadInt(section, PrereqKey::NotAssociateWithMSOfficeFiles, 0) != 0)
            record.InstParams += L" REGISTER_NO_MSO_TYPES=1 ";
    }
    if (record.InstPath.empty())
        return false;

    record.IsUninstall = IniReadInt(section, PrereqKey::IsUninstall, 0);
    record.AdminNeed = IniReadInt(section, PrereqKey::AdminNeed, 1);
    record.RunAs = IniReadInt(section, PrereqKey::RunAs, 0);
    record.OSbit = IniReadInt(section, PrereqKey::OSbit, 0);
    record.OSver = wcstol(IniReadString(section, PrereqKey::OSver, nullptr).c_str(), nullptr, 10);
    record.Key64 = IniReadInt(section, PrereqKey::Key64, 0);
    record.FilePath = IniReadString(section, PrereqKey::FilePath, nullptr);
    ExpandPathMacros(record.FilePath);
    record.FileVer = IniReadVersion(section, PrereqKey::FileVer);
    record.FileTryLoad = IniReadInt(section, PrereqKey::FileTryLoad, 0);
    record.MsiProd = IniReadString(section, PrereqKey::MsiProd, nullptr);
    ReadRegConditions(section, record.RegConditions);
    record.ChooseDownload = IniReadString(section, PrereqKey::ChooseDownload, nullptr);
    record.RunExeCond = IniReadString(section, PrereqKey::RunExeCond, nullptr);
    record.SkipIfFoundInPath = IniReadString(section, PrereqKey::SkipIfFoundInPath, nullptr);
    record.Selected = true;
    const int optional = IniReadOptional(section, PrereqKey::Optional, 1);
    record.OptionalState = optional == -1 ? 2 : optional == 0 ? 1 : 0;
    return true;
}

void ReadPrerequisites(const wchar_t* format, PrerequisiteList& list, PrerequisiteObserver* observer)
{
    const CLogBurst burst;
    list.clear();
    for (int index = 0; index < kPrerequisiteSections; ++index) {
        const std::wstring section = Format(format, index);
        PrerequisiteInfo record;
        PrerequisiteDecision decision = PrerequisiteDecision::NoCondition;
        if (!ReadPrerequisite(section.c_str(), record)) {
            if (observer && !record.Name.empty())
                observer->Seen(section, record, false, decision, false);
            continue;
        }
        // Entries that remove something are always listed; others only when the setup must act.
        const bool act = CheckPrerequisite(record, &decision) || record.IsUninstall != 0;
        if (observer)
            observer->Seen(section, record, true, decision, act);
        if (act)
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
        record.RunAs = IniReadInt(section.c_str(), PrereqKey::RunAs, 0);
        record.Name = IniReadString(section.c_str(), PrereqKey::Name, nullptr);
        if (record.Name.empty())
            return;
        record.Url = IniReadString(section.c_str(), PrereqKey::Url, nullptr);
        record.InstPath = IniReadString(section.c_str(), PrereqKey::InstPath, nullptr);
        if (!record.InstPath.empty()) {
            ExpandPathMacros(record.InstPath);
            record.InstParams = IniReadString(section.c_str(), PrereqKey::InstParams, nullptr);
        }
        list.push_back(std::move(record));
    }
}

void ReadRegConditions(const wchar_t* section, std::vector<RegCondition>& list)
{
    AppendRegCondition(section, PrereqKey::RegPath, PrereqKey::RegCond, list);
    for (const auto& keys : NumberedConditionKeys())
        AppendRegCondition(section, keys.first.c_str(), keys.second.c_str(), list);
}

bool CheckPrerequisite(PrerequisiteInfo& record, PrerequisiteDecision* decision)
{
    PrerequisiteDecision unused;
    PrerequisiteDecision& decided = decision ? *decision : unused;
    if (!AppliesToThisWindows(record, decided))
        return false;
    decided = PrerequisiteDecision::NotSelected;
    if (!record.Selected)
        return false;
    record.Installed = true;
    decided = PrerequisiteDecision::FoundInPath;
    if (!record.SkipIfFoundInPath.empty() && FindInPath(record.SkipIfFoundInPath))
        return false;
    // The first kind of condition the record has decides: file, product, registry, tool.
    decided = PrerequisiteDecision::File;
    if (!record.FilePath.empty()) {
        if (IsValidFileVersion(record.FilePath, record.FileVer, record.FileTryLoad))
            return false;
        record.Installed = false;
        return true;
    }
    decided = PrerequisiteDecision::Product;
    if (!record.MsiProd.empty()) {
        // Installed or advertised counts as present; a package that cannot be read does not.
        bool advertised = false;
        return !QueryInstalledProduct(record.InstPath, &advertised, nullptr) && !advertised;
    }
    decided = PrerequisiteDecision::Registry;
    if (!record.RegConditions.empty()) {
        if (CheckRegConditions(record.RegConditions, record.Key64))
            return false;
        record.Installed = false;
        return true;
    }
    decided = PrerequisiteDecision::Tool;
    if (!record.RunExeCond.empty())
        return CheckRunExeCondition(record);
    decided = PrerequisiteDecision::NoCondition;
    // A record without any condition counts as present.
    return false;
}
