#include "distcheck/offline_check.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "app/settings.h"
#include "config/ini_file.h"
#include "config/language.h"
#include "config/setup_ini.h"
#include "config/windows_version.h"
#include "deploy/deployment_scan.h"
#include "deploy/deployment_settings.h"
#include "log/error_text.h"
#include "htmlui/start_screen.h"
#include "htmlui/htmlayout_host.h"
#include "log/setup_log.h"
#include "msi/installer_msi.h"
#include "msi/installer_msp.h"
#include "msi/msi_api.h"
#include "msi/package_info.h"
#include "prereq/prerequisite.h"
#include "prereq/process_runner.h"
#include "prereq/registry_conditions.h"
#include "prereq/system_checks.h"
#include "win/format.h"
#include "win/handles.h"
#include "win/text.h"

namespace {

// Integers are read through a buffer of this many characters and its terminating zero.
constexpr size_t kIntegerChars = 29;
// More than any setup ini holds.
constexpr size_t kLargestIni = 8 << 20;
// The section names without their number: "PreReq", "PostReq".
const std::wstring kPreReq(kPrerequisiteFormat, wcslen(kPrerequisiteFormat) - 2);
const std::wstring kPostReq(kPostRequisiteFormat, wcslen(kPostRequisiteFormat) - 2);

enum class SectionKind { Main, PreReq, PostReq, ExcludeFolders, ExcludeFiles, Properties, Unknown };

class Checker {
public:
    explicit Checker(std::vector<Finding>& findings) : findings_(findings) {}

