#pragma once
#include <string>

#include "log/version.h"

// Makes the paths below, and so every read of the setup ini and every "#Root#", derive from this
// file instead of the running program: a tool that checks a distribution names its setup.exe.
void SetProgramFile(const std::wstring& path);
// The program's own path: cut at the last "." (cutAtDot) or at the last "\" (otherwise),
// with a trailing "\" when asked. Empty when the path cannot be had.
std::wstring GetModulePath(bool cutAtDot, bool addBackslash);
// The setup ini beside the program: its path with the extension replaced by ".ini".
std::wstring GetIniPath();

// While one lives, reads of the setup ini take the file as the first of them found it: its time
// stamp and size are looked at once instead of at every key. For a run of reads between which
// nothing writes the file, such as the keys of one prerequisite section. Snapshots may nest.
class SetupIniSnapshot {
public:
    SetupIniSnapshot();
    ~SetupIniSnapshot();
    SetupIniSnapshot(const SetupIniSnapshot&) = delete;
    SetupIniSnapshot& operator=(const SetupIniSnapshot&) = delete;
};

// The package MsiPath names, relative to the program's folder.
std::wstring ConfiguredPackagePath();

// Reads of the setup ini. A missing file or key reads as the default.
int IniReadInt(const wchar_t* section, const wchar_t* key, int defaultValue);
// A null default reads as empty.
std::wstring IniReadString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue);
Version IniReadVersion(const wchar_t* section, const wchar_t* key);
// -1 when no line of the section begins with "Optional"; otherwise IniReadInt of the key.
int IniReadOptional(const wchar_t* section, const wchar_t* key, int defaultValue);

// Writes a string into the ini file at path and logs the outcome; on failure also shows
// message 208 when asked. Answers the profile function's result.
int IniWriteStringLogged(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                         const std::wstring& path, bool showFailure);
int IniDeleteSection(const wchar_t* section, const std::wstring& path);

// A string value is read into this many ANSI bytes, its terminating zero included.
constexpr size_t kIniValueBytes = 2048;

extern const wchar_t kMainSection[];

// How the setup reads a key of the ini.
// Decimal: a string taken as a decimal integer (wcstol), unlike Integer's profile reading.
enum class IniKeyType { String, Integer, Decimal, Version };
struct IniKey {
    const wchar_t* name;
    IniKeyType type;
};

// The keys of section "Main" that the setup reads, each name spelled once here for every reader.
namespace MainKey {
extern const wchar_t MsiPatch[], MsiPath[], MsiProp[], MsiType[], Os32Need[], AdminNeed[], LangId[],
    UpdateDisable[], DefaultReinstallmode[], Name[], ProductNameLangNeutral[], VersionTarget[], ProductLangID[],
    ShowStartDialog[], SendErrorLogTo[], MinWinVersion[], MinWinServicePack[], MinWinMessage[],
    DeploymentSettingsPage[], DeploymentLogPage[], LicenseFile[];
}
// The deployment's licence agreement beside the program when LicenseFile names none.
extern const wchar_t kDefaultLicenseFile[];
extern const IniKey kMainKeys[];
extern const size_t kMainKeyCount;
