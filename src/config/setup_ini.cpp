#include "config/setup_ini.h"

#include <algorithm>

#include <windows.h>

#include "app/settings.h"
#include "config/ini_file.h"
#include "log/error_text.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "resources/string_ids.h"
#include "win/text.h"

const wchar_t kMainSection[] = L"Main";

namespace MainKey {
const wchar_t MsiPatch[] = L"MsiPatch", MsiPath[] = L"MsiPath", MsiProp[] = L"MsiProp", MsiType[] = L"MsiType",
              Os32Need[] = L"Os32Need", AdminNeed[] = L"AdminNeed", LangId[] = L"LangId",
              UpdateDisable[] = L"UpdateDisable", DefaultReinstallmode[] = L"DefaultReinstallmode", Name[] = L"Name",
              ProductNameLangNeutral[] = L"ProductNameLangNeutral", VersionTarget[] = L"VersionTarget",
              ProductLangID[] = L"ProductLangID", ShowStartDialog[] = L"ShowStartDialog",
              SendErrorLogTo[] = L"SendErrorLogTo", MinWinVersion[] = L"MinWinVersion",
              MinWinServicePack[] = L"MinWinServicePack", MinWinMessage[] = L"MinWinMessage",
              DeploymentSettingsPage[] = L"DeploymentSettingsPage", DeploymentLogPage[] = L"DeploymentLogPage",
              LicenseFile[] = L"LicenseFile";
}
const wchar_t kDefaultLicenseFile[] = L"License.rtf";

const IniKey kMainKeys[] = {
    {MainKey::MsiPatch, IniKeyType::Integer},         {MainKey::MsiPath, IniKeyType::String},
    {MainKey::MsiProp, IniKeyType::String},           {MainKey::MsiType, IniKeyType::String},
    {MainKey::Os32Need, IniKeyType::Integer},         {MainKey::AdminNeed, IniKeyType::Integer},
    {MainKey::LangId, IniKeyType::Integer},           {MainKey::UpdateDisable, IniKeyType::Integer},
    {MainKey::DefaultReinstallmode, IniKeyType::String}, {MainKey::Name, IniKeyType::String},
    {MainKey::ProductNameLangNeutral, IniKeyType::String}, {MainKey::VersionTarget, IniKeyType::String},
    {MainKey::ProductLangID, IniKeyType::Integer},    {MainKey::ShowStartDialog, IniKeyType::Integer},
    {MainKey::SendErrorLogTo, IniKeyType::String},    {MainKey::MinWinVersion, IniKeyType::String},
    {MainKey::MinWinServicePack, IniKeyType::String}, {MainKey::MinWinMessage, IniKeyType::String},
    {MainKey::DeploymentSettingsPage, IniKeyType::Integer}, {MainKey::DeploymentLogPage, IniKeyType::Integer},
    {MainKey::LicenseFile, IniKeyType::String},
};
const size_t kMainKeyCount = sizeof(kMainKeys) / sizeof(kMainKeys[0]);

namespace {

constexpr DWORD kSectionChars = 2048;

std::string Ansi(const wchar_t* text)
{
    return WideToAnsi(text ? std::wstring(text) : std::wstring(), g_Settings.CodePage);
}

// The setup ini as the living snapshots took it.
struct Snapshot {
    int depth = 0;
    bool taken = false;
    const IniFile* ini = nullptr;
};
Snapshot g_Snapshot;

const IniFile* SetupIni()
{
    if (g_Snapshot.taken)
        return g_Snapshot.ini;
    const IniFile* ini = CachedIni(GetIniPath(), g_Settings.CodePage);
    if (g_Snapshot.depth > 0) {
        g_Snapshot.ini = ini;
        g_Snapshot.taken = true;
    }
    return ini;
}

const std::wstring* FindValue(const wchar_t* section, const wchar_t* key)
{
    const IniFile* ini = SetupIni();
    return ini ? ini->Find(section, key) : nullptr;
}

std::wstring g_ProgramFile;

std::wstring ProgramFile()
{
    if (!g_ProgramFile.empty())
        return g_ProgramFile;
    wchar_t buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    return std::wstring(buffer, length);
}

}  // namespace

void SetProgramFile(const std::wstring& path)
{
    g_ProgramFile = path;
}

std::wstring GetModulePath(bool cutAtDot, bool addBackslash)
{
    std::wstring path = ProgramFile();
    if (path.empty())
        return path;
    size_t cut = path.find_last_of(cutAtDot ? L'.' : L'\\');
    if (cut != std::wstring::npos)
        path.erase(cut);
    if (addBackslash)
        path += L'\\';
    return path;
}