    void Error(const std::wstring& section, const std::wstring& key, const std::wstring& value,
               const std::wstring& reason)
    {
        findings_.push_back(Finding{Severity::Error, section, key, value, reason});
    }
    void Warning(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                 const std::wstring& reason)
    {
        findings_.push_back(Finding{Severity::Warning, section, key, value, reason});
    }
    void Note(const std::wstring& section, const std::wstring& key, const std::wstring& value,
              const std::wstring& reason)
    {
        findings_.push_back(Finding{Severity::Note, section, key, value, reason});
    }

private:
    std::vector<Finding>& findings_;
};

// The name is the prefix followed by a decimal number as "%d" writes it (no sign, no leading zero).
bool NumberedName(const std::wstring& name, const wchar_t* prefix, int& number)
{
    const size_t length = wcslen(prefix);
    if (name.size() <= length || name.size() > length + 9 || !EqualsNoCase(name.substr(0, length), prefix))
        return false;
    const std::wstring digits = name.substr(length);
    if (digits.find_first_not_of(L"0123456789") != std::wstring::npos || (digits[0] == L'0' && digits.size() > 1))
        return false;
    number = static_cast<int>(wcstoul(digits.c_str(), nullptr, 10));
    return true;
}

SectionKind KindOf(const std::wstring& name, int& number)
{
    if (EqualsNoCase(name, kMainSection))
        return SectionKind::Main;
    if (NumberedName(name, kPreReq.c_str(), number))
        return SectionKind::PreReq;
    if (NumberedName(name, kPostReq.c_str(), number))
        return SectionKind::PostReq;
    if (EqualsNoCase(name, kExcludeFoldersSection))
        return SectionKind::ExcludeFolders;
    if (EqualsNoCase(name, kExcludeFilesSection))
        return SectionKind::ExcludeFiles;
    if (EqualsNoCase(name, kInstallPropertiesSection))
        return SectionKind::Properties;
    return SectionKind::Unknown;
}

// Edit distance without regard to the case of ASCII letters.
size_t Distance(const std::wstring& a, const std::wstring& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const bool same = FoldAsciiLetter(a[i - 1]) == FoldAsciiLetter(b[j - 1]);
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

struct KeyTable {
    const IniKey* keys;
    size_t count;
};

const IniKey* FindKey(const KeyTable& table, const std::wstring& name)
{
    for (size_t index = 0; index < table.count; ++index) {
        if (EqualsNoCase(name, table.keys[index].name))
            return &table.keys[index];
    }
    return nullptr;
}

// Whether the letters of the shorter name stand in the longer one in their order (case aside):
// a prefix, an abbreviation or an extension of it ("MinWinVer", "MinWindowsVersion").
bool Abbreviates(const std::wstring& a, const std::wstring& b)
{
    const std::wstring& shorter = a.size() <= b.size() ? a : b;
    const std::wstring& longer = a.size() <= b.size() ? b : a;
    if (shorter.size() < 4 || shorter.size() * 2 < longer.size())
        return false;
    size_t matched = 0;
    for (const wchar_t c : longer) {
        if (matched < shorter.size() && FoldAsciiLetter(c) == FoldAsciiLetter(shorter[matched]))
            ++matched;
    }
    return matched == shorter.size();
}

// The known key an unknown name most likely stands for: a few edits away, or a prefix, an
// abbreviation or an extension of it. Null when none is near.
const IniKey* NearestKey(const KeyTable& table, const std::wstring& name)
{
    const IniKey* nearest = nullptr;
    size_t best = static_cast<size_t>(-1);
    for (size_t index = 0; index < table.count; ++index) {
        const size_t distance = Distance(name, table.keys[index].name);
        if (distance < best && (distance <= (name.size() < 6 ? 1u : 2u) || Abbreviates(name, table.keys[index].name))) {
            best = distance;
            nearest = &table.keys[index];
        }
    }
    return nearest;
}

// Keys that ask for a check: misspelt, the check is silently not made.
bool AsksForACheck(const wchar_t* name)
{
    for (const wchar_t* check : {MainKey::MinWinVersion, MainKey::MinWinServicePack, MainKey::Os32Need,
                                 PrereqKey::FilePath, PrereqKey::FileVer, PrereqKey::MsiProd,
                                 PrereqKey::RegPath, PrereqKey::RegCond, PrereqKey::RunExeCond, PrereqKey::OSbit,
                                 PrereqKey::OSver, PrereqKey::SkipIfFoundInPath}) {
        if (wcscmp(name, check) == 0)
            return true;
    }
    return false;
}

// An unknown key, with the known one it probably means. A numbered condition key is looked up
// without its number and suggested with it ("RegCondition1": "RegCond1").
void ReportUnknownKey(Checker& check, const IniFile::Section& section, const KeyTable& table, const IniFile::Key& key)
{
    const size_t digits = key.name.find_last_not_of(L"0123456789") + 1;
    const IniKey* nearest = NearestKey(table, key.name);
    std::wstring meant = nearest ? nearest->name : L"";
    if (digits < key.name.size()) {
        const IniKey* base = NearestKey(table, key.name.substr(0, digits));
        if (base && (base->name == std::wstring(PrereqKey::RegPath) || base->name == std::wstring(PrereqKey::RegCond))) {
            nearest = base;
            meant = base->name + key.name.substr(digits);
        }
    }
    if (!nearest || EqualsNoCase(key.name, meant.c_str())) {
        check.Warning(section.name, key.name, key.value, L"the setup does not know this key");
        return;
    }
    const bool given = std::any_of(section.keys.begin(), section.keys.end(),
                                   [&meant](const IniFile::Key& other) { return EqualsNoCase(other.name, meant.c_str()); });
    if (AsksForACheck(nearest->name) && !given)
        check.Error(section.name, key.name, key.value,
                    Format(L"the setup does not know this key: did you mean %s? As written, that check is not made",
                           meant.c_str()));
    else
        check.Warning(section.name, key.name, key.value,
                      Format(L"the setup does not know this key: did you mean %s?", meant.c_str()));
}

// "#Word#" left in a path after the setup expanded it: a macro it does not know (or wrote in
// another case). Empty when there is none.
std::wstring UnknownMacro(const std::wstring& path)
{
    for (size_t start = path.find(L'#'); start != std::wstring::npos; start = path.find(L'#', start + 1)) {
        size_t end = start + 1;
        while (end < path.size() && iswalpha(path[end]))
            ++end;
        if (end > start + 1 && end < path.size() && path[end] == L'#')
            return path.substr(start, end - start + 1);
    }
    return std::wstring();
}

// The program a command line starts: its first token, quoted or up to the first blank.
std::wstring ProgramOf(const std::wstring& command)
{
    if (!command.empty() && command[0] == L'"')
        return command.substr(1, command.find(L'"', 1) - 1);
    return command.substr(0, command.find(L' '));
}

// A path the setup takes from the ini must name a known macro and, when asked, a file that exists.
void CheckPath(Checker& check, const std::wstring& section, const wchar_t* key, const std::wstring& path,
               bool mustExist, bool error, const wchar_t* missing)
{
    const std::wstring macro = UnknownMacro(path);
    if (!macro.empty())
        check.Error(section, key, path, Format(L"%s is no path macro the setup knows here: it stays as written",
                                               macro.c_str()));
    else if (mustExist && IsFullyQualified(path) && !FileExists(path))
        error ? check.Error(section, key, path, missing) : check.Warning(section, key, path, missing);
}

// Where a comment written after a value begins (a ";" after a blank); npos when there is none.
// The setup reads such a value whole.
size_t SameLineComment(const std::wstring& value)
{
    for (size_t at = value.find(L';'); at != std::wstring::npos; at = value.find(L';', at + 1)) {
        if (at > 0 && (value[at - 1] == L' ' || value[at - 1] == L'\t'))
            return at;
    }
    return std::wstring::npos;
}

const wchar_t kCommentIsValue[] = L"a comment on the same line is part of the value (it belongs on a line of its own): ";

// A version as the registry conditions read it, five parts, without the zero parts after the second.
std::wstring ConditionVersion(const std::wstring& text)
{
    long parts[5];
    ParseVersion5(text, parts);
    int count = 5;
    while (count > 2 && parts[count - 1] == 0)
        --count;
    std::wstring version;
    for (int index = 0; index < count; ++index)
        version += Format(index ? L".%ld" : L"%ld", parts[index]);
    return version;
}

// How the setup reads a value of a known key, when that differs from what is written.
// Exclusion entries say for themselves what a comment does to them (exclusionEntry).
void CheckValue(Checker& check, const std::wstring& section, const std::wstring& name, IniKeyType type,
                const std::wstring& written, bool exclusionEntry)
{
    const std::wstring text = StripQuotes(written);
    if (text != written)
        check.Warning(section, name, written, L"the enclosing quotes are removed: reads as " + text);
    // Numbers say what they read as below; a condition's operand is read by its own type.
    const bool file = EqualsNoCase(name, MainKey::MsiPath) || EqualsNoCase(name, MainKey::LicenseFile) ||
                      EqualsNoCase(name, PrereqKey::InstPath) || EqualsNoCase(name, PrereqKey::FilePath);
    if (SameLineComment(text) != std::wstring::npos && !exclusionEntry && type != IniKeyType::Integer &&
        type != IniKeyType::Decimal &&
        !EqualsNoCase(name.substr(0, wcslen(PrereqKey::RegCond)), PrereqKey::RegCond)) {
        check.Warning(section, name, written,
                      kCommentIsValue + (type == IniKeyType::Version ? L"reads as version " + VersionText(ParseVersion(text))
                                         : file ? L"names the file '" + text + L"'"
                                                : L"reads as '" + text + L"'"));
        return;
    }
    switch (type) {
    case IniKeyType::Integer: {
        bool whole = false;
        const int value = static_cast<int>(ProfileInteger(text.substr(0, kIntegerChars), &whole));
        if (text.empty())
            break;
        const bool decimal = text.find_first_not_of(L"0123456789", text[0] == L'-' || text[0] == L'+') == std::wstring::npos;
        if (!whole)
            check.Warning(section, name, written, Format(L"not a number: reads as %d", value));
        else if (!decimal)
            check.Warning(section, name, written, Format(L"not a plain decimal number: reads as %d", value));
        else if (_wcstoi64(text.c_str(), nullptr, 10) != value)
            check.Warning(section, name, written, Format(L"beyond the range of a number: reads as %d", value));
        break;
    }
    case IniKeyType::Decimal: {
        wchar_t* end = nullptr;
        const long value = wcstol(text.c_str(), &end, 10);
        if (!text.empty() && (end == text.c_str() || *end != L'\0'))
            check.Warning(section, name, written, Format(L"not a decimal number: reads as %ld", value));
        break;
    }
    case IniKeyType::Version: {
        std::wstring padded = text;
        for (size_t dots = std::count(text.begin(), text.end(), L'.'); dots < 3; ++dots)
            padded += L".0";
        const std::wstring read = VersionText(ParseVersion(text));
        if (padded != read)
            check.Warning(section, name, written, L"not a dotted version of four numbers: reads as " + read);
        break;
    }
    case IniKeyType::String:
        if (WideToAnsi(text, g_Settings.CodePage).size() >= kIniValueBytes)
            check.Error(section, name, Format(L"%u bytes", static_cast<unsigned>(text.size())),
                        Format(L"longer than the setup reads: cut after %u bytes",
                               static_cast<unsigned>(kIniValueBytes - 1)));
        break;
    }
}

// Unknown keys, keys beyond the numbers read, repeated keys and values read otherwise.
void CheckKeys(Checker& check, const IniFile::Section& section, SectionKind kind)
{
    // Numbered keys (conditions, exclusion entries) are strings.
    static const IniKey kNumbered = {L"", IniKeyType::String};
    const KeyTable table = kind == SectionKind::Main     ? KeyTable{kMainKeys, kMainKeyCount}
                           : kind == SectionKind::PreReq ? KeyTable{kPrerequisiteKeys, kPrerequisiteKeyCount}
                           : kind == SectionKind::PostReq ? KeyTable{kPostRequisiteKeys, kPostRequisiteKeyCount}
                                                          : KeyTable{nullptr, 0};
    const wchar_t* numbered[2] = {PrereqKey::RegPath, PrereqKey::RegCond};
    int limit = kNumberedRegConditions;
    if (kind == SectionKind::ExcludeFolders || kind == SectionKind::ExcludeFiles) {
        numbered[0] = numbered[1] = kind == SectionKind::ExcludeFolders ? kExcludeFolderKey : kExcludeFileKey;
        limit = kExclusionKeys;
    } else if (kind != SectionKind::PreReq) {
        numbered[0] = numbered[1] = nullptr;
    }

    for (auto key = section.keys.begin(); key != section.keys.end(); ++key) {
        if (key->name.empty() || key->name[0] == L';')
            continue;
        const IniKey* known = FindKey(table, key->name);
        int number = 0;
        for (const wchar_t* prefix : numbered) {
            if (known || !prefix || !NumberedName(key->name, prefix, number))
                continue;
            if (number >= limit)
                check.Error(section.name, key->name, key->value,
                            Format(L"never read: the setup reads %s0 to %s%d", prefix, prefix, limit - 1));
            known = &kNumbered;
        }
        if (!known) {
            ReportUnknownKey(check, section, table, *key);
            continue;
        }
        const bool repeated = std::any_of(section.keys.begin(), key, [&key](const IniFile::Key& earlier) {
            return EqualsNoCase(earlier.name, key->name.c_str());
        });
        if (repeated)
            check.Warning(section.name, key->name, key->value, L"a second key of this name: only the first counts");
        else if (!key->hasValue)
            check.Warning(section.name, key->name, std::wstring(), L"no \"=\": reads as the default");
        else
            CheckValue(check, section.name, key->name, known->type, key->value,
                       kind == SectionKind::ExcludeFolders || kind == SectionKind::ExcludeFiles);
    }
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A package made for major upgrades finds the other versions of its product by its UpgradeCode.
void CheckUpgradeDesign(Checker& check, const std::wstring& msiPath)
{
    MsiApi api = LoadMsiApi();
    MsiHandleOwner database(api);
    std::wstring upgradeCode;
    std::wstring found;
    if (!api.IsComplete() ||
        api.MsiOpenDatabaseW(ConfiguredPackagePath().c_str(), MSIDBOPEN_READONLY, database.Receive()) != ERROR_SUCCESS ||
        !MsiQueryValue(api, database.Get(), L"SELECT `Value` FROM `Property` WHERE `Property`='UpgradeCode'", upgradeCode) ||
        !MsiQueryValue(api, database.Get(),
                       Format(L"SELECT `UpgradeCode` FROM `Upgrade` WHERE `UpgradeCode`='%s'", upgradeCode.c_str()).c_str(),
                       found))
        return;
    check.Note(kMainSection, MainKey::MsiPath, msiPath,
               L"the package's Upgrade table finds other versions by its UpgradeCode. The setup's upgrade question and "
               L"its refusal of a newer version go by ProductCode: with a new ProductCode per version it asks nothing, "
               L"the package's own major upgrade runs instead, and the package's own refusal of a newer version ends "
               L"in 1603 (\"An irrecoverable internal error occured.\"). Keep the ProductCode for the setup's questions");
}

// The package, its operation type, its platform and its transforms. Sets the code page the setup
// reads the rest of the ini with.
void CheckPackage(Checker& check)
{
    const bool patch = IniReadInt(kMainSection, MainKey::MsiPatch, 0) == 1;
    const std::wstring msiPath = IniReadString(kMainSection, MainKey::MsiPath, nullptr);
    const std::wstring path = ConfiguredPackagePath();
    bool product = false;
    if (msiPath.empty())
        check.Error(kMainSection, MainKey::MsiPath, msiPath, L"no package named: the setup refuses to run");
    else if (path.size() >= MAX_PATH)
        check.Error(kMainSection, MainKey::MsiPath, msiPath,
                    L"the package's path has 260 characters or more: the setup refuses it as a package it cannot read");
    else if (!Exists(path))
        check.Error(kMainSection, MainKey::MsiPath, msiPath, L"the package is not in the distribution");
    else if (!patch && !ReadPackageInfo(path))
        check.Error(kMainSection, MainKey::MsiPath, msiPath, L"the package cannot be read as a product package");
    else
        product = !patch;
    if (product)
        CheckUpgradeDesign(check, msiPath);
    // The code page the setup's Prepare sets before it reads the rest of the ini.
    g_Settings.CodePage = patch ? PatchCodePage() : ProductCodePage();

    // Without the key the setup takes a valid default.
    const IniFile* ini = CachedIni(GetIniPath(), g_Settings.CodePage);
    const std::wstring type = IniReadString(kMainSection, MainKey::MsiType, nullptr);
    if (ini && ini->Find(kMainSection, MainKey::MsiType)) {
        if (patch && !IsPatchOperationType(type))
            check.Error(kMainSection, MainKey::MsiType, type,
                        L"not an operation type of a patch (Minor, Major): refused");
        if (!patch && !IsProductOperationType(type))
            check.Error(kMainSection, MainKey::MsiType, type,
                        L"not an operation type of a product (Install, InstallUpgrade): refused");
    }
    // The setup log's name is made from the product's name (a patch's Name).
    const std::wstring name = patch ? IniReadString(kMainSection, MainKey::Name, nullptr) : g_PackageInfo.ProductName;
    if ((patch || product) && !CanNameLogFile(name))
        check.Warning(kMainSection, patch ? MainKey::Name : L"", name,
                      Format(L"%s cannot name a file: unless the language-neutral name can, the setup log is "
                             L"named '%s Setup (...).log'",
                             patch ? L"the patch's Name" : L"the package's ProductName", LogFileNamePart(name).c_str()));
    if (patch)
        return;
    if (product && IniReadInt(kMainSection, MainKey::Os32Need, 0) != 0 && PackageIs64Bit())
        check.Error(kMainSection, MainKey::Os32Need, IniReadString(kMainSection, MainKey::Os32Need, nullptr),
                    L"the package is for 64-bit Windows and Os32Need refuses 64-bit Windows: it installs nowhere");
    const unsigned langId = static_cast<unsigned>(IniReadInt(kMainSection, MainKey::LangId, 0));
    if (langId != 0 && !Exists(TransformPath(langId)))
        check.Warning(kMainSection, MainKey::LangId, Format(L"%u", langId),
                      Format(L"no transform %u.mst beside the setup: installs without a transform", langId));
}

void CheckWindowsVersion(Checker& check)
{
    const std::wstring version = IniReadString(kMainSection, MainKey::MinWinVersion, nullptr);
    const std::wstring servicePack = IniReadString(kMainSection, MainKey::MinWinServicePack, nullptr);
    unsigned major = 0;
    unsigned minor = 0;
    if (!version.empty() && !ParseWindowsVersion(version, major, minor))
        check.Error(kMainSection, MainKey::MinWinVersion, version,
                    L"not a version the setup reads (major.minor, digits only): it refuses to run");
    else if (major > 6 || (major == 6 && minor > 2))
        check.Warning(kMainSection, MainKey::MinWinVersion, version,
                      L"above 6.2: Windows 8.1, 10 and 11 present themselves to the setup as 6.2, so it refuses them too");
    if (servicePack.empty())
        return;
    if (version.empty())
        check.Warning(kMainSection, MainKey::MinWinServicePack, servicePack, L"ignored without MinWinVersion");
    else if (!ParseWindowsVersion(servicePack, major, minor))
        check.Error(kMainSection, MainKey::MinWinServicePack, servicePack,
                    L"not a version the setup reads (major.minor, digits only): it refuses to run");
}

// The registry conditions of a section as pairs, each pair once, whichever half comes first:
// each needs both halves, and both must parse.
void CheckRegConditions(Checker& check, const IniFile::Section& section)
{
    std::vector<int> seen;
    for (const IniFile::Key& key : section.keys) {
        int number = -1;
        const bool half = EqualsNoCase(key.name, PrereqKey::RegPath) || EqualsNoCase(key.name, PrereqKey::RegCond) ||
                          NumberedName(key.name, PrereqKey::RegPath, number) ||
                          NumberedName(key.name, PrereqKey::RegCond, number);
        if (!half || number >= kNumberedRegConditions || std::find(seen.begin(), seen.end(), number) != seen.end())
            continue;
        seen.push_back(number);
        const std::wstring suffix = number < 0 ? std::wstring() : Format(L"%d", number);
        const std::wstring pathKey = PrereqKey::RegPath + suffix;
        const std::wstring conditionKey = PrereqKey::RegCond + suffix;
        const std::wstring condition = IniReadString(section.name.c_str(), conditionKey.c_str(), nullptr);
        const std::wstring path = IniReadString(section.name.c_str(), pathKey.c_str(), nullptr);
        if (path.empty() != condition.empty()) {
            check.Warning(section.name, path.empty() ? conditionKey : pathKey, path.empty() ? condition : path,
                          Format(L"the other half of the pair, %s, is missing: the condition is ignored",
                                 (path.empty() ? pathKey : conditionKey).c_str()));
            continue;
        }
        RegCondParts parts;
        switch (ParseRegCond(path, condition, parts)) {
        case RegCondFault::None: {
            // A DWORD's operand is taken as a decimal number as far as it goes, the others whole.
            const std::wstring operand = condition.substr(parts.typeWord + parts.opLength);
            const std::wstring type = condition.substr(0, parts.typeWord);
            wchar_t* end = nullptr;
            const long value = wcstol(operand.c_str(), &end, 10);
            if (!EqualsNoCase(type, L"DWORD") && SameLineComment(operand) != std::wstring::npos)
                check.Warning(section.name, conditionKey, condition,
                              kCommentIsValue + (EqualsNoCase(type, L"VERSION")
                                                     ? L"reads as version " + ConditionVersion(operand)
                                                     : L"compares with the text '" + operand + L"'"));
            else if (EqualsNoCase(type, L"DWORD") && (end == operand.c_str() || *end != L'\0'))
                check.Warning(section.name, conditionKey, condition,
                              Format(L"the DWORD operand is not a decimal number: compares with %ld", value));
            break;
        }
        case RegCondFault::InvalidKey:
        case RegCondFault::NoValueName:
            check.Error(section.name, pathKey, path, L"not ROOT\\key\\value: the condition never holds");
            break;
        case RegCondFault::UnknownRoot:
            check.Error(section.name, pathKey, path,
                        Format(L"unknown root key %s (write it in full, as HKEY_LOCAL_MACHINE): "
                               L"the condition never holds",
                               path.substr(0, parts.rootEnd).c_str()));
            break;
        case RegCondFault::UnknownType:
            check.Error(section.name, conditionKey, condition,
                        L"no type DWORD, STRING or VERSION: the condition never holds");
            break;
        case RegCondFault::UnknownOperator:
            check.Error(section.name, conditionKey, condition,
                        L"no operator \"=\" or \">=\" right after the type: the condition never holds");
            break;
        }
    }
}

void CheckPrerequisiteSection(Checker& check, const IniFile::Section& section, int number)
{
    if (number >= kPrerequisiteSections) {
        check.Error(section.name, std::wstring(), std::wstring(),
                    Format(L"never read: the setup reads %s0 to %s%d", kPreReq.c_str(), kPreReq.c_str(),
                           kPrerequisiteSections - 1));
        return;
    }
    PrerequisiteInfo record;
    const bool runnable = ReadPrerequisite(section.name.c_str(), record);
    if (record.Name.empty()) {
        check.Error(section.name, PrereqKey::Name, std::wstring(), L"no Name: the setup skips this section");
        return;
    }
    if (!runnable) {
        check.Error(section.name, PrereqKey::InstPath, std::wstring(),
                    L"nothing to run (no InstPath, nor an InstRegPath value of a program and its parameters): "
                    L"the setup drops this section");
        return;
    }
    CheckRegConditions(check, section);
    if (record.FilePath.empty() && record.MsiProd.empty() && record.RegConditions.empty() &&
        record.RunExeCond.empty() && record.IsUninstall == 0)
        check.Error(section.name, std::wstring(), std::wstring(),
                    L"no condition (FilePath, MsiProd, a RegPath with its RegCond, RunExeCond): the setup counts the "
                    L"component as present and never installs it");
    if (record.OSbit != 0 && record.OSbit != 1 && record.OSbit != 2)
        check.Warning(section.name, PrereqKey::OSbit, Format(L"%d", record.OSbit),
                      L"restricts nothing: 1 is 32-bit Windows only, 2 is 64-bit Windows only");
    CheckPath(check, section.name, PrereqKey::InstPath, record.InstPath, true, record.Url.empty(),
              record.Url.empty() ? L"not in the distribution: the component cannot be installed"
                                 : L"not in the distribution: the user is sent to the download page");
    CheckPath(check, section.name, PrereqKey::FilePath, record.FilePath, false, true, L"");
    if (record.RunExeCond.empty())
        return;
    CheckPath(check, section.name, PrereqKey::RunExeCond, ProgramOf(CheckingToolCommand(record.RunExeCond)), true,
              true, L"the checking tool is not in the distribution: the component counts as present");
    if (!UsesCheckingToolAnswer(record))
        check.Warning(section.name, PrereqKey::RunExeCond, record.RunExeCond,
                      L"the tool's answer counts only for a Name beginning with \"Stavora\": here it is ignored");
}

void CheckPostRequisites(Checker& check, const std::vector<const IniFile::Section*>& sections)
{
    PrerequisiteList list;
    ReadPostRequisites(kPostRequisiteFormat, list);
    for (size_t index = 0; index < list.size(); ++index) {
        CheckPath(check, Format(kPostRequisiteFormat, static_cast<int>(index)), PrereqKey::InstPath,
                  list[index].InstPath, true, true, L"not in the distribution: the component cannot be run");
    }
    for (const IniFile::Section* section : sections) {
        int number = 0;
        NumberedName(section->name, kPostReq.c_str(), number);
        if (static_cast<size_t>(number) == list.size())
            check.Error(section->name, PrereqKey::Name, std::wstring(),
                        L"no Name: the setup stops reading post-requisites here");
        else if (static_cast<size_t>(number) > list.size())
            check.Error(section->name, std::wstring(), std::wstring(),
                        Format(L"never read: %s has no Name and the setup stops there",
                               Format(kPostRequisiteFormat, static_cast<int>(list.size())).c_str()));
    }
}

// Whether the entry equals the path of a file, or of a folder above one, of the distribution.
bool NamesSomething(const std::wstring& entry, bool folder, const std::vector<std::wstring>& files, size_t rootLength)
{
    const std::vector<std::wstring> one = {entry};
    for (const std::wstring& file : files) {
        if (!folder && IsExcluded(one, file))
            return true;
        for (size_t cut = file.find(L'\\', rootLength + 1); folder && cut != std::wstring::npos;
             cut = file.find(L'\\', cut + 1)) {
            if (IsExcluded(one, file.substr(0, cut)))
                return true;
        }
    }
    return false;
}

// The path before a ";" that begins a comment written after it, without the blanks before it.
std::wstring WithoutComment(const std::wstring& path)
{
    const size_t comment = path.find(L';');
    if (comment == std::wstring::npos)
        return path;
    return path.substr(0, path.find_last_not_of(L" \t", comment - 1) + 1);
}

void CheckExclusions(Checker& check)
{
    DeploymentState everything;
    const std::wstring root = RootFolder();
    WalkFolder(everything, root);
    for (const std::wstring& folder : everything.LeftOutFolders)
        check.Warning(std::wstring(), std::wstring(), folder,
                      L"a link, or a folder met before by another path: a deployment leaves it out");
    for (const std::wstring& path : everything.SourceFiles) {
        if (path.back() == L'\\')
            check.Error(std::wstring(), std::wstring(), path,
                        L"the folder cannot be listed: a deployment fails there and rolls back");
    }
    const struct {
        const wchar_t* section;
        const wchar_t* key;
        bool folder;
    } kSections[] = {{kExcludeFoldersSection, kExcludeFolderKey, true}, {kExcludeFilesSection, kExcludeFileKey, false}};
    for (const auto& kind : kSections) {
        for (const ExclusionEntry& entry : ReadExclusionEntries(kind.section, kind.key)) {
            const std::wstring& path = entry.Path;
            const std::wstring macro = UnknownMacro(path);
            if (!macro.empty())
                check.Error(kind.section, entry.Key, path, macro + L" is no path macro the setup knows: never matches");
            else if (path.find_first_of(L"*?") != std::wstring::npos)
                check.Warning(kind.section, entry.Key, path, L"wildcards are not expanded: never matches");
            else if (path.back() == L'\\' || path.back() == L'/')
                check.Warning(kind.section, entry.Key, path, L"ends in a backslash: never matches");
            else if (!IsFullyQualified(path))
                check.Warning(kind.section, entry.Key, path, L"not a full path (write #Root#\\...): never matches");
            else if (!NamesSomething(path, kind.folder, everything.SourceFiles, root.size()))
                check.Warning(kind.section, entry.Key, path,
                              NamesSomething(WithoutComment(path), kind.folder, everything.SourceFiles, root.size())
                                  ? L"the text after the path is part of it (a comment belongs on a line of its own): "
                                    L"never matches"
                                  : L"names nothing in the distribution");
        }
    }
}

// Why the setup cannot read an ini in that encoding; empty for those it reads.
std::wstring UnreadEncoding(IniEncoding encoding)
{
    const wchar_t* const kAsAnsi = L", which the setup reads as ANSI text";
    switch (encoding) {
    case IniEncoding::Ansi:
    case IniEncoding::Utf16Le:
        break;
    case IniEncoding::Utf8WithMark:
        return std::wstring(L"saved as UTF-8 with a byte-order mark") + kAsAnsi +
               L": the mark spoils the first line, and every character beyond ASCII reads as another";
    case IniEncoding::Utf16Be:
        return std::wstring(L"saved as UTF-16 big-endian") + kAsAnsi + L": it finds nothing in it";
    case IniEncoding::Utf16LeWithoutMark:
    case IniEncoding::Utf16BeWithoutMark:
        return std::wstring(L"saved as UTF-16 without a byte-order mark") + kAsAnsi + L": it finds nothing in it";
    }
    return std::wstring();
}

// An ini saved as UTF-8 without a mark holds nothing that tells the setup so: it reads the bytes
// as ANSI text of the product's code page, and every character beyond ASCII as two or three others.
void CheckUtf8WithoutMark(Checker& check, const IniFile& ini)
{
    const std::string bytes = ReadFileHead(GetIniPath(), kLargestIni);
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }) ||
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0) == 0)
        return;
    const unsigned codePage = g_Settings.CodePage ? g_Settings.CodePage : GetACP();
    for (const IniFile::Section& section : ini.Sections()) {
        for (const IniFile::Key& key : section.keys) {
            if (std::all_of(key.value.begin(), key.value.end(), [](wchar_t c) { return c < 0x80; }))
                continue;
            check.Warning(section.name, key.name, AnsiToWide(WideToAnsi(key.value, codePage), CP_UTF8),
                          Format(L"saved as UTF-8 without a byte-order mark, which the setup reads as ANSI text in "
                                 L"code page %u: this reads as '%s'. Save it as ANSI in code page %u, or as Unicode "
                                 L"(UTF-16LE with its byte-order mark)",
                                 codePage, key.value.c_str(), codePage));
            return;
        }
    }
}

