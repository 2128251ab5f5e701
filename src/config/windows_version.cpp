#include "config/windows_version.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "config/setup_ini.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "platform/platform.h"
#include "resources/string_ids.h"
#include "win/format.h"

namespace {

struct WindowsName {
    unsigned major;
    unsigned minor;  // kAnyMinor for every minor version
    const wchar_t* name;
};

constexpr unsigned kAnyMinor = ~0u;

constexpr WindowsName kWindowsNames[] = {
    {5, 0, L"2000"}, {5, 1, L"XP"},  {5, 2, L"XP 64-Bit"}, {6, 0, L"Vista"},
    {6, 1, L"7"},    {6, 2, L"8"},   {6, 3, L"8.1"},       {10, kAnyMinor, L"10"},
};

bool ParseKey(const wchar_t* key, const std::wstring& value, unsigned& major, unsigned& minor)
{
    if (ParseWindowsVersion(value, major, minor))
        return true;
    LogPrintf(L"CheckWinVersion() failed. Invalid version '%s' in variable '%s'.\r\n", value.c_str(), key);
    return false;
}

// The author's message, with the two-character sequences \r and \n made line breaks.
std::wstring UnescapeLineBreaks(const std::wstring& text)
{
    std::wstring result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size() && (text[i + 1] == L'r' || text[i + 1] == L'n')) {
            result += text[i + 1] == L'r' ? L'\r' : L'\n';
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

}  // namespace

bool ParseWindowsVersion(const std::wstring& value, unsigned& major, unsigned& minor)
{
    major = 0;
    minor = 0;
    int numbers = 0;
    const wchar_t* p = value.c_str();
    const wchar_t* const end = p + value.size();
    while (p <= end) {
        const wchar_t* partEnd = std::find(p, end, L'.');
        while (p < partEnd && std::iswspace(*p))
            ++p;
        const wchar_t* last = partEnd;
        while (last > p && std::iswspace(last[-1]))
            --last;
        if (p < last) {
            unsigned number = 0;
            for (; p < last; ++p) {
                if (*p < L'0' || *p > L'9')
                    return false;
                const unsigned digit = static_cast<unsigned>(*p - L'0');
                if (number > (0xFFFFFFFFu - digit) / 10)
                    return false;
                number = number * 10 + digit;
            }
            if (numbers == 0)
                major = number;
            else if (numbers == 1)
                minor = number;
            ++numbers;
        }
        p = partEnd + 1;
    }
    return numbers > 0;
}

std::wstring WindowsVersionText(unsigned major, unsigned minor, unsigned servicePackMajor,
                                unsigned servicePackMinor)
{
    std::wstring text;
    for (const WindowsName& entry : kWindowsNames) {
        if (entry.major == major && (entry.minor == kAnyMinor || entry.minor == minor)) {
            text = Format(L"'Windows %s'", entry.name);
            break;
        }
    }
    if (text.empty())
        text = Format(L"'Windows %u.%u'", major, minor);
    // The "с" of "Serviсe" is U+0441 (Cyrillic es), not the Latin c: the text is kept exactly.
    if (servicePackMajor != 0 && servicePackMinor == 0)
        text += Format(L" (Servi\u0441e Pack %u)", servicePackMajor);
    else if (servicePackMajor != 0)
        text += Format(L" (Servi\u0441e Pack %u.%u)", servicePackMajor, servicePackMinor);
    return text;
}

bool CheckWinVersion()
{
    const std::wstring versionValue = IniReadString(kMainSection, MainKey::MinWinVersion, L"");
    if (versionValue.empty())
        return true;
    unsigned major = 0;
    unsigned minor = 0;
    bool valid = ParseKey(L"MinWinVersion", versionValue, major, minor);

    unsigned servicePackMajor = 0;
    unsigned servicePackMinor = 0;
    const std::wstring servicePackValue = IniReadString(kMainSection, MainKey::MinWinServicePack, L"");
    if (!servicePackValue.empty() &&
        !ParseKey(L"MinWinServicePack", servicePackValue, servicePackMajor, servicePackMinor))
        valid = false;
    if (!valid) {
        ShowMessage(LoadText(IDS_INTERNAL_ERROR) + LogFileNotice(), L"", MB_ICONERROR, nullptr);
        return false;
    }
    // Service-pack numbers are 16-bit in the version record.
    servicePackMajor &= 0xFFFF;
    servicePackMinor &= 0xFFFF;

    OSVERSIONINFOEXW wanted = {};
    wanted.dwOSVersionInfoSize = sizeof(wanted);
    wanted.dwMajorVersion = major;
    wanted.dwMinorVersion = minor;
    wanted.wServicePackMajor = static_cast<WORD>(servicePackMajor);
    wanted.wServicePackMinor = static_cast<WORD>(servicePackMinor);
    DWORDLONG conditions = 0;
    conditions = VerSetConditionMask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMINOR, VER_GREATER_EQUAL);
    if (platform::VerifyWindowsVersion(&wanted,
                                       VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR |
                                           VER_SERVICEPACKMINOR,
                                       conditions) == TRUE)
        return true;

    const std::wstring message = IniReadString(kMainSection, MainKey::MinWinMessage, L"");
    // Shown at the full level only, captioned "Installation Error", and not logged.
    ShowMessage(message.empty()
                    ? FormatText(IDS_WINDOWS_TOO_OLD,
                                 WindowsVersionText(major, minor, servicePackMajor, servicePackMinor).c_str())
                    : UnescapeLineBreaks(message),
                L"", MB_ICONERROR, nullptr);
    return false;
}
