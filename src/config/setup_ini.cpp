#include "config/setup_ini.h"

#include <windows.h>

#include "app/settings.h"
#include "log/error_text.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "resources/string_ids.h"
#include "win/text.h"

const wchar_t kMainSection[] = L"Main";

namespace {

constexpr DWORD kStringValueBytes = 2048;
constexpr DWORD kSectionChars = 2048;

std::string Ansi(const wchar_t* text)
{
    return WideToAnsi(text ? std::wstring(text) : std::wstring(), g_Settings.CodePage);
}

}  // namespace

std::wstring GetModulePath(bool cutAtDot, bool addBackslash)
{
    wchar_t buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    std::wstring path(buffer, length);
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

int IniReadInt(const wchar_t* section, const wchar_t* key, int defaultValue)
{
    return static_cast<int>(GetPrivateProfileIntW(section, key, defaultValue, GetIniPath().c_str()));
}

std::wstring IniReadString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue)
{
    const std::string path = Ansi(GetIniPath().c_str());
    const std::string ansiSection = Ansi(section);
    const std::string ansiKey = Ansi(key);
    const std::string ansiDefault = Ansi(defaultValue);
    char buffer[kStringValueBytes] = {};
    DWORD length = GetPrivateProfileStringA(ansiSection.c_str(), ansiKey.c_str(),
                                            defaultValue ? ansiDefault.c_str() : nullptr, buffer,
                                            kStringValueBytes, path.c_str());
    return AnsiToWide(buffer, length, g_Settings.CodePage);
}

Version IniReadVersion(const wchar_t* section, const wchar_t* key)
{
    return ParseVersion(IniReadString(section, key, nullptr));
}

int IniReadOptional(const wchar_t* section, const wchar_t* key, int defaultValue)
{
    wchar_t buffer[kSectionChars] = {};
    DWORD length = GetPrivateProfileSectionW(section, buffer, kSectionChars, GetIniPath().c_str());
    const wchar_t* end = buffer + length;
    for (const wchar_t* entry = buffer; entry < end && *entry; entry += wcslen(entry) + 1) {
        const wchar_t* text = entry;
        while (iswspace(*text))
            ++text;
        if (wcsncmp(text, L"Optional", 8) == 0)
            return IniReadInt(section, key, defaultValue);
    }
    return -1;
}

int IniWriteStringLogged(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                         const std::wstring& path, bool showFailure)
{
    int result = WritePrivateProfileStringA(Ansi(section).c_str(), Ansi(key).c_str(),
                                            Ansi(value).c_str(), Ansi(path.c_str()).c_str());
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
    return WritePrivateProfileStructA(Ansi(section).c_str(), nullptr, nullptr, 0,
                                      Ansi(path.c_str()).c_str());
}