// What a page's links lead to: whether one of them is the deployment's.
bool LinksToDeployment(std::string page)
{
    for (char& c : page)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (size_t at = page.find("href"); at != std::string::npos; at = page.find("href", at + 4)) {
        size_t start = page.find_first_not_of(" \t\r\n", at + 4);
        if (start == std::string::npos || page[start] != '=')
            continue;
        start = page.find_first_not_of(" \t\r\n", start + 1);
        if (start == std::string::npos)
            break;
        const char quote = page[start] == '"' || page[start] == '\'' ? page[start++] : 0;
        const size_t end = quote ? page.find(quote, start) : page.find_first_of(" \t\r\n>", start);
        const std::string href = page.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (StartResultForHref(AnsiToWide(href, CP_UTF8).c_str()) == kStartDeploy)
            return true;
    }
    return false;
}

// The deployment opens with the licence agreement and ends at once without it. Its road is the
// start screen's: the engine beside the program, the screen not switched off, a deployment link.
void CheckLicense(Checker& check, const std::wstring& program)
{
    const std::wstring folder = GetModulePath(false, true);
    const std::wstring name = IniReadString(kMainSection, MainKey::LicenseFile, kDefaultLicenseFile);
    if (Exists(folder + name) || IniReadInt(kMainSection, MainKey::ShowStartDialog, 1) == 0 ||
        !Exists(folder + kHtmlEngineFile))
        return;
    UniqueLibrary module(LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    HRSRC found = module ? FindResourceW(module.Get(), MAKEINTRESOURCEW(kStartPageId), MAKEINTRESOURCEW(kHtmlResourceType))
                         : nullptr;
    HGLOBAL loaded = found ? LoadResource(module.Get(), found) : nullptr;
    const char* page = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (page && LinksToDeployment(std::string(page, SizeofResource(module.Get(), found))))
        check.Warning(kMainSection, MainKey::LicenseFile, folder + name,
                      L"no licence agreement beside the setup: the start screen offers the deployment, which shows "
                      L"\"Cannot open license agreement file\" and ends");
}

}  // namespace