std::wstring GetIniPath()
{
    return GetModulePath(true, false) + L".ini";
}

std::wstring ConfiguredPackagePath()
{
    return GetModulePath(false, true) + IniReadString(kMainSection, MainKey::MsiPath, L"");
}

SetupIniSnapshot::SetupIniSnapshot()
{
    ++g_Snapshot.depth;
}

SetupIniSnapshot::~SetupIniSnapshot()
{
    if (--g_Snapshot.depth == 0)
        g_Snapshot = Snapshot();
}

int IniReadInt(const wchar_t* section, const wchar_t* key, int defaultValue)
{
    const std::wstring* value = FindValue(section, key);
    if (!value)
        return defaultValue;
    // The profile functions read integers through a 30-character buffer.
    const std::wstring text = StripQuotes(*value).substr(0, 29);
    if (text.empty())
        return defaultValue;
    return static_cast<int>(ProfileInteger(text));
}

std::wstring IniReadString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue)
{
    const IniFile* ini = SetupIni();
    const std::wstring* value = ini ? ini->Find(section, key) : nullptr;
    std::wstring text = value ? StripQuotes(*value) : std::wstring(defaultValue ? defaultValue : L"");
    // Values are read into a buffer of kIniValueBytes ANSI bytes, or as many characters from a
    // Unicode file.
    if (ini && ini->Unicode()) {
        if (text.size() >= kIniValueBytes)
            text.resize(kIniValueBytes - 1);
    } else if (text.size() * 2 >= kIniValueBytes) {
        std::string ansi = WideToAnsi(text, g_Settings.CodePage);
        if (ansi.size() >= kIniValueBytes)
            text = AnsiToWide(ansi.data(), kIniValueBytes - 1, g_Settings.CodePage);
    }
    return text;
}

Version IniReadVersion(const wchar_t* section, const wchar_t* key)
{
    return ParseVersion(IniReadString(section, key, nullptr));
}

int IniReadOptional(const wchar_t* section, const wchar_t* key, int defaultValue)
{
    const IniFile* ini = SetupIni();
    const IniFile::Section* entries = ini ? ini->FindSection(section) : nullptr;
    if (!entries)
        return -1;
    // The section is listed into a buffer of kSectionChars characters: what lies beyond is unseen,
    // and the entry the listing cuts short shows as far as it fits.
    const size_t room = kSectionChars - 2;
    size_t listed = 0;
    for (const IniFile::Key& entry : entries->keys) {
        if ((entry.name.empty() && !entry.hasValue) || (!entry.name.empty() && entry.name[0] == L';'))
            continue;
        const size_t visible = std::min(entry.name.size() + (entry.hasValue ? entry.value.size() + 1 : 0), room - listed);
        if (visible >= 8 && entry.name.compare(0, 8, L"Optional") == 0)
            return IniReadInt(section, key, defaultValue);
        listed += visible + 1;
        if (listed >= room)
            break;
    }
    return -1;
}

int IniWriteStringLogged(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                         const std::wstring& path, bool showFailure)
{
    // The wide profile function reaches every path Windows can make (the ANSI one only those its
    // code page spells). A Unicode file takes the text as it is; into an ANSI one the function
    // writes the system's ANSI code page, so it is given the characters whose bytes there are
    // the value's bytes in the run's code page.
    const std::wstring text =
        IsUnicodeIniFile(path) ? std::wstring(value) : AnsiToWide(Ansi(value), CP_ACP);
    int result = WritePrivateProfileStringW(section, key, text.c_str(), path.c_str());
    if (result == 1) {
        LogPrintf(L"String write to file '%s'. Section='%s' Key='%s' Value='%s'.\r\n", path.c_str(),
                  section, key, value);
        return result;
    }
    DWORD error = GetLastError();
    LogPrintf(L"Can't write string to file '%s'. Section='%s' Key='%s' Value='%s'. %s\r\n",
              path.c_str(), section, key, value, ErrorText(error).c_str());
    if (showFailure) {
        ShowMessage(FormatText(IDS_CANT_WRITE_FILE, path.c_str(), ErrorTextCaptioned(error).c_str()),
                    std::wstring(), MB_ICONERROR, GetForegroundWindow());
    }
    return result;
}

int IniDeleteSection(const wchar_t* section, const std::wstring& path)
{
    return WritePrivateProfileStructW(section, nullptr, nullptr, 0, path.c_str());
}