std::vector<std::wstring> NamesIn(const std::wstring& folder, const wchar_t* pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW((folder + pattern).c_str(), &data));
    for (bool more = static_cast<bool>(find); more; more = FindNextFileW(find.Get(), &data) != 0) {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    }
    return names;
}

void CheckDistribution(const std::wstring& program, std::vector<Finding>& findings)
{
    Checker check(findings);
    const std::wstring iniPath = GetIniPath();
    const DWORD attributes = GetFileAttributesW(iniPath.c_str());
    const std::wstring folder = GetModulePath(false, true);
    // The program reads the ini of its own base name: a renamed program finds none.
    std::wstring holds;
    for (const wchar_t* pattern : {L"*.exe", L"*.ini"}) {
        for (const std::wstring& name : NamesIn(folder, pattern))
            holds += (holds.empty() ? L"" : L", ") + name;
    }
    holds = L" (the folder holds " + (holds.empty() ? std::wstring(L"no program and no ini") : holds) + L")";
    if (!Exists(folder)) {
        check.Error(std::wstring(), std::wstring(), GetModulePath(false, false),
                    L"no such folder: there is no distribution here");
        return;
    }
    if (!Exists(program))
        check.Error(std::wstring(), std::wstring(), program,
                    L"no " + program.substr(folder.size()) + L": a setup program reads the ini of its own base name" +
                        holds);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        check.Error(std::wstring(), std::wstring(), iniPath, L"no setup ini: the setup ends at once" + holds);
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        check.Error(std::wstring(), std::wstring(), iniPath, L"a folder, not a file: the setup reads no setup ini");
        return;
    }
    UniqueHandle readable(CreateFileW(iniPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    if (!readable) {
        check.Error(std::wstring(), std::wstring(), iniPath,
                    L"cannot be read, " + ErrorText(GetLastError()) + L": the setup finds none of its keys");
        return;
    }
    readable.Reset();
    const std::wstring unread = UnreadEncoding(DetectIniEncoding(ReadFileHead(iniPath, 3)));
    if (!unread.empty()) {
        check.Error(std::wstring(), std::wstring(), iniPath,
                    unread + L": save it as ANSI, or as Unicode (UTF-16LE with its byte-order mark)");
        return;
    }
    CheckPackage(check);
    const IniFile* ini = CachedIni(GetIniPath(), g_Settings.CodePage);
    if (!ini)
        return;
    CheckUtf8WithoutMark(check, *ini);
    CheckWindowsVersion(check);
    CheckLicense(check, program);
    std::vector<const IniFile::Section*> postRequisites;
    for (const IniFile::Section& section : ini->Sections()) {
        if (section.name.empty()) {
            // Comments may open the file.
            const auto key = std::find_if(section.keys.begin(), section.keys.end(), [](const IniFile::Key& k) {
                return k.name.empty() || k.name[0] != L';';
            });
            if (key != section.keys.end())
                check.Warning(std::wstring(), key->name, key->value, L"before the first section: never read");
            continue;
        }
        if (ini->FindSection(section.name.c_str()) != &section) {
            check.Warning(section.name, std::wstring(), std::wstring(),
                          L"a second section of this name: only the first counts");
            continue;
        }
        int number = 0;
        const SectionKind kind = KindOf(section.name, number);
        if (kind == SectionKind::Unknown) {
            check.Warning(section.name, std::wstring(), std::wstring(), L"the setup does not read this section");
            continue;
        }
        if (kind != SectionKind::Properties)
            CheckKeys(check, section, kind);
        if (kind == SectionKind::PreReq)
            CheckPrerequisiteSection(check, section, number);
        if (kind == SectionKind::PostReq)
            postRequisites.push_back(&section);
    }
    CheckPostRequisites(check, postRequisites);
    CheckExclusions(check);
}
